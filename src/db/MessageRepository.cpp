#include "db/MessageRepository.h"

#include "db/BoardMessageReader.h"
#include "db/Database.h"
#include "db/JetSql.h"
#include "db/Recordset.h"
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

namespace {

/** A message's date in the order of a search; a message without one comes last. */
const QString SearchDate = u"coalesce(PostDate, '')"_s;

/**
 * The condition of the messages after @p from in the order of a search (newest first, then
 * by board and newest number), or before it with @p newer.
 */
QString beyond(const CMessage &from, bool newer)
{
    const QString date = JetSql::TextLiteral(JetSql::StoredDate(from.PostDate));
    return u"(%1 %2 %3 OR (%1 = %3 AND (BBS_ID %4 %5 OR (BBS_ID = %5 AND ID %2 %6))))"_s.arg(
        SearchDate, newer ? u">"_s : u"<"_s, date, newer ? u"<"_s : u">"_s, QString::number(from.BBS_ID),
        QString::number(from.ID));
}

/** The texts a search looks in, each an indexed Like, so that the index narrows them together. */
QString searchCondition(const QString &text)
{
    const QString pattern = u"'*"_s + JetSql::LikeLiteral(text) + u"*'"_s;
    return u"(Body Like %1 OR Subject Like %1 OR PostName Like %1)"_s.arg(pattern);
}

} // namespace

QString MessageRepository::SearchStatement(const QString &text, int AddMax, const CMessage *from, bool newer)
{
    const QString order = newer ? u" ORDER BY %1, BBS_ID DESC, ID"_s : u" ORDER BY %1 DESC, BBS_ID, ID DESC"_s;
    return u"SELECT TOP "_s + QString::number(AddMax) + u" * FROM Message WHERE "_s + searchCondition(text)
        + (from ? u" AND "_s + beyond(*from, newer) : QString()) + order.arg(SearchDate);
}

int MessageRepository::CountFound(const QString &text, const CMessage &from, bool newer, int limit)
{
    // A statement of its own text each time: it is not kept prepared.
    const std::optional<Recordset> found = m_db.OpenRecordset(u"SELECT TOP %1 ID FROM Message WHERE "_s.arg(limit)
                                                              + searchCondition(text) + u" AND "_s + beyond(from, newer));
    return found ? found->RecordCount() : 0;
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
