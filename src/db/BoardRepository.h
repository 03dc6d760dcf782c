#pragma once

#include "db/DbError.h"

#include <QList>
#include <QString>
#include <optional>

class Database;

/**
 * @short The boards of table BBS as the lists and menus of the program read and arrange them:
 * which boards are listed and in what order, which take part in visit loads, and lookups by
 * type and name. One board's whole record is CBBSProperty's.
 *
 * Values are bound, never written into the statement text. A failed read gives what could be
 * read (an empty list or nullopt) with the reason in LastError().
 */
class BoardRepository
{
public:
    /** @short A board as the list settings show it. */
    struct Entry
    {
        int BBS_ID = 0;
        QString BBS_Name;
        qint64 ListOrder = -1; ///< the position in the lists; below 0 when not listed
        bool VisitLoad = false;
        bool operator==(const Entry &) const = default;
    };

    explicit BoardRepository(Database &db) : m_db(db) {}

    /** @short The listed boards (ListOrder >= 0) in list order, ties by BBS_ID. */
    QList<Entry> ListedBoards();
    /** @short The boards that are not listed (ListOrder < 0), by BBS_ID. */
    QList<Entry> HiddenBoards();
    /** @short Every board's BBS_ID, ascending; nullopt when the table cannot be read. */
    std::optional<QList<int>> AllBoardIds();
    /** @short Whether board @p BBS_ID takes part in visit loads; nullopt when there is no such board. */
    std::optional<bool> VisitLoad(int BBS_ID);
    /** @short The board with the lowest BBS_ID of type @p BBSType; nullopt when there is none. */
    std::optional<int> FirstBoardOfType(int BBSType);
    /**
     * @short The board with the lowest BBS_ID whose name or short name contains @p part
     * (compared as the Like operator compares, ignoring case; wildcard characters in @p part
     * match themselves); nullopt when none does.
     */
    std::optional<int> FindByName(const QString &part);
    /** @short @p BBS_ID when that board is listed, else the first board of the list, else 0. */
    int ListedBoardOr(int BBS_ID);

    /**
     * @short Stores the list order and the visit loads in one transaction.
     *
     * Board @p order[i] gets ListOrder i (entries below 0 are separator lines, which only take
     * their position); every other board is not listed. Boards in @p visiting that are listed
     * take part in visit loads, all others do not. False when anything failed: then every board
     * keeps its old ListOrder and VisitLoad.
     */
    [[nodiscard]] bool StoreListOrder(const QList<int> &order, const QList<int> &visiting);

    const DbError &LastError() const;

private:
    QList<Entry> entries(const QString &jetSql);

    Database &m_db;
};
