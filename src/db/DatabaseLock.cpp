#include "db/DatabaseLock.h"

#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QMutex>
#include <QThread>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

/** This process's descriptor of one lock file and its holds. */
struct LockFile
{
    int fd = -1;
    int shared = 0;
    int exclusive = 0;
};

QMutex registryMutex;
QHash<QString, LockFile> registry; // by lock file path

constexpr int PollMs = 20;

bool setLock(int fd, short type)
{
    struct flock lock = {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET; // start 0, length 0: the whole file
    while (::fcntl(fd, F_OFD_SETLK, &lock) != 0) {
        if (errno != EINTR)
            return false;
    }
    return true;
}

/** Takes lock @p type, trying again until @p waitMs have passed. */
bool setLockWaiting(int fd, short type, int waitMs)
{
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        if (setLock(fd, type))
            return true;
        if (errno != EAGAIN && errno != EACCES)
            return false;
        if (waited.elapsed() >= waitMs)
            return false;
        QThread::msleep(PollMs);
    }
}

/** The lock type that the holds of @p file ask for. */
short wantedType(const LockFile &file)
{
    return file.exclusive > 0 ? F_WRLCK : file.shared > 0 ? F_RDLCK : F_UNLCK;
}

} // namespace

QString DatabaseLock::LockPath(const QString &databasePath)
{
    return databasePath + u".lock"_s;
}

std::unique_ptr<DatabaseLock> DatabaseLock::Acquire(const QString &databasePath, Mode mode, int waitMs, QString *why)
{
    const QString path = LockPath(databasePath);
    const QMutexLocker locker(&registryMutex);
    LockFile &file = registry[path];
    if (file.fd < 0) {
        file.fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (file.fd < 0) {
            registry.remove(path);
            if (why)
                *why = u"ロックファイル '%1' を作成できません。フォルダに書き込めるか確かめてください。"_s.arg(path);
            return nullptr;
        }
    }
    int &count = mode == Mode::Exclusive ? file.exclusive : file.shared;
    const short before = wantedType(file);
    ++count;
    const short after = wantedType(file);
    if (after != before && !setLockWaiting(file.fd, after, waitMs)) {
        --count;
        if (wantedType(file) == F_UNLCK) {
            ::close(file.fd);
            registry.remove(path);
        }
        if (why)
            *why = mode == Mode::Exclusive
                ? u"他のプロセス（Tessera または tessera-cli）がデータベースを使用中です。"_s
                : u"他のプロセスがデータベースを最適化または置き換え中です。しばらくしてからやり直してください。"_s;
        return nullptr;
    }
    return std::unique_ptr<DatabaseLock>(new DatabaseLock(path, mode));
}

DatabaseLock::~DatabaseLock()
{
    const QMutexLocker locker(&registryMutex);
    const auto it = registry.find(m_lockPath);
    if (it == registry.end())
        return;
    LockFile &file = *it;
    const short before = wantedType(file);
    --(m_mode == Mode::Exclusive ? file.exclusive : file.shared);
    const short after = wantedType(file);
    if (after == F_UNLCK) {
        ::close(file.fd); // closing the last descriptor releases the lock
        registry.erase(it);
    } else if (after != before) {
        setLock(file.fd, after); // exclusive to shared never conflicts
    }
}
