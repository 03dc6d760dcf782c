// bench_import: log import speed and memory. Imports a generated CP932 log of 100,000 type-0
// messages into an empty log database, then the same file again (all duplicates), each in a
// child process whose peak resident memory is read at its end; and, in turn with each import,
// times the stock sqlite3 tool loading the same rows from CSV into an identical empty database.
// Prints the median of three runs:
//   import_100k_s, reimport_100k_s, import_peak_rss_mb, sqlite3_csv_100k_s,
//   import_vs_sqlite3_ratio (the median of the three pairs' ratios),
//   pending_index_100k_s (indexing the imported rows for the full-text index afterwards, in
//   the batches the window and tessera-cli run)
// and, once, the same log imported into ten boards of one database in turn:
//   import_1m_s, import_1m_vs_100k
// Without sqlite3 on the PATH the two sqlite3 figures are left out, with a line saying so.
// The generated files live in $TESSERA_BENCH_DIR (default: the temporary folder +
// "/tessera-bench") and are kept between runs.
// bench_import --child DB FILE [BOARD...] imports FILE into each board (default 4) of DB, made
// when missing, and prints "<seconds> <saved> <peak KiB> <indexing seconds>" (the parent's
// helper mode); into the default board only, it then indexes the rows it left pending.
#include "BenchFigures.h"
#include "LogGenerator.h"
#include "db/JetSql.h"
#include "db/TextIndex.h"
#include "db/mdlDatabase.h"
#include "transfer/CBBS.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextStream>
#include <algorithm>
#include <functional>
#include <sys/resource.h>

using namespace Qt::StringLiterals;

namespace {

constexpr int Messages = 100000;
constexpr int Runs = 3;
constexpr int Board = 4; // a type-0 default board
/** Ten type-0 default boards, for the import of a million messages. */
const QStringList TenBoards = {u"4"_s, u"5"_s, u"6"_s, u"7"_s, u"8"_s, u"9"_s, u"10"_s, u"11"_s, u"12"_s, u"15"_s};

QTextStream &err()
{
    static QTextStream stream(stderr);
    return stream;
}

int fail(const QString &text)
{
    err() << "bench_import: " << text << Qt::endl;
    return 1;
}

/** Peak resident memory of this process in KiB. */
long peakRssKiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

/** Imports @p logPath into @p board of @p bbs; false unless it ended cleanly. */
bool importInto(CBBS &bbs, int board, const QString &logPath)
{
    bool clean = false;
    QEventLoop loop; // the import advances on this loop until it reports its end
    QObject::connect(&bbs, &CBBS::ImportFinished, &loop, [&](bool result) {
        clean = result;
        loop.quit();
    });
    if (bbs.ImportLog(board, logPath, false))
        loop.exec();
    return clean;
}

int runChild(const QString &dbPath, const QString &logPath, QStringList boards)
{
    DbError error;
    std::unique_ptr<Database> db = QFile::exists(dbPath) ? Database::Open(dbPath, &error)
                                                         : mdlDatabase::CreateLogDatabase(dbPath);
    if (!db)
        return fail(u"cannot open or create "_s + dbPath + u' ' + error.description);
    CBBS bbs;
    bbs.Initialize(db.get());
    const bool indexAfter = boards.isEmpty();
    if (boards.isEmpty())
        boards.append(QString::number(Board));
    QElapsedTimer timer;
    timer.start();
    int saved = 0;
    for (const QString &board : boards) {
        if (!importInto(bbs, board.toInt(), logPath))
            return fail(u"the import reported broken entries or an unreadable file"_s);
        saved += bbs.SaveCount();
    }
    const double seconds = timer.nsecsElapsed() / 1e9;
    timer.restart();
    for (std::optional<int> indexed = int(indexAfter); indexed.value_or(0) > 0;)
        indexed = TextIndex::IndexPending(*db, TextIndex::PendingBatch);
    const double indexing = timer.nsecsElapsed() / 1e9;
    QTextStream(stdout) << seconds << ' ' << saved << ' ' << peakRssKiB() << ' ' << indexing << Qt::endl;
    return 0;
}

/** One CSV field: quoted, with quotes doubled. */
QString csvField(const QString &text)
{
    QString quoted = text;
    quoted.replace(u'"', u"\"\""_s);
    return u'"' + quoted + u'"';
}

/** The rows the import stores, as CSV in the column order of table Message. */
bool writeCsv(const QString &path)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const LogGenerator generator;
    for (int number = 1; number <= Messages; ++number) {
        const BoardMessage m = generator.message(number);
        QDateTime minute = m.date;
        minute.setTime(QTime(minute.time().hour(), minute.time().minute()));
        const QStringList row{QString::number(Board), QString::number(number), u"0"_s,
                              csvField(m.subject), csvField(m.homePage), csvField(m.mail),
                              csvField(m.name), JetSql::StoredDate(minute),
                              QString::number(m.replyTo), csvField(m.body), u"0"_s, u"0"_s};
        file.write(row.join(u',').toUtf8() + '\n');
    }
    return file.commit();
}

