#include "gui/readabledelegate.h"

#include "core/textutil.h"

namespace zjx {

void ReadableDelegate::initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const {
    QStyledItemDelegate::initStyleOption(option, index);
    if (option->features.testFlag(QStyleOptionViewItem::HasDisplay))
        option->text = readableText(option->text);
}

} // namespace zjx
