// The main window's runs: loading boards, importing files, the progress dialog, and handing new
// messages and replies to the board's forms.
#include "viewer/frmView.h"

#include "app/Prompter.h"
#include "app/mdlApp.h"
#include "app/mdlExecuteLite.h"
#include "app/mdlOption.h"
#include "db/mdlDatabase.h"
#include "startup/mdlMain.h"
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
    const auto wire = [this](const QString &name, int command) {
        connect(m_menu.value(name), &QAction::triggered, this, [this, command] { RunCommand(command); });
    };
    wire(u"mnuFileImportFile"_s, 1);
    wire(u"mnuFileImportInternet"_s, 2);
    wire(u"mnuFileImportKakolog"_s, 3);
    wire(u"mnuFileExport"_s, 4);
    wire(u"mnuBBSLoad"_s, 7);
    wire(u"mnuBBSAllLoad"_s, 8);
    wire(u"mnuBBSVisitLoad"_s, 9);
    wire(u"mnuBBSAllVisitLoad"_s, 10);
    wire(u"mnuBBSNew"_s, 11);
    wire(u"mnuBBSReply"_s, 12);
    for (const auto &[key, menu] : {std::pair(u"Load"_s, u"mnuBBSLoad"_s), std::pair(u"VisitLoad"_s, u"mnuBBSVisitLoad"_s),
                                    std::pair(u"New"_s, u"mnuBBSNew"_s), std::pair(u"Reply"_s, u"mnuBBSReply"_s)}) {
        connect(m_buttons.value(key), &QAction::triggered, m_menu.value(menu), &QAction::trigger);
    }
}

void frmView::RunCommand(int Index)
{
    switch (Index) {
    case 1:
        importFiles();
        break;
    case 2:
    case 4:
        prompter().information(u"未実装m(_ _)m"_s);
        break;
    case 3:
        mdlExecuteLite::ShellOpen(pastLogPageAddress());
        break;
    case 5:
        close();
        break;
    case 7:
    case 8:
        loadBoards({mdlOption::BBS_ID}, Index == 7);
        break;
    case 9:
    case 10:
        visitLoad(Index);
        break;
    case 11:
    case 12:
        sendMessage(Index == 12);
        break;
    default:
        break;
    }
}

bool frmView::IsRunning() const
{
    return m_running;
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
void frmView::visitLoad(int command)
{
    if (m_running || !gDB)
        return;
    LoadRun chooser(m_cbbs, *gDB);
    const std::optional<QList<int>> boards
        = chooser.ChooseBoards(command == 9 ? LoadRun::Selection::Visit : LoadRun::Selection::AllBoards);
    if (!boards)
        return;
    if (boards->isEmpty()) {
        prompter().information(LoadRun::NoBoardsText());
        return;
    }
    loadBoards(*boards, true);
}

void frmView::loadBoards(const QList<int> &boards, bool NoReadLoad)
{
    if (m_running || !gDB)
        return;
    beginRun(true, u"受信"_s);
    LoadRun run(m_cbbs, *gDB);
    m_loadRun = &run;
    bool started = false; // false for a board that could not be read: it never reached the dialog
    connect(&run, &LoadRun::BoardStarted, this, [this, &started](const CBBSProperty &board, bool hasNext) {
        started = true;
        if (frmLoadDlg *dialog = LoadDialog())
            dialog->InitNewBBS(board, hasNext);
    });
    connect(&run, &LoadRun::BoardFinished, this, [this, &run, &started](const LoadRun::Outcome &outcome) {
        holdStatusBar();
        m_panels.value(u"Status"_s)->setText(outcome.Text);
        frmLoadDlg *dialog = LoadDialog();
        if (dialog)
            dialog->UpdateInfo(outcome.Text, 3, true);
        // A dialog closed during the run, or told not to go on, ends it after this board.
        if (!dialog || (started && !dialog->IsNextBBS()))
            run.StopAfterBoard();
        started = false;
    });
    {
        // The list's scroll bars too: their range grows with every row.
        RepaintThrottle listThrottle(lsvMsgList(0), lsvMsgList(0)->viewport());
        connect(lsvMsgList(0)->model(), &QAbstractItemModel::rowsInserted, &listThrottle, &RepaintThrottle::hold);
        RepaintThrottle statusThrottle(statusBar(), statusBar());
        m_holdStatusBar = [&statusThrottle] { statusThrottle.hold(); };
        run.Run(boards, NoReadLoad);
        flushLoadedRows();
        m_holdStatusBar = nullptr;
    }
    m_loadRun = nullptr;
    if (m_closing) {
        m_running = false;
        unload();
        return;
    }
    if (frmLoadDlg *dialog = LoadDialog()) {
        dialog->setWindowTitle(u"完了 - "_s + mdlApp::GetAppTitle());
        dialog->setButtonMode(0);
    }
    endRun();
}

void frmView::importFiles()
{
    if (m_running || !gDB)
        return;
    const QString filter = ImportFileFilter(m_current, CBBS::CanUseUnlha());
    const QStringList files = windowDialogs().OpenFiles(filter, this);
    if (files.isEmpty() || !ImportRun::ConfirmImport(*gDB, m_current, files))
        return;
    importRun(m_current.ID(), files);
}

void frmView::importRun(int BBS_ID, const QStringList &FileNames)
{
    if (m_running || !gDB)
        return; // the program shut down while the confirmation was open
    beginRun(false, u"インポート"_s);
    ImportRun run(m_cbbs);
    connect(&run, &ImportRun::InfoChanged, this, [this](const QString &text, int row, bool addLog) {
        if (frmLoadDlg *dialog = LoadDialog())
            dialog->UpdateInfo(text, row, addLog);
    });
    const ImportRun::Result result = run.Run(BBS_ID, FileNames, mdlOption::ImportReadMode);
    if (m_closing) {
        m_running = false;
        unload();
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
}

/** Before a status-bar text changes: during a load run the bar repaints at most every 150 ms. */
void frmView::holdStatusBar()
{
    if (m_holdStatusBar)
        m_holdStatusBar();
}

/** The window's side of a run's start; @p load adds the caption prefix and the blinking icon. */
void frmView::beginRun(bool load, const QString &Caption)
{
    m_running = true;
    ChangeMenuEnabled(true);
    ChangeStatusBarStyle(1);
    m_panels.value(u"Status"_s)->clear();
    if (load) {
        setWindowTitle(RunningPrefix + windowTitle());
        if (mdlOption::BlinkIcon)
            SetBlinking(true);
    }
    m_cbbs.InitCancel();
    if (m_loadDlg)
        m_loadDlg->Unload();
    m_loadDlg = new frmLoadDlg(this);
    connect(m_loadDlg, &frmLoadDlg::CancelRequested, &m_cbbs, &CBBS::Cancel);
    m_loadDlg->ShowDialog(Caption, this);
}

/** The window's side of a run's end: the board, page menus, commands, counts and caption. */
void frmView::endRun()
{
    flushLoadedRows();
    if (gDB)
        m_current.GetProperty(mdlOption::BBS_ID, *gDB);
    ChangeBBSViewMenu();
    ChangeMenuEnabled(false);
    ShowNoReadPoint();
    mdlRead::ShowUnreadCount(m_lists, m_lists.CurrentList());
    if (windowTitle().startsWith(RunningPrefix))
        setWindowTitle(windowTitle().mid(RunningPrefix.size()));
    SetBlinking(false);
    m_running = false;
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
