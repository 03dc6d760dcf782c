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
/**
 * @short tessera-cli check: SQLite's integrity check of the log database. Prints the outcome;
 * exits with 1 when the file is damaged or cannot be read.
 */
int runCheck(CliContext &ctx);
/**
 * @short tessera-cli repair [FILE]: recovers a damaged log database (or FILE, named from the
 * current folder or else from the program folder) into a new file that takes its name,
 * keeping the damaged one beside it and saying where. Needs the sqlite3 tool; refused while
 * another process uses the file.
 */
int runRepair(CliContext &ctx);
