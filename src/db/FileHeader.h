#pragma once

#include <QByteArray>
#include <QString>

/**
 * @short The first 100 bytes of a database file and the pages behind them: telling a database
 * with a damaged header from a file that is no database, and mending such a header.
 */
namespace FileHeader {

/** The size of the file header that starts page 1. */
inline constexpr int Size = 100;

/**
 * Whether the file at @p path has a database's page structure: whole pages, most of the first
 * ones starting as table or index pages. Such a file that SQLite refuses is a database with a
 * damaged header, not a foreign file.
 */
bool HasDatabasePages(const QString &path);

/** Whether @p header (the first 100 bytes) is one that SQLite reads: its signature and fixed fields. */
bool IsSound(const QByteArray &header);

/**
 * @p header with its signature and the fields that SQLite checks set to what this program
 * writes, for a file of @p fileSize bytes; the other fields stay.
 */
QByteArray Mended(const QByteArray &header, qint64 fileSize);

} // namespace FileHeader
