#include "transfer/LogWriter.h"

#include "app/mdlEncoding.h"
#include "db/BoardType.h"
#include "transfer/LogParser.h"

#include <QStringList>
#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

enum : quint8 { NotSeen = 0, Kept = 1, Replaced = 2 };
constexpr int MaxListedReplacements = 10;
const QString CrLf = u"\r\n"_s;
const QString LineBreakName = u"改行"_s;
const QString BlankName = u"空白"_s;

QString weekday(const QDateTime &date)
{
    return u"月火水木金土日"_s.at(date.date().dayOfWeek() - 1);
}

bool hasWritableDate(const QDateTime &date)
{
    return date.isValid() && date.date().year() >= 1 && date.date().year() <= 9999;
}

/** A replaced text as the outcome names it: quoted when visible, else its code points. */
QString shown(const QString &text)
{
    if (text.isEmpty())
        return u"なし"_s;
    if (text == LineBreakName || text == BlankName)
        return text;
    bool printable = true;
    QStringList codes;
    for (const char32_t c : text.toUcs4()) {
        printable = printable && QChar::isPrint(c) && !QChar::isSpace(c);
        codes << u"U+"_s + QString::number(quint32(c), 16).toUpper().rightJustified(4, u'0');
    }
    return printable ? u'「' + text + u'」' : codes.join(u' ');
}

} // namespace

LogWriter::LogWriter(int bbsType) : m_type(bbsType), m_bmpState(0x10000, NotSeen) {}

bool LogWriter::Supports(int bbsType)
{
    return bbsType >= SingleBoard && bbsType <= TextPageBoard;
}

QString LogWriter::EntryText(const CMessage &Msg) const
{
    const QString id = QString::number(Msg.ID);
    const QString reply = Msg.InReplyTo != 0 ? QString::number(Msg.InReplyTo) : QString();
    const QString day = Msg.PostDate.toString(u"yyyy/MM/dd"_s);
    QStringList lines;
    if (m_type == TextPageBoard) {
        const QString date = day + u'(' + weekday(Msg.PostDate) + u") "_s + Msg.PostDate.toString(u"HH:mm"_s);
        lines = {u"No.  : "_s + id, u"Sub : "_s + Msg.Subject, u"HomePage: "_s + Msg.HomePage,
                 u"Mail : "_s + Msg.Mail, u"Name : "_s + Msg.PostName, u"Date : "_s + date,
                 u"Tree : -"_s, u"Reply : "_s + reply, u"Body :"_s};
    } else {
        const QString date = day + u'（' + weekday(Msg.PostDate) + u"） "_s + Msg.PostDate.toString(u"HH:mm:ss"_s);
        lines = {u"記事番号　：　"_s + id, u"題名　　：　"_s + Msg.Subject, u"ホームページ　　：　"_s + Msg.HomePage,
                 u"メール　　：　"_s + Msg.Mail, u"投稿者　　：　"_s + Msg.PostName, u"投稿日　　：　"_s + date,
                 u"返信元　　　：　"_s + reply, u"本文　　　："_s};
        if (IsPairedBoard(m_type))
            lines.removeAt(1); // the paired boards have no subject line: it comes from the body
    }
    lines << Msg.Body;
    return lines.join(CrLf);
}

std::optional<QByteArray> LogWriter::Write(const CMessage &Msg)
{
    if (!hasWritableDate(Msg.PostDate))
        return std::nullopt;
    CMessage safe = Msg;
    safe.Subject = headerValue(Msg.Subject);
    safe.HomePage = headerValue(Msg.HomePage);
    safe.Mail = headerValue(Msg.Mail);
    safe.PostName = headerValue(Msg.PostName);
    safe.Body = bodyText(Msg.Body);
    const QString text = EntryText(safe) + LogParser::Separator;
    scanCharacters(text);
    return mdlMain::ToCp932(text);
}

/** A header field is one line: a CR LF inside it would end the line there. */
QString LogWriter::headerValue(const QString &value)
{
    if (!value.contains(CrLf))
        return value;
    count(LineBreakName, BlankName, int(value.count(CrLf)));
    QString oneLine = value;
    return oneLine.replace(CrLf, u" "_s);
}

/** A body line that reads as the separator would end the entry: its first "=" becomes "＝". */
QString LogWriter::bodyText(const QString &body)
{
    if (!body.contains(LogParser::SeparatorLine))
        return body;
    QStringList lines = body.split(CrLf);
    for (QString &line : lines) {
        if (LogParser::IsSeparatorLine(line)) {
            line[line.indexOf(u'=')] = u'＝';
            count(u"="_s, u"＝"_s);
        }
    }
    return lines.join(CrLf);
}

/** Counts the characters that do not read back from CP932 as themselves. */
void LogWriter::scanCharacters(QStringView text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i].unicode();
        if (!QChar::isSurrogate(unit)) {
            quint8 &state = m_bmpState[unit];
            if (state == NotSeen)
                state = readBack(text.sliced(i, 1)) == text.sliced(i, 1) ? Kept : Replaced;
            if (state == Replaced)
                count(text.sliced(i, 1).toString(), readBack(text.sliced(i, 1)));
            continue;
        }
        const bool pair = QChar::isHighSurrogate(unit) && i + 1 < text.size() && text[i + 1].isLowSurrogate();
        const QStringView character = text.sliced(i, pair ? 2 : 1);
        count(character.toString(), readBack(character));
        i += character.size() - 1;
    }
}

const QString &LogWriter::readBack(QStringView character)
{
    const QString key = character.toString();
    auto found = m_readBack.constFind(key);
    if (found == m_readBack.constEnd())
        found = m_readBack.insert(key, mdlMain::ReadBack(character, mdlMain::BoardEncoding::Cp932));
    return *found;
}

void LogWriter::count(const QString &from, const QString &to, int times)
{
    m_replacements[{from, to}] += times;
    m_replacedCount += times;
}

QString LogWriter::ReplacementText() const
{
    if (m_replacedCount == 0)
        return {};
    QList<QPair<QPair<QString, QString>, int>> kinds;
    for (auto it = m_replacements.cbegin(); it != m_replacements.cend(); ++it)
        kinds.append({it.key(), it.value()});
    std::stable_sort(kinds.begin(), kinds.end(), [](const auto &a, const auto &b) { return a.second > b.second; });
    QStringList items;
    for (const auto &[kind, times] : kinds.first(std::min<qsizetype>(kinds.size(), MaxListedReplacements)))
        items << shown(kind.first) + u'→' + shown(kind.second) + u'×' + QString::number(times);
    if (kinds.size() > MaxListedReplacements)
        items << u"ほか"_s + QString::number(kinds.size() - MaxListedReplacements) + u"種類"_s;
    return QString::number(m_replacedCount) + u"文字を置き換えました（"_s + items.join(u'、') + u"）。"_s;
}
