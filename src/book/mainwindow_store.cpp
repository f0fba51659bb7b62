#include "shell/mainwindow.h"

#include "book/parcelrecord.h"
#include "book/store.h"

#include <QComboBox>
#include <QLineEdit>

namespace zjx {

bool MainWindow::writeStore() {
    const QString error = Store::write(m_storePath, Combo6);
    if (error.isEmpty())
        return true;
    // The book in memory keeps the change; the user must learn that the file did not.
    setHint(QStringLiteral("保存失败!快递列表未能写入文件,请检查磁盘空间或文件夹权限"));
    return false;
}

void MainWindow::xr() {
    if (!chosenRecordText.isEmpty()) {
        for (const QString& record : std::as_const(Combo6))
            if (record.contains(chosenRecordText))
                return;
    }
    const QString note = Text2->text();
    Combo6.append(ParcelRecord::build(Text3->currentText(), Combo1->currentText(), note));
    appendKeepingSelection(Text1, {note});
    if (writeStore())
        setHint(QStringLiteral("快递单号已记录!"));
}

void MainWindow::dq() {
    const StoreContents contents = Store::read(m_storePath);
    Combo6.append(contents.records);
    appendKeepingSelection(Text1, contents.notes);
}

void MainWindow::xr2() {
    writeStore();
    if (Text1->count() > 0) {
        Text1->setCurrentIndex(0);
        Text1_Click();
    } else {
        Text1->setCurrentIndex(-1);
    }
}

} // namespace zjx
