// bench_dialog_receive: the receive of bench_receive (400 new messages of a type-0 board, 30 per
// page, from the board simulator on loopback into an empty board) started from the main window's
// load command, so the progress dialog, the status texts and the list rows are part of it.
// Window offscreen. Prints the median of several runs as "dialog_receive_400_s: <seconds>", and
// as "dialog_receive_ratio: <r>" the median of its ratio to the receive without a window, the
// two taken in turn in this process so that a machine whose speed drifts does not move it.
#include "ReceiveBench.h"
#include "WindowBench.h"
#include "app/Prompter.h"
#include "cookies/CookieStore.h"
#include "db/Database.h"
#include "db/mdlDatabase.h"
#include "startup/mdlMain.h"
#include "support/BoardSimulator.h"
#include "viewer/frmView.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTextStream>

using namespace Qt::StringLiterals;

namespace {

constexpr int Runs = 7;
using ReceiveBench::Board;
using ReceiveBench::Messages;

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
    return db && db->Execute(ReceiveBench::pointBoardAt(url));
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
        QEventLoop loop; // the run advances on this loop until the window is idle again
        QObject::connect(window.get(), &frmView::RunFinished, &loop, &QEventLoop::quit);
        window->RunCommand(frmView::LoadCommand);
        if (window->IsRunning())
            loop.exec();
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
    const int simBoard = ReceiveBench::addBoard(sim);

    QList<double> samples;
    QList<double> ratios;
    for (int run = 0; run < Runs; ++run) {
        const double headless = ReceiveBench::receiveHeadless(sim, simBoard).seconds;
        const double seconds = receiveOnce(sim, simBoard);
        if (headless <= 0 || seconds < 0) {
            err() << "bench_dialog_receive: the receive failed" << Qt::endl;
            return 1;
        }
        samples << seconds;
        ratios << seconds / headless;
    }
    QTextStream out(stdout);
    out << "dialog_receive_400_s: " << QString::number(median(samples), 'f', 3) << Qt::endl;
    out << "dialog_receive_ratio: " << QString::number(median(ratios), 'f', 2) << Qt::endl;
    setPrompter(nullptr);
    return 0;
}
