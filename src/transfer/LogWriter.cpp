#include "transfer/LogWriter.h"

#include "app/mdlEncoding.h"
#include "db/BoardType.h"
#include "transfer/LogParser.h"

#include <QStringList>
#include <QStringMatcher>
#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

enum : quint8 { NotSeen = 0, Kept = 1, Replaced = 2 };
constexpr int MaxListedReplacements = 10;
const QString CrLf = u"\r\n"_s;
const QString LineBreakName = u"改行"_s;
const QString BlankName = u"空白"_s;

/** Appends @p value with at least @p width digits. */
void appendNumber(QString &text, int value, int width)
{
    const QString digits = QString::number(value);
    for (qsizetype pad = width - digits.size(); pad > 0; --pad)
        text += u'0';
    text += digits;
}

/** Appends "yyyy/MM/dd", the weekday in @p open and @p close, a blank and "HH:mm" (and ":ss"). */
void appendDate(QString &text, const QDateTime &dateTime, char16_t open, char16_t close, bool seconds)
{
    const QDate date = dateTime.date();
    const QTime time = dateTime.time();
    appendNumber(text, date.year(), 4);
    text += u'/';
    appendNumber(text, date.month(), 2);
    text += u'/';
    appendNumber(text, date.day(), 2);
    text += QChar(open);
    text += QStringView(u"月火水木金土日").at(date.dayOfWeek() - 1);
    text += QChar(close);
    text += u' ';
    appendNumber(text, time.hour(), 2);
    text += u':';
    appendNumber(text, time.minute(), 2);
    if (seconds) {
        text += u':';
        appendNumber(text, time.second(), 2);
    }
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

void LogWriter::appendEntry(QString &text, const CMessage &Msg) const
{
    const auto line = [&text](QStringView label, QStringView value) {
        text += label;
        text += value;
        text += CrLf;
    };
    const QString reply = Msg.InReplyTo != 0 ? QString::number(Msg.InReplyTo) : QString();
    if (m_type == TextPageBoard) {
        line(u"No.  : ", QString::number(Msg.ID));
        line(u"Sub : ", Msg.Subject);
        line(u"HomePage: ", Msg.HomePage);
        line(u"Mail : ", Msg.Mail);
        line(u"Name : ", Msg.PostName);
        text += u"Date : ";
        appendDate(text, Msg.PostDate, u'(', u')', false);
        text += CrLf;
        line(u"Tree : -", {});
        line(u"Reply : ", reply);
        line(u"Body :", {});
    } else {
        line(u"記事番号　：　", QString::number(Msg.ID));
        if (!IsPairedBoard(m_type)) // the paired boards have no subject line: it comes from the body
            line(u"題名　　：　", Msg.Subject);
        line(u"ホームページ　　：　", Msg.HomePage);
        line(u"メール　　：　", Msg.Mail);
        line(u"投稿者　　：　", Msg.PostName);
        text += u"投稿日　　：　";
        appendDate(text, Msg.PostDate, u'（', u'）', true);
        text += CrLf;
        line(u"返信元　　　：　", reply);
        line(u"本文　　　：", {});
    }
    text += Msg.Body;
}

QByteArray LogWriter::Write(const QList<CMessage> &Msgs, int *skipped)
{
    QString &text = m_text;
    text.resize(0); // keeps the room the previous batch needed
    for (const CMessage &msg : Msgs) {
        if (!hasWritableDate(msg.PostDate)) {
            if (skipped)
                ++*skipped;
            continue;
        }
        CMessage safe = msg;
        headerValue(safe.Subject);
        headerValue(safe.HomePage);
        headerValue(safe.Mail);
        headerValue(safe.PostName);
        bodyText(safe.Body);
        appendEntry(text, safe);
        text += LogParser::Separator;
    }
    scanCharacters(text);
    return mdlMain::ToCp932(text);
}

/** A header field is one line: a CR LF inside it would end the line there. */
void LogWriter::headerValue(QString &value)
{
    if (!value.contains(u'\r') || !value.contains(CrLf))
        return;
    count(LineBreakName, BlankName, int(value.count(CrLf)));
    value.replace(CrLf, u" "_s);
}

/** A body line that reads as the separator would end the entry: its first "=" becomes "＝". */
void LogWriter::bodyText(QString &body)
{
    static const QStringMatcher separator(LogParser::SeparatorLine);
    if (separator.indexIn(body) < 0)
        return;
    QStringList lines = body.split(CrLf);
    for (QString &line : lines) {
        if (LogParser::IsSeparatorLine(line)) {
            line[line.indexOf(u'=')] = u'＝';
            count(u"="_s, u"＝"_s);
        }
    }
    body = lines.join(CrLf);
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
