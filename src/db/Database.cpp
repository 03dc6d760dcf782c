#include "db/Database.h"

#include "db/DatabaseLock.h"
#include "db/FileHeader.h"
#include "db/JetFunctions.h"
#include "db/SqliteErrors.h"
#include "db/TableSchemaSql.h"
#include "db/SqliteValue.h"
#include "db/TextIndex.h"
#include "db/Transaction.h"

#include <QFile>
#include <QFileInfo>
#include <sqlite3.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

/** Our stored queries: a table of our own, listed as a system table. */
const QString QueryTable = u"MSysQueries"_s;
/** How long a statement waits for another connection's commit before it reports "locked". */
constexpr int BusyTimeoutMs = 10000;
/** The longest text or blob a statement may make (64 MiB bodies are UTF-16 here). */
constexpr int MaxLength = 256 * 1024 * 1024;
/** SQLite's memory for all connections of the process: past it a statement fails (no abort). */
constexpr sqlite3_int64 HardHeapLimit = sqlite3_int64(2) * 1024 * 1024 * 1024;
constexpr sqlite3_int64 SoftHeapLimit = sqlite3_int64(512) * 1024 * 1024;
/** The memory a result snapshot may take (estimated) before reading it stops with an error. */
constexpr qint64 MaxResultBytes = qint64(2) * 1024 * 1024 * 1024;

qint64 estimatedSize(const QVariant &cell)
{
    switch (cell.typeId()) {
    case QMetaType::QString: return qint64(sizeof(QVariant)) + cell.toString().size() * 2;
    case QMetaType::QByteArray: return qint64(sizeof(QVariant)) + cell.toByteArray().size();
    default: return qint64(sizeof(QVariant));
    }
}
/** Marks files made by this program (PRAGMA application_id): "TSRA". */
constexpr int ApplicationId = 0x54535241;

void execQuiet(sqlite3 *db, const char *sql)
{
    sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
}

/**
 * Settings that count from the first read on: extended codes, the wait for another
 * connection's commit, and bounds, so that a runaway statement ends as an error.
 */
void limit(sqlite3 *db)
{
    sqlite3_extended_result_codes(db, 1);
    sqlite3_busy_timeout(db, BusyTimeoutMs);
    sqlite3_limit(db, SQLITE_LIMIT_LENGTH, MaxLength);
    static const bool heapLimited = [] {
        sqlite3_hard_heap_limit64(HardHeapLimit);
        sqlite3_soft_heap_limit64(SoftHeapLimit);
        return true;
    }();
    Q_UNUSED(heapLimited);
}

/** Settings of every connection: Jet functions, journal, cache. */
void configure(sqlite3 *db)
{
    // "..." is a name, never a text that SQLite guesses (the dialect made Jet's "..." texts
    // into '...' already); defensive mode keeps statements away from the schema's storage.
    sqlite3_db_config(db, SQLITE_DBCONFIG_DQS_DML, 0, nullptr);
    sqlite3_db_config(db, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
    // A rollback journal keeps every committed change inside log.mdb itself, so copying that
    // one file copies the data, and a replaced file never meets a stale -wal of another one.
    execQuiet(db, "PRAGMA journal_mode=DELETE");
    execQuiet(db, "PRAGMA synchronous=FULL");
    execQuiet(db, "PRAGMA cache_size=-16384");
    execQuiet(db, "PRAGMA temp_store=MEMORY");
    JetFunctions::Register(db);
}

DbError sqliteOpen(const QString &path, int flags, sqlite3 **db)
{
    const int rc = sqlite3_open_v2(QFile::encodeName(path).constData(), db,
                                   flags | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc == SQLITE_OK) {
        limit(*db);
        return {};
    }
    const DbError error = SqliteErrors::FromResult(rc, *db ? QString::fromUtf8(sqlite3_errmsg(*db)) : QString());
    sqlite3_close(*db);
    *db = nullptr;
    return error;
}

bool onlySeparatorsLeft(const void *tail)
{
    // The rest of the text after one statement: blanks, ";" and comments only.
    const QString rest = QString::fromUtf16(static_cast<const char16_t *>(tail)).trimmed();
    for (qsizetype i = 0; i < rest.size(); ++i) {
        const QChar c = rest.at(i);
        if (c.isSpace() || c == u';')
            continue;
        if (rest.mid(i, 2) == u"--") {
            i = rest.indexOf(u'\n', i);
            if (i < 0)
                return true;
            continue;
        }
        if (rest.mid(i, 2) == u"/*") {
            i = rest.indexOf(u"*/"_s, i + 2);
            if (i < 0)
                return true;
            ++i;
            continue;
        }
        return false;
    }
    return true;
}

} // namespace

