#include "cookies/CookieStore.h"

#include "app/CFile.h"
#include "app/FileLock.h"
#include "app/mdlApp.h"

#include <QFile>
#include <QHostAddress>
#include <QNetworkCookie>
#include <QStringDecoder>
#include <QStringEncoder>
#include <algorithm>
#include <array>
#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

/** 9999-12-31 23:59:59 UTC: later expiry dates are clamped to it. */
constexpr qint64 LatestExpiry = 253402300799;
constexpr QByteArrayView EncodedMark = "%%";
constexpr QByteArrayView HttpOnlyPrefix = "#HttpOnly_";
constexpr QByteArrayView FileHeader =
    "# Netscape HTTP Cookie File\n"
    "# Written by Tessera. A field beginning with \"%%\" holds percent-encoded bytes.\n\n";

/** The longest line read: a cookie at the size limit, percent-encoded, with its other fields. */
constexpr qint64 MaxLineBytes = 3 * CookieStore::MaxCookieBytes + 4096;
constexpr qint64 ReadBlockBytes = 64 * 1024;

enum class Line { Ignored, Cookie, Expired, Damaged };

using Cookie = CookieStore::Cookie;

/** The order of the store: domain, path, name. */
int compareKeys(const Cookie &a, const Cookie &b)
{
    if (const int domain = a.domain.compare(b.domain))
        return domain;
    if (const int path = a.path.compare(b.path))
        return path;
    return a.name.compare(b.name);
}

bool keyLess(const Cookie &a, const Cookie &b)
{
    return compareKeys(a, b) < 0;
}

/** Compares a cookie's domain with a domain, for the range of one domain's cookies. */
struct ByDomain
{
    bool operator()(const Cookie &c, const QByteArray &domain) const { return c.domain < domain; }
    bool operator()(const QByteArray &domain, const Cookie &c) const { return domain < c.domain; }
};

/** The path of most cookies, shared rather than held by each. */
const QByteArray &rootPath()
{
    static const QByteArray root("/");
    return root;
}

/** The lines of @p file read through @p buffer, back at its start; nullopt when it cannot be read or exceeds MaxFileBytes. */
std::optional<qint64> countLines(QFile &file, QByteArray &buffer)
{
    qint64 lines = 1;
    qint64 total = 0;
    for (qint64 n; (n = file.read(buffer.data(), ReadBlockBytes)) > 0 && total <= CookieStore::MaxFileBytes; total += n)
        lines += QByteArrayView(buffer.constData(), n).count('\n');
    if (total > CookieStore::MaxFileBytes || file.error() != QFileDevice::NoError || !file.seek(0))
        return std::nullopt;
    return lines;
}

/**
 * Puts cookies read in file order (ascending `order`) in key order; of a cookie the file holds
 * twice, the later line stays. Equal domains then share their bytes.
 */
void sortAndDropRepeats(std::vector<Cookie> &cookies)
{
    std::sort(cookies.begin(), cookies.end(), [](const Cookie &a, const Cookie &b) {
        const int keys = compareKeys(a, b);
        return keys != 0 ? keys < 0 : a.order < b.order;
    });
    const auto kept = std::unique(cookies.rbegin(), cookies.rend(),
                                  [](const Cookie &a, const Cookie &b) { return compareKeys(a, b) == 0; });
    cookies.erase(cookies.begin(), kept.base());
    for (size_t i = 1; i < cookies.size(); ++i) {
        if (cookies[i].domain == cookies[i - 1].domain)
            cookies[i].domain = cookies[i - 1].domain;
    }
    if (cookies.size() < cookies.capacity() / 2) // most lines held no cookie
        cookies.shrink_to_fit();
}

bool hasControlByte(QByteArrayView bytes)
{
    return std::any_of(bytes.begin(), bytes.end(), [](char c) {
        const auto u = static_cast<uchar>(c);
        return u < 0x20 || u == 0x7f;
    });
}

QByteArray encodeField(const QByteArray &bytes)
{
    if (!hasControlByte(bytes) && !bytes.startsWith(EncodedMark))
        return bytes;
    return EncodedMark.toByteArray() + bytes.toPercentEncoding();
}

QByteArray decodeField(QByteArrayView field)
{
    if (field.startsWith(EncodedMark))
        return QByteArray::fromPercentEncoding(field.sliced(EncodedMark.size()).toByteArray());
    return field.toByteArray();
}

