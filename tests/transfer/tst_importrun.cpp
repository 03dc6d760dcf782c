#include "CBBSFixture.h"

#include "app/Prompter.h"
#include "db/CBBSProperty.h"
#include "transfer/ImportRun.h"

#include <QFile>

using namespace Qt::StringLiterals;
using LogFormat::sampleMessage;

namespace {

constexpr int Board = CBBSFixture::SingleBoard; // 雑談掲示板, log files "zatsudan*"
constexpr int QuestionBoard = 5;                // 質問掲示板, log files "shitsumon*"

/** Writes sample messages @p first .. @p last as a CP932 log file in @p f's folder. */
QString writeLog(CBBSFixture &f, const QString &name, int first, int last)
{
    QList<BoardMessage> messages;
    for (int n = last; n >= first; --n)
        messages.append(sampleMessage(n));
    const QString path = f.dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(LogFormat::toCp932(LogFormat::log(0, messages))) < 0)
        return {};
    return path;
}

/** (text, row) of every InfoChanged, all of which ask for a log line. */
QList<std::pair<QString, int>> infos(const QSignalSpy &spy)
{
    QList<std::pair<QString, int>> out;
    for (const QList<QVariant> &call : spy) {
        if (!call.at(2).toBool())
            return {};
        out.append({call.at(0).toString(), call.at(1).toInt()});
    }
    return out;
}

/** Installs a scripted prompter for one test. */
struct ScriptedAnswers
{
    ScriptedPrompter prompter;
    ScriptedAnswers() { setPrompter(&prompter); }
    ~ScriptedAnswers() { setPrompter(nullptr); }
};

} // namespace

class TestImportRun : public QObject
{
    Q_OBJECT

private slots:
    void totalsFilesAndReportsEachStep()
    {
        CBBSFixture f;
        ImportRun run(f.bbs);
        const QString a = writeLog(f, u"a.log"_s, 1, 5), b = writeLog(f, u"b.log"_s, 4, 8);
        QSignalSpy info(&run, &ImportRun::InfoChanged);
        const ImportRun::Result result = run.Run(Board, {a, b}, false);
        QCOMPARE(result.Total, 8);
        QCOMPARE(result.NotImported, 0);
        QVERIFY(!result.Cancelled);
        QCOMPARE(result.Outcome, u"8件インポートしました。"_s);
        QCOMPARE(infos(info), (QList<std::pair<QString, int>>{{a + u"のインポート中...(1/2)"_s, 1},
                                                             {b + u"のインポート中...(2/2)"_s, 1},
                                                             {u"8件インポートしました。"_s, 3}}));

        const ImportRun::Result again = run.Run(Board, {b, a}, true);
        QCOMPARE(again.Total, 0);
        QCOMPARE(again.Outcome, u"インポートできるログはありませんでした。"_s);
    }

    void unusableFilesCountAndTheRunGoesOn()
    {
        CBBSFixture f;
        ImportRun run(f.bbs);
        BoardMessage broken = sampleMessage(3);
        broken.rawEntry = u"壊れた記事"_s;
        const QString brokenPath = f.dir.filePath(u"broken.log"_s);
        QFile file(brokenPath);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(LogFormat::toCp932(LogFormat::log(0, {broken, sampleMessage(2)})));
        file.close();
        const ImportRun::Result result = run.Run(
            Board, {f.dir.filePath(u"missing.log"_s), brokenPath, writeLog(f, u"ok.log"_s, 10, 12)}, true);
        QCOMPARE(result.NotImported, 2);
        QCOMPARE(result.Total, 4);
        QCOMPARE(result.Outcome, u"4件インポートしました。"_s);
        for (const CMessage &m : f.stored(Board))
            QVERIFY(m.Read);
    }

