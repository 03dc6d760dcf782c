#pragma once

#include "db/CBBSProperty.h"

#include <QList>
#include <QObject>
#include <QString>
#include <optional>

class CBBS;
class Database;

/**
 * @short A load run without windows: receives boards one after the other through CBBS::LoadBBS
 * and gives one outcome per board.
 *
 * The run is asynchronous: Start() begins it and Finished reports its end; in between it
 * advances on the transfer control's signals. The progress dialog and tessera-cli both follow
 * a run through its signals: BoardStarted before each board, the transfer control's own
 * StateChanged texts while it loads, BoardFinished with the board's outcome, and Finished. A
 * failed board never stops the run.
 */
class LoadRun : public QObject
{
    Q_OBJECT

public:
    /** The boards a run takes when no single board is given. */
    enum class Selection {
        Visit,    ///< boards marked for visit loads
        AllBoards ///< every listed board (ListOrder >= 0)
    };

    struct Outcome
    {
        enum Kind { Received, NothingNew, Cancelled, Failed };
        int BBS_ID = 0;
        Kind kind = Failed;
        int SaveCount = 0;
        /** The outcome as the status bar and the dialog show it. */
        QString Text;
        /** For a failed board: the transfer's last error text. */
        QString Error;
    };

    /** Shown when a visit or all-boards run finds no board. */
    static QString NoBoardsText();

    /** A run through @p bbs over the boards of @p db (neither owned). */
    LoadRun(CBBS &bbs, Database &db, QObject *parent = nullptr);

    /**
     * @short The boards of @p selection in ListOrder; nullopt when the database refuses
     * (the error is said through prompter()).
     */
    std::optional<QList<int>> ChooseBoards(Selection selection);
    /**
     * @short Starts a run over the boards of @p selection, unread messages only; says
     * NoBoardsText() through prompter() and starts nothing when there are none. False when no
     * run started.
     */
    bool Start(Selection selection);
    /**
     * @short Starts loading @p boards in order, all messages or (@p NoReadLoad) unread ones
     * only, with the options Timeout and ExitIfMessageFound (the latter for unread loads only)
     * as they are now. Finished reports the end. False, starting nothing, while the run goes on.
     */
    bool Start(const QList<int> &boards, bool NoReadLoad);
    /** @short True from Start() until Finished. */
    bool IsRunning() const { return m_running; }

    /** The outcomes of the run, in board order. */
    const QList<Outcome> &Outcomes() const { return m_outcomes; }
    /** @short True when some board of the run failed (not counting cancels). */
    bool AnyFailed() const;

    /** @short Ends the run after the current board (the user declined to go on). */
    void StopAfterBoard() { m_stop = true; }
    /** @short Ends the run after the current board without its outcome (the program closes). */
    void Abandon();
    bool IsAbandoned() const { return m_abandoned; }
    /**
     * @short Keeps the run from starting its next board, or from ending, until as many
     * Release() calls: a question of the run's own (whether to go on) is open, and its answer
     * decides; or the board just ended still has work of its own to finish.
     */
    void Hold();
    void Release();

    /** "BBS_Name から受信中...", the first status line while a board loads. */
    static QString StartText(const CBBSProperty &board);

signals:
    /** A board's load begins; @p HasNext tells whether another board follows. */
    void BoardStarted(const CBBSProperty &Board, bool HasNext);
    /** A board's load ended with @p Result. */
    void BoardFinished(const LoadRun::Outcome &Result);
    /**
     * The run has ended (never before Start() returned): Outcomes() holds the boards' outcomes,
     * without the board during which the run was abandoned.
     */
    void Finished();

private:
    void nextBoard();
    void boardLoaded(bool ok);
    void record(const Outcome &outcome);
    void finish();
    Outcome outcomeOf(bool ok) const;

    CBBS &m_bbs;
    Database &m_db;
    QList<int> m_boards;
    qsizetype m_next = 0; // the next board's position in m_boards
    bool m_noReadLoad = true;
    bool m_exitIfFound = false;
    CBBSProperty m_board; // the board being loaded
    QString m_lastError;  // its last error text
    QList<Outcome> m_outcomes;
    int m_holds = 0;
    bool m_running = false;
    bool m_loading = false; // a board of this run is being loaded
    bool m_waiting = false; // the next board waits for Release()
    bool m_stop = false;
    bool m_abandoned = false;
};
