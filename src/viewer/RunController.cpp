#include "viewer/RunController.h"

#include "app/Prompter.h"
#include "app/mdlApp.h"
#include "app/mdlExecuteLite.h"
#include "app/mdlOption.h"
#include "db/mdlDatabase.h"
#include "models/MessageLists.h"
#include "transfer/CBBS.h"
#include "transfer/mdlErrorLog.h"
#include "viewer/WindowDialogs.h"
#include "viewer/frmLoadDlg.h"
#include "models/mdlRead.h"

#include <QAbstractItemView>
#include <QElapsedTimer>
#include <QEvent>
#include <QLabel>
#include <QPointer>
#include <QStatusBar>
#include <QTimer>
#include <QTreeView>
#include <algorithm>
#include <utility>

using namespace Qt::StringLiterals;

namespace {

const QString RunningPrefix = u"受信中 - "_s;
/** The board site's page of past logs for download. */
QString pastLogPageAddress()
{
    return mdlDatabase::BoardSiteURL() + u"kakolog/"_s;
}

/**
 * @short While a load run goes on, a widget repaints at most every RepaintMs.
 *
 * Rows and status texts come in page by page, and drawing a screen of Japanese text costs far
 * more than storing it. hold() is called before each change; input in the meantime is shown at
 * the next repaint.
 */
class RepaintThrottle : public QObject
{
public:
    static constexpr qint64 RepaintMs = 150;

    /** Holds @p widget's repaints; @p painted is the child whose paint shows the widget drawn. */
    RepaintThrottle(QWidget *widget, QWidget *painted) : m_widget(widget)
    {
        m_release.setSingleShot(true);
        connect(&m_release, &QTimer::timeout, this, &RepaintThrottle::release);
        painted->installEventFilter(this);
        m_sincePaint.start();
    }
    ~RepaintThrottle() override { release(); }

    void hold()
    {
        const qint64 wait = RepaintMs - m_sincePaint.elapsed();
        if (m_release.isActive() || wait <= 0 || !m_widget)
            return; // held already, or the next turn may paint
        m_widget->setUpdatesEnabled(false);
        m_release.start(int(wait));
    }

protected:
    bool eventFilter(QObject * /*watched*/, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            m_sincePaint.restart();
        return false;
    }

private:
    void release()
    {
        m_release.stop();
        if (m_widget)
            m_widget->setUpdatesEnabled(true); // repaints the whole widget
    }

    QPointer<QWidget> m_widget;
    QTimer m_release;
    QElapsedTimer m_sincePaint;
};

} // namespace

RunController::RunController(CBBS &cbbs, MessageLists &lists, CBBSProperty &current,
                             std::function<Database *()> database, Widgets widgets, Commands commands)
    : m_cbbs(cbbs),
      m_lists(lists),
      m_current(current),
      m_database(std::move(database)),
      m_window(widgets.window),
      m_boardList(widgets.boardList),
      m_statusBar(widgets.statusBar),
      m_statusPanel(widgets.statusPanel),
      m_commands(std::move(commands)),
      m_indexer(m_database, widgets.window, [this] { return IsRunning(); })
{
    connectRunCommands(widgets);
    m_indexer.Start(true);
    connect(&m_cbbs, &CBBS::Loaded, this, &RunController::onLoaded);
    connect(&m_cbbs, &CBBS::StateChanged, this, &RunController::onStateChanged);
    connect(&m_cbbs, &CBBS::LoadError, this, &RunController::onLoadError);
}

RunController::~RunController() = default;

