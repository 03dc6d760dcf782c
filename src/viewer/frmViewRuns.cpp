// The main window's runs: loading boards, importing files, the progress dialog, and handing new
// messages and replies to the board's forms.
#include "viewer/frmView.h"

#include "app/Prompter.h"
#include "app/mdlApp.h"
#include "app/mdlExecuteLite.h"
#include "app/mdlOption.h"
#include "db/mdlDatabase.h"
#include "transfer/ImportRun.h"
#include "transfer/LoadRun.h"
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

void frmView::connectRunCommands()
{
    const auto wire = [this](const QString &name, RunCommandIndex command) {
        connect(m_menu.value(name), &QAction::triggered, this, [this, command] { RunCommand(command); });
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
        connect(m_buttons.value(key), &QAction::triggered, m_menu.value(menu), &QAction::trigger);
    }
}

void frmView::RunCommand(RunCommandIndex Index)
{
    switch (Index) {
    case ImportFileCommand:
        importFiles();
        break;
    case ImportInternetCommand:
    case ExportCommand:
        prompter().information(u"未実装m(_ _)m"_s);
        break;
    case PastLogPageCommand:
        mdlExecuteLite::ShellOpen(pastLogPageAddress());
        break;
    case CloseCommand:
        close();
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

bool frmView::IsRunning() const
{
    return m_runState != RunState::Idle;
}

frmLoadDlg *frmView::LoadDialog() const
{
    return m_loadDlg && m_loadDlg->IsLoad() ? m_loadDlg.data() : nullptr;
}

QString frmView::ImportFileFilter(const CBBSProperty &Board, bool CanUseUnlha)
{
    QString filter;
    if (const QString pattern = Board.DefaultLogFile(); !pattern.isEmpty())
        filter = Board.BBS_Name() + u"用ログファイル("_s + pattern + u")|"_s + pattern + u'|';
    filter += u"テキストファイル(*.txt;*.log)|*.txt;*.log|"_s;
    if (CanUseUnlha)
        filter += u"LHA書庫ファイル(*.lzh)|*.lzh|"_s;
    return filter + u"全てのファイル(*.*)|*.*"_s;
}

/** Visit load (command 9) or all boards (10): says so and starts nothing when no board qualifies. */
void frmView::visitLoad(RunCommandIndex command)
{
    if (IsRunning() || !database())
        return;
    LoadRun chooser(m_cbbs, *database());
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
void frmView::loadBoards(const QList<int> &boards, bool NoReadLoad)
{
    if (IsRunning() || !database())
        return;
    beginRun(RunState::Loading, u"受信"_s);
    m_loadRun = new LoadRun(m_cbbs, *database(), this);
    connect(m_loadRun, &LoadRun::BoardStarted, this, [this](const CBBSProperty &board, bool hasNext) {
        m_boardStarted = true;
        if (frmLoadDlg *dialog = LoadDialog())
            dialog->InitNewBBS(board, hasNext);
    });
    connect(m_loadRun, &LoadRun::BoardFinished, this, &frmView::boardLoaded);
    connect(m_loadRun, &LoadRun::Finished, this, &frmView::endLoad);
    holdRepaints();
    m_loadRun->Start(boards, NoReadLoad);
}

void frmView::boardLoaded(const LoadRun::Outcome &outcome)
{
    holdStatusBar();
    m_panels.value(u"Status"_s)->setText(outcome.Text);
    frmLoadDlg *dialog = LoadDialog();
    if (dialog)
        dialog->UpdateInfo(outcome.Text, 3, true);
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
void frmView::runQuestion(bool open)
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

void frmView::endLoad()
{
    flushLoadedRows();
    m_holdStatusBar = nullptr;
    m_repaintThrottles.clear();
    std::exchange(m_loadRun, nullptr)->deleteLater();
    if (m_closing) {
        finishClosing();
        return;
    }
    if (frmLoadDlg *dialog = LoadDialog()) {
        dialog->setWindowTitle(u"完了 - "_s + mdlApp::GetAppTitle());
        dialog->setButtonMode(0);
    }
    endRun();
    emit RunFinished();
}

void frmView::importFiles()
{
    if (IsRunning() || !database())
        return;
    const QString filter = ImportFileFilter(m_current, CBBS::CanUseUnlha());
    const QStringList files = windowDialogs().OpenFiles(filter, this);
    if (files.isEmpty() || !ImportRun::ConfirmImport(*database(), m_current, files))
        return;
    importRun(m_current.ID(), files);
}

/** Starts an import run of @p FileNames into board @p BBS_ID; endImport() follows its end. */
void frmView::importRun(int BBS_ID, const QStringList &FileNames)
{
    if (IsRunning() || !database())
        return; // a run started, or the program shut down, while a question was open
    beginRun(RunState::Importing, u"インポート"_s);
    m_importRun = new ImportRun(m_cbbs, this);
    connect(m_importRun, &ImportRun::InfoChanged, this, [this](const QString &text, int row, bool addLog) {
        if (frmLoadDlg *dialog = LoadDialog())
            dialog->UpdateInfo(text, row, addLog);
    });
    connect(m_importRun, &ImportRun::Finished, this, &frmView::endImport);
    m_importRun->Start(BBS_ID, FileNames, mdlOption::ImportReadMode);
}

void frmView::endImport(const ImportRun::Result &result)
{
    std::exchange(m_importRun, nullptr)->deleteLater();
    if (m_closing) {
        finishClosing();
        return;
    }
    m_panels.value(u"Status"_s)->setText(result.Outcome);
    endRun();
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
void frmView::holdStatusBar()
{
    if (m_holdStatusBar)
        m_holdStatusBar();
}

/** For a load run: the list and the status bar repaint at most every RepaintThrottle::RepaintMs. */
void frmView::holdRepaints()
{
    // The list's scroll bars too: their range grows with every row.
    auto list = std::make_unique<RepaintThrottle>(lsvMsgList(0), lsvMsgList(0)->viewport());
    connect(lsvMsgList(0)->model(), &QAbstractItemModel::rowsInserted, list.get(), &RepaintThrottle::hold);
    auto status = std::make_unique<RepaintThrottle>(statusBar(), statusBar());
    m_holdStatusBar = [throttle = status.get()] { throttle->hold(); };
    m_repaintThrottles.push_back(std::move(list));
    m_repaintThrottles.push_back(std::move(status));
}

/**
 * The window's side of a run's start; @p state Loading adds the caption prefix and the blinking
 * icon. The progress dialog opens anew.
 */
void frmView::beginRun(RunState state, const QString &Caption)
{
    m_runState = state;
    m_questionOpen = false;
    ChangeMenuEnabled();
    ChangeStatusBarStyle(1);
    m_panels.value(u"Status"_s)->clear();
    if (state == RunState::Loading) {
        setWindowTitle(RunningPrefix + windowTitle());
        if (mdlOption::BlinkIcon)
            SetBlinking(true);
    }
    m_cbbs.InitCancel();
    if (m_loadDlg)
        m_loadDlg->Unload();
    m_loadDlg = new frmLoadDlg(this);
    connect(m_loadDlg, &frmLoadDlg::CancelRequested, &m_cbbs, &CBBS::Cancel);
    connect(m_loadDlg, &frmLoadDlg::Asking, this, &frmView::runQuestion);
    // A dialog gone before its question was answered must not hold the run for ever.
    connect(m_loadDlg, &QObject::destroyed, this, [this] { runQuestion(false); });
    m_loadDlg->ShowDialog(Caption, this);
}

/** The window's side of a run's end: the board, page menus, commands, counts and caption. */
void frmView::endRun()
{
    flushLoadedRows();
    if (Database *db = database())
        m_current.GetProperty(mdlOption::BBS_ID, *db);
    m_runState = RunState::Idle;
    ChangeBBSViewMenu();
    ChangeMenuEnabled();
    ShowNoReadPoint();
    mdlRead::ShowUnreadCount(m_lists, m_lists.CurrentList());
    if (windowTitle().startsWith(RunningPrefix))
        setWindowTitle(windowTitle().mid(RunningPrefix.size()));
    SetBlinking(false);
}

/** The window is closing during a run: the run stops at its next step without asking. */
void frmView::abandonRun()
{
    if (m_loadRun)
        m_loadRun->Abandon();
    m_cbbs.Cancel();
    if (m_loadDlg)
        m_loadDlg->Unload();
}

/** The run that the closing window abandoned has ended: the window unloads and closes now. */
void frmView::finishClosing()
{
    m_runState = RunState::Idle;
    unload();
    close();
    emit RunFinished();
}

/** New message (@p Reply false) to the shown board, or a reply to the selected message. */
void frmView::sendMessage(bool Reply)
{
    CMessage message;
    message.BBS_ID = mdlOption::BBS_ID;
    if (Reply) {
        const int index = m_lists.CurrentList();
        const int row = index == 1 && ListKind() == 1 ? -1 : selectedRow(index);
        if (row < 0)
            return; // no message to answer
        const CMessage &selected = m_lists.lsvMsgList(index).Message(row);
        message.BBS_ID = selected.BBS_ID;
        message.ID = selected.ID;
    }
    m_cbbs.Send(message, Reply);
}
