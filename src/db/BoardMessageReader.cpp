#include "db/BoardMessageReader.h"

#include "db/JetSql.h"
#include "db/StatementRows.h"

using namespace Qt::StringLiterals;

namespace {

const QString RangeCondition = u" FROM Message WHERE BBS_ID = ?1 AND ID > ?2 AND ID <= ?3"_s;

/** A stored date text as a message holds it; invalid for none or an unreadable text. */
QDateTime wallClock(const QVariant &value)
{
    const QDateTime stored = JetSql::ParseStoredDate(value.toString());
    return stored.isValid() ? CMessage::WallClock(stored.date(), stored.time()) : QDateTime();
}

} // namespace

// Unary plus gives each value as stored but without its column's declared type, which the
// statement layer would otherwise read and parse again for every value of every row.
const QString BoardMessageReader::Columns =
    u"+BBS_ID, +ID, +Read, +Subject, +HomePage, +Mail, +PostName, +PostDate, +InReplyTo, +Body, +RootThread, +Mark"_s;

CMessage BoardMessageReader::MessageOf(const Statement &row)
{
    CMessage msg;
    msg.BBS_ID = row.Value(0).toInt();
    msg.ID = row.Value(1).toInt();
    msg.Read = row.Value(2).toBool();
    msg.Subject = row.Value(3).toString();
    msg.HomePage = row.Value(4).toString();
    msg.Mail = row.Value(5).toString();
    msg.PostName = row.Value(6).toString();
    msg.PostDate = wallClock(row.Value(7));
    msg.InReplyTo = row.Value(8).toInt();
    msg.Body = row.Value(9).toString();
    msg.RootThread = row.Value(10).toInt();
    msg.Mark = row.Value(11).toInt();
    return msg;
}

BoardMessageReader::BoardMessageReader(int BBS_ID, int FromID, int ToID)
    : m_board(BBS_ID), m_after(qlonglong(FromID) - 1), m_to(ToID)
{
}

std::optional<int> BoardMessageReader::Count(Database &db) const
{
    int count = 0;
    const bool read = forEachRow(db, u"SELECT Count(*)"_s + RangeCondition, {m_board, m_after, m_to},
                                 [&count](const Statement &row) { count = row.Value(0).toInt(); });
    return read ? std::optional(count) : std::nullopt;
}

std::optional<QList<CMessage>> BoardMessageReader::Next(Database &db, int limit)
{
    QList<CMessage> batch;
    batch.reserve(limit);
    const QString sql = u"SELECT TOP "_s + QString::number(limit) + u' ' + Columns + RangeCondition + u" ORDER BY ID"_s;
    if (!forEachRow(db, sql, {m_board, m_after, m_to}, [&batch](const Statement &row) { batch.append(MessageOf(row)); }))
        return std::nullopt;
    if (!batch.isEmpty())
        m_after = batch.last().ID;
    return batch;
}