/** @p name in the bench folder, made by @p make when missing; "" when it cannot be made. */
QString cached(const QString &folder, const QString &name, const std::function<bool(const QString &)> &make)
{
    const QString path = folder + u'/' + name;
    if (QFile::exists(path))
        return path;
    err() << "bench_import: writing " << path << " (once)" << Qt::endl;
    return make(path) ? path : QString();
}

bool writeLog(const QString &path)
{
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && LogGenerator().write(file, 0, 1, Messages) && file.commit();
}

struct ChildResult
{
    double seconds = -1;
    int saved = -1;
    long peakKiB = 0;
    double indexingSeconds = -1;
};

ChildResult importInChild(const QString &dbPath, const QString &logPath, const QStringList &boards = {})
{
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(), QStringList{u"--child"_s, dbPath, logPath} + boards);
    ChildResult result;
    if (!child.waitForFinished(600000) || child.exitCode() != 0)
        return result;
    QTextStream(child.readAllStandardOutput()) >> result.seconds >> result.saved >> result.peakKiB
                                                >> result.indexingSeconds;
    return result;
}

double sqlite3Load(const QString &dbPath, const QString &csvPath)
{
    QElapsedTimer timer;
    timer.start();
    QProcess sqlite3;
    sqlite3.setProcessChannelMode(QProcess::ForwardedChannels);
    sqlite3.start(u"sqlite3"_s, {dbPath, u".import --csv '%1' Message"_s.arg(csvPath)});
    if (!sqlite3.waitForFinished(600000) || sqlite3.exitCode() != 0)
        return -1;
    return timer.nsecsElapsed() / 1e9;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() >= 4 && args.at(1) == u"--child"_s)
        return runChild(args.at(2), args.at(3), args.mid(4));

    QString folder = qEnvironmentVariable("TESSERA_BENCH_DIR");
    if (folder.isEmpty())
        folder = QDir::tempPath() + u"/tessera-bench"_s;
    QDir().mkpath(folder);
    const QString logPath = cached(folder, u"import-100k-type0.log"_s, writeLog);
    const QString csvPath = cached(folder, u"import-100k-type0.csv"_s, writeCsv);
    if (logPath.isEmpty() || csvPath.isEmpty())
        return fail(u"cannot write the data files"_s);
    const bool withSqlite3 = !QStandardPaths::findExecutable(u"sqlite3"_s).isEmpty();
    if (!withSqlite3)
        err() << "bench_import: sqlite3 is not installed: sqlite3_csv_100k_s and import_vs_sqlite3_ratio are skipped"
              << Qt::endl;

    QList<double> imports, reimports, indexings, csvLoads, ratios;
    long peakKiB = 0;
    for (int run = 0; run < Runs; ++run) {
        QTemporaryDir dir;
        const QString dbPath = dir.filePath(u"log.mdb"_s);
        const QString csvDbPath = dir.filePath(u"csv.mdb"_s);
        if (!mdlDatabase::CreateLogDatabase(dbPath) || !mdlDatabase::CreateLogDatabase(csvDbPath))
            return fail(u"cannot create a database"_s);
        const ChildResult first = importInChild(dbPath, logPath);
        const ChildResult again = importInChild(dbPath, logPath);
        if (first.saved != Messages || again.saved != 0)
            return fail(u"the import stored %1 and then %2 messages"_s.arg(first.saved).arg(again.saved));
        imports.append(first.seconds);
        reimports.append(again.seconds);
        indexings.append(first.indexingSeconds);
        peakKiB = std::max(peakKiB, first.peakKiB);
        if (!withSqlite3)
            continue;
        const double csv = sqlite3Load(csvDbPath, csvPath);
        if (csv < 0)
            return fail(u"sqlite3 could not load the CSV file"_s);
        csvLoads.append(csv);
        ratios.append(first.seconds / csv);
    }

    QTemporaryDir dir;
    const ChildResult million = importInChild(dir.filePath(u"log.mdb"_s), logPath, TenBoards);
    if (million.saved != Messages * TenBoards.size())
        return fail(u"the import into ten boards stored %1 messages"_s.arg(million.saved));

    QTextStream out(stdout);
    const auto figure = [&out](const char *name, double value) {
        out << name << ": " << QString::number(value, 'f', 3) << Qt::endl;
    };
    figure("import_100k_s", median(imports));
    figure("reimport_100k_s", median(reimports));
    figure("pending_index_100k_s", median(indexings));
    figure("import_peak_rss_mb", peakKiB / 1024.0);
    if (withSqlite3) {
        figure("sqlite3_csv_100k_s", median(csvLoads));
        figure("import_vs_sqlite3_ratio", median(ratios));
    }
    figure("import_1m_s", million.seconds);
    figure("import_1m_vs_100k", million.seconds / median(imports));
    return 0;
}
