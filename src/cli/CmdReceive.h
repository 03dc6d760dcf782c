#pragma once

#include "cli/CliCommands.h"

/**
 * @short tessera-cli receive [--full] BBS_ID... | --visit | --all: a load run as the reader's
 * receive commands make it, with the options of the settings file.
 *
 * Unread messages only, unless --full asks for every page. --visit takes the boards marked for
 * visit loads, --all every listed board. Progress texts go to standard error, one outcome line
 * per board ("BBS_ID<TAB>text", a failed board adds "<TAB>" and its error) to standard output.
 * Exit status 1 when a board failed; a run that finds no board is no failure. SIGINT, SIGTERM
 * or SIGHUP end the run at its next commit: "N件受信しました。中断しました。" follows the
 * outcome lines, and the exit status is 128 + the signal's number.
 */
int runReceive(CliContext &ctx);