    void cancelEndsTheRunAfterTheCurrentFile()
    {
        CBBSFixture f;
        ImportRun run(f.bbs);
        const QString a = writeLog(f, u"a.log"_s, 1, 50), b = writeLog(f, u"b.log"_s, 51, 60);
        connect(&f.bbs, &CBBS::Loaded, &f.bbs, [&] {
            if (f.bbs.SaveCount() == 7)
                f.bbs.Cancel();
        });
        f.bbs.Cancel(); // a cancel left from an earlier run does not stop this one
        QSignalSpy info(&run, &ImportRun::InfoChanged);
        const ImportRun::Result result = run.Run(Board, {a, b}, false);
        QVERIFY(result.Cancelled);
        QCOMPARE(result.Total, 7);
        QCOMPARE(result.Outcome, u"処理は中断されました。"_s);
        QCOMPARE(infos(info), (QList<std::pair<QString, int>>{{a + u"のインポート中...(1/2)"_s, 1},
                                                             {u"処理は中断されました。"_s, 3}}));
        QCOMPARE(f.stored(Board).size(), 7);
    }

    void otherBoardsLogFilesAreFoundByTheirPattern()
    {
        CBBSFixture f;
        const auto other = [&](int board, const QStringList &files) {
            const std::optional<ImportRun::OtherBoard> found = ImportRun::FindOtherBoard(*f.db, board, files);
            return found ? found->BBS_ID : 0;
        };
        QCOMPARE(other(QuestionBoard, {u"/x/zatsudan-2001.log"_s}), Board);
        QCOMPARE(other(QuestionBoard, {u"ZATSUDAN.LZH"_s}), Board);
        QCOMPARE(other(Board, {u"zatsudan-2001.log"_s}), 0); // the board's own files
        QCOMPARE(other(Board, {u"/zatsudan/old.log"_s, u"it's.log"_s, u"shitsumon#1.txt"_s}), QuestionBoard);
        QCOMPARE(other(Board, {u"x.log"_s, u"'"_s}), 0);
        QVERIFY(!f.db->LastError());
        QCOMPARE(ImportRun::FindOtherBoard(*f.db, Board, {u"shitsumon.log"_s})->BBS_Name, u"質問掲示板"_s);
    }

    void confirmationAsksByTheFileNames()
    {
        CBBSFixture f;
        ScriptedAnswers answers;
        CBBSProperty board;
        QVERIFY(board.GetProperty(QuestionBoard, *f.db));
        const QStringList plain{u"/logs/a.log"_s, u"/logs/b.lzh"_s};
        QVERIFY(ImportRun::ConfirmImport(*f.db, board, plain));
        answers.prompter.pushAnswer(Prompter::No);
        QVERIFY(!ImportRun::ConfirmImport(*f.db, board, {u"/logs/a.log"_s, u"/logs/zatsudan.log"_s}));

        const QList<ScriptedPrompter::Record> &asked = answers.prompter.records();
        QCOMPARE(asked.size(), 2);
        QCOMPARE(asked.at(0).text, u"質問掲示板に下記のファイルをインポートします。\r\nよろしいですか？"
                                   "\r\n\r\n/logs/a.log\r\n/logs/b.lzh"_s);
        QCOMPARE(asked.at(0).answer, Prompter::Yes); // the default
        QCOMPARE(asked.at(1).text, u"雑談掲示板用のログファイルと思われるファイルが指定されています。\r\n"
                                   "このまま質問掲示板に下記のファイルをインポートしてもよろしいですか？"
                                   "\r\n\r\n/logs/a.log\r\n/logs/zatsudan.log"_s);
        for (const ScriptedPrompter::Record &record : asked) {
            QCOMPARE(record.icon, Prompter::Icon::Information);
            QCOMPARE(record.buttons, (QList<Prompter::Button>{Prompter::Yes, Prompter::No}));
        }
        // The warning defaults to No.
        QVERIFY(!ImportRun::ConfirmImport(*f.db, board, {u"zatsudan.log"_s}));
    }
};

QTEST_GUILESS_MAIN(TestImportRun)
#include "tst_importrun.moc"
