#include "db/BoardRepository.h"

#include "db/Database.h"
#include "db/JetSql.h"
#include "db/StatementRows.h"
#include "db/Transaction.h"

using namespace Qt::StringLiterals;

namespace {

const QString EntryColumns = u"SELECT BBS_ID, BBS_Name, ListOrder, VisitLoad FROM BBS"_s;

/** The first column of the first row of @p jetSql; nullopt when there is no row. */
std::optional<QVariant> firstValue(Database &db, const QString &jetSql, const QVariantList &values)
{
    std::optional<QVariant> value;
    forEachRow(db, jetSql, values, [&value](const Statement &row) {
        if (!value)
            value = row.Value(0);
    });
    return value;
}

std::optional<int> firstId(Database &db, const QString &jetSql, const QVariantList &values = {})
{
    const std::optional<QVariant> value = firstValue(db, jetSql, values);
    return value ? std::optional<int>(value->toInt()) : std::nullopt;
}

} // namespace

QList<BoardRepository::Entry> BoardRepository::entries(const QString &jetSql)
{
    QList<Entry> boards;
    forEachRow(m_db, jetSql, {}, [&boards](const Statement &row) {
        boards.append({row.Value(0).toInt(), row.Value(1).toString(), row.Value(2).toLongLong(), row.Value(3).toBool()});
    });
    return boards;
}

QList<BoardRepository::Entry> BoardRepository::ListedBoards()
{
    return entries(EntryColumns + u" WHERE ListOrder >= 0 ORDER BY ListOrder, BBS_ID"_s);
}

QList<BoardRepository::Entry> BoardRepository::HiddenBoards()
{
    return entries(EntryColumns + u" WHERE ListOrder < 0 ORDER BY BBS_ID"_s);
}

std::optional<QList<int>> BoardRepository::AllBoardIds()
{
    QList<int> ids;
    if (!forEachRow(m_db, u"SELECT BBS_ID FROM BBS ORDER BY BBS_ID"_s, {},
                    [&ids](const Statement &row) { ids.append(row.Value(0).toInt()); }))
        return std::nullopt;
    return ids;
}

std::optional<bool> BoardRepository::VisitLoad(int BBS_ID)
{
    const std::optional<QVariant> value = firstValue(m_db, u"SELECT VisitLoad FROM BBS WHERE BBS_ID = ?1"_s, {BBS_ID});
    return value ? std::optional<bool>(value->toBool()) : std::nullopt;
}

std::optional<int> BoardRepository::FirstBoardOfType(int BBSType)
{
    return firstId(m_db, u"SELECT BBS_ID FROM BBS WHERE BBSType = ?1 ORDER BY BBS_ID"_s, {BBSType});
}

std::optional<int> BoardRepository::FindByName(const QString &part)
{
    const QString pattern = u'*' + JetSql::LikeEscape(part) + u'*';
    return firstId(m_db, u"SELECT BBS_ID FROM BBS WHERE BBS_Name Like ?1 OR ShortName Like ?1 ORDER BY BBS_ID"_s,
                   {pattern});
}

int BoardRepository::ListedBoardOr(int BBS_ID)
{
    if (firstId(m_db, u"SELECT BBS_ID FROM BBS WHERE BBS_ID = ?1 AND ListOrder >= 0"_s, {BBS_ID}))
        return BBS_ID;
    return firstId(m_db, u"SELECT BBS_ID FROM BBS WHERE ListOrder >= 0 ORDER BY ListOrder, BBS_ID"_s).value_or(0);
}

bool BoardRepository::StoreListOrder(const QList<int> &order, const QList<int> &visiting)
{
    Transaction transaction(m_db);
    if (!transaction.IsActive() || !executeBound(m_db, u"UPDATE BBS SET ListOrder = -1, VisitLoad = False"_s, {}))
        return false;
    for (int position = 0; position < order.size(); ++position) {
        if (order.at(position) >= 0
            && !executeBound(m_db, u"UPDATE BBS SET ListOrder = ?1 WHERE BBS_ID = ?2"_s, {position, order.at(position)}))
            return false;
    }
    for (int id : visiting) {
        if (!executeBound(m_db, u"UPDATE BBS SET VisitLoad = True WHERE BBS_ID = ?1 AND ListOrder >= 0"_s, {id}))
            return false;
    }
    return transaction.Commit();
}

const DbError &BoardRepository::LastError() const
{
    return m_db.LastError();
}
