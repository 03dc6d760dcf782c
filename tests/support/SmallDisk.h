#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStorageInfo>
#include <QString>
#include <QStringList>

/**
 * @short A small tmpfs mounted on a folder for the life of the object, to run out of disk
 * space on purpose. Mounting needs root; IsMounted() says whether it worked.
 */
class SmallDisk
{
public:
    SmallDisk(const QString &mountPoint, int kib) : m_path(mountPoint)
    {
        QDir().mkpath(m_path);
        const QStringList args{QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                               QStringLiteral("size=%1k").arg(kib), QStringLiteral("tmpfs"), m_path};
        QProcess mount;
        mount.start(QStringLiteral("mount"), args);
        m_mounted = mount.waitForFinished() && mount.exitStatus() == QProcess::NormalExit && mount.exitCode() == 0;
    }
    ~SmallDisk()
    {
        if (m_mounted) // lazily: a file still open must not keep the mount
            QProcess::execute(QStringLiteral("umount"), {QStringLiteral("-l"), m_path});
    }
    SmallDisk(const SmallDisk &) = delete;
    SmallDisk &operator=(const SmallDisk &) = delete;

    bool IsMounted() const { return m_mounted; }
    QString path(const QString &name) const { return QDir(m_path).filePath(name); }

    /** Fills the disk with a filler file until about @p bytes are left free. */
    bool LeaveFree(qint64 bytes)
    {
        const qint64 fill = QStorageInfo(m_path).bytesAvailable() - bytes;
        QFile filler(path(QStringLiteral("filler")));
        return fill > 0 && filler.open(QIODevice::WriteOnly) && filler.write(QByteArray(fill, '\0')) == fill;
    }
    /** Removes the filler file again. */
    bool FreeAll() { return QFile::remove(path(QStringLiteral("filler"))); }

private:
    QString m_path;
    bool m_mounted = false;
};
