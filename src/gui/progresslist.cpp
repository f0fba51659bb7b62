#include "gui/progresslist.h"

#include "book/export.h"
#include "gui/balloontip.h"
#include "gui/platform/filedialog.h"
#include "gui/platform/messagebox.h"
#include "gui/readabledelegate.h"

#include <QClipboard>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHeaderView>
#include <QMouseEvent>
#include <QStandardPaths>
#include <QStyle>
#include <QTimer>
#include <QTreeWidget>
#include <cmath>
#include <utility>

namespace zjx {
namespace {

const QString noProgressHint = QStringLiteral("当前没有物流信息");

// The section whose right-hand divider lies under x (viewport pixels), or -1. The same grip
// margin as the header's own hit test, so every spot that could start a resize is covered.
int dividerAt(const QHeaderView* header, int x) {
    const int visual = header->visualIndexAt(x);
    if (visual < 0)
        return -1;
    const int logical = header->logicalIndex(visual);
    const int start = header->sectionViewportPosition(logical);
    const int grip = header->style()->pixelMetric(QStyle::PM_HeaderGripMargin, nullptr, header);
    bool atStart = x < start + grip;
    bool atEnd = x > start + header->sectionSize(logical) - grip;
    if (header->isRightToLeft())
        std::swap(atStart, atEnd);
    if (atEnd)
        return logical;
    if (atStart) {
        for (int v = visual - 1; v >= 0; --v) {
            const int before = header->logicalIndex(v);
            if (!header->isSectionHidden(before))
                return before;
        }
    }
    return -1;
}

} // namespace

bool ProgressList::copyToClipboard(const QString& text) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard)
        return false;
    clipboard->clear();
    clipboard->setText(text);
    return true;
}

ProgressList::ProgressList(QWidget* window) : QObject(window) {
    m_list = new QTreeWidget(window);
    m_list->setObjectName(QStringLiteral("progressList"));
    m_list->setAccessibleName(QStringLiteral("物流进度"));
    m_list->setGeometry(16, 152, 721, 265);
    m_list->setColumnCount(3);
    m_list->setHeaderLabels(
        {QStringLiteral("Num"), QStringLiteral("时间"), QStringLiteral("物流进度 ( 双击列表可复制单条物流进度 )")});
    m_list->setRootIsDecorated(false);
    m_list->setUniformRowHeights(true);
    m_list->setAllColumnsShowFocus(true);
    m_list->setItemDelegate(new ReadableDelegate(m_list));
    m_list->setColumnWidth(NumberColumn, 60);
    m_list->setColumnWidth(TimeColumn, 145);
    m_list->setColumnWidth(ProgressColumn, 495);
    // The list's columns keep their widths and their order; its entries are never edited in place.
    QHeaderView* header = m_list->header();
    header->setSectionResizeMode(QHeaderView::Fixed);
    header->setStretchLastSection(false);
    header->setSectionsMovable(false);
    header->viewport()->installEventFilter(this);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Every click on the list counts, also on its empty part (that one says there is nothing).
    m_list->viewport()->installEventFilter(this);
}

ProgressList::~ProgressList() {
    m_list->viewport()->removeEventFilter(this);
    m_list->header()->viewport()->removeEventFilter(this);
}

void ProgressList::clear() {
    m_list->clear();
}

void ProgressList::showEntries(const QList<ProgressEntry>& entries) {
    // Every row goes in at the top, so the list reads latest first: one insertion of the whole
    // block gives the same order as one insertion per row.
    QList<QTreeWidgetItem*> items;
    items.reserve(entries.size());
    for (const ProgressEntry& entry : entries) {
        auto* item = new QTreeWidgetItem;
        item->setText(NumberColumn, entry.number);
        item->setText(TimeColumn, entry.time);
        item->setText(ProgressColumn, entry.progress);
        items.append(item);
    }
    m_list->insertTopLevelItems(0, items);
    if (QTreeWidgetItem* latest = m_list->topLevelItem(0)) {
        const QBrush red(QColor(255, 0, 0));
        latest->setForeground(TimeColumn, red);
        latest->setForeground(ProgressColumn, red);
    }
}

int ProgressList::rowCount() const {
    return m_list->topLevelItemCount();
}

QList<QStringList> ProgressList::rows() const {
    QList<QStringList> cells;
    cells.reserve(rowCount());
    for (int r = 0; r < rowCount(); ++r) {
        const QTreeWidgetItem* item = m_list->topLevelItem(r);
        QStringList row;
        for (int j = 0; j < m_list->columnCount(); ++j)
            row << item->text(j);
        cells << row;
    }
    return cells;
}

