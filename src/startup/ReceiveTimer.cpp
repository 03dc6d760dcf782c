#include "startup/ReceiveTimer.h"

#include <QPointer>
#include <algorithm>

using namespace Qt::StringLiterals;

namespace {
constexpr qint64 SecondMs = 1000;
constexpr qint64 MinuteMs = 60 * SecondMs;
} // namespace

ReceiveTimer::ReceiveTimer(std::function<bool()> isRunning, QObject *parent)
    : QObject(parent),
      m_isRunning(isRunning ? std::move(isRunning) : [] { return false; }),
      m_ownTick(std::make_unique<QtOneShotTimer>()),
      m_tick(m_ownTick.get())
{
    m_elapsed.start();
    m_clock = [this] { return m_elapsed.elapsed(); };
}

ReceiveTimer::~ReceiveTimer()
{
    m_tick->Stop();
}

void ReceiveTimer::SetTime(OneShotTimer *tick, Clock clock)
{
    m_tick->Stop();
    m_tick = tick;
    m_clock = std::move(clock);
    if (m_active && !m_waiting)
        restart();
}

void ReceiveTimer::Start(int minutes)
{
    m_intervalMs = minutes * MinuteMs;
    m_active = true;
    restart();
}

void ReceiveTimer::Stop()
{
    m_active = false;
    m_waiting = false;
    m_tick->Stop();
    showRemaining();
}

void ReceiveTimer::RunEnded()
{
    if (m_active && m_waiting)
        restart();
}

QString ReceiveTimer::RemainingText() const
{
    if (!m_active)
        return QString();
    // While a run holds the count, it shows the whole interval that starts after the run.
    return FormatRemaining(m_waiting ? m_intervalMs : m_deadline - now());
}

QString ReceiveTimer::FormatRemaining(qint64 msec)
{
    const qint64 seconds = (std::max<qint64>(msec, 0) + SecondMs - 1) / SecondMs;
    return u"%1:%2"_s.arg(seconds / 60).arg(seconds % 60, 2, 10, QChar(u'0'));
}

void ReceiveTimer::restart()
{
    m_waiting = false;
    m_deadline = now() + m_intervalMs;
    armTick();
    showRemaining();
}

/** The next tick comes when the shown second changes, or when the turn falls due. */
void ReceiveTimer::armTick()
{
    const qint64 left = m_deadline - now();
    const qint64 toNextSecond = left % SecondMs == 0 ? SecondMs : left % SecondMs;
    // A timer handed in by a test may outlive this object.
    m_tick->Start(int(std::max<qint64>(std::min(left, toNextSecond), 0)), [self = QPointer<ReceiveTimer>(this)] {
        if (self)
            self->tick();
    });
}

void ReceiveTimer::tick()
{
    if (!m_active || m_waiting)
        return;
    if (now() >= m_deadline) {
        expire();
        return;
    }
    armTick();
    showRemaining();
}

/** A turn is due: it runs unless a run goes on; either way the next count waits for that run's end. */
void ReceiveTimer::expire()
{
    if (!m_isRunning())
        emit Due();
    if (!m_active)
        return; // stopped by what the turn did
    if (m_isRunning()) {
        m_waiting = true;
        showRemaining();
        return;
    }
    restart(); // the turn started nothing: count from now
}

void ReceiveTimer::showRemaining()
{
    const QString text = RemainingText();
    if (text == m_shown)
        return;
    m_shown = text;
    emit RemainingChanged(text);
}
