#include "cli/CmdQuery.h"

#include "app/Prompter.h"
#include "startup/mdlMain.h"
#include "db/Database.h"
#include "db/QueryCursor.h"
#include "db/TextIndex.h"

using namespace Qt::StringLiterals;

namespace {

/** Answers parameter questions from the command line first, then as @p fallback does. */
class ArgumentPrompter : public Prompter
{
public:
    ArgumentPrompter(Prompter &fallback, QStringList values, QTextStream &err)
        : m_fallback(fallback), m_values(std::move(values)), m_err(err)
    {
    }

    Button ask(Icon icon, const QString &title, const QString &text, const QList<Button> &buttons,
               Button defaultButton) override
    {
        return m_fallback.ask(icon, title, text, buttons, defaultButton);
    }

    std::optional<QString> askText(const QString &title, const QString &prompt,
                                   const QString &defaultText) override
    {
        if (m_values.isEmpty())
            return m_fallback.askText(title, prompt, defaultText);
        m_err << prompt << u" -> "_s << m_values.first() << Qt::endl;
        return m_values.takeFirst();
    }

private:
    Prompter &m_fallback;
    QStringList m_values;
    QTextStream &m_err;
};

QString escaped(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        switch (c.unicode()) {
        case u'\\': out += u"\\\\"_s; break;
        case u'\t': out += u"\\t"_s; break;
        case u'\r': out += u"\\r"_s; break;
        case u'\n': out += u"\\n"_s; break;
        default: out += c;
        }
    }
    return out;
}

/**
 * A value as printed. A date comes back as the stored date text when it is an expression
 * (Max(PostDate), a date literal) or a wall-clock time that local time skips; it is printed
 * as a date too.
 */
QString cellText(const QVariant &value, bool mayBeDate)
{
    if (!value.isValid() || value.isNull())
        return {};
    const QString text = value.toString();
    if (mayBeDate && value.typeId() == QMetaType::QString && text.size() == 19 && text.at(10) == u' ') {
        const QDate date = QDate::fromString(text.left(10), u"yyyy-MM-dd"_s);
        const QTime time = QTime::fromString(text.mid(11), u"HH:mm:ss"_s);
        if (date.isValid() && time.isValid())
            return date.toString(u"yyyy/MM/dd"_s) + u' ' + time.toString(u"HH:mm:ss"_s);
    }
    switch (value.typeId()) {
    case QMetaType::Bool:
        return value.toBool() ? u"True"_s : u"False"_s;
    case QMetaType::QDateTime:
        return value.toDateTime().toString(u"yyyy/MM/dd HH:mm:ss"_s);
    case QMetaType::QByteArray:
        return QString::fromLatin1(value.toByteArray().toHex());
    default:
        return escaped(text);
    }
}

void printResult(QTextStream &out, Recordset &rs, bool header = true)
{
    if (header)
        out << rs.FieldNames().join(u'\t') << u'\n';
    for (int row = 0; row < rs.RecordCount(); ++row) {
        QStringList cells;
        for (int column = 0; column < rs.FieldCount(); ++column)
            cells.append(cellText(rs.Value(row, column), rs.FieldTypeOf(column).value_or(FieldType::Date) == FieldType::Date));
        out << cells.join(u'\t') << u'\n';
    }
}

/** The reader's report of an action statement. */
QString actionReport(int type, int count)
{
    switch (type) {
    case JetSql::Delete: return QString::number(count) + u"件削除しました。"_s;
    case JetSql::Update: return QString::number(count) + u"件更新しました。"_s;
    case JetSql::Append: return QString::number(count) + u"件追加しました。"_s;
    case JetSql::MakeTable: return u"テーブルを作成し"_s + QString::number(count) + u"件追加しました。"_s;
    default: return u"データ定義を完了しました。"_s;
    }
}

struct SearchArguments
{
    QString text;
    std::optional<int> board;
    int limit = 100;
};

/** TEXT [--board ID] [--limit N]; nullopt when they do not read so. */
std::optional<SearchArguments> searchArguments(const QStringList &args)
{
    SearchArguments search;
    for (qsizetype i = 0; i < args.size(); ++i) {
        bool ok = true;
        if ((args[i] == u"--board"_s || args[i] == u"--limit"_s) && i + 1 < args.size()) {
            const int number = args[i + 1].toInt(&ok);
            if (args[i++] == u"--board"_s)
                search.board = number;
            else
                search.limit = number;
            ok = ok && search.limit > 0;
        } else if (search.text.isEmpty() && !args[i].isEmpty() && !args[i].startsWith(u"--"_s)) {
            search.text = args[i];
        } else {
            ok = false;
        }
        if (!ok)
            return std::nullopt;
    }
    return search.text.isEmpty() ? std::nullopt : std::optional(search);
}

void printError(CliContext &ctx, const DbError &error)
{
    ctx.err << u"処理が実行できませんでした。"_s << Qt::endl
            << u"実行時エラー '"_s << error.number << u"':"_s << Qt::endl
            << error.description << Qt::endl;
}

} // namespace

int runSearch(CliContext &ctx)
{
    const std::optional<SearchArguments> search = searchArguments(ctx.args);
    if (!search)
        return usageError(ctx, "search");
    const std::unique_ptr<Database> db = mdlMain::OpenLogDatabase();
    if (!db)
        return CliFailed;
    std::optional<Recordset> rs =
        db->OpenRecordset(TextIndex::SearchStatement(search->text, search->board, search->limit));
    if (!rs) {
        printError(ctx, db->LastError());
        return CliFailed;
    }
    printResult(ctx.out, *rs, false);
    ctx.out.flush();
    return CliOk;
}

int runQuery(CliContext &ctx)
{
    if (ctx.args.isEmpty()) {
        return usageError(ctx, "query");
    }
    const std::unique_ptr<Database> db = mdlMain::OpenLogDatabase();
    if (!db)
        return CliFailed;
    QueryCursor cursor(db.get());
    Prompter &previous = prompter();
    ArgumentPrompter answers(previous, ctx.args.mid(1), ctx.err);
    setPrompter(&answers);
    DbError error;
    const std::optional<int> type = cursor.ExecSQL(ctx.args.first(), &error);
    setPrompter(&previous);
    if (!type) {
        printError(ctx, error);
        return CliFailed;
    }
    // The cursor runs results and action statements only; it refuses every other type.
    if (cursor.Recordset() && (*type == JetSql::Select || *type == JetSql::Union || *type == JetSql::Crosstab))
        printResult(ctx.out, *cursor.Recordset());
    else
        ctx.out << actionReport(*type, cursor.count()) << u'\n';
    ctx.out.flush();
    return CliOk;
}
