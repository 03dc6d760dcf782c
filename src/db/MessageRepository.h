#pragma once

#include "db/CMessage.h"
#include "db/DbError.h"

#include <QList>
#include <QString>
#include <optional>

class Database;

/**
 * @short The stored messages as the viewer changes and counts them: read state, marks,
 * deletion, the counts around a shown page, and the statements of a board's pages; also the
 * marks themselves (table Mark).
 *
 * Values are bound, never written into the statement text. Writes report failure through
 * their result, with the reason in LastError().
 */
class MessageRepository
{
public:
    /** @short A row of table Mark: a mark's ID (1 and up), name and OLE colours. */
    struct Mark
    {
        qint64 ID = 0;
        QString Name;
        quint32 ForeColor = 0;
        quint32 BackColor = 0;
        bool operator==(const Mark &) const = default;
    };

    explicit MessageRepository(Database &db) : m_db(db) {}

    /**
     * @short The list statement of view @p view of board @p BBS_ID: 0 the latest @p AddMax
     * messages, 1 the @p AddMax above @p MaxListID (ascending), 2 the @p AddMax below
     * @p MinListID, 3 the unread ones, 4 all; newest first unless said otherwise.
     */
    static QString PageStatement(int view, int AddMax, int BBS_ID, int MaxListID, int MinListID);

    /**
     * @short The statement of a search of every board for @p text (taken literally, ignoring
     * case) in the body, subject or name: @p AddMax messages, newest first. With @p from, the
     * next ones older than @p from, or with @p newer the ones newer than it, oldest first.
     */
    static QString SearchStatement(const QString &text, int AddMax, const CMessage *from = nullptr, bool newer = false);
    /** @short Messages found for @p text older (or @p newer) than @p from, counted up to @p limit. */
    int CountFound(const QString &text, const CMessage &from, bool newer, int limit);

    /** @short Messages of board @p BBS_ID, counted up to @p limit. */
    int CountUpTo(int BBS_ID, int limit);
    /** @short Messages of board @p BBS_ID with an ID below @p ID, counted up to @p limit. */
    int CountBelow(int BBS_ID, int ID, int limit);
    /** @short Messages of board @p BBS_ID with an ID above @p ID, counted up to @p limit. */
    int CountAbove(int BBS_ID, int ID, int limit);
    /** @short The unread messages of board @p BBS_ID. */
    int UnreadCount(int BBS_ID);
    /**
     * @short The stored messages of board @p BBS_ID numbered @p FromID to @p ToID, at most
     * @p limit, by ascending ID: a read of the primary key. Empty when none is stored, nullopt
     * when the database fails.
     */
    std::optional<QList<CMessage>> Find(int BBS_ID, int FromID, int ToID, int limit);

    /** @short Stores @p Read for message @p key: the rows changed (0 when it is not stored), nullopt on failure. */
    [[nodiscard]] std::optional<int> SetRead(const CMessage::KeyParts &key, bool Read);
    /** @short Stores mark @p MarkID for message @p key; false on failure. */
    [[nodiscard]] bool SetMark(const CMessage::KeyParts &key, int MarkID);
    /**
     * @short Deletes the messages of @p keys in one transaction: the keys of the messages that
     * were stored and are gone. nullopt on failure, and then nothing is deleted.
     */
    [[nodiscard]] std::optional<QList<CMessage::KeyParts>> Delete(const QList<CMessage::KeyParts> &keys);

    /** @short The rows of table Mark by ascending ID; nullopt when the table cannot be read. */
    std::optional<QList<Mark>> Marks();

    const DbError &LastError() const;

private:
    int countUpTo(const QString &jetSql, const QVariantList &values, int limit);

    Database &m_db;
};