bool isDomainText(QByteArrayView domain)
{
    return !domain.isEmpty() && domain.size() <= 255
        && std::none_of(domain.begin(), domain.end(), [](char c) {
               const auto u = static_cast<uchar>(c);
               return u <= 0x20 || u >= 0x7f || c == '/' || c == ';' || c == ',';
           });
}

/** Expiry field: a decimal number; numbers beyond 64 bits and later than year 9999 clamp. */
std::optional<qint64> parseExpiry(QByteArrayView field)
{
    bool ok = false;
    const qint64 value = field.toLongLong(&ok);
    if (ok)
        return std::min(value, LatestExpiry);
    const bool digitsOnly = !field.isEmpty()
        && std::all_of(field.begin(), field.end(), [](char c) { return c >= '0' && c <= '9'; });
    return digitsOnly ? std::optional(LatestExpiry) : std::nullopt;
}

bool isTrue(QByteArrayView field)
{
    return field.compare("TRUE", Qt::CaseInsensitive) == 0;
}

/** Parses one line of a Netscape cookie file into @p c. */
Line parseLine(QByteArrayView line, qint64 now, CookieStore::Cookie &c)
{
    if (line.endsWith('\r'))
        line.chop(1);
    const bool httpOnly = line.startsWith(HttpOnlyPrefix);
    if (httpOnly)
        line = line.sliced(HttpOnlyPrefix.size());
    else if (line.startsWith('#') || line.trimmed().isEmpty())
        return Line::Ignored;

    std::array<QByteArrayView, 7> field;
    for (int i = 0; i < 6; ++i) {
        const qsizetype tab = line.indexOf('\t');
        if (tab < 0)
            return Line::Damaged;
        field[i] = line.first(tab);
        line = line.sliced(tab + 1);
    }
    field[6] = line;

    QByteArrayView domain = field[0];
    if (domain.startsWith('.'))
        domain = domain.sliced(1);
    const std::optional<qint64> expiry = parseExpiry(field[4]);
    // Percent-encoding at most triples a field: a longer one cannot fit the limit.
    if (!isDomainText(domain) || !expiry
        || field[5].size() + field[6].size() > 3 * CookieStore::MaxCookieBytes + 4)
        return Line::Damaged;
    c.path = decodeField(field[2]);
    c.name = decodeField(field[5]);
    c.value = decodeField(field[6]);
    if (!c.path.startsWith('/') || c.name.isEmpty()
        || c.name.size() + c.value.size() > CookieStore::MaxCookieBytes)
        return Line::Damaged;
    if (*expiry < 0 || (*expiry != 0 && *expiry <= now))
        return Line::Expired;

    c.domain = domain.toByteArray().toLower();
    c.expiry = *expiry;
    c.includeSubdomains = isTrue(field[1]);
    c.secure = isTrue(field[3]);
    c.httpOnly = httpOnly;
    return Line::Cookie;
}

QByteArray hostOf(const QUrl &url)
{
    return url.host(QUrl::EncodeUnicode).toLower().toLatin1();
}

bool isIpAddress(const QByteArray &host)
{
    return !QHostAddress(QString::fromLatin1(host)).isNull();
}

QByteArray requestPath(const QUrl &url)
{
    const QByteArray path = url.path(QUrl::FullyEncoded).toLatin1();
    return path.startsWith('/') ? path : QByteArray("/");
}

/** The folder of the address's path: where a cookie without a path attribute applies. */
QByteArray defaultCookiePath(const QUrl &url)
{
    const QByteArray path = requestPath(url);
    const qsizetype slash = path.lastIndexOf('/');
    return slash > 0 ? path.left(slash) : QByteArray("/");
}

bool pathMatches(const QByteArray &cookiePath, const QByteArray &path)
{
    if (!path.startsWith(cookiePath))
        return false;
    return path.size() == cookiePath.size() || cookiePath.endsWith('/')
        || path.at(cookiePath.size()) == '/';
}

bool isExpired(const CookieStore::Cookie &c, qint64 now)
{
    return c.expiry < 0 || (c.expiry != 0 && c.expiry <= now);
}

bool sameContent(const CookieStore::Cookie &a, const CookieStore::Cookie &b)
{
    return a.value == b.value && a.expiry == b.expiry && a.includeSubdomains == b.includeSubdomains
        && a.secure == b.secure && a.httpOnly == b.httpOnly;
}

CookieStore *installedStore = nullptr;

} // namespace

QString CookieStore::defaultPath()
{
    return mdlApp::GetAppPath() + u"cookies.txt"_s;
}

CookieStore::CookieStore(const QString &path)
    : m_now([] { return QDateTime::currentSecsSinceEpoch(); })
{
    open(path);
}

