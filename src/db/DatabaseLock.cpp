#include "db/DatabaseLock.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QHash>
#include <QMutex>
#include <QThread>
#include <cerrno>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

using FileId = DatabaseLock::FileId;

/** This process's descriptor of one database file and its holds. */
struct LockedFile
{
    int fd = -1;
    int shared = 0;
    int exclusive = 0;
};

QMutex registryMutex;
QHash<FileId, LockedFile> registry;

constexpr int PollMs = 20;
/** How often a hold is taken again when other processes keep replacing the file. */
constexpr int MaxAttempts = 5;

std::optional<FileId> idOfPath(const QByteArray &path)
{
    struct stat st;
    return ::stat(path.constData(), &st) == 0 ? std::optional(FileId{st.st_dev, st.st_ino}) : std::nullopt;
}

std::optional<FileId> idOfDescriptor(int fd)
{
    struct stat st;
    return ::fstat(fd, &st) == 0 ? std::optional(FileId{st.st_dev, st.st_ino}) : std::nullopt;
}

bool setLock(int fd, short type)
{
    struct flock lock = {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = DatabaseLock::LockByte;
    lock.l_len = 1;
    while (::fcntl(fd, F_OFD_SETLK, &lock) != 0) {
        if (errno != EINTR)
            return false;
    }
    return true;
}

/** Takes lock @p type, trying again until @p deadline has passed: 0, or the errno of the failure. */
int setLockWaiting(int fd, short type, const QDeadlineTimer &deadline)
{
    for (;;) {
        if (setLock(fd, type))
            return 0;
        const int error = errno;
        if ((error != EAGAIN && error != EACCES) || deadline.hasExpired())
            return error;
        QThread::msleep(PollMs);
    }
}

/** The lock type that the holds of @p file ask for. */
short wantedType(const LockedFile &file)
{
    return file.exclusive > 0 ? F_WRLCK : file.shared > 0 ? F_RDLCK : F_UNLCK;
}

/** Opens the file at @p path for its lock: read-write, or read-only where it cannot be written. */
int openForLock(const QByteArray &path)
{
    const int fd = ::open(path.constData(), O_RDWR | O_CLOEXEC | O_NOCTTY);
    if (fd >= 0 || (errno != EACCES && errno != EROFS))
        return fd;
    return ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
}

/**
 * The registry's entry of file @p id at @p path, opened when this process holds nothing on it
 * yet; nullptr when the file cannot be opened or another process replaced it meanwhile.
 */
LockedFile *entryOf(const QByteArray &path, const FileId &id)
{
    const auto found = registry.find(id);
    if (found != registry.end())
        return &*found;
    const int fd = openForLock(path);
    if (fd < 0)
        return nullptr;
    if (idOfDescriptor(fd) != id) {
        ::close(fd);
        return nullptr;
    }
    LockedFile &entry = registry[id];
    entry.fd = fd;
    return &entry;
}

/** Gives back one hold of @p mode on file @p id. */
void release(const FileId &id, DatabaseLock::Mode mode)
{
    const auto it = registry.find(id);
    if (it == registry.end())
        return;
    LockedFile &file = *it;
    const short before = wantedType(file);
    --(mode == DatabaseLock::Mode::Exclusive ? file.exclusive : file.shared);
    const short after = wantedType(file);
    if (after == F_UNLCK) {
        ::close(file.fd); // closing the last descriptor releases the lock
        registry.erase(it);
    } else if (after != before) {
        setLock(file.fd, after); // exclusive to shared never conflicts
    }
}

QString missingText(const QString &path)
{
    return u"データベースファイル '%1' がないか、開けません。"_s.arg(path);
}

QString busyText(DatabaseLock::Mode mode)
{
    return mode == DatabaseLock::Mode::Exclusive
        ? u"他のプロセス（Tessera または tessera-cli）がデータベースを使用中です。"_s
        : u"他のプロセスがデータベースを最適化または置き換え中です。しばらくしてからやり直してください。"_s;
}

} // namespace

std::unique_ptr<DatabaseLock> DatabaseLock::Acquire(const QString &databasePath, Mode mode, int waitMs, QString *why)
{
    const QByteArray path = QFile::encodeName(databasePath);
    const QMutexLocker locker(&registryMutex);
    const QDeadlineTimer deadline(waitMs);
    QString reason = missingText(databasePath);
    for (int attempt = 0; attempt < MaxAttempts; ++attempt) {
        const std::optional<FileId> id = idOfPath(path);
        if (!id)
            break;
        LockedFile *file = entryOf(path, *id);
        if (!file)
            continue; // replaced between the look and the opening, or unreadable
        int &count = mode == Mode::Exclusive ? file->exclusive : file->shared;
        const short before = wantedType(*file);
        ++count;
        const short after = wantedType(*file);
        const int error = after != before ? setLockWaiting(file->fd, after, deadline) : 0;
        if (error != 0) {
            release(*id, mode);
            reason = error == EBADF ? u"データベースファイル '%1' に書き込めません。"_s.arg(databasePath) : busyText(mode);
            break;
        }
        // While this process waited, another one may have put a new file under the path.
        if (idOfPath(path) == id)
            return std::unique_ptr<DatabaseLock>(new DatabaseLock(*id, mode));
        release(*id, mode);
        reason = busyText(mode);
    }
    if (why)
        *why = reason;
    return nullptr;
}

DatabaseLock::~DatabaseLock()
{
    const QMutexLocker locker(&registryMutex);
    release(m_file, m_mode);
}
