#pragma once

#include "db/CBBSProperty.h"
#include "db/DbError.h"
#include "db/Statement.h"
#include "db/CMessage.h"
#include "transfer/LogParser.h"

#include <QObject>
#include <QSet>
#include <QString>
#include <QStringView>
#include <algorithm>
#include <memory>
#include <optional>
#include <vector>

class Database;
class QNetworkAccessManager;
class QNetworkReply;
class QTimer;
class Transaction;

/**
 * @short The transfer control: analyses log text, stores messages and links threads in the
 * log database. No widgets; it reports through its signals.
 *
 * Members by file: analysis, storage and threads in CBBS.cpp; board requests and
 * HTTP transfer in CBBSLoad.cpp; log import in CBBSImport.cpp.
 *
 * Loads and imports are asynchronous: LoadBBS() and ImportLog() start one, and LoadFinished or
 * ImportFinished reports its end. Between them the work goes on in slots of replies and in
 * queued continuations, each of which commits its rows before the event loop turns again.
 * One load or import runs at a time. A run resets the counters and the cancel flag when it
 * starts; the analysis adds to the counters and stops at the next entry after Cancel().
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
    /** @short -1 when the last AnalyseLog() met a broken or refused entry or failed to store, else 0. */
    int AnalyseError() const { return m_AnalyseError; }
    /**
     * @short True when the last AnalyseLog() ended because the database could not store (a
     * full disk, a lock, a write error); its uncommitted rows were rolled back and are not
     * counted, and the cause was reported through StateChanged (status bar and log).
     */
    bool IsStorageError() const { return m_IsStorageError; }
    /** @short The largest message number met since ResetCounters() (0 when none). */
    int MaxID() const { return m_MaxID; }
    /** @short Zeroes AnalyseCount, SaveCount, the broken-entry count, AnalyseError and MaxID for a new run. */
    void ResetCounters();

    bool IsCancel() const { return m_IsCancel; }
    /** @short Asks the running analysis to stop at the next entry and aborts a transfer at once. */
    void Cancel();
    void InitCancel() { m_IsCancel = false; }

    // ---- Log analysis and storage ----------------------------------------------------------
    /**
     * @short Splits @p Text into entries, parses them by the board's type, stores the
     * messages and links the board's threads, all before it returns.
     *
     * The rows and the links are committed together at the end, and Loaded is raised for a
     * message once its row is committed; the event loop does not turn meanwhile. A storage
     * failure ends the analysis (see IsStorageError()). Returns false when a message was
     * already stored, when cancelled or on a storage failure, else true. Entry numbers in the
     * progress and error texts count from @p FirstIndex at the first entry of @p Text. Call
     * it outside any transaction of the caller's. A load analyses its pages the same way, in
     * slices that are committed before the event loop turns between them.
     */
    bool AnalyseLog(int BBS_ID, QStringView Text, bool Read, int FirstIndex = 0);
    /** @short How many entries the last AnalyseLog() went through. */
    int LastEntryCount() const { return m_LastEntryCount; }

    static std::optional<CMessage> ParseSingleEntry(int BBS_ID, QStringView Entry, bool Read);
    static std::optional<CMessage> ParsePairedEntry(int BBS_ID, QStringView Entry, bool Read);
    static std::optional<CMessage> ParseTextPageEntry(int BBS_ID, QStringView Entry, bool Read);

    /** @short Stores @p Msg with the date cut to the minute; see SaveResult. */
    SaveResult SaveMessage(const CMessage &Msg);
    /**
     * @short Gives the board's unlinked messages (RootThread 0) their thread root, in
     * ascending ID order: the parent's root, or their own ID when the parent is not stored.
     * A reply whose parent is still unlinked stays 0 until the next call. False when the
     * database failed (the error in its LastError()); nothing of the call is then kept.
     */
    bool UpdateThreads(int BBS_ID);

    // ---- Log import (CBBSImport.cpp) -------------------------------------------------------
    /** Why ExtractArchiveToMemory() gave nothing. */
    enum class ExtractError { None, Unreadable, NoMatch, TooLarge };

    /** @short True from ImportLog() until ImportFinished. */
    bool IsImport() const { return m_IsImport; }
    /**
     * @short Why the last ImportLog() stopped early: the database could not store (the cause's
     * description); empty when it did not. An import run ends there.
     */
    const QString &ImportStopCause() const { return m_ImportStopCause; }
    /**
     * @short Starts importing a log text file, or every member of an LHA archive (a name
     * ending in ".lzh", any case) that holds log entries, into board @p BBS_ID with Read =
     * @p ReadMode; ImportFinished reports the end.
     *
     * The text is decoded and analysed in pieces, one piece per turn of the event loop, each
     * committed before the next turn; memory stays near a piece's size. A storage failure ends
     * the import (see ImportStopCause()).
     *
     * Resets the counters and the cancel flag first; a cancel stays set afterwards. Returns
     * false, starting nothing, while a load or another import runs.
     */
    bool ImportLog(int BBS_ID, const QString &FileName, bool ReadMode = false);
    /** @short True when LHA archives can be read. */
    static bool CanUseUnlha();
    /**
     * @short The first regular member of LHA archive @p ArchiveName whose name (without
     * folder) matches the wildcard @p Pattern, unpacked into memory; empty when nothing was
     * unpacked (the reason in @p error). Members beyond 64 MiB are refused.
     */
    static QByteArray ExtractArchiveToMemory(const QString &ArchiveName, const QString &Pattern,
                                             ExtractError *error = nullptr);
    /** @short The name and version of the archive library that reads LHA archives. */
    static QString ArchiveLibraryVersion();

    // ---- Database --------------------------------------------------------------------------
    /** @short Works on @p db from now on (not owned). */
    void Initialize(Database *db);

    // ---- Board transfer (CBBSLoad.cpp) -----------------------------------------------------
    /** Largest page body accepted; a larger one ends the load with an error. */
    static constexpr qint64 MaxBodyBytes = 64LL * 1024 * 1024;

    /**
     * @short Starts requesting the board's log pages one after the other, each analysed when it
     * has arrived; after a load without cancel and error, the board's unread position moves to
     * the newest number met. LoadFinished reports the end.
     *
     * @p NoReadLoad asks for unread messages only (types 0 to 2). Paging ends at MaxCount,
     * at a short page (fewer entries, broken ones included, than the page size), at an empty
     * page, and with @p ExitIfMessageFound at the first page holding a stored message. A page
     * of broken entries only, a page with separators but no entry, a page whose end cuts an
     * entry (a connection closed early without a length) and a storage failure fail the load.
     * Returns false, starting nothing, while another load or an import runs.
     */
    bool LoadBBS(int BBS_ID, bool NoReadLoad, bool ExitIfMessageFound = false);
    /**
     * @short Opens the board's reply form for @p Msg's ID (@p Reply) or its new-message form;
     * says through prompter() when the form cannot be opened (a board address that is no web
     * address, no browser).
     */
    bool Send(const CMessage &Msg, bool Reply);
    /** @short True from LoadBBS() until LoadFinished. */
    bool IsLoad() const { return m_IsLoad; }
    /** @short Set when the last load failed or the board answered with its error page. */
    bool IsError() const { return m_IsError; }
    /** @short Seconds a request may go without progress; 0: no limit. */
    int Timeout() const { return int(m_TimeoutMs / 1000); }
    void SetTimeout(int Seconds) { SetTimeoutMs(qint64(Seconds) * 1000); }
    /** @short The time-out in milliseconds (tests take less than a second); 0 or less: no limit. */
    void SetTimeoutMs(qint64 ms) { m_TimeoutMs = std::max<qint64>(0, ms); }
    /**
     * @short How long a whole page may take, however steadily its bytes trickle in (each byte
     * restarts only the time-out itself): three time-outs, or 180 s without a time-out.
     */
    qint64 PageTimeLimitMs() const;
    /**
     * @short How long a page's analysis, or a step of an import, may run (default 250 ms)
     * before it commits and lets the event loop turn (cancel, network, repaint); 0: after every
     * entry of a page, after every piece of an import. Each commit waits for the disk, so the
     * rows commit when the event loop must turn, not after a fixed small share of the work.
     */
    void SetEventTurnMs(qint64 ms) { m_EventTurnMs = ms; }
    /** @short Sends requests through @p manager (not owned) instead of the control's own. */
    void SetNetworkAccessManager(QNetworkAccessManager *manager);