CookieStore::~CookieStore() = default;

CookieStore::WriteLock::WriteLock(CookieStore &store) : m_store(store)
{
    if (m_store.m_lockDepth == 0) {
        auto lock = std::make_unique<FileLock>(m_store.m_path);
        if (!lock->isLocked()) {
            m_store.m_lastError = lock->errorText();
            return;
        }
        m_store.m_lock = std::move(lock);
    }
    ++m_store.m_lockDepth;
    m_locked = true;
    m_store.reloadIfChanged();
}

CookieStore::WriteLock::~WriteLock()
{
    if (m_locked && --m_store.m_lockDepth == 0)
        m_store.m_lock.reset();
}

bool CookieStore::open(const QString &path)
{
    m_path = path;
    return load();
}

qsizetype CookieStore::count() const
{
    return qsizetype(m_cookies.size());
}

QString CookieStore::GetCookie(const QString &url)
{
    QStringDecoder cp932("CP932");
    return cp932.decode(GetCookieBytes(QUrl(url)));
}

bool CookieStore::SetCookie(const QString &url, const QString &name, const QString &data)
{
    QStringEncoder cp932("CP932");
    const QByteArray nameBytes = cp932.encode(name);
    const QByteArray dataBytes = cp932.encode(data);
    return SetCookieBytes(QUrl(url), nameBytes, dataBytes);
}

QByteArray CookieStore::GetCookieBytes(const QUrl &url)
{
    QByteArray header;
    for (const Cookie &c : cookiesForUrl(url)) {
        if (!header.isEmpty())
            header += "; ";
        header += c.name + '=' + c.value;
    }
    return header;
}

bool CookieStore::SetCookieBytes(const QUrl &url, const QByteArray &name, const QByteArray &data)
{
    const QString scheme = url.scheme().toLower();
    if (scheme != u"http"_s && scheme != u"https"_s)
        return false;
    QNetworkCookie parsed;
    if (name.isEmpty()) {
        parsed = QNetworkCookie::parseCookies(data).value(0);
    } else {
        // Qt reads the attributes; name and value are taken byte for byte.
        const qsizetype semicolon = data.indexOf(';');
        const qsizetype valueEnd = semicolon < 0 ? data.size() : semicolon;
        parsed = QNetworkCookie::parseCookies("x=" + data.sliced(valueEnd)).value(0);
        parsed.setName(name);
        parsed.setValue(data.first(valueEnd));
    }
    const std::optional<Cookie> cookie = fromNetworkCookie(parsed, url);
    return cookie && setCookies({*cookie});
}

QList<CookieStore::Cookie> CookieStore::cookiesForUrl(const QUrl &url)
{
    reloadIfChanged();
    QList<Cookie> found;
    const QByteArray host = hostOf(url);
    if (host.isEmpty())
        return found;
    const QByteArray path = requestPath(url);
    const bool https = url.scheme().compare(u"https"_s, Qt::CaseInsensitive) == 0;
    const qint64 now = m_now();
    const bool ip = isIpAddress(host);
    // The host itself, then each parent domain (not for IP addresses).
    for (qsizetype start = 0; start >= 0;) {
        const auto [first, last] = std::equal_range(m_cookies.cbegin(), m_cookies.cend(), host.sliced(start), ByDomain{});
        for (auto c = first; c != last; ++c) {
            if ((start == 0 || c->includeSubdomains) && pathMatches(c->path, path) && (https || !c->secure)
                && !isExpired(*c, now))
                found.append(*c);
        }
        const qsizetype dot = host.indexOf('.', start);
        start = dot < 0 || ip ? -1 : dot + 1;
    }
    std::sort(found.begin(), found.end(), [](const Cookie &a, const Cookie &b) {
        return a.path.size() != b.path.size() ? a.path.size() > b.path.size() : a.order < b.order;
    });
    return found;
}

bool CookieStore::setCookies(const QList<Cookie> &cookies)
{
    const WriteLock lock(*this);
    if (!lock.isLocked())
        reloadIfChanged();
    const qint64 now = m_now();
    bool persistentChange = false;
    for (const Cookie &c : cookies)
        persistentChange = apply(c, now) || persistentChange;
    // Without the lock another process may be writing: the change stays in memory only.
    return !persistentChange || (lock.isLocked() && save());
}

