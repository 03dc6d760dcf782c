#include "app/CFile.h"

#include "app/AtomicFileWriter.h"
#include "app/mdlApp.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

bool isFile(const QString &path)
{
    return !path.isEmpty() && QFileInfo(path).isFile();
}

bool hasDrive(const QString &path)
{
    return path.size() >= 2 && path[1] == u':' && path[0].isLetter() && path[0].unicode() < 128;
}

// rename(2) that never replaces an existing entry. Returns 0, or the errno of the failure.
int renameNoReplace(const QString &from, const QString &to)
{
    const QByteArray source = QFile::encodeName(from);
    const QByteArray target = QFile::encodeName(to);
    if (::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
    // The file system cannot be told not to replace, but a hard link never replaces.
    if (::link(source.constData(), target.constData()) != 0)
        return errno;
    if (::unlink(source.constData()) == 0)
        return 0;
    const int error = errno;
    ::unlink(target.constData());
    return error;
}

bool copyContents(QFile &source, QFile &target)
{
    QByteArray buffer(1 << 20, Qt::Uninitialized);
    qint64 count = 0;
    while ((count = source.read(buffer.data(), buffer.size())) > 0) {
        if (target.write(buffer.constData(), count) != count)
            return false;
    }
    return count == 0;
}

// The move between file systems: a complete, synced copy appears at the target under its name
// in one step (never replacing anything), and only then the source goes.
bool moveByCopy(const QString &from, const QString &to)
{
    QFile source(from);
    const QString folder = QFileInfo(to).absolutePath();
    QTemporaryFile copy(folder + u"/.tessera-move-XXXXXX"_s);
    if (!source.open(QIODevice::ReadOnly) || !copy.open() || !copyContents(source, copy) || !copy.flush())
        return false;
    copy.setPermissions(source.permissions());
    copy.setFileTime(QFileInfo(from).lastModified(), QFileDevice::FileModificationTime);
    if (::fsync(copy.handle()) != 0 || !copy.rename(to))
        return false;
    copy.setAutoRemove(false);
    if (CFile::SyncFolder(folder) && source.remove())
        return true;
    QFile::remove(to);
    return false;
}

} // namespace

void CFile::SetFullPath(const QString &path)
{
    m_fullPath = path;
    m_sourcePath = path;
}

QString CFile::Drive() const
{
    return hasDrive(m_fullPath) ? m_fullPath.left(2) : QString();
}

void CFile::SetDrive(const QString &drive)
{
    if (hasDrive(m_fullPath) && !drive.isEmpty())
        m_fullPath[0] = drive[0];
}

QString CFile::Path() const
{
    return m_fullPath.left(m_fullPath.lastIndexOf(u'/') + 1);
}

void CFile::SetPath(const QString &folder)
{
    if (!m_fullPath.isEmpty())
        m_fullPath = (folder.isEmpty() ? QString() : mdlApp::AddPathSeparator(folder)) + Name();
}

QString CFile::Name() const
{
    return m_fullPath.mid(m_fullPath.lastIndexOf(u'/') + 1);
}

void CFile::SetName(const QString &name)
{
    if (!m_fullPath.isEmpty())
        m_fullPath = Path() + name;
}

QString CFile::NameNotExt() const
{
    const QString name = Name();
    const qsizetype dot = name.lastIndexOf(u'.');
    return dot < 0 ? name : name.left(dot);
}

void CFile::SetNameNotExt(const QString &nameNotExt)
{
    if (!m_fullPath.isEmpty())
        m_fullPath = Path() + nameNotExt + nameExtension();
}

QString CFile::Ext() const
{
    if (m_fullPath.isEmpty())
        return {};
    return QFileInfo(m_fullPath).isDir() ? u"[DIR]"_s : nameExtension();
}

void CFile::SetExt(const QString &ext)
{
    if (m_fullPath.isEmpty() || QFileInfo(m_fullPath).isDir())
        return;
    m_fullPath = Path() + NameNotExt() + (ext.isEmpty() ? QString() : u'.' + ext);
}

QString CFile::nameExtension() const
{
    const QString name = Name();
    const qsizetype dot = name.lastIndexOf(u'.');
    return dot < 0 ? QString() : name.mid(dot);
}

qint64 CFile::Size() const
{
    return isFile(m_fullPath) ? QFileInfo(m_fullPath).size() : 0;
}

QDateTime CFile::DateCreated() const
{
    if (!isFile(m_fullPath))
        return {};
    const QFileInfo info(m_fullPath);
    const QDateTime birth = info.birthTime();
    return birth.isValid() ? birth : info.metadataChangeTime();
}

QDateTime CFile::DateLastAccessed() const
{
    return isFile(m_fullPath) ? QFileInfo(m_fullPath).lastRead() : QDateTime();
}

QDateTime CFile::DateLastModified() const
{
    return isFile(m_fullPath) ? QFileInfo(m_fullPath).lastModified() : QDateTime();
}

bool CFile::IsExist() const
{
    const QString name = Name();
    if (name.isEmpty())
        return false;
    if (isFile(m_fullPath))
        return true;
    const QString folder = Path();
    QDirIterator entries(folder.isEmpty() ? u"."_s : folder, QDir::Files | QDir::Hidden);
    while (entries.hasNext()) {
        entries.next();
        if (entries.fileName().compare(name, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

bool CFile::IsExistDir() const
{
    if (m_fullPath.isEmpty())
        return false;
    const QString folder = Path();
    return QFileInfo(folder.isEmpty() ? u"."_s : folder).isDir();
}

bool CFile::Delete() const
{
    return !m_fullPath.isEmpty() && QFile::remove(m_fullPath);
}

bool CFile::targetTaken() const
{
    const QFileInfo target(m_fullPath);
    return target.exists() || target.isSymLink() || IsExist();
}

bool CFile::Move()
{
    if (m_fullPath.isEmpty() || m_sourcePath == m_fullPath || !isFile(m_sourcePath) || targetTaken())
        return false;
    const int error = renameNoReplace(m_sourcePath, m_fullPath);
    if (error == EEXIST || (error != 0 && !moveByCopy(m_sourcePath, m_fullPath)))
        return false;
    m_sourcePath = m_fullPath;
    return true;
}

bool CFile::MakeDir() const
{
    if (m_fullPath.isEmpty() || IsExistDir())
        return false;
    return QDir().mkpath(Path());
}

CFile::SaveResult CFile::SaveAtomically(const QString &path, QByteArrayView bytes,
                                        std::optional<QFileDevice::Permissions> permissions)
{
    AtomicFileWriter file(path);
    if (file.Open(permissions) && file.Write(bytes))
        return file.Commit();
    return file.Result();
}

bool CFile::SyncFolder(const QString &folder)
{
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY);
    if (fd < 0)
        return false;
    const bool synced = ::fsync(fd) == 0;
    ::close(fd);
    return synced;
}

QString CFile::SaveErrorText(const QString &path, int error)
{
    if (error == ENOSPC || error == EDQUOT)
        return u"ディスクの空き容量が不足しています。\n%1 は保存されていません（元の内容のままです）。"_s.arg(path);
    return u"%1 を保存できませんでした。\n%2"_s.arg(path, QString::fromLocal8Bit(std::strerror(error)));
}