void RunController::connectRunCommands(const Widgets &widgets)
{
    const auto wire = [this, &widgets](const QString &name, RunCommandIndex command) {
        connect(widgets.menuItems.value(name), &QAction::triggered, this, [this, command] { RunCommand(command); });
    };
    wire(u"mnuFileImportFile"_s, ImportFileCommand);
    wire(u"mnuFileImportInternet"_s, ImportInternetCommand);
    wire(u"mnuFileImportKakolog"_s, PastLogPageCommand);
    wire(u"mnuFileExport"_s, ExportCommand);
    wire(u"mnuBBSLoad"_s, LoadCommand);
    wire(u"mnuBBSAllLoad"_s, LoadAllCommand);
    wire(u"mnuBBSVisitLoad"_s, VisitLoadCommand);
    wire(u"mnuBBSAllVisitLoad"_s, AllBoardsLoadCommand);
    wire(u"mnuBBSNew"_s, NewMessageCommand);
    wire(u"mnuBBSReply"_s, ReplyCommand);
    for (const auto &[key, menu] : {std::pair(u"Load"_s, u"mnuBBSLoad"_s), std::pair(u"VisitLoad"_s, u"mnuBBSVisitLoad"_s),
                                    std::pair(u"New"_s, u"mnuBBSNew"_s), std::pair(u"Reply"_s, u"mnuBBSReply"_s)}) {
        connect(widgets.buttons.value(key), &QAction::triggered, widgets.menuItems.value(menu), &QAction::trigger);
    }
}

void RunController::RunCommand(RunCommandIndex Index)
{
    switch (Index) {
    case ImportFileCommand:
        importFiles();
        break;
    case ImportInternetCommand:
        prompter().information(u"未実装m(_ _)m"_s);
        break;
    case ExportCommand:
        emit ExportRequested();
        break;
    case PastLogPageCommand:
        mdlExecuteLite::OpenAddress(pastLogPageAddress());
        break;
    case CloseCommand:
        m_window->close();
        break;
    case LoadCommand:
    case LoadAllCommand:
        loadBoards({mdlOption::BBS_ID}, Index == LoadCommand);
        break;
    case VisitLoadCommand:
    case AllBoardsLoadCommand:
        visitLoad(Index);
        break;
    case NewMessageCommand:
    case ReplyCommand:
        sendMessage(Index == ReplyCommand);
        break;
    default:
        break;
    }
}

frmLoadDlg *RunController::LoadDialog() const
{
    return m_loadDlg && m_loadDlg->IsLoad() ? m_loadDlg.data() : nullptr;
}

QString RunController::ImportFileFilter(const CBBSProperty &Board, bool CanUseUnlha)
{
    QString filter;
    if (const QString pattern = Board.DefaultLogFile(); !pattern.isEmpty())
        filter = Board.BBS_Name() + u"用ログファイル("_s + pattern + u")|"_s + pattern + u'|';
    filter += u"テキストファイル(*.txt;*.log)|*.txt;*.log|"_s;
    if (CanUseUnlha)
        filter += u"LHA書庫ファイル(*.lzh)|*.lzh|"_s;
    return filter + u"全てのファイル(*.*)|*.*"_s;
}

void RunController::TimedVisitLoad()
{
    if (IsRunning())
        return;
    ScriptedPrompter quiet;
    quiet.setEcho([this](const ScriptedPrompter::Record &record) {
        m_commands.changeStatusBarStyle(1);
        m_statusPanel->setText(record.text);
    });
    Prompter &previous = prompter();
    setPrompter(&quiet);
    m_quiet = true;
    visitLoad(VisitLoadCommand);
    m_quiet = IsRunning();
    setPrompter(&previous);
}

/** Visit load (command 9) or all boards (10): says so and starts nothing when no board qualifies. */
void RunController::visitLoad(RunCommandIndex command)
{
    if (IsRunning() || !m_database())
        return;
    LoadRun chooser(m_cbbs, *m_database());
    const std::optional<QList<int>> boards
        = chooser.ChooseBoards(command == VisitLoadCommand ? LoadRun::Selection::Visit : LoadRun::Selection::AllBoards);
    if (!boards)
        return;
    if (boards->isEmpty()) {
        prompter().information(LoadRun::NoBoardsText());
        return;
    }
    loadBoards(*boards, true);
}

