#include "app/mdlEncoding.h"
#include "app/mdlExecuteLite.h"
#include "transfer/LoadFixture.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(BoardSimulator::Fault)

namespace {

/** Answers every connection with @p response and closes it. */
class RawServer : public QTcpServer
{
public:
    explicit RawServer(QByteArray response) : m_response(std::move(response))
    {
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = nextPendingConnection()) {
                connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    socket->readAll();
                    socket->write(m_response);
                    socket->disconnectFromHost();
                });
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
        listen(QHostAddress::LocalHost);
    }
    QString url() const { return u"http://127.0.0.1:%1/bbs.cgi"_s.arg(serverPort()); }

private:
    QByteArray m_response;
};

BoardSimulator::Fault fault(BoardSimulator::FaultKind kind)
{
    BoardSimulator::Fault f;
    f.kind = kind;
    return f;
}

} // namespace

class TestCBBSLoad : public QObject
{
    Q_OBJECT

private slots:
    void addressesAndPagingOfEveryType_data()
    {
        QTest::addColumn<int>("id");
        QTest::addColumn<bool>("unreadOnly");
        QTest::addColumn<QString>("firstTarget");
        QTest::addColumn<QString>("lastTarget");
        const QString single = u"/cgi-bin/single.cgi?dousa=log&logmidoku=%1&logno=%2"_s;
        QTest::newRow("single") << int(CBBSFixture::SingleBoard) << true << single.arg(1).arg(0) << single.arg(1).arg(13);
        QTest::newRow("single, all") << int(CBBSFixture::SingleBoard) << false << single.arg(0).arg(0) << single.arg(0).arg(13);
        QTest::newRow("left") << int(CBBSFixture::LeftBoard) << true
                              << u"/cgi-bin/pair.cgi?&l_or_r=0&dousa=log&logmidoku=1&logno=0"_s
                              << u"/cgi-bin/pair.cgi?&l_or_r=0&dousa=log&logmidoku=1&logno=13"_s;
        QTest::newRow("right") << int(CBBSFixture::RightBoard) << true
                               << u"/cgi-bin/pair.cgi?&l_or_r=1&dousa=log&logmidoku=1&logno=0"_s
                               << u"/cgi-bin/pair.cgi?&l_or_r=1&dousa=log&logmidoku=1&logno=13"_s;
        QTest::newRow("text page") << int(CBBSFixture::TextPageBoard) << true
                                   << u"/cgi-bin/text.cgi?do=get_text&text_page=1"_s
                                   << u"/cgi-bin/text.cgi?do=get_text&text_page=14"_s;
    }

    // 400 messages, 30 per page: 14 pages, the last one short; the cookie carries the page
    // size and the unread position comes back as the newest number.
    void addressesAndPagingOfEveryType()
    {
        QFETCH(int, id);
        QFETCH(bool, unreadOnly);
        QFETCH(QString, firstTarget);
        QFETCH(QString, lastTarget);
        LoadFixture f;
        f.setMaxCount(id, 400);
        f.board(id).SetDownloadCount(30);
        f.addMessages(id, 1, 400);

        QVERIFY(f.bbs.LoadBBS(id, unreadOnly));
        const QStringList targets = f.targets();
        QCOMPARE(targets.size(), 14);
        QCOMPARE(targets.first(), firstTarget);
        QCOMPARE(targets.last(), lastTarget);
        QCOMPARE(f.stored(id).size(), 400);
        QCOMPARE(f.bbs.SaveCount(), 400);
        QCOMPARE(f.board(id).NoReadPoint(), 400);
        QVERIFY(f.errors().isEmpty());
        QVERIFY(!f.bbs.IsLoad() && !f.bbs.IsError());
        if (id != CBBSFixture::TextPageBoard) {
            const QByteArray cookie = f.sim.requests().first().cookie;
            QVERIFY2(cookie.contains(f.board(id).URL().toLatin1() + "=,,,,"), cookie.constData());
            QVERIFY(cookie.contains(",30"));
        }
        QVERIFY(f.texts().contains(u"未読位置を400に設定しました。"_s));
    }

    void pageCountFromMaxCountAndPageSize_data()
    {
        QTest::addColumn<int>("maxCount");
        QTest::addColumn<int>("perPage");
        QTest::addColumn<int>("requests");
        QTest::addColumn<int>("stored");
        QTest::newRow("60 / 30") << 60 << 30 << 2 << 60;
        QTest::newRow("61 / 30") << 61 << 30 << 3 << 90;
        QTest::newRow("no page size") << 400 << 0 << 1 << 30; // the board serves its default
        QTest::newRow("negative page size") << 400 << -5 << 1 << 30;
        QTest::newRow("no maximum") << 0 << 30 << 1 << 30;
    }

