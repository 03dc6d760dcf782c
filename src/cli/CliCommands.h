#pragma once

#include <QStringList>
#include <QTextStream>
#include <functional>

/** @short What a tessera-cli command gets: its arguments and the output streams. */
struct CliContext
{
    QStringList args;
    QTextStream &out;
    QTextStream &err;
};

/**
 * Exit status of a command: 0 success, 1 failure, 2 usage error; a run that a signal stopped
 * gives 128 + the signal's number (CliInterrupt).
 */
enum CliStatus { CliOk = 0, CliFailed = 1, CliUsage = 2 };

struct CliCommand
{
    const char *name;
    const char *usage;
    std::function<int(CliContext &)> run;
};

/** Every command tessera-cli knows, in the order the usage text lists them. */
const QList<CliCommand> &cliCommands();
/** @short Prints "usage: tessera-cli " and the usage of command @p name; returns CliUsage. */
int usageError(CliContext &ctx, const char *name);
