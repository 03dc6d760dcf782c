#pragma once

#include "cli/CliCommands.h"

/**
 * @short tessera-cli boards: starts up as the reader does (database and settings file) and
 * prints one tab-separated line per board: BBS_ID, ListOrder, BBSType, VisitLoad, unread
 * count, BBS_Name, in ListOrder then BBS_ID order (hidden boards included).
 */
int runBoards(CliContext &ctx);
/** @short tessera-cli compact: starts up, compacts the log database and shuts down. */
int runCompact(CliContext &ctx);
