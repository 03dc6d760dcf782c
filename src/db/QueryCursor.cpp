#include "db/QueryCursor.h"

#include "app/Prompter.h"
#include "app/mdlApp.h"
#include "db/Database.h"
#include "db/JetSql.h"

using namespace Qt::StringLiterals;

namespace {

/** The columns of table Message, in table order. */
const std::array<QString, 12> MessageColumns{
    u"BBS_ID"_s, u"ID"_s, u"Read"_s, u"Subject"_s, u"Homepage"_s, u"Mail"_s,
    u"PostName"_s, u"PostDate"_s, u"InReplyTo"_s, u"Body"_s, u"RootThread"_s, u"Mark"_s};
enum Column { ColBBS_ID, ColID, ColRead, ColSubject, ColHomePage, ColMail, ColPostName,
              ColPostDate, ColInReplyTo, ColBody, ColRootThread, ColMark };

bool isResultType(int type)
{
    return type == JetSql::Select || type == JetSql::Union || type == JetSql::Crosstab;
}

bool isActionType(int type)
{
    return type == JetSql::Delete || type == JetSql::Update || type == JetSql::Append
        || type == JetSql::MakeTable || type == JetSql::DataDefinition;
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

} // namespace

QueryCursor::QueryCursor(Database *db) : m_db(db)
{
    m_columns.fill(-1);
}

void QueryCursor::Initialize(Database *db)
{
    CloseLogMessages();
    m_db = db;
}

DbError QueryCursor::Refusal()
{
    return {DbError::InvalidOperation, u"現在未対応ですm(_ _)m"_s};
}

std::optional<int> QueryCursor::ExecSQL(const QString &SQLString, DbError *error)
{
    const auto fail = [error](const DbError &cause) -> std::optional<int> {
        if (error)
            *error = cause;
        return std::nullopt;
    };
    if (error)
        *error = {};
    if (!m_db || !m_db->IsOpen())
        return fail({DbError::InvalidOperation, u"データベースが閉じています。"_s});
    const int type = JetSql::TypeOf(SQLString);
    if (!isResultType(type) && !isActionType(type))
        return fail(Refusal());

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

    if (isActionType(type)) {
        if (!m_db->Execute(SQLString, values))
            return fail(m_db->LastError());
        m_count = m_db->RecordsAffected();
        return type;
    }
    CloseLogMessages();
    std::optional<::Recordset> result = m_db->OpenRecordset(SQLString, values);
    if (!result)
        return fail(m_db->LastError());
    m_Recordset = std::move(result);
    m_SQLType = hasMessageColumns(m_Recordset->FieldNames()) ? 0 : 1;
    for (size_t c = 0; c < MessageColumns.size(); ++c)
        m_columns[c] = m_Recordset->FieldIndex(MessageColumns[c]);
    m_count = m_Recordset->RecordCount();
    return type;
}

/** True when @p names are the columns of table Message as it is now, in order (any case). */
bool QueryCursor::hasMessageColumns(const QStringList &names)
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

std::optional<CMessage> QueryCursor::Messages(int Index) const
{
    return messageAt(Index);
}

std::optional<CMessage> QueryCursor::GetMessage() const
{
    return m_Recordset ? messageAt(m_Recordset->AbsolutePosition()) : std::nullopt;
}

std::optional<CMessage> QueryCursor::messageAt(int row) const
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

void QueryCursor::CloseLogMessages()
{
    m_Recordset.reset();
    m_columns.fill(-1);
    m_SQLType = 1;
}
