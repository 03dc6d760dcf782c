#pragma once

#include "db/CMessage.h"
#include "models/ViewTypes.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QScopedValueRollback>
#include <QString>
#include <array>
#include <functional>
#include <optional>

class BrowseHistory;
class CBBSProperty;
class Database;
class MessageLists;
class QAbstractItemModel;
class QAction;
class QLabel;
class QPlainTextEdit;
class QTreeView;
class QWidget;
class QueryCursor;
class QueryResultModel;
class uClickableLabel;
class uSeparator;

/**
 * @short The main window's two lists: board pages and query results in them, switching between
 * them, sorting and thread order, the header sort marks, the page menu, the caption, and the
 * message of the selected row in the body pane.
 */
class ListController : public QObject
{
    Q_OBJECT

public:
    /** @short The window's widgets the lists work on. */
    struct Widgets
    {
        std::array<QTreeView *, 2> lists;
        QPlainTextEdit *body;
        uSeparator *separator;
        QLabel *statusPanel;
        /** The address labels, each laid over its status-bar panel. */
        uClickableLabel *mailto;
        uClickableLabel *homepage;
        /** The link to the shown message's レス元. */
        QLabel *inReplyTo;
        QAction *messageMenu;
        QAction *boardProperty;
        /** mnuBBSViewSub 0 to 4. */
        QList<QAction *> viewItems;
        QAction *boardListButton;
        QAction *backButton;
        QAction *forwordButton;
    };

    /** @short What the lists ask of the window. */
    struct Commands
    {
        /** Sets a command's own enabled state; a run may still hold the command off. */
        std::function<void(QAction *command, bool enabled)> setCommandEnabled;
        /** Style 1 shows panel "Status"; any other shows "Mail" and "HomePage". */
        std::function<void(int Style)> changeStatusBarStyle;
        std::function<void()> showNoReadPoint;
        std::function<void()> refreshToolbarImages;
        /** A statement may have changed table BBS: the board menus are read again. */
        std::function<void()> reloadBoards;
        /** True while a load runs: the caption says so. */
        std::function<bool()> isLoading;
        /** The browse history, which showing a message records. */
        std::function<BrowseHistory &()> history;
    };

    /**
     * Works on @p window (caption, palette), the database @p database gives (nullptr: closed),
     * @p query for the statements, and @p current, the shown board. Gives each list its model.
     */
    ListController(QWidget &window, MessageLists &lists, QueryCursor &query, CBBSProperty &current,
                   std::function<Database *()> database, Widgets widgets, Commands commands);

    /** @short Runs @p SQL and puts its result into list @p Index; false when it failed or was refused. */
    bool ShowSQLResult(const QString &SQL, ListIndex Index);
    /**
     * @short Lists in list 1 the newest messages of every board whose body, subject or name
     * holds @p text; the newer and older pages then page through what it found.
     */
    bool ShowSearch(const QString &text);
    /** @short Shows view @p view of the shown board in list 0, or a page of the search that list 1 shows. */
    bool ShowView(ViewType view);
    /**
     * @short While list 0 is the current list and shows the shown board's newest rows, lists
     * them again with the view last shown, keeping the shown message selected.
     */
    void RefreshNewestRows();
    /**
     * @short Fills both message lists again from the statements that filled them, so that
     * changed NG rules or "NGを表示" apply; the shown message stays selected when still listed.
     */
    void Refill();
    /** @short Makes @p BBS_ID the shown board and lists its latest page. */
    void SelectBoard(int BBS_ID);
    /** @short Makes list @p Index the visible, current one. */
    void ChangeList(ListIndex Index);
    /** @short Page captions, tooltips and enabling from the rows around the shown page. */
    void ChangeBBSViewMenu();
    /** @short Shows @p row of list @p Index in the body pane; @p NoSelect: the list selected it already. */
    void ShowMessage(ListIndex Index, int row, bool NoSelect);
    /** @short Removes the sort marks (and with !KeepIndent the thread indents) of list @p Index. */
    void ResetColumnHeaders(ListIndex Index, bool KeepIndent);
    /** @short Thread order of list @p Index, keeping the selected row shown. */
    void ShowThread(ListIndex Index);
    /** @short A click on header @p column of list @p Index: sort, or thread order for "Read". */
    void ColumnClick(ListIndex Index, int column);
    /** @short Header texts, sort marks, widths and positions of list @p from given to list @p to. */
    void CopyColumns(ListIndex from, ListIndex to);
    /** @short The caption: the shown board's name or the results list, prefixed while a load runs. */
    void ShowCaption();

    /** @short 0 while list 1 holds messages, 1 while it holds rows of another query. */
    int ListKind() const { return m_listKind; }
    /** @short The selected row of list @p Index (its current row when that is selected), -1 when none. */
    int SelectedRow(ListIndex Index) const;
    QAbstractItemModel *ListModel(ListIndex Index) const;
    /**
     * @short True while list 0 shows a page that holds the shown board's newest rows, so that
     * rows received now belong in it; false on an older page or the rows of another statement.
     */
    bool ShowsNewestRows() const { return m_showsNewest; }
    /** @short True while rows are added to a list: its count is shown once, when the list is shown. */
    bool IsFilling() const { return m_filling; }
    /** @short The key of the message in the body pane; empty when none. */
    const QString &ShownKey() const { return m_shownKey; }
    /** @short Empties the body pane: no message is shown. */
    void ClearShownMessage();
    /**
     * @short While the returned guard lives, a change of the current row shows no message
     * (rows are removed without another row shown in their place).
     */
    [[nodiscard]] QScopedValueRollback<bool> HoldRowChanges() { return QScopedValueRollback<bool>(m_showing, true); }

private:
    QTreeView *view(ListIndex Index) const;
    void setListModel(ListIndex Index, QAbstractItemModel *model);
    bool showResult(const QString &SQL, ListIndex Index, const QString &searchText);
    bool showSearchPage(bool newer);
    bool showsSearch() const;
    bool newerRowsStored() const;
    bool fillMessages(ListIndex Index, std::optional<int> limit = std::nullopt);
    void refill(ListIndex Index);
    void addEmptyBoardHint();
    bool fillOtherRows(ListIndex Index);
    void takeSearch(const QString &text);
    void finishFill(ListIndex Index);
    void reportAction(int type);
    void restoreList(ListIndex Index, bool wasShown);
    void onRowChanged(ListIndex Index, int row);

    QWidget &m_window;
    MessageLists &m_lists;
    QueryCursor &m_query;
    CBBSProperty &m_current;
    std::function<Database *()> m_database;
    Widgets m_widgets;
    Commands m_commands;
    QueryResultModel *m_otherRows;
    std::array<QHash<int, QString>, 2> m_headerTags; // sort state per column: "↑", "↓" or none
    int m_listKind = 0;
    bool m_showing = false; // set while ShowMessage selects a row itself
    bool m_filling = false; // set while rows are added to a list
    bool m_showsNewest = false; // list 0 shows the board's newest rows
    ViewType m_shownView = LatestView; // the view list 0 shows
    bool m_reverseFill = false; // list 0's next page is filled in the opposite order
    QString m_shownKey;     // the message in the body pane
    QString m_searchText;   // the text of the search that list 1 shows; empty for other rows
    CMessage m_searchNewest; // the newest and oldest message of the shown page of that search
    CMessage m_searchOldest;

    /** How a message list was filled last, to fill it again the same way. */
    struct Fill
    {
        QString SQL; // empty: the list holds no message rows of a statement
        bool reverse = false;
        int limit = 0;
    };
    std::array<Fill, 2> m_fills;
};
