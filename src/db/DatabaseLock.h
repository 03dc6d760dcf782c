#pragma once

#include <QString>
#include <QtGlobal>
#include <memory>
#include <utility>
#include <sys/types.h>

/**
 * @short The lock that orders the processes using one database file.
 *
 * Every process that has the database open holds the lock shared; compaction, conversion,
 * repair and replacing the file hold it exclusive, so they run only while no other process
 * has the file open. The lock is an open-file-description lock on one byte of the database
 * file itself, so it lives as long as the file does: no separate lock file that a user could
 * delete under a running process. The kernel drops it when the process dies, and a change
 * from shared to exclusive happens in one step (a refused change keeps the shared lock).
 *
 * A file replaced by a rename is a new file with a lock of its own: a hold is taken on the
 * file the path names once the lock is had, taken again when another process replaced the
 * file meanwhile. Holds within one process are counted per file: the lock is exclusive while
 * any exclusive hold lives, shared while any hold lives. The descriptor stays open while any
 * hold on its file lives, as closing it would end SQLite's own locks on the file too: a
 * connection opens after its hold and closes before it.
 */
class DatabaseLock
{
public:
    enum class Mode { Shared, Exclusive };

    /**
     * The byte of the database file that the lock covers. SQLite locks the bytes from
     * 0x40000000 to 0x400001FF; this one lies just past them, so the two never meet.
     */
    static constexpr qint64 LockByte = 0x40000200;

    ~DatabaseLock();
    DatabaseLock(const DatabaseLock &) = delete;
    DatabaseLock &operator=(const DatabaseLock &) = delete;

    /**
     * Holds the lock of the file at @p databasePath in @p mode, waiting up to @p waitMs while
     * another process holds it against that mode. nullptr when it cannot be had (also when
     * the file does not exist); @p why then says why.
     */
    static std::unique_ptr<DatabaseLock> Acquire(const QString &databasePath, Mode mode, int waitMs,
                                                 QString *why = nullptr);

    Mode mode() const { return m_mode; }

    /** @short A file's identity: its device and inode. */
    using FileId = std::pair<dev_t, ino_t>;

private:
    DatabaseLock(FileId file, Mode mode) : m_file(file), m_mode(mode) {}

    FileId m_file;
    Mode m_mode;
};
