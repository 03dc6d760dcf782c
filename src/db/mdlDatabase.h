#pragma once

#include "db/Database.h"
#include "db/TableDef.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <memory>

/**
 * @short The log database file "log.mdb": its five tables, their default rows and versions,
 * opening with creation and conversion, and compaction.
 *
 * Every message of the open sequence goes through prompter(), titled with GetAppTitle().
 */
namespace mdlDatabase {

/** Current table versions; the database's version is the greatest of them. */
inline const QString BBSVersion = QStringLiteral("Ver.0.61");
inline const QString MessageVersion = QStringLiteral("Ver.0.13");
inline const QString MarkVersion = QStringLiteral("Ver.0.40");
inline const QString NGRuleVersion = QStringLiteral("Ver.0.62");
inline const QString DatabaseVersion = NGRuleVersion;
/** The version of a file without a readable version. */
inline const QString NoVersion = QStringLiteral("Ver.0.00");

/** @short One default board: a row of table BBS in column order. */
struct DefaultBoard
{
    int BBS_ID;
    QString BBS_Name;
    QString ShortName;
    QString URL;
    QString HowtouseURL;
    int MaxCount;
    int BBSType;
    bool VisitLoad;
    int ListOrder;
    QString DefaultLogFile;
    QString Identifier;
};

/** The sixteen boards of a new database, boards 3 to 18 in insertion order. */
const QList<DefaultBoard> &DefaultBoards();
/** The script address of board 3, written again when an older BBS table is converted. */
QString DefaultBoard3URL();
/** The rules page that the default boards share, written again by the BBS conversion. */
QString SharedHowtouseURL();
/** The home page of the site that hosts the default boards. */
QString BoardSiteURL();

/**
 * Opens the log database at @p path, creating it when it is missing or no database (the
 * unreadable file is kept under the extension "bak"; a damaged database, also one whose
 * header alone is damaged, stays in place and the message names the repair) and converting
 * an older file after asking. Shows every message itself; nullptr means the program must end.
 *
 * The database holds the file's lock (DatabaseLock) shared while it is open; opening waits
 * while another process compacts or replaces the file. Setting a file aside and converting
 * happen only while no other process has it open; temporary files left by an interrupted
 * compaction are removed then too.
 */
std::unique_ptr<Database> OpenLogDatabase(const QString &path);
/**
 * Makes the full-text index agree with option UseTextIndex: drops its tables and triggers when
 * the option is off; makes it when on and missing, empty with every row pending (TextIndex::
 * Create). Only while no other process has the file open; otherwise the next opening does it.
 * OpenLogDatabase does this too. True when it made the index.
 */
bool ApplyTextIndexOption(Database &db);
/**
 * Creates a new log database at @p path with its tables, default rows and versions.
 * The file appears only when complete; an existing file is never overwritten (3204).
 * Shows nothing; the reason of a failure goes to @p error.
 */
std::unique_ptr<Database> CreateLogDatabase(const QString &path, DbError *error = nullptr);
/**
 * Compacts the database into its own file and reopens it through OpenLogDatabase. The old
 * file is replaced only by a complete compacted copy. While another process has the file
 * open nothing is done: the message says so and @p db stays open. On other failures @p db
 * is empty and the data stays in the file under its own name.
 */
[[nodiscard]] bool CompactLogDatabase(std::unique_ptr<Database> &db);
/**
 * The version of @p table, or of the whole database when @p table is empty: "Ver.0.00"
 * when table Version is missing, has no such row or holds no version text.
 */
QString GetTableVersion(Database &db, const QString &table = {});

/** Appends a field to @p def; size and zero-length setting count for Text fields only. */
void AddTableField(TableDef &def, const QString &name, FieldType type, int size = 0,
                   bool allowZeroLength = false);

// Steps of creation and conversion; each runs in one transaction and reports success.
[[nodiscard]] bool CreateBBSTable(Database &db);
[[nodiscard]] bool CreateMessageTable(Database &db);
[[nodiscard]] bool CreateMarkTable(Database &db);
[[nodiscard]] bool CreateNGRuleTable(Database &db);
/** Rewrites table Version with @p version for every table, or the current versions when empty. */
[[nodiscard]] bool WriteVersionTable(Database &db, const QString &version = {});
bool ConvertVersionTable(Database &db);
bool ConvertBBSTable(Database &db);
bool ConvertMessageTable(Database &db);
bool ConvertMarkTable(Database &db);
bool ConvertNGRuleTable(Database &db);

} // namespace mdlDatabase

namespace mdlDatabase {

/** @short What checking or repairing the log database found: success and the lines to show. */
struct MaintenanceReport
{
    bool ok = false;
    QStringList lines;
};

/**
 * Runs SQLite's integrity check on the log database at @p path without creating, converting
 * or setting aside anything. ok when the file is sound.
 */
MaintenanceReport CheckLogDatabase(const QString &path);
/**
 * Recovers what SQLite can read of a damaged log database into a new file (the sqlite3
 * tool's ".recover"), which then takes the name @p path; the damaged file stays beside it
 * under a name with "_damaged_" and the time, which the report gives in full. A damaged
 * header is mended in a copy first. Only while no other process has the file open and while
 * the disk has room for about three times the file. Without the sqlite3 tool nothing
 * changes and the report says what to install.
 */
MaintenanceReport RepairLogDatabase(const QString &path);

} // namespace mdlDatabase