    void pageCountFromMaxCountAndPageSize()
    {
        QFETCH(int, maxCount);
        QFETCH(int, perPage);
        QFETCH(int, requests);
        QFETCH(int, stored);
        LoadFixture f;
        f.setMaxCount(f.SingleBoard, maxCount);
        f.board(f.SingleBoard).SetDownloadCount(perPage);
        f.addMessages(f.SingleBoard, 1, 200);
        QVERIFY(f.bbs.LoadBBS(f.SingleBoard, true));
        QCOMPARE(f.sim.requests().size(), requests);
        QCOMPARE(f.stored(f.SingleBoard).size(), stored);
    }

    // The board serves what lies above the unread position; 29 of 30 is a short last page.
    void unreadOnlyFromThePosition()
    {
        LoadFixture f;
        f.board(f.SingleBoard).SetNoReadPoint(100);
        f.addMessages(f.SingleBoard, 1, 129);
        QVERIFY(f.bbs.LoadBBS(f.SingleBoard, true));
        QCOMPARE(f.sim.requests().size(), 1);
        QCOMPARE(f.bbs.SaveCount(), 29);
        QCOMPARE(f.stored(f.SingleBoard).first().ID, 101);
        QCOMPARE(f.board(f.SingleBoard).NoReadPoint(), 129);
        const QStringList texts = f.texts();
        const qsizetype changing = texts.indexOf(u"未読位置を129に変更しています。"_s);
        QVERIFY(changing >= 0);
        QCOMPARE(texts.value(changing + 1), u"未読位置を129に設定しました。"_s);
    }

    void exitIfMessageFound_data()
    {
        QTest::addColumn<bool>("exitIfFound");
        QTest::addColumn<int>("requests");
        QTest::newRow("on") << true << 2;
        QTest::newRow("off") << false << 4; // the fourth page is empty
    }

    // Messages 1 to 40 are stored; the second page (60 to 31) meets them.
    void exitIfMessageFound()
    {
        QFETCH(bool, exitIfFound);
        QFETCH(int, requests);
        LoadFixture f;
        f.addMessages(f.SingleBoard, 1, 90);
        QVERIFY(f.bbs.AnalyseLog(f.SingleBoard, LogFormat::log(0, f.sim.messages(0).mid(0, 40)), false));
        QVERIFY(f.bbs.LoadBBS(f.SingleBoard, true, exitIfFound));
        QCOMPARE(f.sim.requests().size(), requests);
        QCOMPARE(f.bbs.SaveCount(), 50);
        QCOMPARE(f.stored(f.SingleBoard).size(), 90);
        QCOMPARE(f.board(f.SingleBoard).NoReadPoint(), 90);
    }

    // Progress texts of one page, in order; LF-only pages are read as CR LF.
    void progressTextsAndLineBreaks()
    {
        LoadFixture f;
        f.sim.setLineBreak(0, "\n");
        f.addMessages(f.SingleBoard, 1, 20);
        QVERIFY(f.bbs.LoadBBS(f.SingleBoard, true));
        QCOMPARE(f.stored(f.SingleBoard).size(), 20);
        const QString body = f.stored(f.SingleBoard).first().Body;
        QVERIFY(body.contains(u"\r\n"_s) && !body.contains(QRegularExpression(u"[^\r]\n"_s)));
        const QStringList texts = f.texts();
        QCOMPARE(texts.mid(0, 3), QStringList({u"127.0.0.1 を探しています。"_s, u"127.0.0.1 に接続中です。"_s,
                                               u"1番目のログを要求しています。"_s}));
        const QRegularExpression byteCount(u"^\\d{1,3}(,\\d{3})+バイト受信しました。$"_s);
        QVERIFY(std::any_of(texts.begin(), texts.end(), [&](const QString &t) { return byteCount.match(t).hasMatch(); }));
    }

    void boardErrorPageAndStatusLines_data()
    {
        QTest::addColumn<BoardSimulator::Fault>("fault");
        QTest::addColumn<QString>("error");
        QTest::addColumn<int>("requests");
        BoardSimulator::Fault page = fault(BoardSimulator::FaultKind::ErrorPage);
        QTest::newRow("error page") << page << u"エラー:現在メンテナンス中です。"_s << 1;
        BoardSimulator::Fault notFound = fault(BoardSimulator::FaultKind::Status);
        notFound.status = 404;
        QTest::newRow("404") << notFound << u"Error:HTTP/1.1 404 Not Found"_s << 1;
        BoardSimulator::Fault redirect = fault(BoardSimulator::FaultKind::Redirect);
        redirect.location = "/cgi-bin/single.cgi?dousa=log&logmidoku=1&logno=0";
        QTest::newRow("redirect not followed") << redirect << u"Error:HTTP/1.1 302 Found"_s << 1;
    }

