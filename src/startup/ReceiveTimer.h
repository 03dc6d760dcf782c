#pragma once

#include "app/OneShotTimer.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>

/**
 * @short The count-down of timed receiving: a turn falls due every interval, counted from the
 * start or from the end of the run that the last turn started or had to skip.
 *
 * When a turn falls due while a run goes on, it is skipped: the count waits until RunEnded()
 * and starts again from there. Time goes through an injected tick timer and clock, so tests
 * let it pass by hand.
 */
class ReceiveTimer : public QObject
{
    Q_OBJECT

public:
    /** Milliseconds of a clock that never goes back. */
    using Clock = std::function<qint64()>;

    /** @p isRunning tells whether a run goes on; without it no run ever does. */
    explicit ReceiveTimer(std::function<bool()> isRunning = {}, QObject *parent = nullptr);
    ~ReceiveTimer() override;

    /** @short Paces the count with @p tick (not owned) and reads time from @p clock (tests). */
    void SetTime(OneShotTimer *tick, Clock clock);

    /** @short Counts @p minutes from now; a count going on starts over. */
    void Start(int minutes);
    /** @short Ends the count; the remaining time reads empty. */
    void Stop();
    bool IsActive() const { return m_active; }
    /** @short A run has ended: a count that waited for it starts again from now. */
    void RunEnded();

    /** @short The time left as "m:ss" (minutes not capped at 59); empty when stopped. */
    QString RemainingText() const;
    /** @short Formats @p msec as "m:ss", rounding up to whole seconds. */
    static QString FormatRemaining(qint64 msec);

signals:
    /** A turn falls due and no run goes on: the owner starts one now. */
    void Due();
    /** The text of RemainingText() has changed. */
    void RemainingChanged(const QString &text);

private:
    void restart();
    void tick();
    void armTick();
    void expire();
    void showRemaining();
    qint64 now() const { return m_clock(); }

    std::function<bool()> m_isRunning;
    std::unique_ptr<OneShotTimer> m_ownTick; // the event loop's, unless a test gives one
    OneShotTimer *m_tick;
    QElapsedTimer m_elapsed;
    Clock m_clock;
    qint64 m_intervalMs = 0;
    qint64 m_deadline = 0;
    bool m_active = false;
    bool m_waiting = false; // the last turn started or met a run: counting waits for its end
    QString m_shown;
};
