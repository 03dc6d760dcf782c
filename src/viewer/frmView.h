#pragma once

#include "db/CBBSProperty.h"
#include "db/QueryCursor.h"
#include "transfer/CBBS.h"
#include "viewer/BoardMenus.h"
#include "viewer/NavigationController.h"
#include "viewer/RunController.h"
#include "models/MessageLists.h"
#include "models/ViewTypes.h"

#include <QHash>
#include <QMainWindow>
#include <QPointer>
#include <array>
#include <functional>
#include <memory>

class BodyCommands;
class BodyLinkController;
class ExportController;
class CMRUCombo;
class FindController;
class KeyMap;
class MessageCommands;
class ListController;
class QAction;
class QComboBox;
class ReceiveTimer;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QToolBar;
class QTreeView;
class SettingsController;
class TimerController;
class ToolCommands;
class TrayController;
class WindowState;
class uClickableLabel;
class uSeparator;
class uSpinButton;

/**
 * @short The main window: board menus and drop-down, toolbar, the two message lists (0: the
 * shown board, 1: search and query results), the body pane and the status bar. It owns the
 * transfer control that every load and import goes through and the query cursor that fills
 * the lists.
 *
 * Works on the log database it is given (which compaction replaces) and gIniFile. Widgets and actions carry their control names as objectName;
 * control arrays are named with their index, e.g. "lsvMsgList(1)", "mnuBBSViewSub(2)";
 * toolbar buttons and status-bar panels by their key, e.g. "Toolbar.Back", "StatusBar.Count".
 */
class frmView : public QMainWindow
{
    Q_OBJECT

public:
    /**
     * @p database holds the open log database for as long as the window lives; compaction
     * replaces what it holds. @p tmrRead drives the read delay (not owned); without it the
     * event loop's timer does.
     */
    explicit frmView(std::unique_ptr<Database> &database, OneShotTimer *tmrRead = nullptr, QWidget *parent = nullptr);
    ~frmView() override;

    /**
     * @short The window's load: lists, board, status bar, saved position; @p unloadSplash
     * runs last. False when no board is listed: the user was told, and the window closed.
     */
    bool Form_Load(const std::function<void()> &unloadSplash = {});

    // ---- Used by other parts of the viewer -------------------------------------------------
    /** @short Style 1 shows panel "Status"; any other shows "Mail" and "HomePage". */
    void ChangeStatusBarStyle(int Style);
    /**
     * @short Applies the run state to the commands: during a load or an import those that must
     * not run beside it are disabled; when idle every command has its own state back.
     */
    void ChangeMenuEnabled();
    /** @short Changes the unread count of board @p BBS_ID in the board menus by @p Delta. */
    void UpdateBBSMenuCaption(int BBS_ID, int Delta);
    /** @short Panel "NoReadPoint": "未読位置:" + the shown board's unread position. */
    void ShowNoReadPoint();
    /** @short Toolbar "BBSList" image: the board's icon for list 0, "Close" for list 1. */
    void RefreshToolbarImages();

    // ---- Lists, forwarded to the ListController ---------------------------------------------
    /** @short Page captions, tooltips and enabling from the rows around the shown page. */
    void ChangeBBSViewMenu();
    /** @short Runs @p SQL and puts its result into list @p Index; false when it failed or was refused. */
    bool ShowSQLResult(const QString &SQL, int Index);
    /** @short Makes list @p Index the visible, current one. */
    void ChangeList(int Index);
    /** @short Shows view @p view of the shown board in list 0. */
    bool ShowView(ViewType view);
    /** @short Makes @p BBS_ID the shown board and lists its latest page. */
    void SelectBoard(int BBS_ID);
    /** @short Shows @p row of list @p Index in the body pane; @p NoSelect: the list selected it already. */
    void ShowMessage(int Index, int row, bool NoSelect);
    /** @short Removes the sort marks (and with !KeepIndent the thread indents) of list @p Index. */
    void ResetColumnHeaders(int Index, bool KeepIndent);
    /** @short Thread order of list @p Index, keeping the selected row shown. */
    void ShowThread(int Index);
    /** @short A click on header @p column of list @p Index: sort, or thread order for "Read". */
    void ColumnClick(int Index, int column);

