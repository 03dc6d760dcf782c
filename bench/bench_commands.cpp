// bench_commands: message commands of the main window on a full list. Prints
//   delete_1000_ms: deleting 1,000 selected rows (half of them unread) of a board's list,
//                   answer Yes included (median of 5 runs, each on a fresh 1,000-row list).
#include "WindowBench.h"
#include "app/Prompter.h"
#include "db/Database.h"
#include "db/Transaction.h"
#include "startup/mdlMain.h"
#include "viewer/frmView.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QMenu>
#include <QTemporaryDir>
#include <QTextStream>
#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

constexpr int Rows = 1000;
constexpr int Runs = 5;

/** Messages @p first to @p first + Rows - 1 of board 3; every other one unread. */
bool addMessages(Database &db, int first)
{
    Transaction transaction(db);
    Statement insert = db.Prepare(u"INSERT INTO Message VALUES(3, ?1, ?2, ?3, '', '', '名前', '2024-05-01 12:00:00', 0, '本文', ?1, 0)"_s);
    for (int id = first; id < first + Rows && insert.IsValid(); ++id) {
        insert.Bind(1, id);
        insert.Bind(2, id % 2 == 0);
        insert.Bind(3, u"題名%1"_s.arg(id));
        if (!insert.Execute())
            return false;
        insert.Reset();
    }
    return insert.IsValid() && transaction.Commit();
}

int fail(frmView *window, const char *text)
{
    QTextStream(stderr) << "bench_commands: " << text << Qt::endl;
    if (window)
        window->close();
    return 1;
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
        "bench_commands", home.path(), [](Database &db) { return db.Execute(u"UPDATE BBS SET ListOrder = -1 WHERE BBS_ID <> 3"_s); },
        "[Option]\r\nBBS_ID=3\r\nAddMax=1000\r\nReadTiming=60000\r\n");
    if (!window)
        return 1;
    auto *mnuMsg = window->findChild<QMenu *>(u"mnuMsg"_s);
    auto *selectAll = window->findChild<QAction *>(u"mnuMsgAllSelect"_s);
    auto *remove = window->findChild<QAction *>(u"mnuMsgDelete"_s);
    QList<double> times;
    for (int run = 0; run < Runs; ++run) {
        if (!addMessages(*gDB, 1 + run * Rows))
            return fail(window.get(), "cannot add the messages");
        window->ShowView(LatestView);
        if (window->Lists().lsvMsgList(0).rowCount() != Rows)
            return fail(window.get(), "the list was not filled");
        QApplication::processEvents();
        selectAll->trigger();
        emit mnuMsg->aboutToShow();
        answers.pushAnswer(Prompter::Yes);
        QElapsedTimer timer;
        timer.start();
        remove->trigger();
        times.append(timer.nsecsElapsed() / 1e6);
        if (window->Lists().lsvMsgList(0).rowCount() != 0)
            return fail(window.get(), "the rows were not deleted");
    }
    std::sort(times.begin(), times.end());
    QTextStream(stdout) << "delete_1000_ms: " << QString::number(times.at(times.size() / 2), 'f', 2) << Qt::endl;
    window->close();
    return 0;
}
