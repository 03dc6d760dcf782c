// bench_find: find next in the main window over a list of 10,000 messages with 2 KB bodies
// whose only match is in the last row. Prints
//   find_walk_10000_ms: the median of five searches, from the first row to the last.
#include "WindowBench.h"
#include "app/Prompter.h"
#include "app/mdlOption.h"
#include "db/Database.h"
#include "db/Transaction.h"
#include "startup/mdlMain.h"
#include "transfer/CBBS.h"
#include "viewer/frmView.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTextStream>
#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

constexpr int Rows = 10000;

bool fill(Database &db)
{
    CBBS cbbs;
    cbbs.Initialize(&db);
    Transaction transaction(db);
    const QString line = QString(98, u'あ') + u"\r\n"_s;
    const QString body = line.repeated(20);
    for (int id = 1; id <= Rows; ++id) {
        CMessage m;
        m.BBS_ID = 3;
        m.ID = id;
        m.Subject = u"題名"_s;
        m.PostName = u"投稿者"_s;
        m.PostDate = CMessage::WallClock(QDate(2024, 5, 1), QTime(12, 0));
        m.Body = id == Rows ? body + u"needle"_s : body;
        if (cbbs.SaveMessage(m) != CBBS::Saved)
            return false;
    }
    return transaction.Commit();
}

} // namespace

int main(int argc, char *argv[])
{
    WindowBench::quietOffscreen();
    QApplication app(argc, argv);
    ScriptedPrompter answers;
    setPrompter(&answers);
    QTemporaryDir home;
    std::unique_ptr<frmView> window = WindowBench::startOnNewDatabase("bench_find", home.path(), fill);
    if (!window)
        return 1;
    mdlOption::AddMax = Rows;
    window->ShowSQLResult(u"SELECT * FROM Message WHERE BBS_ID = 3 ORDER BY ID"_s, 1);
    answers.clear(); // start-up notes
    QList<double> runs;
    for (int run = 0; run < 5; ++run) {
        window->ShowMessage(1, 0, false);
        QElapsedTimer timer;
        timer.start();
        window->FindMessage(u"needle"_s, true);
        while (window->IsFinding()) // the walk goes on between turns of the event loop
            QCoreApplication::processEvents();
        runs.append(timer.nsecsElapsed() / 1e6);
    }
    std::sort(runs.begin(), runs.end());
    const bool found = answers.texts().isEmpty();
    if (found)
        QTextStream(stdout) << "find_walk_10000_ms: " << QString::number(runs.at(2), 'f', 2) << Qt::endl;
    else
        QTextStream(stderr) << "bench_find: " << answers.texts().join(u' ') << Qt::endl;
    window.reset();
    mdlMain::ShutdownApplication();
    setPrompter(nullptr);
    return found ? 0 : 1;
}
