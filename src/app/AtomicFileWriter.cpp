#include "app/AtomicFileWriter.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <unistd.h>

namespace {

/** Writes all of @p bytes to @p fd; 0, or the errno of the failed write. */
int writeAll(int fd, QByteArrayView bytes)
{
    const char *data = bytes.data();
    qint64 left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, data, size_t(left));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return written < 0 ? errno : EIO;
        data += written;
        left -= written;
    }
    return 0;
}

} // namespace

AtomicFileWriter::AtomicFileWriter(const QString &path) : m_path(path), m_file(path) {}

AtomicFileWriter::~AtomicFileWriter()
{
    Cancel();
}

bool AtomicFileWriter::Open(std::optional<QFileDevice::Permissions> permissions)
{
    // Unbuffered: QSaveFile's own buffer would report success for bytes a full disk refuses later.
    errno = 0;
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        fail(errno ? errno : EIO);
    else if (permissions)
        m_file.setPermissions(*permissions);
    return bool(m_result);
}

bool AtomicFileWriter::Write(QByteArrayView bytes)
{
    if (!m_result || !m_file.isOpen())
        return false;
    if (const int error = writeAll(m_file.handle(), bytes))
        fail(error);
    return bool(m_result);
}

CFile::SaveResult AtomicFileWriter::Commit()
{
    if (!m_result || !m_file.isOpen())
        return m_result;
    if (::fsync(m_file.handle()) != 0) {
        fail(errno);
        return m_result;
    }
    errno = 0;
    if (!m_file.commit()) {
        fail(errno ? errno : EIO);
        return m_result;
    }
    CFile::SyncFolder(QFileInfo(m_path).absolutePath());
    return m_result;
}

void AtomicFileWriter::Cancel()
{
    if (!m_file.isOpen())
        return;
    m_file.cancelWriting();
    (void)m_file.commit(); // a cancelled commit only removes the temporary file
}

void AtomicFileWriter::fail(int error)
{
    if (m_result)
        m_result = {error, CFile::SaveErrorText(m_path, error)};
    Cancel();
}
