#pragma once

#include <QTimer>
#include <functional>

/**
 * @short A timer that runs its handler once after a delay, unless stopped first.
 *
 * The read delay goes through this interface, so tests let time pass by hand.
 */
class OneShotTimer
{
public:
    virtual ~OneShotTimer() = default;

    /** @short Arms the timer: @p onTimeout runs once after @p msec; an armed timer starts over. */
    virtual void Start(int msec, std::function<void()> onTimeout) = 0;
    /** @short Disarms the timer; its handler does not run. */
    virtual void Stop() = 0;
    virtual bool IsActive() const = 0;
};

/** @short The program's one-shot timer, driven by the event loop. */
class QtOneShotTimer final : public OneShotTimer
{
public:
    QtOneShotTimer();

    void Start(int msec, std::function<void()> onTimeout) override;
    void Stop() override;
    bool IsActive() const override { return m_timer.isActive(); }

private:
    QTimer m_timer;
    std::function<void()> m_onTimeout;
};

/** @short A one-shot timer whose time passes only through Advance(), for tests. */
class ManualOneShotTimer final : public OneShotTimer
{
public:
    void Start(int msec, std::function<void()> onTimeout) override;
    void Stop() override { m_active = false; }
    bool IsActive() const override { return m_active; }

    /** @short Lets @p msec pass; the handler runs when the delay is over. */
    void Advance(int msec);
    /** @short The delay of the last Start(). */
    int Interval() const { return m_interval; }

private:
    std::function<void()> m_onTimeout;
    int m_interval = 0;
    int m_remaining = 0;
    bool m_active = false;
};
