#include "transfer/CBBS.h"

#include "db/Database.h"
#include "db/Transaction.h"
#include "transfer/LogParser.h"

#include <QElapsedTimer>
#include <QMetaMethod>
#include <limits>
#include <utility>
#include <vector>

using namespace Qt::StringLiterals;

namespace {


const QString InsertSql =
    u"INSERT INTO Message(BBS_ID, ID, Read, Subject, HomePage, Mail, PostName, PostDate,"
    " InReplyTo, Body, RootThread, Mark) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12)"
    " ON CONFLICT DO NOTHING"_s;
const QString BoardTypeSql = u"SELECT BBSType FROM BBS WHERE BBS_ID = ?1"_s;
const QString UnlinkedSql =
    u"SELECT ID, InReplyTo FROM Message WHERE BBS_ID = %1 AND RootThread = 0 ORDER BY ID"_s;
const QString RootOfSql = u"SELECT RootThread FROM Message WHERE BBS_ID = ?1 AND ID = ?2"_s;
const QString StoredNumbersSql = u"SELECT ID FROM Message WHERE BBS_ID = ?1 AND ID BETWEEN ?2 AND ?3"_s;
const QString SetRootSql = u"UPDATE Message SET RootThread = ?1 WHERE BBS_ID = ?2 AND ID = ?3"_s;

DbError closedDatabase()
{
    return {DbError::InvalidOperation, u"データベースが閉じています。"_s};
}

/**
 * True when the database refused a message for a value of its own (an empty or too long text,
 * a missing value): the entry is reported and the analysis goes on. Any other refusal is a
 * failure of the storage itself.
 */
bool refusesTheEntry(const DbError &error)
{
    return error.number == DbError::ZeroLengthText || error.number == DbError::TextTooLong
           || error.number == DbError::RequiredField;
}

/**
 * The stored post date: the minute of the board's wall clock, as the stored date text
 * "YYYY-MM-DD HH:MM:00"; empty for a date it cannot hold. Written by hand: a hundred thousand
 * messages per import make the general date formatter a noticeable share of the time.
 */
struct StoredPostDate
{
    StoredPostDate(QDate day, QTime time)
    {
        if (!day.isValid() || day.year() < 1 || day.year() > 9999)
            return;
        put(0, day.year(), 4);
        put(5, day.month(), 2);
        put(8, day.day(), 2);
        put(11, time.hour(), 2);
        put(14, time.minute(), 2);
        put(17, 0, 2);
        text[4] = text[7] = u'-';
        text[10] = u' ';
        text[13] = text[16] = u':';
        valid = true;
    }

    void put(int at, int value, int digits)
    {
        for (int i = digits - 1; i >= 0; --i, value /= 10)
            text[at + i] = char16_t(u'0' + value % 10);
    }

    /** The text; a null view for a date the column cannot hold. */
    QStringView view() const { return valid ? QStringView(text, std::size(text)) : QStringView(); }

