#include "support/BoardSimulator.h"
#include "transfer/LogParser.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QStringDecoder>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

struct Fetched
{
    int status = 0;
    QNetworkReply::NetworkError error = QNetworkReply::NoError;
    QByteArray body;
    QByteArray location;
    qint64 elapsedMs = 0;
};

QString decode(const char *codec, const QByteArray &bytes)
{
    QStringDecoder decoder(codec);
    return decoder.decode(bytes);
}

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

QList<int> range(int from, int downTo)
{
    QList<int> numbers;
    for (int n = from; n >= downTo; --n)
        numbers << n;
    return numbers;
}

} // namespace

class TestBoardSimulator : public QObject
{
    Q_OBJECT

private:
    BoardSimulator *m_sim = nullptr;
    QNetworkAccessManager *m_manager = nullptr;
    int m_single = -1;

    Fetched fetch(const QString &pathAndQuery, const QByteArray &cookie = {}, int timeoutMs = 10000,
                  bool followRedirects = false)
    {
        QNetworkRequest request(QUrl(m_sim->baseUrl() + pathAndQuery));
        if (!cookie.isEmpty())
            request.setRawHeader("Cookie", cookie);
        request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                             followRedirects ? QNetworkRequest::NoLessSafeRedirectPolicy
                                             : QNetworkRequest::ManualRedirectPolicy);
        request.setTransferTimeout(timeoutMs);
        QElapsedTimer clock;
        clock.start();
        QNetworkReply *reply = m_manager->get(request);
        QEventLoop loop;
        connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        loop.exec();
        Fetched result;
        result.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        result.error = reply->error();
        result.body = reply->isOpen() ? reply->readAll() : QByteArray();
        result.location = reply->rawHeader("Location");
        result.elapsedMs = clock.elapsed();
        reply->deleteLater();
        return result;
    }

    QList<int> pageNumbers(const QString &pathAndQuery, const QByteArray &cookie = {})
    {
        const Fetched page = fetch(pathAndQuery, cookie);
        return page.status == 200 ? numbersOf(decode("CP932", page.body)) : QList<int>{-1};
    }

    QByteArray singleCookie(const QByteArray &value) const
    {
        return m_sim->url(m_single).toUtf8() + '=' + value;
    }

