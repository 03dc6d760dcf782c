#include "db/JetSql.h"

#include "db/JetPattern.h"
#include "db/TextIndex.h"

#include <QRegularExpression>
#include <optional>

using namespace Qt::StringLiterals;

namespace JetSql {

namespace {

constexpr qsizetype MaxDateLiteral = 40;

enum class Kind { Space, Comment, String, DqString, Bracket, Quoted, Number, Word, Date, Op };

struct Token
{
    Kind kind;
    qsizetype pos;
    qsizetype len;
};

bool isWordStart(QChar c)
{
    return c.isLetter() || c == u'_' || (c.unicode() >= 0x80 && !c.isSpace());
}

bool isWordChar(QChar c)
{
    return isWordStart(c) || c.isDigit() || c == u'$';
}

/** Index just past the closing @p quote of a literal opened at @p from (doubled quotes escape). */
qsizetype skipQuoted(QStringView s, qsizetype from, QChar quote, bool doubledEscapes)
{
    for (qsizetype i = from + 1; i < s.size(); ++i) {
        if (s[i] != quote)
            continue;
        if (doubledEscapes && i + 1 < s.size() && s[i + 1] == quote) {
            ++i;
            continue;
        }
        return i + 1;
    }
    return s.size();
}

/** The text between "#" characters when it is a date or time; otherwise nullopt. */
std::optional<QString> parseDateLiteral(QStringView body)
{
    static const QRegularExpression re(
        uR"(^\s*(?:(\d{1,4})[/-](\d{1,2})[/-](\d{1,4}))?\s*(?:(\d{1,2}):(\d{1,2})(?::(\d{1,2}))?\s*([AaPp][Mm])?)?\s*$)"_s);
    const QRegularExpressionMatch m = re.match(body.toString());
    if (!m.hasMatch() || (m.capturedView(1).isEmpty() && m.capturedView(4).isEmpty()))
        return std::nullopt;
    QDate date(1899, 12, 30); // Jet's day zero, the date part of a time-only literal
    if (!m.capturedView(1).isEmpty()) {
        const bool yearFirst = m.capturedView(1).size() > 2;
        int y = (yearFirst ? m.capturedView(1) : m.capturedView(3)).toInt();
        const int mo = (yearFirst ? m.capturedView(2) : m.capturedView(1)).toInt();
        const int d = (yearFirst ? m.capturedView(3) : m.capturedView(2)).toInt();
        if ((yearFirst ? m.capturedView(1) : m.capturedView(3)).size() <= 2)
            y += y < 30 ? 2000 : 1900;
        date = QDate(y, mo, d);
    }
    int h = m.capturedView(4).toInt();
    if (!m.capturedView(7).isEmpty()) {
        if (h < 1 || h > 12)
            return std::nullopt;
        h = h % 12 + (m.capturedView(7).front().toUpper() == u'P' ? 12 : 0);
    }
    const QTime time(h, m.capturedView(5).toInt(), m.capturedView(6).toInt());
    if (!date.isValid() || !time.isValid())
        return std::nullopt;
    return StoredDate(QDateTime(date, time, Qt::UTC)); // wall clock: no local-time gaps
}

QList<Token> tokenize(QStringView s)
{
    QList<Token> tokens;
    qsizetype i = 0;
    while (i < s.size()) {
        const QChar c = s[i];
        const QChar next = i + 1 < s.size() ? s[i + 1] : QChar();
        qsizetype end = i + 1;
        Kind kind = Kind::Op;
        if (c.isSpace()) {
            kind = Kind::Space;
            while (end < s.size() && s[end].isSpace())
                ++end;
        } else if (c == u'-' && next == u'-') {
            kind = Kind::Comment;
            end = s.indexOf(u'\n', i);
            end = end < 0 ? s.size() : end;
        } else if (c == u'/' && next == u'*') {
            kind = Kind::Comment;
            end = s.indexOf(u"*/", i + 2);
            end = end < 0 ? s.size() : end + 2;
        } else if (c == u'\'') {
            kind = Kind::String;
            end = skipQuoted(s, i, c, true);
        } else if (c == u'"') {
            kind = Kind::DqString;
            end = skipQuoted(s, i, c, true);
        } else if (c == u'[') {
            kind = Kind::Bracket;
            end = skipQuoted(s, i, u']', false);
        } else if (c == u'`') {
            kind = Kind::Quoted;
            end = skipQuoted(s, i, c, true);
        } else if (c.isDigit() || (c == u'.' && next.isDigit())) {
            kind = Kind::Number;
            while (end < s.size() && (s[end].isLetterOrNumber() || s[end] == u'.'
                                      || ((s[end] == u'+' || s[end] == u'-')
                                          && (s[end - 1] == u'e' || s[end - 1] == u'E'))))
                ++end;
        } else if (isWordStart(c)) {
            kind = Kind::Word;
            while (end < s.size() && isWordChar(s[end]))
                ++end;
        } else if (c == u'#') {
            // A date literal is short; looking no further keeps many "#" in one text linear.
            const qsizetype close = s.sliced(i + 1, std::min<qsizetype>(MaxDateLiteral, s.size() - i - 1)).indexOf(u'#') + i + 1;
            if (close > i && parseDateLiteral(s.sliced(i + 1, close - i - 1))) {
                kind = Kind::Date;
                end = close + 1;
            }
        } else if (QStringView(u"<>=!|").contains(c) && QStringView(u"<>=|").contains(next)) {
            end = i + 2;
        }
        tokens.append({kind, i, end - i});
        i = end;
    }
    return tokens;
}

QueryType typeOfFirstWord(const QString &word)
{
    static const QHash<QString, QueryType> types{
        {u"SELECT"_s, Select},       {u"VALUES"_s, Select},       {u"TRANSFORM"_s, Crosstab},
        {u"DELETE"_s, Delete},       {u"UPDATE"_s, Update},       {u"INSERT"_s, Append},
        {u"REPLACE"_s, Append},      {u"CREATE"_s, DataDefinition}, {u"ALTER"_s, DataDefinition},
        {u"DROP"_s, DataDefinition},
    };
    return types.value(word, PassThrough);
}

/** Jet function names that SQLite cannot call as they are. */
QString sqliteFunctionName(const QString &upperName)
{
    static const QHash<QString, QString> names{
        {u"LEFT"_s, u"jet_left"_s}, {u"RIGHT"_s, u"jet_right"_s}, {u"CHR"_s, u"char"_s}};
    return names.value(upperName);
}

/** The name in a bracketed, quoted or bare identifier token. */
QString identifierName(QStringView text, Kind kind)
{
    if (kind == Kind::Bracket)
        return text.sliced(1, text.size() - (text.endsWith(u']') ? 2 : 1)).toString();
    if (kind == Kind::Quoted) {
        QString name = text.sliced(1, text.size() - (text.size() > 1 && text.endsWith(u'`') ? 2 : 1)).toString();
        return name.replace(u"``"_s, u"`"_s);
    }
    return text.toString();
}

/** One pass over the tokens of a statement, writing the SQLite text into pieces. */
class Translator
{
public:
    Translator(const QString &sql, const QStringList &extraParameters)
        : m_sql(sql), m_tokens(tokenize(sql)), m_extra(extraParameters)
    {
    }