    char16_t text[19];
    bool valid = false;
};

/**
 * True when the texts (subject, home page, mail, name, body) pass every check of the columns:
 * a number already stored is then a duplicate without an insert. Texts that might not pass go
 * to the insert, whose refusal comes before the duplicate's.
 */
bool fitsTheColumns(const QStringView (&texts)[5])
{
    constexpr qsizetype ShortText = 255; // no more characters than UTF-16 units
    return texts[0].size() <= ShortText && texts[1].size() <= ShortText && texts[2].size() <= ShortText
           && texts[3].size() <= ShortText && !texts[4].isEmpty();
}

/** (ID, InReplyTo) of an unlinked message. */
struct Unlinked
{
    int id;
    int inReplyTo;
};

/**
 * Which of @p rows (ascending ID) start a reply cycle among themselves (a message replying to
 * itself, or A to B and B to A, ...): the smallest ID of each cycle. Without this, every
 * member of a cycle would wait for another one and none would ever be linked.
 */
std::vector<bool> cycleStarts(const QList<Unlinked> &rows, const QHash<int, int> &position)
{
    const qsizetype n = rows.size();
    std::vector<qsizetype> next(n, -1);
    for (qsizetype i = 0; i < n; ++i)
        next[i] = rows[i].inReplyTo == 0 ? -1 : position.value(rows[i].inReplyTo, -1);
    enum State : char { New, OnPath, Done };
    std::vector<State> state(n, New);
    std::vector<bool> starts(n, false);
    std::vector<qsizetype> path;
    for (qsizetype s = 0; s < n; ++s) {
        path.clear();
        qsizetype v = s;
        for (; v >= 0 && state[v] == New; v = next[v]) {
            state[v] = OnPath;
            path.push_back(v);
        }
        if (v >= 0 && state[v] == OnPath) {
            qsizetype smallest = v;
            for (qsizetype w = next[v]; w != v; w = next[w])
                smallest = std::min(smallest, w);
            starts[smallest] = true;
        }
        for (qsizetype w : path)
            state[w] = Done;
    }
    return starts;
}

/**
 * The thread root of each entry of a piece, as UpdateThreads would give it once the @p present
 * entries are stored: its own number when it replies to nothing, else the root of a present
 * parent that has one; 0 otherwise (the parent elsewhere, missing, or a reply cycle), which
 * leaves the entry to UpdateThreads.
 */
std::vector<int> pieceRoots(const std::vector<std::optional<LogParser::EntryFields>> &fields,
                            const std::vector<bool> &present)
{
    constexpr int Unknown = -1;
    constexpr int OnPath = -2;
    QHash<int, qsizetype> byId; // the first present entry of each number
    byId.reserve(qsizetype(fields.size()));
    for (size_t i = 0; i < fields.size(); ++i) {
        if (present[i] && !byId.contains(fields[i]->id))
            byId.insert(fields[i]->id, qsizetype(i));
    }
    std::vector<int> roots(fields.size(), Unknown);
    std::vector<qsizetype> path;
    for (size_t i = 0; i < fields.size(); ++i) {
        if (!fields[i])
            continue;
        path.clear();
        qsizetype j = qsizetype(i);
        int root = 0;
        while (true) {
            if (roots[j] != Unknown) {
                root = std::max(roots[j], 0); // a known root, or a cycle met on this path
                break;
            }
            const LogParser::EntryFields &entry = *fields[j];
            if (entry.inReplyTo == 0) {
                root = entry.id;
                break;
            }
            roots[j] = OnPath;
            path.push_back(j);
            const auto parent = byId.constFind(entry.inReplyTo);
            if (parent == byId.cend())
                break;
            j = *parent;
        }
        if (roots[j] == Unknown)
            roots[j] = root;
        for (const qsizetype k : path)
            roots[k] = root;
    }
    for (int &root : roots)
        root = std::max(root, 0);
    return roots;
}

} // namespace

CBBS::CBBS(QObject *parent) : QObject(parent)
{
}

CBBS::~CBBS() = default;

void CBBS::ResetCounters()
{
    m_AnalyseCount = 0;
    m_SaveCount = 0;
    m_AnalyseError = 0;
    m_BrokenCount = 0;
    m_MaxID = 0;
}

// ---- Log analysis ------------------------------------------------------------------------

bool CBBS::AnalyseLog(int BBS_ID, QStringView Text, bool Read, int FirstIndex)
{
    beginAnalysis(BBS_ID, Text, Read, FirstIndex);
    while (!analyseSlice(-1)) {
    }
    return endAnalysis();
}

