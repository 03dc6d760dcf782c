#include "db/TableSchemaSql.h"

#include "db/JetSql.h"

#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace TableSchemaSql {

namespace {

QString declaredType(const FieldDef &field)
{
    switch (field.type) {
    case FieldType::Long: return u"INTEGER"_s;
    case FieldType::Boolean: return u"BOOLEAN"_s;
    case FieldType::Text: return u"TEXT(%1)"_s.arg(field.size > 0 ? field.size : 255);
    case FieldType::Date: return u"DATETIME"_s;
    case FieldType::Memo: return u"LONGTEXT"_s; // a TEXT affinity: "0123" stays a text
    case FieldType::Double: return u"DOUBLE"_s;
    case FieldType::Binary: return u"BLOB"_s;
    case FieldType::Variant: break;
    }
    return QString();
}

QString unquoteName(QStringView name)
{
    if (name.size() >= 2 && (name.front() == u'"' || name.front() == u'`' || name.front() == u'[')) {
        const QChar quote = name.front() == u'[' ? QChar(u']') : name.front();
        return name.sliced(1, name.size() - 2).toString().replace(QString(2, quote), QString(quote));
    }
    return name.toString();
}

} // namespace

QString ColumnDefinition(const FieldDef &field)
{
    const QString name = JetSql::QuoteIdentifier(field.name);
    QString column = name + u' ' + declaredType(field);
    if (!field.description.isEmpty())
        column += u" /* "_s + QString(field.description).replace(u"*/"_s, u"* /"_s) + u" */"_s;
    if (field.type == FieldType::Text)
        column += u" CONSTRAINT %1 CHECK (length(%2) <= %3)"_s.arg(
            JetSql::QuoteIdentifier(u"Size_"_s + field.name), name).arg(field.size > 0 ? field.size : 255);
    if ((field.type == FieldType::Text || field.type == FieldType::Memo) && !field.allowZeroLength)
        column += u" CONSTRAINT %1 CHECK (%2 <> '')"_s.arg(JetSql::QuoteIdentifier(u"ZeroLength_"_s + field.name), name);
    return column;
}

QString ColumnList(const QStringList &fields)
{
    QStringList quoted;
    for (const QString &field : fields)
        quoted.append(JetSql::QuoteIdentifier(field));
    return quoted.join(u", "_s);
}

QHash<QString, QString> ColumnDefinitions(const QString &createSql)
{
    QHash<QString, QString> columns;
    int depth = 0;
    qsizetype start = -1;
    const auto addPart = [&](qsizetype end) {
        const QString part = createSql.mid(start, end - start).trimmed();
        static const QRegularExpression firstName(uR"(^("(?:[^"]|"")*"|\[[^\]]*\]|`(?:[^`]|``)*`|[^\s(]+))"_s);
        const QRegularExpressionMatch m = firstName.match(part);
        if (m.hasMatch())
            columns.insert(unquoteName(m.capturedView(1)).toLower(), part);
    };
    for (qsizetype i = 0; i < createSql.size(); ++i) {
        const QChar c = createSql.at(i);
        if (c == u'\'' || c == u'"' || c == u'`' || c == u'[') {
            const QChar close = c == u'[' ? QChar(u']') : c;
            i = createSql.indexOf(close, i + 1);
            if (i < 0)
                break;
        } else if (c == u'-' && createSql.mid(i, 2) == u"--") {
            i = createSql.indexOf(u'\n', i);
            if (i < 0)
                break;
        } else if (c == u'/' && createSql.mid(i, 2) == u"/*") {
            i = createSql.indexOf(u"*/"_s, i + 2);
            if (i < 0)
                break;
            ++i;
        } else if (c == u'(') {
            if (++depth == 1)
                start = i + 1;
        } else if (c == u')') {
            if (--depth == 0) {
                addPart(i);
                break;
            }
        } else if (c == u',' && depth == 1) {
            addPart(i);
            start = i + 1;
        }
    }
    return columns;
}

QString CommentIn(const QString &definition)
{
    const qsizetype open = definition.indexOf(u"/*"_s);
    const qsizetype close = definition.indexOf(u"*/"_s, open + 2);
    return open < 0 || close < 0 ? QString() : definition.mid(open + 2, close - open - 2).trimmed();
}

} // namespace TableSchemaSql
