#pragma once

struct sqlite3;

/**
 * @short The Jet functions a connection offers: like() with Jet patterns (case-insensitive,
 * * ? # [list] [!list]) in place of SQLite's, and Mid, Len, InStr, UCase, LCase, IIf, Nz,
 * Year, Month, Day, Hour, Minute, Second, Now, Date, jet_left, jet_right and more.
 */
namespace JetFunctions {

/** Registers the functions on @p db; returns an SQLite result code. */
int Register(sqlite3 *db);

} // namespace JetFunctions
