// bench_export: log export speed and memory. Writes the 100,000 type-0 messages of a board
// (a database made once by importing a generated log) to a log file, in a child process whose
// peak resident memory is read at its end. Prints the median of three runs:
//   export_100k_s, export_peak_rss_mb
// The generated log and database live in $TESSERA_BENCH_DIR (default: the temporary folder +
// "/tessera-bench") and are kept between runs.
// bench_export --child DB FILE exports board 4 of DB to FILE and prints
// "<seconds> <written> <peak KiB>" (the parent's helper mode).
#include "BenchFigures.h"
#include "LogGenerator.h"
#include "db/BoardType.h"
#include "db/mdlDatabase.h"
#include "transfer/CBBS.h"
#include "transfer/ExportRun.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QSaveFile>
#include <QTemporaryDir>
#include <QTextStream>
#include <algorithm>
#include <sys/resource.h>

using namespace Qt::StringLiterals;

namespace {

constexpr int Messages = 100000;
constexpr int Runs = 3;
constexpr int Board = 4; // a type-0 default board

int fail(const QString &text)
{
    QTextStream(stderr) << "bench_export: " << text << Qt::endl;
    return 1;
}

long peakRssKiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

std::unique_ptr<Database> open(const QString &path)
{
    DbError error;
    std::unique_ptr<Database> db = Database::Open(path, &error);
    if (!db)
        fail(error.description);
    return db;
}

int runChild(const QString &dbPath, const QString &outPath)
{
    const std::unique_ptr<Database> db = open(dbPath);
    if (!db)
        return 1;
    QElapsedTimer timer;
    timer.start();
    ExportRun run;
    ExportRun::Result result;
    QEventLoop loop; // the export advances on this loop until it reports its end
    QObject::connect(&run, &ExportRun::Finished, &loop, [&](const ExportRun::Result &outcome) {
        result = outcome;
        loop.quit();
    });
    if (run.StartBoard(*db, Board, SingleBoard, outPath))
        loop.exec();
    QTextStream(stdout) << timer.nsecsElapsed() / 1e9 << ' ' << result.Written << ' ' << peakRssKiB() << Qt::endl;
    return result.Written == Messages ? 0 : fail(result.Outcome);
}

/** A log database whose board 4 holds the generated messages, made once by an import. */
bool makeDatabase(const QString &folder, const QString &dbPath)
{
    const QString logPath = folder + u"/export-100k-type0.log"_s;
    QSaveFile log(logPath);
    if (!log.open(QIODevice::WriteOnly) || !LogGenerator().write(log, 0, 1, Messages) || !log.commit())
        return false;
    const QString building = dbPath + u".new"_s;
    QFile::remove(building);
    std::unique_ptr<Database> db = mdlDatabase::CreateLogDatabase(building);
    if (!db)
        return false;
    CBBS bbs;
    bbs.Initialize(db.get());
    QEventLoop loop;
    QObject::connect(&bbs, &CBBS::ImportFinished, &loop, &QEventLoop::quit);
    if (bbs.ImportLog(Board, logPath, false))
        loop.exec();
    const bool stored = bbs.SaveCount() == Messages;
    db.reset();
    QFile::remove(logPath);
    return stored && QFile::rename(building, dbPath);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 4 && args.at(1) == u"--child"_s)
        return runChild(args.at(2), args.at(3));

    QString folder = qEnvironmentVariable("TESSERA_BENCH_DIR");
    if (folder.isEmpty())
        folder = QDir::tempPath() + u"/tessera-bench"_s;
    QDir().mkpath(folder);
    const QString dbPath = folder + u"/export-100k.mdb"_s;
    if (!QFile::exists(dbPath) && !makeDatabase(folder, dbPath))
        return fail(u"cannot make the database of 100,000 messages"_s);

    QList<double> seconds;
    long peakKiB = 0;
    for (int run = 0; run < Runs; ++run) {
        QTemporaryDir dir;
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(app.applicationFilePath(), {u"--child"_s, dbPath, dir.filePath(u"out.log"_s)});
        if (!child.waitForFinished(600000) || child.exitCode() != 0)
            return fail(u"the export failed"_s);
        double time = 0;
        int written = 0;
        long kib = 0;
        QTextStream(child.readAllStandardOutput()) >> time >> written >> kib;
        seconds.append(time);
        peakKiB = std::max(peakKiB, kib);
    }
    QTextStream out(stdout);
    out << "export_100k_s: " << QString::number(median(seconds), 'f', 3) << Qt::endl;
    out << "export_peak_rss_mb: " << QString::number(peakKiB / 1024.0, 'f', 3) << Qt::endl;
    return 0;
}
