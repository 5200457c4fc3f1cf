#include "accessreadout.h"

#include "accessfile.h"
#include "progress.h"

#include "data/catalogfile.h"
#include "data/dataerror.h"

#include <QFile>
#include <QtEndian>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace velmor::tool {

namespace {
    // Frames on the pipe: one kind byte, a 4-byte length, then the payload. A row's
    // fields are separated by NUL, which the library never puts inside a value.
    enum Kind : char {
        Total = 'T', // payload: rows the tables declare, as decimal text
        DatosRow = 'R',
        CancionesRow = 'S',
        Failed = 'E', // payload: error number, NUL, description
        Done = 'D',
    };
    constexpr quint32 largestFrame = 16 * 1024 * 1024;

    class ChildWriter {
    public:
        explicit ChildWriter(int fd)
            : m_fd(fd)
        {
        }
        void frame(Kind kind, const QByteArray& payload)
        {
            m_buffer.append(kind);
            const quint32 size = qToLittleEndian(quint32(payload.size()));
            m_buffer.append(reinterpret_cast<const char*>(&size), sizeof size);
            m_buffer.append(payload);
            if (m_buffer.size() >= 64 * 1024)
                flush();
        }
        void flush()
        {
            qsizetype sent = 0;
            while (sent < m_buffer.size()) {
                const ssize_t n
                    = ::write(m_fd, m_buffer.constData() + sent, size_t(m_buffer.size() - sent));
                if (n < 0 && errno == EINTR)
                    continue;
                if (n <= 0)
                    _exit(3);
                sent += n;
            }
            m_buffer.clear();
        }

    private:
        int m_fd;
        QByteArray m_buffer;
    };

    QByteArray rowPayload(const QStringList& values)
    {
        QByteArray payload;
        for (qsizetype i = 0; i < values.size(); ++i) {
            if (i)
                payload.append('\0');
            payload.append(values[i].toUtf8());
        }
        return payload;
    }

    // Pages the process already has mapped, so that the memory limit is counted
    // from where the child starts (sanitizer builds map a great deal up front).
    rlim_t mappedBytes()
    {
        QFile statm(QStringLiteral("/proc/self/statm"));
        if (!statm.open(QIODevice::ReadOnly))
            return 0;
        return rlim_t(statm.readLine().split(' ').value(0).toULongLong())
            * rlim_t(sysconf(_SC_PAGESIZE));
    }

    [[noreturn]] void runChild(const QString& path, int fd, const ReadoutLimits& limits)
    {
        const rlimit noCore { 0, 0 };
        setrlimit(RLIMIT_CORE, &noCore);
        const rlimit cpu { rlim_t(limits.cpuSeconds), rlim_t(limits.cpuSeconds) + 1 };
        setrlimit(RLIMIT_CPU, &cpu);
        const rlim_t memory = mappedBytes() + rlim_t(limits.memoryBytes);
        const rlimit space { memory, memory };
        setrlimit(RLIMIT_AS, &space);
        // The library's warnings are English and about the damage this process
        // exists to absorb; the parent reports in Spanish.
        const int null = ::open("/dev/null", O_WRONLY);
        if (null >= 0) {
            dup2(null, STDOUT_FILENO);
            dup2(null, STDERR_FILENO);
        }

        ChildWriter writer(fd);
        try {
            const AccessFile access(path);
            const auto requireTable = [&](const char* name) {
                const QString found = access.findTable(QString::fromLatin1(name));
                if (found.isEmpty()) {
                    throw DataError(ErrorNumber::TableNotFound,
                        QStringLiteral("La base de datos %1 no tiene la tabla %2.")
                            .arg(path, QString::fromLatin1(name)));
                }
                return found;
            };
            const QString datos = requireTable("datos_cd");
            const QString canciones = requireTable("canciones");
            writer.frame(
                Total, QByteArray::number(access.rowCount(datos) + access.rowCount(canciones)));
            access.readRows(datos, CatalogFile::datosCdColumns(),
                [&](const QStringList& row) { writer.frame(DatosRow, rowPayload(row)); });
            access.readRows(canciones, CatalogFile::cancionesColumns(),
                [&](const QStringList& row) { writer.frame(CancionesRow, rowPayload(row)); });
            writer.frame(Done, {});
        } catch (const DataError& error) {
            writer.frame(
                Failed, QByteArray::number(error.number) + '\0' + error.description.toUtf8());
        }
        writer.flush();
        _exit(0);
    }

