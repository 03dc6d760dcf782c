#include "db/CBBSProperty.h"
#include "db/BoardType.h"

#include "app/mdlApp.h"
#include "app/mdlEncoding.h"
#include "app/mdlOption.h"
#include "cookies/CookieStore.h"
#include "db/Database.h"
#include "db/MessageRepository.h"

#include <QDirIterator>
#include <QFileInfo>
#include <QLocale>
#include <QUrl>
#include <algorithm>
#include <array>

using namespace Qt::StringLiterals;

namespace {

/** Item keys of the type-3 cookie, by setting position. */
constexpr std::array<QByteArrayView, CBBSProperty::SettingCount> KeyedKeys { "ck_name", "ck_mail",
    "ck_url", "ck_password", "ck_articles", "ck_order", "ck_enable_unread", "ck_unread_point",
    "ck_text" };

constexpr std::array<QStringView, CBBSProperty::SettingCount> SettingNames { u"PostName", u"Mail",
    u"HomePage", u"Password", u"ViewCount", u"ViewOrder", u"NoReadView", u"NoReadPoint",
    u"DownloadCount" };

/** The comma list a board starts from before it has set its cookie. */
const QString SingleDefault = u",,,,20,,,0,30"_s;
const QString PairDefault = u",,,,30,,,0,50,0"_s;
/** The type-3 text read in place of the cookie before the board has set it. */
constexpr QByteArrayView KeyedDefault
    = "ck_name=&ck_mail=&ck_password=&ck_url=&ck_mode=0&ck_order=0&ck_articles=30&ck_trees=10"
      "&ck_titles=50&ck_text=30&ck_enable_unread=0";

/** Position of the right board's unread position in the shared list of a paired board. */
constexpr int RightUnreadPosition = 9;


int numericDefault(int position, int type)
{
    switch (position) {
    case CBBSProperty::ViewCountSetting:
        return IsPairedBoard(type) ? 30 : 20;
    case CBBSProperty::DownloadCountSetting:
        return IsPairedBoard(type) ? 50 : 30;
    default:
        return 0;
    }
}

/**
 * The comma list without the characters that cannot travel in it: a ";" would end the cookie
 * value there and lose every later position, a control character keeps the cookie from being
 * sent at all.
 */
QString cookieSafe(QString list)
{
    list.removeIf([](QChar c) { return c == u';' || c.unicode() < 0x20 || c.unicode() == 0x7f; });
    return list;
}

/** Percent-encoding of the type-3 cookie: letters, digits and "_" stay, upper-case hex. */
QByteArray keyedEncode(const QByteArray &bytes)
{
    return bytes.toPercentEncoding({}, "-.~");
}

/** The name part of a type-3 item ("key=value"); the whole item when it has no "=". */
QByteArrayView itemName(QByteArrayView item)
{
    const qsizetype equals = item.indexOf('=');
    return equals < 0 ? item : item.first(equals);
}

/** The Netscape cookie date of now + @p days: "Wdy, DD-Mon-YYYY HH:MM:SS GMT". */
QByteArray expiryText(int days)
{
    const QDateTime expiry = QDateTime::currentDateTimeUtc().addDays(days);
    return QLocale::c().toString(expiry, u"ddd, dd-MMM-yyyy hh:mm:ss 'GMT'"_s).toLatin1();
}

/**
 * Stores @p name = @p value for @p url, expiring in the record's cookie lifetime, in the place
 * of @p place (its path, domain and flags) when given, else at the address's folder.
 */
bool storeCookie(const QUrl &url, const QByteArray &name, const QByteArray &value,
    const CookieStore::Cookie *place)
{
    QByteArray data = value + "; expires=" + expiryText(CBBSProperty::CookieLifetimeDays);
    if (place) {
        data += "; path=" + place->path;
        if (place->includeSubdomains)
            data += "; domain=" + place->domain;
        if (place->secure)
            data += "; secure";
        if (place->httpOnly)
            data += "; httponly";
    }
    return cookieStore().SetCookieBytes(url, name, data);
}

/** The first cookie named @p name that @p url is sent. */
std::optional<CookieStore::Cookie> findCookie(const QUrl &url, const QByteArray &name)
{
    const QList<CookieStore::Cookie> cookies = cookieStore().cookiesForUrl(url);
    const auto it = std::find_if(cookies.begin(), cookies.end(),
        [&name](const CookieStore::Cookie &c) { return c.name == name; });
    return it == cookies.end() ? std::nullopt : std::optional(*it);
}

/** The file @p path names, its name matched without regard to case; empty when there is none. */
QString findFileIgnoringCase(const QString &path)
{
    const QFileInfo info(path);
    if (info.isFile())
        return path;
    QDirIterator entries(info.absolutePath(), QDir::Files | QDir::Hidden | QDir::System);
    while (entries.hasNext()) {
        entries.next();
        if (entries.fileName().compare(info.fileName(), Qt::CaseInsensitive) == 0)
            return entries.filePath();
    }
    return {};
}

} // namespace

