#pragma once

#include "cli/CliCommands.h"

/**
 * @short tessera-cli query "SQL" [VALUE...]: runs a statement on the log database as the
 * query window does.
 *
 * A result prints a header line of field names and one line per row, fields separated by
 * tabs: dates as yyyy/mm/dd hh:nn:ss, Booleans as True/False, Null as nothing; a backslash,
 * tab, CR or LF inside a value is written as \\, \t, \r or \n, so every row stays one line.
 * An action statement prints the count line the reader shows ("3件削除しました。", ...).
 * The VALUEs answer the statement's parameters in order; missing ones are asked for.
 * An error prints its number and description on standard error and exits with 1.
 */
int runQuery(CliContext &ctx);

/**
 * @short tessera-cli search TEXT [--board ID] [--limit N]: the messages whose body holds TEXT
 * (ignoring case), newest first, at most N (100 when not given), of every board or of board
 * ID: one line per message with board, number, date, name and subject, as query prints rows.
 */
int runSearch(CliContext &ctx);