struct Database::Prepared
{
    sqlite3_stmt *stmt = nullptr;
    JetSql::Translation translation;
};

Database::Database(sqlite3 *db, QString path) : m_db(db), m_path(std::move(path)) {}

Database::~Database()
{
    Close();
}

std::unique_ptr<Database> Database::Open(const QString &path, DbError *error)
{
    DbError dummy;
    DbError &err = error ? *error : dummy;
    err = {};
    const QFileInfo info(path);
    if (!info.exists()) {
        err = SqliteErrors::FileError(DbError::FileNotFound, path);
        return nullptr;
    }
    if (info.isDir()) {
        err = SqliteErrors::FileError(DbError::CannotOpen, path);
        return nullptr;
    }
    sqlite3 *db = nullptr;
    err = sqliteOpen(path, SQLITE_OPEN_READWRITE, &db);
    if (err)
        return nullptr;
    std::unique_ptr<Database> database(new Database(db, path));
    if (sqlite3_db_readonly(db, "main") == 1) {
        err = SqliteErrors::FileError(DbError::CannotOpen, path);
        return nullptr;
    }
    // SQLite reads the file lazily. Reading the schema now takes SQLite's own lock, waits out
    // another connection's commit and rolls back the journal of a writer that died, so only
    // then does SQLite's answer tell whether the file is a database. A file is never judged
    // by its bytes alone: mid-commit, they are not yet consistent.
    if (!database->runNative(u"SELECT count(*) FROM sqlite_master"_s)) {
        // A refused file that still has a database's pages is a database whose header is
        // damaged: kept for repair, never taken for some other file.
        const int rc = sqlite3_extended_errcode(db) & 0xff;
        const bool damaged = rc == SQLITE_CORRUPT || (rc == SQLITE_NOTADB && FileHeader::HasDatabasePages(path));
        err = damaged                ? SqliteErrors::FileError(DbError::Damaged, path)
            : rc == SQLITE_NOTADB ? SqliteErrors::FileError(DbError::NotADatabase, path)
                                  : database->LastError();
        return nullptr;
    }
    // An empty file holds no page: SQLite would take it for a new database.
    const std::optional<Recordset> pages = database->queryNative(u"PRAGMA page_count"_s);
    if (!pages || pages->Value(0, 0).toLongLong() == 0) {
        err = SqliteErrors::FileError(DbError::NotADatabase, path);
        return nullptr;
    }
    configure(db);
    return database;
}

std::unique_ptr<Database> Database::Create(const QString &path, DbError *error)
{
    DbError dummy;
    DbError &err = error ? *error : dummy;
    err = {};
    if (QFileInfo::exists(path)) {
        err = SqliteErrors::FileError(DbError::DatabaseExists, path);
        return nullptr;
    }
    sqlite3 *db = nullptr;
    err = sqliteOpen(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, &db);
    if (err)
        return nullptr;
    std::unique_ptr<Database> database(new Database(db, path));
    configure(db);
    // UTF-16 keeps Japanese text smaller than UTF-8 and needs no conversion for QString.
    // Setting the application id writes the header at once: the new file is a database
    // from its first byte on.
    if (!database->runNative(u"PRAGMA encoding='UTF-16le'"_s)
        || !database->runNative(u"PRAGMA application_id=%1"_s.arg(ApplicationId))) {
        err = database->LastError();
        database.reset();
        QFile::remove(path);
        return nullptr;
    }
    return database;
}

QString Database::EngineVersion()
{
    return QString::fromLatin1(sqlite3_libversion());
}

bool Database::CompactDatabase(const QString &source, const QString &target, DbError *error)
{
    DbError dummy;
    DbError &err = error ? *error : dummy;
    const std::unique_ptr<Database> db = Open(source, &err);
    if (!db)
        return false;
    if (!db->Compact(target)) {
        err = db->LastError();
        return false;
    }
    return true;
}

