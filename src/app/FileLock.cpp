#include "app/FileLock.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QThread>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

FileLock::FileLock(const QString &path, int timeoutMs)
{
    const QString lockPath = path + u".lock"_s;
    const int fd = ::open(QFile::encodeName(lockPath).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        m_error = u"ロックファイル %1 を作れませんでした。\n%2"_s.arg(lockPath, QString::fromLocal8Bit(std::strerror(errno)));
        return;
    }
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            m_fd = fd;
            return;
        }
        if ((errno != EWOULDBLOCK && errno != EINTR) || deadline.hasExpired())
            break;
        QThread::msleep(5);
    }
    m_error = u"%1 は他のプログラムが書き込み中のため、書き込めませんでした。しばらくしてからやり直してください。"_s.arg(path);
    ::close(fd);
}

FileLock::~FileLock()
{
    if (m_fd >= 0)
        ::close(m_fd); // closing the last descriptor releases the lock
}
