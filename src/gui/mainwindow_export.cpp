#include "gui/mainwindow.h"

#include "book/export.h"
#include "gui/platform/filedialog.h"
#include "gui/platform/messagebox.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTreeWidget>

namespace zjx {

bool MainWindow::ExportListViewContent(QTreeWidget* objListView, const QString& strFilePath, QString* error) {
    const int rows = objListView->topLevelItemCount();
    if (rows == 0)
        return false;
    const int columns = objListView->columnCount();
    QList<QStringList> cells;
    cells.reserve(rows);
    for (int r = 0; r < rows; ++r) {
        const QTreeWidgetItem* item = objListView->topLevelItem(r);
        QStringList row;
        row.reserve(columns);
        for (int j = 0; j < columns; ++j)
            row << item->text(j);
        cells << row;
    }
    const Result written = ListExport::write(strFilePath, ListExport::bytes(cells));
    if (error)
        *error = written.errorText();
    return written.ok();
}

void MainWindow::Command6_Click() {
    if (ListView1->topLevelItemCount() == 0) {
        MessageBox::information(this, QStringLiteral("没有可导出的数据!"));
        return;
    }
    // The program's folder is no place for the user's files (an installed one cannot be written).
    QString suggested = m_lastExportName;
    if (suggested.isEmpty()) {
        const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
        suggested = !documents.isEmpty() && QFileInfo(documents).isDir() ? documents : QDir::homePath();
    }
    QString path =
        FileDialog::getSaveFileName(this, suggested, QStringLiteral("TXT文本 (*.txt)"), QStringLiteral("txt"));
    if (path.isEmpty()) {
        MessageBox::information(this, QStringLiteral("已取消保存"));
        return;
    }
    // A name typed without a suffix gets the filter's, as the dialog of other systems gives it.
    if (QFileInfo(path).suffix().isEmpty())
        path += QStringLiteral(".txt");
    m_lastExportName = path;

    QString error;
    if (ExportListViewContent(ListView1, path, &error)) {
        MessageBox::information(this, QStringLiteral("成功导出全部数据!"));
        setHint(QStringLiteral("成功导出全部数据.."));
    } else if (!error.isEmpty()) {
        // The list had rows: the file could not be written, and the user must not be told otherwise.
        MessageBox::information(this, QStringLiteral("导出失败!请检查保存位置后重试"));
        setHint(QStringLiteral("导出失败,请检查保存位置后重试.."));
    } else {
        // The list was emptied while the dialog was open (a timed or loop query re-ran).
        MessageBox::information(this, QStringLiteral("没有可导出的数据!"));
        setHint(QStringLiteral("没有可导出的数据.."));
    }
}

} // namespace zjx