/** Splits @p Text (which must outlive the analysis) into the entries analyseSlice() goes through. */
void CBBS::beginAnalysis(int BBS_ID, QStringView Text, bool Read, int FirstIndex)
{
    m_AnalyseError = 0;
    m_IsStorageError = false;
    m_LastEntryCount = 0;
    m_analysis.emplace();
    m_analysis->BBS_ID = BBS_ID;
    m_analysis->bbsType = boardType(BBS_ID);
    m_analysis->firstIndex = FirstIndex;
    m_analysis->read = Read;
    m_analysis->entries = LogParser::SplitEntries(Text);
    m_analysis->announce = isSignalConnected(QMetaMethod::fromSignal(&CBBS::Loaded));
}

/**
 * Analyses entries for about @p budgetMs (all of them when negative). True when the entries are
 * through or the analysis stopped (a cancel, a storage failure); otherwise the rows of the slice
 * are committed, so that the event loop may turn before the next slice.
 */
bool CBBS::analyseSlice(qint64 budgetMs)
{
    Analysis &a = *m_analysis;
    QElapsedTimer slice;
    slice.start();
    while (a.next < a.entries.size() && !m_IsStorageError) {
        ++m_LastEntryCount;
        analyseEntry(a.firstIndex + int(a.next), a.entries.at(a.next));
        ++a.next;
        if (m_IsCancel) {
            a.completed = false;
            return true;
        }
        if (budgetMs >= 0 && slice.elapsed() >= budgetMs && a.next < a.entries.size()) {
            // Commit first: a write made from the event loop (the window marking a message
            // read) must never join a transaction that a later failure of ours rolls back.
            return !commitBatch();
        }
    }
    return true;
}

/** Links the threads in the transaction of the last rows and commits; AnalyseLog's result. */
bool CBBS::endAnalysis()
{
    const Analysis a = *std::exchange(m_analysis, std::nullopt);
    if (m_IsStorageError)
        return false;
    emit StateChanged(u"スレッド情報を更新中..."_s, false, false);
    // The links go into the same transaction as the last rows: both are kept or neither.
    if (!UpdateThreads(a.BBS_ID))
        failStorage(u"スレッド情報を更新できませんでした。"_s);
    else
        commitBatch();
    if (m_IsStorageError)
        return false;
    emit StateChanged(u"スレッド情報の更新を終了しました。"_s, false, false);
    return a.completed;
}

/**
 * Analyses @p Text (a piece of an import) like AnalyseLog, but leaves its rows in the open
 * transaction and its threads unlinked, for commitPieces().
 */
void CBBS::analysePiece(int BBS_ID, QStringView Text, bool Read, int FirstIndex)
{
    beginAnalysis(BBS_ID, Text, Read, FirstIndex);
    Analysis &a = *m_analysis;
    // The entries are read first, so that a reply is stored with the root of the thread that
    // its parent, later in the piece, starts or joins: the rows need no second write.
    a.fields.reserve(a.entries.size());
    for (const QStringView entry : std::as_const(a.entries))
        a.fields.push_back(LogParser::ParseFields(a.bbsType, entry));
    std::vector<bool> parsed(a.fields.size());
    for (size_t i = 0; i < parsed.size(); ++i)
        parsed[i] = a.fields[i].has_value();
    a.roots = pieceRoots(a.fields, parsed);
    a.saved.assign(a.fields.size(), false);
    // The numbers stored already are read inside the transaction, so they stay as read.
    if (m_db && openBatch())
        a.stored = storedNumbers(BBS_ID, a.fields);
    while (!analyseSlice(-1)) {
    }
    if (m_db && !m_IsStorageError)
        correctRoots();
    m_analysis.reset();
}

/**
 * The numbers of @p fields that board @p BBS_ID holds already, read in one pass over the range
 * of the piece's numbers; empty when that range is much wider than the piece (numbers far apart
 * would read rows the piece never meets) or the read failed: the insert then finds them itself.
 */
