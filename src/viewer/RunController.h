#pragma once

#include "db/CMessage.h"
#include "models/ViewTypes.h"
#include "transfer/ImportRun.h"
#include "transfer/LoadRun.h"
#include "viewer/TextIndexController.h"

#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>
#include <vector>

class CBBS;
class CBBSProperty;
class Database;
class MessageLists;
class QAction;
class QLabel;
class QStatusBar;
class QTreeView;
class QWidget;
class frmLoadDlg;

/**
 * @short The main window's runs: loads and imports through the transfer control, one at a
 * time, with the progress dialog; the rows a load stores for the shown board; new messages
 * and replies handed to the board's forms.
 */
class RunController : public QObject
{
    Q_OBJECT

public:
    /** The commands of RunCommand, by the numbers they have always had (6 is not used). */
    enum RunCommandIndex : int {
        ImportFileCommand = 1,     ///< import files
        ImportInternetCommand = 2, ///< import from the Internet (not built)
        PastLogPageCommand = 3,    ///< open the past-log page
        ExportCommand = 4,         ///< export (ExportRequested)
        CloseCommand = 5,          ///< close the window
        LoadCommand = 7,           ///< load this board's unread messages
        LoadAllCommand = 8,        ///< load this board completely
        VisitLoadCommand = 9,      ///< visit load
        AllBoardsLoadCommand = 10, ///< load all boards
        NewMessageCommand = 11,    ///< new message
        ReplyCommand = 12,         ///< reply to the selected message
    };
    /** What the window runs: one run at a time. */
    enum class RunState { Idle, Loading, Importing };

    /** @short The window's widgets a run shows itself in, and the items that start runs. */
    struct Widgets
    {
        QWidget *window;        ///< its caption shows a load; it parents the progress dialog
        QTreeView *boardList;   ///< list 0, which repaints held while a load adds rows
        QStatusBar *statusBar;  ///< repaints held during a load
        QLabel *statusPanel;    ///< panel "Status"
        const QHash<QString, QAction *> &menuItems; ///< the menu items by control name
        const QHash<QString, QAction *> &buttons;   ///< the toolbar buttons by key
    };

    /** @short What a run asks of the window. */
    struct Commands
    {
        /** Applies the run state to the commands. */
        std::function<void()> changeMenuEnabled;
        std::function<void(int Style)> changeStatusBarStyle;
        std::function<void()> changeBBSViewMenu;
        std::function<void()> showNoReadPoint;
        std::function<void(bool on)> setBlinking;
        std::function<void(int BBS_ID, int Delta)> updateBoardCaption;
        std::function<int(ListIndex Index)> selectedRow;
        /** 0 while list 1 holds messages, 1 while it holds rows of another query. */
        std::function<int()> listKind;
        /** True while list 0 shows the page of the board's newest rows, where received rows go. */
        std::function<bool()> showsNewestRows;
        /** Lists the shown board's newest rows again, keeping the shown message. */
        std::function<void()> refreshNewestRows;
        /** Saves the window's state and shuts the program down; the window closes after it. */
        std::function<void()> unload;
    };

    /**
     * Wires the run commands found in the widgets' menu items and buttons. Runs go through
     * @p cbbs into the database that @p database gives at their start; @p current is the
     * shown board, read again when a run ends.
     */
    RunController(CBBS &cbbs, MessageLists &lists, CBBSProperty &current, std::function<Database *()> database,
                  Widgets widgets, Commands commands);
    ~RunController() override;

