#pragma once

#include "cli/CliCommands.h"
#include "startup/mdlMain.h"

/**
 * @short Start-up as the reader does in the constructor; shutdown (settings written) in
 * Finish(), or in the destructor when a command ends early.
 */
class CliSession
{
public:
    CliSession() : m_started(mdlMain::StartApplication()) {}
    ~CliSession()
    {
        if (!m_finished)
            mdlMain::ShutdownApplication();
    }
    CliSession(const CliSession &) = delete;
    CliSession &operator=(const CliSession &) = delete;

    bool Started() const { return m_started; }
    /** @short Shuts down; returns @p status, or CliFailed when the settings were not saved. */
    int Finish(int status)
    {
        m_finished = true;
        return mdlMain::ShutdownApplication() ? status : CliFailed;
    }

private:
    bool m_started;
    bool m_finished = false;
};
