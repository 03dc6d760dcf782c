#pragma once

#include <QFile>
#include <QString>
#include <fcntl.h>
#include <unistd.h>

/** Another process with @p database open: a shared hold on its lock file, or an exclusive one as a compaction's. */
struct OtherProcess
{
    explicit OtherProcess(const QString &database, bool exclusive = false)
        : fd(::open(QFile::encodeName(database + QStringLiteral(".lock")).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644))
    {
        struct flock lock = {};
        lock.l_type = exclusive ? F_WRLCK : F_RDLCK;
        held = ::fcntl(fd, F_OFD_SETLK, &lock) == 0;
    }
    ~OtherProcess() { ::close(fd); }
    OtherProcess(const OtherProcess &) = delete;
    OtherProcess &operator=(const OtherProcess &) = delete;

    int fd;
    bool held = false;
};
