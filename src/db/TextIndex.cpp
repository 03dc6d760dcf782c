#include "db/TextIndex.h"

#include "db/Database.h"
#include "db/JetSql.h"
#include "db/Recordset.h"
#include "db/Transaction.h"

#include <QChar>
#include <QStringList>
#include <array>

using namespace Qt::StringLiterals;

namespace TextIndex {

namespace {

const QString Columns = u"Body, Subject, PostName"_s;
const QString InsertTrigger = TableName + u"_Insert"_s;
const QString DeleteTrigger = TableName + u"_Delete"_s;
const QString UpdateTrigger = TableName + u"_Update"_s;
const QString UnseenTable = TableName + u"Unseen"_s;
const QString PendingTable = TableName + u"Pending"_s;

/** The index's rowid of the row @p row ("new" or "old") of table Message. */
QString keyOf(const QString &row)
{
    return u"(%1.BBS_ID << 32) + (%1.ID + 2147483648)"_s.arg(row);
}

/** The values of the indexed columns of row @p row. */
QString valuesOf(const QString &row)
{
    return u"%1.Body, %1.Subject, %1.PostName"_s.arg(row);
}

/** A key outside 32 bits would land on another message's rowid: such a row is refused. */
QString checkedKey()
{
    return u"CASE WHEN typeof(new.BBS_ID) = 'integer' AND typeof(new.ID) = 'integer'"
           " AND new.BBS_ID BETWEEN -2147483648 AND 2147483647 AND new.ID BETWEEN -2147483648 AND 2147483647"
           " THEN %1 ELSE RAISE(ABORT, 'Message key out of range') END"_s.arg(keyOf(u"new"_s));
}

/**
 * True for a row with a text that the tokenizer does not read whole: it stops at a U+0000 and
 * takes the character after a lone high surrogate into it. SQLite counts such a text shorter
 * than its UTF-16 units (so are characters outside the BMP, which costs nothing but a Like).
 */
QString unseen(const QString &row)
{
    QStringList tests;
    for (const QString &column : Columns.split(u", "_s))
        tests.append(u"length(%1.%2) * 2 <> length(CAST(%1.%2 AS BLOB))"_s.arg(row, column));
    return tests.join(u" OR "_s);
}

/**
 * A new row waits in the pending table, one statement per row: indexing it here would cost the
 * insert ten times its own time.
 */
QString addNew()
{
    return u"INSERT OR IGNORE INTO %1 VALUES(%2);"_s.arg(PendingTable, checkedKey());
}

/**
 * A contentless index forgets a row only when given the values it indexed; a row still
 * pending was never indexed and only leaves the pending table.
 */
QString removeOld()
{
    return u"INSERT INTO %1(%1, rowid, %2) SELECT 'delete', %3, %4 WHERE NOT EXISTS (SELECT 1 FROM %5 WHERE Key = %3);"
           " DELETE FROM %5 WHERE Key = %3; DELETE FROM %6 WHERE Key = %3;"_s.arg(
               TableName, Columns, keyOf(u"old"_s), valuesOf(u"old"_s), PendingTable, UnseenTable);
}

/** The rows of table Message whose keys are pending up to @p last, as "FROM ... WHERE". */
QString pendingRows(qint64 last)
{
    return u" FROM %1 JOIN Message ON Message.BBS_ID = %1.Key >> 32"
           " AND Message.ID = (%1.Key & 4294967295) - 2147483648 WHERE %1.Key <= %2"_s.arg(PendingTable).arg(last);
}

QStringList createStatements()
{
    return {
        u"CREATE VIRTUAL TABLE %1 USING fts5(%2, content='', tokenize='trigram', columnsize=0)"_s.arg(TableName,
                                                                                                      Columns),
        u"CREATE TABLE %1 (Key INTEGER PRIMARY KEY)"_s.arg(UnseenTable),
        u"CREATE TABLE %1 (Key INTEGER PRIMARY KEY)"_s.arg(PendingTable),
        u"CREATE TRIGGER %1 AFTER INSERT ON Message BEGIN %2 END"_s.arg(InsertTrigger, addNew()),
        u"CREATE TRIGGER %1 AFTER DELETE ON Message BEGIN %2 END"_s.arg(DeleteTrigger, removeOld()),
        u"CREATE TRIGGER %1 AFTER UPDATE OF BBS_ID, ID, %2 ON Message BEGIN %3 %4 END"_s.arg(
            UpdateTrigger, Columns, removeOld(), addNew()),
        // Every stored row waits for the batches, which index it with a progress to show.
        u"INSERT INTO %1 SELECT %2 FROM Message"_s.arg(PendingTable, keyOf(u"Message"_s)),
    };
}

QStringList dropStatements()
{
    return {u"DROP TRIGGER IF EXISTS "_s + InsertTrigger, u"DROP TRIGGER IF EXISTS "_s + DeleteTrigger,
            u"DROP TRIGGER IF EXISTS "_s + UpdateTrigger, u"DROP TABLE IF EXISTS "_s + TableName,
            u"DROP TABLE IF EXISTS "_s + UnseenTable, u"DROP TABLE IF EXISTS "_s + PendingTable};
}

bool runAll(Database &db, const QStringList &statements)
{
    Transaction transaction(db);
    if (!transaction.IsActive())
        return false;
    for (const QString &sql : statements) {
        if (!db.ExecuteNative(sql))
            return false;
    }
    return transaction.Commit();
}

/** For each folded character of the BMP, how many characters fold to it. */
const std::array<quint8, 0x10000> &foldCounts()
{
    static const std::array<quint8, 0x10000> counts = [] {
        std::array<quint8, 0x10000> n{};
        for (char32_t c = 0; c < 0x10000; ++c) {
            const char32_t folded = QChar::toCaseFolded(c);
            if (folded < 0x10000 && n[folded] < 255)
                ++n[folded];
        }
        return n;
    }();
    return counts;
}

bool isLatinLetter(char16_t c)
{
    const char16_t lower = c | 0x20;
    return lower >= u'a' && lower <= u'z';
}

bool isFullWidthLetter(char16_t c)
{
    return (c >= 0xff21 && c <= 0xff3a) || (c >= 0xff41 && c <= 0xff5a);
}

/** Appends the FTS5 phrase for @p run when it is long enough to search by trigrams. */
void addPhrase(QStringList &phrases, QStringView column, QString &run)
{
    if (run.size() >= 3)
        phrases.append(column.toString() + u" : \""_s + run.replace(u'"', u"\"\""_s) + u'"');
    run.clear();
}

} // namespace

QStringList SchemaNames()
{
    return {TableName, UnseenTable, PendingTable, InsertTrigger, DeleteTrigger, UpdateTrigger};
}

std::optional<int> IndexPending(Database &db, int limit)
{
    Transaction transaction(db);
    if (!transaction.IsActive())
        return std::nullopt;
    const std::optional<Recordset> rs = db.QueryNative(
        u"SELECT count(*), max(Key) FROM (SELECT Key FROM %1 ORDER BY Key LIMIT %2)"_s.arg(PendingTable).arg(limit));
    if (!rs)
        return std::nullopt;
    const int count = rs->Value(0, 0).toInt();
    if (count == 0)
        return 0;
    const QString rows = pendingRows(rs->Value(0, 1).toLongLong());
    const QString message = u"Message"_s;
    const bool ok = db.ExecuteNative(u"INSERT INTO %1(rowid, %2) SELECT %3, %4"_s.arg(
                        TableName, Columns, keyOf(message), valuesOf(message)) + rows)
        && db.ExecuteNative(u"INSERT OR IGNORE INTO %1 SELECT %2"_s.arg(UnseenTable, keyOf(message)) + rows
                            + u" AND ("_s + unseen(message) + u')')
        && db.ExecuteNative(u"DELETE FROM %1 WHERE Key <= %2"_s.arg(PendingTable).arg(rs->Value(0, 1).toLongLong()));
    if (!ok || !transaction.Commit())
        return std::nullopt;
    return count;
}

std::optional<qint64> PendingCount(Database &db)
{
    const std::optional<Recordset> rs = db.QueryNative(u"SELECT count(*) FROM "_s + PendingTable);
    if (!rs)
        return std::nullopt;
    return rs->Value(0, 0).toLongLong();
}

QString ProgressText(qint64 done, qint64 total)
{
    return u"全文検索の索引を作成しています... %1 / %2"_s.arg(done).arg(total);
}

bool IsIndexedColumn(QStringView column)
{
    return column.compare(u"Body", Qt::CaseInsensitive) == 0 || column.compare(u"Subject", Qt::CaseInsensitive) == 0
        || column.compare(u"PostName", Qt::CaseInsensitive) == 0;
}

bool Create(Database &db)
{
    return runAll(db, dropStatements() + createStatements());
}

bool Drop(Database &db)
{
    return runAll(db, dropStatements());
}

bool FoldsAsLike(char16_t c)
{
    if (c == 0 || QChar::isSurrogate(c))
        return false;
    const char32_t folded = QChar::toCaseFolded(char32_t(c));
    const int forms = folded < 0x10000 ? foldCounts()[folded] : 0;
    // A character of its own, or a Latin letter with just its other case (not "k" with the
    // Kelvin sign, nor "s" with the long s, which the index does not fold alike).
    return forms == 1 || (forms == 2 && (isLatinLetter(c) || isFullWidthLetter(c)));
}

QString Candidates(const QString &key, const QString &match, const QString &board)
{
    // IN lists joined by OR: the planner drives the search by each of them (a UNION ALL of
    // them would make it read the whole table). Rows not indexed yet are always candidates.
    const QString in = u"%1 IN (SELECT (rowid & 4294967295) - 2147483648, rowid >> 32 FROM %2 WHERE %3%4)"_s;
    return u"("_s + in.arg(key, TableName, TableName + u" MATCH "_s + JetSql::TextLiteral(match), board) + u" OR "_s
        + in.arg(key, UnseenTable, u"1"_s, board) + u" OR "_s + in.arg(key, PendingTable, u"1"_s, board) + u')';
}

std::optional<QString> MatchQuery(QStringView column, QStringView pattern)
{
    QStringList phrases;
    QString run;
    // The same reading of the pattern as the Like matcher's: "[" opens a list only when a
    // "]" follows somewhere; every wildcard or list ends a run of literal characters.
    const qsizetype lastClose = pattern.lastIndexOf(u']');
    for (qsizetype i = 0; i < pattern.size(); ++i) {
        const QChar c = pattern[i];
        if (c == u'[' && i < lastClose) {
            addPhrase(phrases, column, run);
            i = pattern.indexOf(u']', i + 1);
        } else if (c == u'*' || c == u'?' || c == u'#' || !FoldsAsLike(c.unicode())) {
            addPhrase(phrases, column, run);
        } else {
            run.append(c);
        }
    }
    addPhrase(phrases, column, run);
    if (phrases.isEmpty())
        return std::nullopt;
    return phrases.join(u" AND "_s);
}

QString SearchStatement(const QString &text, std::optional<int> board, int limit)
{
    const QString onBoard = board ? u"BBS_ID = %1 AND "_s.arg(*board) : QString();
    return u"SELECT TOP %1 BBS_ID, ID, PostDate, PostName, Subject FROM Message WHERE %2Body Like '*%3*'"
           " ORDER BY PostDate DESC, BBS_ID, ID DESC"_s.arg(QString::number(limit), onBoard, JetSql::LikeLiteral(text));
}

} // namespace TextIndex
