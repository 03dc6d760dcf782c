#include "CBBSFixture.h"

#include "db/Transaction.h"
#include "transfer/LogParser.h"
#include "transfer/mdlErrorLog.h"

#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTimer>

using namespace Qt::StringLiterals;
using LogFormat::sampleMessage;

namespace {

const QString Broken = u"件目のログが壊れていました。"_s;
const QString Refused = u"件目のログをデータベースに登録できませんでした。"_s;
const QString Analysing = u"件目を解析中..."_s;
const QString Updating = u"スレッド情報を更新中..."_s;
const QString Updated = u"スレッド情報の更新を終了しました。"_s;

QDateTime at(int y, int mo, int d, int h, int mi, int s = 0)
{
    return CMessage::WallClock(QDate(y, mo, d), QTime(h, mi, s));
}

/** A message with every field set, multi-byte text included. */
BoardMessage fullMessage(int number)
{
    BoardMessage m;
    m.number = number;
    m.subject = u" 件名「テスト」 "_s;
    m.homePage = u"http://例え.jp/~user"_s;
    m.mail = u"user@example.jp"_s;
    m.name = u"名無し　さん"_s;
    m.date = at(2001, 2, 3, 12, 34, 56);
    m.replyTo = 7;
    m.body = u"一行目\r\n\r\n<b>三行目</b> &amp; 'x' | y\r\n"_s;
    return m;
}

QStringList texts(const QSignalSpy &spy, int argument)
{
    QStringList out;
    for (const QList<QVariant> &call : spy)
        out.append(call.at(argument).toString());
    return out;
}

} // namespace

