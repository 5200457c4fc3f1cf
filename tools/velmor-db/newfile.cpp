#include "newfile.h"

#include "data/dataerror.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QIODevice>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velmor::tool {

namespace {
    // What names a temporary file of ours, so that one left by a killed run can be
    // told from the user's files.
    const QString marker = QStringLiteral(".velmor-db-temporal-");
    const char* const companions[] = { "-journal", "-wal", "-shm" };
    constexpr qint64 bufferSize = 64 * 1024;

    QByteArray native(const QString& path) { return QFile::encodeName(path); }

    QString folderOf(const QString& path) { return QFileInfo(path).absolutePath(); }

    int numberFor(int errnum)
    {
        switch (errnum) {
        case ENOSPC:
        case EDQUOT:
            return ErrorNumber::DiskFull;
        case EROFS:
        case EACCES:
        case EPERM:
            return ErrorNumber::ReadOnly;
        default:
            return ErrorNumber::NotAllowed;
        }
    }

    bool exists(const QString& path)
    {
        struct stat st { };
        return ::lstat(native(path).constData(), &st) == 0;
    }

    // rename() that never replaces a file at to. Where the file system cannot say
    // so in one step, a hard link does; without links, a check just before.
    int renameNoReplace(const QString& from, const QString& to)
    {
        const QByteArray source = native(from), target = native(to);
        if (::renameat2(
                AT_FDCWD, source.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE)
            == 0)
            return 0;
        if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP)
            return errno;
        if (::link(source.constData(), target.constData()) == 0) {
            ::unlink(source.constData());
            return 0;
        }
        if (errno != EPERM && errno != ENOTSUP && errno != EMLINK)
            return errno;
        if (exists(to))
            return EEXIST;
        return ::rename(source.constData(), target.constData()) == 0 ? 0 : errno;
    }

    void removeIfRegular(const QString& path)
    {
        struct stat st { };
        if (::lstat(native(path).constData(), &st) == 0 && S_ISREG(st.st_mode))
            ::unlink(native(path).constData());
    }

    // A temporary file whose writer is gone holds no lock: it, and what the engine
    // kept beside it, are removed. One still being written is left alone.
    void removeLeftovers(const QString& folder)
    {
        static const QRegularExpression ours(
            QStringLiteral("^.+\\.velmor-db-temporal-[A-Za-z0-9]{6}(-journal|-wal|-shm)?$"));
        const QStringList names
            = QDir(folder).entryList({ QLatin1Char('*') + marker + QLatin1Char('*') },
                QDir::Files | QDir::Hidden | QDir::System | QDir::NoSymLinks);
        for (const QString& name : names) {
            const QRegularExpressionMatch match = ours.match(name);
            if (!match.hasMatch())
                continue;
            const QString path = folder + QLatin1Char('/') + name;
            if (!match.captured(1).isEmpty()) {
                if (!exists(path.chopped(match.captured(1).size())))
                    removeIfRegular(path);
                continue;
            }
            const int fd
                = ::open(native(path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
            if (fd < 0)
                continue;
            struct stat held { };
            struct stat named { };
            if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::fstat(fd, &held) == 0
                && S_ISREG(held.st_mode) && ::lstat(native(path).constData(), &named) == 0
                && named.st_ino == held.st_ino && named.st_dev == held.st_dev) {
                ::unlink(native(path).constData());
                for (const char* companion : companions)
                    removeIfRegular(path + QLatin1String(companion));
            }
            ::close(fd);
        }
    }

    QString randomSuffix()
    {
        static const char letters[]
            = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
        QString suffix;
        for (int i = 0; i < 6; ++i)
            suffix += QLatin1Char(letters[QRandomGenerator::system()->bounded(62)]);
        return suffix;
    }

    mode_t modeOf(QFileDevice::Permissions permissions)
    {
        mode_t mode = 0;
        const std::pair<QFileDevice::Permission, mode_t> bits[] = {
            { QFileDevice::ReadOwner, S_IRUSR },
            { QFileDevice::WriteOwner, S_IWUSR },
            { QFileDevice::ExeOwner, S_IXUSR },
            { QFileDevice::ReadGroup, S_IRGRP },
            { QFileDevice::WriteGroup, S_IWGRP },
            { QFileDevice::ExeGroup, S_IXGRP },
            { QFileDevice::ReadOther, S_IROTH },
            { QFileDevice::WriteOther, S_IWOTH },
            { QFileDevice::ExeOther, S_IXOTH },
        };
        for (const auto& [permission, bit] : bits) {
            if (permissions.testFlag(permission))
                mode |= bit;
        }
        return mode;
    }

    // The rename is durable only once the folder that records it is synced too. A
    // file system that cannot sync folders has nothing more to do.
    void syncFolder(const QString& path)
    {
        const int fd
            = ::open(native(folderOf(path)).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd >= 0) {
            ::fsync(fd);
            ::close(fd);
        }
    }
}

