#include "viewer/TimerController.h"

#include "app/mdlOption.h"

#include <QAction>
#include <QLabel>

TimerController::TimerController(QAction *menuItem, QAction *button, QLabel *panel, Commands commands)
    : m_menuItem(menuItem),
      m_button(button),
      m_timer(std::move(commands.isRunning))
{
    for (QAction *action : {m_menuItem, m_button}) {
        action->setCheckable(true);
        connect(action, &QAction::triggered, this, [this](bool on) {
            mdlOption::Timer = on;
            ApplyOptions();
        });
    }
    connect(&m_timer, &ReceiveTimer::RemainingChanged, panel, &QLabel::setText);
    connect(&m_timer, &ReceiveTimer::Due, this, std::move(commands.timedVisitLoad));
    ApplyOptions();
}

void TimerController::ApplyOptions()
{
    m_menuItem->setChecked(mdlOption::Timer);
    m_button->setChecked(mdlOption::Timer);
    if (!mdlOption::Timer) {
        m_timer.Stop();
    } else if (!m_timer.IsActive() || m_interval != mdlOption::Interval) {
        m_interval = mdlOption::Interval;
        m_timer.Start(m_interval);
    }
}
