#include "db/MessageRepository.h"

#include "db/BoardMessageReader.h"
#include "db/Database.h"
#include "db/StatementRows.h"
#include "db/Transaction.h"

using namespace Qt::StringLiterals;

QString MessageRepository::PageStatement(int view, int AddMax, int BBS_ID, int MaxListID, int MinListID)
{
    const QString top = u"SELECT TOP "_s + QString::number(AddMax) + u" *"_s;
    const QString from = u"  FROM Message"_s + u" WHERE BBS_ID = "_s + QString::number(BBS_ID);
    switch (view) {
    case 0: return top + from + u" ORDER BY ID DESC"_s;
    case 1: return top + from + u"   AND ID > "_s + QString::number(MaxListID) + u" ORDER BY ID"_s;
    case 2: return top + from + u"   AND ID < "_s + QString::number(MinListID) + u" ORDER BY ID DESC"_s;
    case 3: return u"SELECT *"_s + from + u"   AND Read = False"_s + u" ORDER BY ID DESC"_s;
    default: return u"SELECT *"_s + from + u" ORDER BY ID DESC"_s;
    }
}

int MessageRepository::countUpTo(const QString &jetSql, const QVariantList &values, int limit)
{
    Statement statement = m_db.Prepare(jetSql);
    for (int i = 0; i < values.size(); ++i)
        statement.Bind(i + 1, values.at(i));
    int rows = 0;
    while (rows < limit && statement.Next())
        ++rows;
    return rows;
}

int MessageRepository::CountUpTo(int BBS_ID, int limit)
{
    return countUpTo(u"SELECT ID FROM Message WHERE BBS_ID = ?1"_s, {BBS_ID}, limit);
}

int MessageRepository::CountBelow(int BBS_ID, int ID, int limit)
{
    return countUpTo(u"SELECT ID FROM Message WHERE BBS_ID = ?1 AND ID < ?2"_s, {BBS_ID, ID}, limit);
}

int MessageRepository::CountAbove(int BBS_ID, int ID, int limit)
{
    return countUpTo(u"SELECT ID FROM Message WHERE BBS_ID = ?1 AND ID > ?2"_s, {BBS_ID, ID}, limit);
}

int MessageRepository::UnreadCount(int BBS_ID)
{
    int count = 0;
    forEachRow(m_db, u"SELECT Count(*) FROM Message WHERE BBS_ID = ?1 AND Read = False"_s, {BBS_ID},
               [&count](const Statement &row) { count = row.Value(0).toInt(); });
    return count;
}

std::optional<QList<CMessage>> MessageRepository::Find(int BBS_ID, int FromID, int ToID, int limit)
{
    return BoardMessageReader(BBS_ID, FromID, ToID).Next(m_db, limit);
}

std::optional<int> MessageRepository::SetRead(const CMessage::KeyParts &key, bool Read)
{
    if (!executeBound(m_db, u"UPDATE Message SET Read = ?1 WHERE BBS_ID = ?2 AND ID = ?3"_s, {Read, key.BBS_ID, key.ID}))
        return std::nullopt;
    return m_db.RecordsAffected();
}

bool MessageRepository::SetMark(const CMessage::KeyParts &key, int MarkID)
{
    return executeBound(m_db, u"UPDATE Message SET Mark = ?1 WHERE BBS_ID = ?2 AND ID = ?3"_s, {MarkID, key.BBS_ID, key.ID});
}

std::optional<QList<CMessage::KeyParts>> MessageRepository::Delete(const QList<CMessage::KeyParts> &keys)
{
    Transaction transaction(m_db);
    if (!transaction.IsActive())
        return std::nullopt;
    QList<CMessage::KeyParts> deleted;
    for (const CMessage::KeyParts &key : keys) {
        if (!executeBound(m_db, u"DELETE FROM Message WHERE BBS_ID = ?1 AND ID = ?2"_s, {key.BBS_ID, key.ID}))
            return std::nullopt;
        if (m_db.RecordsAffected() > 0)
            deleted.append(key);
    }
    if (!transaction.Commit())
        return std::nullopt;
    return deleted;
}

std::optional<QList<MessageRepository::Mark>> MessageRepository::Marks()
{
    QList<Mark> marks;
    const bool read = forEachRow(m_db, u"SELECT ID, Name, ForeColor, BackColor FROM Mark ORDER BY ID"_s, {},
                                 [&marks](const Statement &row) {
        bool whole = false;
        const qint64 id = row.Value(0).toLongLong(&whole);
        if (whole) // a row whose ID is no whole number names no mark
            marks.append({id, row.Value(1).toString(), quint32(row.Value(2).toLongLong()), quint32(row.Value(3).toLongLong())});
    });
    return read ? std::optional(marks) : std::nullopt;
}

const DbError &MessageRepository::LastError() const
{
    return m_db.LastError();
}
