#include "CBBSFixture.h"

#include "app/mdlEncoding.h"
#include "db/BoardType.h"
#include "db/Transaction.h"
#include "support/SmallDisk.h"
#include "support/TestFiles.h"
#include "transfer/ExportRun.h"
#include "transfer/LogParser.h"

#include <QDir>
#include <QFile>

using namespace Qt::StringLiterals;

namespace QTest {
template<>
char *toString(const CMessage &m)
{
    return qstrdup(u"#%1/%2 re %3 root %4 [%5|%6|%7|%8] %9 {%10}"_s
                       .arg(m.BBS_ID).arg(m.ID).arg(m.InReplyTo).arg(m.RootThread)
                       .arg(m.Subject, m.HomePage, m.Mail, m.PostName, m.PostDate.toString(Qt::ISODate), m.Body)
                       .toUtf8().constData());
}
} // namespace QTest

namespace {

constexpr int Board = CBBSFixture::SingleBoard;
const QString Separator = LogParser::SeparatorLine;

/** What the analysis makes the subject of a paired board's message: its body, cut after 47 characters. */
QString subjectFromBody(const QString &body)
{
    return body.size() > 50 ? body.first(47) + u"..."_s : body;
}

CMessage message(int board, int id, int replyTo, const QString &subject, const QString &name, const QString &body)
{
    const QDateTime date = CMessage::WallClock(QDate(2024, 5, 1), QTime(9, 0)).addSecs(60LL * id);
    return {board, id, subject, {}, {}, name, date, replyTo, body, 0, 0, false};
}

/**
 * Messages with what a log file must carry: multi-line bodies, quotes, empty fields, replies,
 * both widths of kana, characters CP932 lacks, a line break in a header field and a body line
 * that reads as the separator.
 */
QList<CMessage> generated(int board, int type)
{
    QList<CMessage> list{
        message(board, 1, 0, u"はじめまして 'a' \"b\" | c"_s, u"山田"_s, u"一行目\r\n> 引用です\r\n\r\nｶﾀｶﾅとカタカナ"_s),
        message(board, 2, 1, u"Re: はじめまして"_s, QString(), u">>1\r\n雪だるま☃と波〜と😀"_s),
        message(board, 5, 2, QString(), u"名無し"_s, QString(60, u'長') + u"\r\n"_s),
        message(board, 7, 99, u"区切り"_s, u"二行の\r\n名前"_s, u"上\r\n"_s + Separator + u"\r\n下"_s),
    };
    list[1].Mail = u"mail@example.jp"_s;
    list[1].HomePage = u"http://example.jp/~a/"_s;
    for (CMessage &m : list) {
        if (IsPairedBoard(type))
            m.Subject = subjectFromBody(m.Body);
    }
    return list;
}

/** The messages as the file gives them back: each replacement written out, threads linked. */
QList<CMessage> expected(QList<CMessage> list, int type)
{
    for (CMessage &m : list) {
        m.Body.replace(u"☃"_s, u"?"_s).replace(u"〜"_s, u"～"_s).replace(u"😀"_s, u"?"_s);
        m.Body.replace(u"\r\n="_s, u"\r\n＝"_s);
        if (IsPairedBoard(type))
            m.Subject = subjectFromBody(m.Body);
        m.PostName.replace(u"\r\n"_s, u" "_s);
        m.RootThread = m.InReplyTo == 0 || m.InReplyTo == 99 ? m.ID : 1;
    }
    return list;
}

void store(CBBSFixture &f, const QList<CMessage> &messages)
{
    Transaction transaction(*f.db);
    for (const CMessage &m : messages)
        QCOMPARE(f.bbs.SaveMessage(m), CBBS::Saved);
    QVERIFY(transaction.Commit());
    QVERIFY(f.bbs.UpdateThreads(messages.value(0).BBS_ID));
}

/** Starts @p start on @p run and waits for its end; an empty result when none came. */
ExportRun::Result waitFor(ExportRun &run, const std::function<bool()> &start)
{
    std::optional<ExportRun::Result> result;
    QObject::connect(&run, &ExportRun::Finished, [&result](const ExportRun::Result &r) { result = r; });
    if (start() && !QTest::qWaitFor([&result] { return result.has_value(); }, 60000))
        qWarning("the export did not end");
    return result.value_or(ExportRun::Result{});
}

ExportRun::Result exportBoard(CBBSFixture &f, int board, int type, const QString &file, int from = 0,
                              int to = std::numeric_limits<int>::max())
{
    ExportRun run;
    return waitFor(run, [&] { return run.StartBoard(*f.db, board, type, file, from, to); });
}

} // namespace