/** Starts a load run over @p boards; boardLoaded() follows each board and endLoad() the end. */
void RunController::loadBoards(const QList<int> &boards, bool NoReadLoad)
{
    if (IsRunning() || !m_database())
        return;
    beginRun(RunState::Loading, u"受信"_s);
    m_loadRun = new LoadRun(m_cbbs, *m_database(), this);
    connect(m_loadRun, &LoadRun::BoardStarted, this, [this](const CBBSProperty &board, bool hasNext) {
        m_boardStarted = true;
        if (frmLoadDlg *dialog = LoadDialog())
            dialog->InitNewBBS(board, hasNext);
    });
    connect(m_loadRun, &LoadRun::BoardFinished, this, &RunController::boardLoaded);
    connect(&m_cbbs, &CBBS::PageRequested, m_loadRun, [this](int Page, int Pages) {
        if (frmLoadDlg *dialog = LoadDialog())
            dialog->ShowPage(Page, Pages);
    });
    connect(m_loadRun, &LoadRun::Finished, this, &RunController::endLoad);
    holdRepaints();
    m_loadRun->Start(boards, NoReadLoad);
}

void RunController::boardLoaded(const LoadRun::Outcome &outcome)
{
    HoldStatusBar();
    m_statusPanel->setText(outcome.Text);
    frmLoadDlg *dialog = LoadDialog();
    // The next board waits for this board's page and cache line, so the log keeps each
    // board's lines together.
    if (dialog && !dialog->EndBBS(outcome))
        waitForPage(true);
    // A dialog closed during the run, or told not to go on, ends it after this board. A board
    // that could not be read never reached the dialog, which then tells nothing about it.
    const bool started = std::exchange(m_boardStarted, false);
    if (!dialog || (started && !dialog->IsNextBBS()))
        m_loadRun->StopAfterBoard();
}

/**
 * The progress dialog asks whether the run goes on with the next board (@p open), or has been
 * answered: meanwhile the run starts no board, and a No ends it.
 */
void RunController::runQuestion(bool open)
{
    if (!m_loadRun || m_questionOpen == open)
        return;
    m_questionOpen = open;
    if (open) {
        m_loadRun->Hold();
        return;
    }
    if (!m_loadDlg || !m_loadDlg->IsNextBBS())
        m_loadRun->StopAfterBoard();
    m_loadRun->Release();
}

/** The run waits for (@p wait), or no longer for, the page of the board that has just ended. */
void RunController::waitForPage(bool wait)
{
    if (!m_loadRun || m_pageWaited == wait)
        return;
    m_pageWaited = wait;
    if (wait)
        m_loadRun->Hold();
    else
        m_loadRun->Release();
}

void RunController::endLoad()
{
    flushLoadedRows();
    m_holdStatusBar = nullptr;
    m_repaintThrottles.clear();
    m_pageWaited = false;
    const bool failed = m_loadRun->AnyFailed();
    if (m_closing) {
        std::exchange(m_loadRun, nullptr)->deleteLater();
        finishClosing();
        return;
    }
    if (frmLoadDlg *dialog = LoadDialog()) {
        dialog->LogFailures(m_loadRun->Outcomes());
        dialog->setWindowTitle(u"完了 - "_s + mdlApp::GetAppTitle());
        dialog->setButtonMode(0);
        // A dialog nobody saw stays, for the window's return, only when its log tells of a failure.
        if (m_quiet && !dialog->isVisible() && !failed)
            dialog->Unload();
    }
    std::exchange(m_loadRun, nullptr)->deleteLater();
    endRun();
    emit RunFinished();
}

void RunController::importFiles()
{
    if (IsRunning() || !m_database())
        return;
    const QString filter = ImportFileFilter(m_current, CBBS::CanUseUnlha());
    const QStringList files = windowDialogs().OpenFiles(filter, m_window);
    if (files.isEmpty() || !ImportRun::ConfirmImport(*m_database(), m_current, files))
        return;
    importRun(m_current.ID(), files);
}

/** Starts an import run of @p FileNames into board @p BBS_ID; endImport() follows its end. */
void RunController::importRun(int BBS_ID, const QStringList &FileNames)
{
    if (IsRunning() || !m_database())
        return; // a run started, or the program shut down, while a question was open
    beginRun(RunState::Importing, u"インポート"_s);
    m_importRun = new ImportRun(m_cbbs, this);
    m_importBoard = BBS_ID;
    connect(m_importRun, &ImportRun::InfoChanged, this, [this](const QString &text, int row, bool addLog) {
        if (frmLoadDlg *dialog = LoadDialog())
            dialog->UpdateInfo(text, row, addLog);
    });
    connect(m_importRun, &ImportRun::Finished, this, &RunController::endImport);
    m_importRun->Start(BBS_ID, FileNames, mdlOption::ImportReadMode);
}

