#pragma once

#include "startup/mdlMain.h"

/** @short Start-up as the reader does in the constructor, shutdown (settings written) in the destructor. */
class CliSession
{
public:
    CliSession() : m_started(mdlMain::StartApplication()) {}
    ~CliSession() { mdlMain::ShutdownApplication(); }
    CliSession(const CliSession &) = delete;
    CliSession &operator=(const CliSession &) = delete;

    bool Started() const { return m_started; }

private:
    bool m_started;
};