signals:
    // StateChanged and LoadError may come while the analysis holds a transaction open: their
    // receivers must not run the event loop nor write to the database. Loaded comes after the
    // commit and may do both.

    /** A message was newly stored (its row is committed). */
    void Loaded(const CMessage &Msg);
    /** A progress text, for the status bar (@p ShowStatus) and the progress log (@p AddLog). */
    void StateChanged(const QString &Text, bool ShowStatus, bool AddLog);
    /**
     * Page @p Page (from 1) of the load is being requested; @p Pages is how many the load asks
     * for, 0 when the board decides (unread messages: as many pages as it has unread ones).
     */
    void PageRequested(int Page, int Pages);
    /** An entry could not be used; @p EntryText belongs in the board's error log. */
    void LoadError(int BBS_ID, const QString &EntryText, const QString &Message);
    /**
     * The load that LoadBBS() started has ended (never before LoadBBS() returned); @p Result
     * is true when it was neither cancelled nor failed, and only then did the unread position
     * move.
     */
    void LoadFinished(bool Result);
    /**
     * The import that ImportLog() started has ended (never before ImportLog() returned);
     * @p Clean is true when the file was analysed without a broken or refused entry. A file
     * that could not be used was reported through StateChanged and gives false.
     */
    void ImportFinished(bool Clean);