void Database::Close()
{
    if (!m_db)
        return;
    *m_self = nullptr;
    for (sqlite3_stmt *stmt : std::as_const(m_cache))
        sqlite3_finalize(stmt);
    for (auto it = m_cacheBusy.cbegin(); it != m_cacheBusy.cend(); ++it)
        sqlite3_finalize(it.key());
    m_cache.clear();
    m_cacheBusy.clear();
    sqlite3_close_v2(m_db);
    m_db = nullptr;
    m_lock.reset();
}

void Database::AttachLock(std::unique_ptr<DatabaseLock> lock)
{
    m_lock = std::move(lock);
}

std::optional<QStringList> Database::IntegrityCheck()
{
    const std::optional<Recordset> rs = queryNative(u"PRAGMA integrity_check(100)"_s);
    if (!rs)
        return std::nullopt;
    QStringList lines;
    for (int row = 0; row < rs->RecordCount(); ++row)
        lines.append(rs->Value(row, 0).toString());
    return lines;
}

void Database::setError(int number, const QString &description)
{
    m_error = {number, description};
}

void Database::setSqliteError(int rc)
{
    m_error = SqliteErrors::FromResult(rc, m_db ? QString::fromUtf8(sqlite3_errmsg(m_db)) : QString());
    // After a full disk or an I/O error SQLite may roll back the whole transaction itself.
    if (m_savepointDepth > 0 && !InTransaction())
        m_rollbackCause = m_error;
}

bool Database::runNative(const QString &sql)
{
    clearError();
    if (!m_db) {
        setError(DbError::InvalidOperation, u"データベースが閉じています。"_s);
        return false;
    }
    sqlite3_stmt *stmt = nullptr;
    int rc = sqlite3_prepare16_v2(m_db, sql.utf16(), int(sql.size() * 2), &stmt, nullptr);
    if (rc == SQLITE_OK) {
        while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        }
        if (rc == SQLITE_DONE)
            rc = SQLITE_OK;
    }
    if (rc != SQLITE_OK)
        setSqliteError(rc);
    sqlite3_finalize(stmt);
    return rc == SQLITE_OK;
}

bool Database::HasTextIndex()
{
    // The table without its triggers would miss the rows written since they went.
    const QStringList names = TextIndex::SchemaNames();
    const std::optional<Recordset> rs = queryNative(
        u"SELECT count(*) FROM sqlite_master WHERE type IN ('table', 'trigger') AND name IN (?1, ?2, ?3, ?4, ?5, ?6)"_s,
        {names.at(0), names.at(1), names.at(2), names.at(3), names.at(4), names.at(5)});
    return rs && rs->Value(0, 0).toInt() == names.size();
}

bool Database::prepareJet(const QString &jetSql, Prepared &out)
{
    clearError();
    if (!m_db) {
        setError(DbError::InvalidOperation, u"データベースが閉じています。"_s);
        return false;
    }
    // Jet takes a name that is no column for a parameter; SQLite names them one by one.
    QString statement = jetSql;
    QStringList extra;
    for (;;) {
        out.translation = JetSql::Translate(statement, extra, HasTextIndex());
        if (out.translation.type == JetSql::Crosstab && statement == jetSql) {
            if (!expandCrosstab(statement))
                return false;
            continue;
        }
        if (statement != jetSql)
            out.translation.type = JetSql::Crosstab;
        const QString &sql = out.translation.sql;
        const void *tail = nullptr;
        const int rc = sqlite3_prepare16_v3(m_db, sql.utf16(), int(sql.size() * 2), 0, &out.stmt, &tail);
        if (rc == SQLITE_OK && !out.stmt) {
            setError(DbError::InvalidStatement, u"SQL ステートメントが正しくありません。"_s);
            return false;
        }
        if (rc == SQLITE_OK && !onlySeparatorsLeft(tail)) {
            sqlite3_finalize(std::exchange(out.stmt, nullptr));
            setError(DbError::ExtraCharacters, u"SQL ステートメントの後に文字が見つかりました。"_s);
            return false;
        }
        if (rc == SQLITE_OK)
            return true;
        const QString message = QString::fromUtf8(sqlite3_errmsg(m_db));
        const QString name = message.startsWith(u"no such column: "_s) ? SqliteErrors::AfterColon(message) : QString();
        if (name.isEmpty() || name.contains(u'.') || extra.contains(name, Qt::CaseInsensitive)) {
            setSqliteError(rc);
            return false;
        }
        extra.append(name);
    }
}

