#pragma once

#include "cookies/CookieStore.h"

#include <QImage>
#include <QList>
#include <QString>

class Database;

/**
 * @short One board: a row of table BBS and the user's settings for the board, which live in
 * the board's own cookie in the shared cookie store.
 *
 * The column members are copies of the row (GetProperty fills them, SetProperty writes them
 * back). The nine settings members have no state in the object: every read asks the cookie
 * store and every write goes straight to it, so the program and the board's own pages see the
 * same values.
 *
 * Cookie layouts by board type:
 * - 0: one cookie named after the board's URL, the nine settings joined by "," (no escaping, so
 *   a value holding "," is refused: see SettingValueError()).
 * - 1, 2: one such cookie shared by the two boards of the URL, ten positions; the right board
 *   (type 2) keeps its unread position at position 9 instead of 7.
 * - 3: cookies whose names begin with the Identifier; each value is the percent-encoding of
 *   EUC-JP "key=value" items joined by "&".
 * Other types have no settings: reads give empty text or the numeric default, writes do nothing.
 */
class CBBSProperty
{
public:
    /** Positions of the settings, in the order of the comma list. */
    enum Setting {
        PostNameSetting,
        MailSetting,
        HomePageSetting,
        PasswordSetting,
        ViewCountSetting,
        ViewOrderSetting,
        NoReadViewSetting,
        NoReadPointSetting,
        DownloadCountSetting,
    };
    static constexpr int SettingCount = 9;
    /** Days until a cookie written by the program expires. */
    static constexpr int CookieLifetimeDays = 120;

    /** @short Reads row @p bbsId of table BBS from @p db; false (members unchanged) when there is
     * none. */
    bool GetProperty(int bbsId, Database &db);
    /**
     * @short Writes the ten column members back to the row read by GetProperty; false without
     * a database, when the row is gone or the database refuses (error in LastError()).
     */
    [[nodiscard]] bool SetProperty();
    /** The BBS_ID given to GetProperty. */
    int ID() const { return m_id; }
    /** @short The number of unread stored messages of the board; 0 without a database. */
    int NoReadCount() const;

    QString BBS_Name() const { return m_bbsName; }
    void SetBBS_Name(const QString &value) { m_bbsName = value; }
    QString ShortName() const { return m_shortName; }
    void SetShortName(const QString &value) { m_shortName = value; }
    QString URL() const { return m_url; }
    void SetURL(const QString &value) { m_url = value; }
    QString HowtouseURL() const { return m_howtouseUrl; }
    void SetHowtouseURL(const QString &value) { m_howtouseUrl = value; }
    int MaxCount() const { return m_maxCount; }
    void SetMaxCount(int value) { m_maxCount = value; }
    int BBSType() const { return m_bbsType; }
    void SetBBSType(int value) { m_bbsType = value; }
    bool VisitLoad() const { return m_visitLoad; }
    void SetVisitLoad(bool value) { m_visitLoad = value; }
    int ListOrder() const { return m_listOrder; }
    void SetListOrder(int value) { m_listOrder = value; }
    QString DefaultLogFile() const { return m_defaultLogFile; }
    void SetDefaultLogFile(const QString &value) { m_defaultLogFile = value; }
    QString Identifier() const { return m_identifier; }
    void SetIdentifier(const QString &value) { m_identifier = value; }

    QString PostName() const { return text(PostNameSetting); }
    void SetPostName(const QString &value) { write(PostNameSetting, value); }
    QString Mail() const { return text(MailSetting); }
    void SetMail(const QString &value) { write(MailSetting, value); }
    QString HomePage() const { return text(HomePageSetting); }
    void SetHomePage(const QString &value) { write(HomePageSetting, value); }
    QString Password() const { return text(PasswordSetting); }
    void SetPassword(const QString &value) { write(PasswordSetting, value); }
    int ViewCount() const { return number(ViewCountSetting); }
    void SetViewCount(int value) { write(ViewCountSetting, QString::number(value)); }
    int ViewOrder() const { return number(ViewOrderSetting); }
    void SetViewOrder(int value) { write(ViewOrderSetting, QString::number(value)); }
    int NoReadView() const { return number(NoReadViewSetting); }
    void SetNoReadView(int value) { write(NoReadViewSetting, QString::number(value)); }
    /** The highest message number already received from the board. */
    int NoReadPoint() const { return number(NoReadPointSetting); }
    void SetNoReadPoint(int value) { write(NoReadPointSetting, QString::number(value)); }
    /** Messages per log page of the board. */
    int DownloadCount() const { return number(DownloadCountSetting); }
    void SetDownloadCount(int value) { write(DownloadCountSetting, QString::number(value)); }

