#pragma once

#include "db/DbError.h"

#include <QString>

/** @short SQLite results and file failures as the program's error numbers and texts. */
namespace SqliteErrors {

/** What to do about a damaged file: the commands that check and repair it. */
extern const QString RepairAdvice;

/** The text after the first ": " of an SQLite message (the name it reports), or all of it. */
QString AfterColon(const QString &message);
/**
 * The error of SQLite result @p rc (extended code) with SQLite's @p message: a refused key
 * 3022, a required field 3314, an empty text 3315, a too long text 3163, a damaged file 3049
 * (naming the repair command), locked 3218, no permission 3051, an existing object 3012, a missing table
 * 3078; anything else 3000 with SQLite's message.
 */
DbError FromResult(int rc, const QString &message);
/** A failure to open, create or compact into the file @p path, with error @p number. */
DbError FileError(int number, const QString &path);

} // namespace SqliteErrors
