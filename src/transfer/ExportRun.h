#pragma once

#include "db/CMessage.h"

#include <QDate>
#include <QList>
#include <QObject>
#include <QString>
#include <functional>
#include <limits>
#include <memory>
#include <optional>

class AtomicFileWriter;
class BoardMessageReader;
class CBBSProperty;
class Database;
class LogWriter;

/**
 * @short The export run: writes messages oldest first as a log text file in the layout of a
 * board type, which an import reads back.
 *
 * The run is asynchronous: Start...() begins it and Finished reports its end; each turn of the
 * event loop writes one batch (a board's messages are read a batch at a time, so memory stays
 * near a batch). The file appears in one step when all is written: a failure or a cancel
 * leaves no file, and an existing file as it was.
 */
class ExportRun : public QObject
{
    Q_OBJECT

public:
    struct Result
    {
        QString Outcome;  ///< "N件エクスポートしました。" and the like
        int Written = 0;  ///< messages in the file; 0 when no file was made
        int Skipped = 0;  ///< messages without a post date an entry can hold
        int Replaced = 0; ///< characters and lines replaced (LogWriter)
        bool Cancelled = false;
        bool Failed = false; ///< the file or the database failed: no file was made
    };

    /** Messages per batch. */
    static constexpr int BatchSize = 2000;

    explicit ExportRun(QObject *parent = nullptr);
    ~ExportRun() override;

    /**
     * @short Starts writing the messages of board @p BBS_ID (type @p bbsType) with an ID from
     * @p FromID to @p ToID into @p FileName. False, starting nothing, while the run goes on or
     * for a type without a log layout.
     */
    bool StartBoard(Database &db, int BBS_ID, int bbsType, const QString &FileName, int FromID = 0,
                    int ToID = std::numeric_limits<int>::max());
    /**
     * @short As above, on the database @p database gives at each batch: the run fails, leaving
     * no file, when it gives none (the program is shutting down).
     */
    bool StartBoard(std::function<Database *()> database, int BBS_ID, int bbsType, const QString &FileName,
                    int FromID = 0, int ToID = std::numeric_limits<int>::max());
    /** @short Starts writing @p Msgs (in ascending ID) in the layout of type @p bbsType. */
    bool StartMessages(QList<CMessage> Msgs, int bbsType, const QString &FileName);
    /** @short Ends the run at the next batch, leaving no file. */
    void Cancel();
    /** @short True from Start...() until Finished. */
    bool IsRunning() const { return m_running; }

    /**
     * @short The file name an export of @p board proposes: its DefaultLogFile pattern with the
     * date @p today (yyyyMMdd) for "*" and "0" for "?", else its Identifier; ".log" is added
     * when the name has no extension.
     */
    static QString ProposedFileName(const CBBSProperty &board, QDate today);

signals:
    /** @p Done of @p Total messages are written. */
    void Progress(int Done, int Total);
    /** The run has ended (never before Start...() returned) with @p Outcome. */
    void Finished(const ExportRun::Result &Outcome);

private:
    void begin(int bbsType, const QString &FileName, int total);
    std::optional<QList<CMessage>> nextBatch(QString &failure);
    void step();
    void finish();
    void fail(const QString &cause);

    std::unique_ptr<BoardMessageReader> m_reader; // the board's messages, or
    QList<CMessage> m_messages;                   // the messages given
    qsizetype m_next = 0;                         // the next of m_messages
    std::function<Database *()> m_database;
    std::unique_ptr<LogWriter> m_log;
    std::unique_ptr<AtomicFileWriter> m_file;
    QString m_fileName;
    QString m_startFailure; // why the run cannot write; it ends at its first step
    int m_total = 0;
    int m_done = 0;
    Result m_result;
    bool m_running = false;
    bool m_cancel = false;
};