bool CBBSProperty::GetProperty(int bbsId, Database &db)
{
    m_db = &db;
    m_id = bbsId;
    Statement row = db.Prepare(u"SELECT BBS_Name, ShortName, URL, HowtouseURL, MaxCount, BBSType, VisitLoad, "
                               "ListOrder, DefaultLogFile, Identifier FROM BBS WHERE BBS_ID = ?1"_s);
    row.Bind(1, bbsId);
    if (!row.Next())
        return false;
    // Null columns read as empty text, 0 or False.
    m_bbsName = row.Value(0).toString();
    m_shortName = row.Value(1).toString();
    m_url = row.Value(2).toString();
    m_howtouseUrl = row.Value(3).toString();
    m_maxCount = row.Value(4).toInt();
    m_bbsType = row.Value(5).toInt();
    m_visitLoad = row.Value(6).toBool();
    m_listOrder = row.Value(7).toInt();
    m_defaultLogFile = row.Value(8).toString();
    m_identifier = row.Value(9).toString();
    return true;
}

bool CBBSProperty::SetProperty()
{
    if (!m_db)
        return false;
    Statement update = m_db->Prepare(
        u"UPDATE BBS SET BBS_Name = ?1, ShortName = ?2, URL = ?3, HowtouseURL = ?4, MaxCount = ?5, "
        "BBSType = ?6, VisitLoad = ?7, ListOrder = ?8, DefaultLogFile = ?9, Identifier = ?10 "
        "WHERE BBS_ID = ?11"_s);
    // These columns take no empty text: an empty member goes back as the Null it was read from.
    const auto nonEmpty
        = [](const QString &text) { return text.isEmpty() ? QVariant() : QVariant(text); };
    const QVariantList values { nonEmpty(m_bbsName), nonEmpty(m_shortName), nonEmpty(m_url),
        nonEmpty(m_howtouseUrl), m_maxCount, m_bbsType, m_visitLoad, m_listOrder, m_defaultLogFile,
        m_identifier, m_id };
    for (int i = 0; i < values.size(); ++i)
        update.Bind(i + 1, values.at(i));
    return update.Execute() && m_db->RecordsAffected() == 1;
}

int CBBSProperty::NoReadCount() const
{
    return m_db ? MessageRepository(*m_db).UnreadCount(m_id) : 0;
}

QString CBBSProperty::SettingName(int position)
{
    return position >= 0 && position < SettingCount ? SettingNames.at(position).toString()
                                                    : QString();
}

QString CBBSProperty::SettingText(int position) const
{
    return IsNumericSetting(position) ? QString::number(number(position)) : text(position);
}

QImage CBBSProperty::GetIconImage() const
{
    const QString file = findFileIgnoringCase(
        mdlApp::AddPathSeparator(mdlOption::IconFilePath) + m_identifier + u".bmp"_s);
    return file.isEmpty() ? QImage() : QImage(file);
}

QString CBBSProperty::GetCacheFileName() const
{
    return mdlApp::AddPathSeparator(mdlOption::CacheFilePath) + m_identifier + u".html"_s;
}

