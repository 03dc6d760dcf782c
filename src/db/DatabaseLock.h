#pragma once

#include <QString>
#include <memory>

/**
 * @short The lock file beside a database ("log.mdb.lock") that orders the processes using it.
 *
 * Every process that has the database open holds the lock shared; compaction, conversion and
 * replacing the file hold it exclusive, so they run only while no other process has the file
 * open. The locks are open-file-description locks on one descriptor per process: the kernel
 * drops them when the process dies, and a change from shared to exclusive happens in one step
 * (a refused change keeps the shared lock). Holds within one process are counted: the lock
 * is exclusive while any exclusive hold lives, shared while any hold lives.
 */
class DatabaseLock
{
public:
    enum class Mode { Shared, Exclusive };

    ~DatabaseLock();
    DatabaseLock(const DatabaseLock &) = delete;
    DatabaseLock &operator=(const DatabaseLock &) = delete;

    /** The lock file of @p databasePath: the same path + ".lock". */
    static QString LockPath(const QString &databasePath);
    /**
     * Holds the lock of @p databasePath in @p mode, waiting up to @p waitMs while another
     * process holds it against that mode. nullptr when it cannot be had; @p why then says why.
     */
    static std::unique_ptr<DatabaseLock> Acquire(const QString &databasePath, Mode mode, int waitMs,
                                                 QString *why = nullptr);

    Mode mode() const { return m_mode; }

private:
    DatabaseLock(QString lockPath, Mode mode) : m_lockPath(std::move(lockPath)), m_mode(mode) {}

    QString m_lockPath;
    Mode m_mode;
};
