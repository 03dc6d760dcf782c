#include "transfer/LogParser.h"
#include "db/BoardType.h"

#include <QStringMatcher>
#include <QVarLengthArray>
#include <limits>
#include <utility>

using namespace Qt::StringLiterals;

namespace LogParser {

namespace {

constexpr QStringView CrLf = u"\r\n";
constexpr qsizetype MaxSubjectLength = 50;
constexpr qsizetype CutSubjectLength = 47;

std::optional<std::pair<QDate, QTime>> scanDateTime(QStringView text);

/** A header field: its line in the entry and the width of its label. Line -1: no such line. */
struct Field
{
    int line;
    int labelWidth;
};

/** Where one board type keeps its fields. The body is the last of `pieces` lines. */
struct EntryLayout
{
    int pieces;
    Field id, subject, homePage, mail, postName, postDate, inReplyTo;
    char16_t openBracket, closeBracket;
};

constexpr EntryLayout SingleLayout{9, {0, 7}, {1, 6}, {2, 10}, {3, 7}, {4, 7}, {5, 7}, {6, 8},
                                   u'（', u'）'};
constexpr EntryLayout PairedLayout{8, {0, 7}, {-1, 0}, {1, 10}, {2, 7}, {3, 7}, {4, 7}, {5, 8},
                                   u'（', u'）'};
constexpr EntryLayout TextPageLayout{10, {0, 7}, {1, 6}, {2, 10}, {3, 7}, {4, 7}, {5, 7}, {7, 8},
                                     u'(', u')'};

using Lines = QVarLengthArray<QStringView, 10>;

/** Splits at CR LF into at most @p maxPieces lines; the last one keeps the rest of the text. */
Lines splitLines(QStringView entry, int maxPieces)
{
    Lines lines;
    qsizetype start = 0;
    for (qsizetype end; lines.size() < maxPieces - 1 && (end = IndexOfCrLf(entry, start)) >= 0;
         start = end + CrLf.size())
        lines.append(entry.sliced(start, end - start));
    lines.append(entry.sliced(start));
    return lines;
}

QStringView valueOf(const Lines &lines, Field field)
{
    const QStringView line = lines[field.line];
    return line.size() > field.labelWidth ? line.sliced(field.labelWidth) : QStringView();
}

/** The first 47 characters and "..." when the body is longer than 50, else the whole body. */
QString subjectFromBody(QStringView body)
{
    if (body.size() <= MaxSubjectLength)
        return body.toString();
    QStringView head = body.first(CutSubjectLength);
    if (head.back().isHighSurrogate()) // never leave half a character behind
        head.chop(1);
    return head.toString() + u"..."_s;
}

/** Cuts the first bracketed part out of @p value and reads the rest as a date. */
std::optional<std::pair<QDate, QTime>> postDate(QStringView value, const EntryLayout &layout, EntryError &error)
{
    const qsizetype open = value.indexOf(QChar(layout.openBracket));
    if (open < 0) {
        error = EntryError::NoDateBracket;
        return std::nullopt;
    }
    // Without a closing bracket the bracketed part runs to the end of the line.
    const qsizetype close = value.indexOf(QChar(layout.closeBracket), open + 1);
    QVarLengthArray<QChar, 64> joined(value.begin(), value.begin() + open);
    if (close >= 0)
        joined.append(value.begin() + close + 1, value.size() - close - 1);
    auto date = scanDateTime(QStringView(joined.data(), joined.size()));
    if (!date)
        error = EntryError::BadDate;
    return date;
}

std::optional<int> replyNumber(QStringView value)
{
    const QStringView trimmed = value.trimmed();
    return trimmed.isEmpty() ? 0 : ParseWholeNumber(trimmed);
}

std::optional<EntryFields> parseFields(const EntryLayout &layout, QStringView entry, EntryError *errorOut)
{
    EntryError error = EntryError::None;
    const auto broken = [&](EntryError reason) {
        if (errorOut)
            *errorOut = reason;
        return std::optional<EntryFields>();
    };
    const Lines lines = splitLines(entry, layout.pieces);
    if (lines.size() < layout.pieces)
        return broken(EntryError::TooFewLines);

    const auto id = ParseWholeNumber(valueOf(lines, layout.id));
    const auto replyTo = replyNumber(valueOf(lines, layout.inReplyTo));
    if (!id || !replyTo)
        return broken(EntryError::BadNumber);
    const auto date = postDate(valueOf(lines, layout.postDate), layout, error);
    if (!date)
        return broken(error);

    EntryFields fields;
    fields.id = *id;
    fields.inReplyTo = *replyTo;
    fields.date = date->first;
    fields.time = date->second;
    fields.homePage = valueOf(lines, layout.homePage);
    fields.mail = valueOf(lines, layout.mail);
    fields.postName = valueOf(lines, layout.postName);
    fields.body = lines.back();
    fields.hasSubjectLine = layout.subject.line >= 0;
    if (fields.hasSubjectLine)
        fields.subjectLine = valueOf(lines, layout.subject);
    else
        fields.madeSubject = subjectFromBody(fields.body);
    if (errorOut)
        *errorOut = EntryError::None;
    return fields;
}

std::optional<CMessage> parseEntry(const EntryLayout &layout, int bbsId, QStringView entry,
                                   bool read, EntryError *errorOut)
{
    const std::optional<EntryFields> fields = parseFields(layout, entry, errorOut);
    return fields ? std::optional(fields->message(bbsId, read)) : std::nullopt;
}

const EntryLayout *layoutOf(int bbsType)
{
    switch (bbsType) {
    case SingleBoard:
        return &SingleLayout;
    case PairedLeftBoard:
    case PairedRightBoard:
        return &PairedLayout;
    case TextPageBoard:
        return &TextPageLayout;
    default:
        return nullptr;
    }
}

/** Reads ASCII digits one by one, with blanks skipped on request. */
class Scanner
{
public:
    explicit Scanner(QStringView text) : m_text(text) { }

