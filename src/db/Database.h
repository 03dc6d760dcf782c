#pragma once

#include "db/DbError.h"
#include "db/JetSql.h"
#include "db/Recordset.h"
#include "db/Statement.h"
#include "db/TableDef.h"

#include <QHash>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <memory>
#include <optional>

class DatabaseLock;
struct sqlite3;
struct sqlite3_stmt;

/**
 * @short The open log database: one SQLite connection with the Jet dialect on top.
 *
 * Every statement passes through JetSql. Operations return false / nullopt on failure and
 * leave the error in LastError() (cleared by the next operation). The file is an ordinary
 * SQLite file (UTF-16 text, rollback journal), whole in itself between statements, so the
 * stock sqlite3 tool reads it and moving or copying the one file moves all the data. Each
 * statement outside a transaction is a synced commit (some milliseconds): run loops inside
 * a Transaction. Whether a file is a database is SQLite's answer after it took its own lock
 * and rolled back what a killed writer left: an empty file or one that is no SQLite file is
 * refused as no database (3343), a damaged one as 3049, also one whose header alone is
 * damaged (it still has a database's pages). A statement waits some seconds for
 * another connection's commit; texts, results and SQLite's memory are bounded, so a runaway
 * statement ends as an error.
 */
class Database
{
public:
    ~Database();
    Database(const Database &) = delete;
    Database &operator=(const Database &) = delete;

    /** Opens an existing file read-write: 3024 when missing, 3343 when not a database, 3049 when damaged. */
    static std::unique_ptr<Database> Open(const QString &path, DbError *error = nullptr);
    /** Creates a new, empty database file: 3204 when the file exists. */
    static std::unique_ptr<Database> Create(const QString &path, DbError *error = nullptr);
    /** Compacts the closed database @p source into the new file @p target. */
    static bool CompactDatabase(const QString &source, const QString &target, DbError *error = nullptr);
    /** @short The version of the SQLite library the program runs on ("3.40.1"). */
    static QString EngineVersion();

    void Close();
    bool IsOpen() const { return m_db != nullptr; }
    QString Path() const { return m_path; }
    const DbError &LastError() const { return m_error; }
    /** Keeps @p lock (the hold on the file's lock) until the database closes. */
    void AttachLock(std::unique_ptr<DatabaseLock> lock);
    bool HoldsLock() const { return m_lock != nullptr; }
    /** SQLite's integrity check: {"ok"} for a sound file, else up to 100 problems. */
    std::optional<QStringList> IntegrityCheck();

    /**
     * Runs an action or data-definition statement (error 3065 for a select).
     * @p parameterValues go to the statement's parameters in the order of Parameters().
     */
    [[nodiscard]] bool Execute(const QString &jetSql, const QVariantList &parameterValues = {});
    /** Rows changed by the last Execute (rows written by a make-table statement). */
    int RecordsAffected() const { return m_recordsAffected; }
    /** A snapshot of a select, union or crosstab statement (error 3219 for others). */
    std::optional<Recordset> OpenRecordset(const QString &jetSql, const QVariantList &parameterValues = {});
    /**
     * The parameters of @p jetSql: the declared ones (PARAMETERS ...;), then every name that
     * is no column of the tables the statement reads, in the order the engine meets them.
     */
    QList<JetSql::Parameter> Parameters(const QString &jetSql);
    /**
     * A prepared statement for @p jetSql, cached for the next Prepare of the same text.
     * Closing the database ends every statement it handed out.
     */
    Statement Prepare(const QString &jetSql);

    [[nodiscard]] bool CreateTable(const TableDef &def);
    /** Renames a table together with its indexes, so that a new table may reuse their names. */
    [[nodiscard]] bool RenameTable(const QString &from, const QString &to);
    /** Drops a table: 3265 when there is none. */
    [[nodiscard]] bool DeleteTable(const QString &name);
    /** All tables; system ones (SQLite's, our stored-query table) have non-zero attributes. */
    QList<TableInfo> TableDefs();
    bool TableExists(const QString &name);
    /** The fields of @p table in column order; nullopt (3265) when there is no such table. */
    std::optional<QList<FieldDef>> Fields(const QString &table);

    /** Stores a query: 3012 when a query or table of that name exists. */
    [[nodiscard]] bool CreateQueryDef(const QString &name, const QString &jetSql);
    /** Removes a stored query: 3265 when there is none. */
    [[nodiscard]] bool DeleteQueryDef(const QString &name);
    /** Names of the stored queries, sorted by name. */
    QStringList QueryDefNames();
    /** The SQL text of a stored query exactly as stored; nullopt (3265) when there is none. */
    std::optional<QString> QueryDefSQL(const QString &name);

    /** Writes a compacted copy to the new file @p targetPath (3204 when it exists). */
    [[nodiscard]] bool Compact(const QString &targetPath);

    /** Runs @p sql as SQLite reads it, without the Jet translation. */
    [[nodiscard]] bool ExecuteNative(const QString &sql) { return runNative(sql); }
    /** The rows of @p sql as SQLite reads it, without the Jet translation; nullopt on failure. */
    std::optional<Recordset> QueryNative(const QString &sql) { return queryNative(sql); }
    /** True when the full-text index of the message texts exists; Like statements then use it. */
    bool HasTextIndex();

    bool BeginTrans();
    [[nodiscard]] bool CommitTrans();
    bool Rollback();
    bool InTransaction() const;

private:
    friend class Statement;
    friend class Transaction;
    Database(sqlite3 *db, QString path);

    struct Prepared;
    bool prepareJet(const QString &jetSql, Prepared &out);
    bool expandCrosstab(QString &jetSql);
    bool bindParameters(sqlite3_stmt *stmt, const QList<JetSql::Parameter> &parameters,
                        const QVariantList &values);
    Recordset readAll(sqlite3_stmt *stmt, bool *ok);
    int countRows(const QString &table);
    bool runNative(const QString &sql);
    std::optional<Recordset> queryNative(const QString &sql, const QVariantList &values = {});
    void setError(int number, const QString &description);
    void setSqliteError(int rc);
    void clearError() { m_error = {}; }
    void recycle(sqlite3_stmt *stmt);

    sqlite3 *m_db = nullptr;
    QString m_path;
    DbError m_error;
    int m_recordsAffected = 0;
    int m_savepointDepth = 0;
    DbError m_rollbackCause; // why SQLite rolled back the open transaction itself
    QHash<QString, sqlite3_stmt *> m_cache;     // idle prepared statements by Jet text
    QHash<sqlite3_stmt *, QString> m_cacheBusy; // prepared statements handed out
    std::unique_ptr<DatabaseLock> m_lock;
    std::shared_ptr<Database *> m_self = std::make_shared<Database *>(this); // for Statement
};
