// The main window's notification-area icon: its menu, hiding on minimise, the icon animation
// during a receive run, and the (unimplemented) timer command.

#include "viewer/frmView.h"

#include "app/Prompter.h"
#include "app/mdlApp.h"
#include "app/mdlOption.h"
#include "db/CMessage.h"
#include "viewer/CTray.h"

#include <QAction>
#include <QEvent>
#include <QMenu>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace {

/** The animation frames are SMALLICON1 to SMALLICON4; the last one is the resting picture. */
constexpr int FrameCount = 4;
constexpr int BlinkIntervalMs = 1000;
constexpr int RightButton = 2;

QIcon frameIcon(int frame)
{
    return QIcon(u":/images/SMALLICON%1.svg"_s.arg(frame));
}

} // namespace

void frmView::createTray()
{
    mTray = new CTray(this);
    mTray->SetIcon(windowIcon());
    mTray->SetTooltipText(mdlApp::GetAppTitle());
    m_ownBlinkTimer = std::make_unique<QtOneShotTimer>();
    tmrBlinkIcon = m_ownBlinkTimer.get();
    createTrayMenu();
    connect(mTray, &CTray::DblClick, this, &frmView::RestoreMainWindow);
    connect(mTray, &CTray::MouseUp, this, [this](int button) {
        if (button == RightButton)
            mTray->PopupMenu(findChild<QMenu *>(u"mnuTray"_s), m_menu.value(u"mnuTrayShow"_s));
    });

    const auto notImplemented = [] { prompter().information(u"未実装m(_ _)m"_s); };
    connect(m_menu.value(u"mnuToolTimer"_s), &QAction::triggered, this, notImplemented);
    connect(m_buttons.value(u"Timer"_s), &QAction::triggered, this, notImplemented);

    UpdateTrayVisibility();
}

void frmView::createTrayMenu()
{
    auto *mnuTray = findChild<QMenu *>(u"mnuTray"_s);
    QAction *show = menuItem(mnuTray, u"mnuTrayShow"_s, u"表示(&V)"_s);
    connect(show, &QAction::triggered, this, &frmView::RestoreMainWindow);
    QMenu *boards = subMenu(mnuTray, u"mnuTrayBBS"_s, u"指定した掲示板を表示(&B)"_s);
    m_boards.AttachMenu(boards, u"mnuTrayBBSSub"_s, true, [this](int id) {
        RestoreMainWindow();
        SelectBoard(id);
    });
    mnuTray->addSeparator()->setObjectName(u"mnuTrayBar1"_s);
    connect(menuItem(mnuTray, u"mnuTrayLoad"_s, u"受信(&L)"_s), &QAction::triggered, this, [this] {
        RestoreMainWindow();
        RunCommand(7);
    });
    connect(menuItem(mnuTray, u"mnuTrayVisitLoad"_s, u"巡回受信(&I)"_s), &QAction::triggered, this, [this] {
        RestoreMainWindow();
        RunCommand(9);
    });
    mnuTray->addSeparator()->setObjectName(u"mnuTrayBar2"_s);
    QMenu *newPost = subMenu(mnuTray, u"mnuTrayNew"_s, u"新規投稿(&N)"_s);
    m_boards.AttachMenu(newPost, u"mnuTrayNewSub"_s, false, [this](int id) {
        CMessage message;
        message.BBS_ID = id;
        m_cbbs.Send(message, false);
    });
    mnuTray->addSeparator()->setObjectName(u"mnuTrayBar3"_s);
    connect(menuItem(mnuTray, u"mnuTrayExit"_s, u"終了(&X)"_s), &QAction::triggered, this, &QWidget::close);
}

void frmView::UpdateTrayVisibility()
{
    if (mdlOption::AddTaskTray)
        mTray->AddIcon(this);
    else
        mTray->DeleteIcon();
}

void frmView::RestoreMainWindow()
{
    const auto bringToFront = [](QWidget *window) {
        window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
        window->show();
        window->raise();
        window->activateWindow();
    };
    bringToFront(this);
    if (auto *dialog = findChild<QWidget *>(u"frmLoadDlg"_s); dialog && dialog->isVisible())
        bringToFront(dialog);
}

void frmView::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange || !isMinimized())
        return;
    // Only into an icon that is really there: without one the window could not come back.
    if (mdlOption::AddTaskTray && mdlOption::HideAtMinimazed && mTray->Visible())
        QTimer::singleShot(0, this, [this] {
            if (isMinimized())
                hide();
        });
}

void frmView::SetBlinkTimer(OneShotTimer *timer)
{
    tmrBlinkIcon->Stop();
    tmrBlinkIcon = timer;
    if (m_blinking)
        armBlinkTimer();
}

void frmView::SetBlinking(bool on)
{
    if (on && mdlOption::BlinkIcon) {
        m_blinking = true;
        armBlinkTimer();
        setTrayIconFrame(false);
    } else if (!on) {
        m_blinking = false;
        tmrBlinkIcon->Stop();
        setTrayIconFrame(true);
    }
}

void frmView::armBlinkTimer()
{
    // A timer handed in by a test may outlive the window.
    tmrBlinkIcon->Start(BlinkIntervalMs, [window = QPointer<frmView>(this)] {
        if (window)
            window->blinkTick();
    });
}

void frmView::blinkTick()
{
    setTrayIconFrame(false);
    armBlinkTimer();
}

/**
 * Shows the next animation frame as the window's and the tray's icon, or with @p reset the
 * resting frame. After the resting frame the next run starts again at frame 1.
 */
void frmView::setTrayIconFrame(bool reset)
{
    if (m_trayFrame == 0)
        m_trayFrame = 1;
    if (reset)
        m_trayFrame = FrameCount;
    if (m_trayFrame > FrameCount)
        m_trayFrame = 1;
    setWindowIcon(frameIcon(m_trayFrame));
    mTray->SetIcon(windowIcon());
    ++m_trayFrame;
}
