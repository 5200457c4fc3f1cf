#include "rowheightdelegate.h"

#include <QFontMetrics>
#include <algorithm>

namespace velmor {

QSize RowHeightDelegate::sizeHint(
    const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    const QFontMetrics metrics(option.font);
    // The text is centred in its row: whatever rises above the ascent needs as much
    // room again below, plus a pixel on each side.
    const QRect ink = metrics.tightBoundingRect(QStringLiteral("ÁÉÍÓÚÑÜÀÈÇjgpqy"));
    const int above = std::max(0, -ink.top() - metrics.ascent());
    const int below = std::max(0, ink.bottom() - metrics.descent());
    const int needed = metrics.height() + 2 * std::max(above, below) + 2;
    size.setHeight(std::max(size.height(), needed));
    return size;
}

}