/** Rewrites a crosstab statement as a select with one column per pivot value. */
bool Database::expandCrosstab(QString &jetSql)
{
    const std::optional<JetSql::CrosstabParts> parts = JetSql::SplitCrosstab(jetSql);
    if (!parts) {
        setError(DbError::Other, u"TRANSFORM ステートメントの構文エラーです。"_s);
        return false;
    }
    QVariantList values = parts->values;
    if (values.isEmpty()) {
        const std::optional<Recordset> rs =
            OpenRecordset(u"SELECT DISTINCT %1 %2 ORDER BY 1"_s.arg(parts->pivot, parts->from));
        if (!rs)
            return false;
        for (int row = 0; row < rs->RecordCount(); ++row)
            values.append(rs->Value(row, 0));
    }
    jetSql = JetSql::ExpandCrosstab(*parts, values);
    return true;
}

QList<JetSql::Parameter> Database::Parameters(const QString &jetSql)
{
    Prepared p;
    if (!prepareJet(jetSql, p))
        return {};
    sqlite3_finalize(p.stmt);
    return p.translation.parameters;
}

Statement Database::Prepare(const QString &jetSql)
{
    if (sqlite3_stmt *stmt = m_cache.take(jetSql)) {
        clearError();
        m_cacheBusy.insert(stmt, jetSql);
        return Statement(m_self, stmt);
    }
    Prepared p;
    if (!prepareJet(jetSql, p))
        return {};
    m_cacheBusy.insert(p.stmt, jetSql);
    return Statement(m_self, p.stmt);
}

void Database::recycle(sqlite3_stmt *stmt)
{
    sqlite3_reset(stmt);
    sqlite3_clear_bindings(stmt);
    const QString text = m_cacheBusy.take(stmt);
    if (m_cache.contains(text))
        sqlite3_finalize(stmt);
    else
        m_cache.insert(text, stmt);
}

Recordset Database::readAll(sqlite3_stmt *stmt, bool *ok)
{
    const int columns = sqlite3_column_count(stmt);
    QStringList names;
    QList<std::optional<FieldType>> types;
    for (int c = 0; c < columns; ++c) {
        names.append(SqliteValue::ColumnName(stmt, c));
        types.append(SqliteValue::ColumnType(stmt, c));
    }
    QList<QVariant> cells;
    qint64 bytes = 0;
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        for (int c = 0; c < columns; ++c) {
            cells.append(SqliteValue::Read(stmt, c, types.at(c)));
            bytes += estimatedSize(cells.constLast());
        }
        if (bytes > MaxResultBytes)
            break;
    }
    *ok = rc == SQLITE_DONE;
    if (rc == SQLITE_ROW)
        setError(DbError::Other, u"結果が大きすぎるため、読み込みを中止しました。条件を付けて行を絞ってください。"_s);
    else if (!*ok)
        setSqliteError(rc);
    return Recordset(std::move(names), std::move(types), std::move(cells));
}

bool Database::bindParameters(sqlite3_stmt *stmt, const QList<JetSql::Parameter> &parameters,
                              const QVariantList &values)
{
    if (values.size() < parameters.size()) {
        setError(DbError::TooFewParameters,
                 u"パラメータが少なすぎます。%1 を指定してください。"_s.arg(parameters.size()));
        return false;
    }
    for (int i = 0; i < parameters.size(); ++i)
        SqliteValue::Bind(stmt, i + 1, JetSql::ParameterValue(parameters.at(i), values.at(i)));
    return true;
}

bool Database::Execute(const QString &jetSql, const QVariantList &parameterValues)
{
    m_recordsAffected = 0;
    Prepared p;
    if (!prepareJet(jetSql, p))
        return false;
    const std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt *)> guard(p.stmt, sqlite3_finalize);
    const JetSql::QueryType type = p.translation.type;
    if (type == JetSql::Select || type == JetSql::Union || type == JetSql::Crosstab) {
        setError(DbError::NotSelectQuery, u"選択クエリは実行できません。"_s);
        return false;
    }
    if (!bindParameters(p.stmt, p.translation.parameters, parameterValues))
        return false;
    int rc;
    while ((rc = sqlite3_step(p.stmt)) == SQLITE_ROW) {
    }
    if (rc != SQLITE_DONE) {
        setSqliteError(rc);
        return false;
    }
    if (type == JetSql::Delete || type == JetSql::Update || type == JetSql::Append)
        m_recordsAffected = sqlite3_changes(m_db);
    else if (type == JetSql::MakeTable)
        m_recordsAffected = countRows(p.translation.makeTableName);
    return true;
}

