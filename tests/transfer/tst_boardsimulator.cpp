#include "support/BoardSimulator.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QStringDecoder>
#include <QTest>

using namespace Qt::StringLiterals;
using Kind = BoardSimulator::FaultKind;

namespace {

struct Fetched
{
    int status = 0;
    QNetworkReply::NetworkError error = QNetworkReply::NoError;
    QByteArray body;
    QByteArray location;
    qint64 elapsedMs = 0;
};

const QString LogPage = u"/cgi-bin/bbs.cgi?dousa=log&logmidoku=1&logno=0"_s;

/** Message numbers of a log text, in page order (every layout starts with a 7-wide number line). */
QList<int> numbersOf(const QString &text)
{
    QStringList pieces = text.split(LogFormat::separator());
    pieces.removeLast();
    QList<int> numbers;
    for (const QString &piece : pieces)
        numbers << piece.section(u"\r\n"_s, 0, 0).mid(7).toInt();
    return numbers;
}

} // namespace

class TestBoardSimulator : public QObject
{
    Q_OBJECT

    BoardSimulator *m_sim = nullptr;
    QNetworkAccessManager *m_manager = nullptr;
    int m_single = -1;
    int m_left = -1;

    Fetched fetch(const QString &target, const QByteArray &cookie = {}, int timeoutMs = 10000)
    {
        QNetworkRequest request(QUrl(m_sim->baseUrl() + target));
        if (!cookie.isEmpty())
            request.setRawHeader("Cookie", cookie);
        request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
        request.setTransferTimeout(timeoutMs);
        QElapsedTimer clock;
        clock.start();
        QNetworkReply *reply = m_manager->get(request);
        QEventLoop loop;
        connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        loop.exec();
        const Fetched result{reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), reply->error(),
                             reply->isOpen() ? reply->readAll() : QByteArray(), reply->rawHeader("Location"),
                             clock.elapsed()};
        reply->deleteLater();
        return result;
    }