bool CookieStore::renewExpiry(const std::function<QList<Cookie>()> &select, qint64 lifetime)
{
    constexpr qint64 Day = 24 * 60 * 60; // renewed at most once a day: most starts write nothing
    const auto due = [&] {
        const qint64 expiry = std::min(m_now() + lifetime, LatestExpiry);
        QList<Cookie> renewed;
        for (Cookie c : select()) {
            if (c.expiry > 0 && c.expiry < expiry - Day) {
                c.expiry = expiry;
                renewed.append(c);
            }
        }
        return renewed;
    };
    if (due().isEmpty())
        return true;
    const WriteLock lock(*this);
    if (!lock.isLocked())
        return false;
    const QList<Cookie> renewed = due(); // again: another process may have changed them meanwhile
    return renewed.isEmpty() || setCookies(renewed);
}

std::optional<CookieStore::Cookie> CookieStore::fromNetworkCookie(const QNetworkCookie &cookie,
                                                                  const QUrl &url)
{
    const QByteArray host = hostOf(url);
    if (host.isEmpty() || cookie.name().isEmpty()
        || cookie.name().size() + cookie.value().size() > MaxCookieBytes)
        return std::nullopt;
    Cookie c;
    c.name = cookie.name();
    c.value = cookie.value();
    c.domain = host;
    QByteArray domain = cookie.domain().toLower().toLatin1();
    if (domain.startsWith('.'))
        domain.remove(0, 1);
    if (!domain.isEmpty()) {
        const bool ip = isIpAddress(host);
        if (domain != host && (ip || !host.endsWith('.' + domain)))
            return std::nullopt;
        c.domain = domain;
        c.includeSubdomains = !ip;
    }
    c.path = cookie.path().toUtf8();
    if (!c.path.startsWith('/'))
        c.path = defaultCookiePath(url);
    c.secure = cookie.isSecure();
    c.httpOnly = cookie.isHttpOnly();
    if (cookie.expirationDate().isValid()) {
        const qint64 secs = cookie.expirationDate().toSecsSinceEpoch();
        c.expiry = secs <= 0 ? -1 : std::min(secs, LatestExpiry);
    }
    return c;
}

