// bench_window: the main window on a large log. Uses the 1,000,000-message database that
// bench_open keeps in $TESSERA_BENCH_DIR (built here the same way when it is missing) and prints
//   window_open_1m_ms:    start-up up to the first message shown, window offscreen;
//   board_switch_ms:      selecting another board (view 0, AddMax 100);
//   thread_order_1000_ms: thread order of a 1,000-row list.
// Each figure is the median of several runs.
#include "BenchFigures.h"
#include "WindowBench.h"
#include "LargeLogDatabase.h"
#include "app/Prompter.h"
#include "app/mdlOption.h"
#include "db/Transaction.h"
#include "db/mdlDatabase.h"
#include "startup/mdlMain.h"
#include "viewer/frmView.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTextStream>
#include <algorithm>
#include <functional>

using namespace Qt::StringLiterals;

namespace {

constexpr int Messages = 1000000;

QTextStream &err()
{
    static QTextStream stream(stderr);
    return stream;
}

} // namespace

int main(int argc, char *argv[])
{
    WindowBench::quietOffscreen();
    QApplication app(argc, argv);
    ScriptedPrompter answers; // folder questions: the default answers
    setPrompter(&answers);
    QString folder = qEnvironmentVariable("TESSERA_BENCH_DIR");
    if (folder.isEmpty())
        folder = QDir::tempPath() + u"/tessera-bench"_s;
    folder += u"/open-1m-"_s + mdlDatabase::DatabaseVersion;
    QDir().mkpath(folder);
    qputenv("TESSERA_HOME", QFile::encodeName(folder));
    if (LargeLogDatabase(folder, Messages, "bench_window").isEmpty()) {
        err() << "bench_window: cannot build the database" << Qt::endl;
        return 1;
    }

    std::unique_ptr<frmView> window;
    QList<double> open;
    for (int run = 0; run < 5; ++run) {
        window.reset();
        mdlMain::ShutdownApplication();
        open.append(milliseconds([&] {
            window = WindowBench::startWindow();
            QApplication::processEvents();
        }));
        if (!window || window->Lists().lsvMsgList(0).rowCount() == 0) {
            err() << "bench_window: the window showed no message" << Qt::endl;
            return 1;
        }
    }
    print("window_open_1m_ms", median(open));

    mdlOption::AddMax = 100;
    const int boards[] = {4, 5};
    QList<double> switches;
    for (int run = 0; run < 20; ++run)
        switches.append(milliseconds([&] { window->SelectBoard(boards[run % 2]); }));
    print("board_switch_ms", median(switches));

    mdlOption::AddMax = 1000;
    QList<double> threads;
    for (int run = 0; run < 5; ++run) {
        window->SelectBoard(boards[run % 2]);
        threads.append(milliseconds([&] { window->ShowThread(0); }));
    }
    print("thread_order_1000_ms", median(threads));

    window.reset();
    mdlMain::ShutdownApplication();
    setPrompter(nullptr);
    return 0;
}