public:
    /** The import of one file, a piece per step (CBBSImport.cpp). */
    class ImportJob
    {
    public:
        virtual ~ImportJob() = default;
        /** Does the next piece of work; false once the file is done. */
        virtual bool Step() = 0;
        /** True when the file was not imported cleanly. */
        virtual bool Failed() const = 0;
        /** The cause of a storage failure that ended the import; empty when there was none. */
        virtual QString StopCause() const = 0;
    };

private:
    class PieceImporter;
    class FileImport;

    /** A text being analysed: its entries and how far the analysis has come. */
    struct Analysis
    {
        int BBS_ID = 0;
        int bbsType = -1;
        int firstIndex = 0;
        bool read = false;
        QList<QStringView> entries;
        qsizetype next = 0;
        bool completed = true;
        bool announce = false; // Loaded has a receiver: stored messages are kept for it
        // An import's piece: its entries read first, the roots they are stored with, which are stored
        std::vector<std::optional<LogParser::EntryFields>> fields;
        std::vector<int> roots;
        std::vector<bool> saved;
        QSet<int> stored; // numbers of the piece that the board holds already
    };
    /** The load in progress: its board, its pages and the page in hand. */
    struct LoadState
    {
        CBBSProperty board;
        bool exitIfFound = false;
        bool textPage = false;
        QString base; // the page address without its page number
        int perPage = 0;
        int page = 0;  // the page requested or analysed
        int first = 0; // the first page's number
        int end = 0;   // past the last page's number
        bool openEnded = false; // the board decides how many pages come (unread messages)
        QByteArray body;
        bool tooLarge = false;
        bool tooSlow = false;
        QString text; // the page being analysed
        int parsedBefore = 0;
        int brokenBefore = 0;
        QString label;      // the label of the entries' number line, once an entry showed it
        bool unreadable = false; // the page has separators but no entry could be split off
        QString cutEntry;   // the entry that the end of the page cut off; empty when none
        int ordinal() const { return page - first + 1; }
    };

    int boardType(int BBS_ID);
    int m_LastEntryCount = 0;
    void beginAnalysis(int BBS_ID, QStringView Text, bool Read, int FirstIndex);
    bool analyseSlice(qint64 budgetMs);
    bool endAnalysis();
    void analysePiece(int BBS_ID, QStringView Text, bool Read, int FirstIndex);
    bool commitPieces(int BBS_ID, bool last);
    bool linkThreads(int BBS_ID, bool waitForParents);
    void analyseEntry(int index, QStringView entry);
    void correctRoots();
    QSet<int> storedNumbers(int BBS_ID, const std::vector<std::optional<LogParser::EntryFields>> &fields);
    SaveResult insert(int BBS_ID, int ID, bool Read, const QStringView (&texts)[5], QStringView postDate,
                      int InReplyTo, int RootThread, int Mark);
    bool openBatch();
    bool commitBatch();
    void failStorage(const QString &what);

    QNetworkAccessManager &networkAccessManager();
    void requestPage();
    void pageArrived();
    void checkPageEnd(const QList<QStringView> &entries);
    std::optional<QString> pageText(QNetworkReply &reply);
    bool takeBody(QNetworkReply &reply);
    void analysePage();
    void pageAnalysed(bool completed);
    bool pageIsWhole();
    bool hasNextPage(bool completed) const;
    void finishLoad();
    void moveUnreadPoint(CBBSProperty &board, int point);
    void failLoad(const QString &text);
    QString transferErrorText(const QNetworkReply &reply) const;
    std::optional<QString> decodePage(const QByteArray &body, bool textPage);
    void importStep();
    void finishImport();

    Database *m_db = nullptr;
    Statement m_insert; // SaveMessage's statement, prepared once per database

    int m_AnalyseCount = 0;
    int m_SaveCount = 0;
    int m_AnalyseError = 0;
    int m_BrokenCount = 0;
    int m_MaxID = 0;
    bool m_IsCancel = false;
    bool m_IsStorageError = false;
    std::unique_ptr<Transaction> m_batch; // rows stored since the last commit
    int m_uncommittedCount = 0;           // how many rows that is
    QList<CMessage> m_uncommitted;        // their messages, for Loaded after the commit
    std::optional<Analysis> m_analysis;

    // Board transfer
    QNetworkAccessManager *m_manager = nullptr; // own (a child) or injected
    QNetworkReply *m_reply = nullptr;           // the request in flight
    QTimer *m_pageLimit = nullptr;              // ends a page that takes too long in all
    std::optional<LoadState> m_load;
    bool m_IsLoad = false;
    bool m_IsError = false;
    qint64 m_TimeoutMs = 0;
    qint64 m_EventTurnMs = 250;
    bool m_IsImport = false;
    QString m_ImportStopCause;
    QString m_importFile;
    std::unique_ptr<ImportJob> m_import;
};
