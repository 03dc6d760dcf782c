#pragma once

#include "cli/CliCommands.h"

/**
 * @short tessera-cli settings BBS_ID [Name=value...]: writes the given settings of the board
 * through its board record (so through the cookie store), then prints all nine, one
 * "Name=value" line each in position order. A setting that does not read back as written
 * (the board keeps no such setting) is reported and makes the exit status 1. A value the
 * board's cookie cannot hold (CBBSProperty::SettingValueError) is refused before anything is
 * written; a cookie file that cannot be written (full disk, too large, locked) stops the
 * command with its message. Both exit with 1.
 */
int runSettings(CliContext &ctx);