private slots:
    void init()
    {
        m_sim = new BoardSimulator(this);
        QVERIFY(m_sim->listen());
        m_manager = new QNetworkAccessManager(this);
        m_single = m_sim->addBoard(0, u"/cgi-bin/bbs.cgi"_s);
        m_sim->addSampleMessages(m_single, 1, 70);
        m_left = m_sim->addBoard(1, u"/pair.cgi"_s);
        m_sim->addSampleMessages(m_left, 1, 10);
        m_sim->addSampleMessages(m_sim->addBoard(2, u"/pair.cgi"_s), 101, 110);
        m_sim->addSampleMessages(m_sim->addBoard(3, u"/text.cgi"_s, u"kanso"_s), 1, 10);
    }

    void cleanup()
    {
        delete m_manager;
        delete m_sim;
    }

    void pagingByCookie_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("cookie"); // "@single", "@pair", "@base": those addresses
        QTest::addColumn<int>("newest");     // the page lists newest down to oldest; 0: empty
        QTest::addColumn<int>("oldest");
        const QString single = u"/cgi-bin/bbs.cgi?dousa=log&logmidoku=%1&logno=%2"_s;
        const QString unread50 = u"other=1; @single=,,,,20,,,50,10; x=y"_s;
        QTest::newRow("default size") << single.arg(0).arg(1) << QString() << 40 << 11;
        QTest::newRow("past the end") << single.arg(0).arg(3) << QString() << 0 << 0;
        QTest::newRow("unread above 50") << single.arg(1).arg(1) << unread50 << 60 << 51;
        QTest::newRow("all, 10 a page") << single.arg(0).arg(6) << unread50 << 10 << 1;
        QTest::newRow("other address") << single.arg(1).arg(0) << u"@base/other.cgi=,,,,20,,,50,10"_s << 70 << 41;
        QTest::newRow("short list") << single.arg(1).arg(0) << u"@single=,,,,20"_s << 70 << 41;
        QTest::newRow("page size 0") << single.arg(1).arg(0) << u"@single=,,,,20,,,0,0"_s << 70 << 41;
        const QString pair = u"/pair.cgi?&l_or_r=%1&dousa=log&logmidoku=1&logno=%2"_s;
        const QString positions = u"@pair=name,,,,30,,,4,3,105"_s;
        QTest::newRow("left") << pair.arg(0).arg(1) << positions << 7 << 5;
        QTest::newRow("right") << pair.arg(1).arg(1) << positions << 107 << 106;
        QTest::newRow("right, no cookie") << pair.arg(1).arg(0) << QString() << 110 << 101;
        QTest::newRow("pair, no side: 404") << u"/pair.cgi?dousa=log&logmidoku=1&logno=0"_s << QString() << -1 << -1;
        const QString text = u"/text.cgi?do=get_text&text_page=%1"_s;
        const QString keyed = u"kanso_v2="_s
                              + QString::fromLatin1(QByteArray("ck_name=山田&ck_text=4&ck_enable_unread=0").toPercentEncoding());
        QTest::newRow("text page 1") << text.arg(1) << keyed << 10 << 7;
        QTest::newRow("text page 3") << text.arg(3) << keyed << 2 << 1;
        QTest::newRow("text, no cookie") << text.arg(1) << QString() << 10 << 1;
    }

    void pagingByCookie()
    {
        QFETCH(QString, target);
        QFETCH(QString, cookie);
        QFETCH(int, newest);
        QFETCH(int, oldest);
        cookie.replace(u"@single"_s, m_sim->url(m_single)).replace(u"@pair"_s, m_sim->url(m_left));
        const Fetched page = fetch(target, cookie.replace(u"@base"_s, m_sim->baseUrl()).toUtf8());
        QCOMPARE(page.status, newest < 0 ? 404 : 200);
        QStringDecoder decoder(target.startsWith(u"/text"_s) ? "EUC-JP" : "CP932");
        const QString body = decoder.decode(page.body);
        QVERIFY(!decoder.hasError());
        QList<int> expected;
        for (int n = newest; n >= oldest && n > 0; --n)
            expected << n;
        QCOMPARE(numbersOf(body), expected);
    }

    void eachFaultKind()
    {
        const QByteArray whole = fetch(LogPage).body;
        BoardSimulator::Fault fault;
        m_sim->setFault(fault, 1, 2); // one normal answer, two faulty ones, then normal again
        for (int status : {200, 500, 500, 200})
            QCOMPARE(fetch(LogPage).status, status);
        const auto with = [&](Kind kind, int timeoutMs = 10000) {
            fault.kind = kind;
            m_sim->setFault(fault);
            return fetch(LogPage, {}, timeoutMs);
        };
        fault.errorText = u"ログが開けません。"_s;
        QVERIFY(with(Kind::ErrorPage).body.contains(LogFormat::toCp932(u"\n<FONT SIZE=5>エラー</FONT><BR>ログが開けません。"_s)));
        fault.chunkBytes = whole.size() / 4 + 1;
        fault.delayMs = 150;
        const Fetched slow = with(Kind::SlowBody);
        QVERIFY(slow.body == whole && slow.elapsedMs >= 4 * 150 - 50);
        const Fetched cut = with(Kind::CutOffBody);
        QVERIFY(cut.error != QNetworkReply::NoError && cut.body.size() < whole.size());
        QCOMPARE(with(Kind::CloseWithoutAnswer).error, QNetworkReply::RemoteHostClosedError);
        const Fetched silent = with(Kind::NeverAnswer, 300);
        QVERIFY(silent.error != QNetworkReply::NoError && silent.elapsedMs >= 250);
        QTRY_COMPARE(m_sim->openConnections(), 0);
        const Fetched moved = with(Kind::Redirect);
        QVERIFY(moved.status == 302 && moved.location == LogPage.toLatin1());
        const Fetched empty = with(Kind::EmptyBody);
        QVERIFY(empty.status == 200 && empty.error == QNetworkReply::NoError && empty.body.isEmpty());
        fault.hugeBytes = 20 * 1024 * 1024 + 7;
        QCOMPARE(with(Kind::HugeBody).body.size(), fault.hugeBytes);
        m_sim->clearFault();
        QCOMPARE(fetch(LogPage).body, whole);
    }
};

QTEST_GUILESS_MAIN(TestBoardSimulator)
#include "tst_boardsimulator.moc"
