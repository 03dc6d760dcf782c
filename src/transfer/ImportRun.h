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
 * The run's own texts (the file being worked on, the outcome) go out through InfoChanged; the
 * transfer control's texts come from its own signals. The progress dialog and tessera-cli both
 * listen to them.
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
     * @short Imports @p FileNames in order into board @p BBS_ID, each message stored with
     * Read = @p ReadMode; stops after the file during which Cancel() was called.
     */
    Result Run(int BBS_ID, const QStringList &FileNames, bool ReadMode);

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

private:
    CBBS &m_bbs;
};