QStringList ProgressList::headers() const {
    QStringList texts;
    for (int j = 0; j < m_list->columnCount(); ++j)
        texts << m_list->headerItem()->text(j);
    return texts;
}

QTreeWidgetItem* ProgressList::selectedRow() const {
    const QList<QTreeWidgetItem*> selected = m_list->selectedItems();
    QTreeWidgetItem* row = selected.isEmpty() ? nullptr : selected.first();
    return row && !row->text(NumberColumn).isEmpty() ? row : nullptr;
}

void ProgressList::rowClicked() {
    QTreeWidgetItem* row = selectedRow();
    if (!row) {
        Q_EMIT hint(noProgressHint);
        return;
    }
    if (!m_balloon)
        m_balloon = new BalloonTip(this);
    m_balloon->setControl(m_list);
    m_balloon->setTitle(QStringLiteral("物流跟踪信息"));
    m_balloon->setText(QStringLiteral("时间:") + row->text(TimeColumn) + QStringLiteral("\r\n物流进度:") +
                       row->text(ProgressColumn));
    m_balloon->create();
}

void ProgressList::rowDoubleClicked() {
    QTreeWidgetItem* row = selectedRow();
    if (!row) {
        Q_EMIT hint(noProgressHint);
        return;
    }
    const QString text = row->text(TimeColumn) + u' ' + row->text(ProgressColumn);
    Q_EMIT hint(copyToClipboard(text) ? QStringLiteral("单条物流进度已复制..") : noClipboardHint());
}

void ProgressList::exportRows() {
    QWidget* window = m_list->window();
    if (rowCount() == 0) {
        MessageBox::information(window, QStringLiteral("没有可导出的数据!"));
        return;
    }
    // The program's folder is no place for the user's files (an installed one cannot be written).
    QString suggested = m_lastExportName;
    if (suggested.isEmpty()) {
        const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
        suggested = !documents.isEmpty() && QFileInfo(documents).isDir() ? documents : QDir::homePath();
    }
    QString path =
        FileDialog::getSaveFileName(window, suggested, QStringLiteral("TXT文本 (*.txt)"), QStringLiteral("txt"));
    if (path.isEmpty()) {
        MessageBox::information(window, QStringLiteral("已取消保存"));
        return;
    }
    // A name typed without a suffix gets the filter's, as the dialog of other systems gives it.
    if (QFileInfo(path).suffix().isEmpty())
        path += QStringLiteral(".txt");
    m_lastExportName = path;

    if (rowCount() == 0) {
        // The list was emptied while the dialog was open (a timed or loop query re-ran).
        MessageBox::information(window, QStringLiteral("没有可导出的数据!"));
        Q_EMIT hint(QStringLiteral("没有可导出的数据.."));
    } else if (ListExport::write(path, ListExport::bytes(rows())).ok()) {
        MessageBox::information(window, QStringLiteral("成功导出全部数据!"));
        Q_EMIT hint(QStringLiteral("成功导出全部数据.."));
    } else {
        // The list had rows: the file could not be written, and the user must not be told otherwise.
        MessageBox::information(window, QStringLiteral("导出失败!请检查保存位置后重试"));
        Q_EMIT hint(QStringLiteral("导出失败,请检查保存位置后重试.."));
    }
}

bool ProgressList::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_list->viewport()) {
        const QEvent::Type type = event->type();
        const bool left = (type == QEvent::MouseButtonDblClick || type == QEvent::MouseButtonRelease) &&
                          static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton;
        if (left && type == QEvent::MouseButtonDblClick) {
            m_releaseEndsDoubleClick = true;
            QTimer::singleShot(0, this, &ProgressList::rowDoubleClicked);
        } else if (left) {
            // The release that ends a double click is not a click of its own.
            if (!std::exchange(m_releaseEndsDoubleClick, false))
                QTimer::singleShot(0, this, &ProgressList::rowClicked);
        }
        return false;
    }
    if (watched == m_list->header()->viewport())
        return headerEvent(m_list->header(), event);
    return QObject::eventFilter(watched, event);
}

// The header's viewport receives the mouse: a press or double click on a divider would start a
// resize or an auto-size, so it never reaches the header; everything else passes.
bool ProgressList::headerEvent(QHeaderView* header, QEvent* event) {
    if (event->type() != QEvent::MouseButtonPress && event->type() != QEvent::MouseButtonDblClick)
        return false;
    const auto* mouse = static_cast<QMouseEvent*>(event);
    return dividerAt(header, int(std::floor(mouse->position().x()))) >= 0;
}

BalloonTip* ProgressList::balloon() const {
    return m_balloon;
}

} // namespace zjx
