#include "CBBSFixture.h"

#include "cookies/CookieStore.h"
#include "support/BoardSimulator.h"
#include "support/SmallDisk.h"

#include <QScopeGuard>
#include <QThread>
#include <QTimer>
#include <limits>

using namespace Qt::StringLiterals;
using Fault = BoardSimulator::Fault;
using Kind = BoardSimulator::FaultKind;

namespace {

/** A line of /proc/self/status such as "VmHWM:" in MiB. */
qint64 residentMiB(const QByteArray &key)
{
    QFile status(u"/proc/self/status"_s);
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed().split(' ').first().toLongLong() / 1024;
    }
    return -1;
}

/** Lets VmHWM start again from the present resident size. */
bool resetPeakResident()
{
    QFile clear(u"/proc/self/clear_refs"_s);
    return clear.open(QIODevice::WriteOnly) && clear.write("5") == 1;
}

BoardMessage brokenMessage(int number)
{
    BoardMessage m;
    m.number = number;
    m.rawEntry = u"壊れた記事"_s;
    return m;
}

} // namespace

// CBBSFixture with its own cookie store and a board simulator serving the default boards 4
// (type 0), 13 and 14 (types 1 and 2 on one script) and 3 (type 3).
struct LoadFixture : CBBSFixture
{
    CookieStore store{dir.filePath(QStringLiteral("cookies.txt"))};
    BoardSimulator sim;
    QHash<int, int> simBoard; // simulator board of each default board
    QStringList errors;       // StateChanged texts for the status bar and the log

    LoadFixture()
    {
        setCookieStore(&store);
        QVERIFY(sim.listen());
        place(SingleBoard, 0, QStringLiteral("/cgi-bin/single.cgi"));
        place(LeftBoard, 1, QStringLiteral("/cgi-bin/pair.cgi"));
        place(RightBoard, 2, QStringLiteral("/cgi-bin/pair.cgi"));
        place(TextPageBoard, 3, QStringLiteral("/cgi-bin/text.cgi"));
        // A type-3 board keeps its settings only in a cookie the board wrote first.
        QVERIFY(CBBSProperty::WriteBoardCookie(board(TextPageBoard).URL(), QStringLiteral("nandemo"),
                                               QStringLiteral("ck_text%3D30%26ck_unread_point%3D0")));
        QObject::connect(&bbs, &CBBS::StateChanged, [this](const QString &text, bool status, bool log) {
            if (status && log)
                errors << text;
        });
    }
    ~LoadFixture() { setCookieStore(nullptr); }

    /** Points default board @p id at a new simulator board of @p type at @p script. */
    void place(int id, int type, const QString &script)
    {
        simBoard.insert(id, sim.addBoard(type, script, QStringLiteral("nandemo")));
        setColumn(id, QStringLiteral("URL"), u'\'' + sim.url(simBoard.value(id)) + u'\'');
    }
    void setColumn(int id, const QString &column, const QString &value)
    {
        QVERIFY(db->Execute(QStringLiteral("UPDATE BBS SET %1 = %2 WHERE BBS_ID = %3").arg(column, value).arg(id)));
    }
    CBBSProperty board(int id)
    {
        CBBSProperty p;
        p.GetProperty(id, *db);
        return p;
    }
    /** Loads board @p id and waits for the end; LoadFinished's result, false when none came. */
    bool load(int id, bool unreadOnly, bool exitIfFound = false)
    {
        QSignalSpy finished(&bbs, &CBBS::LoadFinished);
        return bbs.LoadBBS(id, unreadOnly, exitIfFound) && finished.wait(60000) && finished.first().first().toBool();
    }
    void addMessages(int id, int first, int last) { sim.addSampleMessages(simBoard.value(id), first, last); }
    /** Stores sample messages @p first .. @p last on board @p id as if received. */
    void storeMessages(int id, int first, int last)
    {
        QList<BoardMessage> messages;
        for (int number = first; number <= last; ++number)
            messages << LogFormat::sampleMessage(number);
        QVERIFY(bbs.AnalyseLog(id, LogFormat::log(0, messages), false));
    }
    /** The request targets (path and query) the simulator got, in order. */
    QStringList targets() const
    {
        QStringList list;
        for (const BoardSimulator::Request &r : sim.requests())
            list << QString::fromLatin1(r.target);
        return list;
    }
};

