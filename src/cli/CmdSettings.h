#pragma once

#include "cli/CliCommands.h"

/**
 * @short tessera-cli settings BBS_ID [Name=value...]: writes the given settings of the board
 * through its board record (so through the cookie store), then prints all nine, one
 * "Name=value" line each in position order. A setting that does not read back as written
 * (the board keeps no such setting, or the value holds characters its cookie cannot carry)
 * is reported and makes the exit status 1.
 */
int runSettings(CliContext &ctx);