namespace {

template<typename Stamp>
Stamp stampFrom(const struct stat &info)
{
    return {true, qint64(info.st_size), qint64(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec,
            quint64(info.st_ino)};
}

} // namespace

CookieStore::FileStamp CookieStore::stampOf(const QString &path)
{
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? stampFrom<FileStamp>(info) : FileStamp{};
}

CookieStore::FileStamp CookieStore::stampOf(int fd)
{
    struct stat info {};
    return ::fstat(fd, &info) == 0 ? stampFrom<FileStamp>(info) : FileStamp{};
}

bool CookieStore::load()
{
    m_cookies = {};
    m_damaged = false;
    m_writable = true;
    m_loadError.clear();
    QFile file(m_path);
    // The stamp and the size are those of the file opened: another process may replace it.
    const bool opened = file.open(QIODevice::ReadOnly);
    m_stamp = opened ? stampOf(file.handle()) : stampOf(m_path);
    if (!m_stamp.exists)
        return true;
    const bool tooLarge = m_stamp.size > MaxFileBytes;
    if (opened && !tooLarge && read(file))
        return true;
    m_cookies = {};
    m_writable = false;
    m_loadError = tooLarge || file.size() > MaxFileBytes
        ? u"クッキーファイル %1 は %2 MB を超えているため、読み込みも書き込みもしません。"
          "不要なら削除してください。"_s.arg(m_path).arg(MaxFileBytes / (1024 * 1024))
        : u"クッキーファイル %1 を読み込めないため、書き込みません。\n%2"_s.arg(m_path, file.errorString());
    return false;
}

/**
 * Reads the cookies of @p file line by line; a line beyond MaxLineBytes is damaged. The lines
 * are counted first, so the cookies take exactly their room. False when the file cannot be
 * read or grows beyond MaxFileBytes.
 */
bool CookieStore::read(QFile &file)
{
    QByteArray buffer(std::max(ReadBlockBytes, MaxLineBytes + 1), Qt::Uninitialized);
    const std::optional<qint64> lines = countLines(file, buffer);
    if (!lines)
        return false;
    m_cookies.reserve(size_t(*lines));

    const qint64 now = m_now();
    bool inLongLine = false; // the rest of a line longer than MaxLineBytes follows
    for (qint64 n; (n = file.readLine(buffer.data(), MaxLineBytes + 1)) > 0;) {
        QByteArrayView line(buffer.constData(), n);
        const bool ended = line.endsWith('\n');
        if (inLongLine || (!ended && !file.atEnd())) {
            m_damaged = true;
            inLongLine = !ended;
            continue;
        }
        Cookie c;
        const Line kind = parseLine(ended ? line.chopped(1) : line, now, c);
        if (kind == Line::Cookie) {
            if (c.path == rootPath())
                c.path = rootPath();
            if (!m_cookies.empty() && m_cookies.back().domain == c.domain) // a domain's cookies are often together
                c.domain = m_cookies.back().domain;
            c.order = m_nextOrder++;
            m_cookies.push_back(std::move(c));
        } else if (kind == Line::Damaged) {
            m_damaged = true;
        }
    }
    if (file.error() != QFileDevice::NoError)
        return false;
    sortAndDropRepeats(m_cookies);
    return true;
}

void CookieStore::reloadIfChanged()
{
    if (stampOf(m_path) == m_stamp)
        return;
    QList<Cookie> session;
    for (const Cookie &c : m_cookies) {
        if (c.expiry == 0)
            session.append(c);
    }
    load();
    for (const Cookie &c : std::as_const(session)) {
        const auto at = std::lower_bound(m_cookies.begin(), m_cookies.end(), c, keyLess);
        Cookie kept = c;
        kept.order = m_nextOrder++;
        if (at != m_cookies.end() && compareKeys(*at, c) == 0)
            *at = std::move(kept);
        else
            m_cookies.insert(at, std::move(kept));
    }
}

/** Applies one change in memory; true when the file must be rewritten. */
bool CookieStore::apply(const Cookie &cookie, qint64 now)
{
    const auto existing = std::lower_bound(m_cookies.begin(), m_cookies.end(), cookie, keyLess);
    const bool found = existing != m_cookies.end() && compareKeys(*existing, cookie) == 0;

    if (isExpired(cookie, now)) {
        if (!found)
            return false;
        const bool wasPersistent = existing->expiry != 0;
        m_cookies.erase(existing);
        return wasPersistent;
    }
    if (found) {
        if (sameContent(*existing, cookie))
            return false;
        const bool wasPersistent = existing->expiry != 0;
        const quint64 order = existing->order;
        *existing = cookie;
        existing->order = order;
        return wasPersistent || cookie.expiry != 0;
    }
    Cookie added = cookie;
    added.order = m_nextOrder++;
    m_cookies.insert(existing, std::move(added));
    return cookie.expiry != 0;
}

bool CookieStore::save()
{
    dropExpired(m_now());
    if (!m_writable) {
        m_lastError = m_loadError;
        return false;
    }
    // The file holds passwords of the boards.
    const auto ownerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    if (m_damaged) {
        // Keep what could not be read, in case it mattered to someone.
        QFile damaged(m_path);
        const QByteArray original = damaged.open(QIODevice::ReadOnly) ? damaged.readAll() : QByteArray();
        const CFile::SaveResult kept = CFile::SaveAtomically(m_path + u".bak"_s, original, ownerOnly);
        if (!kept) {
            m_lastError = kept.message;
            return false;
        }
        m_damaged = false;
    }
    const CFile::SaveResult saved = CFile::SaveAtomically(m_path, serialize(), ownerOnly);
    if (!saved) {
        m_lastError = saved.message;
        return false;
    }
    m_lastError.clear();
    m_stamp = stampOf(m_path);
    return true;
}

void CookieStore::dropExpired(qint64 now)
{
    std::erase_if(m_cookies, [now](const Cookie &c) { return isExpired(c, now); });
}

QByteArray CookieStore::serialize() const
{
    std::vector<const Cookie *> persistent;
    for (const Cookie &c : m_cookies) {
        if (c.expiry != 0)
            persistent.push_back(&c);
    }
    std::sort(persistent.begin(), persistent.end(),
              [](const Cookie *a, const Cookie *b) { return a->order < b->order; });

    QByteArray out = FileHeader.toByteArray();
    out.reserve(out.size() + qsizetype(persistent.size()) * 96);
    for (const Cookie *c : persistent) {
        if (c->httpOnly)
            out += HttpOnlyPrefix;
        if (c->includeSubdomains)
            out += '.';
        out += c->domain;
        out += c->includeSubdomains ? "\tTRUE\t" : "\tFALSE\t";
        out += encodeField(c->path);
        out += c->secure ? "\tTRUE\t" : "\tFALSE\t";
        out += QByteArray::number(c->expiry) + '\t' + encodeField(c->name) + '\t'
            + encodeField(c->value) + '\n';
    }
    return out;
}

CookieStore &cookieStore()
{
    if (installedStore)
        return *installedStore;
    static CookieStore fallback;
    return fallback;
}

void setCookieStore(CookieStore *store)
{
    installedStore = store;
}
