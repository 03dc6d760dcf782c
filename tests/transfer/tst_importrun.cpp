#include "CBBSFixture.h"

#include "app/Prompter.h"
#include "db/CBBSProperty.h"
#include "transfer/ImportRun.h"

#include <QFile>

using namespace Qt::StringLiterals;

namespace {

constexpr int Board = CBBSFixture::SingleBoard; // 雑談掲示板, log files "zatsudan*"
constexpr int QuestionBoard = 5;                // 質問掲示板, log files "shitsumon*"
using Infos = QList<std::pair<QString, int>>;

/** A CP932 log file of sample messages @p first .. @p last, or with @p broken entry before them. */
QString writeLog(CBBSFixture &f, const QString &name, int first, int last, bool broken = false)
{
    QList<BoardMessage> messages;
    if (broken) {
        messages.append(BoardMessage());
        messages.last().rawEntry = u"壊れた記事"_s;
    }
    for (int n = last; n >= first; --n)
        messages.append(LogFormat::sampleMessage(n));
    QFile file(f.dir.filePath(name));
    file.open(QIODevice::WriteOnly);
    file.write(LogFormat::toCp932(LogFormat::log(0, messages)));
    return file.fileName();
}

/** (text, row) of every InfoChanged; each asks for a log line. */
Infos infos(const QSignalSpy &spy)
{
    Infos out;
    for (const QList<QVariant> &call : spy)
        out.append({call.at(0).toString() + (call.at(2).toBool() ? u""_s : u" (no log)"_s), call.at(1).toInt()});
    return out;
}

} // namespace

class TestImportRun : public QObject
{
    Q_OBJECT

private slots:
    void totalsTheFilesAndGoesOnPastUnusableOnes()
    {
        CBBSFixture f;
        ImportRun run(f.bbs);
        const QString a = writeLog(f, u"a.log"_s, 1, 5), b = writeLog(f, u"b.log"_s, 4, 8, true);
        const QString missing = f.dir.filePath(u"missing.log"_s);
        QSignalSpy info(&run, &ImportRun::InfoChanged);
        const ImportRun::Result result = run.Run(Board, {a, missing, b}, true);
        QCOMPARE(result.Total, 8);
        QCOMPARE(result.NotImported, 2);
        QCOMPARE(infos(info), (Infos{{a + u"のインポート中...(1/3)"_s, 1}, {missing + u"のインポート中...(2/3)"_s, 1},
                                     {b + u"のインポート中...(3/3)"_s, 1}, {u"8件インポートしました。"_s, 3}}));
        QVERIFY(f.stored(Board).first().Read);

        const ImportRun::Result again = run.Run(Board, {a}, false);
        QCOMPARE(again.Outcome, u"インポートできるログはありませんでした。"_s);
        QCOMPARE(again.NotImported, 0);
    }

    void aCancelEndsTheRunAfterTheCurrentFile()
    {
        CBBSFixture f;
        ImportRun run(f.bbs);
        const QString a = writeLog(f, u"a.log"_s, 1, 50), b = writeLog(f, u"b.log"_s, 51, 60);
        connect(&f.bbs, &CBBS::Loaded, &f.bbs, [&] {
            if (f.bbs.SaveCount() == 7)
                f.bbs.Cancel();
        });
        f.bbs.Cancel(); // left from an earlier run: does not stop this one
        QSignalSpy info(&run, &ImportRun::InfoChanged);
        const ImportRun::Result result = run.Run(Board, {a, b}, false);
        QVERIFY(result.Cancelled);
        QCOMPARE(result.Total, 7);
        QCOMPARE(infos(info), (Infos{{a + u"のインポート中...(1/2)"_s, 1}, {u"処理は中断されました。"_s, 3}}));
    }

    void anotherBoardsFileNameAsksWithNoAsDefault()
    {
        CBBSFixture f;
        const auto other = [&](int board, const QStringList &files) {
            const auto found = ImportRun::FindOtherBoard(*f.db, board, files);
            return found ? found->BBS_ID : 0;
        };
        QCOMPARE(other(QuestionBoard, {u"/x/ZATSUDAN-2001.LZH"_s}), Board);
        QCOMPARE(other(Board, {u"zatsudan.log"_s, u"/zatsudan/it's.log"_s, u"shitsumon#1.txt"_s}), QuestionBoard);
        QCOMPARE(other(Board, {u"x.log"_s, u"'"_s}), 0);

        ScriptedPrompter answers;
        setPrompter(&answers);
        CBBSProperty board;
        QVERIFY(board.GetProperty(QuestionBoard, *f.db));
        QVERIFY(ImportRun::ConfirmImport(*f.db, board, {u"/l/a.log"_s, u"/l/b.lzh"_s}));
        QVERIFY(!ImportRun::ConfirmImport(*f.db, board, {u"/l/a.log"_s, u"/l/zatsudan.log"_s}));
        setPrompter(nullptr);
        const QList<ScriptedPrompter::Record> &asked = answers.records();
        QCOMPARE(asked.at(0).text, u"質問掲示板に下記のファイルをインポートします。\r\nよろしいですか？"
                                   "\r\n\r\n/l/a.log\r\n/l/b.lzh"_s);
        QCOMPARE(asked.at(1).text, u"雑談掲示板用のログファイルと思われるファイルが指定されています。\r\n"
                                   "このまま質問掲示板に下記のファイルをインポートしてもよろしいですか？"
                                   "\r\n\r\n/l/a.log\r\n/l/zatsudan.log"_s);
        QCOMPARE(asked.at(1).buttons, (QList<Prompter::Button>{Prompter::Yes, Prompter::No}));
    }
};

QTEST_GUILESS_MAIN(TestImportRun)
#include "tst_importrun.moc"