QString CBBSProperty::GetErrorLogFileName() const
{
    return mdlApp::AddPathSeparator(mdlOption::ErrorLogFilePath) + m_identifier + u".bad"_s;
}

QString CBBSProperty::GetShowURL() const
{
    switch (m_bbsType) {
    case PairedLeftBoard:
        return m_url + u"?leftonly=1"_s;
    case PairedRightBoard:
        return m_url + u"?rightonly=1"_s;
    default:
        return m_url;
    }
}

QString CBBSProperty::GetShowCookiePageURL() const
{
    return m_url + u"?dousa=showcookiepage"_s;
}

QString CBBSProperty::ReadBoardCookie(const QString &address, const QString &name)
{
    const std::optional<CookieStore::Cookie> cookie
        = findCookie(QUrl(address), mdlMain::ToCp932(name));
    return cookie ? mdlMain::FromCp932(cookie->value) : QString();
}

bool CBBSProperty::WriteBoardCookie(
    const QString &address, const QString &name, const QString &value)
{
    if (address.isEmpty())
        return false;
    const QUrl url(address);
    const QByteArray nameBytes = mdlMain::ToCp932(name);
    const std::optional<CookieStore::Cookie> existing = findCookie(url, nameBytes);
    return storeCookie(url, nameBytes, mdlMain::ToCp932(value), existing ? &*existing : nullptr);
}

bool CBBSProperty::hasSettings() const
{
    return !m_url.isEmpty() && m_bbsType >= SingleBoard && m_bbsType <= TextPageBoard;
}

QString CBBSProperty::text(int position) const
{
    if (!hasSettings() || position < 0 || position >= SettingCount)
        return {};
    if (m_bbsType == TextPageBoard)
        return readKeyed(position);
    return commaList().split(u',').value(commaPosition(position));
}

int CBBSProperty::number(int position) const
{
    bool ok = false;
    const int value = text(position).trimmed().toInt(&ok);
    return ok ? value : numericDefault(position, m_bbsType);
}

QString CBBSProperty::SettingValueError(int bbsType, int position, const QString &value)
{
    if (bbsType < SingleBoard || bbsType > TextPageBoard)
        return {};
    const QString name = SettingName(position);
    const bool keyed = bbsType == TextPageBoard;
    if (const QString c = mdlMain::FirstUnencodable(value, keyed ? mdlMain::BoardEncoding::EucJp : mdlMain::BoardEncoding::Cp932);
        !c.isEmpty())
        return u"%1 の「%2」(U+%3) は%4で表せない文字のため使えません。設定は変更していません。"_s.arg(
            name, c, QString::number(c.toUcs4().value(0), 16).toUpper().rightJustified(4, u'0'),
            keyed ? u"EUC-JP"_s : u"Shift_JIS(CP932)"_s);
    if (keyed) // the items of the keyed cookie are joined by "&"
        return value.contains(u'&') ? u"%1 に半角の「&」は使えません。同じクッキーに並ぶほかの設定が壊れるためです。"
                                      "設定は変更していません。"_s.arg(name) : QString();
    if (value.contains(u','))
        return u"%1 に半角の「,」は使えません。同じクッキーに並ぶほかの設定が壊れるためです。設定は変更していません。"_s.arg(name);
    if (value.contains(u';'))
        return u"%1 に半角の「;」は使えません。クッキーの値がそこで切れるためです。設定は変更していません。"_s.arg(name);
    if (std::any_of(value.begin(), value.end(), [](QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7f; }))
        return u"%1 に改行などの制御文字は使えません。設定は変更していません。"_s.arg(name);
    return {};
}

QList<CookieStore::Cookie> CBBSProperty::SettingsCookies() const
{
    if (!hasSettings())
        return {};
    if (m_bbsType == TextPageBoard)
        return keyedCookies();
    const std::optional<CookieStore::Cookie> comma = findCookie(QUrl(m_url), mdlMain::ToCp932(m_url));
    return comma ? QList{*comma} : QList<CookieStore::Cookie>();
}

