#pragma once

#include "app/OneShotTimer.h"
#include "viewer/CTray.h"

#include <QList>
#include <QObject>
#include <functional>
#include <memory>

class BoardMenus;
class QAction;
class QMenu;
class QWidget;

/**
 * @short The main window's notification-area icon: its pop-up menu "mnuTray", hiding the
 * minimised window into it, bringing the window back, and the icon animation during a receive.
 */
class TrayController : public QObject
{
    Q_OBJECT

public:
    /** @short The window's commands that the tray menu runs. */
    struct Commands
    {
        std::function<void(int BBS_ID)> showBoard;
        std::function<void()> load;
        std::function<void()> visitLoad;
        std::function<void(int BBS_ID)> newMessage;
    };

    /**
     * Builds the icon and its menu for @p window (which owns the menu); the board items of
     * the menu follow @p boards. The icon shows by option AddTaskTray.
     */
    TrayController(QWidget &window, BoardMenus &boards, Commands commands);

    /** @short Starts (option BlinkIcon permitting) or stops the icon's animation. */
    void SetBlinking(bool on);
    /** @short Shows or hides the icon by option AddTaskTray. */
    void UpdateTrayVisibility();
    /** @short Brings the window back from the tray or the task bar, and the progress dialog with it. */
    void RestoreMainWindow();
    /**
     * @short After a receive that stored @p counts (new messages per board, in the order they
     * came) while the window is hidden or minimised: one notification "N件の新着メッセージ"
     * with up to three boards, named by @p boardName. Clicking it shows the first board.
     */
    void NotifyReceived(const QList<std::pair<int, int>> &counts, const std::function<QString(int BBS_ID)> &boardName);
    /** @short The text of that notification. */
    static QString NotificationText(const QList<std::pair<int, int>> &counts,
                                    const std::function<QString(int BBS_ID)> &boardName);
    CTray &Tray() { return m_tray; }
    /** @short Drives the animation with @p timer (not owned; tests step it by hand). */
    void SetBlinkTimer(OneShotTimer *timer);
    /** @short The items of menu "mnuTray" (separators left out), named by their control names. */
    QList<QAction *> MenuItems() const;

protected:
    /** Hides the window when it is minimised into the icon. */
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void createMenu(BoardMenus &boards);
    QAction *addItem(const QString &name, const QString &caption);
    void setFrame(bool reset);
    void armBlinkTimer();
    void blinkTick();

    QWidget &m_window;
    Commands m_commands;
    CTray m_tray;
    QMenu *mnuTray = nullptr; // a child of the window
    std::unique_ptr<OneShotTimer> m_ownBlinkTimer; // the event loop's, unless a test gives one
    OneShotTimer *tmrBlinkIcon = nullptr;
    bool m_blinking = false;
    int m_trayFrame = 0; // the next animation frame; 0 before the first
    int m_notifiedBoard = 0; // the first board of the last notification
};
