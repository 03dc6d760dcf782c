#include "cli/CliInterrupt.h"

#include <array>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr std::array Signals{SIGINT, SIGTERM, SIGHUP};

int pipeEnds[2] = {-1, -1}; // read end, write end

/** Async-signal-safe: only write() and errno. */
void onSignal(int signal)
{
    const int saved = errno;
    const char number = char(signal);
    [[maybe_unused]] const ssize_t written = ::write(pipeEnds[1], &number, 1); // a full pipe holds one already
    errno = saved;
}

void setHandler(void (*handler)(int))
{
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : Signals)
        sigaction(signal, &action, nullptr);
}

} // namespace

CliInterrupt::CliInterrupt(std::function<void()> stop) : m_stop(std::move(stop))
{
    if (::pipe2(pipeEnds, O_CLOEXEC | O_NONBLOCK) != 0)
        return; // the signals keep their default actions
    m_notifier = std::make_unique<QSocketNotifier>(pipeEnds[0], QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, [this] { take(); });
    setHandler(onSignal);
}

CliInterrupt::~CliInterrupt()
{
    if (!m_notifier)
        return;
    setHandler(SIG_DFL);
    m_notifier.reset();
    ::close(pipeEnds[0]);
    ::close(pipeEnds[1]);
    pipeEnds[0] = pipeEnds[1] = -1;
}

void CliInterrupt::take()
{
    char number = 0;
    while (::read(pipeEnds[0], &number, 1) == 1) {
        if (m_signal == 0)
            m_signal = number;
    }
    setHandler(SIG_DFL); // a second signal ends the process at once, as the user asks then
    if (m_stop)
        m_stop();
}
