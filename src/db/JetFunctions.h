#pragma once

struct sqlite3;

/**
 * @short The Jet functions a connection offers.
 *
 * like() with Jet patterns (JetPattern) in place of SQLite's, for Like and Not Like; Mid,
 * Len, InStr (ignoring case), UCase, LCase, Nz, IsNull, Asc, CStr, CLng, Year, Month, Day,
 * Hour, Minute, Second, Now() and Date() (local time, as stored date texts), and jet_left /
 * jet_right, which the dialect calls for Left and Right (keywords in SQLite). Positions and
 * lengths count UTF-16 units. The stored file never depends on them.
 */
namespace JetFunctions {

/** Registers the functions on @p db; returns an SQLite result code. */
int Register(sqlite3 *db);

} // namespace JetFunctions
