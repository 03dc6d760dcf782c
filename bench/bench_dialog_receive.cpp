// bench_dialog_receive: the receive of bench_receive (400 new messages of a type-0 board, 30 per
// page, from the board simulator on loopback into an empty board) started from the main window's
// load command, so the progress dialog, the status texts and the list rows are part of it.
// Window offscreen. Prints the median of several runs as "dialog_receive_400_s: <seconds>".
#include "WindowBench.h"
#include "LogGenerator.h"
#include "app/Prompter.h"
#include "db/CookieStore.h"
#include "db/Database.h"
#include "db/mdlDatabase.h"
#include "startup/mdlMain.h"
#include "support/BoardSimulator.h"
#include "viewer/frmView.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTextStream>
#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

constexpr int Messages = 400;
constexpr int Runs = 5;
constexpr int Board = 4; // a type-0 default board, 30 messages per page without a cookie

QTextStream &err()
{
    static QTextStream stream(stderr);
    return stream;
}

/** A program folder whose log.mdb points board 4 at the simulator. */
bool prepareFolder(const QTemporaryDir &dir, const QString &url)
{
    WindowBench::useProgramFolder(dir.path());
    if (!WindowBench::writeSettings("[Option]\r\nBBS_ID=4\r\n"))
        return false;
    std::unique_ptr<Database> db = mdlDatabase::CreateLogDatabase(mdlMain::LogDatabasePath());
    return db && db->Execute(u"UPDATE BBS SET URL = '%1', MaxCount = %2 WHERE BBS_ID = %3"_s.arg(url).arg(Messages).arg(Board));
}

/** One receive through the window into a new folder; seconds, or -1 when it failed. */
double receiveOnce(BoardSimulator &sim, int simBoard)
{
    QTemporaryDir dir;
    if (!prepareFolder(dir, sim.url(simBoard)))
        return -1;
    CookieStore store(dir.filePath(u"cookies.txt"_s));
    setCookieStore(&store);
    std::unique_ptr<frmView> window = WindowBench::startWindow();
    double seconds = -1;
    if (window) {
        QApplication::processEvents();
        QElapsedTimer timer;
        timer.start();
        window->RunCommand(7);
        const double elapsed = timer.nsecsElapsed() / 1e9;
        const auto stored = gDB->OpenRecordset(u"SELECT COUNT(*) FROM Message WHERE BBS_ID = %1"_s.arg(Board));
        if (stored && stored->Value(0).toInt() == Messages)
            seconds = elapsed;
        window->close();
    }
    window.reset();
    mdlMain::ShutdownApplication();
    setCookieStore(nullptr);
    return seconds;
}

} // namespace

int main(int argc, char *argv[])
{
    WindowBench::quietOffscreen();
    QApplication app(argc, argv);
    ScriptedPrompter answers; // no question is expected; any gets its default answer
    setPrompter(&answers);
    BoardSimulator sim;
    if (!sim.listen()) {
        err() << "bench_dialog_receive: cannot listen on 127.0.0.1" << Qt::endl;
        return 1;
    }
    const int simBoard = sim.addBoard(0, u"/cgi-bin/bench.cgi"_s);
    sim.addMessages(simBoard, LogGenerator().messages(1, Messages));

    QList<double> samples;
    for (int run = 0; run < Runs; ++run) {
        const double seconds = receiveOnce(sim, simBoard);
        if (seconds < 0) {
            err() << "bench_dialog_receive: the receive failed" << Qt::endl;
            return 1;
        }
        samples << seconds;
    }
    std::sort(samples.begin(), samples.end());
    QTextStream(stdout) << "dialog_receive_400_s: " << QString::number(samples.at(Runs / 2), 'f', 3) << Qt::endl;
    setPrompter(nullptr);
    return 0;
}
