#include "app/mdlExecuteLite.h"

#include <QTest>

using namespace Qt::StringLiterals;

class TestShellOpen : public QObject
{
    Q_OBJECT

    QList<QUrl> m_opened;

private slots:
    void init()
    {
        m_opened.clear();
        mdlExecuteLite::setShellOpenHandler([this](const QUrl &url) { return m_opened.append(url), true; });
    }

    void cleanup() { mdlExecuteLite::setShellOpenHandler({}); }

    void schemeFilter_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("url"); // empty when refused
        QTest::newRow("web, blanks around") << u"  HTTPS://example.com/a?b=1  "_s << u"https://example.com/a?b=1"_s;
        QTest::newRow("mailto") << u"mailto:me@example.jp"_s << u"mailto:me@example.jp"_s;
        QTest::newRow("empty") << QString() << QString();
        QTest::newRow("local program") << u"/usr/bin/xterm"_s << QString();
        QTest::newRow("file url") << u"file:///etc/passwd"_s << QString();
        QTest::newRow("http without host") << u"http:foo"_s << QString();
        QTest::newRow("mailto without recipient") << u"mailto:"_s << QString();
    }

    void schemeFilter()
    {
        QFETCH(QString, text);
        QFETCH(QString, url);
        QCOMPARE(mdlExecuteLite::ShellOpen(text, QString(), u"open"_s), url.isEmpty() ? 0 : 1);
        QCOMPARE(m_opened, url.isEmpty() ? QList<QUrl>() : QList<QUrl>{QUrl(url)});
        QCOMPARE(mdlExecuteLite::OpenableUrl(text).isValid(), !url.isEmpty());
    }

    void refusalsAndFailures()
    {
        const QString address = u"http://example.com/"_s;
        QCOMPARE(mdlExecuteLite::ShellOpen(address, QString(), u"print"_s), 0);
        QCOMPARE(mdlExecuteLite::ShellOpen(address, u"--flag"_s, u"open"_s), 0);
        QCOMPARE(mdlExecuteLite::ShellOpen(address, QString(), u"Open"_s), 1);
        QCOMPARE(m_opened, QList<QUrl>{QUrl(address)});
        mdlExecuteLite::setShellOpenHandler([](const QUrl &) { return false; });
        QCOMPARE(mdlExecuteLite::ShellOpen(address), 0);
    }
};

QTEST_GUILESS_MAIN(TestShellOpen)
#include "tst_shellopen.moc"