class TestCBBSAnalyse : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { qRegisterMetaType<CMessage>(); }

    void layoutsOfEveryBoardType_data()
    {
        QTest::addColumn<int>("board");
        QTest::addColumn<int>("type");
        QTest::newRow("single") << CBBSFixture::SingleBoard << 0;
        QTest::newRow("left") << CBBSFixture::LeftBoard << 1;
        QTest::newRow("right") << CBBSFixture::RightBoard << 2;
        QTest::newRow("text page") << CBBSFixture::TextPageBoard << 3;
    }

    void layoutsOfEveryBoardType()
    {
        QFETCH(int, board);
        QFETCH(int, type);
        CBBSFixture f;
        const BoardMessage m = fullMessage(1234);
        QVERIFY(f.bbs.AnalyseLog(board, LogFormat::log(type, {m}), true));

        const QList<CMessage> stored = f.stored(board);
        QCOMPARE(stored.size(), 1);
        const CMessage &msg = stored.first();
        QCOMPARE(msg.BBS_ID, board);
        QCOMPARE(msg.ID, 1234);
        QCOMPARE(msg.Subject, type == 1 || type == 2 ? QString(m.body) : m.subject);
        QCOMPARE(msg.HomePage, m.homePage);
        QCOMPARE(msg.Mail, m.mail);
        QCOMPARE(msg.PostName, m.name);
        QCOMPARE(msg.PostDate, at(2001, 2, 3, 12, 34)); // stored to the minute
        QCOMPARE(msg.InReplyTo, 7);
        QCOMPARE(msg.Body, m.body);
        QCOMPARE(msg.Read, true);
        QCOMPARE(msg.Mark, 0);
        QCOMPARE(msg.RootThread, 1234); // message 7 is not stored
    }

    void pairedSubjectFromBody()
    {
        CBBSFixture f;
        QList<BoardMessage> messages;
        for (const int length : {50, 51}) {
            BoardMessage m = sampleMessage(length);
            m.body = QString(length, u'あ');
            messages.append(m);
        }
        QVERIFY(f.bbs.AnalyseLog(CBBSFixture::LeftBoard, LogFormat::log(1, messages), false));
        const QList<CMessage> stored = f.stored(CBBSFixture::LeftBoard);
        QCOMPARE(stored.size(), 2);
        QCOMPARE(stored.at(0).Subject, QString(50, u'あ'));
        QCOMPARE(stored.at(1).Subject, QString(47, u'あ') + u"..."_s);
        QCOMPARE(stored.at(1).Read, false);
    }

    void separatorRules()
    {
        CBBSFixture f;
        const QString sep = LogParser::Separator;
        const QString one = LogFormat::entry(0, sampleMessage(1));
        const QString two = LogFormat::entry(0, sampleMessage(2));
        // The text after the last separator is no entry, even when it looks like one.
        QSignalSpy state(&f.bbs, &CBBS::StateChanged);
        QVERIFY(f.bbs.AnalyseLog(4, one + sep + two + sep + LogFormat::entry(0, sampleMessage(3)), false));
        QCOMPARE(f.bbs.AnalyseCount(), 2);
        QCOMPARE(f.stored(4).size(), 2);

        // A separator needs its CR LF on both sides; without any there is no entry at all,
        // yet the threads are still updated with both texts.
        state.clear();
        QVERIFY(f.bbs.AnalyseLog(4, one + QString(sep).replace(u"\r\n"_s, u"\n"_s), false));
        QCOMPARE(texts(state, 0), QStringList({Updating, Updated}));
        QCOMPARE(f.bbs.AnalyseCount(), 2);
    }

    void textsAndCounters()
    {
        CBBSFixture f;
        f.bbs.ResetCounters();
        BoardMessage emptyBody = sampleMessage(30);
        emptyBody.body.clear();
        BoardMessage broken = sampleMessage(40);
        broken.rawEntry = u"壊れた\r\nエントリー"_s;
        const QString text = LogFormat::log(0, {sampleMessage(10), broken, sampleMessage(50), emptyBody});

        QSignalSpy loaded(&f.bbs, &CBBS::Loaded);
        QSignalSpy state(&f.bbs, &CBBS::StateChanged);
        QSignalSpy errors(&f.bbs, &CBBS::LoadError);
        QVERIFY(f.bbs.AnalyseLog(4, text, false));
        QCOMPARE(texts(state, 0), QStringList({u"0"_s + Analysing, u"2"_s + Analysing,
                                               u"3"_s + Analysing, Updating, Updated}));
        for (const QList<QVariant> &call : std::as_const(state))
            QVERIFY(!call.at(1).toBool() && !call.at(2).toBool());
        QCOMPARE(texts(errors, 2), QStringList({u"1"_s + Broken, u"3"_s + Refused}));
        QCOMPARE(errors.at(0).at(0).toInt(), 4);
        QCOMPARE(errors.at(0).at(1).toString(), broken.rawEntry);
        QCOMPARE(errors.at(1).at(1).toString(), LogFormat::entry(0, emptyBody));
        QCOMPARE(loaded.size(), 2);
        QCOMPARE(loaded.at(1).at(0).value<CMessage>().ID, 50);
        QCOMPARE(f.bbs.AnalyseCount(), 3);
        QCOMPARE(f.bbs.SaveCount(), 2);
        QCOMPARE(f.bbs.AnalyseError(), -1);
        QCOMPARE(f.bbs.MaxID(), 50);

        // Counters go on over the texts of one run; AnalyseError is per text; a page of known
        // messages is not complete and reports nothing; numbering restarts at 0 per text.
        state.clear();
        errors.clear();
        QVERIFY(!f.bbs.AnalyseLog(4, LogFormat::log(0, {sampleMessage(10), sampleMessage(50)}), false));
        QCOMPARE(texts(state, 0), QStringList({u"0"_s + Analysing, u"1"_s + Analysing, Updating, Updated}));
        QCOMPARE(errors.size(), 0);
        QCOMPARE(f.bbs.AnalyseCount(), 5);
        QCOMPARE(f.bbs.SaveCount(), 2);
        QCOMPARE(f.bbs.AnalyseError(), 0);
        f.bbs.ResetCounters();
        QCOMPARE(f.bbs.AnalyseCount() + f.bbs.SaveCount() + f.bbs.MaxID(), 0);
    }

    void unknownBoardTypeReportsEveryEntryBroken()
    {
        CBBSFixture f;
        QVERIFY(f.db->Execute(u"UPDATE BBS SET BBSType = 7 WHERE BBS_ID = 4"_s));
        QSignalSpy errors(&f.bbs, &CBBS::LoadError);
        QVERIFY(f.bbs.AnalyseLog(4, LogFormat::log(0, {sampleMessage(1), sampleMessage(2)}), false));
        QCOMPARE(texts(errors, 2), QStringList({u"0"_s + Broken, u"1"_s + Broken}));
        QVERIFY(f.bbs.AnalyseLog(99, LogFormat::log(0, {sampleMessage(1)}), false)); // no such board
        QCOMPARE(errors.size(), 3);
        QCOMPARE(f.bbs.AnalyseCount(), 0);
    }

    void saveMessageResults()
    {
        CBBSFixture f;
        CMessage msg;
        msg.BBS_ID = 4;
        msg.ID = 1;
        msg.Subject = u"Re: it's 'ok' | fine"_s;
        msg.Body = u"'|' \"\" ' & Chr(124) & '\r\n"_s;
        msg.PostDate = at(2024, 2, 29, 23, 59, 59);
        QCOMPARE(f.bbs.SaveMessage(msg), CBBS::Saved);

        CMessage again = msg;
        again.Body = u"別の本文"_s;
        QCOMPARE(f.bbs.SaveMessage(again), CBBS::Duplicate);
        const QList<CMessage> stored = f.stored(4);
        QCOMPARE(stored.size(), 1);
        QCOMPARE(stored.first().Subject, msg.Subject);
        QCOMPARE(stored.first().Body, msg.Body);
        QCOMPARE(stored.first().PostDate, at(2024, 2, 29, 23, 59));

        // The same number on another board is another message.
        CMessage other = msg;
        other.BBS_ID = 5;
        QCOMPARE(f.bbs.SaveMessage(other), CBBS::Saved);

        const QString tooLong(256, u'字');
        const QList<std::function<void(CMessage &)>> refusals{
            [](CMessage &m) { m.Body.clear(); },
            [](CMessage &m) { m.Body = QString(); },
            [&](CMessage &m) { m.Subject = tooLong; },
            [&](CMessage &m) { m.HomePage = tooLong; },
            [&](CMessage &m) { m.Mail = tooLong; },
            [&](CMessage &m) { m.PostName = tooLong; },
        };
        for (const auto &change : refusals) {
            CMessage bad = msg;
            bad.ID = 2;
            change(bad);
            QCOMPARE(f.bbs.SaveMessage(bad), CBBS::Refused);
        }
        CMessage longest = msg;
        longest.ID = 3;
        longest.Subject = longest.HomePage = longest.Mail = longest.PostName = QString(255, u'字');
        longest.Body = QString(100000, u'本');
        QCOMPARE(f.bbs.SaveMessage(longest), CBBS::Saved);
        QCOMPARE(f.stored(4).size(), 2);

        CBBS closed;
        QCOMPARE(closed.SaveMessage(msg), CBBS::Refused);
    }

    void badInputIsStoredOrReportedAndNothingStoredChanges()
    {
        CBBSFixture f;
        QVERIFY(f.bbs.AnalyseLog(4, LogFormat::log(0, {sampleMessage(1), sampleMessage(2)}), false));
        const QList<CMessage> before = f.stored(4);

        QList<BoardMessage> entries;
        QRandomGenerator random(42);
        for (int i = 0; i < 20; ++i) {
            QByteArray bytes(int(random.bounded(1, 400)), Qt::Uninitialized);
            for (char &c : bytes)
                c = char(random.bounded(256));
            BoardMessage m;
            m.rawEntry = QString::fromLatin1(bytes);
            entries.append(m);
        }
        BoardMessage fewLines;
        fewLines.rawEntry = u"記事番号　：　3\r\n題名　　：　x"_s;
        BoardMessage huge = sampleMessage(4);
        huge.body = QString(10 * 1024 * 1024, u'x');
        BoardMessage overflow = sampleMessage(1);
        overflow.rawEntry = LogFormat::entry(0, sampleMessage(1)).replace(u"：　1\r\n"_s, u"：　2147483648\r\n"_s);
        BoardMessage nul = sampleMessage(5);
        nul.body = u"a\0b"_s;
        nul.subject = QString(1, QChar(0));
        BoardMessage badDate = sampleMessage(2);
        badDate.rawEntry = LogFormat::entry(0, sampleMessage(2)).replace(u"2024/01/01"_s, u"2001/13/45"_s);
        entries << fewLines << huge << overflow << nul << badDate;

        QSignalSpy errors(&f.bbs, &CBBS::LoadError);
        QSignalSpy loaded(&f.bbs, &CBBS::Loaded);
        f.bbs.AnalyseLog(4, LogFormat::log(0, entries), false);
        QCOMPARE(errors.size() + loaded.size(), entries.size());
        QCOMPARE(loaded.size(), 2);

        const QList<CMessage> after = f.stored(4);
        QCOMPARE(after.size(), 4);
        QCOMPARE(after.mid(0, 2), before);
        QCOMPARE(after.at(2).Body.size(), huge.body.size());
        QCOMPARE(after.at(3).Body, nul.body);
        QCOMPARE(after.at(3).Subject, nul.subject);
    }

    void oneTransactionPerText()
    {
        CBBSFixture f;
        bool inTransaction = false;
        connect(&f.bbs, &CBBS::Loaded, this, [&] { inTransaction = f.db->InTransaction(); });
        QVERIFY(f.bbs.AnalyseLog(4, LogFormat::log(0, {sampleMessage(1)}), false));
        QVERIFY(inTransaction);
        QVERIFY(!f.db->InTransaction());
        // Committed: another connection sees the row.
        const std::unique_ptr<Database> other = Database::Open(f.path());
        QCOMPARE(other->OpenRecordset(u"SELECT ID FROM Message"_s)->RecordCount(), 1);
    }

    void cancelFromAReceiverStopsAtTheNextEntry()
    {
        CBBSFixture f;
        f.bbs.InitCancel();
        connect(&f.bbs, &CBBS::Loaded, this, [&](const CMessage &msg) {
            if (msg.ID == 2)
                f.bbs.Cancel();
        });
        QSignalSpy state(&f.bbs, &CBBS::StateChanged);
        QVERIFY(!f.bbs.AnalyseLog(4, LogFormat::log(0, {sampleMessage(1), sampleMessage(2), sampleMessage(3)}), false));
        QVERIFY(f.bbs.IsCancel());
        QCOMPARE(texts(state, 0), QStringList({u"0"_s + Analysing, u"1"_s + Analysing, Updating, Updated}));
        QCOMPARE(f.stored(4).size(), 2);
        QCOMPARE(f.stored(4).last().RootThread, 2); // threads linked after a cancel too
        f.bbs.InitCancel();
        QVERIFY(!f.bbs.IsCancel());
    }

    void cancelThroughTheEventLoopStopsWithin100ms()
    {
        CBBSFixture f;
        QList<BoardMessage> messages;
        for (int i = 1; i <= 50000; ++i)
            messages.append(sampleMessage(i));
        const QString text = LogFormat::log(0, messages);
        QElapsedTimer clock;
        qint64 cancelledAt = -1;
        QTimer::singleShot(50, this, [&] {
            f.bbs.Cancel();
            cancelledAt = clock.elapsed();
        });
        QSignalSpy state(&f.bbs, &CBBS::StateChanged);
        qint64 stoppedAt = -1;
        connect(&f.bbs, &CBBS::StateChanged, this, [&](const QString &t) {
            if (t == Updating)
                stoppedAt = clock.elapsed();
        });
        clock.start();
        QVERIFY(!f.bbs.AnalyseLog(4, text, false));
        QVERIFY(cancelledAt >= 0);
        QVERIFY2(stoppedAt - cancelledAt < 100, qPrintable(QString::number(stoppedAt - cancelledAt)));
        QVERIFY(f.bbs.AnalyseCount() < messages.size());
    }

    void errorLogAppendsEntryAndSeparatorInCp932()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath(u"bad/zatsudan.bad"_s);
        QVERIFY(mdlErrorLog::AppendErrorLog(file, u"壊れた①\r\n二行目"_s));
        QVERIFY(mdlErrorLog::AppendErrorLog(file, u"次"_s));
        QFile in(file);
        QVERIFY(in.open(QIODevice::ReadOnly));
        QCOMPARE(in.readAll(), LogFormat::toCp932(u"壊れた①\r\n二行目"_s + LogParser::Separator + u"次"_s
                                                  + LogParser::Separator));
        QVERIFY(!mdlErrorLog::AppendErrorLog(dir.path(), u"x"_s)); // a folder is no file
    }
};

QTEST_GUILESS_MAIN(TestCBBSAnalyse)
#include "tst_cbbs_analyse.moc"
