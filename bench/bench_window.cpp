// bench_window: the main window on a large log. Uses the 1,000,000-message database that
// bench_open keeps in $TESSERA_BENCH_DIR (built here the same way when it is missing) and prints
//   window_open_1m_ms:    start-up up to the first message shown, window offscreen;
//   board_switch_ms:      selecting another board (view 0, AddMax 100);
//   thread_order_1000_ms: thread order of a 1,000-row list.
// Each figure is the median of several runs.
#include "LogGenerator.h"
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

bool insertBoard(Database &db, int boardId, int count)
{
    const LogGenerator generator{quint32(boardId)};
    QList<int> root(count + 1);
    Transaction transaction(db);
    Statement insert = db.Prepare(u"INSERT INTO Message VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, 0)"_s);
    for (int number = 1; number <= count && insert.IsValid(); ++number) {
        const BoardMessage m = generator.message(number);
        const bool reply = m.replyTo > 0 && m.replyTo < number;
        root[number] = reply ? root[m.replyTo] : number;
        const QVariant values[] = {boardId, number, number % 2 == 0, m.subject, m.homePage, m.mail,
                                   m.name, m.date, reply ? m.replyTo : 0, m.body, root[number]};
        for (int i = 0; i < 11; ++i)
            insert.Bind(i + 1, values[i]);
        if (!insert.Execute())
            return false;
        insert.Reset();
    }
    return insert.IsValid() && transaction.Commit();
}

/** The database bench_open keeps; made here when missing. */
bool ensureDatabase(const QString &folder)
{
    const QString path = folder + u"/log.mdb"_s;
    if (QFile::exists(path))
        return true;
    const QString building = folder + u"/building.mdb"_s;
    QFile::remove(building);
    err() << "bench_window: building " << path << " (once)" << Qt::endl;
    {
        std::unique_ptr<Database> db = mdlDatabase::CreateLogDatabase(building);
        if (!db)
            return false;
        const auto &boards = mdlDatabase::DefaultBoards();
        for (const auto &board : boards) {
            if (!insertBoard(*db, board.BBS_ID, Messages / int(boards.size())))
                return false;
        }
    }
    return QFile::rename(building, path);
}

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.at(values.size() / 2);
}

double milliseconds(const std::function<void()> &work)
{
    QElapsedTimer timer;
    timer.start();
    work();
    return timer.nsecsElapsed() / 1e6;
}

void print(const char *name, double ms)
{
    QTextStream(stdout) << name << ": " << QString::number(ms, 'f', 2) << Qt::endl;
}

} // namespace

int main(int argc, char *argv[])
{
    // The offscreen platform's notes on window hints would fill the benchmark's output.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &text) {
        if (type != QtDebugMsg && type != QtInfoMsg && type != QtWarningMsg)
            err() << text << Qt::endl;
    });
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ScriptedPrompter answers; // folder questions: the default answers
    setPrompter(&answers);
    QString folder = qEnvironmentVariable("TESSERA_BENCH_DIR");
    if (folder.isEmpty())
        folder = QDir::tempPath() + u"/tessera-bench"_s;
    folder += u"/open-1m-"_s + mdlDatabase::DatabaseVersion;
    QDir().mkpath(folder);
    qputenv("TESSERA_HOME", QFile::encodeName(folder));
    if (!ensureDatabase(folder)) {
        err() << "bench_window: cannot build the database" << Qt::endl;
        return 1;
    }

    std::unique_ptr<frmView> window;
    QList<double> open;
    for (int run = 0; run < 5; ++run) {
        window.reset();
        mdlMain::ShutdownApplication();
        mdlMain::StartupHooks hooks;
        hooks.showMainWindow = [&window] {
            window = std::make_unique<frmView>();
            if (window->Form_Load())
                window->show();
        };
        open.append(milliseconds([&] {
            mdlMain::StartApplication(hooks);
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
