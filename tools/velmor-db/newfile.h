#pragma once

#include <QFileDevice>
#include <QString>
#include <QStringList>
#include <memory>

class QIODevice;

namespace velmor {
struct DataError;
}

namespace velmor::tool {

// Why a file operation on path failed, in Spanish, for the system's error number:
// the system's own texts are in English. A missing folder is named as such.
QString systemReason(int errnum, const QString& path);
// The failure to write path, for the system's error number.
DataError cannotWrite(const QString& path, int errnum);

// A file written whole or not at all. It is written under a temporary name beside
// its target (one that a later run recognises and removes, should this one be
// killed), every write is checked, and only once the bytes are synced does it take
// the target's name; on any failure the temporary file is removed and the target
// is as it was. Failures are DataErrors whose description names the target.
class NewFile {
public:
    enum class Placing {
        New, // the target must not exist: an existing file or link is refused
        Replacing, // the file at the target is replaced in one rename
    };
    // A catalogue is never put beside a journal, write-ahead log or shared-memory
    // file of another: the engine would play it into the new file.
    enum class Content { Document, Catalog };

    explicit NewFile(
        QString target, Placing placing = Placing::New, Content content = Content::Document);
    ~NewFile();
    NewFile(const NewFile&) = delete;
    NewFile& operator=(const NewFile&) = delete;

    const QString& target() const { return m_target; }
    const QString& temporaryPath() const { return m_temporary; }
    // Writes to the temporary file, buffered; the first failure is kept, and
    // every later write refused, until place() reports it.
    QIODevice& device();
    // Given once the content is written, so that a read-only mode does not keep
    // the writer out.
    void setPermissions(QFileDevice::Permissions permissions);
    // Puts the file at the target, as placing says.
    void place();
    // The files of another catalogue that were beside the target, each moved
    // aside to a name that says so ("…-journal.apartado") before this one was put
    // there: one sentence each, naming both names.
    const QStringList& setAside() const { return m_setAside; }

    // The first free name among base, base.1, base.2, … that link() could take:
    // the file at from is linked there; for file systems without links, copied
    // through a NewFile. Returns the name used.
    static QString keepUnderFreeName(const QString& from, const QString& base);

private:
    class Device;

    void fail(int errnum) const;
    void setJournalsAside();
    void removeTemporary();

    QString m_target;
    QString m_temporary;
    Placing m_placing;
    Content m_content;
    int m_fd = -1;
    std::unique_ptr<Device> m_device;
    QStringList m_setAside;
    bool m_placed = false;
};

}