QString systemReason(int errnum, const QString& path)
{
    switch (errnum) {
    case ENOSPC:
        return QStringLiteral("el disco está lleno");
    case EDQUOT:
        return QStringLiteral("se ha agotado su cuota de disco");
    case EACCES:
    case EPERM:
        return QStringLiteral("no hay permiso");
    case EROFS:
        return QStringLiteral("el disco es de solo lectura");
    case ENOENT:
        if (!QFileInfo(folderOf(path)).isDir())
            return QStringLiteral("la carpeta «%1» no existe").arg(folderOf(path));
        return QStringLiteral("el archivo no existe");
    case EISDIR:
        return QStringLiteral("es una carpeta");
    case ELOOP:
        return QStringLiteral("es un enlace simbólico, o una cadena de enlaces sin fin");
    case EEXIST:
        return QStringLiteral("ya existe");
    case EBUSY:
    case ETXTBSY:
        return QStringLiteral("está en uso por el sistema");
    case ENOTDIR:
        return QStringLiteral("una parte de la ruta no es una carpeta");
    case ENAMETOOLONG:
        return QStringLiteral("el nombre es demasiado largo");
    case EIO:
        return QStringLiteral("error de lectura o escritura en el disco");
    case EFBIG:
        return QStringLiteral("el archivo sería más grande de lo que admite el disco");
    case EXDEV:
        return QStringLiteral("está en otro disco");
    case EMFILE:
    case ENFILE:
        return QStringLiteral("hay demasiados archivos abiertos");
    case ENOMEM:
        return QStringLiteral("no hay memoria suficiente");
    default:
        return QStringLiteral("error %1 del sistema").arg(errnum);
    }
}

class NewFile::Device final : public QIODevice {
public:
    explicit Device(int fd)
        : m_fd(fd)
    {
        m_buffer.reserve(bufferSize);
        open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    }

    int error() const { return m_error; }

    bool flushBuffer()
    {
        const bool written = m_error == 0 && writeAll(m_buffer.constData(), m_buffer.size());
        m_buffer.clear();
        return written;
    }

    // Writers of archives go back to fill in sizes once an entry is written.
    bool seek(qint64 pos) override
    {
        if (!flushBuffer())
            return false;
        if (::lseek(m_fd, off_t(pos), SEEK_SET) < 0) {
            m_error = errno;
            return false;
        }
        return QIODevice::seek(pos);
    }

protected:
    qint64 readData(char*, qint64) override { return -1; }

    qint64 writeData(const char* data, qint64 size) override
    {
        if (m_error != 0)
            return -1;
        if (m_buffer.size() + size > bufferSize && !flushBuffer())
            return -1;
        if (size >= bufferSize)
            return writeAll(data, size) ? size : -1;
        m_buffer.append(data, size);
        return size;
    }

private:
    bool writeAll(const char* data, qint64 size)
    {
        while (size > 0) {
            const ssize_t n = ::write(m_fd, data, size_t(size));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                m_error = n < 0 ? errno : ENOSPC;
                return false;
            }
            data += n;
            size -= n;
        }
        return true;
    }

    int m_fd;
    int m_error = 0;
    QByteArray m_buffer;
};

NewFile::NewFile(QString target, Placing placing, Content content)
    : m_target(std::move(target))
    , m_placing(placing)
    , m_content(content)
{
    struct stat st { };
    if (placing == Placing::New && ::lstat(native(m_target).constData(), &st) == 0) {
        if (S_ISLNK(st.st_mode) && !QFileInfo::exists(m_target)) {
            throw DataError(ErrorNumber::NotAllowed,
                QStringLiteral("«%1» es un enlace a «%2», que no existe; no se escribe a través "
                               "de un enlace.")
                    .arg(m_target, QFileInfo(m_target).symLinkTarget()));
        }
        throw DataError(ErrorNumber::NotAllowed,
            QStringLiteral("El archivo «%1» ya existe; no se sobrescribe.").arg(m_target));
    }

    const QString folder = folderOf(m_target);
    removeLeftovers(folder);
    const QString stem = folder + QLatin1Char('/') + QFileInfo(m_target).fileName() + marker;
    for (int attempt = 0; attempt < 100 && m_fd < 0; ++attempt) {
        m_temporary = stem + randomSuffix();
        m_fd = ::open(native(m_temporary).constData(),
            O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, S_IRUSR | S_IWUSR);
        if (m_fd < 0 && errno == EEXIST)
            continue;
        if (m_fd < 0) {
            const int errnum = errno;
            QString reason;
            if (errnum == EACCES || errnum == EPERM)
                reason = QStringLiteral("no hay permiso para crear archivos en la carpeta «%1»")
                             .arg(folder);
            else if (errnum == EROFS)
                reason = QStringLiteral("la carpeta «%1» está en un disco de solo lectura")
                             .arg(folder);
            else
                reason = systemReason(errnum, m_target);
            throw DataError(numberFor(errnum),
                QStringLiteral("No se puede escribir «%1»: %2.").arg(m_target, reason));
        }
        // Held while the file is written, so that another run does not take it for
        // a leftover. One that took it for that between open and lock has removed it.
        struct stat held { };
        if (::flock(m_fd, LOCK_EX) != 0 || ::fstat(m_fd, &held) != 0 || held.st_nlink == 0) {
            ::close(m_fd);
            m_fd = -1;
        }
    }
    if (m_fd < 0)
        fail(EEXIST);
    m_device = std::make_unique<Device>(m_fd);
}

