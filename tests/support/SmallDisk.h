#pragma once

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QTest>

#include <unistd.h>

/** @short A small tmpfs mounted on a folder while it lives, to fill a disk; mounting needs root. */
class SmallDisk
{
public:
    SmallDisk(const QString &folder, int kilobytes) : m_folder(folder)
    {
        QDir().mkpath(folder);
        m_mounted = ::geteuid() == 0
            && QProcess::execute(QStringLiteral("mount"),
                   {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                    QStringLiteral("size=%1k").arg(kilobytes), QStringLiteral("tmpfs"), folder})
                == 0;
    }
    ~SmallDisk()
    {
        if (m_mounted)
            QProcess::execute(QStringLiteral("umount"), {QStringLiteral("-l"), m_folder});
    }
    SmallDisk(const SmallDisk &) = delete;
    SmallDisk &operator=(const SmallDisk &) = delete;

    bool mounted() const { return m_mounted; }

    /** Fills the disk with a filler file, leaving @p room bytes free; false on failure. */
    bool fill(qint64 room = 0) const
    {
        QFile filler(path(QStringLiteral("filler")));
        if (!filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
            return false;
        const QByteArray page(4096, 'f');
        while (filler.write(page) == page.size()) {
        }
        return filler.resize(qMax<qint64>(0, filler.size() - room));
    }

    /** Removes the filler file again. */
    bool freeAll() const { return QFile::remove(path(QStringLiteral("filler"))); }

    QString path(const QString &name) const { return QDir(m_folder).filePath(name); }

private:
    QString m_folder;
    bool m_mounted = false;
};

/** Skips the calling test where no small disk can be mounted. */
#define REQUIRE_MOUNTED(disk)                                                                      \
    if (!(disk).mounted())                                                                         \
        QSKIP("a small tmpfs cannot be mounted here (needs root)")
