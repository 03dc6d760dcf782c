#include "transfer/CBBS.h"

#include "app/Prompter.h"
#include "app/mdlApp.h"
#include "db/Database.h"
#include "db/Transaction.h"
#include "transfer/LogParser.h"

#include <QElapsedTimer>
#include <utility>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

/** The columns of table Message, in table order. */
const std::array<QString, 12> MessageColumns{
    u"BBS_ID"_s, u"ID"_s, u"Read"_s, u"Subject"_s, u"Homepage"_s, u"Mail"_s,
    u"PostName"_s, u"PostDate"_s, u"InReplyTo"_s, u"Body"_s, u"RootThread"_s, u"Mark"_s};
enum Column { ColBBS_ID, ColID, ColRead, ColSubject, ColHomePage, ColMail, ColPostName,
              ColPostDate, ColInReplyTo, ColBody, ColRootThread, ColMark };

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

/** A Date value read back as the wall-clock reading messages hold. */
QDateTime wallClockOf(const QVariant &value)
{
    if (value.typeId() == QMetaType::QDateTime) {
        const QDateTime dt = value.toDateTime();
        return CMessage::WallClock(dt.date(), dt.time());
    }
    const QString text = value.toString();
    const QDate date = QDate::fromString(text.left(10), u"yyyy-MM-dd"_s);
    const QTime time = text.size() > 10 ? QTime::fromString(text.mid(11, 8), u"HH:mm:ss"_s) : QTime(0, 0);
    return date.isValid() && time.isValid() ? CMessage::WallClock(date, time) : QDateTime();
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
    m_columns.fill(-1);
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

// ---- Free SQL ----------------------------------------------------------------------------

void CBBS::Initialize(Database *db)
{
    CloseLogMessages();
    m_insert = Statement();
    m_db = db;
}

std::optional<int> CBBS::ExecSQL(const QString &SQLString, DbError *error)
{
    const auto fail = [error](const DbError &cause) -> std::optional<int> {
        if (error)
            *error = cause;
        return std::nullopt;
    };
    if (error)
        *error = {};
    if (!m_db || !m_db->IsOpen())
        return fail(closedDatabase());

    const QList<JetSql::Parameter> parameters = m_db->Parameters(SQLString);
    if (m_db->LastError())
        return fail(m_db->LastError());
    QVariantList values;
    for (const JetSql::Parameter &parameter : parameters) {
        const std::optional<QString> value = prompter().askText(mdlApp::GetAppTitle(), parameter.name, QString());
        if (!value)
            return fail({DbError::TooFewParameters,
                         u"パラメータが少なすぎます。%1 を指定してください。"_s.arg(parameters.size())});
        values.append(*value);
    }

    const int type = JetSql::TypeOf(SQLString);
    switch (type) {
    case JetSql::Delete:
    case JetSql::Update:
    case JetSql::Append:
    case JetSql::MakeTable:
    case JetSql::DataDefinition:
        if (!m_db->Execute(SQLString, values))
            return fail(m_db->LastError());
        m_count = m_db->RecordsAffected();
        break;
    case JetSql::Select:
    case JetSql::Union:
    case JetSql::Crosstab: {
        CloseLogMessages();
        std::optional<::Recordset> result = m_db->OpenRecordset(SQLString, values);
        if (!result)
            return fail(m_db->LastError());
        m_Recordset = std::move(result);
        m_SQLType = hasMessageColumns(m_Recordset->FieldNames()) ? 0 : 1;
        for (size_t c = 0; c < MessageColumns.size(); ++c)
            m_columns[c] = m_Recordset->FieldIndex(MessageColumns[c]);
        m_count = m_Recordset->RecordCount();
        break;
    }
    default:
        break; // statements of no query type run nothing
    }
    return type;
}

/** True when @p names are the columns of table Message as it is now, in order (any case). */
bool CBBS::hasMessageColumns(const QStringList &names)
{
    const std::optional<::Recordset> table = m_db->OpenRecordset(u"SELECT TOP 1 * FROM Message"_s);
    if (!table || table->FieldCount() != names.size())
        return false;
    for (int c = 0; c < names.size(); ++c) {
        if (names.at(c).compare(table->FieldName(c), Qt::CaseInsensitive) != 0)
            return false;
    }
    return true;
}

std::optional<CMessage> CBBS::Messages(int Index) const
{
    return messageAt(Index);
}

std::optional<CMessage> CBBS::GetMessage() const
{
    return m_Recordset ? messageAt(m_Recordset->AbsolutePosition()) : std::nullopt;
}

std::optional<CMessage> CBBS::messageAt(int row) const
{
    if (!m_Recordset || row < 0 || row >= m_Recordset->RecordCount())
        return std::nullopt;
    const auto value = [&](Column column) { return m_Recordset->Value(row, m_columns[column]); };
    CMessage msg;
    msg.BBS_ID = value(ColBBS_ID).toInt();
    msg.ID = value(ColID).toInt();
    msg.Read = value(ColRead).toBool();
    msg.Subject = value(ColSubject).toString();
    msg.HomePage = value(ColHomePage).toString();
    msg.Mail = value(ColMail).toString();
    msg.PostName = value(ColPostName).toString();
    msg.PostDate = wallClockOf(value(ColPostDate));
    msg.InReplyTo = value(ColInReplyTo).toInt();
    msg.Body = value(ColBody).toString();
    msg.RootThread = value(ColRootThread).toInt();
    msg.Mark = value(ColMark).toInt();
    return msg;
}

void CBBS::CloseLogMessages()
{
    m_Recordset.reset();
    m_columns.fill(-1);
    m_SQLType = 1;
}
