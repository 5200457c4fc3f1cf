#pragma once

#include <QStyledItemDelegate>

namespace velmor {

// Rows tall enough for the accents of capital letters (Á, Ñ, Ú reach above the
// font's ascent in many fonts), measured from the view's font, so that upper-case
// Spanish text is never clipped at the top.
class RowHeightDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

}
