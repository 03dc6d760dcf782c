#pragma once

#include "db/DbError.h"
#include "db/Recordset.h"
#include "db/Statement.h"
#include "transfer/CMessage.h"

#include <QObject>
#include <QString>
#include <QStringView>
#include <array>
#include <optional>

class Database;

/**
 * @short The transfer control: analyses log text, stores messages, links threads and runs
 * free SQL over the log database. No widgets; it reports through its signals.
 *
 * Members by file: analysis, storage, threads and free SQL in CBBS.cpp; board requests and
 * HTTP transfer in CBBSLoad.cpp; log import in CBBSImport.cpp.
 *
 * A run (a load or an import) calls ResetCounters() and InitCancel() before it analyses its
 * texts; AnalyseLog() adds to the counters and stops at the next entry after Cancel().
 */
class CBBS : public QObject
{
    Q_OBJECT

public:
    /** What SaveMessage() did with a message. */
    enum SaveResult : int {
        Saved = 0,     ///< newly stored
        Duplicate = 1, ///< a message with this board and number is stored already
        Refused = 2,   ///< any other refusal (empty body, text too long, database failure)
    };

    explicit CBBS(QObject *parent = nullptr);
    ~CBBS() override;

    // ---- Run state -------------------------------------------------------------------------
    /** @short Entries parsed into messages since ResetCounters(). */
    int AnalyseCount() const { return m_AnalyseCount; }
    /** @short Messages newly stored since ResetCounters(). */
    int SaveCount() const { return m_SaveCount; }
    /** @short -1 when the last AnalyseLog() met a broken or refused entry, else 0. */
    int AnalyseError() const { return m_AnalyseError; }
    /** @short The largest message number met since ResetCounters() (0 when none). */
    int MaxID() const { return m_MaxID; }
    /** @short Zeroes AnalyseCount, SaveCount, AnalyseError and MaxID for a new run. */
    void ResetCounters();

    bool IsCancel() const { return m_IsCancel; }
    /** @short Asks the running analysis (and transfer) to stop at the next entry. */
    void Cancel() { m_IsCancel = true; }
    void InitCancel() { m_IsCancel = false; }

    // ---- Log analysis and storage ----------------------------------------------------------
    /**
     * @short Splits @p Text into entries, parses them by the board's type, stores the
     * messages and links the board's threads; one transaction for the whole text.
     *
     * Returns false when a message was already stored or when cancelled, else true.
     * Entry numbers in the progress and error texts count from 0 within @p Text.
     */
    bool AnalyseLog(int BBS_ID, QStringView Text, bool Read);

    static std::optional<CMessage> ParseSingleEntry(int BBS_ID, QStringView Entry, bool Read);
    static std::optional<CMessage> ParsePairedEntry(int BBS_ID, QStringView Entry, bool Read);
    static std::optional<CMessage> ParseTextPageEntry(int BBS_ID, QStringView Entry, bool Read);

    /** @short Stores @p Msg with the date cut to the minute; see SaveResult. */
    SaveResult SaveMessage(const CMessage &Msg);
    /**
     * @short Gives the board's unlinked messages (RootThread 0) their thread root, in
     * ascending ID order: the parent's root, or their own ID when the parent is not stored.
     * A reply whose parent is still unlinked stays 0 until the next call.
     */
    void UpdateThreads(int BBS_ID);

    // ---- Log import (CBBSImport.cpp) -------------------------------------------------------
    /** Why ExtractArchiveToMemory() gave nothing. */
    enum class ExtractError { None, Unreadable, NoMatch, TooLarge };

    /** @short True while ImportLog() runs. */
    bool IsImport() const { return m_IsImport; }
    /**
     * @short Imports a log text file, or the first member of an LHA archive (a name ending in
     * ".lzh", any case), into board @p BBS_ID with Read = @p ReadMode.
     *
     * Resets the counters and the cancel flag first; a cancel stays set afterwards. True when
     * the file was analysed without a broken or refused entry; a file that cannot be used is
     * reported through StateChanged and gives false.
     */
    bool ImportLog(int BBS_ID, const QString &FileName, bool ReadMode = false);
    /** @short Reserved: writes nothing and returns 0. */
    int ExportLog(int BBS_ID, const QString &FileName);
    /** @short True when LHA archives can be read. */
    static bool CanUseUnlha();
    /**
     * @short The first regular member of LHA archive @p ArchiveName whose name (without
     * folder) matches the wildcard @p Pattern, unpacked into memory; empty when nothing was
     * unpacked (the reason in @p error). Members beyond 64 MiB are refused.
     */
    static QByteArray ExtractArchiveToMemory(const QString &ArchiveName, const QString &Pattern,
                                             ExtractError *error = nullptr);

    // ---- Database and free SQL -------------------------------------------------------------
    /** @short Closes any open result and works on @p db from now on (not owned). */
    void Initialize(Database *db);

    /**
     * @short Runs a statement typed by the user or built by a list.
     *
     * Asks each parameter's value through prompter() (its name as the prompt). Select,
     * union and crosstab replace the open result; action and data-definition statements
     * run and leave it. Returns the query type (JetSql::QueryType; other types run
     * nothing), or nullopt with the error's number and description in @p error.
     */
    std::optional<int> ExecSQL(const QString &SQLString, DbError *error = nullptr);
    /** @short Rows of the open result, or rows affected by the last action statement. */
    int count() const { return m_count; }
    /** @short The open result (its cursor serves GetMessage()), or nullptr. */
    ::Recordset *Recordset() { return m_Recordset ? &*m_Recordset : nullptr; }
    /** @short 0 when the result's columns are exactly those of table Message, else 1. */
    int SQLType() const { return m_SQLType; }
    /** @short Row @p Index (0-based) of the result as a message; nullopt past the end. */
    std::optional<CMessage> Messages(int Index) const;
    /** @short The result's current row as a message; nullopt when there is none. */
    std::optional<CMessage> GetMessage() const;
    void CloseLogMessages();

signals:
    /** A message was newly stored. */
    void Loaded(const CMessage &Msg);
    /** A progress text, for the status bar (@p ShowStatus) and the progress log (@p AddLog). */
    void StateChanged(const QString &Text, bool ShowStatus, bool AddLog);
    /** An entry could not be used; @p EntryText belongs in the board's error log. */
    void LoadError(int BBS_ID, const QString &EntryText, const QString &Message);

private:
    int boardType(int BBS_ID);
    void analyseEntry(int BBS_ID, int bbsType, int index, QStringView entry, bool Read,
                      bool &completed);
    bool hasMessageColumns(const QStringList &names);
    std::optional<CMessage> messageAt(int row) const;

    Database *m_db = nullptr;
    Statement m_insert; // SaveMessage's statement, prepared once per database

    int m_AnalyseCount = 0;
    int m_SaveCount = 0;
    int m_AnalyseError = 0;
    int m_MaxID = 0;
    bool m_IsCancel = false;
    bool m_IsImport = false;

    std::optional<::Recordset> m_Recordset;
    std::array<int, 12> m_columns{}; // result column of each Message column, -1 when absent
    int m_SQLType = 1;
    int m_count = 0;
};