    /** @short Runs command @p Index; other numbers do nothing. */
    void RunCommand(RunCommandIndex Index);
    /**
     * @short A visit load that takes no keyboard from the reader: its dialog opens without
     * activation (not at all while the window is hidden), its questions take their default
     * answer and what it says goes to the status bar.
     */
    void TimedVisitLoad();
    /** @short New messages per board of the last load run, in the order they came. */
    const QList<std::pair<int, int>> &ReceivedCounts() const { return m_received; }
    RunState CurrentRun() const { return m_runState; }
    /** @short True while a load or an import run goes on. */
    bool IsRunning() const { return m_runState != RunState::Idle; }
    /** @short The progress dialog while it is open, else nullptr. */
    frmLoadDlg *LoadDialog() const;
    /**
     * @short The filter of the import file dialog, entries and patterns alternating, separated
     * by "|": the board's own log files first (when it has a pattern), then text files, LHA
     * archives (when @p CanUseUnlha) and all files.
     */
    static QString ImportFileFilter(const CBBSProperty &Board, bool CanUseUnlha);

    /**
     * @short The window is closing during a run: the run stops at its next step without
     * asking, and the window unloads and closes when it has ended.
     */
    void AbandonForClose();
    /** @short Closes the progress dialog, whatever it shows. */
    void UnloadDialog();
    /** @short Before a status-bar text changes: during a load the bar repaints at most every 150 ms. */
    void HoldStatusBar();
    /** @short The indexing of the rows pending for the full-text index. */
    TextIndexController &Indexer() { return m_indexer; }
    /** @short The board menus were rebuilt from the stored counts, which hold the pending ones. */
    void DropPendingCounts() { m_loadedCounts.clear(); }

signals:
    /** A load or import run has ended; the window is idle again (or, closing, has unloaded). */
    void RunFinished();
    /** The export command was given; the window's export controller takes it. */
    void ExportRequested();

private:
    void connectRunCommands(const Widgets &widgets);
    void loadBoards(const QList<int> &boards, bool NoReadLoad);
    void visitLoad(RunCommandIndex command);
    void boardLoaded(const LoadRun::Outcome &outcome);
    void runQuestion(bool open);
    void waitForPage(bool wait);
    void endLoad();
    void importFiles();
    void importRun(int BBS_ID, const QStringList &FileNames);
    void endImport(const ImportRun::Result &result);
    void sendMessage(bool Reply);
    void beginRun(RunState state, const QString &Caption);
    void endRun();
    void finishClosing();
    void holdRepaints();

    // Events of the transfer control
    void onLoaded(const CMessage &Msg);
    void flushLoadedRows();
    void onStateChanged(const QString &Text, bool ShowStatus, bool AddLog);
    void onLoadError(int BBS_ID, const QString &EntryText, const QString &Message);

    CBBS &m_cbbs;
    MessageLists &m_lists;
    CBBSProperty &m_current;
    std::function<Database *()> m_database;
    QWidget *m_window;
    QTreeView *m_boardList;
    QStatusBar *m_statusBar;
    QLabel *m_statusPanel;
    Commands m_commands;

    QPointer<frmLoadDlg> m_loadDlg;
    LoadRun *m_loadRun = nullptr;     // the load run going on (a child)
    ImportRun *m_importRun = nullptr; // the import run going on (a child)
    int m_importBoard = 0;            // the board it stores into
    RunState m_runState = RunState::Idle;
    TextIndexController m_indexer; // indexes the rows left pending while no run goes on
    bool m_boardStarted = false; // the board being loaded reached the dialog
    bool m_questionOpen = false; // the dialog asks whether the run goes on: the run waits
    bool m_pageWaited = false;   // the run waits for the page of the board that has ended
    bool m_closing = false; // the window closed during a run: it unloads when the run has ended
    bool m_quiet = false;   // the run takes no keyboard (TimedVisitLoad)
    QList<std::pair<int, int>> m_received; // new messages per board of the last load run

    std::function<void()> m_holdStatusBar; // set while a load run goes on
    std::vector<std::unique_ptr<QObject>> m_repaintThrottles; // held while a load run goes on
    /** Messages a load stored for the shown board, listed together (flushLoadedRows). */
    QList<CMessage> m_loadedRows;
    QHash<int, int> m_loadedCounts; // new messages per board, not yet in the board menus
    static constexpr qint64 LoadedRowsMs = 150;
    QElapsedTimer m_sinceRowsListed; // since rows were last added to the list during a load
};