QSet<int> CBBS::storedNumbers(int BBS_ID, const std::vector<std::optional<LogParser::EntryFields>> &fields)
{
    int low = std::numeric_limits<int>::max();
    int high = std::numeric_limits<int>::min();
    qint64 count = 0;
    for (const auto &entry : fields) {
        if (!entry)
            continue;
        low = std::min(low, entry->id);
        high = std::max(high, entry->id);
        ++count;
    }
    QSet<int> stored;
    if (count == 0 || qint64(high) - low > 4 * count + 1024)
        return stored;
    Statement query = m_db->Prepare(StoredNumbersSql);
    query.BindInt(1, BBS_ID);
    query.BindInt(2, low);
    query.BindInt(3, high);
    while (query.Next())
        stored.insert(query.Value(0).toInt());
    return m_db->LastError() ? QSet<int>() : stored;
}

/**
 * Gives the rows that took their root from a parent in the piece that was not stored after all
 * (a duplicate, a refused row, a cancel before it) the root their stored parents give: 0 when
 * none, for UpdateThreads.
 */
void CBBS::correctRoots()
{
    const Analysis &a = *m_analysis;
    const std::vector<int> roots = pieceRoots(a.fields, a.saved);
    for (size_t i = 0; i < roots.size(); ++i) {
        if (!a.saved[i] || roots[i] == a.roots[i])
            continue;
        Statement setRoot = m_db->Prepare(SetRootSql);
        setRoot.BindInt(1, roots[i]);
        setRoot.BindInt(2, a.BBS_ID);
        setRoot.BindInt(3, a.fields[i]->id);
        if (!setRoot.Execute()) {
            failStorage(u"スレッド情報を更新できませんでした。"_s);
            return;
        }
    }
}

/**
 * Links the threads of the rows analysed since the last commit and commits them together;
 * until the @p last commit of an import, a reply whose parent is not stored waits for a later
 * piece, which may hold it. False on a storage failure (reported).
 */
bool CBBS::commitPieces(int BBS_ID, bool last)
{
    if (m_IsStorageError)
        return false;
    if (!m_batch && !last)
        return true; // nothing stored since the last commit
    emit StateChanged(u"スレッド情報を更新中..."_s, false, false);
    if (!linkThreads(BBS_ID, !last)) {
        failStorage(u"スレッド情報を更新できませんでした。"_s);
        return false;
    }
    if (!commitBatch())
        return false;
    emit StateChanged(u"スレッド情報の更新を終了しました。"_s, false, false);
    return true;
}

/** Begins the transaction for the next rows unless one is open; false on a storage failure. */
bool CBBS::openBatch()
{
    if (m_batch || !m_db)
        return true; // without a database SaveMessage refuses and reports it
    m_batch = std::make_unique<Transaction>(*m_db);
    if (m_batch->IsActive())
        return true;
    m_batch.reset();
    failStorage(u"データベースに書き込めませんでした。"_s);
    return false;
}

/** Commits the rows stored since the last commit and raises Loaded for them. */
bool CBBS::commitBatch()
{
    if (!m_batch)
        return true;
    if (!m_batch->Commit()) {
        failStorage(u"データベースに書き込めませんでした。"_s);
        return false;
    }
    m_batch.reset();
    m_uncommittedCount = 0;
    const QList<CMessage> stored = std::exchange(m_uncommitted, {});
    for (const CMessage &msg : stored)
        emit Loaded(msg);
    return true;
}

/**
 * Ends the analysis on a database failure: rolls back the uncommitted rows, takes them out of
 * SaveCount (what is reported as stored is what was stored) and reports @p what with the cause.
 */
void CBBS::failStorage(const QString &what)
{
    const DbError cause = m_db ? m_db->LastError() : closedDatabase();
    m_batch.reset();
    m_SaveCount -= std::exchange(m_uncommittedCount, 0);
    m_uncommitted.clear();
    m_IsStorageError = true;
    m_AnalyseError = -1;
    QString text = what + cause.description;
    if (cause.number == DbError::DiskFull)
        text += u" 空き容量を増やしてから、もう一度実行してください。"_s;
    emit StateChanged(text, true, true);
}

