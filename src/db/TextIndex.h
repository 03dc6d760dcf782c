#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>
#include <optional>

class Database;

/**
 * @short The full-text index of the message texts: an FTS5 table with the trigram tokenizer
 * over Body, Subject and PostName of table Message. A trigger puts the key of each new or
 * changed row into a pending table, in the row's own transaction; IndexPending moves pending
 * rows into the index later, in short transactions of their own, so that an import does not
 * pay for the index. Deleted and changed rows leave the index in their own transaction. Its rowid is made of the message's key, (BBS_ID << 32) + ID + 2^31, so that it
 * survives VACUUM INTO, which renumbers the rowids of table Message.
 *
 * The index only narrows the rows down: a statement that uses it still applies its Like to
 * every candidate, pending rows among them, so its result never depends on the index.
 */
namespace TextIndex {

/** The FTS5 table; its name makes the table list treat it and its own tables as system tables. */
inline const QString TableName = QStringLiteral("MSysMessageText");

/** The names of the index's table and its triggers. */
QStringList SchemaNames();

/** True when column @p column of table Message is in the index (case-insensitive). */
bool IsIndexedColumn(QStringView column);

/**
 * Creates the index and its triggers anew (an old one is dropped first), empty, with every row
 * of table Message pending: one quick statement, IndexPending does the rest. Runs inside the
 * caller's transaction when there is one.
 */
[[nodiscard]] bool Create(Database &db);

/**
 * Indexes at most @p limit pending rows, lowest keys first, in a transaction of its own: the
 * rows are in the index and off the pending table together or not at all. Returns how many
 * rows it indexed (0 when none was pending), nullopt when it failed (see Database::LastError).
 */
std::optional<int> IndexPending(Database &db, int limit);

/** How many rows wait for the index; nullopt when it cannot tell (see Database::LastError). */
std::optional<qint64> PendingCount(Database &db);

/** How many rows a window or a command indexes in one transaction: a fraction of a second. */
inline constexpr int PendingBatch = 1000;

/** From how many pending rows the indexing shows its progress: a few seconds of work. */
inline constexpr int ProgressFrom = 10 * PendingBatch;

/**
 * The batch of an indexing that shows its progress (a first build): a fifth of the commits,
 * whose syncs cost as much as the indexing itself, for a fifth of a second per batch.
 */
inline constexpr int BuildBatch = 5 * PendingBatch;

/** The progress text of the indexing: @p done of @p total rows. */
QString ProgressText(qint64 done, qint64 total);

/** Drops the index and its triggers. */
[[nodiscard]] bool Drop(Database &db);

/**
 * The FTS5 query that every text matching the Jet Like pattern @p pattern in column @p column
 * also matches: each run of at least three literal characters as a phrase. nullopt when the
 * pattern has no such run; characters whose case variants the index may fold differently
 * from Like end a run.
 */
std::optional<QString> MatchQuery(QStringView column, QStringView pattern);

/**
 * The condition that the row value @p key, "(ID, BBS_ID)", is of a row that may hold a text
 * the FTS5 query @p match finds: the index's answer, a row not indexed yet or a row whose texts
 * it cannot read whole.
 * @p board is "" or " AND rowid BETWEEN ...", which narrows both to one board.
 */
QString Candidates(const QString &key, const QString &match, const QString &board);

/**
 * True when the index folds every character that Like takes for @p c as it folds @p c, so
 * that a text holding the character in any of its forms is found.
 */
bool FoldsAsLike(char16_t c);

/**
 * The Jet statement of a body search for @p text (taken literally, ignoring case): board,
 * number, date, name and subject of at most @p limit messages, newest first; of board
 * @p board only when given.
 */
QString SearchStatement(const QString &text, std::optional<int> board, int limit);

} // namespace TextIndex
