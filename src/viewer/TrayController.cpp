#include "viewer/TrayController.h"

#include "app/mdlApp.h"
#include "app/mdlOption.h"
#include "viewer/BoardMenus.h"
#include "viewer/frmLoadDlg.h"

#include <QAction>
#include <QEvent>
#include <QMenu>
#include <QPointer>
#include <QTimer>
#include <QWidget>

using namespace Qt::StringLiterals;

namespace {

/** The animation frames are SMALLICON1 to SMALLICON4; the last one is the resting picture. */
constexpr int FrameCount = 4;
constexpr int BlinkIntervalMs = 1000;
constexpr int RightButton = 2;
/** Boards a notification names; the rest count in its total only. */
constexpr int NotifiedBoards = 3;

QIcon frameIcon(int frame)
{
    return QIcon(u":/images/SMALLICON%1.svg"_s.arg(frame));
}

} // namespace

TrayController::TrayController(QWidget &window, BoardMenus &boards, Commands commands)
    : m_window(window),
      m_commands(std::move(commands)),
      m_ownBlinkTimer(std::make_unique<QtOneShotTimer>()),
      tmrBlinkIcon(m_ownBlinkTimer.get())
{
    m_tray.SetIcon(window.windowIcon());
    m_tray.SetTooltipText(mdlApp::GetAppTitle());
    createMenu(boards);
    connect(&m_tray, &CTray::DblClick, this, &TrayController::RestoreMainWindow);
    connect(&m_tray, &CTray::MouseUp, this, [this](int button) {
        if (button == RightButton)
            m_tray.PopupMenu(mnuTray, mnuTray->findChild<QAction *>(u"mnuTrayShow"_s));
    });
    connect(&m_tray, &CTray::MessageClicked, this, [this] {
        RestoreMainWindow();
        if (m_notifiedBoard != 0)
            m_commands.showBoard(m_notifiedBoard);
    });
    window.installEventFilter(this);
    UpdateTrayVisibility();
}

QAction *TrayController::addItem(const QString &name, const QString &caption)
{
    QAction *item = mnuTray->addAction(caption);
    item->setObjectName(name);
    return item;
}

void TrayController::createMenu(BoardMenus &boards)
{
    mnuTray = new QMenu(u"タスクトレイ"_s, &m_window);
    mnuTray->setObjectName(u"mnuTray"_s);
    mnuTray->menuAction()->setObjectName(u"mnuTray"_s);
    const auto boardMenu = [this, &boards](const QString &name, const QString &caption, bool showCounts,
                                           std::function<void(int)> onChosen) {
        QMenu *menu = mnuTray->addMenu(caption);
        menu->setObjectName(name);
        menu->menuAction()->setObjectName(name);
        boards.AttachMenu(menu, name + u"Sub"_s, showCounts, std::move(onChosen));
    };
    const auto separator = [this](const QString &name) { mnuTray->addSeparator()->setObjectName(name); };

    connect(addItem(u"mnuTrayShow"_s, u"表示(&V)"_s), &QAction::triggered, this, &TrayController::RestoreMainWindow);
    boardMenu(u"mnuTrayBBS"_s, u"指定した掲示板を表示(&B)"_s, true, [this](int id) {
        RestoreMainWindow();
        m_commands.showBoard(id);
    });
    separator(u"mnuTrayBar1"_s);
    connect(addItem(u"mnuTrayLoad"_s, u"受信(&L)"_s), &QAction::triggered, this, [this] {
        RestoreMainWindow();
        m_commands.load();
    });
    connect(addItem(u"mnuTrayVisitLoad"_s, u"巡回受信(&I)"_s), &QAction::triggered, this, [this] {
        RestoreMainWindow();
        m_commands.visitLoad();
    });
    separator(u"mnuTrayBar2"_s);
    boardMenu(u"mnuTrayNew"_s, u"新規投稿(&N)"_s, false, [this](int id) { m_commands.newMessage(id); });
    separator(u"mnuTrayBar3"_s);
    connect(addItem(u"mnuTrayExit"_s, u"終了(&X)"_s), &QAction::triggered, &m_window, &QWidget::close);
}

