#include "app/mdlEncoding.h"
#include "cookies/CookieJar.h"
#include "cookies/CookieStore.h"
#include "support/TestFiles.h"

#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <malloc.h>

using namespace Qt::StringLiterals;

namespace {

const QString BoardUrl = u"http://bbs.example.jp/cgi-bin/board.cgi?id=3"_s;
const QString Future = u"; expires=Fri, 01-Jan-2100 00:00:00 GMT"_s;

} // namespace

class TestCookieStore : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_path;
    int m_files = 0;

private slots:
    void init() { m_path = m_dir.filePath(u"cookies-%1.txt"_s.arg(++m_files)); } // a new file for every test and row

    void matching_data()
    {
        QTest::addColumn<QString>("setOn");    // the address that set the cookie
        QTest::addColumn<QString>("attributes");
        QTest::addColumn<QString>("requested");
        QTest::addColumn<bool>("sent");
        const QString bbs = u"http://example.com/bbs/board.cgi"_s;
        QTest::newRow("path: the folder itself") << bbs << u"; path=/bbs"_s << u"http://example.com/bbs"_s << true;
        QTest::newRow("path: below the folder") << bbs << u"; path=/bbs"_s << u"http://example.com/bbs/x.cgi"_s << true;
        QTest::newRow("path: a longer folder name") << bbs << u"; path=/bbs"_s << u"http://example.com/bbs2/x.cgi"_s << false;
        QTest::newRow("path: ends in a slash") << bbs << u"; path=/bbs/"_s << u"http://example.com/bbs/x.cgi"_s << true;
        QTest::newRow("default path: same folder") << bbs << QString() << u"http://example.com/bbs/other.cgi"_s << true;
        QTest::newRow("default path: other folder") << bbs << QString() << u"http://example.com/cgi/x.cgi"_s << false;
        QTest::newRow("host-only: same host") << bbs << u"; path=/"_s << u"http://EXAMPLE.com/"_s << true;
        QTest::newRow("host-only: subdomain") << bbs << u"; path=/"_s << u"http://other.example.com/"_s << false;
        QTest::newRow("host-only: parent domain") << u"http://www.example.com/"_s << u"; path=/"_s << u"http://example.com/"_s << false;
        QTest::newRow("domain: subdomain") << bbs << u"; path=/; domain=example.com"_s << u"http://other.example.com/"_s << true;
        QTest::newRow("domain: same suffix, other domain") << bbs << u"; path=/; domain=example.com"_s << u"http://badexample.com/"_s << false;
        QTest::newRow("secure: over https") << bbs << u"; path=/; secure"_s << u"https://example.com/"_s << true;
        QTest::newRow("secure: over http") << bbs << u"; path=/; secure"_s << u"http://example.com/"_s << false;
    }

    // A board's password must reach only the board (host and folder) that set it.
    void matching()
    {
        QFETCH(QString, setOn);
        QFETCH(QString, attributes);
        QFETCH(QString, requested);
        QFETCH(bool, sent);
        CookieStore store(m_path);
        QVERIFY(store.SetCookie(setOn, u"pass"_s, u"secret"_s + attributes + Future));
        QCOMPARE(store.GetCookie(requested), sent ? u"pass=secret"_s : QString());
    }

    void valuesPersistAsBytes()
    {
        // Control bytes, "%%" and CP932 text (the "ソ" trail byte is a backslash) all come back as sent.
        const QList<std::pair<QByteArray, QByteArray>> cookies = {
            {BoardUrl.toLatin1(), ",,,,20,,,0,30"}, {"tab\tname", "line\r\nbreak"}, {QByteArray("nul\0x", 5), "%%percent"},
            {"type3", "ck_name%3D%82%A0%26ck_mail%3D"}, {"empty", ""}, {"name", mdlMain::ToCp932(u"山田ソ,表示"_s)}};
        {
            CookieStore store(m_path);
            QVERIFY(store.SetCookie(BoardUrl, BoardUrl, u",,,,20,,,0,30"_s + Future));
            for (const auto &[name, value] : cookies.mid(1, 4))
                QVERIFY(store.SetCookieBytes(QUrl(BoardUrl), name, value + "; max-age=100000"));
            QVERIFY(store.SetCookie(BoardUrl, u"name"_s, u"山田ソ,表示; path=/"_s + Future));
            QCOMPARE(store.GetCookie(u"http://bbs.example.jp/"_s), u"name=山田ソ,表示"_s);
        }
        const QByteArray text = readFile(m_path);
        QVERIFY(text.startsWith("# Netscape HTTP Cookie File\n"));
        QVERIFY(text.contains("\nbbs.example.jp\tFALSE\t/cgi-bin\tFALSE\t4102444800\t"
                              "http://bbs.example.jp/cgi-bin/board.cgi?id=3\t,,,,20,,,0,30\n"));
        QCOMPARE(QFile::permissions(m_path) & ~(QFile::ReadUser | QFile::WriteUser), QFile::ReadOwner | QFile::WriteOwner);
        QByteArray expected;
        for (const auto &[name, value] : cookies)
            expected += (expected.isEmpty() ? "" : "; ") + name + '=' + value;
        QCOMPARE(CookieStore(m_path).GetCookieBytes(QUrl(BoardUrl)), expected);
    }

    void expiry()
    {
        CookieStore store(m_path);
        QVERIFY(store.SetCookie(BoardUrl, u"kept"_s, u"1"_s + Future));
        QVERIFY(store.SetCookie(BoardUrl, u"session"_s, u"3"_s));
        QVERIFY(store.SetCookie(BoardUrl, u"rfc"_s, u"2; Expires=Sun, 06 Nov 2044 08:49:37 GMT"_s));
        QVERIFY(store.SetCookie(BoardUrl, u"gone"_s, u"4"_s + Future));
        QVERIFY(store.SetCookie(BoardUrl, u"gone"_s, u"4; expires=Sat, 01-Jan-2000 00:00:00 GMT"_s));
        QCOMPARE(store.GetCookie(BoardUrl), u"kept=1; session=3; rfc=2"_s);
        QVERIFY(readFile(m_path).contains("\t2362034977\trfc\t2\n"));
        QCOMPARE(CookieStore(m_path).GetCookie(BoardUrl), u"kept=1; rfc=2"_s);
        // Time passes: the cookie stops matching, and the next write leaves it out.
        const qint64 now = QDateTime::currentSecsSinceEpoch();
        QVERIFY(store.SetCookie(BoardUrl, u"soon"_s, u"6; max-age=100"_s));
        QVERIFY(readFile(m_path).contains("\tsoon\t6\n"));
        store.setClock([now] { return now + 200; });
        QCOMPARE(store.GetCookie(BoardUrl), u"kept=1; session=3; rfc=2"_s);
        QVERIFY(store.SetCookie(BoardUrl, u"kept"_s, u"7"_s + Future));
        QVERIFY(!readFile(m_path).contains("soon"));
    }

    // A large file is held in memory of a few times its size (a hash per domain once took 200
    // times as much).
    void aLargeFileTakesLittleMemory()
    {
        QByteArray text = "# Netscape HTTP Cookie File\n";
        for (int i = 0; i < 20000; ++i)
            text += "h" + QByteArray::number(i) + ".example\tFALSE\t/\tFALSE\t4102444800\tn\tv\n";
        writeFile(m_path, text);
        const auto heapInUse = [] {
            const struct mallinfo2 heap = mallinfo2();
            return qint64(heap.uordblks + heap.hblkhd);
        };
        const qint64 before = heapInUse();
        const CookieStore store(m_path);
        QCOMPARE(store.count(), 20000);
        QVERIFY2(heapInUse() - before < 10 * text.size(), qPrintable(QString::number(heapInUse() - before)));
    }

    void damagedFile()
    {
        const QByteArray line = "bbs.example.jp\tFALSE\t/\tFALSE\t";
        QByteArray text = "# Netscape HTTP Cookie File\n" + line + "4102444800\ta\t1\r\n";
        text += QByteArrayLiteral("\x00\xff\xfe" "garbage\x01\n") + "bbs.example.jp\tFALSE\t/\tFALSE\n";
        text += line + "soon\tb\t2\n" + line + "-5\tc\t3\n" + "bbs.example.jp\tFALSE\tnopath\tFALSE\t4102444800\td\t4\n";
        text += "#HttpOnly_.example.jp\tTRUE\t/\tFALSE\t99999999999999999999999\te\t5\n";
        text += line + "4102444800\tbig\t" + QByteArray(1024 * 1024, 'x') + "\n\tFALSE\t/\tFALSE\t4102444800\tf\t6\n";
        text += line + "4102444800\tg\t7"; // last line unterminated
        writeFile(m_path, text);
        CookieStore store(m_path);
        QCOMPARE(store.count(), 3);
        QCOMPARE(store.GetCookie(u"http://bbs.example.jp/"_s), u"a=1; e=5; g=7"_s);
        QVERIFY(store.SetCookie(u"http://bbs.example.jp/"_s, u"h"_s, u"8"_s + Future));
        QCOMPARE(readFile(m_path + u".bak"_s), text);
        const QByteArray rewritten = readFile(m_path);
        QVERIFY(rewritten.contains("#HttpOnly_.example.jp\tTRUE\t/\tFALSE\t253402300799\te\t5\n"));
        QVERIFY(rewritten.size() < 1000);
        QCOMPARE(CookieStore(m_path).GetCookie(u"http://bbs.example.jp/"_s), u"a=1; e=5; g=7; h=8"_s);
    }

    void jarSendsAndKeepsExactBytes()
    {
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        QByteArray request;
        connect(&server, &QTcpServer::newConnection, this, [&] {
            QTcpSocket *socket = server.nextPendingConnection();
            connect(socket, &QTcpSocket::readyRead, socket, [&request, socket] {
                request += socket->readAll();
                if (!request.contains("\r\n\r\n"))
                    return;
                socket->write("HTTP/1.1 200 OK\r\nSet-Cookie: srv=" + mdlMain::ToCp932(u"あい"_s) + "; expires=Fri, 01-Jan-2100 00:00:00 GMT; path=/\r\n"
                              "Set-Cookie: wide=1; domain=.com\r\nContent-Length: 2\r\nConnection: close\r\n\r\nok");
                socket->disconnectFromHost();
            });
        });
        const QString url = u"http://127.0.0.1:%1/cgi-bin/board.cgi?id=3"_s.arg(server.serverPort());
        CookieStore store(m_path);
        QVERIFY(store.SetCookie(url, url, u",,,,20,,,0,30,山田"_s + Future));
        QVERIFY(store.SetCookieBytes(QUrl(url), "evil", "a\r\nX-Injected: 1; max-age=1000"));
        QNetworkAccessManager manager;
        manager.setProxy(QNetworkProxy::NoProxy);
        manager.setCookieJar(new CookieJar(store));
        std::unique_ptr<QNetworkReply> reply(manager.get(QNetworkRequest(QUrl(url))));
        QTRY_VERIFY(reply->isFinished());
        QCOMPARE(reply->error(), QNetworkReply::NoError);
        QVERIFY(request.contains("\r\nCookie: " + url.toLatin1() + "=,,,,20,,,0,30," + mdlMain::ToCp932(u"山田"_s) + "\r\n"));
        QVERIFY(!request.contains("X-Injected"));
        QCOMPARE(store.GetCookieBytes(QUrl(u"http://127.0.0.1/"_s)), "srv=" + mdlMain::ToCp932(u"あい"_s));
    }
};

QTEST_GUILESS_MAIN(TestCookieStore)
#include "tst_cookiestore.moc"