private slots:
    void init()
    {
        m_sim = new BoardSimulator(this);
        QVERIFY(m_sim->listen());
        m_manager = new QNetworkAccessManager(this);
        m_single = m_sim->addBoard(0, u"/cgi-bin/bbs.cgi"_s);
        m_sim->addSampleMessages(m_single, 1, 70);
    }

    void cleanup()
    {
        delete m_manager;
        delete m_sim;
    }

    void entriesReadBackThroughTheLogParser_data()
    {
        QTest::addColumn<int>("type");
        for (int type = 0; type <= 3; ++type)
            QTest::addRow("type %d", type) << type;
    }

    void entriesReadBackThroughTheLogParser()
    {
        QFETCH(int, type);
        BoardMessage message = LogFormat::sampleMessage(123, 57);
        message.subject = u"件名テスト"_s;
        message.homePage = u"http://www.example.jp/~taro/"_s;
        message.mail = u"taro@example.jp"_s;
        message.name = u"山田太郎"_s;
        message.date = QDateTime(QDate(2024, 5, 1), QTime(12, 34, 56), Qt::UTC);
        message.body = u"一行目\n> 引用\r\n\r\n四行目"_s;
        const auto parsed = LogParser::ParseEntry(type, 4, LogFormat::entry(type, message), false);
        QVERIFY(parsed);
        QCOMPARE(parsed->ID, 123);
        if (type == 0 || type == 3)
            QCOMPARE(parsed->Subject, message.subject);
        QCOMPARE(parsed->HomePage, message.homePage);
        QCOMPARE(parsed->Mail, message.mail);
        QCOMPARE(parsed->PostName, message.name);
        QCOMPARE(parsed->PostDate, type == 3 ? message.date.addSecs(-56) : message.date);
        QCOMPARE(parsed->InReplyTo, 57);
        QCOMPARE(parsed->Body, u"一行目\r\n> 引用\r\n\r\n四行目"_s);

        message.replyTo = 0;
        QCOMPARE(LogParser::ParseEntry(type, 4, LogFormat::entry(type, message), false)->InReplyTo,
                 0);
        message.rawEntry = u"broken"_s;
        QVERIFY(!LogParser::ParseEntry(type, 4, LogFormat::entry(type, message), false));
    }

    void pagesListNewestFirstInRunsOfThePageSize()
    {
        QCOMPARE(pageNumbers(u"/cgi-bin/bbs.cgi?dousa=log&logmidoku=0&logno=0"_s), range(70, 41));
        QCOMPARE(pageNumbers(u"/cgi-bin/bbs.cgi?dousa=log&logmidoku=0&logno=1"_s), range(40, 11));
        QCOMPARE(pageNumbers(u"/cgi-bin/bbs.cgi?dousa=log&logmidoku=1&logno=2"_s), range(10, 1));
        const Fetched past = fetch(u"/cgi-bin/bbs.cgi?dousa=log&logmidoku=0&logno=3"_s);
        QCOMPARE(past.status, 200);
        QVERIFY(past.body.isEmpty());
    }

    void commaCookieGivesUnreadPositionAndPageSize()
    {
        const QByteArray cookie = "other=1; " + singleCookie(",,,,20,,,50,10") + "; x=y";
        QCOMPARE(pageNumbers(u"/cgi-bin/bbs.cgi?dousa=log&logmidoku=1&logno=0"_s, cookie),
                 range(70, 61));
        QCOMPARE(pageNumbers(u"/cgi-bin/bbs.cgi?dousa=log&logmidoku=1&logno=1"_s, cookie),
                 range(60, 51));
        QCOMPARE(pageNumbers(u"/cgi-bin/bbs.cgi?dousa=log&logmidoku=1&logno=2"_s, cookie),
                 QList<int>{});
        QCOMPARE(pageNumbers(u"/cgi-bin/bbs.cgi?dousa=log&logmidoku=0&logno=6"_s, cookie),
                 range(10, 1));

        // Another address's cookie, a short list or a page size of 0 leave the defaults.
        const QList<QByteArray> ignored = {
            m_sim->baseUrl().toUtf8() + "/cgi-bin/other.cgi=,,,,20,,,50,10", singleCookie(",,,,20"),
            singleCookie(",,,,20,,,0,0")};
        for (const QByteArray &other : ignored)
            QCOMPARE(pageNumbers(u"/cgi-bin/bbs.cgi?dousa=log&logmidoku=1&logno=0"_s, other),
                     range(70, 41));
    }

    void pairedBoardsReadTheirOwnUnreadPositions()
    {
        const int left = m_sim->addBoard(1, u"/pair.cgi"_s);
        const int right = m_sim->addBoard(2, u"/pair.cgi"_s);
        m_sim->addSampleMessages(left, 1, 10);
        m_sim->addSampleMessages(right, 101, 110);
        const QByteArray cookie = m_sim->url(left).toUtf8() + "=name,,,,30,,,4,3,105";
        QCOMPARE(pageNumbers(u"/pair.cgi?&l_or_r=0&dousa=log&logmidoku=1&logno=0"_s, cookie),
                 range(10, 8));
        QCOMPARE(pageNumbers(u"/pair.cgi?&l_or_r=0&dousa=log&logmidoku=1&logno=1"_s, cookie),
                 range(7, 5));
        QCOMPARE(pageNumbers(u"/pair.cgi?&l_or_r=1&dousa=log&logmidoku=1&logno=1"_s, cookie),
                 range(107, 106));
        // Without a cookie: 50 per page, nothing read yet.
        QCOMPARE(pageNumbers(u"/pair.cgi?&l_or_r=1&dousa=log&logmidoku=1&logno=0"_s),
                 range(110, 101));
        QCOMPARE(fetch(u"/pair.cgi?dousa=log&logmidoku=1&logno=0"_s).status, 404);
        QCOMPARE(m_sim->requests().at(2).board, right);
    }

    void textPageBoardServesEucJpPagesSizedByItsKeyedCookie()
    {
        const int board = m_sim->addBoard(3, u"/text.cgi"_s, u"kanso"_s);
        m_sim->addSampleMessages(board, 1, 10);
        const QByteArray value = QByteArray("ck_name=山田&ck_text=4&ck_enable_unread=0")
                                     .toPercentEncoding();
        const QByteArray cookie = "kanso_v2=" + value;
        const Fetched first = fetch(u"/text.cgi?do=get_text&text_page=1"_s, cookie);
        QStringDecoder euc("EUC-JP");
        const QString text = euc.decode(first.body);
        QVERIFY(!euc.hasError());
        QCOMPARE(numbersOf(text), range(10, 7));
        QVERIFY(text.contains(u"本文です。番号 10\r\n二行目。"_s));
        QCOMPARE(numbersOf(decode("EUC-JP", fetch(u"/text.cgi?do=get_text&text_page=3"_s,
                                                  cookie).body)),
                 range(2, 1));
        QVERIFY(fetch(u"/text.cgi?do=get_text&text_page=0"_s, cookie).body.isEmpty());
        QCOMPARE(numbersOf(decode("EUC-JP", fetch(u"/text.cgi?do=get_text&text_page=1"_s).body)),
                 range(10, 1));
    }

    void unknownRequestsAnswer404AndEveryRequestIsRecorded()
    {
        QSignalSpy received(m_sim, &BoardSimulator::requestReceived);
        QCOMPARE(fetch(u"/nothing.cgi"_s).status, 404);
        QCOMPARE(fetch(u"/cgi-bin/bbs.cgi?dousa=res&resno=5"_s).status, 404);
        QCOMPARE(fetch(u"/cgi-bin/bbs.cgi?dousa=log&logmidoku=1&logno=x"_s).status, 404);
        const Fetched top = fetch(u"/cgi-bin/bbs.cgi"_s, "a=b");
        QCOMPARE(top.status, 200);
        QVERIFY(decode("CP932", top.body).contains(u"題名70"_s));

        QCOMPARE(received.size(), 4);
        const QList<BoardSimulator::Request> &requests = m_sim->requests();
        QCOMPARE(requests.size(), 4);
        QCOMPARE(requests.at(0).board, -1);
        QCOMPARE(requests.at(1).path, "/cgi-bin/bbs.cgi");
        QCOMPARE(requests.at(1).query, "dousa=res&resno=5");
        QCOMPARE(requests.at(3).cookie, "a=b");
        QCOMPARE(requests.at(3).board, m_single);
        QCOMPARE(requests.at(3).host, m_sim->baseUrl().mid(7).toUtf8());
        m_sim->clearRequests();
        QVERIFY(m_sim->requests().isEmpty());
    }

    void changesWhileServingAndLineBreaksShowInTheNextPage()
    {
        connect(m_sim, &BoardSimulator::requestReceived, this,
                [this] { m_sim->addMessage(m_single, LogFormat::sampleMessage(71)); });
        m_sim->setLineBreak(m_single, "\n");
        const QByteArray body = fetch(u"/cgi-bin/bbs.cgi?dousa=log&logmidoku=1&logno=0"_s).body;
        QVERIFY(!body.contains('\r'));
        QVERIFY(body.startsWith(LogFormat::toCp932(LogFormat::entry(0, m_sim->messages(m_single)
                                                                          .last())
                                                   .replace(u"\r\n"_s, u"\n"_s))));
    }

    void errorPageAndStatusFaults()
    {
        BoardSimulator::Fault fault;
        fault.kind = BoardSimulator::FaultKind::ErrorPage;
        fault.errorText = u"ログが開けません。"_s;
        m_sim->setFault(fault, 0, 1);
        const Fetched page = fetch(u"/cgi-bin/bbs.cgi?dousa=log&logmidoku=1&logno=0"_s);
        QCOMPARE(page.status, 200);
        const QStringList lines = decode("CP932", page.body).split(u'\n');
        QVERIFY(lines.first().startsWith(u"<html><head><title>Error!!"_s));
        QCOMPARE(lines.at(3), u"<FONT SIZE=5>エラー</FONT><BR>ログが開けません。"_s);

        fault.kind = BoardSimulator::FaultKind::Status;
        fault.status = 500;
        m_sim->setFault(fault, 1, 1); // the first request is answered, the second fails, then none
        QCOMPARE(fetch(u"/cgi-bin/bbs.cgi"_s).status, 200);
        QCOMPARE(fetch(u"/cgi-bin/bbs.cgi"_s).status, 500);
        QCOMPARE(fetch(u"/cgi-bin/bbs.cgi"_s).status, 200);
        fault.status = 404;
        m_sim->setFault(fault);
        QCOMPARE(fetch(u"/cgi-bin/bbs.cgi"_s).error, QNetworkReply::ContentNotFoundError);
        QCOMPARE(fetch(u"/cgi-bin/bbs.cgi"_s).status, 404);
        m_sim->clearFault();
        QCOMPARE(fetch(u"/cgi-bin/bbs.cgi"_s).status, 200);
    }

    void slowAndCutOffBodies()
    {
        const QString page = u"/cgi-bin/bbs.cgi?dousa=log&logmidoku=1&logno=0"_s;
        const QByteArray whole = fetch(page).body;
        BoardSimulator::Fault fault;
        fault.kind = BoardSimulator::FaultKind::SlowBody;
        fault.chunkBytes = whole.size() / 4 + 1;
        fault.delayMs = 150;
        m_sim->setFault(fault);
        const Fetched slow = fetch(page);
        QCOMPARE(slow.body, whole);
        QVERIFY(slow.elapsedMs >= 4 * 150 - 50);
        QVERIFY(fetch(page, {}, 60).error != QNetworkReply::NoError); // stalls longer than allowed

        fault.kind = BoardSimulator::FaultKind::CutOffBody;
        m_sim->setFault(fault);
        const Fetched cut = fetch(page);
        QVERIFY(cut.error != QNetworkReply::NoError);
        QVERIFY(cut.body.size() < whole.size());
    }

    void connectionFaults()
    {
        BoardSimulator::Fault fault;
        fault.kind = BoardSimulator::FaultKind::CloseWithoutAnswer;
        m_sim->setFault(fault);
        QCOMPARE(fetch(u"/cgi-bin/bbs.cgi"_s).error, QNetworkReply::RemoteHostClosedError);

        fault.kind = BoardSimulator::FaultKind::NeverAnswer;
        m_sim->setFault(fault);
        const Fetched silent = fetch(u"/cgi-bin/bbs.cgi"_s, {}, 300);
        QVERIFY(silent.error != QNetworkReply::NoError);
        QVERIFY(silent.elapsedMs >= 250);
        QTRY_COMPARE(m_sim->openConnections(), 0);
    }

    void redirectAndEmptyBody()
    {
        BoardSimulator::Fault fault;
        fault.kind = BoardSimulator::FaultKind::Redirect;
        m_sim->setFault(fault, 0, 1);
        const QString page = u"/cgi-bin/bbs.cgi?dousa=log&logmidoku=1&logno=0"_s;
        const Fetched moved = fetch(page);
        QCOMPARE(moved.status, 302);
        QCOMPARE(moved.location, page.toLatin1());
        m_sim->setFault(fault, 0, 1);
        QCOMPARE(numbersOf(decode("CP932", fetch(page, {}, 10000, true).body)), range(70, 41));

        fault.kind = BoardSimulator::FaultKind::EmptyBody;
        m_sim->setFault(fault);
        const Fetched empty = fetch(page);
        QCOMPARE(empty.status, 200);
        QCOMPARE(empty.error, QNetworkReply::NoError);
        QVERIFY(empty.body.isEmpty());
    }

    void hugeBodyIsStreamedWhole()
    {
        BoardSimulator::Fault fault;
        fault.kind = BoardSimulator::FaultKind::HugeBody;
        fault.hugeBytes = 20 * 1024 * 1024 + 7;
        m_sim->setFault(fault);
        QNetworkReply *reply = m_manager->get(QNetworkRequest(QUrl(m_sim->baseUrl())));
        qint64 received = 0;
        connect(reply, &QNetworkReply::readyRead, this,
                [&received, reply] { received += reply->readAll().size(); });
        QSignalSpy finished(reply, &QNetworkReply::finished);
        QVERIFY(finished.wait(60000));
        received += reply->readAll().size();
        QCOMPARE(reply->error(), QNetworkReply::NoError);
        QCOMPARE(received, fault.hugeBytes);
        reply->deleteLater();

        // A client that gives up mid-way closes the stream.
        QNetworkReply *partial = m_manager->get(QNetworkRequest(QUrl(m_sim->baseUrl())));
        connect(partial, &QNetworkReply::readyRead, partial, [partial] {
            partial->readAll();
            partial->abort();
        });
        QSignalSpy aborted(partial, &QNetworkReply::finished);
        QVERIFY(aborted.wait(10000));
        QTRY_COMPARE(m_sim->openConnections(), 0);
        partial->deleteLater();
    }
};

QTEST_GUILESS_MAIN(TestBoardSimulator)
#include "tst_boardsimulator.moc"
