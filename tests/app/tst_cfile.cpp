#include "app/CFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

void writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
}

void setModified(const QString &path, const QDateTime &time)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.setFileTime(time, QFileDevice::FileModificationTime));
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

} // namespace

class TestCFile : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString in(const QString &name) const { return m_dir.filePath(name); }

private slots:
    void pathParts()
    {
        CFile f(u"/a/b.txt"_s);
        QCOMPARE(f.Name(), u"b.txt"_s);
        QCOMPARE(f.Path(), u"/a/"_s);
        QCOMPARE(f.NameNotExt(), u"b"_s);
        QCOMPARE(f.Ext(), u".txt"_s);
        QCOMPARE(CFile(u"/x/archive.tar.gz"_s).NameNotExt(), u"archive.tar"_s);
        QCOMPARE(CFile(u"/x/README"_s).NameNotExt(), u"README"_s);
        QCOMPARE(CFile(u"/x/README"_s).Ext(), QString());

        QCOMPARE(f.Drive(), QString());
        CFile drive(u"C:/a/b.txt"_s);
        QCOMPARE(drive.Drive(), u"C:"_s);
        drive.SetDrive(u"d:"_s);
        QCOMPARE(drive.FullPath(), u"d:/a/b.txt"_s);
    }

    void settersChangeFullPathOnly()
    {
        CFile f(u"/a/b.txt"_s);
        f.SetExt(u"bak"_s);
        QCOMPARE(f.FullPath(), u"/a/b.bak"_s);
        f.SetExt(QString());
        QCOMPARE(f.FullPath(), u"/a/b"_s);
        f.SetName(u"c.log"_s);
        f.SetNameNotExt(u"d"_s);
        QCOMPARE(f.FullPath(), u"/a/d.log"_s);
        f.SetPath(u"/e"_s);
        QCOMPARE(f.FullPath(), u"/e/d.log"_s);
        QCOMPARE(f.SourcePath(), u"/a/b.txt"_s);
    }

    void emptyPathDoesNothing()
    {
        CFile f;
        f.SetName(u"x"_s);
        f.SetPath(u"/y/"_s);
        f.SetExt(u"z"_s);
        f.SetNameNotExt(u"w"_s);
        QCOMPARE(f.FullPath(), QString());
        QCOMPARE(f.Ext(), QString());
        QCOMPARE(f.Size(), qint64(0));
        QVERIFY(!f.DateCreated().isValid());
        QVERIFY(!f.IsExist() && !f.IsExistDir() && !f.Delete() && !f.Move() && !f.MakeDir());
    }

    void foldersAndExistence()
    {
        QVERIFY(QDir().mkpath(in(u"sub.d"_s)));
        writeFile(in(u"b.txt"_s), "12345");
        writeFile(in(u".hidden"_s), "");

        CFile folder(in(u"sub.d"_s));
        QCOMPARE(folder.Ext(), u"[DIR]"_s);
        folder.SetExt(u"bak"_s);
        QCOMPARE(folder.FullPath(), in(u"sub.d"_s));
        folder.SetNameNotExt(u"other"_s);
        QCOMPARE(folder.Name(), u"other.d"_s);
        QVERIFY(!CFile(in(u"sub.d"_s)).IsExist() && !CFile(in(u"sub.d"_s)).Delete());

        QVERIFY(CFile(in(u"b.txt"_s)).IsExist());
        QVERIFY(CFile(in(u"B.TXT"_s)).IsExist());
        QVERIFY(CFile(in(u".HIDDEN"_s)).IsExist());
        QVERIFY(!CFile(in(u"c.txt"_s)).IsExist());
        QVERIFY(CFile(in(u"c.txt"_s)).IsExistDir());
        QVERIFY(!CFile(in(u"missing/c.txt"_s)).IsExistDir());
    }

    void sizeDatesAndDelete()
    {
        const QString path = in(u"sized.txt"_s);
        writeFile(path, "12345");
        const QDateTime stamp = QDateTime::currentDateTime().addDays(-3).addMSecs(-123);
        setModified(path, stamp);
        CFile f(path);
        QCOMPARE(f.Size(), qint64(5));
        QCOMPARE(f.DateLastModified().toSecsSinceEpoch(), stamp.toSecsSinceEpoch());
        QCOMPARE(f.DateLastModified().timeSpec(), Qt::LocalTime);
        QVERIFY(f.DateCreated().isValid() && f.DateLastAccessed().isValid());
        QCOMPARE(CFile(m_dir.path()).Size(), qint64(0));
        QVERIFY(!CFile(m_dir.path()).DateLastModified().isValid());

        QVERIFY(f.Delete() && !QFile::exists(path));
        QVERIFY(!f.Delete() && f.Size() == 0 && !f.DateCreated().isValid());
    }

    void moveRenamesAndNeverOverwrites()
    {
        const QString source = in(u"log.mdb"_s);
        writeFile(source, "data");
        CFile f(source);
        f.SetExt(u"bak"_s);
        QVERIFY(f.Move());
        QCOMPARE(readFile(in(u"log.bak"_s)), QByteArray("data"));
        QVERIFY(!QFile::exists(source));
        QCOMPARE(f.SourcePath(), in(u"log.bak"_s));
        QVERIFY(!f.Move()); // source and target are the same now

        writeFile(source, "new");
        CFile onto(source);
        onto.SetExt(u"bak"_s);
        QVERIFY(!onto.Move());
        onto.SetExt(u"BAK"_s);
        QVERIFY(!onto.Move()); // a case-insensitive file system would replace log.bak
        QVERIFY(QFile::link(in(u"nowhere"_s), in(u"link.mdb"_s)));
        onto.SetName(u"link.mdb"_s);
        QVERIFY(!onto.Move());
        QCOMPARE(readFile(source), QByteArray("new"));
        QCOMPARE(readFile(in(u"log.bak"_s)), QByteArray("data"));
        QVERIFY(QFileInfo(in(u"link.mdb"_s)).isSymLink());

        CFile intoMissing(source);
        intoMissing.SetPath(in(u"no/such"_s));
        QVERIFY(!intoMissing.Move());
        QCOMPARE(readFile(source), QByteArray("new"));
    }

    void moveAcrossFileSystems()
    {
        if (!QFileInfo(u"/dev/shm"_s).isDir())
            QSKIP("no second file system at /dev/shm");
        QTemporaryDir other(u"/dev/shm/tst_cfile-XXXXXX"_s);
        const QString source = in(u"across.txt"_s);
        const QByteArray content(3 << 20, 'x');
        writeFile(source, content);
        const QDateTime modified = QFileInfo(source).lastModified().addSecs(-3600);
        setModified(source, modified);
        QVERIFY(QFile::setPermissions(source, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
        const QFile::Permissions permissions = QFileInfo(source).permissions();
        writeFile(other.filePath(u"taken.txt"_s), "keep");

        CFile f(source);
        f.SetPath(other.path());
        f.SetName(u"TAKEN.txt"_s);
        QVERIFY(!f.Move());
        f.SetName(u"moved.txt"_s);
        QVERIFY(f.Move());
        QVERIFY(!QFile::exists(source));
        const QFileInfo moved(other.filePath(u"moved.txt"_s));
        QCOMPARE(readFile(moved.filePath()), content);
        QCOMPARE(moved.lastModified(), modified);
        QCOMPARE(moved.permissions(), permissions);
        QCOMPARE(QDir(other.path()).entryList(QDir::Files | QDir::Hidden).size(), 2);
    }

    void makeDir()
    {
        CFile f(in(u"one/two/three/file.txt"_s));
        QVERIFY(f.MakeDir() && QFileInfo(in(u"one/two/three"_s)).isDir());
        QVERIFY(!f.MakeDir());
        writeFile(in(u"plain"_s), "");
        QVERIFY(!CFile(in(u"plain/x/file.txt"_s)).MakeDir());
    }
};

QTEST_GUILESS_MAIN(TestCFile)
#include "tst_cfile.moc"
