#pragma once

#include "cli/CliCommands.h"

/**
 * @short tessera-cli export BBS_ID FILE [--from ID] [--to ID]: writes the board's messages with
 * an ID in the range (all when no bound is given), oldest first, to FILE as a log text file
 * that an import reads back.
 *
 * The outcome text goes to standard output. FILE appears only when the export is complete:
 * a failure, an empty range or a signal (SIGINT, SIGTERM, SIGHUP) leaves no file and an
 * existing FILE as it was. Exits with 1 when no file was written, and 128 + the signal's
 * number after a signal.
 */
int runExport(CliContext &ctx);