class TestCBBSLoad : public QObject
{
    Q_OBJECT

private slots:
    void paging_data()
    {
        QTest::addColumn<int>("id");
        QTest::addColumn<int>("maxCount");
        QTest::addColumn<int>("perPage");
        QTest::addColumn<int>("unreadPoint");
        QTest::addColumn<int>("storedBefore"); // messages 1 to this one are stored already
        QTest::addColumn<bool>("exitIfFound");
        QTest::addColumn<QByteArray>("lineBreak");
        QTest::addColumn<QString>("address"); // %1: the page number
        QTest::addColumn<int>("pages");
        const QString single = u"/cgi-bin/single.cgi?dousa=log&logmidoku=1&logno=%1"_s;
        const QString pair = u"/cgi-bin/pair.cgi?&l_or_r=%1&dousa=log&logmidoku=1&logno=%2"_s;
        const QString left = pair.arg(0).arg(u"%1"_s);
        const QString right = pair.arg(1).arg(u"%1"_s);
        const QString text = u"/cgi-bin/text.cgi?do=get_text&text_page=%1"_s;
        QTest::newRow("single") << 4 << 400 << 30 << 0 << 0 << false << "\r\n"_ba << single << 14;
        QTest::newRow("left") << 13 << 400 << 30 << 0 << 0 << false << "\r\n"_ba << left << 14;
        QTest::newRow("right") << 14 << 400 << 30 << 0 << 0 << false << "\r\n"_ba << right << 14;
        QTest::newRow("text page") << 3 << 400 << 30 << 0 << 0 << false << "\r\n"_ba << text << 14;
        QTest::newRow("61 / 30") << 4 << 61 << 30 << 0 << 0 << false << "\r\n"_ba << single << 3;
        QTest::newRow("no page size") << 4 << 400 << 0 << 0 << 0 << false << "\r\n"_ba << single << 1;
        QTest::newRow("no maximum") << 4 << 0 << 30 << 0 << 0 << false << "\r\n"_ba << single << 1;
        QTest::newRow("29 above unread") << 4 << 400 << 30 << 371 << 0 << false << "\r\n"_ba << single << 1;
        QTest::newRow("exit at a stored message") << 4 << 400 << 30 << 0 << 40 << true << "\r\n"_ba << single << 13;
        QTest::newRow("stored messages, no exit") << 4 << 400 << 30 << 0 << 40 << false << "\r\n"_ba << single << 14;
        QTest::newRow("LF only") << 4 << 61 << 30 << 0 << 0 << false << "\n"_ba << single << 3;
        QTest::newRow("CR only") << 4 << 61 << 30 << 0 << 0 << false << "\r"_ba << single << 3;
    }

    // 400 messages, 30 a page (the last one short): the pages of MaxCount in the board's own
    // addresses, the page size in the cookie; line breaks are read as CR LF; the unread position
    // becomes the newest number.
    void paging()
    {
        QFETCH(int, id);
        QFETCH(int, maxCount);
        QFETCH(int, perPage);
        QFETCH(int, unreadPoint);
        QFETCH(int, storedBefore);
        QFETCH(bool, exitIfFound);
        QFETCH(QByteArray, lineBreak);
        QFETCH(QString, address);
        QFETCH(int, pages);
        LoadFixture f;
        f.setColumn(id, u"MaxCount"_s, QString::number(maxCount));
        f.board(id).SetDownloadCount(perPage);
        f.board(id).SetNoReadPoint(unreadPoint);
        f.sim.setLineBreak(f.simBoard.value(id), lineBreak);
        f.addMessages(id, 1, 400);
        f.storeMessages(id, 1, storedBefore);
        f.bbs.SetTimeout(std::numeric_limits<int>::max()); // huge time-outs must not overflow
        QVERIFY(f.load(id, true, exitIfFound));
        QStringList expected;
        for (int page = 0; page < pages; ++page)
            expected << address.arg(id == f.TextPageBoard ? page + 1 : page);
        QCOMPARE(f.targets(), expected);
        QCOMPARE(f.bbs.SaveCount(), std::min(400 - unreadPoint - storedBefore, pages * 30));
        QVERIFY(f.stored(id).last().Body.contains(u"\r\n"_s));
        QCOMPARE(f.board(id).NoReadPoint(), 400);
        QVERIFY(f.errors.isEmpty());
        if (id != CBBSFixture::TextPageBoard)
            QVERIFY(f.sim.requests().first().cookie.contains(f.board(id).URL().toLatin1() + "=,,,,"));
    }

