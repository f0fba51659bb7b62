#pragma once

#include <QStyledItemDelegate>

namespace zjx {

// Draws and measures a list's cells by the readable start of their text (see readableText): a cell
// of megabytes would otherwise be laid out whole at every repaint and freeze the window. The item
// keeps its full text for copying and export.
class ReadableDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;
};

} // namespace zjx
