// bench_receive: receiving 400 new messages of a type-0 board, 30 per page, from the board
// simulator on loopback into an empty board. Prints the median of several runs as
// "receive_400_s: <seconds>" and the pages fetched as "receive_400_pages: <n>".
#include "LogGenerator.h"
#include "db/CookieStore.h"
#include "db/mdlDatabase.h"
#include "support/BoardSimulator.h"
#include "transfer/CBBS.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTextStream>
#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

constexpr int Messages = 400;
constexpr int Runs = 5;
constexpr int Board = 4; // a type-0 default board, 30 messages per page without a cookie

struct Sample
{
    double seconds = -1;
    int pages = 0;
};

/** One receive into a new database and cookie store. */
Sample receiveOnce(BoardSimulator &sim, int simBoard)
{
    QTemporaryDir dir;
    CookieStore store(dir.filePath(u"cookies.txt"_s));
    setCookieStore(&store);
    std::unique_ptr<Database> db = mdlDatabase::CreateLogDatabase(dir.filePath(u"log.mdb"_s));
    Sample sample;
    if (db && db->Execute(u"UPDATE BBS SET URL = '%1', MaxCount = %2 WHERE BBS_ID = %3"_s
                              .arg(sim.url(simBoard)).arg(Messages).arg(Board))) {
        CBBS bbs;
        bbs.Initialize(db.get());
        sim.clearRequests();
        QElapsedTimer timer;
        timer.start();
        const bool ok = bbs.LoadBBS(Board, true) && bbs.SaveCount() == Messages;
        if (ok)
            sample = {timer.nsecsElapsed() / 1e9, int(sim.requests().size())};
    }
    setCookieStore(nullptr);
    return sample;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    BoardSimulator sim;
    if (!sim.listen()) {
        QTextStream(stderr) << "bench_receive: cannot listen on 127.0.0.1" << Qt::endl;
        return 1;
    }
    const int simBoard = sim.addBoard(0, u"/cgi-bin/bench.cgi"_s);
    sim.addMessages(simBoard, LogGenerator().messages(1, Messages));

    QList<Sample> samples;
    for (int run = 0; run < Runs; ++run) {
        const Sample sample = receiveOnce(sim, simBoard);
        if (sample.seconds < 0) {
            QTextStream(stderr) << "bench_receive: the receive failed" << Qt::endl;
            return 1;
        }
        samples << sample;
    }
    std::sort(samples.begin(), samples.end(), [](const Sample &a, const Sample &b) { return a.seconds < b.seconds; });
    out << "receive_400_s: " << QString::number(samples.at(Runs / 2).seconds, 'f', 3) << Qt::endl;
    out << "receive_400_pages: " << samples.at(Runs / 2).pages << Qt::endl;
    return 0;
}
