#pragma once

#include <QSocketNotifier>
#include <functional>
#include <memory>

/**
 * @short While it lives, SIGINT, SIGTERM and SIGHUP end a run instead of the process: the
 * signal is written to a pipe, and the event loop calls the given stop function (which lets
 * the run end at its next commit). The default actions come back after the first signal (a
 * second one ends the process) and when it ends.
 */
class CliInterrupt
{
public:
    explicit CliInterrupt(std::function<void()> stop);
    ~CliInterrupt();
    CliInterrupt(const CliInterrupt &) = delete;
    CliInterrupt &operator=(const CliInterrupt &) = delete;

    /** @short The first signal the event loop has taken; 0 when none. */
    int Signal() const { return m_signal; }
    /** @short The exit status of a command that signal Signal() stopped: 128 + its number. */
    int ExitStatus() const { return 128 + m_signal; }

private:
    void take();

    std::function<void()> m_stop;
    std::unique_ptr<QSocketNotifier> m_notifier;
    int m_signal = 0;
};