    bool atEnd() const { return m_pos >= m_text.size(); }
    char16_t peek() const { return atEnd() ? u'\0' : m_text[m_pos].unicode(); }
    bool accept(char16_t c)
    {
        if (peek() != c)
            return false;
        ++m_pos;
        return true;
    }
    void skipBlanks()
    {
        while (!atEnd() && m_text[m_pos].isSpace())
            ++m_pos;
    }
    /** 1 to @p maxDigits digits as a number, -1 when there is none; @p count gets how many. */
    int number(int maxDigits, int *count = nullptr)
    {
        int value = 0;
        int digits = 0;
        for (; digits < maxDigits && peek() >= u'0' && peek() <= u'9'; ++digits, ++m_pos)
            value = value * 10 + (peek() - u'0');
        if (count)
            *count = digits;
        return digits > 0 ? value : -1;
    }

private:
    QStringView m_text;
    qsizetype m_pos = 0;
};

std::optional<QDate> scanDate(Scanner &in)
{
    int yearDigits = 0;
    int year = in.number(4, &yearDigits);
    if (yearDigits == 2)
        year += year < 30 ? 2000 : 1900;
    else if (yearDigits != 4)
        return std::nullopt;
    const char16_t separator = in.peek();
    const bool kanji = separator == u'年';
    if (!kanji && separator != u'/' && separator != u'-')
        return std::nullopt;
    in.accept(separator);
    const int month = in.number(2);
    if (!in.accept(kanji ? u'月' : separator))
        return std::nullopt;
    const int day = in.number(2);
    if (kanji && !in.accept(u'日'))
        return std::nullopt;
    const QDate date(year, month, day);
    return date.isValid() ? std::optional(date) : std::nullopt;
}

std::optional<QTime> scanTime(Scanner &in)
{
    if (in.atEnd())
        return QTime(0, 0);
    const int hour = in.number(2);
    if (!in.accept(u':'))
        return std::nullopt;
    const int minute = in.number(2);
    const int second = in.accept(u':') ? in.number(2) : 0;
    const QTime time(hour, minute, second);
    return time.isValid() ? std::optional(time) : std::nullopt;
}

std::optional<std::pair<QDate, QTime>> scanDateTime(QStringView text)
{
    Scanner in(text.trimmed());
    const auto date = scanDate(in);
    if (!date)
        return std::nullopt;
    in.skipBlanks();
    const auto time = scanTime(in);
    if (!time || !in.atEnd())
        return std::nullopt;
    return std::pair(*date, *time);
}

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\u3000';
}

/** Where a separator line holding the separator at @p at begins and ends, CR LF included;
 *  nullopt when the line holds more, or when its first CR LF is not at or after @p from. */
std::optional<std::pair<qsizetype, qsizetype>> separatorAround(QStringView text, qsizetype from, qsizetype at)
{
    qsizetype begin = at;
    while (begin > from && isBlank(text[begin - 1]))
        --begin;
    qsizetype end = at + SeparatorLine.size();
    while (end < text.size() && isBlank(text[end]))
        ++end;
    if (begin - from < CrLf.size() || text.sliced(begin - CrLf.size(), CrLf.size()) != CrLf
        || !text.sliced(end).startsWith(CrLf))
        return std::nullopt;
    return std::pair(begin - CrLf.size(), end + CrLf.size());
}

} // namespace

