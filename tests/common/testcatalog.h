#pragma once

#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariant>

// A catalogue file of its own for one test, made by the same code as the companion
// tool, and pointed to as the application's catalogue.
class TestCatalog {
public:
    // A catalogue made by hand when given the statements that make its tables.
    explicit TestCatalog(const QString& schema = {});
    ~TestCatalog();

    QString path() const { return m_path; }
    bool valid() const { return m_dir.isValid(); }

    // Stores a CD record straight into the file (both rows unless songsRow is false).
    void addCd(qint64 id, const QString& nombre, const QString& artista, const QString& descripcion,
        const QStringList& canciones = {}, bool songsRow = true);
    // Runs SQL straight on the file; fails the test on error.
    void exec(const QString& sql);
    // First column of every row of a query, as text (null as "<null>").
    QStringList column(const QString& sql) { return column(m_path, sql); }
    static QStringList column(const QString& path, const QString& sql);
    int count(const QString& table);

private:
    QTemporaryDir m_dir;
    QString m_path;
};
