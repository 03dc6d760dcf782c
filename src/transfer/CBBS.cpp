#include "transfer/CBBS.h"

#include "db/Database.h"
#include "db/Transaction.h"
#include "transfer/LogParser.h"

#include <QElapsedTimer>
#include <utility>
#include <vector>

using namespace Qt::StringLiterals;

namespace {


const QString InsertSql =
    u"INSERT INTO Message(BBS_ID, ID, Read, Subject, HomePage, Mail, PostName, PostDate,"
    " InReplyTo, Body, RootThread, Mark) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12)"_s;
const QString BoardTypeSql = u"SELECT BBSType FROM BBS WHERE BBS_ID = ?1"_s;
const QString UnlinkedSql =
    u"SELECT ID, InReplyTo FROM Message WHERE BBS_ID = %1 AND RootThread = 0 ORDER BY ID"_s;
const QString RootOfSql = u"SELECT RootThread FROM Message WHERE BBS_ID = ?1 AND ID = ?2"_s;
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

/** A text bound as text even when empty, so that a field refusing "" refuses it. */
QVariant textValue(const QString &text)
{
    return text.isNull() ? QVariant(QString(u""_s)) : QVariant(text);
}

/**
 * The stored post date: the minute of the board's wall clock, as the stored date text
 * "YYYY-MM-DD HH:MM:00". Written by hand: a hundred thousand messages per import make the
 * general date formatter a noticeable share of the time.
 */
QVariant storedPostDate(const QDateTime &date)
{
    const QDate day = date.date();
    if (!date.isValid() || day.year() < 1 || day.year() > 9999)
        return {};
    char16_t text[19];
    const auto put = [&text](int at, int value, int digits) {
        for (int i = digits - 1; i >= 0; --i, value /= 10)
            text[at + i] = char16_t(u'0' + value % 10);
    };
    put(0, day.year(), 4);
    put(5, day.month(), 2);
    put(8, day.day(), 2);
    put(11, date.time().hour(), 2);
    put(14, date.time().minute(), 2);
    put(17, 0, 2);
    text[4] = text[7] = u'-';
    text[10] = u' ';
    text[13] = text[16] = u':';
    return QString(reinterpret_cast<const QChar *>(text), 19);
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
        analyseEntry(a.BBS_ID, a.bbsType, a.firstIndex + int(a.next), a.entries.at(a.next), a.read, a.completed);
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
    m_SaveCount -= int(m_uncommitted.size());
    m_uncommitted.clear();
    m_IsStorageError = true;
    m_AnalyseError = -1;
    QString text = what + cause.description;
    if (cause.number == DbError::DiskFull)
        text += u" 空き容量を増やしてから、もう一度実行してください。"_s;
    emit StateChanged(text, true, true);
}

void CBBS::analyseEntry(int BBS_ID, int bbsType, int index, QStringView entry, bool Read,
                        bool &completed)
{
    std::optional<CMessage> msg = LogParser::ParseEntry(bbsType, BBS_ID, entry, Read);
    if (!msg) {
        emit LoadError(BBS_ID, entry.toString(), QString::number(index) + u"件目のログが壊れていました。"_s);
        m_AnalyseError = -1;
        ++m_BrokenCount;
        return;
    }
    m_MaxID = std::max(m_MaxID, msg->ID);
    // A message that replies to nothing starts its thread, whatever UpdateThreads meets later:
    // stored so at once, it spares UpdateThreads a rewrite of the row.
    if (msg->InReplyTo == 0)
        msg->RootThread = msg->ID;
    if (!openBatch())
        return;
    switch (SaveMessage(*msg)) {
    case Saved:
        ++m_SaveCount;
        m_uncommitted.append(*msg);
        break;
    case Duplicate:
        completed = false;
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
    if (!m_db)
        return Refused;
    if (!m_insert.IsValid())
        m_insert = m_db->Prepare(InsertSql);
    Statement &insert = m_insert;
    if (!insert.IsValid())
        return Refused;
    insert.Bind(1, Msg.BBS_ID);
    insert.Bind(2, Msg.ID);
    insert.Bind(3, Msg.Read);
    insert.Bind(4, textValue(Msg.Subject));
    insert.Bind(5, textValue(Msg.HomePage));
    insert.Bind(6, textValue(Msg.Mail));
    insert.Bind(7, textValue(Msg.PostName));
    insert.Bind(8, storedPostDate(Msg.PostDate));
    insert.Bind(9, Msg.InReplyTo);
    insert.Bind(10, textValue(Msg.Body));
    insert.Bind(11, Msg.RootThread);
    insert.Bind(12, Msg.Mark);
    if (insert.Execute())
        return Saved;
    // A duplicate is known by the key's refusal alone: no lookup before each insert.
    return m_db->LastError().number == DbError::DuplicateKey ? Duplicate : Refused;
}

bool CBBS::UpdateThreads(int BBS_ID)
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
