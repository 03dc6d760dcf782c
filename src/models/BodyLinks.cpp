#include "models/BodyLinks.h"

using namespace Qt::StringLiterals;

namespace BodyLinks {

namespace {

/** The beginnings an address is found by, and what each stands for. */
struct Prefix
{
    QStringView typed;
    QStringView opened;
};

constexpr Prefix Prefixes[] = {
    {u"http://", u"http://"},   {u"https://", u"https://"}, {u"ftp://", u"ftp://"},
    {u"mailto:", u"mailto:"},   {u"www.", u"http://www."},  {u"ttp://", u"http://"},
    {u"ttps://", u"https://"},  {u"tp://", u"http://"},     {u"tps://", u"https://"},
};

/** More digits than this make no message number. */
constexpr qsizetype MaxDigits = 9;

bool isAsciiLetter(QChar c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

bool isAsciiAlnum(QChar c)
{
    return isAsciiLetter(c) || (c >= u'0' && c <= u'9');
}

/** A printable ASCII character that may stand in an address; brackets and quotes may not. */
bool isAddressChar(QChar c)
{
    if (c <= u' ' || c > u'~')
        return false;
    return !QStringView(u"\"<>[]{}|\\^`").contains(c);
}

int digitValue(QChar c)
{
    if (c >= u'0' && c <= u'9')
        return c.unicode() - u'0';
    if (c >= u'０' && c <= u'９')
        return c.unicode() - u'０';
    return -1;
}

/** The end of an address that runs up to @p end: trailing punctuation and unmatched ")" left out. */
qsizetype trimAddress(QStringView text, qsizetype start, qsizetype end)
{
    while (end > start) {
        const QChar last = text.at(end - 1);
        const QStringView address = text.sliced(start, end - start);
        const bool unmatched = last == u')' && address.count(u'(') < address.count(u')');
        if (!unmatched && !QStringView(u".,;:!?'*").contains(last))
            break;
        --end;
    }
    return end;
}

/** The address starting at @p start, if one does; its prefix must start a word. */
bool scanAddress(QStringView text, qsizetype start, Link &link)
{
    if (start > 0 && isAsciiAlnum(text.at(start - 1)))
        return false;
    const QStringView rest = text.sliced(start);
    for (const Prefix &prefix : Prefixes) {
        if (!rest.startsWith(prefix.typed, Qt::CaseInsensitive))
            continue;
        const qsizetype body = start + prefix.typed.size();
        qsizetype end = body;
        while (end < text.size() && isAddressChar(text.at(end)))
            ++end;
        end = trimAddress(text, body, end);
        if (end == body)
            return false;
        link = {Link::Kind::Address, start, end - start,
                prefix.opened.toString() + text.sliced(body, end - body).toString(), 0, 0};
        return true;
    }
    return false;
}

/** The number at @p pos: its value and the position after it; false when there is none. */
bool scanNumber(QStringView text, qsizetype &pos, int &value)
{
    const qsizetype start = pos;
    value = 0;
    while (pos < text.size() && digitValue(text.at(pos)) >= 0) {
        if (pos - start < MaxDigits)
            value = value * 10 + digitValue(text.at(pos));
        ++pos;
    }
    return pos > start && pos - start <= MaxDigits;
}

/** The length of the anchor mark at @p start: 2 for ">>", 1 for "#", 0 for none. */
qsizetype markLength(QStringView text, qsizetype start)
{
    const auto isQuote = [](QChar c) { return c == u'>' || c == u'＞'; };
    const QChar c = text.at(start);
    if (isQuote(c))
        return start + 1 < text.size() && isQuote(text.at(start + 1)) ? 2 : 0;
    if (c == u'#' || c == u'＃') {
        // "&#123;" is a character reference written out, and "x#1" a name: no anchor.
        const bool joined = start > 0 && (isAsciiAlnum(text.at(start - 1)) || text.at(start - 1) == u'&');
        return joined ? 0 : 1;
    }
    return 0;
}

/** The anchor starting at @p start, if one does. */
bool scanAnchor(QStringView text, qsizetype start, Link &link)
{
    const qsizetype mark = markLength(text, start);
    qsizetype pos = start + mark;
    int from = 0;
    if (mark == 0 || !scanNumber(text, pos, from))
        return false;
    int to = from;
    if (pos + 1 < text.size() && (text.at(pos) == u'-' || text.at(pos) == u'－')) {
        qsizetype after = pos + 1;
        int last = 0;
        if (scanNumber(text, after, last) && last >= from) {
            to = last;
            pos = after;
        }
    }
    link = {Link::Kind::Anchor, start, pos - start, QString(), from, to};
    return true;
}

} // namespace

QList<Link> Scan(QStringView text)
{
    QList<Link> links;
    Link link;
    for (qsizetype i = 0; i < text.size();) {
        const QChar c = text.at(i);
        const bool found = isAsciiLetter(c) ? scanAddress(text, i, link) : scanAnchor(text, i, link);
        if (found) {
            links.append(link);
            i = link.start + link.length;
        } else {
            ++i;
        }
    }
    return links;
}

QString AnchorHref(const Link &link)
{
    return u">>"_s + QString::number(link.from) + u'-' + QString::number(link.to);
}

bool ParseAnchorHref(QStringView href, int &from, int &to)
{
    if (!href.startsWith(u">>"))
        return false;
    const qsizetype dash = href.indexOf(u'-');
    if (dash < 0)
        return false;
    bool fromOk = false;
    bool toOk = false;
    from = href.sliced(2, dash - 2).toInt(&fromOk);
    to = href.sliced(dash + 1).toInt(&toOk);
    return fromOk && toOk;
}

} // namespace BodyLinks
