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
 * The progress dialog and tessera-cli both follow a run through its signals: BoardStarted
 * before each board, the transfer control's own StateChanged texts while it loads, and
 * BoardFinished with the board's outcome. A failed board never stops the run.
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
     * @short Runs over the boards of @p selection, unread messages only; says NoBoardsText()
     * through prompter() and runs nothing when there are none. False when no run took place.
     */
    bool Run(Selection selection);
    /**
     * @short Loads @p boards in order, all messages or (@p NoReadLoad) unread ones only, with
     * the options Timeout and ExitIfMessageFound (the latter for unread loads only).
     */
    QList<Outcome> Run(const QList<int> &boards, bool NoReadLoad);

    /** The outcomes of the last run, in board order. */
    const QList<Outcome> &Outcomes() const { return m_outcomes; }
    /** @short True when some board of the last run failed (not counting cancels). */
    bool AnyFailed() const;

    /** @short Ends the run after the current board (the user declined to go on). */
    void StopAfterBoard() { m_stop = true; }
    /** @short Ends the run after the current board without its outcome (the program closes). */
    void Abandon() { m_abandoned = true; }
    bool IsAbandoned() const { return m_abandoned; }

    /** "BBS_Name から受信中...", the first status line while a board loads. */
    static QString StartText(const CBBSProperty &board);

signals:
    /** A board's load begins; @p HasNext tells whether another board follows. */
    void BoardStarted(const CBBSProperty &Board, bool HasNext);
    /** A board's load ended with @p Result. */
    void BoardFinished(const LoadRun::Outcome &Result);

private:
    Outcome loadBoard(const CBBSProperty &board, bool NoReadLoad, bool exitIfFound);

    CBBS &m_bbs;
    Database &m_db;
    QList<Outcome> m_outcomes;
    bool m_stop = false;
    bool m_abandoned = false;
};
