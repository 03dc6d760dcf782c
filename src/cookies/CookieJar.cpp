#include "cookies/CookieJar.h"

#include <QNetworkCookie>

namespace {

bool isHeaderSafe(const QByteArray &bytes)
{
    return !bytes.contains('\r') && !bytes.contains('\n') && !bytes.contains('\0');
}

} // namespace

CookieJar::CookieJar(CookieStore &store, QObject *parent)
    : QNetworkCookieJar(parent)
    , m_store(store)
{
}

QList<QNetworkCookie> CookieJar::cookiesForUrl(const QUrl &url) const
{
    QList<QNetworkCookie> cookies;
    for (const CookieStore::Cookie &c : m_store.cookiesForUrl(url)) {
        if (isHeaderSafe(c.name) && isHeaderSafe(c.value))
            cookies.append(QNetworkCookie(c.name, c.value));
    }
    return cookies;
}

bool CookieJar::setCookiesFromUrl(const QList<QNetworkCookie> &cookieList, const QUrl &url)
{
    QList<CookieStore::Cookie> accepted;
    for (const QNetworkCookie &cookie : cookieList) {
        // Qt's own checks, public suffixes included, look at the normalised form.
        QNetworkCookie normalised = cookie;
        normalised.normalize(url);
        if (!validateCookie(normalised, url))
            continue;
        if (const auto stored = CookieStore::fromNetworkCookie(cookie, url))
            accepted.append(*stored);
    }
    return !accepted.isEmpty() && m_store.setCookies(accepted);
}
