#include "app/OneShotTimer.h"

QtOneShotTimer::QtOneShotTimer()
{
    m_timer.setSingleShot(true);
    QObject::connect(&m_timer, &QTimer::timeout, [this] {
        // The handler may re-arm the timer, which replaces m_onTimeout: run a copy.
        const std::function<void()> handler = m_onTimeout;
        if (handler)
            handler();
    });
}

void QtOneShotTimer::Start(int msec, std::function<void()> onTimeout)
{
    m_onTimeout = std::move(onTimeout);
    m_timer.start(qMax(msec, 0));
}

void QtOneShotTimer::Stop()
{
    m_timer.stop();
}

void ManualOneShotTimer::Start(int msec, std::function<void()> onTimeout)
{
    m_onTimeout = std::move(onTimeout);
    m_interval = msec;
    m_remaining = qMax(msec, 0);
    m_active = true;
}

void ManualOneShotTimer::Advance(int msec)
{
    if (!m_active)
        return;
    m_remaining -= msec;
    if (m_remaining > 0)
        return;
    m_active = false;
    const std::function<void()> handler = m_onTimeout;
    if (handler)
        handler();
}