    void faultOnTheSecondPage_data()
    {
        QTest::addColumn<Fault>("fault");
        QTest::addColumn<QString>("error"); // start of the one error text; empty: none
        QTest::addColumn<int>("stored");    // of the 60 messages, 30 a page
        QTest::addColumn<int>("logged");    // entries for the error log
        const QString cut = u"受信エラー:2番目のログが記事の途中で切れていたため"_s;
        const QString unreadable = u"受信エラー:2番目のログには記事の区切りがありましたが"_s;
        const Fault slowlyGone{.kind = Kind::GoneDuringSlowBody, .chunkBytes = 256, .delayMs = 20};
        // Cut two characters into the second entry.
        const QString firstEntry = LogFormat::entry(0, LogFormat::sampleMessage(30)) + LogFormat::separator();
        const Fault inLabel{.kind = Kind::CutWithoutLength, .cutAt = LogFormat::toCp932(firstEntry).size() + 4};
        QTest::newRow("error page") << Fault{.kind = Kind::ErrorPage} << u"エラー:現在メンテナンス中です。"_s << 30 << 0;
        QTest::newRow("reset mid-body") << Fault{.kind = Kind::CutOffBody} << u"受信エラー(2):"_s << 30 << 0;
        QTest::newRow("100 MB body") << Fault{.kind = Kind::HugeBody} << u"受信エラー:ページが64MBを超えた"_s << 30 << 0;
        QTest::newRow("empty page") << Fault{.kind = Kind::EmptyBody} << QString() << 30 << 0;
        QTest::newRow("no CP932") << Fault{.kind = Kind::BrokenText} << u"受信エラー:ページにCP932"_s << 30 << 0;
        QTest::newRow("trickling page") << Fault{.kind = Kind::Trickle}
                                        << u"受信エラー(4):2番目のログが1.5秒以内に届き終わらなかったため"_s << 30 << 0;
        QTest::newRow("closed without length") << Fault{.kind = Kind::CutWithoutLength} << cut << 44 << 1;
        QTest::newRow("closed in a label") << inLabel << cut << 31 << 1;
        QTest::newRow("reset without length") << Fault{.kind = Kind::ResetMidBody} << cut << 44 << 1;
        QTest::newRow("server gone during a slow page") << slowlyGone << cut << 44 << 1;
        QTest::newRow("NUL after line breaks") << Fault{.kind = Kind::NulAfterLineBreaks} << unreadable << 30 << 1;
        QTest::newRow("lines in HTML tags") << Fault{.kind = Kind::HtmlLines} << unreadable << 30 << 1;
    }

    // The complete entries of a failed page stay, the unread position moves only at a clean end,
    // and what could not be used goes to the error log. A page that trickles in (each byte
    // restarts the time-out) ends after three time-outs.
    void faultOnTheSecondPage()
    {
        QFETCH(Fault, fault);
        QFETCH(QString, error);
        LoadFixture f;
        f.bbs.SetTimeoutMs(500);
        QTimer::singleShot(5000, &f.bbs, &CBBS::Cancel); // a page without a bound: a cancel, not the time-out
        QSignalSpy unusable(&f.bbs, &CBBS::LoadError);
        f.addMessages(f.SingleBoard, 1, 60);
        f.sim.setFault(fault, 1); // every later request: Qt sends again once after a silent close
        QCOMPARE(f.load(f.SingleBoard, true), error.isEmpty());
        QCOMPARE(f.bbs.IsError(), !error.isEmpty());
        QCOMPARE(f.errors.size(), error.isEmpty() ? 0 : 1);
        QVERIFY2(f.errors.value(0).startsWith(error), qPrintable(f.errors.value(0)));
        QTEST(int(f.stored(f.SingleBoard).size()), "stored");
        QTEST(int(unusable.size()), "logged");
        QCOMPARE(f.board(f.SingleBoard).NoReadPoint(), error.isEmpty() ? 60 : 0);
    }

