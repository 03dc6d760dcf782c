// bench_navigation: next-unread on a long list. A board of 10,000 messages whose unread ones
// are the last rows of the list (the oldest); prints
//   next_unread_10000_ms: one next-unread step from the first row (median of 21 steps).
#include "WindowBench.h"
#include "app/Prompter.h"
#include "db/Database.h"
#include "db/Transaction.h"
#include "viewer/frmView.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTextStream>
#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

constexpr int Messages = 10000;
constexpr int Unread = 10;

bool fillBoard(Database &db)
{
    Transaction transaction(db);
    Statement insert = db.Prepare(u"INSERT INTO Message VALUES(3, ?1, ?2, ?3, '', '', '名前', '2024-05-01 12:00:00', 0, '本文', ?1, 0)"_s);
    for (int id = 1; id <= Messages && insert.IsValid(); ++id) {
        insert.Bind(1, id);
        insert.Bind(2, id > Unread);
        insert.Bind(3, u"題名%1"_s.arg(id));
        if (!insert.Execute())
            return false;
        insert.Reset();
    }
    return insert.IsValid() && db.Execute(u"UPDATE BBS SET ListOrder = -1 WHERE BBS_ID <> 3"_s) && transaction.Commit();
}

} // namespace

int main(int argc, char *argv[])
{
    WindowBench::quietOffscreen();
    QApplication app(argc, argv);
    ScriptedPrompter answers;
    setPrompter(&answers);
    QTemporaryDir home;
    std::unique_ptr<frmView> window = WindowBench::startOnNewDatabase(
        "bench_navigation", home.path(), fillBoard, "[Option]\r\nBBS_ID=3\r\nAddMax=1000\r\nReadTiming=60000\r\n");
    if (!window)
        return 1;
    answers.pushAnswer(Prompter::Yes); // all rows, beyond AddMax
    window->ShowView(AllView);
    if (window->Lists().lsvMsgList(0).rowCount() != Messages) {
        QTextStream(stderr) << "bench_navigation: the list was not filled" << Qt::endl;
        window->close();
        return 1;
    }
    QApplication::processEvents();
    QList<double> steps;
    for (int run = 0; run < 21; ++run) {
        window->ShowMessage(0, 0, false);
        QElapsedTimer timer;
        timer.start();
        window->MoveNextMessage(BoardList, MoveMode::Unread, true);
        steps.append(timer.nsecsElapsed() / 1e6);
        if (window->Lists().lsvMsgList(0).CurrentRow() != Messages - Unread) {
            QTextStream(stderr) << "bench_navigation: the step did not reach the first unread row" << Qt::endl;
            window->close();
            return 1;
        }
    }
    std::sort(steps.begin(), steps.end());
    QTextStream(stdout) << "next_unread_10000_ms: " << QString::number(steps.at(steps.size() / 2), 'f', 2) << Qt::endl;
    window->close();
    return 0;
}
