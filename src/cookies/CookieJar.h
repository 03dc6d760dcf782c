#pragma once

#include "cookies/CookieStore.h"

#include <QNetworkCookieJar>

/**
 * @short The network layer's cookie jar over a CookieStore.
 *
 * Every request of the QNetworkAccessManager that owns it sends the store's cookies for its
 * address, and every cookie a server sets is kept in the store. Names and values travel byte
 * for byte (Qt writes the Cookie header as name=value pairs without quoting), so a name that is
 * a whole address and a CP932 value reach the server unchanged. Cookies whose name or value
 * holds CR, LF or NUL are never sent: they could split the request header.
 */
class CookieJar : public QNetworkCookieJar
{
    Q_OBJECT

public:
    /** A jar over @p store (not owned; it must outlive the jar). */
    explicit CookieJar(CookieStore &store = cookieStore(), QObject *parent = nullptr);

    QList<QNetworkCookie> cookiesForUrl(const QUrl &url) const override;
    bool setCookiesFromUrl(const QList<QNetworkCookie> &cookieList, const QUrl &url) override;

private:
    CookieStore &m_store;
};