int Database::countRows(const QString &table)
{
    const std::optional<Recordset> rs = OpenRecordset(u"SELECT count(*) FROM "_s + JetSql::QuoteIdentifier(table));
    return rs ? rs->Value(0).toInt() : 0;
}

std::optional<Recordset> Database::OpenRecordset(const QString &jetSql, const QVariantList &parameterValues)
{
    Prepared p;
    if (!prepareJet(jetSql, p))
        return std::nullopt;
    const std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt *)> guard(p.stmt, sqlite3_finalize);
    const JetSql::QueryType type = p.translation.type;
    if (type != JetSql::Select && type != JetSql::Union && type != JetSql::Crosstab
        && type != JetSql::PassThrough) {
        setError(DbError::InvalidOperation, u"無効な操作です。"_s);
        return std::nullopt;
    }
    if (!bindParameters(p.stmt, p.translation.parameters, parameterValues))
        return std::nullopt;
    bool ok = false;
    Recordset rs = readAll(p.stmt, &ok);
    if (!ok)
        return std::nullopt;
    return rs;
}

bool Database::InTransaction() const
{
    return m_db && !sqlite3_get_autocommit(m_db);
}

bool Database::BeginTrans()
{
    const bool ok = m_savepointDepth == 0 ? runNative(u"BEGIN IMMEDIATE"_s)
                                          : runNative(u"SAVEPOINT sp%1"_s.arg(m_savepointDepth));
    if (ok)
        ++m_savepointDepth;
    return ok;
}

bool Database::CommitTrans()
{
    if (m_savepointDepth == 0) {
        setError(DbError::InvalidOperation, u"トランザクションが開始されていません。"_s);
        return false;
    }
    if (!InTransaction()) {
        // SQLite rolled it back after an error: nothing of it is left to commit.
        m_error = m_rollbackCause ? m_rollbackCause
                                  : DbError{DbError::Other, u"エラーのため、トランザクションは取り消されました。"_s};
        return false;
    }
    const int depth = m_savepointDepth - 1;
    const bool ok = depth == 0 ? runNative(u"COMMIT"_s) : runNative(u"RELEASE sp%1"_s.arg(depth));
    if (ok)
        --m_savepointDepth;
    return ok;
}

bool Database::Rollback()
{
    if (m_savepointDepth == 0) {
        setError(DbError::InvalidOperation, u"トランザクションが開始されていません。"_s);
        return false;
    }
    // Keeps the error that made the caller roll back.
    const DbError cause = m_error;
    const int depth = --m_savepointDepth;
    // A transaction that SQLite rolled back itself has no savepoint left to roll back to.
    const bool ok = !InTransaction()
        || (depth == 0 ? runNative(u"ROLLBACK"_s) || !InTransaction()
                       : runNative(u"ROLLBACK TO sp%1"_s.arg(depth)) && runNative(u"RELEASE sp%1"_s.arg(depth)));
    if (ok)
        m_error = cause;
    return ok;
}

bool Database::Compact(const QString &targetPath)
{
    clearError();
    if (QFileInfo::exists(targetPath)) {
        m_error = SqliteErrors::FileError(DbError::DatabaseExists, targetPath);
        return false;
    }
    Prepared p;
    if (!prepareJet(u"VACUUM INTO ?1"_s, p))
        return false;
    SqliteValue::Bind(p.stmt, 1, targetPath);
    const int rc = sqlite3_step(p.stmt);
    sqlite3_finalize(p.stmt);
    if (rc != SQLITE_DONE) {
        setSqliteError(rc);
        QFile::remove(targetPath);
        return false;
    }
    // VACUUM INTO leaves the new file unsynced; the caller replaces the old file with it next.
    QFile out(targetPath);
    if (!out.open(QIODevice::ReadWrite) || ::fsync(out.handle()) != 0) {
        m_error = SqliteErrors::FileError(DbError::CannotOpen, targetPath);
        out.close();
        QFile::remove(targetPath);
        return false;
    }
    return true;
}