NewFile::~NewFile()
{
    if (!m_placed && m_fd >= 0)
        removeTemporary();
    m_device.reset();
    if (m_fd >= 0)
        ::close(m_fd);
}

QIODevice& NewFile::device() { return *m_device; }

DataError cannotWrite(const QString& path, int errnum)
{
    if (errnum == EEXIST) {
        return DataError(ErrorNumber::NotAllowed,
            QStringLiteral("El archivo «%1» ya existe; no se sobrescribe.").arg(path));
    }
    return DataError(numberFor(errnum),
        QStringLiteral("No se puede escribir «%1»: %2.").arg(path, systemReason(errnum, path)));
}

void NewFile::fail(int errnum) const { throw cannotWrite(m_target, errnum); }

void NewFile::removeTemporary()
{
    ::unlink(native(m_temporary).constData());
    for (const char* companion : companions)
        removeIfRegular(m_temporary + QLatin1String(companion));
}

void NewFile::setPermissions(QFileDevice::Permissions permissions)
{
    if (::fchmod(m_fd, modeOf(permissions)) != 0)
        fail(errno);
}

void NewFile::setJournalsAside()
{
    for (const char* companion : companions) {
        const QString stale = m_target + QLatin1String(companion);
        if (!exists(stale))
            continue;
        const QString base = stale + QStringLiteral(".apartado");
        int rc = EEXIST;
        QString aside;
        for (int n = 0; rc == EEXIST && n < 1000; ++n) {
            aside = n == 0 ? base : base + QLatin1Char('.') + QString::number(n);
            rc = renameNoReplace(stale, aside);
        }
        if (rc != 0) {
            throw DataError(numberFor(rc),
                QStringLiteral("Junto a «%1» está «%2», de otro catálogo, y no se puede apartar: "
                               "%3. Muévalo a otra carpeta y vuelva a intentarlo.")
                    .arg(m_target, stale, systemReason(rc, stale)));
        }
        m_setAside << QStringLiteral("«%1», que no era de este catálogo, se ha apartado como «%2».")
                          .arg(stale, aside);
    }
}

void NewFile::place()
{
    if (!m_device->flushBuffer())
        fail(m_device->error());
    if (::fsync(m_fd) != 0)
        fail(errno);
    if (m_content == Content::Catalog)
        setJournalsAside();
    const int rc = m_placing == Placing::New
        ? renameNoReplace(m_temporary, m_target)
        : (::rename(native(m_temporary).constData(), native(m_target).constData()) == 0 ? 0
                                                                                        : errno);
    if (rc != 0)
        fail(rc);
    m_placed = true;
    syncFolder(m_target);
}

QString NewFile::keepUnderFreeName(const QString& from, const QString& base)
{
    const QByteArray source = native(from);
    for (int n = 0; n < 10000; ++n) {
        const QString name = n == 0 ? base : base + QLatin1Char('.') + QString::number(n);
        if (::link(source.constData(), native(name).constData()) == 0) {
            syncFolder(name);
            return name;
        }
        const int errnum = errno;
        if (errnum == EEXIST)
            continue;
        if (errnum != EPERM && errnum != ENOTSUP && errnum != EMLINK) {
            throw DataError(numberFor(errnum),
                QStringLiteral("No se puede guardar «%1» como «%2»: %3.")
                    .arg(from, name, systemReason(errnum, name)));
        }
        // A file system without hard links: a copy does the same job.
        if (exists(name))
            continue;
        QFile original(from);
        if (!original.open(QIODevice::ReadOnly)) {
            throw DataError(ErrorNumber::CannotOpen,
                QStringLiteral("No se puede leer «%1» para guardarlo como «%2».").arg(from, name));
        }
        NewFile copy(name);
        while (!original.atEnd()) {
            const QByteArray block = original.read(bufferSize);
            if (block.isEmpty() && original.error() != QFileDevice::NoError) {
                throw DataError(ErrorNumber::CannotOpen,
                    QStringLiteral("No se puede leer «%1» para guardarlo como «%2».")
                        .arg(from, name));
            }
            copy.device().write(block);
        }
        copy.setPermissions(original.permissions());
        copy.place();
        return name;
    }
    throw DataError(ErrorNumber::NotAllowed,
        QStringLiteral("No queda ningún nombre libre como «%1» para guardar «%2».")
            .arg(base, from));
}

}