    Translation run();
    /** Marks the Like terms that the full-text index can narrow down (see Translate). */
    void useTextIndex();

private:
    /** The significant tokens outside parentheses; none for several statements or a join or union. */
    QList<qsizetype> topLevelTokens(int *selects) const;
    /** Marks the term that @p tokens (from the WHERE or AND before it) begin, when it qualifies. */
    void markIndexedLike(const QList<qsizetype> &tokens, const QString &table, const QString &board);
    /** Marks the parenthesised Like terms joined by OR that open at @p open, when they qualify. */
    void markIndexedGroup(qsizetype open, qsizetype whereEnd, const QString &table, const QString &board);
    /** The index's query for the tokens @p term, "[table.]column Like 'pattern'"; nullopt when it has none. */
    std::optional<QString> likeMatch(const QList<qsizetype> &term, const QString &table) const;
    /** The ")" that closes the "(" at @p open; the token count when none does. */
    qsizetype closingParenthesis(qsizetype open) const;
    /** The index's rowid range of the board that @p tokens (from a WHERE or AND) require, or "". */
    QString boardRange(const QList<qsizetype> &tokens, const QString &table) const;

    /** One nesting level: the select core being written at this level. */
    struct Frame
    {
        qsizetype selectPiece = -1;
        qsizetype lastPiece = -1;
        bool inSelectList = false;
        bool compound = false;
        QString top;
        bool percent = false;
    };

    QStringView text(qsizetype t) const { return QStringView(m_sql).sliced(m_tokens[t].pos, m_tokens[t].len); }
    Kind kind(qsizetype t) const { return t >= 0 && t < m_tokens.size() ? m_tokens[t].kind : Kind::Space; }
    QString upperWord(qsizetype t) const
    {
        return kind(t) == Kind::Word ? text(t).toString().toUpper() : QString();
    }
    bool isOp(qsizetype t, QStringView op) const { return kind(t) == Kind::Op && text(t) == op; }
    qsizetype nextSignificant(qsizetype t) const;
    qsizetype previousSignificant(qsizetype t) const;

    qsizetype parseParameters(qsizetype t);
    void put(const QString &piece, bool significant = true);
    void finishCore(Frame &frame, bool wrap);
    int parameterIndex(const QString &name) const;
    void setTypeFrom(const QString &upperWord);
    qsizetype onWord(qsizetype t);
    qsizetype onSelect(qsizetype t);