void CBBS::analyseEntry(int index, QStringView entry)
{
    Analysis &a = *m_analysis;
    const qsizetype at = a.next;
    std::optional<LogParser::EntryFields> parsed;
    const std::optional<LogParser::EntryFields> &fields
        = a.fields.empty() ? (parsed = LogParser::ParseFields(a.bbsType, entry)) : a.fields[at];
    const int BBS_ID = a.BBS_ID;
    const bool Read = a.read;
    if (!fields) {
        emit LoadError(BBS_ID, entry.toString(), QString::number(index) + u"件目のログが壊れていました。"_s);
        m_AnalyseError = -1;
        ++m_BrokenCount;
        return;
    }
    m_MaxID = std::max(m_MaxID, fields->id);
    if (!openBatch())
        return;
    // A message that replies to nothing starts its thread, whatever UpdateThreads meets later:
    // stored so at once, it spares UpdateThreads a rewrite of the row. So does a reply whose
    // thread the piece being imported shows.
    const int root = a.roots.empty() ? (fields->inReplyTo == 0 ? fields->id : 0) : a.roots[at];
    const StoredPostDate date(fields->date, fields->time);
    const QStringView texts[] = {fields->subject(), fields->homePage, fields->mail, fields->postName, fields->body};
    const bool stored = a.stored.contains(fields->id) && fitsTheColumns(texts);
    switch (stored ? Duplicate : insert(BBS_ID, fields->id, Read, texts, date.view(), fields->inReplyTo, root, 0)) {
    case Saved:
        ++m_SaveCount;
        ++m_uncommittedCount;
        if (!a.saved.empty())
            a.saved[at] = true;
        // The message is made only for a receiver: an import without one stores it from the text alone.
        if (a.announce) {
            CMessage msg = fields->message(BBS_ID, Read);
            msg.RootThread = root;
            m_uncommitted.append(std::move(msg));
        }
        break;
    case Duplicate:
        a.completed = false;
        break;
    case Refused:
        if (!m_db || !refusesTheEntry(m_db->LastError())) {
            failStorage(u"記事をデータベースに保存できませんでした。"_s);
            return;
        }
        emit LoadError(BBS_ID, entry.toString(),
                       QString::number(index) + u"件目のログをデータベースに登録できませんでした。"_s);
        m_AnalyseError = -1;
        break;
    }
    ++m_AnalyseCount;
    emit StateChanged(QString::number(index) + u"件目を解析中..."_s, false, false);
}

/** The board's BBSType; -1 (no layout, every entry broken) when the board is unknown. */
int CBBS::boardType(int BBS_ID)
{
    if (!m_db)
        return -1;
    Statement query = m_db->Prepare(BoardTypeSql);
    query.Bind(1, BBS_ID);
    return query.Next() ? query.Value(0).toInt() : -1;
}

std::optional<CMessage> CBBS::ParseSingleEntry(int BBS_ID, QStringView Entry, bool Read)
{
    return LogParser::ParseSingleEntry(BBS_ID, Entry, Read);
}

std::optional<CMessage> CBBS::ParsePairedEntry(int BBS_ID, QStringView Entry, bool Read)
{
    return LogParser::ParsePairedEntry(BBS_ID, Entry, Read);
}

std::optional<CMessage> CBBS::ParseTextPageEntry(int BBS_ID, QStringView Entry, bool Read)
{
    return LogParser::ParseTextPageEntry(BBS_ID, Entry, Read);
}

// ---- Storage and threads -----------------------------------------------------------------

CBBS::SaveResult CBBS::SaveMessage(const CMessage &Msg)
{
    const StoredPostDate date(Msg.PostDate.date(), Msg.PostDate.time());
    const QStringView texts[] = {Msg.Subject, Msg.HomePage, Msg.Mail, Msg.PostName, Msg.Body};
    return insert(Msg.BBS_ID, Msg.ID, Msg.Read, texts, date.view(), Msg.InReplyTo, Msg.RootThread, Msg.Mark);
}