class TestExportRun : public QObject
{
    Q_OBJECT

    CBBSFixture m_source; // board 4 holds the generated messages of type 0
    QString m_file;

private slots:
    void initTestCase()
    {
        store(m_source, generated(Board, SingleBoard));
        m_file = m_source.dir.filePath(u"out.log"_s);
    }

    void cleanup() { QFile::remove(m_file); }

    void roundTrip_data()
    {
        QTest::addColumn<int>("board");
        QTest::addColumn<int>("type");
        QTest::newRow("single") << CBBSFixture::SingleBoard << int(SingleBoard);
        QTest::newRow("paired left") << CBBSFixture::LeftBoard << int(PairedLeftBoard);
        QTest::newRow("paired right") << CBBSFixture::RightBoard << int(PairedRightBoard);
        QTest::newRow("text page") << CBBSFixture::TextPageBoard << int(TextPageBoard);
    }

    // Exported, then imported into the same board of an empty database: every field comes back.
    void roundTrip()
    {
        QFETCH(int, board);
        QFETCH(int, type);
        CBBSFixture source;
        CBBSFixture target;
        const QList<CMessage> messages = generated(board, type);
        store(source, messages);

        QCOMPARE(exportBoard(source, board, type, m_file).Written, messages.size());
        QVERIFY(target.import(board, m_file));
        const QList<CMessage> imported = target.stored(board);
        const QList<CMessage> wanted = expected(generated(board, type), type);
        QCOMPARE(imported.size(), wanted.size());
        for (qsizetype i = 0; i < wanted.size(); ++i)
            QCOMPARE(imported.at(i), wanted.at(i));
    }

    void outcomeNamesEveryReplacement_data()
    {
        QTest::addColumn<QString>("part");
        QTest::newRow("written") << u"4件エクスポートしました。"_s;
        QTest::newRow("count") << u"5文字を置き換えました"_s;
        QTest::newRow("lacking") << u"「☃」→「?」×1"_s;
        QTest::newRow("outside the plane") << u"「😀」→「?」×1"_s;
        QTest::newRow("twin") << u"「〜」→「～」×1"_s;
        QTest::newRow("line break in a header") << u"改行→空白×1"_s;
        QTest::newRow("separator in a body") << u"「=」→「＝」×1"_s;
    }

    void outcomeNamesEveryReplacement()
    {
        QFETCH(QString, part);
        const ExportRun::Result result = exportBoard(m_source, Board, SingleBoard, m_file);
        QVERIFY2(result.Outcome.contains(part), qPrintable(result.Outcome));
    }

    void entriesGoOldestFirst()
    {
        QCOMPARE(exportBoard(m_source, Board, SingleBoard, m_file).Written, 4);
        const QString text = mdlMain::FromCp932(readFile(m_file));
        QList<int> ids;
        for (QStringView entry : LogParser::SplitEntries(text))
            ids << LogParser::ParseSingleEntry(Board, entry, false)->ID;
        QCOMPARE(ids, (QList<int>{1, 2, 5, 7}));
    }

    void rangeAndBatches_data()
    {
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("to");
        QTest::addColumn<int>("written");
        QTest::newRow("all, three batches") << 0 << std::numeric_limits<int>::max() << 2 * ExportRun::BatchSize + 1;
        QTest::newRow("from") << ExportRun::BatchSize << std::numeric_limits<int>::max() << ExportRun::BatchSize + 2;
        QTest::newRow("to") << 0 << 10 << 10;
        QTest::newRow("one") << 7 << 7 << 1;
        QTest::newRow("none") << 50000 << 60000 << 0;
    }

    // Board 5 holds 1 .. 2 * BatchSize + 1; an empty range writes no file.
    void rangeAndBatches()
    {
        QFETCH(int, from);
        QFETCH(int, to);
        QFETCH(int, written);
        CBBSFixture f;
        QList<CMessage> many;
        for (int id = 1; id <= 2 * ExportRun::BatchSize + 1; ++id)
            many << message(5, id, 0, u"題"_s, u"名"_s, u"本文"_s);
        store(f, many);
        const ExportRun::Result result = exportBoard(f, 5, SingleBoard, m_file, from, to);
        QCOMPARE(result.Written, written);
        QCOMPARE(QFile::exists(m_file), written > 0);
        if (written > 0)
            QCOMPARE(LogParser::SplitEntries(mdlMain::FromCp932(readFile(m_file))).size(), written);
    }

