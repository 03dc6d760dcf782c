#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <optional>

class CBBS;
class CBBSProperty;
class Database;

/**
 * @short The import run: imports files into one board one after another through
 * CBBS::ImportLog, adds up what they stored and gives the outcome text; and the confirmation
 * asked before a run starts.
 *
 * The run is asynchronous: Start() begins it and Finished reports its end; in between it
 * advances on the transfer control's signals. The run's own texts (the file being worked on,
 * the outcome) go out through InfoChanged; the transfer control's texts come from its own
 * signals. The progress dialog and tessera-cli both listen to them.
 */
class ImportRun : public QObject
{
    Q_OBJECT

public:
    struct Result
    {
        QString Outcome;     ///< "N件インポートしました。" and the like
        int Total = 0;       ///< messages stored from all files
        int NotImported = 0; ///< files that were unreadable or held broken or refused entries
        bool Cancelled = false;
        bool StorageFailed = false; ///< the database could not store a file's messages: the run ended there
    };

    /** @short Another board whose DefaultLogFile matches a file name. */
    struct OtherBoard
    {
        int BBS_ID = 0;
        QString BBS_Name;
    };

    explicit ImportRun(CBBS &bbs, QObject *parent = nullptr);

    /**
     * @short Starts importing @p FileNames in order into board @p BBS_ID, each message stored
     * with Read = @p ReadMode; the run stops after the file during which CBBS::Cancel() was
     * called. Finished reports the end. False, starting nothing, while the run goes on.
     */
    bool Start(int BBS_ID, const QStringList &FileNames, bool ReadMode);
    /** @short True from Start() until Finished. */
    bool IsRunning() const { return m_running; }

    /**
     * @short The first board other than @p BBS_ID whose DefaultLogFile pattern (Like) matches
     * the name (without folder) of one of @p FileNames, trying the files in order.
     */
    static std::optional<OtherBoard> FindOtherBoard(Database &db, int BBS_ID, const QStringList &FileNames);
    /**
     * @short Asks through prompter() whether to import @p FileNames into @p board (warning,
     * with No as the default, when they look like another board's log files); true on Yes.
     */
    static bool ConfirmImport(Database &db, const CBBSProperty &board, const QStringList &FileNames);

signals:
    /** A text for status line @p row of the progress dialog; @p AddLog asks for a log line too. */
    void InfoChanged(const QString &Message, int row, bool AddLog);
    /** The run has ended (never before Start() returned) with @p Outcome. */
    void Finished(const ImportRun::Result &Outcome);

private:
    void nextFile();
    void fileImported(bool clean);
    void finish();

    CBBS &m_bbs;
    int m_board = 0;
    QStringList m_files;
    bool m_read = false;
    qsizetype m_next = 0; // the next file's position in m_files
    Result m_result;
    bool m_running = false;
    bool m_importing = false; // a file of this run is being imported
};
