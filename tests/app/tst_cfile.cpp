#include "app/CFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

class TestCFile : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString in(const QString &name) const { return m_dir.filePath(name); }

    static void writeFile(const QString &path, const QByteArray &content)
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
    }

    static QByteArray readFile(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }

private slots:
    void pathParts()
    {
        CFile f(u"/a/b.tar.gz"_s);
        QCOMPARE((QStringList{f.Path(), f.Name(), f.NameNotExt(), f.Ext(), f.Drive()}),
                 (QStringList{u"/a/"_s, u"b.tar.gz"_s, u"b.tar"_s, u".gz"_s, QString()}));
        f.SetExt(QString());
        f.SetPath(u"/e"_s);
        QCOMPARE(f.FullPath(), u"/e/b.tar"_s);
        f.SetName(u"c.log"_s);
        f.SetNameNotExt(u"d"_s);
        QCOMPARE(f.FullPath() + f.SourcePath(), u"/e/d.log/a/b.tar.gz"_s);
        CFile drive(u"C:/a/b.txt"_s);
        drive.SetDrive(u"d:"_s);
        QCOMPARE(drive.FullPath(), u"d:/a/b.txt"_s);
        CFile empty;
        empty.SetName(u"x"_s);
        QVERIFY(empty.FullPath().isEmpty() && !empty.IsExist() && !empty.Delete() && !empty.Move());
    }

    void existenceFoldersAndDelete()
    {
        QVERIFY(QDir().mkpath(in(u"sub.d"_s)));
        writeFile(in(u"b.txt"_s), "12345");
        CFile folder(in(u"sub.d"_s));
        QVERIFY(folder.Ext() == u"[DIR]"_s && !folder.IsExist() && !folder.Delete());
        QVERIFY(CFile(in(u"B.TXT"_s)).IsExist() && !CFile(in(u"c.txt"_s)).IsExist());
        QVERIFY(CFile(in(u"c.txt"_s)).IsExistDir() && !CFile(in(u"missing/c.txt"_s)).IsExistDir());
        CFile deep(in(u"one/two/file.txt"_s));
        QVERIFY(deep.MakeDir() && QFileInfo(in(u"one/two"_s)).isDir() && !deep.MakeDir());
        CFile file(in(u"b.txt"_s));
        QCOMPARE(file.Size(), qint64(5));
        QVERIFY(file.Delete() && !QFile::exists(in(u"b.txt"_s)));
        QVERIFY(!file.Delete() && file.Size() == 0 && !file.DateLastModified().isValid());
    }

    void moveRenamesAndNeverOverwrites()
    {
        const QString source = in(u"log.mdb"_s);
        writeFile(source, "data");
        CFile f(source);
        f.SetExt(u"bak"_s);
        QVERIFY(f.Move() && !QFile::exists(source));
        QCOMPARE(f.SourcePath(), in(u"log.bak"_s));
        QVERIFY(!f.Move()); // source and target are the same now

        writeFile(source, "new");
        QVERIFY(QFile::link(in(u"nowhere"_s), in(u"link.mdb"_s)));
        // Taken names, also in another letter case and as a dangling link; then a missing folder.
        for (const QString &target : {u"log.bak"_s, u"log.BAK"_s, u"link.mdb"_s, u"no/such/x"_s}) {
            CFile onto(source);
            onto.SetName(target);
            QVERIFY2(!onto.Move(), qPrintable(target));
        }
        QCOMPARE(readFile(source) + readFile(in(u"log.bak"_s)), QByteArray("newdata"));
        QVERIFY(QFileInfo(in(u"link.mdb"_s)).isSymLink());
    }

    void moveAcrossFileSystems()
    {
        QTemporaryDir other(u"/dev/shm/tst_cfile-XXXXXX"_s);
        if (!other.isValid())
            QSKIP("no second file system at /dev/shm");
        const QString source = in(u"across.txt"_s);
        const QByteArray content(3 << 20, 'x');
        writeFile(source, content);
        writeFile(other.filePath(u"taken.txt"_s), "keep");
        CFile f(source);
        f.SetPath(other.path());
        f.SetName(u"TAKEN.txt"_s);
        QVERIFY(!f.Move());
        f.SetName(u"moved.txt"_s);
        QVERIFY(f.Move() && !QFile::exists(source));
        const QFileInfo moved(other.filePath(u"moved.txt"_s));
        QCOMPARE(readFile(moved.filePath()), content);
        QCOMPARE(QDir(other.path()).entryList(QDir::Files | QDir::Hidden).size(), 2); // no leftovers
    }
};

QTEST_GUILESS_MAIN(TestCFile)
#include "tst_cfile.moc"