bool CBBSProperty::write(int position, const QString &value)
{
    m_lastError.clear();
    if (!hasSettings() || position < 0 || position >= SettingCount)
        return true; // the board keeps no settings: nothing to write
    m_lastError = SettingValueError(m_bbsType, position, value);
    if (!m_lastError.isEmpty())
        return false;
    // The cookie is read, changed and written back under the file's lock, so that another
    // process's change to it in the meantime is not undone.
    const CookieStore::WriteLock lock(cookieStore());
    const bool stored = lock.isLocked() && (m_bbsType == TextPageBoard ? writeKeyed(position, value) : writeComma(position, value));
    if (!stored)
        m_lastError = cookieStore().LastError();
    return stored;
}

int CBBSProperty::commaPosition(int position) const
{
    return m_bbsType == PairedRightBoard && position == NoReadPointSetting ? RightUnreadPosition : position;
}

QString CBBSProperty::commaList() const
{
    const QString stored = ReadBoardCookie(m_url, m_url);
    if (!stored.isEmpty())
        return stored;
    return IsPairedBoard(m_bbsType) ? PairDefault : SingleDefault;
}

bool CBBSProperty::writeComma(int position, const QString &value)
{
    QStringList items = commaList().split(u',');
    const int p = commaPosition(position);
    // A shorter list (written by the board) grows; the positions it has stay as they are.
    if (items.size() <= p)
        items.resize(p + 1);
    items[p] = value;
    return WriteBoardCookie(m_url, m_url, cookieSafe(items.join(u',')));
}

QList<CookieStore::Cookie> CBBSProperty::keyedCookies() const
{
    QList<CookieStore::Cookie> found;
    // Without an identifier every cookie of the address would pass for the board's.
    if (m_identifier.isEmpty())
        return found;
    const QByteArray prefix = mdlMain::ToCp932(m_identifier);
    for (const CookieStore::Cookie &c : cookieStore().cookiesForUrl(QUrl(m_url))) {
        if (c.name.startsWith(prefix))
            found.append(c);
    }
    return found;
}

QList<QByteArray> CBBSProperty::keyedValues() const
{
    QList<QByteArray> values;
    for (const CookieStore::Cookie &c : keyedCookies())
        values.append(QByteArray::fromPercentEncoding(c.value));
    // Before the board has set its cookie its default text stands in, as one cookie named
    // "ck_name"; it counts only where that name begins with the identifier.
    const QByteArrayView defaultName = itemName(KeyedDefault);
    if (values.isEmpty() && !m_identifier.isEmpty()
        && defaultName.startsWith(mdlMain::ToCp932(m_identifier)))
        values.append(KeyedDefault.sliced(defaultName.size() + 1).toByteArray());
    return values;
}

QString CBBSProperty::readKeyed(int position) const
{
    const QByteArrayView key = KeyedKeys.at(position);
    for (const QByteArray &value : keyedValues()) {
        for (const QByteArray &item : value.split('&')) {
            if (itemName(item) == key)
                return mdlMain::EucToString(
                    QByteArrayView(item).sliced(std::min(item.size(), key.size() + 1)));
        }
    }
    return {};
}

bool CBBSProperty::writeKeyed(int position, const QString &value)
{
    bool stored = true;
    const QByteArrayView key = KeyedKeys.at(position);
    const QUrl url(m_url);
    for (const CookieStore::Cookie &c : keyedCookies()) {
        QList<QByteArray> items = QByteArray::fromPercentEncoding(c.value).split('&');
        const auto item = std::find_if(
            items.begin(), items.end(), [key](const QByteArray &i) { return itemName(i) == key; });
        if (item == items.end())
            continue;
        // Only this item changes; the others keep their bytes.
        *item = key.toByteArray() + '=' + mdlMain::ToEucJp(value);
        stored = storeCookie(url, c.name, keyedEncode(items.join('&')), &c) && stored;
    }
    return stored;
}
