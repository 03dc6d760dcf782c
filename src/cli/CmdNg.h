#pragma once

#include "cli/CliCommands.h"

/**
 * @short tessera-cli ng list | ng add [--board BBS_ID] [--regexp] [--abone] [--apply] FIELD PATTERN
 * | ng remove ID: the NG rules.
 *
 * list prints one tab-separated line per rule: ID, field, action (hide or abone), board ("all"
 * or its BBS_ID), kind (plain or regexp) and the pattern. add validates and stores a rule and
 * prints its ID; with --apply it then marks read the unread messages the rule matches and
 * prints how many. remove fails (status 1) when there is no such rule.
 */
int runNg(CliContext &ctx);