    /** @short The member name of setting @p position ("PostName" ... "DownloadCount"). */
    static QString SettingName(int position);
    /** @short True for the whole-number settings (ViewCount to DownloadCount). */
    static bool IsNumericSetting(int position)
    {
        return position >= ViewCountSetting && position < SettingCount;
    }
    /** @short Setting @p position as its member gives it; numbers as decimal text. */
    QString SettingText(int position) const;
    /**
     * @short Writes setting @p position (numbers as decimal text); false when it was refused
     * (SettingValueError()) or could not be stored (LastError() says why).
     */
    [[nodiscard]] bool SetSettingText(int position, const QString &value) { return write(position, value); }
    /**
     * @short Why @p value cannot be kept as setting @p position of a board of type @p bbsType;
     * empty when it can.
     *
     * Every character must read back as written (mdlMain::FirstUnencodable: CP932, EUC-JP
     * for type 3). The comma list of types 0 to 2 cannot hold "," (it would shift every later
     * setting), ";" (it ends the cookie value) or control characters (the cookie would not be
     * sent); the keyed list of type 3 cannot hold "&" (it separates the items).
     */
    static QString SettingValueError(int bbsType, int position, const QString &value);
    /** @short The cookies that hold the board's settings, as the store keeps them. */
    QList<CookieStore::Cookie> SettingsCookies() const;
    /** @short Why the last setting written was not stored; empty after a success. */
    QString LastError() const { return m_lastError; }

    /**
     * @short The board's icon: icon folder + Identifier + ".bmp", the file name matched without
     * regard to case; a null image when there is no such file or it cannot be read.
     */
    QImage GetIconImage() const;
    /** @short Cache folder + Identifier + ".html". */
    QString GetCacheFileName() const;
    /** @short Error-log folder + Identifier + ".bad". */
    QString GetErrorLogFileName() const;
    /** @short The page a browser shows: the URL, with "?leftonly=1" / "?rightonly=1" for types 1
     * / 2. */
    QString GetShowURL() const;
    /** @short The URL followed by "?dousa=showcookiepage". */
    QString GetShowCookiePageURL() const;

    /**
     * @short The value of the cookie named @p name (the whole name, not a part of it) sent to
     * @p address; empty when there is none.
     */
    static QString ReadBoardCookie(const QString &address, const QString &name);
    /**
     * @short Stores cookie @p name = @p value for @p address, expiring in CookieLifetimeDays.
     *
     * A cookie of that name already sent to the address (the one ReadBoardCookie reads) is
     * replaced where it is kept (its path and domain); otherwise the cookie takes the address's
     * folder as its path. Nothing happens for an empty address. Names and values travel as
     * CP932 bytes.
     */
    static bool WriteBoardCookie(const QString &address, const QString &name, const QString &value);

private:
    bool hasSettings() const;
    QString text(int position) const;
    int number(int position) const;
    bool write(int position, const QString &value);
    int commaPosition(int position) const;
    QString commaList() const;
    bool writeComma(int position, const QString &value);
    QList<CookieStore::Cookie> keyedCookies() const;
    QList<QByteArray> keyedValues() const;
    QString readKeyed(int position) const;
    bool writeKeyed(int position, const QString &value);

    Database *m_db = nullptr;
    int m_id = 0;
    QString m_bbsName;
    QString m_shortName;
    QString m_url;
    QString m_howtouseUrl;
    int m_maxCount = 0;
    int m_bbsType = 0;
    bool m_visitLoad = false;
    int m_listOrder = 0;
    QString m_defaultLogFile;
    QString m_identifier;
    QString m_lastError;
};