    void boardErrorPageAndStatusLines()
    {
        QFETCH(BoardSimulator::Fault, fault);
        QFETCH(QString, error);
        QFETCH(int, requests);
        LoadFixture f;
        f.addMessages(f.SingleBoard, 1, 20);
        f.sim.setFault(fault, 0, 1);
        QVERIFY(!f.bbs.LoadBBS(f.SingleBoard, true));
        QVERIFY(f.bbs.IsError());
        QCOMPARE(f.errors(), QStringList{error});
        QCOMPARE(f.sim.requests().size(), requests);
        QVERIFY(f.stored(f.SingleBoard).isEmpty());
        QCOMPARE(f.board(f.SingleBoard).NoReadPoint(), 0);
    }

    void transferFaultsKeepTheFirstPage_data()
    {
        QTest::addColumn<BoardSimulator::Fault>("fault");
        QTest::addColumn<QString>("error");
        QTest::newRow("reset mid-body") << fault(BoardSimulator::FaultKind::CutOffBody) << u"受信エラー(2):"_s;
        QTest::newRow("closed unanswered") << fault(BoardSimulator::FaultKind::CloseWithoutAnswer) << u"受信エラー(2):"_s;
        QTest::newRow("100 MB body") << fault(BoardSimulator::FaultKind::HugeBody) << u"受信エラー:ページが64MBを超えた"_s;
        QTest::newRow("never answers") << fault(BoardSimulator::FaultKind::NeverAnswer)
                                       << u"受信エラー(4):1秒以内に応答がありませんでした。"_s;
    }

    // The second page fails: the first page's messages stay, the unread position does not move.
    void transferFaultsKeepTheFirstPage()
    {
        QFETCH(BoardSimulator::Fault, fault);
        QFETCH(QString, error);
        LoadFixture f;
        f.bbs.SetTimeout(1);
        f.addMessages(f.SingleBoard, 1, 60);
        f.board(f.SingleBoard).SetNoReadPoint(5);
        f.sim.setFault(fault, 1); // every later request: Qt sends again once after a silent close
        QElapsedTimer timer;
        timer.start();
        QVERIFY(!f.bbs.LoadBBS(f.SingleBoard, true));
        QVERIFY(timer.elapsed() < 10000);
        QVERIFY(f.bbs.IsError());
        QCOMPARE(f.errors().size(), 1);
        QVERIFY2(f.errors().first().startsWith(error), qPrintable(f.errors().first()));
        QCOMPARE(f.stored(f.SingleBoard).size(), 30);
        QCOMPARE(f.board(f.SingleBoard).NoReadPoint(), 5);
    }

