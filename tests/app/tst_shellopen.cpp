#include "app/mdlExecuteLite.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

class TestShellOpen : public QObject
{
    Q_OBJECT

    QList<QUrl> m_opened;
    bool m_accept = true;

private slots:
    void init()
    {
        m_opened.clear();
        m_accept = true;
        mdlExecuteLite::setShellOpenHandler([this](const QUrl &url) {
            m_opened.append(url);
            return m_accept;
        });
    }

    void cleanup() { mdlExecuteLite::setShellOpenHandler({}); }

    void opensWebAndMailAddresses_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("url");
        QTest::newRow("http") << u"http://example.com/a?b=1"_s << u"http://example.com/a?b=1"_s;
        QTest::newRow("https, upper-case scheme, blanks around")
            << u"  HTTPS://example.com/  "_s << u"https://example.com/"_s;
        QTest::newRow("ftp") << u"ftp://ftp.example.com/pub"_s << u"ftp://ftp.example.com/pub"_s;
        QTest::newRow("mailto") << u"mailto:someone@example.jp"_s << u"mailto:someone@example.jp"_s;
        QTest::newRow("www without scheme") << u"www.example.jp/~me/"_s << u"http://www.example.jp/~me/"_s;
        QTest::newRow("japanese path") << u"http://example.jp/日記"_s << u"http://example.jp/日記"_s;
    }

    void opensWebAndMailAddresses()
    {
        QFETCH(QString, text);
        QFETCH(QString, url);
        QCOMPARE(mdlExecuteLite::ShellOpen(text, QString(), u"open"_s), 1);
        QCOMPARE(m_opened, QList<QUrl>{QUrl(url)});
        QCOMPARE(mdlExecuteLite::ShellOpen(text), 1);
    }

    void refusesEverythingElse_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("empty") << QString();
        QTest::newRow("file url") << u"file:///etc/passwd"_s;
        QTest::newRow("absolute path") << u"/usr/bin/xterm"_s;
        QTest::newRow("relative program") << u"calc.exe"_s;
        QTest::newRow("javascript") << u"javascript:alert(1)"_s;
        QTest::newRow("other scheme") << u"smb://server/share"_s;
        QTest::newRow("http without host") << u"http:foo"_s;
        QTest::newRow("mailto without recipient") << u"mailto:"_s;
    }

    void refusesEverythingElse()
    {
        QFETCH(QString, text);
        QCOMPARE(mdlExecuteLite::ShellOpen(text, QString(), u"open"_s), 0);
        QVERIFY(m_opened.isEmpty());
        QVERIFY(!mdlExecuteLite::OpenableUrl(text).isValid());
    }

    void refusesOtherVerbsAndParameters()
    {
        const QString address = u"http://example.com/"_s;
        QCOMPARE(mdlExecuteLite::ShellOpen(address, QString(), u"print"_s), 0);
        QCOMPARE(mdlExecuteLite::ShellOpen(address, u"--flag"_s, u"open"_s), 0);
        QVERIFY(m_opened.isEmpty());
        QCOMPARE(mdlExecuteLite::ShellOpen(address, QString(), u"Open"_s), 1);
    }

    void reportsHandlerFailure()
    {
        m_accept = false;
        QCOMPARE(mdlExecuteLite::ShellOpen(u"http://example.com/"_s), 0);
        QCOMPARE(m_opened.size(), 1);
    }

    void opensExistingLocalFilesOnly()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(u"ReadMe.txt"_s);
        QCOMPARE(mdlExecuteLite::ShellOpenLocalFile(path), 0);
        QCOMPARE(mdlExecuteLite::ShellOpenLocalFile(dir.path()), 0);
        QCOMPARE(mdlExecuteLite::ShellOpenLocalFile(QString()), 0);
        QVERIFY(m_opened.isEmpty());

        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        QCOMPARE(mdlExecuteLite::ShellOpenLocalFile(path), 1);
        QCOMPARE(m_opened, QList<QUrl>{QUrl::fromLocalFile(path)});
        // An address-taking caller cannot reach a local file.
        QCOMPARE(mdlExecuteLite::ShellOpen(path), 0);
    }

    void desktopHandlerNeedsGuiApplication()
    {
        mdlExecuteLite::setShellOpenHandler({});
        QCOMPARE(mdlExecuteLite::ShellOpen(u"http://example.com/"_s), 0);
    }
};

QTEST_GUILESS_MAIN(TestShellOpen)
#include "tst_shellopen.moc"