QList<QAction *> TrayController::MenuItems() const
{
    QList<QAction *> items = mnuTray->actions();
    items.removeIf([](const QAction *item) { return item->isSeparator(); });
    return items;
}

void TrayController::UpdateTrayVisibility()
{
    if (mdlOption::AddTaskTray)
        m_tray.AddIcon(&m_window);
    else
        m_tray.DeleteIcon();
}

void TrayController::RestoreMainWindow()
{
    const auto bringToFront = [](QWidget *window) {
        window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
        window->show();
        window->raise();
        window->activateWindow();
    };
    bringToFront(&m_window);
    // Also the dialog of a timed run that began while the window was hidden, and was not shown.
    if (auto *dialog = m_window.findChild<frmLoadDlg *>(u"frmLoadDlg"_s); dialog && dialog->IsLoad())
        bringToFront(dialog);
}

void TrayController::NotifyReceived(const QList<std::pair<int, int>> &counts,
                                    const std::function<QString(int BBS_ID)> &boardName)
{
    if (counts.isEmpty() || !mdlOption::NotifyNewMessages || (m_window.isVisible() && !m_window.isMinimized()))
        return;
    m_notifiedBoard = counts.first().first;
    m_tray.ShowMessage(mdlApp::GetAppTitle(), NotificationText(counts, boardName));
}

QString TrayController::NotificationText(const QList<std::pair<int, int>> &counts,
                                         const std::function<QString(int BBS_ID)> &boardName)
{
    int total = 0;
    for (const auto &[board, count] : counts)
        total += count;
    QStringList lines{QString::number(total) + u"件の新着メッセージ"_s};
    for (const auto &[board, count] : counts.first(std::min<qsizetype>(counts.size(), NotifiedBoards)))
        lines.append(u"%1 (%2件)"_s.arg(boardName(board), QString::number(count))); // a name may hold "%2"
    return lines.join(u'\n');
}

bool TrayController::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != &m_window || event->type() != QEvent::WindowStateChange || !m_window.isMinimized())
        return false;
    // Only into an icon that is really there: without one the window could not come back.
    if (mdlOption::AddTaskTray && mdlOption::HideAtMinimazed && m_tray.Visible())
        QTimer::singleShot(0, this, [this] {
            if (m_window.isMinimized())
                m_window.hide();
        });
    return false;
}

void TrayController::SetBlinkTimer(OneShotTimer *timer)
{
    tmrBlinkIcon->Stop();
    tmrBlinkIcon = timer;
    if (m_blinking)
        armBlinkTimer();
}

void TrayController::SetBlinking(bool on)
{
    if (on && mdlOption::BlinkIcon) {
        m_blinking = true;
        armBlinkTimer();
        setFrame(false);
    } else if (!on) {
        m_blinking = false;
        tmrBlinkIcon->Stop();
        setFrame(true);
    }
}

void TrayController::armBlinkTimer()
{
    // A timer handed in by a test may outlive the window.
    tmrBlinkIcon->Start(BlinkIntervalMs, [tray = QPointer<TrayController>(this)] {
        if (tray)
            tray->blinkTick();
    });
}

void TrayController::blinkTick()
{
    setFrame(false);
    armBlinkTimer();
}

/**
 * Shows the next animation frame as the window's and the icon's picture, or with @p reset the
 * resting frame. After the resting frame the next run starts again at frame 1.
 */
void TrayController::setFrame(bool reset)
{
    if (m_trayFrame == 0)
        m_trayFrame = 1;
    if (reset)
        m_trayFrame = FrameCount;
    if (m_trayFrame > FrameCount)
        m_trayFrame = 1;
    m_window.setWindowIcon(frameIcon(m_trayFrame));
    m_tray.SetIcon(m_window.windowIcon());
    ++m_trayFrame;
}