/**
 * Stores one row, its texts (subject, home page, mail, name, body) bound where they are.
 * A duplicate is known by the key alone: the row is neither looked up first nor refused with
 * an error, it simply changes nothing.
 */
CBBS::SaveResult CBBS::insert(int BBS_ID, int ID, bool Read, const QStringView (&texts)[5],
                              QStringView postDate, int InReplyTo, int RootThread, int Mark)
{
    if (!m_db)
        return Refused;
    if (!m_insert.IsValid())
        m_insert = m_db->Prepare(InsertSql);
    Statement &insert = m_insert;
    if (!insert.IsValid())
        return Refused;
    insert.BindInt(1, BBS_ID);
    insert.BindInt(2, ID);
    insert.BindInt(3, Read ? 1 : 0);
    for (int i = 0; i < 4; ++i)
        insert.BindText(4 + i, texts[i]);
    if (postDate.isNull())
        insert.Bind(8, QVariant());
    else
        insert.BindText(8, postDate);
    insert.BindInt(9, InReplyTo);
    insert.BindText(10, texts[4]);
    insert.BindInt(11, RootThread);
    insert.BindInt(12, Mark);
    if (!insert.Execute())
        return Refused;
    return m_db->RecordsAffected() == 0 ? Duplicate : Saved;
}

bool CBBS::UpdateThreads(int BBS_ID)
{
    return linkThreads(BBS_ID, false);
}

/** UpdateThreads; with @p waitForParents a reply whose parent is not stored stays unlinked. */
bool CBBS::linkThreads(int BBS_ID, bool waitForParents)
{
    if (!m_db)
        return false;
    const std::optional<::Recordset> unlinked = m_db->OpenRecordset(UnlinkedSql.arg(BBS_ID));
    if (!unlinked)
        return false;
    if (unlinked->RecordCount() == 0)
        return true;
    QList<Unlinked> rows;
    rows.reserve(unlinked->RecordCount());
    QHash<int, int> position; // ID -> index in rows
    position.reserve(unlinked->RecordCount());
    for (int r = 0; r < unlinked->RecordCount(); ++r) {
        position.insert(unlinked->Value(r, 0).toInt(), r);
        rows.append({unlinked->Value(r, 0).toInt(), unlinked->Value(r, 1).toInt()});
    }

    Transaction transaction(*m_db);
    if (!transaction.IsActive())
        return false;
    const std::vector<bool> cycleStart = cycleStarts(rows, position);
    // Roots given in this pass, so that a reply inherits from a parent linked just before it.
    QList<int> roots(rows.size(), 0);
    Statement rootOf = m_db->Prepare(RootOfSql);
    Statement setRoot = m_db->Prepare(SetRootSql);
    for (qsizetype i = 0; i < rows.size(); ++i) {
        const Unlinked &row = rows.at(i);
        int root = row.id;
        if (row.inReplyTo != 0 && !cycleStart[i]) {
            if (const auto parent = position.constFind(row.inReplyTo); parent != position.cend()) {
                root = roots.at(*parent); // still 0 when the parent comes later
            } else {
                rootOf.Bind(1, BBS_ID);
                rootOf.Bind(2, row.inReplyTo);
                if (rootOf.Next())
                    root = rootOf.Value(0).toInt();
                else if (waitForParents)
                    root = 0;
                rootOf.Reset();
            }
        }
        roots[i] = root;
        if (root == 0)
            continue;
        setRoot.Bind(1, root);
        setRoot.Bind(2, BBS_ID);
        setRoot.Bind(3, row.id);
        if (!setRoot.Execute())
            return false; // the guard rolls back the links given so far
    }
    return transaction.Commit();
}

// ---- Database ----------------------------------------------------------------------------

void CBBS::Initialize(Database *db)
{
    m_insert = Statement();
    m_db = db;
}
