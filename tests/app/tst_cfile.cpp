#include "app/CFile.h"
#include "support/TestFiles.h"

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

private slots:
    void pathParts()
    {
        CFile f(u"/a/b.tar.gz"_s);
        QCOMPARE(f.Path(), u"/a/"_s);
        QCOMPARE(f.Name(), u"b.tar.gz"_s);
        QCOMPARE(f.NameNotExt(), u"b.tar"_s);
        QCOMPARE(f.Ext(), u".gz"_s);
        f.SetExt(QString());
        f.SetPath(u"/e"_s);
        QCOMPARE(f.FullPath(), u"/e/b.tar"_s);
        f.SetName(u"c.log"_s);
        f.SetNameNotExt(u"d"_s);
        QCOMPARE(f.FullPath(), u"/e/d.log"_s);
        QCOMPARE(f.SourcePath(), u"/a/b.tar.gz"_s);
        CFile empty;
        empty.SetName(u"x"_s);
        QVERIFY(empty.FullPath().isEmpty());
        QVERIFY(!empty.IsExist());
        QVERIFY(!empty.Delete());
        QVERIFY(!empty.Move());
    }

    void moveRenamesAndNeverOverwrites()
    {
        const QString source = in(u"log.mdb"_s);
        writeFile(source, "data");
        CFile f(source);
        f.SetExt(u"bak"_s);
        QVERIFY(f.Move());
        QVERIFY(!QFile::exists(source));
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
        QCOMPARE(readFile(source), QByteArray("new"));
        QCOMPARE(readFile(in(u"log.bak"_s)), QByteArray("data"));
        QVERIFY(QFileInfo(in(u"link.mdb"_s)).isSymLink());
    }
};

QTEST_GUILESS_MAIN(TestCFile)
#include "tst_cfile.moc"
