// bench_search: body search through the full-text index on the 1,000,000-message database that
// bench_open builds (shared with it). A copy of it, with the index made anew, is kept in
// "search-1m-<version>" beside it, with the build time measured then. Prints
//   fts_build_1m_s: seconds to build the index for every message as a converted file gets it,
//     empty with every row pending, then by the window's batches of a build (measured when the copy is made)
//   fts_index_ratio: the index's pages against the stored bytes of the bodies
//   body_search_1m_ms: median of five searches of every board for a four-character word found
//     in one message of a hundred, newest first, the first AddMax (100) rows, as the body
//     search asks
//   body_search_board_1m_ms: the same on one board
//   body_search_common_1m_ms: every board, a word found in one message of four
#include "BenchFigures.h"
#include "LargeLogDatabase.h"
#include "db/Database.h"
#include "db/TextIndex.h"
#include "db/mdlDatabase.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTextStream>

using namespace Qt::StringLiterals;

namespace {

constexpr int Messages = 1000000;
constexpr int Runs = 5;
constexpr int AddMax = 100;
const QString Word = u"ね。資料"_s;         // in 10,137 messages
const QString CommonWord = u"喫茶店に"_s;   // in 245,993 messages

QTextStream &err()
{
    static QTextStream stream(stderr);
    return stream;
}

QString folderOf(const QString &name)
{
    QString folder = qEnvironmentVariable("TESSERA_BENCH_DIR");
    if (folder.isEmpty())
        folder = QDir::tempPath() + u"/tessera-bench"_s;
    folder += u'/' + name + u'-' + mdlDatabase::DatabaseVersion;
    QDir().mkpath(folder);
    return folder;
}

/** The index made empty with every row pending, then filled batch by batch. */
bool buildByBatches(Database &db)
{
    if (!TextIndex::Create(db))
        return false;
    std::optional<int> indexed = 1;
    while (indexed > 0)
        indexed = TextIndex::IndexPending(db, TextIndex::BuildBatch);
    return indexed.has_value();
}

/** The copy with a new index; its build time is written beside it. "" on failure. */
QString indexedCopy(const QString &source, const QString &folder)
{
    const QString path = folder + u"/log.mdb"_s;
    if (QFile::exists(path))
        return path;
    const QString building = folder + u"/building.mdb"_s;
    QFile::remove(building);
    err() << "bench_search: building the index in " << path << " (once)" << Qt::endl;
    {
        std::unique_ptr<Database> db = QFile::copy(source, building) ? Database::Open(building) : nullptr;
        if (!db || !TextIndex::Drop(*db))
            return {};
        bool built = false;
        const double ms = milliseconds([&] { built = buildByBatches(*db); });
        if (!built) {
            err() << "bench_search: " << db->LastError().description << Qt::endl;
            return {};
        }
        QFile figure(folder + u"/fts_build_1m_s"_s);
        if (!figure.open(QIODevice::WriteOnly) || figure.write(QByteArray::number(ms / 1000, 'f', 2)) < 0)
            return {};
    }
    return QFile::rename(building, path) ? path : QString();
}

double number(Database &db, const QString &select)
{
    const std::optional<Recordset> rs = db.OpenRecordset(select);
    return rs && !rs->IsEOF() ? rs->Value(0, 0).toDouble() : -1;
}

/** The median time of a search for the word in milliseconds; -1 when it finds nothing. */
double searchMs(Database &db, const QString &word, std::optional<int> board)
{
    QList<double> runs;
    for (int run = 0; run < Runs; ++run) {
        bool found = false;
        runs.append(milliseconds([&] {
            const std::optional<Recordset> rs = db.OpenRecordset(TextIndex::SearchStatement(word, board, AddMax));
            found = rs && rs->RecordCount() == AddMax;
        }));
        if (!found)
            return -1;
    }
    return median(runs);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QString source = LargeLogDatabase(folderOf(u"open-1m"_s), Messages, "bench_search");
    const QString folder = folderOf(u"search-1m"_s);
    const QString path = source.isEmpty() ? QString() : indexedCopy(source, folder);
    std::unique_ptr<Database> db = path.isEmpty() ? nullptr : Database::Open(path);
    if (!db) {
        err() << "bench_search: cannot build the database" << Qt::endl;
        return 1;
    }
    QFile built(folder + u"/fts_build_1m_s"_s);
    const double indexBytes = number(*db, u"SELECT sum(pgsize) FROM dbstat WHERE name Like 'MSysMessageText*'"_s);
    const double bodyBytes = number(*db, u"SELECT sum(length(CAST(Body AS BLOB))) FROM Message"_s);
    const double all = searchMs(*db, Word, std::nullopt);
    const double one = searchMs(*db, Word, 10);
    const double common = searchMs(*db, CommonWord, std::nullopt);
    if (!built.open(QIODevice::ReadOnly) || indexBytes <= 0 || bodyBytes <= 0 || all < 0 || one < 0 || common < 0) {
        err() << "bench_search: the search failed: " << db->LastError().description << Qt::endl;
        return 1;
    }
    print("fts_build_1m_s", built.readAll().toDouble());
    print("fts_index_ratio", indexBytes / bodyBytes);
    print("body_search_1m_ms", all);
    print("body_search_board_1m_ms", one);
    print("body_search_common_1m_ms", common);
    return 0;
}
