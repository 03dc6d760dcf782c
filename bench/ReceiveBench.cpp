#include "ReceiveBench.h"

#include "LogGenerator.h"
#include "cookies/CookieStore.h"
#include "db/mdlDatabase.h"
#include "support/BoardSimulator.h"
#include "transfer/CBBS.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <algorithm>
#include <atomic>
#include <dlfcn.h>

using namespace Qt::StringLiterals;

namespace {

std::atomic<int> syncCalls{0};

using SyncFunction = int (*)(int);

int callNext(const char *name, int fd)
{
    ++syncCalls;
    const auto next = reinterpret_cast<SyncFunction>(dlsym(RTLD_NEXT, name));
    return next ? next(fd) : 0;
}

} // namespace

// Every fsync and fdatasync of the process (SQLite's commits among them) passes through these,
// which the executable puts before the C library's, and is counted.
extern "C" int fsync(int fd)
{
    return callNext("fsync", fd);
}

extern "C" int fdatasync(int fd)
{
    return callNext("fdatasync", fd);
}

namespace ReceiveBench {

int addBoard(BoardSimulator &sim)
{
    const int simBoard = sim.addBoard(0, u"/cgi-bin/bench.cgi"_s);
    sim.addMessages(simBoard, LogGenerator().messages(1, Messages));
    return simBoard;
}

QString pointBoardAt(const QString &url)
{
    return u"UPDATE BBS SET URL = '%1', MaxCount = %2 WHERE BBS_ID = %3"_s.arg(url).arg(Messages).arg(Board);
}

Sample receiveHeadless(BoardSimulator &sim, int simBoard)
{
    QTemporaryDir dir;
    CookieStore store(dir.filePath(u"cookies.txt"_s));
    setCookieStore(&store);
    std::unique_ptr<Database> db = mdlDatabase::CreateLogDatabase(dir.filePath(u"log.mdb"_s));
    Sample sample;
    if (db && db->Execute(pointBoardAt(sim.url(simBoard)))) {
        CBBS bbs;
        bbs.Initialize(db.get());
        sim.clearRequests();
        QElapsedTimer timer;
        timer.start();
        const int syncsBefore = syncCalls;
        bool received = false;
        QEventLoop loop; // the receive advances on this loop until it reports its end
        QObject::connect(&bbs, &CBBS::LoadFinished, &loop, [&](bool result) {
            received = result;
            loop.quit();
        });
        if (bbs.LoadBBS(Board, true))
            loop.exec();
        if (received && bbs.SaveCount() == Messages)
            sample = {timer.nsecsElapsed() / 1e9, int(sim.requests().size()), syncCalls - syncsBefore};
    }
    setCookieStore(nullptr);
    return sample;
}

} // namespace ReceiveBench
