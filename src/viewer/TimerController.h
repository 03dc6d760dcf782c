#pragma once

#include "startup/ReceiveTimer.h"

#include <QObject>
#include <functional>

class QAction;
class QLabel;

/**
 * @short The main window's timed receiving: command "タイマー" (a menu item and a toolbar
 * button, both checked while the timer is on), the status-bar panel "Timer" with the time left,
 * and a visit load each time a turn falls due.
 */
class TimerController : public QObject
{
    Q_OBJECT

public:
    struct Commands
    {
        std::function<bool()> isRunning;
        /** Starts a visit load that takes no keyboard from the reader. */
        std::function<void()> timedVisitLoad;
    };

    TimerController(QAction *menuItem, QAction *button, QLabel *panel, Commands commands);

    /** @short Follows options Timer and Interval: starts, stops or restarts the count. */
    void ApplyOptions();
    /** @short A run has ended: a count that waited for it starts again. */
    void RunEnded() { m_timer.RunEnded(); }
    ReceiveTimer &Timer() { return m_timer; }

private:
    QAction *m_menuItem;
    QAction *m_button;
    ReceiveTimer m_timer;
    int m_interval = 0; // the minutes the count runs with
};