    const QString &m_sql;
    const QList<Token> m_tokens;
    const QStringList m_extra;
    QList<Parameter> m_parameters;
    QStringList m_pieces;
    QList<Frame> m_frames{Frame()};
    Translation m_result;
    bool m_typeKnown = false;
    bool m_withClause = false;
    QSet<qsizetype> m_indexedLikes;            // first tokens of the Like terms the index narrows
    QHash<qsizetype, QString> m_afterPattern; // their patterns' tokens: the condition added
};

namespace {

bool isWord(QStringView text, QStringView word)
{
    return text.compare(word, Qt::CaseInsensitive) == 0;
}

} // namespace

QList<qsizetype> Translator::topLevelTokens(int *selects) const
{
    QList<qsizetype> top;
    int depth = 0;
    for (qsizetype t = nextSignificant(-1); t < m_tokens.size(); t = nextSignificant(t)) {
        const QString word = upperWord(t);
        *selects += word == u"SELECT";
        if (isOp(t, u";") && nextSignificant(t) == m_tokens.size())
            break;
        if (word == u"JOIN" || word == u"UNION" || word == u"INTERSECT" || word == u"EXCEPT" || word == u"INTO"
            || word == u"TRANSFORM" || word == u"PARAMETERS" || word == u"WITH" || isOp(t, u";"))
            return {};
        if (isOp(t, u"("))
            ++depth;
        else if (isOp(t, u")"))
            --depth;
        else if (depth == 0)
            top.append(t);
    }
    return depth == 0 ? top : QList<qsizetype>();
}

void Translator::useTextIndex()
{
    // Only one select or delete on table Message alone, without join, union or subquery:
    // ... FROM Message [[AS] alias] WHERE ...
    int selects = 0;
    const QList<qsizetype> top = topLevelTokens(&selects);
    const auto word = [&](qsizetype i) { return i < top.size() ? upperWord(top[i]) : QString(); };
    if (selects > 1 || (word(0) != u"SELECT" && word(0) != u"DELETE"))
        return;
    qsizetype i = 0;
    while (i < top.size() && word(i) != u"FROM")
        ++i;
    if (i + 1 >= top.size() || !isWord(identifierName(text(top[i + 1]), kind(top[i + 1])), u"Message"))
        return;
    QString table = u"Message"_s;
    i += word(i + 2) == u"AS" ? 3 : 2;
    if (i < top.size() && word(i) != u"WHERE") {
        table = identifierName(text(top[i]), kind(top[i]));
        ++i;
    }
    if (word(i) != u"WHERE")
        return;
    const qsizetype where = i;
    qsizetype end = where + 1;
    for (; end < top.size(); ++end) {
        static const QStringList clauseEnds{u"ORDER"_s, u"GROUP"_s, u"HAVING"_s, u"LIMIT"_s};
        // Under OR (or Jet's XOR, EQV, IMP), in a CASE or a BETWEEN a row may pass without the Like.
        static const QStringList unsafe{u"OR"_s,   u"XOR"_s,  u"EQV"_s,     u"IMP"_s,
                                        u"CASE"_s, u"WHEN"_s, u"BETWEEN"_s};
        if (clauseEnds.contains(word(end)))
            break;
        if (unsafe.contains(word(end)))
            return;
    }
    QString board;
    for (i = where + 1; i < end && board.isEmpty(); ++i)
        board = boardRange(top.mid(i - 1, std::min<qsizetype>(end, i + 6) - i + 1), table);
    for (i = where + 1; i < end; ++i)
        markIndexedLike(top.mid(i - 1, std::min<qsizetype>(end, i + 6) - i + 1), table, board);
    const qsizetype whereEnd = end < top.size() ? top[end] : m_tokens.size();
    for (qsizetype t = top[where]; t < whereEnd; t = nextSignificant(t)) {
        if (isOp(t, u"(")) {
            markIndexedGroup(t, whereEnd, table, board);
            t = closingParenthesis(t);
        }
    }
}

QString Translator::boardRange(const QList<qsizetype> &tokens, const QString &table) const
{
    // WHERE|AND [table.]BBS_ID = n [AND]: the index's rowids of board n lie in one range.
    const bool qualified = tokens.size() > 2 && isOp(tokens[2], u".");
    const qsizetype column = qualified ? 3 : 1;
    const qsizetype number = column + 2;
    const QString first = upperWord(tokens[0]);
    if ((first != u"WHERE" && first != u"AND") || number >= tokens.size() || !isOp(tokens[column + 1], u"=")
        || kind(tokens[number]) != Kind::Number || (number + 1 < tokens.size() && upperWord(tokens[number + 1]) != u"AND")
        || !isWord(identifierName(text(tokens[column]), kind(tokens[column])), u"BBS_ID")
        || (qualified && !isWord(identifierName(text(tokens[1]), kind(tokens[1])), table)))
        return {};
    bool ok = false;
    const int board = text(tokens[number]).toInt(&ok);
    if (!ok)
        return {};
    const qint64 low = qint64(board) * (qint64(1) << 32);
    return u" AND rowid BETWEEN %1 AND %2"_s.arg(low).arg(low + 4294967295);
}

void Translator::markIndexedLike(const QList<qsizetype> &tokens, const QString &table, const QString &board)
{
    // WHERE|AND [table.]column Like 'pattern' [AND]: the Like alone decides the row.
    const qsizetype size = tokens.size() > 2 && isOp(tokens[2], u".") ? 5 : 3;
    const QString first = upperWord(tokens[0]);
    if ((first != u"WHERE" && first != u"AND") || (size + 1 < tokens.size() && upperWord(tokens[size + 1]) != u"AND"))
        return;
    const std::optional<QString> match = likeMatch(tokens.mid(1, size), table);
    if (!match)
        return;
    m_indexedLikes.insert(tokens[1]);
    m_afterPattern.insert(
        tokens[size],
        u" AND "_s + TextIndex::Candidates(u"(%1.ID, %1.BBS_ID)"_s.arg(QuoteIdentifier(table)), *match, board) + u')');
}

void Translator::markIndexedGroup(qsizetype open, qsizetype whereEnd, const QString &table, const QString &board)
{
    // WHERE|AND (term OR term ...) [AND]: a row passes through one of the Like terms, so it is
    // among the candidates of one of them.
    const QString before = upperWord(previousSignificant(open));
    const qsizetype close = closingParenthesis(open);
    const qsizetype after = nextSignificant(close);
    if ((before != u"WHERE" && before != u"AND") || close >= m_tokens.size()
        || (after < whereEnd && upperWord(after) != u"AND" && !isOp(after, u";")))
        return;
    QStringList matches;
    QList<qsizetype> term;
    for (qsizetype t = nextSignificant(open); t <= close; t = nextSignificant(t)) {
        if (t < close && upperWord(t) != u"OR") {
            term.append(t);
            continue;
        }
        const std::optional<QString> match = likeMatch(term, table);
        if (!match)
            return;
        matches.append(u'(' + *match + u')');
        term.clear();
    }
    m_indexedLikes.insert(open);
    m_afterPattern.insert(close, u" AND "_s
                                     + TextIndex::Candidates(u"(%1.ID, %1.BBS_ID)"_s.arg(QuoteIdentifier(table)),
                                                             matches.join(u" OR "_s), board)
                                     + u')');
}

std::optional<QString> Translator::likeMatch(const QList<qsizetype> &term, const QString &table) const
{
    const bool qualified = term.size() > 1 && isOp(term[1], u".");
    const qsizetype column = qualified ? 2 : 0;
    const qsizetype pattern = column + 2;
    if (term.size() != pattern + 1 || upperWord(term[column + 1]) != u"LIKE")
        return std::nullopt;
    const QStringView literal = text(term[pattern]);
    if (kind(term[pattern]) != Kind::String || literal.size() < 2 || !literal.endsWith(u'\''))
        return std::nullopt;
    if (qualified && !isWord(identifierName(text(term[0]), kind(term[0])), table))
        return std::nullopt;
    const QString name = identifierName(text(term[column]), kind(term[column]));
    if (kind(term[column]) == Kind::String || !TextIndex::IsIndexedColumn(name))
        return std::nullopt;
    return TextIndex::MatchQuery(name, literal.sliced(1, literal.size() - 2).toString().replace(u"''"_s, u"'"_s));
}

qsizetype Translator::closingParenthesis(qsizetype open) const
{
    int depth = 0;
    for (qsizetype t = open; t < m_tokens.size(); t = nextSignificant(t)) {
        depth += isOp(t, u"(") ? 1 : isOp(t, u")") ? -1 : 0;
        if (depth == 0)
            return t;
    }
    return m_tokens.size();
}

/** The type comes from the first word; after WITH, from the first statement word at the top. */
void Translator::setTypeFrom(const QString &upperWord)
{
    if (!m_withClause && upperWord == u"WITH") {
        m_withClause = true;
        return;
    }
    const QueryType type = typeOfFirstWord(upperWord);
    if (m_withClause && (type == PassThrough || type == DataDefinition || m_frames.size() > 1))
        return;
    m_result.type = type;
    m_typeKnown = true;
}

qsizetype Translator::nextSignificant(qsizetype t) const
{
    for (++t; t < m_tokens.size(); ++t) {
        if (kind(t) != Kind::Space && kind(t) != Kind::Comment)
            return t;
    }
    return m_tokens.size();
}

qsizetype Translator::previousSignificant(qsizetype t) const
{
    for (--t; t >= 0; --t) {
        if (kind(t) != Kind::Space && kind(t) != Kind::Comment)
            return t;
    }
    return -1;
}

/** Reads "PARAMETERS name type, ...;" from token @p t; returns the token after the ";". */
qsizetype Translator::parseParameters(qsizetype t)
{
    Parameter current;
    for (t = nextSignificant(t); t < m_tokens.size(); t = nextSignificant(t)) {
        if (isOp(t, u",") || isOp(t, u";")) {
            if (!current.name.isEmpty())
                m_parameters.append({current.name, current.type.trimmed()});
            current = {};
            if (isOp(t, u";"))
                return t + 1;
        } else if (current.name.isEmpty()) {
            current.name = identifierName(text(t), kind(t));
        } else {
            current.type += (kind(t) == Kind::Word && !current.type.isEmpty() ? u" "_s : QString())
                            + text(t).toString();
        }
    }
    return t;
}

void Translator::put(const QString &piece, bool significant)
{
    m_pieces.append(piece);
    if (significant)
        m_frames.last().lastPiece = m_pieces.size() - 1;
}

int Translator::parameterIndex(const QString &name) const
{
    for (int i = 0; i < m_parameters.size(); ++i) {
        if (m_parameters.at(i).name.compare(name, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

/** Ends the select core of @p frame: its TOP becomes a LIMIT after its last piece. */
void Translator::finishCore(Frame &frame, bool wrap)
{
    if (frame.top.isEmpty() || frame.selectPiece < 0 || frame.lastPiece < frame.selectPiece) {
        frame.top.clear();
        return;
    }
    QString limit = frame.top;
    if (frame.percent) {
        QString core;
        for (qsizetype i = frame.selectPiece; i <= frame.lastPiece; ++i)
            core += m_pieces.at(i);
        // Jet rounds the share of rows up.
        limit = u"(SELECT CAST(x AS INTEGER) + (x > CAST(x AS INTEGER)) FROM (SELECT count(*) * %1 / 100.0 AS x FROM (%2)))"_s
                    .arg(frame.top, core);
    }
    if (wrap)
        m_pieces[frame.selectPiece].prepend(u"SELECT * FROM ("_s);
    m_pieces[frame.lastPiece] += u" LIMIT "_s + limit + (wrap ? u")"_s : QString());
    frame.top.clear();
}

/** SELECT [DISTINCT|ALL|DISTINCTROW] [TOP n [PERCENT]]: remembers the TOP for finishCore. */
qsizetype Translator::onSelect(qsizetype t)
{
    Frame &frame = m_frames.last();
    frame.selectPiece = m_pieces.size();
    frame.inSelectList = true;
    frame.top.clear();
    put(text(t).toString());
    qsizetype next = nextSignificant(t);
    const QString quantifier = upperWord(next);
    if (quantifier == u"DISTINCT" || quantifier == u"ALL" || quantifier == u"DISTINCTROW") {
        // DISTINCTROW only matters for joins with duplicate rows; SQLite has no such thing.
        if (quantifier != u"DISTINCTROW")
            put(u' ' + text(next).toString());
        t = next;
        next = nextSignificant(t);
    }
    const qsizetype count = nextSignificant(next);
    if (upperWord(next) == u"TOP" && kind(count) == Kind::Number) {
        frame.top = text(count).toString();
        t = count;
        if (upperWord(nextSignificant(t)) == u"PERCENT") {
            frame.percent = true;
            t = nextSignificant(t);
        } else {
            frame.percent = false;
        }
    }
    return t + 1;
}

qsizetype Translator::onWord(qsizetype t)
{
    const QString word = text(t).toString();
    const QString upper = word.toUpper();
    Frame &frame = m_frames.last();
    const qsizetype prev = previousSignificant(t);
    const qsizetype next = nextSignificant(t);
    const bool qualified = isOp(prev, u".");
    const bool call = isOp(next, u"(");

    if (!m_typeKnown)
        setTypeFrom(upper);
    if (upper == u"SELECT")
        return onSelect(t);
    if (upper == u"FROM")
        frame.inSelectList = false;
    if (upper == u"UNION" || upper == u"INTERSECT" || upper == u"EXCEPT") {
        finishCore(frame, true);
        frame.compound = true;
        if (m_frames.size() == 1 && m_result.type == Select)
            m_result.type = Union;
    }
    if (upper == u"INTO" && frame.inSelectList && m_frames.size() == 1 && m_result.type == Select
        && next < m_tokens.size()) {
        m_result.type = MakeTable;
        m_result.makeTableName = identifierName(text(next), kind(next));
        m_pieces[frame.selectPiece].prepend(u"CREATE TABLE "_s + QuoteIdentifier(m_result.makeTableName)
                                            + u" AS "_s);
        return next + 1;
    }
    if (upper == u"DELETE") {
        // DELETE * FROM t and DELETE t.* FROM t: SQLite knows only DELETE FROM t.
        qsizetype from = next;
        if (isOp(from, u"*"))
            from = nextSignificant(from);
        else if (isOp(nextSignificant(next), u".") && isOp(nextSignificant(nextSignificant(next)), u"*"))
            from = nextSignificant(nextSignificant(nextSignificant(next)));
        const bool skip = from != next && upperWord(from) == u"FROM";
        put(skip ? word + u' ' : word);
        return skip ? from : t + 1;
    }
    if (!qualified && !call) {
        if (upper == u"TRUE" || upper == u"FALSE") {
            put(upper == u"TRUE" ? u"1"_s : u"0"_s);
            return t + 1;
        }
        if (upper == u"MOD") {
            put(u"%"_s);
            return t + 1;
        }
        static const QStringList tableKeywordBefore{u"CREATE"_s, u"DROP"_s, u"ALTER"_s, u"TEMP"_s,
                                                    u"TEMPORARY"_s, u"VIRTUAL"_s};
        if (upper == u"TABLE" && !tableKeywordBefore.contains(upperWord(prev))) {
            put(QuoteIdentifier(word));
            return t + 1;
        }
        if (const int p = parameterIndex(word); p >= 0) {
            put(u'?' + QString::number(p + 1));
            return t + 1;
        }
    }
    if (call && !qualified) {
        QString name = upper;
        if (name.endsWith(u'$'))
            name.chop(1);
        const QString mapped = sqliteFunctionName(name);
        put(mapped.isEmpty() ? word.left(name.size()) : mapped);
        return t + 1;
    }
    put(word);
    return t + 1;
}

Translation Translator::run()
{
    qsizetype t = nextSignificant(-1);
    if (upperWord(t) == u"PARAMETERS")
        t = parseParameters(t);
    else
        t = 0;
    for (const QString &name : m_extra) {
        if (parameterIndex(name) < 0)
            m_parameters.append({name, QString()});
    }
    while (t < m_tokens.size()) {
        const QStringView piece = text(t);
        if (m_indexedLikes.contains(t))
            put(u"("_s, false);
        switch (kind(t)) {
        case Kind::Space:
            put(piece.toString().replace(QChar(0x3000), u' '), false);
            break;
        case Kind::Comment:
            put(piece.toString(), false);
            break;
        case Kind::String:
        case Kind::Number:
            put(piece.toString() + m_afterPattern.value(t));
            break;
        case Kind::DqString: {
            // Jet reads "..." as a text literal.
            const qsizetype inner = piece.size() - (piece.size() > 1 && piece.endsWith(u'"') ? 2 : 1);
            put(TextLiteral(piece.sliced(1, inner).toString().replace(u"\"\""_s, u"\""_s)));
            break;
        }
        case Kind::Bracket:
        case Kind::Quoted: {
            const int p = isOp(previousSignificant(t), u".") ? -1 : parameterIndex(identifierName(piece, kind(t)));
            put(p >= 0 ? u'?' + QString::number(p + 1) : piece.toString());
            break;
        }
        case Kind::Date:
            put(u'\'' + *parseDateLiteral(piece.sliced(1, piece.size() - 2)) + u'\'');
            break;
        case Kind::Word:
            t = onWord(t);
            continue;
        case Kind::Op:
            if (piece == u"(") {
                put(piece.toString());
                m_frames.append(Frame());
                break;
            }
            if (piece == u")" && m_frames.size() > 1) {
                Frame frame = m_frames.takeLast();
                finishCore(frame, frame.compound);
                put(piece.toString() + m_afterPattern.value(t));
                break;
            }
            if (piece == u";") {
                finishCore(m_frames.last(), m_frames.last().compound);
                m_frames.last() = Frame();
            }
            put(piece == u"&" ? u"||"_s : piece.toString());
            break;
        }
        ++t;
    }
    while (!m_frames.isEmpty()) {
        Frame frame = m_frames.takeLast();
        finishCore(frame, frame.compound);
    }
    m_result.sql = m_pieces.join(QString());
    m_result.parameters = m_parameters;
    return m_result;
}

/** Whole number from @p s[from, from + len), or -1 when those are not all ASCII digits. */
int digitsAt(QStringView s, qsizetype from, qsizetype len)
{
    if (from + len > s.size())
        return -1;
    int n = 0;
    for (qsizetype i = from; i < from + len; ++i) {
        const char16_t c = s[i].unicode();
        if (c < u'0' || c > u'9')
            return -1;
        n = n * 10 + (c - u'0');
    }
    return n;
}

/** The value of a literal token in a PIVOT ... IN list. */
QVariant literalValue(QStringView text, Kind kind)
{
    switch (kind) {
    case Kind::String:
    case Kind::DqString: {
        const QChar quote = text.front();
        return text.sliced(1, text.size() - 2).toString().replace(QString(2, quote), QString(quote));
    }
    case Kind::Number: {
        bool ok = false;
        const qlonglong n = text.toLongLong(&ok);
        return ok ? QVariant(n) : QVariant(text.toDouble());
    }
    case Kind::Date:
        return ParseStoredDate(*parseDateLiteral(text.sliced(1, text.size() - 2)));
    default:
        return text.compare(u"NULL", Qt::CaseInsensitive) == 0 ? QVariant() : QVariant(text.toString());
    }
}

QString valueLiteral(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::QString: return TextLiteral(value.toString());
    case QMetaType::QDateTime: return DateLiteral(value.toDateTime());
    case QMetaType::Bool: return BooleanLiteral(value.toBool());
    default: return value.toString();
    }
}

} // namespace

std::optional<CrosstabParts> SplitCrosstab(const QString &jetSql)
{
    const QList<Token> tokens = tokenize(jetSql);
    // Cut the text at the top-level keywords, in their order.
    const QStringList keywords{u"TRANSFORM"_s, u"SELECT"_s, u"FROM"_s, u"GROUP"_s, u"PIVOT"_s};
    QList<qsizetype> cuts;
    qsizetype inList = -1;
    qsizetype end = jetSql.size();
    int depth = 0;
    for (qsizetype t = 0; t < tokens.size(); ++t) {
        const Token &token = tokens.at(t);
        const QStringView text = QStringView(jetSql).sliced(token.pos, token.len);
        if (token.kind == Kind::Op) {
            depth += text == u"(" ? 1 : text == u")" ? -1 : 0;
            if (text == u";" && depth == 0) {
                end = std::min(end, token.pos);
                break;
            }
        }
        if (token.kind != Kind::Word || depth != 0)
            continue;
        if (cuts.size() < keywords.size() && text.compare(keywords.at(cuts.size()), Qt::CaseInsensitive) == 0)
            cuts.append(token.pos);
        else if (cuts.size() == keywords.size() && inList < 0 && text.compare(u"IN", Qt::CaseInsensitive) == 0)
            inList = t;
    }
    if (cuts.size() != keywords.size())
        return std::nullopt;
    const auto between = [&](qsizetype from, qsizetype to) { return jetSql.mid(from, to - from).trimmed(); };
    CrosstabParts parts;
    const QString aggregate = between(cuts[0] + 9, cuts[1]);
    const qsizetype open = aggregate.indexOf(u'(');
    if (open <= 0 || !aggregate.endsWith(u')'))
        return std::nullopt;
    parts.function = aggregate.left(open).trimmed();
    parts.argument = aggregate.mid(open + 1, aggregate.size() - open - 2).trimmed();
    parts.selectList = between(cuts[1] + 6, cuts[2]);
    parts.from = between(cuts[2], cuts[3]);
    parts.grouping = between(cuts[3], cuts[4]);
    parts.pivot = between(cuts[4] + 5, inList >= 0 ? tokens.at(inList).pos : end);
    for (qsizetype t = inList + 1; inList >= 0 && t < tokens.size() && tokens.at(t).pos < end; ++t) {
        const Token &token = tokens.at(t);
        const QStringView text = QStringView(jetSql).sliced(token.pos, token.len);
        if (token.kind != Kind::Space && token.kind != Kind::Comment && token.kind != Kind::Op)
            parts.values.append(literalValue(text, token.kind));
    }
    if (parts.pivot.isEmpty() || parts.selectList.isEmpty())
        return std::nullopt;
    return parts;
}

QString ExpandCrosstab(const CrosstabParts &parts, const QVariantList &values)
{
    const QString argument = parts.argument == u"*" ? u"1"_s : parts.argument;
    QString sql = u"SELECT "_s + parts.selectList;
    for (const QVariant &value : values) {
        const bool null = !value.isValid() || value.isNull();
        const QString condition = null ? u"(%1) Is Null"_s.arg(parts.pivot)
                                       : u"(%1) = %2"_s.arg(parts.pivot, valueLiteral(value));
        const QString name = null                                     ? u"<>"_s
                             : value.typeId() == QMetaType::QDateTime ? StoredDate(value.toDateTime())
                             : value.typeId() == QMetaType::Bool      ? valueLiteral(value)
                                                                      : value.toString();
        sql += u", %1(IIf(%2, %3, Null)) AS [%4]"_s.arg(parts.function, condition, argument,
                                                       QString(name).remove(u']'));
    }
    return sql + u' ' + parts.from + u' ' + parts.grouping;
}

Translation Translate(const QString &jetSql, const QStringList &extraParameters, bool textIndex)
{
    Translator translator(jetSql, extraParameters);
    if (textIndex)
        translator.useTextIndex();
    return translator.run();
}

QueryType TypeOf(const QString &jetSql)
{
    return Translate(jetSql).type;
}

QVariant ParameterValue(const Parameter &parameter, const QVariant &value)
{
    static const QStringList wholeTypes{u"BYTE"_s, u"SHORT"_s, u"LONG"_s, u"INTEGER"_s, u"INT"_s,
                                        u"SMALLINT"_s, u"COUNTER"_s, u"AUTOINCREMENT"_s,
                                        u"INTEGER1"_s, u"INTEGER2"_s, u"INTEGER4"_s};
    static const QStringList realTypes{u"SINGLE"_s, u"DOUBLE"_s, u"FLOAT"_s, u"REAL"_s,
                                       u"CURRENCY"_s, u"MONEY"_s, u"NUMERIC"_s, u"DECIMAL"_s,
                                       u"IEEESINGLE"_s, u"IEEEDOUBLE"_s, u"NUMBER"_s};
    static const QStringList boolTypes{u"BIT"_s, u"YESNO"_s, u"BOOLEAN"_s, u"LOGICAL"_s, u"LOGICAL1"_s};
    static const QStringList dateTypes{u"DATETIME"_s, u"DATE"_s, u"TIME"_s, u"TIMESTAMP"_s};
    const QString type = parameter.type.section(u'(', 0, 0).trimmed().toUpper();
    if (type.isEmpty() || !value.isValid() || value.isNull())
        return value;
    bool ok = false;
    if (wholeTypes.contains(type)) {
        const qlonglong n = value.toLongLong(&ok);
        return ok ? QVariant(n) : value;
    }
    if (realTypes.contains(type)) {
        const double d = value.toDouble(&ok);
        return ok ? QVariant(d) : value;
    }
    if (boolTypes.contains(type)) {
        if (value.typeId() != QMetaType::QString)
            return value.toBool();
        const QString s = value.toString().trimmed().toUpper();
        if (s == u"TRUE" || s == u"YES" || s == u"ON" || s == u"-1" || s == u"1")
            return true;
        if (s == u"FALSE" || s == u"NO" || s == u"OFF" || s == u"0")
            return false;
        return value;
    }
    if (dateTypes.contains(type)) {
        const QDateTime dt = value.typeId() == QMetaType::QString ? ParseStoredDate(value.toString().trimmed())
                                                                  : value.toDateTime();
        return dt.isValid() ? QVariant(StoredDate(dt)) : value;
    }
    return value.toString();
}

bool Like(const QString &text, const QString &pattern)
{
    return JetPattern(pattern).Matches(text);
}

QString StoredDate(const QDateTime &dt)
{
    return dt.isValid() ? dt.toString(u"yyyy-MM-dd HH:mm:ss"_s) : QString();
}

QDateTime ParseStoredDate(const QString &text)
{
    const QStringView s(text);
    const int y = digitsAt(s, 0, 4);
    const int mo = digitsAt(s, 5, 2);
    const int d = digitsAt(s, 8, 2);
    if (y < 0 || mo < 0 || d < 0 || (s[4] != u'-' && s[4] != u'/') || s[7] != s[4])
        return {};
    const QDate date(y, mo, d);
    if (s.size() == 10)
        return date.isValid() ? date.startOfDay(Qt::UTC) : QDateTime();
    if (s.size() < 16 || (s[10] != u' ' && s[10] != u'T') || s[13] != u':')
        return {};
    const int h = digitsAt(s, 11, 2);
    const int mi = digitsAt(s, 14, 2);
    int sec = 0;
    if (s.size() != 16 && (s.size() != 19 || s[16] != u':' || (sec = digitsAt(s, 17, 2)) < 0))
        return {};
    const QTime time(h, mi, sec);
    if (!date.isValid() || !time.isValid())
        return {};
    return QDateTime(date, time, Qt::UTC);
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

QString LikeEscape(const QString &text)
{
    QString out;
    out.reserve(text.size() + 8);
    for (const QChar c : text) {
        if (c == u'*' || c == u'?' || c == u'#' || c == u'[')
            out += u'[' + QString(c) + u']';
        else
            out += c;
    }
    return out;
}

QString LikeLiteral(const QString &text)
{
    QString literal = LikeEscape(text);
    literal.replace(u'\'', u"''"_s);
    return literal;
}

QString BooleanLiteral(bool value)
{
    return value ? u"True"_s : u"False"_s;
}

QString QuoteIdentifier(const QString &name)
{
    QString quoted = name;
    quoted.replace(u'"', u"\"\""_s);
    return u'"' + quoted + u'"';
}

} // namespace JetSql
