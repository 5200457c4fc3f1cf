#include "textlistmodel.h"

#include <utility>

namespace velmor {

void PackedTexts::append(QByteArrayView utf8)
{
    m_bytes.append(utf8);
    m_ends.append(m_bytes.size());
}

QByteArrayView PackedTexts::at(qsizetype row) const
{
    const qsizetype begin = row == 0 ? 0 : m_ends[row - 1];
    return QByteArrayView(m_bytes.constData() + begin, m_ends[row] - begin);
}

int TextListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

QVariant TextListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows.size()
        || (role != Qt::DisplayRole && role != Qt::EditRole))
        return {};
    return QString::fromUtf8(m_rows.at(index.row()));
}

void TextListModel::setRows(PackedTexts&& rows)
{
    if (rows.isEmpty() && m_rows.isEmpty())
        return;
    beginResetModel();
    m_rows = std::move(rows);
    endResetModel();
}

}
