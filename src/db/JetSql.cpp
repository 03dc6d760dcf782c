#include "db/JetSql.h"

using namespace Qt::StringLiterals;

namespace JetSql {

Translation Translate(const QString &jetSql, const QStringList &extraParameters)
{
    Translation t;
    t.sql = jetSql;
    t.type = TypeOf(jetSql);
    for (const QString &name : extraParameters)
        t.parameters.append({name, QString()});
    return t;
}

QVariant ParameterValue(const Parameter &parameter, const QVariant &value)
{
    Q_UNUSED(parameter)
    return value;
}

QueryType TypeOf(const QString &jetSql)
{
    Q_UNUSED(jetSql)
    return Select;
}

bool Like(const QString &text, const QString &pattern)
{
    return text.compare(pattern, Qt::CaseInsensitive) == 0;
}

QString StoredDate(const QDateTime &dt)
{
    return dt.isValid() ? dt.toString(u"yyyy-MM-dd HH:mm:ss"_s) : QString();
}

QDateTime ParseStoredDate(const QString &text)
{
    return QDateTime::fromString(text, u"yyyy-MM-dd HH:mm:ss"_s);
}

QString DateLiteral(const QDateTime &dt)
{
    return u'#' + dt.toString(u"yyyy/MM/dd HH:mm:ss"_s) + u'#';
}

QString TextLiteral(const QString &text)
{
    QString quoted = text;
    quoted.replace(u'\'', u"''"_s);
    return u'\'' + quoted + u'\'';
}

} // namespace JetSql
