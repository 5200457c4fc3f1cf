#pragma once

#include <QAbstractListModel>
#include <QByteArray>
#include <QByteArrayView>
#include <QList>

namespace velmor {

// Texts one after another in one buffer of UTF-8 bytes, with where each ends: a
// listing of a million CDs is then three buffers, filled and emptied at once,
// instead of three million strings.
class PackedTexts {
public:
    void reserve(qsizetype rows) { m_ends.reserve(rows); }
    qsizetype size() const { return m_ends.size(); }
    bool isEmpty() const { return m_ends.isEmpty(); }
    void append(QByteArrayView utf8);
    // Row `row` of another column.
    void append(const PackedTexts& other, qsizetype row) { append(other.at(row)); }
    QByteArrayView at(qsizetype row) const;

private:
    QByteArray m_bytes;
    QList<qsizetype> m_ends;
};

// A list of texts for a view, kept packed: the view asks only for the rows
// it shows. Read-only.
class TextListModel : public QAbstractListModel {
    Q_OBJECT
public:
    using QAbstractListModel::QAbstractListModel;

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

    void clear() { setRows({}); }
    void setRows(PackedTexts&& rows);

private:
    PackedTexts m_rows;
};

}