    // Text after the last entry that does not begin one ends the page as before.
    void textAfterTheLastEntry()
    {
        LoadFixture f;
        f.addMessages(f.SingleBoard, 1, 60);
        f.sim.setPageEnd(f.simBoard.value(f.SingleBoard), u"</pre>\r\n"_s);
        QVERIFY(f.load(f.SingleBoard, true));
        QCOMPARE(f.board(f.SingleBoard).NoReadPoint(), 60);
    }

    // Without a time-out a page still has a bound.
    void pageTimeLimitWithoutTimeout()
    {
        QCOMPARE(CBBS().PageTimeLimitMs(), 180'000);
    }

    // A page that never ends, sent faster than it is read: memory stays near the page bound.
    void endlessPageStaysNearTheBound()
    {
#ifdef __SANITIZE_ADDRESS__
        QSKIP("AddressSanitizer keeps freed memory");
#endif
        LoadFixture f;
        auto *server = new BoardSimulator; // in a thread of its own: it sends faster than the page is read
        QVERIFY(server->listen());
        server->addBoard(0, u"/cgi-bin/flood.cgi"_s);
        server->setFault(Fault{.kind = Kind::EndlessBody});
        f.setColumn(f.SingleBoard, u"URL"_s, u'\'' + server->url(0) + u'\'');
        QThread thread;
        server->moveToThread(&thread);
        QObject::connect(&thread, &QThread::finished, server, &QObject::deleteLater);
        thread.start();
        const auto stop = qScopeGuard([&thread] {
            thread.quit();
            thread.wait();
        });
        const qint64 before = residentMiB("VmRSS:");
        QVERIFY(resetPeakResident());
        QVERIFY(!f.load(f.SingleBoard, true));
        QCOMPARE(f.errors, QStringList{u"受信エラー:ページが64MBを超えたため受信を中止しました。"_s});
        QCOMPARE_LT(residentMiB("VmHWM:") - before, CBBS::MaxBodyBytes / (1 << 20) + 16);
    }

    // A broken entry on the first page, also beside a stored message: the next pages are still
    // fetched, so the unread position never moves past messages that were not fetched.
    void brokenEntryDoesNotEndPaging()
    {
        LoadFixture f;
        f.addMessages(f.SingleBoard, 1, 60);
        f.storeMessages(f.SingleBoard, 40, 40);
        f.sim.addMessage(f.simBoard.value(f.SingleBoard), brokenMessage(50));
        QSignalSpy broken(&f.bbs, &CBBS::LoadError);
        QVERIFY(f.load(f.SingleBoard, true));
        QCOMPARE(f.sim.requests().size(), 3); // the third page is empty
        QCOMPARE(f.stored(f.SingleBoard).size(), 59);
        QCOMPARE(broken.size(), 1);
        QCOMPARE(f.board(f.SingleBoard).NoReadPoint(), 60);
    }

    // A page of nothing but broken entries fails the load, not "nothing new".
    void pageOfBrokenEntriesFails()
    {
        LoadFixture f;
        f.sim.addMessages(f.simBoard.value(f.SingleBoard), {brokenMessage(1), brokenMessage(2)});
        QVERIFY(!f.load(f.SingleBoard, true));
        QCOMPARE(f.errors, QStringList{u"受信エラー:1番目のログは2件すべてが壊れていたため、受信を中止しました。"_s});
        QCOMPARE(f.board(f.SingleBoard).NoReadPoint(), 0);
    }

    // Between the slices of a page's analysis the event loop turns, and a write from the window
    // then finds no transaction of ours open: a later failure or cancel cannot take it back.
    void windowWritesBetweenSlicesFindNoTransactionOpen()
    {
        LoadFixture f;
        f.addMessages(f.SingleBoard, 1, 30);
        f.bbs.SetEventTurnMs(0); // every entry ends a slice
        bool analysing = false;
        int writesDuringAnalysis = 0;
        int writesInOurTransaction = 0;
        const auto write = [&] {
            writesDuringAnalysis += analysing ? 1 : 0;
            writesInOurTransaction += f.db->InTransaction() ? 1 : 0;
            QVERIFY(f.db->Execute(u"UPDATE Message SET Mark = Mark + 1 WHERE BBS_ID = 4"_s));
        };
        QObject::connect(&f.bbs, &CBBS::StateChanged, [&](const QString &text) {
            analysing = text.endsWith(u"件目を解析中..."_s);
            if (analysing)
                QTimer::singleShot(0, &f.bbs, write); // the window answers at the next turn
        });
        QVERIFY(f.load(f.SingleBoard, true));
        QVERIFY(writesDuringAnalysis > 0);
        QCOMPARE(writesInOurTransaction, 0);
    }

    // The disk fills during the third page: the load fails with the cause, SaveCount is what
    // was stored and the unread position stays, so the next load, with room, stores the rest.
    void fullDiskDuringReceive()
    {
        constexpr int Messages = 150;
        LoadFixture f;
        SmallDisk disk(f.dir.filePath(u"disk"_s), 2048);
        REQUIRE_MOUNTED(disk);
        f.db->Close();
        QVERIFY(QFile::copy(f.path(), disk.path(u"log.mdb"_s)));
        f.db = Database::Open(disk.path(u"log.mdb"_s));
        f.bbs.Initialize(f.db.get());
        for (int number = 1; number <= Messages; ++number) {
            BoardMessage m = LogFormat::sampleMessage(number);
            m.body = QString(1000, u'字');
            f.sim.addMessage(f.simBoard.value(f.SingleBoard), m);
        }
        QVERIFY(disk.fill(300 * 1024)); // room for about two pages of 30
        QVERIFY(!f.load(f.SingleBoard, true));
        QCOMPARE(f.errors.size(), 1);
        QVERIFY2(f.errors.at(0).contains(u"ディスクの空き容量が不足しています。"_s), qPrintable(f.errors.at(0)));
        const int stored = int(f.stored(f.SingleBoard).size());
        QVERIFY(stored > 0);
        QVERIFY(stored < Messages);
        QCOMPARE(f.bbs.SaveCount(), stored);
        QCOMPARE(f.board(f.SingleBoard).NoReadPoint(), 0);

        QVERIFY(disk.freeAll());
        QVERIFY(f.load(f.SingleBoard, true));
        QCOMPARE(f.bbs.SaveCount(), Messages - stored);
        QCOMPARE(f.stored(f.SingleBoard).size(), Messages);
        f.db->Close();
    }

    // The end is reported from the event loop, never from within LoadBBS (the caller connects,
    // then waits); while a load goes on, neither a load nor an import starts.
    void endComesLaterAndOneRunAtATime()
    {
        LoadFixture f;
        QSignalSpy finished(&f.bbs, &CBBS::LoadFinished);
        QVERIFY(f.bbs.LoadBBS(99, true)); // no such board: failed at once
        QCOMPARE(finished.size(), 0);
        QVERIFY(!f.bbs.LoadBBS(f.SingleBoard, true));
        QVERIFY(!f.bbs.ImportLog(f.SingleBoard, f.dir.filePath(u"a.log"_s)));
        QVERIFY(finished.wait());
        QCOMPARE(finished.first().first().toBool(), false);
        QCOMPARE(f.errors, QStringList{u"Error:掲示板(99)が見つかりません。"_s});
        QVERIFY(f.load(f.SingleBoard, true));
    }

    // A type-3 cookie without an unread item keeps no position: not reported as set.
    void unreadPositionThatCannotBeWritten()
    {
        LoadFixture f;
        QVERIFY(CBBSProperty::WriteBoardCookie(f.board(f.TextPageBoard).URL(), u"nandemo"_s, u"ck_text%3D30"_s));
        f.addMessages(f.TextPageBoard, 1, 5);
        QSignalSpy state(&f.bbs, &CBBS::StateChanged);
        QVERIFY(f.load(f.TextPageBoard, true));
        QCOMPARE(state.last().first().toString(), u"未読位置を5に設定できませんでした。"_s);
    }
};

QTEST_GUILESS_MAIN(TestCBBSLoad)
#include "tst_cbbs_load.moc"
