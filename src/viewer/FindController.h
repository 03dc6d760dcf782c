#pragma once

#include "models/ViewTypes.h"

#include <QHash>
#include <QObject>
#include <QPointer>
#include <array>
#include <functional>
#include <optional>

class CMRUCombo;
class Database;
class MessageLists;
class QAction;
class QComboBox;
class QPlainTextEdit;
class QPoint;
class QTreeView;
class QWidget;
class frmFind;

/**
 * @short The main window's find and query commands: the find box and its direction, F3 and
 * Shift+F3, the find dialog, FindMessage with its walk over the rows, the search of every
 * board, and the query window loop.
 */
class FindController : public QObject
{
    Q_OBJECT

public:
    /** @short The window's widgets the commands work on. */
    struct Widgets
    {
        /** Owns the find dialog and the query window. */
        QWidget *window;
        std::array<QTreeView *, 2> lists;
        QPlainTextEdit *body;
        /** The find box; its entries are the find history. */
        QComboBox *findText;
    };

    /** @short What the commands ask of the window. */
    struct Commands
    {
        /** Shows @p row of list @p Index in the body pane and selects it. */
        std::function<void(ListIndex Index, int row)> showMessage;
        /** Runs @p SQL into list @p Index; false when it failed or was refused. */
        std::function<bool(const QString &SQL, ListIndex Index)> showSQLResult;
        /** Lists in list 1 what every board holds of @p text; false when it failed. */
        std::function<bool(const QString &text)> searchAllBoards;
    };

    /**
     * Wires the find and query items found in @p menuItems. @p findHistory keeps the entries of
     * the find box; @p database gives the open log database (nullptr when none is open).
     */
    FindController(MessageLists &lists, CMRUCombo &findHistory, std::function<Database *()> database,
                   const QHash<QString, QAction *> &menuItems, Widgets widgets, Commands commands);

    /**
     * @short Finds @p FindText in the shown body from the caret, then row by row in the
     * direction @p Forward (no wrap-around); selects the match in the body pane, or shows
     * the not-found box. A walk over many rows goes on between turns of the event loop, and
     * Escape ends it.
     */
    void FindMessage(const QString &FindText, bool Forward);
    /** @short True while FindMessage walks the rows. */
    bool IsFinding() const { return m_walk != nullptr; }

    /**
     * @short Opens the query window with @p SQL until a statement runs into list 1 or the
     * window is cancelled; a statement that fails opens the window again with its text.
     */
    void QueryLoop(const QString &SQL);
    /** @short The query statement for board @p BBS_ID; @p BodyText adds a body condition. */
    static QString QueryTemplate(int BBS_ID, const std::optional<QString> &BodyText = std::nullopt);
    /** @short The last statement the query window ran successfully. */
    const QString &LastQuery() const { return m_lastQuery; }

private:
    class FindWalk;
    void showFindDialog();
    void findCommand(bool Forward);
    void searchAllBoards();
    void showFindBoxMenu(const QPoint &pos);
    void notFound();
    void selectInPane(qsizetype start, qsizetype length);
    void walkRows();
    void endWalk();

    MessageLists &m_lists;
    CMRUCombo &m_findHistory;
    std::function<Database *()> m_database;
    Widgets m_widgets;
    Commands m_commands;
    bool m_findForward = true;  // the direction of Enter in the find box
    FindWalk *m_walk = nullptr; // the walk of FindMessage over the rows (a child)
    QPointer<frmFind> m_find;
    QAction *m_searchAll; // the command of every board, also in the find box's pop-up
    QString m_lastQuery;
};
