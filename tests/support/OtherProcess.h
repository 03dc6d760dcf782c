#pragma once

#include "db/DatabaseLock.h"

#include <QFile>
#include <QString>
#include <fcntl.h>
#include <unistd.h>

/**
 * Another process that has @p database open: a hold on the file's lock, shared as an open
 * database's, or exclusive as a compaction's in progress. Its own descriptor of the file
 * makes it another holder even within this process (closing it ends this process's SQLite
 * locks on the file: no transaction may be open then).
 */
struct OtherProcess
{
    explicit OtherProcess(const QString &database, bool exclusive = false)
        : fd(::open(QFile::encodeName(database).constData(), O_RDWR | O_CLOEXEC))
    {
        struct flock lock = {};
        lock.l_type = exclusive ? F_WRLCK : F_RDLCK;
        lock.l_whence = SEEK_SET;
        lock.l_start = DatabaseLock::LockByte;
        lock.l_len = 1;
        held = ::fcntl(fd, F_OFD_SETLK, &lock) == 0;
    }
    ~OtherProcess() { ::close(fd); }
    OtherProcess(const OtherProcess &) = delete;
    OtherProcess &operator=(const OtherProcess &) = delete;

    int fd;
    bool held = false;
};