namespace {

bool isSystemTable(const QString &name)
{
    return name.startsWith(u"sqlite_"_s, Qt::CaseInsensitive) || name.startsWith(u"MSys"_s, Qt::CaseInsensitive);
}

} // namespace

std::optional<Recordset> Database::queryNative(const QString &sql, const QVariantList &values)
{
    clearError();
    if (!m_db) {
        setError(DbError::InvalidOperation, u"データベースが閉じています。"_s);
        return std::nullopt;
    }
    sqlite3_stmt *stmt = nullptr;
    const int rc = sqlite3_prepare16_v2(m_db, sql.utf16(), int(sql.size() * 2), &stmt, nullptr);
    if (rc != SQLITE_OK) {
        setSqliteError(rc);
        return std::nullopt;
    }
    for (int i = 0; i < values.size(); ++i)
        SqliteValue::Bind(stmt, i + 1, values.at(i));
    bool ok = false;
    Recordset rs = readAll(stmt, &ok);
    sqlite3_finalize(stmt);
    if (!ok)
        return std::nullopt;
    return rs;
}

bool Database::CreateTable(const TableDef &def)
{
    QStringList parts;
    for (const FieldDef &field : def.fields)
        parts.append(TableSchemaSql::ColumnDefinition(field));
    QStringList indexes;
    for (const IndexDef &index : def.indexes) {
        if (index.primary)
            parts.append(u"CONSTRAINT %1 PRIMARY KEY (%2)"_s.arg(JetSql::QuoteIdentifier(index.name), TableSchemaSql::ColumnList(index.fields)));
        else
            // Index names are per database in SQLite, per table in Jet: prefix the table.
            indexes.append(u"CREATE %1INDEX %2 ON %3 (%4)"_s.arg(
                index.unique ? u"UNIQUE "_s : QString(), JetSql::QuoteIdentifier(def.name + u'_' + index.name),
                JetSql::QuoteIdentifier(def.name), TableSchemaSql::ColumnList(index.fields)));
    }
    Transaction transaction(*this);
    if (!transaction.IsActive()
        || !runNative(u"CREATE TABLE %1 (\n  %2\n)"_s.arg(JetSql::QuoteIdentifier(def.name), parts.join(u",\n  "_s))))
        return false;
    for (const QString &index : std::as_const(indexes)) {
        if (!runNative(index))
            return false;
    }
    return transaction.Commit();
}

bool Database::RenameTable(const QString &from, const QString &to)
{
    if (!TableExists(from)) {
        setError(DbError::ItemNotFound, u"テーブル '%1' が見つかりません。"_s.arg(from));
        return false;
    }
    Transaction transaction(*this);
    if (!transaction.IsActive() || !runNative(u"ALTER TABLE %1 RENAME TO %2"_s.arg(JetSql::QuoteIdentifier(from), JetSql::QuoteIdentifier(to))))
        return false;
    const std::optional<Recordset> indexes = queryNative(
        u"SELECT name, sql FROM sqlite_master WHERE type = 'index' AND tbl_name = ?1 AND sql IS NOT NULL"_s, {to});
    if (!indexes)
        return false;
    const QString prefix = from + u'_';
    for (int row = 0; row < indexes->RecordCount(); ++row) {
        const QString name = indexes->Value(row, 0).toString();
        QString sql = indexes->Value(row, 1).toString();
        if (!name.startsWith(prefix, Qt::CaseInsensitive) || !sql.contains(JetSql::QuoteIdentifier(name)))
            continue;
        sql.replace(JetSql::QuoteIdentifier(name), JetSql::QuoteIdentifier(to + u'_' + name.mid(prefix.size())));
        if (!runNative(u"DROP INDEX "_s + JetSql::QuoteIdentifier(name)) || !runNative(sql))
            return false;
    }
    return transaction.Commit();
}

bool Database::DeleteTable(const QString &name)
{
    if (!TableExists(name)) {
        setError(DbError::ItemNotFound, u"テーブル '%1' が見つかりません。"_s.arg(name));
        return false;
    }
    return runNative(u"DROP TABLE "_s + JetSql::QuoteIdentifier(name));
}

QList<TableInfo> Database::TableDefs()
{
    QList<TableInfo> tables;
    const std::optional<Recordset> rs =
        queryNative(u"SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY rowid"_s);
    for (int row = 0; rs && row < rs->RecordCount(); ++row) {
        const QString name = rs->Value(row, 0).toString();
        tables.append({name, isSystemTable(name) ? TableInfo::SystemObject : 0});
    }
    return tables;
}

