#pragma once

#include <QStringList>
#include <QTemporaryDir>

// An empty catalogue made by the tool's own code in a directory of its own, with
// direct SQL access so that a test can set up or damage the file independently of
// the code under test.
class ScratchCatalog {
public:
    ScratchCatalog();

    QString path() const { return m_path; }
    QString filePath(const QString& name) const { return m_dir.filePath(name); }

    void exec(const QString& sql) const;
    // Every row of a query with its columns joined by '|', null as "<null>".
    QStringList rows(const QString& sql) const;
    void addCd(qint64 id, const QStringList& texts) const; // nombre, artista, descripcion, songs…

private:
    QTemporaryDir m_dir;
    QString m_path;
};