    // ---- Navigation, forwarded to the NavigationController -----------------------------------
    void MoveNextMessage(ListIndex Index, MoveMode mode, bool PageFirst);
    void MoveToReplyTarget(ListIndex Index);
    /** @short The browse history, which ShowMessage records. */
    BrowseHistory &History();
    // ---- Find and query, forwarded to the FindController --------------------------------------
    /**
     * @short Finds @p FindText in the shown body from the caret, then row by row in the
     * direction @p Forward (no wrap-around); selects the match in the body pane, or shows
     * the not-found box. A walk over many rows goes on between turns of the event loop, and
     * Escape ends it.
     */
    void FindMessage(const QString &FindText, bool Forward);
    /** @short True while FindMessage walks the rows. */
    bool IsFinding() const;
    /**
     * @short Opens the query window with @p SQL until a statement runs into list 1 or the
     * window is cancelled; a statement that fails opens the window again with its text.
     */
    void QueryLoop(const QString &SQL);
    /** @short The query statement for board @p BBS_ID; @p BodyText adds a body condition. */
    static QString QueryTemplate(int BBS_ID, const std::optional<QString> &BodyText = std::nullopt);
    /** @short The last statement the query window ran successfully. */
    const QString &LastQuery() const;

    // ---- Runs and the progress dialog, forwarded to the RunController ------------------------
    using RunCommandIndex = RunController::RunCommandIndex;
    using enum RunController::RunCommandIndex;
    using RunState = RunController::RunState;
    /** @short Runs command @p Index; other numbers do nothing. */
    void RunCommand(RunCommandIndex Index);
    RunState CurrentRun() const;
    /** @short True while a load or an import run goes on. */
    bool IsRunning() const;
    /** @short The progress dialog while it is open, else nullptr. */
    class frmLoadDlg *LoadDialog() const;
    /** @short The filter of the import file dialog (RunController::ImportFileFilter). */
    static QString ImportFileFilter(const CBBSProperty &Board, bool CanUseUnlha)
    {
        return RunController::ImportFileFilter(Board, CanUseUnlha);
    }

    // ---- Tray icon, forwarded to the TrayController ------------------------------------------
    /** @short Starts (option BlinkIcon permitting) or stops the tray icon's animation. */
    void SetBlinking(bool on);
    TrayController &TrayIcon() { return *m_tray; }
    /** @short The count-down of timed receiving (tests give it their own time). */
    ReceiveTimer &TimedReceiving();

    // ---- Message commands, forwarded to the MessageCommands ------------------------------------
    /** @short The message-menu enabling rules, run before the menu, the list pop-up and the keys. */
    void UpdateMessageMenu();
    /** @short Shows in list 1 the thread of the message that @p Text names ("board#123"). */
    void RelateSearch(int BBS_ID, const QString &Text);
    /**
     * @short Opens the new-message form of the first board that takes side @p Side's one-line
     * replies (1 left, 2 right); without such a board the user is told.
     */
    void ReplyHitokoto(int Side);