qsizetype IndexOfCrLf(QStringView text, qsizetype from)
{
    // Found by its LF: a search for one character is far quicker than one for two.
    for (qsizetype lf; (lf = text.indexOf(QChar(u'\n'), from)) >= 0; from = lf + 1) {
        if (lf > from && text[lf - 1] == u'\r')
            return lf - 1;
    }
    return -1;
}

bool IsSeparatorLine(QStringView line)
{
    if (line.size() < SeparatorLine.size())
        return false;
    qsizetype begin = 0;
    qsizetype end = line.size();
    while (begin < end && isBlank(line[begin]))
        ++begin;
    while (end > begin && isBlank(line[end - 1]))
        --end;
    return line.sliced(begin, end - begin) == SeparatorLine;
}

QList<QStringView> SplitEntries(QStringView text)
{
    static const QStringMatcher matcher(SeparatorLine);
    QList<QStringView> entries;
    qsizetype start = 0;
    for (qsizetype at = 0; (at = matcher.indexIn(text, at)) >= 0;) {
        const auto separator = separatorAround(text, start, at);
        if (!separator) {
            ++at;
            continue;
        }
        entries.append(text.sliced(start, separator->first - start));
        start = at = separator->second;
    }
    return entries;
}

std::optional<CMessage> ParseSingleEntry(int bbsId, QStringView entry, bool read, EntryError *error)
{
    return parseEntry(SingleLayout, bbsId, entry, read, error);
}

std::optional<CMessage> ParsePairedEntry(int bbsId, QStringView entry, bool read, EntryError *error)
{
    return parseEntry(PairedLayout, bbsId, entry, read, error);
}

std::optional<CMessage> ParseTextPageEntry(int bbsId, QStringView entry, bool read,
                                           EntryError *error)
{
    return parseEntry(TextPageLayout, bbsId, entry, read, error);
}

std::optional<CMessage> ParseEntry(int bbsType, int bbsId, QStringView entry, bool read,
                                   EntryError *error)
{
    const std::optional<EntryFields> fields = ParseFields(bbsType, entry, error);
    return fields ? std::optional(fields->message(bbsId, read)) : std::nullopt;
}

std::optional<EntryFields> ParseFields(int bbsType, QStringView entry, EntryError *error)
{
    if (const EntryLayout *layout = layoutOf(bbsType))
        return parseFields(*layout, entry, error);
    if (error)
        *error = EntryError::UnknownBoardType;
    return std::nullopt;
}

CMessage EntryFields::message(int bbsId, bool read) const
{
    CMessage msg;
    msg.BBS_ID = bbsId;
    msg.ID = id;
    msg.HomePage = homePage.toString();
    msg.Mail = mail.toString();
    msg.PostName = postName.toString();
    msg.PostDate = CMessage::WallClock(date, time);
    msg.InReplyTo = inReplyTo;
    msg.Body = body.toString();
    msg.Subject = subject().toString();
    msg.Read = read;
    return msg;
}

std::optional<QDateTime> ParseDateTime(QStringView text)
{
    const auto dateTime = scanDateTime(text);
    return dateTime ? std::optional(CMessage::WallClock(dateTime->first, dateTime->second)) : std::nullopt;
}

std::optional<int> ParseWholeNumber(QStringView text)
{
    text = text.trimmed();
    if (text.isEmpty())
        return std::nullopt;
    qint64 value = 0;
    for (const QChar c : text) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
        value = value * 10 + (c.unicode() - u'0');
        if (value > std::numeric_limits<int>::max())
            return std::nullopt;
    }
    return int(value);
}

} // namespace LogParser