    // A cancel after the first batch, a missing folder and a full disk leave an existing file as it was.
    void cancelAndFailureLeaveNoFile_data()
    {
        QTest::addColumn<QString>("cause");
        QTest::addColumn<QString>("outcome");
        QTest::newRow("cancel") << u"cancel"_s << u"処理は中断されました。"_s;
        QTest::newRow("no folder") << u"no folder"_s << u"エクスポートできませんでした。"_s;
        QTest::newRow("full disk") << u"full disk"_s << u"エクスポートできませんでした。"_s;
    }

    void cancelAndFailureLeaveNoFile()
    {
        QFETCH(QString, cause);
        QFETCH(QString, outcome);
        const SmallDisk disk(m_source.dir.filePath(u"small"_s), 256);
        if (cause == u"full disk"_s)
            REQUIRE_MOUNTED(disk);
        const QString folder = cause == u"full disk"_s ? disk.path({}) : m_source.dir.path();
        const QString existing = QDir(folder).filePath(u"out.log"_s);
        writeFile(existing, "old");
        if (cause == u"full disk"_s)
            QVERIFY(disk.fill(512)); // room for less than the four entries
        ExportRun run;
        if (cause == u"cancel"_s) // after the first batch is in the temporary file
            connect(&run, &ExportRun::Progress, &run, &ExportRun::Cancel);
        const QString target = cause == u"no folder"_s ? QDir(folder).filePath(u"none/out.log"_s) : existing;
        const ExportRun::Result result
            = waitFor(run, [&] { return run.StartBoard(*m_source.db, Board, SingleBoard, target); });
        QVERIFY2(result.Outcome.startsWith(outcome), qPrintable(result.Outcome));
        QCOMPARE(result.Written, 0);
        QCOMPARE(readFile(existing), QByteArray("old"));
        QCOMPARE(QDir(folder).entryList({u"out.log*"_s}, QDir::Files | QDir::Hidden), QStringList{u"out.log"_s});
    }

    // A message without a post date has no entry an import would read: it is left out and said so.
    void messageWithoutDateIsLeftOut()
    {
        CBBSFixture f;
        store(f, {message(Board, 1, 0, u"題"_s, u"名"_s, u"本文"_s), message(Board, 2, 0, u"題"_s, u"名"_s, u"本文"_s)});
        QVERIFY(f.db->Execute(u"UPDATE Message SET PostDate = Null WHERE ID = 2"_s));
        const ExportRun::Result result = exportBoard(f, Board, SingleBoard, m_file);
        QCOMPARE(result.Written, 1);
        QCOMPARE(result.Skipped, 1);
        QVERIFY2(result.Outcome.contains(u"投稿日のない1件は書き出していません。"_s), qPrintable(result.Outcome));
    }

    void listRowsGoOldestFirst()
    {
        ExportRun run;
        const QList<CMessage> rows{message(Board, 9, 0, u"後"_s, {}, u"b"_s), message(Board, 3, 0, u"前"_s, {}, u"a"_s)};
        QCOMPARE(waitFor(run, [&] { return run.StartMessages(rows, SingleBoard, m_file); }).Written, 2);
        const QString text = mdlMain::FromCp932(readFile(m_file));
        QCOMPARE(LogParser::ParseSingleEntry(Board, LogParser::SplitEntries(text).value(0), false)->ID, 3);
    }

    void proposedFileName_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QString>("identifier");
        QTest::addColumn<QString>("name");
        QTest::newRow("pattern") << u"zatsudan*"_s << u"zatsu"_s << u"zatsudan20240501.log"_s;
        QTest::newRow("pattern with extension") << u"kako??.txt"_s << u"kako"_s << u"kako00.txt"_s;
        QTest::newRow("no pattern") << QString() << u"oshirase"_s << u"oshirase.log"_s;
    }

    void proposedFileName()
    {
        QFETCH(QString, pattern);
        QFETCH(QString, identifier);
        QFETCH(QString, name);
        CBBSProperty board;
        board.SetDefaultLogFile(pattern);
        board.SetIdentifier(identifier);
        QCOMPARE(ExportRun::ProposedFileName(board, QDate(2024, 5, 1)), name);
    }
};

QTEST_GUILESS_MAIN(TestExportRun)
#include "tst_exportrun.moc"
