#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <optional>

/**
 * @short The Jet SQL dialect over SQLite: every statement, the program's own and the ones
 * users type, is translated here before SQLite sees it.
 *
 * One pass over the tokens outside string literals rewrites: SELECT [DISTINCT] TOP n
 * [PERCENT] to LIMIT, True/False to 1/0, #date# literals to stored date texts, & to ||,
 * "..." strings to '...', Chr() to char(), Left()/Right() to functions SQLite can call,
 * SELECT ... INTO t to CREATE TABLE t AS SELECT, DELETE * FROM to DELETE FROM, the
 * column name Table to "Table", PARAMETERS declarations away and parameters to ?N.
 * Like keeps its form: the database overrides like() with the Jet pattern matcher.
 */
namespace JetSql {

/** Query types as the Jet engine reports them. */
enum QueryType : int {
    Select = 0,
    Crosstab = 16,
    Delete = 32,
    Update = 48,
    Append = 64,
    MakeTable = 80,
    DataDefinition = 96,
    PassThrough = 112, ///< anything else SQLite understands (PRAGMA, EXPLAIN, ...)
    Union = 128,
};

/** @short A parameter of a statement: its name and its declared type ("" when undeclared). */
struct Parameter
{
    QString name;
    QString type;
};

/** @short The result of translating one statement. */
struct Translation
{
    QString sql;                   ///< the SQLite text
    QueryType type = Select;
    QList<Parameter> parameters;   ///< declared ones first, then the given extra names
    QString makeTableName;         ///< the new table of a make-table statement
};

/**
 * Translates @p jetSql. With @p textIndex, a "Body Like 'literal'" (also Subject, PostName) that
 * a single-table select or delete on Message requires of every row also asks the full-text
 * index for the candidate rows; the Like still decides. Identifiers named in @p extraParameters (compared case-insensitively)
 * become parameters after the declared ones; parameter k (0-based) is written as ?k+1.
 */
Translation Translate(const QString &jetSql, const QStringList &extraParameters = {}, bool textIndex = false);

/**
 * @p value made fit for a parameter of the declared type: a number for Long/Integer/...,
 * 0/1 for Bit/YesNo (also from "True"/"False"/"-1"), a stored date text for DateTime.
 * Undeclared parameters take the value as it is.
 */
QVariant ParameterValue(const Parameter &parameter, const QVariant &value);

/** @short A crosstab statement taken apart (TRANSFORM f(arg) SELECT list FROM ... PIVOT p [IN (...)]). */
struct CrosstabParts
{
    QString function;     ///< the aggregate function, e.g. "Count"
    QString argument;     ///< its argument, e.g. "ID" or "*"
    QString selectList;   ///< the row headings
    QString from;         ///< FROM ... [WHERE ...]
    QString grouping;     ///< GROUP BY ... [HAVING ...] [ORDER BY ...]
    QString pivot;        ///< the column heading expression
    QVariantList values;  ///< the values of PIVOT ... IN (...), empty when not given
};

/** The parts of a TRANSFORM statement; nullopt when it is not one Jet would accept. */
std::optional<CrosstabParts> SplitCrosstab(const QString &jetSql);
/**
 * The select statement (Jet dialect) of a crosstab: the row headings, then one column per
 * value, named after it ("<>" for NULL), holding the aggregate over the matching rows.
 */
QString ExpandCrosstab(const CrosstabParts &parts, const QVariantList &values);

/** The query type of @p jetSql, from its first keywords. */
QueryType TypeOf(const QString &jetSql);

/** True when @p text matches the Jet pattern @p pattern (* ? # [list] [!list]), ignoring case. */
bool Like(const QString &text, const QString &pattern);

/** The stored form of a date: "YYYY-MM-DD HH:MM:SS" (an invalid date gives ""). */
QString StoredDate(const QDateTime &dt);
/** Reads a stored date text (also "YYYY-MM-DD" and "YYYY/MM/DD ..."); invalid when it is none. */
QDateTime ParseStoredDate(const QString &text);
/** A Jet date literal for @p dt: "#yyyy/mm/dd hh:nn:ss#". */
QString DateLiteral(const QDateTime &dt);
/** @p text as a Jet text literal: enclosed in ' with every ' doubled. */
QString TextLiteral(const QString &text);
/**
 * @short @p text as a Like pattern that matches exactly that text: each wildcard character
 * (* ? #) and "[" stands in a list of its own ("[*]"), so a name like "O'Neil*" matches only
 * itself. For a bound value; LikeLiteral gives the inside of a quoted literal.
 */
QString LikeEscape(const QString &text);
/** @short LikeEscape of @p text with every ' doubled, for use between the quotes of a literal. */
QString LikeLiteral(const QString &text);
/** A Jet Boolean literal: "True" or "False". */
QString BooleanLiteral(bool value);
/** @p name as an SQLite identifier: enclosed in " with every " doubled. */
QString QuoteIdentifier(const QString &name);

} // namespace JetSql
