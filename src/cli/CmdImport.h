#pragma once

#include "cli/CliCommands.h"

class TextIndexRun;

/**
 * @short tessera-cli import BBS_ID FILE...: starts up as the reader does, asks the import
 * confirmation (answered by --yes / --no) and imports the files into the board with the
 * option ImportReadMode.
 *
 * Progress and error texts go to standard error, unusable entries also to the board's error
 * log; the outcome text goes to standard output. Exits with 1 when the import was declined or
 * any file was unreadable or held broken or refused entries. SIGINT, SIGTERM or SIGHUP end the
 * run at its next commit, with "N件インポートしました。中断しました。" and the exit status
 * 128 + the signal's number.
 */
int runImport(CliContext &ctx);

/**
 * @short Indexes the rows that an import or a receive left pending, on the event loop, until
 * none is left or @p indexer is stopped (by a signal). Many rows show their progress on @p err.
 */
void indexPendingRows(TextIndexRun &indexer, QTextStream &err);
