#pragma once

#include "db/CMessage.h"

#include <QList>
#include <limits>
#include <optional>

class Database;
class Statement;

/**
 * @short Reads a board's stored messages by ascending ID, a batch per call, for an export.
 *
 * Each batch is a statement of its own that has ended when Next() returns, so no read stays
 * open between batches (the event loop may turn and other writers may commit meanwhile). The
 * database is given to each call: it may have been closed and opened again in between.
 */
class BoardMessageReader
{
public:
    /** @short The messages of board @p BBS_ID with an ID from @p FromID to @p ToID. */
    BoardMessageReader(int BBS_ID, int FromID = 0, int ToID = std::numeric_limits<int>::max());

    /** @short How many messages the range holds now; nullopt when the database fails. */
    std::optional<int> Count(Database &db) const;
    /**
     * @short The next at most @p limit messages, ascending; empty at the end, nullopt when
     * the database fails (the reason in the database's LastError()).
     */
    std::optional<QList<CMessage>> Next(Database &db, int limit);

    /** The select list that MessageOf() reads a whole message row from. */
    static const QString Columns;
    /** The message of a row selected with Columns. */
    static CMessage MessageOf(const Statement &row);

private:
    int m_board;
    qlonglong m_after; // the last ID read, or one below the range
    int m_to;
};