void RunController::endImport(const ImportRun::Result &result)
{
    std::exchange(m_importRun, nullptr)->deleteLater();
    if (m_closing) {
        finishClosing();
        return;
    }
    endRun();
    // Imported messages show in the shown board at once, as received ones do.
    if (result.Total > 0 && m_importBoard == mdlOption::BBS_ID) {
        m_commands.updateBoardCaption(m_importBoard, 0);
        m_commands.refreshNewestRows();
    }
    m_statusPanel->setText(result.Outcome);
    if (frmLoadDlg *dialog = LoadDialog()) {
        dialog->setButtonMode(0);
        if (mdlOption::AutoCloseImportDialog)
            dialog->close();
        else
            dialog->setWindowTitle(u"完了 - "_s + mdlApp::GetAppTitle());
    }
    emit RunFinished();
}

/** Before a status-bar text changes: during a load run the bar repaints at most every 150 ms. */
void RunController::HoldStatusBar()
{
    if (m_holdStatusBar)
        m_holdStatusBar();
}

/** For a load run: the list and the status bar repaint at most every RepaintThrottle::RepaintMs. */
void RunController::holdRepaints()
{
    // The list's scroll bars too: their range grows with every row.
    auto list = std::make_unique<RepaintThrottle>(m_boardList, m_boardList->viewport());
    connect(m_boardList->model(), &QAbstractItemModel::rowsInserted, list.get(), &RepaintThrottle::hold);
    auto status = std::make_unique<RepaintThrottle>(m_statusBar, m_statusBar);
    m_holdStatusBar = [throttle = status.get()] { throttle->hold(); };
    m_repaintThrottles.push_back(std::move(list));
    m_repaintThrottles.push_back(std::move(status));
}

/**
 * The window's side of a run's start; @p state Loading adds the caption prefix and the blinking
 * icon. The progress dialog opens anew.
 */
void RunController::beginRun(RunState state, const QString &Caption)
{
    m_runState = state;
    m_indexer.Stop();
    m_questionOpen = false;
    m_received.clear();
    m_commands.changeMenuEnabled();
    m_commands.changeStatusBarStyle(1);
    m_statusPanel->clear();
    if (state == RunState::Loading) {
        m_window->setWindowTitle(RunningPrefix + m_window->windowTitle());
        if (mdlOption::BlinkIcon)
            m_commands.setBlinking(true);
    }
    m_cbbs.InitCancel();
    if (m_loadDlg)
        m_loadDlg->Unload();
    m_loadDlg = new frmLoadDlg(m_window);
    connect(m_loadDlg, &frmLoadDlg::CancelRequested, &m_cbbs, &CBBS::Cancel);
    connect(m_loadDlg, &frmLoadDlg::Asking, this, &RunController::runQuestion);
    // A dialog gone before its question was answered must not hold the run for ever.
    connect(m_loadDlg, &frmLoadDlg::BoardSettled, this, [this] { waitForPage(false); });
    connect(m_loadDlg, &QObject::destroyed, this, [this] {
        runQuestion(false);
        waitForPage(false);
    });
    m_loadDlg->setAttribute(Qt::WA_ShowWithoutActivating, m_quiet);
    m_loadDlg->ShowDialog(Caption, m_window, !m_quiet || m_window->isVisible());
}

/** The window's side of a run's end: the board, page menus, commands, counts and caption. */
void RunController::endRun()
{
    flushLoadedRows();
    if (Database *db = m_database())
        m_current.GetProperty(mdlOption::BBS_ID, *db);
    m_runState = RunState::Idle;
    m_indexer.Start(false);
    m_quiet = false;
    m_commands.changeBBSViewMenu();
    m_commands.changeMenuEnabled();
    m_commands.showNoReadPoint();
    mdlRead::ShowUnreadCount(m_lists, m_lists.CurrentList());
    if (m_window->windowTitle().startsWith(RunningPrefix))
        m_window->setWindowTitle(m_window->windowTitle().mid(RunningPrefix.size()));
    m_commands.setBlinking(false);
}