    void connectionRefused()
    {
        LoadFixture f;
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost));
        const quint16 port = closed.serverPort();
        closed.close();
        f.setUrl(f.SingleBoard, u"http://127.0.0.1:%1/bbs.cgi"_s.arg(port));
        QVERIFY(!f.bbs.LoadBBS(f.SingleBoard, true));
        QVERIFY(f.bbs.IsError());
        QCOMPARE(f.errors().size(), 1);
        QVERIFY(f.errors().first().startsWith(u"受信エラー(1):"_s));
    }

    // A page with bytes that are no CP932 character is refused whole.
    void invalidCp932()
    {
        LoadFixture f;
        QString log = LogFormat::log(0, {LogFormat::sampleMessage(1)});
        QByteArray body = mdlMain::ToCp932(log);
        body.insert(body.indexOf("\r\n") + 2, "\x81\x20\xff");
        RawServer server("HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body);
        f.setUrl(f.SingleBoard, server.url());
        QVERIFY(!f.bbs.LoadBBS(f.SingleBoard, true));
        QCOMPARE(f.errors().size(), 1);
        QVERIFY(f.errors().first().startsWith(u"受信エラー:ページにCP932"_s));
        QVERIFY(f.stored(f.SingleBoard).isEmpty());
    }

    void emptyResponseEndsCleanly()
    {
        LoadFixture f;
        f.addMessages(f.SingleBoard, 1, 20);
        f.board(f.SingleBoard).SetNoReadPoint(7);
        f.sim.setFault(fault(BoardSimulator::FaultKind::EmptyBody), 0, 1);
        QVERIFY(f.bbs.LoadBBS(f.SingleBoard, true));
        QVERIFY(!f.bbs.IsError());
        QCOMPARE(f.sim.requests().size(), 1);
        QVERIFY(f.stored(f.SingleBoard).isEmpty());
        QCOMPARE(f.board(f.SingleBoard).NoReadPoint(), 7);
    }

    // Cancel during a trickled second page: the reply ends at once and silently, the first
    // page stays, the unread position does not move.
    void cancelStopsTheTransfer()
    {
        LoadFixture f;
        f.addMessages(f.SingleBoard, 1, 60);
        BoardSimulator::Fault slow = fault(BoardSimulator::FaultKind::SlowBody);
        slow.delayMs = 50;
        f.sim.setFault(slow, 1, 1);
        QElapsedTimer sinceCancel;
        QObject::connect(&f.bbs, &CBBS::StateChanged, [&](const QString &text) {
            if (text == u"2番目のログを要求しています。"_s)
                QTimer::singleShot(200, [&] {
                    sinceCancel.start();
                    f.bbs.Cancel();
                });
        });
        QVERIFY(!f.bbs.LoadBBS(f.SingleBoard, true));
        QVERIFY(sinceCancel.isValid());
        QVERIFY2(sinceCancel.elapsed() < 100, qPrintable(QString::number(sinceCancel.elapsed())));
        QVERIFY(f.bbs.IsCancel() && !f.bbs.IsError());
        QVERIFY(f.errors().isEmpty());
        QCOMPARE(f.sim.requests().size(), 2);
        QCOMPARE(f.stored(f.SingleBoard).size(), 30);
        QCOMPARE(f.board(f.SingleBoard).NoReadPoint(), 0);

        // The next load starts afresh.
        QVERIFY(f.bbs.LoadBBS(f.SingleBoard, true));
        QCOMPARE(f.stored(f.SingleBoard).size(), 60);
    }

    // A type-3 board whose cookie has no unread item cannot keep a position: no false report.
    void unreadPositionThatCannotBeWritten()
    {
        LoadFixture f;
        QVERIFY(CBBSProperty::WriteBoardCookie(f.board(f.TextPageBoard).URL(), u"nandemo"_s, u"ck_text%3D30"_s));
        f.addMessages(f.TextPageBoard, 1, 5);
        QVERIFY(f.bbs.LoadBBS(f.TextPageBoard, true));
        QCOMPARE(f.stored(f.TextPageBoard).size(), 5);
        QVERIFY(f.texts().contains(u"未読位置を5に設定できませんでした。"_s));
        QVERIFY(!f.texts().contains(u"未読位置を5に設定しました。"_s));
    }

    void unknownBoard()
    {
        LoadFixture f;
        QVERIFY(!f.bbs.LoadBBS(99, true));
        QVERIFY(f.bbs.IsError());
        QCOMPARE(f.errors(), QStringList{u"Error:掲示板(99)が見つかりません。"_s});
        QVERIFY(f.sim.requests().isEmpty());
    }

    void sendOpensTheBoardsForms()
    {
        LoadFixture f;
        QList<QUrl> opened;
        bool accept = true;
        mdlExecuteLite::setShellOpenHandler([&](const QUrl &url) {
            opened << url;
            return accept;
        });
        const auto send = [&](int board, int id, bool reply) {
            CMessage msg;
            msg.BBS_ID = board;
            msg.ID = id;
            return f.bbs.Send(msg, reply);
        };
        QVERIFY(send(f.RightBoard, 57, true));
        QVERIFY(send(f.LeftBoard, 0, false));
        QVERIFY(send(f.SingleBoard, 8, true));
        QVERIFY(send(f.SingleBoard, 0, false));
        QVERIFY(send(f.TextPageBoard, 9, true));
        QVERIFY(send(f.TextPageBoard, 0, false));
        accept = false;
        QVERIFY(!send(f.SingleBoard, 0, false));
        QVERIFY(!send(99, 1, true));
        mdlExecuteLite::setShellOpenHandler({});

        QStringList addresses;
        for (const QUrl &url : opened)
            addresses << url.toString().mid(f.sim.baseUrl().size());
        QCOMPARE(addresses, QStringList({u"/cgi-bin/pair.cgi?dousa=res&resno=57&l_or_r=1"_s,
                                         u"/cgi-bin/pair.cgi?dousa=sinki&l_or_r=0"_s,
                                         u"/cgi-bin/single.cgi?dousa=res&resno=8"_s,
                                         u"/cgi-bin/single.cgi?dousa=sinki"_s,
                                         u"/cgi-bin/text.cgi?do=res&resfrom=9"_s,
                                         u"/cgi-bin/text.cgi?do=postform"_s,
                                         u"/cgi-bin/single.cgi?dousa=sinki"_s}));
    }
};

QTEST_GUILESS_MAIN(TestCBBSLoad)
#include "tst_cbbs_load.moc"
