#pragma once

#include <QString>

/**
 * @short An exclusive advisory lock (flock) on file + ".lock", held while the object lives.
 *
 * Processes that change the same file take this lock around their read-modify-write. The system releases the lock when the process ends, also when it is
 * killed, so no lock outlives its holder. The lock file stays; it holds nothing.
 */
class FileLock
{
public:
    /** @short Waits up to @p timeoutMs for the lock of @p path, creating its lock file. */
    explicit FileLock(const QString &path, int timeoutMs = 10000);
    ~FileLock();
    FileLock(const FileLock &) = delete;
    FileLock &operator=(const FileLock &) = delete;

    /** @short Whether the lock is held. */
    bool isLocked() const { return m_fd >= 0; }
    /** @short Why the lock is not held: a Japanese message naming the file. */
    QString errorText() const { return m_error; }

private:
    int m_fd = -1;
    QString m_error;
};