    MessageLists &Lists() { return m_lists; }
    CBBS &Cbbs() { return m_cbbs; }
    /** @short The open log database; nullptr after a compaction that could not reopen it. */
    Database *database() const { return m_database.get(); }
    BoardMenus &Boards() { return m_boards; }
    const CBBSProperty &CurrentBBSProperty() const { return m_current; }
    /** @short 0 while list 1 holds messages, 1 while it holds rows of another query. */
    int ListKind() const;
    QTreeView *lsvMsgList(int Index) const { return m_views.at(Index == 0 ? 0 : 1); }
    CMRUCombo &FindHistory() { return *m_findHistory; }
    /** @short The body pane's links and the previews of its reply anchors. */
    BodyLinkController &Links() { return *m_bodyLinks; }

signals:
    /** A load or import run has ended; the window is idle again (or, closing, has unloaded). */
    void RunFinished();

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Construction (frmView.cpp)
    void createMenus();
    void createToolbar();
    void createLists();
    void createStatusBar();
    QAction *menuItem(QMenu *menu, const QString &name, const QString &caption);
    QMenu *subMenu(QMenu *parent, const QString &name, const QString &caption);
    QLabel *addPanel(const QString &key, const QString &toolTip, int stretch);
    void setCommandEnabled(QAction *action, bool enabled);
    void storeCurrentBoard();
    QAction *command(QStringView name) const;
    bool allowedDuringRun(const QAction *action) const;
    void placeLabel(uClickableLabel *label, QLabel *panel);

    // Lists, forwarded to the ListController (frmViewLists.cpp)
    QAbstractItemModel *listModel(int Index) const;
    int selectedRow(int Index) const;

    // The controllers and their wiring (frmView.cpp)
    void createRunController();
    void createListController();
    void createNavigation();
    void createKeyMap();
    void createTray();
    void createTimer();
    void createSettings();
    void createMessageCommands();
    void createBodyCommands();
    void createBodyLinks();
    void showAnchorTarget(int BBS_ID, int ID);
    void createToolCommands();
    void refreshAfterSettings();
    void createFindController();

    std::unique_ptr<Database> &m_database;
    CBBS m_cbbs;
    QueryCursor m_query;
    CBBSProperty m_current;
    MessageLists m_lists;
    BoardMenus m_boards;
    std::unique_ptr<CMRUCombo> m_findHistory;
    bool m_loaded = false;
    bool m_unloaded = false;

    QToolBar *m_toolbar = nullptr;
    QHash<QString, QAction *> m_buttons; // toolbar buttons by key
    QMenu *m_dropDown = nullptr;         // the boards of button "BBSList"
    QComboBox *cmbFindText = nullptr;
    std::array<QTreeView *, 2> m_views{};
    QPlainTextEdit *rtbView = nullptr;
    uSeparator *sep = nullptr;
    QHash<QString, QLabel *> m_panels; // status-bar panels by key
    uClickableLabel *uclMailto = nullptr;
    uClickableLabel *uclHomepage = nullptr;
    uSpinButton *uspnNoReadPoint = nullptr;
    QHash<QString, QAction *> m_menu; // menu items by control name
    QMenu *mnuMsg = nullptr;
    QMenu *mnuBBSMove = nullptr;
    QMenu *mnuMsgMark = nullptr;
    QList<QAction *> m_viewItems; // mnuBBSViewSub 0 to 4

    /** Saves the window's state, closes the dialog and shuts the program down (frmViewState.cpp). */
    void unload();

    // The controllers: declared last, so they go first, before the members and widgets they
    // use (the keyboard map and the navigation watch events of the widgets).
    std::unique_ptr<RunController> m_runs;
    std::unique_ptr<ExportController> m_export;
    std::unique_ptr<WindowState> m_windowState;
    std::unique_ptr<SettingsController> m_settings;
    std::unique_ptr<TrayController> m_tray;
    std::unique_ptr<TimerController> m_timer;
    std::unique_ptr<ListController> m_listController;
    std::unique_ptr<NavigationController> m_navigation;
    std::unique_ptr<KeyMap> m_keyMap;
    std::unique_ptr<MessageCommands> m_messageCommands;
    std::unique_ptr<BodyCommands> m_bodyCommands;
    std::unique_ptr<ToolCommands> m_toolCommands;
    std::unique_ptr<FindController> m_findController;
    std::unique_ptr<BodyLinkController> m_bodyLinks; // after the keyboard map: sees Escape first
};