void RunController::AbandonForClose()
{
    m_closing = true;
    m_indexer.Stop();
    if (m_loadRun)
        m_loadRun->Abandon();
    m_cbbs.Cancel();
    if (m_loadDlg)
        m_loadDlg->Unload();
}

/** The run that the closing window abandoned has ended: the window unloads and closes now. */
void RunController::finishClosing()
{
    m_runState = RunState::Idle;
    m_commands.unload();
    m_window->close();
    emit RunFinished();
}

/** New message (@p Reply false) to the shown board, or a reply to the selected message. */
void RunController::sendMessage(bool Reply)
{
    CMessage message;
    message.BBS_ID = mdlOption::BBS_ID;
    if (Reply) {
        const ListIndex index = m_lists.CurrentList();
        const int row = index == ResultList && m_commands.listKind() == 1 ? -1 : m_commands.selectedRow(index);
        if (row < 0)
            return; // no message to answer
        const CMessage &selected = m_lists.lsvMsgList(index).Message(row);
        message.BBS_ID = selected.BBS_ID;
        message.ID = selected.ID;
    }
    m_cbbs.Send(message, Reply);
}

void RunController::UnloadDialog()
{
    if (m_loadDlg)
        m_loadDlg->Unload();
}

void RunController::onLoaded(const CMessage &Msg)
{
    // Rows go into the list, and board menus change their counts, together at most every
    // LoadedRowsMs: the view lays the rows out and the menus change once per batch rather
    // than once per message or page.
    if (m_loadedRows.isEmpty() && m_loadedCounts.isEmpty()) {
        const qint64 wait = m_sinceRowsListed.isValid() ? LoadedRowsMs - m_sinceRowsListed.elapsed() : 0;
        QTimer::singleShot(int(std::clamp<qint64>(wait, 0, LoadedRowsMs)), this, &RunController::flushLoadedRows);
    }
    if (m_cbbs.IsLoad() && Msg.BBS_ID == mdlOption::BBS_ID)
        m_loadedRows.append(Msg);
    // The menus count unread messages: one stored read (an NG rule's, a read import) adds none.
    m_loadedCounts[Msg.BBS_ID] += Msg.Read ? 0 : 1;
    if (m_runState == RunState::Loading) {
        const auto board = std::find_if(m_received.begin(), m_received.end(),
                                        [&Msg](const std::pair<int, int> &count) { return count.first == Msg.BBS_ID; });
        if (board == m_received.end())
            m_received.append({Msg.BBS_ID, 1});
        else
            ++board->second;
    }
}

void RunController::flushLoadedRows()
{
    if (m_loadedRows.isEmpty() && m_loadedCounts.isEmpty())
        return;
    m_sinceRowsListed.start();
    const QHash<int, int> counts = std::exchange(m_loadedCounts, {});
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        m_commands.updateBoardCaption(it.key(), it.value());
    QList<CMessage> rows = std::exchange(m_loadedRows, {});
    // The user may have moved to another board since: its list was filled from storage. On an
    // older page the new rows do not belong; only the board's counts change.
    if (!m_commands.showsNewestRows())
        return;
    rows.removeIf([](const CMessage &msg) { return msg.BBS_ID != mdlOption::BBS_ID; });
    m_lists.AddMessageItems(0, rows);
}

void RunController::onStateChanged(const QString &Text, bool ShowStatus, bool AddLog)
{
    if (ShowStatus) {
        HoldStatusBar();
        m_commands.changeStatusBarStyle(1);
        m_statusPanel->setText(Text);
    }
    if (frmLoadDlg *dialog = LoadDialog())
        dialog->UpdateInfo(Text, 2, AddLog);
}

void RunController::onLoadError(int BBS_ID, const QString &EntryText, const QString &Message)
{
    CBBSProperty board;
    if (Database *db = m_database(); db && board.GetProperty(BBS_ID, *db))
        mdlErrorLog::AppendErrorLog(board.GetErrorLogFileName(), EntryText);
    if (frmLoadDlg *dialog = LoadDialog())
        dialog->UpdateInfo(Message, 2, true);
}