    QStringList rowOf(const QByteArray& payload)
    {
        QStringList values;
        for (const QByteArray& field : payload.split('\0'))
            values << QString::fromUtf8(field);
        return values;
    }

    DataError crashed(const QString& path, const QString& what)
    {
        return DataError(ErrorNumber::UnrecognizedFormat,
            QStringLiteral("No se pudo leer el archivo de Access/Jet %1: %2. El archivo debe de "
                           "estar dañado; no se ha modificado.")
                .arg(path, what));
    }
}

AccessRows readAccessCatalog(const QString& path, Progress& progress, const ReadoutLimits& limits)
{
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        throw DataError(ErrorNumber::InvalidOperation,
            QStringLiteral("No se pudo preparar la lectura de %1: %2")
                .arg(path, QString::fromLocal8Bit(strerror(errno))));
    const pid_t child = fork();
    if (child < 0) {
        ::close(fds[0]);
        ::close(fds[1]);
        throw DataError(ErrorNumber::InvalidOperation,
            QStringLiteral("No se pudo preparar la lectura de %1: %2")
                .arg(path, QString::fromLocal8Bit(strerror(errno))));
    }
    if (child == 0) {
        ::close(fds[0]);
        runChild(path, fds[1], limits);
    }
    ::close(fds[1]);
    const int fd = fds[0];

    AccessRows rows;
    QByteArray pending;
    qint64 received = 0, total = 0, rowsRead = 0;
    bool done = false, silent = false, tooMuch = false;
    std::optional<DataError> failure;
    char block[64 * 1024];
    for (;;) {
        pollfd wait { fd, POLLIN, 0 };
        const int ready = poll(&wait, 1, limits.silentSeconds * 1000);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready == 0) {
            silent = true;
            break;
        }
        const ssize_t n = ::read(fd, block, sizeof block);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        received += n;
        if (received > limits.dataBytes) {
            tooMuch = true;
            break;
        }
        pending.append(block, n);
        qsizetype at = 0;
        while (pending.size() - at >= 5) {
            quint32 size;
            memcpy(&size, pending.constData() + at + 1, sizeof size);
            size = qFromLittleEndian(size);
            if (size > largestFrame) {
                tooMuch = true;
                break;
            }
            if (pending.size() - at - 5 < qsizetype(size))
                break;
            const char kind = pending[at];
            const QByteArray payload = pending.mid(at + 5, size);
            at += 5 + size;
            switch (kind) {
            case Total:
                total = payload.toLongLong();
                break;
            case DatosRow:
                rows.datos << rowOf(payload);
                break;
            case CancionesRow:
                rows.canciones << rowOf(payload);
                break;
            case Failed:
                failure.emplace(payload.left(payload.indexOf('\0')).toInt(),
                    QString::fromUtf8(payload.mid(payload.indexOf('\0') + 1)));
                break;
            case Done:
                done = true;
                break;
            }
            if ((kind == DatosRow || kind == CancionesRow) && ++rowsRead % 1000 == 0)
                progress.update(rowsRead, total * 2, rowsRead / 2);
        }
        pending.remove(0, at);
        if (tooMuch)
            break;
    }
    ::close(fd);
    if (silent || tooMuch)
        kill(child, SIGKILL);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) { }

    if (silent)
        throw crashed(
            path, QStringLiteral("la lectura no avanzó en %1 s").arg(limits.silentSeconds));
    if (tooMuch)
        throw crashed(
            path, QStringLiteral("la lectura daba más datos de los que caben en el archivo"));
    if (WIFSIGNALED(status)) {
        const int signal = WTERMSIG(status);
        throw crashed(path,
            signal == SIGXCPU
                ? QStringLiteral("la lectura pasó de %1 s de proceso").arg(limits.cpuSeconds)
                : QStringLiteral("la biblioteca que lo lee se detuvo con la señal %1 "
                                 "(%2)")
                      .arg(signal)
                      .arg(QString::fromLatin1(sigabbrev_np(signal))));
    }
    if (failure)
        throw *failure;
    if (!done || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw crashed(path,
            QStringLiteral("la biblioteca que lo lee terminó sin acabar (código %1)")
                .arg(WIFEXITED(status) ? WEXITSTATUS(status) : -1));
    return rows;
}

}