bool Database::TableExists(const QString &name)
{
    const std::optional<Recordset> rs = queryNative(
        u"SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ?1 COLLATE NOCASE"_s, {name});
    return rs && rs->RecordCount() > 0;
}

std::optional<QList<FieldDef>> Database::Fields(const QString &table)
{
    const std::optional<Recordset> schema = queryNative(
        u"SELECT sql FROM sqlite_master WHERE type = 'table' AND name = ?1 COLLATE NOCASE"_s, {table});
    if (!schema)
        return std::nullopt;
    if (schema->RecordCount() == 0) {
        setError(DbError::ItemNotFound, u"テーブル '%1' が見つかりません。"_s.arg(table));
        return std::nullopt;
    }
    const QHash<QString, QString> definitions = TableSchemaSql::ColumnDefinitions(schema->Value(0, 0).toString());
    const std::optional<Recordset> columns = queryNative(u"SELECT name, type FROM pragma_table_info(?1)"_s, {table});
    if (!columns)
        return std::nullopt;
    QList<FieldDef> fields;
    for (int row = 0; row < columns->RecordCount(); ++row) {
        FieldDef field;
        field.name = columns->Value(row, 0).toString();
        field.type = FieldTypeFromDeclared(columns->Value(row, 1).toString(), &field.size);
        const QString definition = definitions.value(field.name.toLower());
        field.description = TableSchemaSql::CommentIn(definition);
        field.allowZeroLength = !definition.contains(JetSql::QuoteIdentifier(u"ZeroLength_"_s + field.name));
        fields.append(field);
    }
    return fields;
}

bool Database::CreateQueryDef(const QString &name, const QString &jetSql)
{
    if (name.trimmed().isEmpty()) {
        setError(DbError::InvalidName, u"'%1' は正しい名前ではありません。"_s.arg(name));
        return false;
    }
    if (TableExists(name) || QueryDefSQL(name)) {
        setError(DbError::ObjectExists, u"オブジェクト '%1' は既に存在します。"_s.arg(name));
        return false;
    }
    // Like Jet, refuse a statement that cannot run; data definition is checked when it runs.
    const JetSql::QueryType type = JetSql::TypeOf(jetSql);
    if (type != JetSql::DataDefinition && type != JetSql::MakeTable) {
        Prepared p;
        if (!prepareJet(jetSql, p))
            return false;
        sqlite3_finalize(p.stmt);
    }
    if (!runNative(u"CREATE TABLE IF NOT EXISTS %1 (Name TEXT NOT NULL PRIMARY KEY COLLATE NOCASE, SQL MEMO NOT NULL)"_s
                       .arg(JetSql::QuoteIdentifier(QueryTable))))
        return false;
    return queryNative(u"INSERT INTO %1 (Name, SQL) VALUES (?1, ?2)"_s.arg(JetSql::QuoteIdentifier(QueryTable)), {name, jetSql})
        .has_value();
}

bool Database::DeleteQueryDef(const QString &name)
{
    if (!QueryDefSQL(name))
        return false;
    return queryNative(u"DELETE FROM %1 WHERE Name = ?1"_s.arg(JetSql::QuoteIdentifier(QueryTable)), {name}).has_value();
}

QStringList Database::QueryDefNames()
{
    QStringList names;
    if (!TableExists(QueryTable))
        return names;
    const std::optional<Recordset> rs = queryNative(u"SELECT Name FROM %1 ORDER BY Name"_s.arg(JetSql::QuoteIdentifier(QueryTable)));
    for (int row = 0; rs && row < rs->RecordCount(); ++row)
        names.append(rs->Value(row, 0).toString());
    return names;
}

std::optional<QString> Database::QueryDefSQL(const QString &name)
{
    const std::optional<Recordset> rs =
        TableExists(QueryTable)
            ? queryNative(u"SELECT SQL FROM %1 WHERE Name = ?1"_s.arg(JetSql::QuoteIdentifier(QueryTable)), {name})
            : std::nullopt;
    if (!rs || rs->RecordCount() == 0) {
        setError(DbError::ItemNotFound, u"クエリ '%1' が見つかりません。"_s.arg(name));
        return std::nullopt;
    }
    return rs->Value(0, 0).toString();
}
