#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QUrl>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

class FileLock;
class QFile;
class QNetworkCookie;

/**
 * @short Persistent per-address cookie store, kept in a Netscape cookie file.
 *
 * Cookies are matched like a browser does: by host (host-only or with subdomains), by path
 * prefix, secure cookies only over https, expired cookies never. Names and values are the raw
 * bytes that travel in the Cookie header; the text API converts with CP932 (the bytes the
 * boards expect), the byte API passes bytes through unchanged.
 *
 * Every change to a persistent cookie rewrites the file at once (written to a temporary file,
 * synced, then renamed), so a completed write survives a crash and the file is never half
 * written; a write that fails (a full disk) leaves the file as it was. Session cookies (no
 * expiry) live only in memory. Changes are made under a lock on path + ".lock" shared by every
 * process; under it, a file another process has replaced since it was last read or written is
 * read again first, so two stores on one file never undo each other's writes.
 *
 * File format: "# Netscape HTTP Cookie File", then one line per cookie with the tab-separated
 * fields domain (leading "." when subdomains match; "#HttpOnly_" prefix for HTTP-only cookies),
 * TRUE/FALSE for subdomains, path, TRUE/FALSE for secure, expiry in seconds since 1970 UTC,
 * name and value. Fields are written as their bytes unchanged, non-ASCII bytes included. A field
 * that holds a control byte (tab, CR, LF, NUL, ...) or that begins with "%%" is written as "%%"
 * followed by its bytes percent-encoded; curl and wget read every other line as it stands.
 */
class CookieStore
{
public:
    /** One cookie as stored and sent. */
    struct Cookie
    {
        QByteArray domain;      ///< lower-case host or domain, without a leading "."
        QByteArray path;        ///< always begins with "/"
        QByteArray name;        ///< bytes as sent; never empty
        QByteArray value;       ///< bytes as sent
        qint64 expiry = 0;      ///< seconds since 1970 UTC; 0 = session cookie; < 0 = expired
        bool includeSubdomains = false;
        bool secure = false;
        bool httpOnly = false;
        quint64 order = 0;      ///< creation order; kept when a cookie is replaced
    };

    /** Most bytes of name plus value in one cookie (what common servers take in a header). */
    static constexpr qsizetype MaxCookieBytes = 8192;
    /**
     * Larger cookie files are left untouched and not read; changes are then refused. A file is
     * read line by line, in memory of a few times its size.
     */
    static constexpr qint64 MaxFileBytes = 256ll * 1024 * 1024;

    /** @short The program folder's cookie file, "cookies.txt". */
    static QString defaultPath();

    /**
     * @short Holds the cookie file's lock while it lives, for a read-modify-write of cookies;
     * takes the file's changes by other processes first. Nests within one store.
     */
    class WriteLock
    {
    public:
        explicit WriteLock(CookieStore &store);
        ~WriteLock();
        WriteLock(const WriteLock &) = delete;
        WriteLock &operator=(const WriteLock &) = delete;
        /** @short Whether the lock is held; when not, the store's LastError() says why. */
        bool isLocked() const { return m_locked; }

    private:
        CookieStore &m_store;
        bool m_locked = false;
    };

    /** Opens the store on @p path (see open()). */
    explicit CookieStore(const QString &path = defaultPath());
    ~CookieStore();

    /**
     * @short Loads the cookie file @p path; a missing file gives an empty store.
     *
     * Malformed lines are skipped; the next write replaces the file and first keeps the damaged
     * original as path + ".bak". Returns false when the file exists but cannot be read (or is
     * larger than MaxFileBytes): the store then works in memory, never overwrites that file,
     * and every change to a persistent cookie reports failure (LastError() says why).
     */
    bool open(const QString &path);
    QString path() const { return m_path; }
    /** Number of cookies held, session cookies included. */
    qsizetype count() const;

    /** @short The cookies for @p url as "name=value" pairs joined by "; ", decoded from CP932. */
    QString GetCookie(const QString &url);
    /**
     * @short Sets cookie @p name for @p url from @p data ("value; expires=...; path=..."),
     * encoded as CP932.
     *
     * The value is the text before the first ";". Attributes: expires (Netscape, RFC 1123,
     * RFC 850 and asctime dates), max-age, path (default: the folder of the address's path),
     * domain (must contain the host; then subdomains match), secure, httponly. No expiry makes a
     * session cookie; an expiry in the past deletes the cookie. With an empty @p name, @p data
     * is a whole Set-Cookie line ("name=value; ..."). Returns false for an address that is not
     * http(s), a bad name or domain, a cookie above MaxCookieBytes, or a failed file write
     * (the change then holds in memory only).
     */
    [[nodiscard]] bool SetCookie(const QString &url, const QString &name, const QString &data);

    /** @short GetCookie() as bytes: exactly the Cookie header value for @p url. */
    QByteArray GetCookieBytes(const QUrl &url);
    /** @short SetCookie() with name and data as bytes; the value bytes are stored unchanged. */
    [[nodiscard]] bool SetCookieBytes(const QUrl &url, const QByteArray &name, const QByteArray &data);

    /** @short The cookies sent to @p url, longest path first, then oldest first. */
    QList<Cookie> cookiesForUrl(const QUrl &url);
    /** @short Stores (or, when expired, deletes) @p cookies; writes the file once. */
    bool setCookies(const QList<Cookie> &cookies);
    /**
     * @short Moves the expiry of the persistent cookies that @p select gives (taken from this
     * store, under the file's lock, so no other process's change is undone) to @p lifetime
     * seconds from now, where it is more than a day earlier. Session cookies stay as they are.
     * Writes the file at most once; false when it could not be written.
     */
    bool renewExpiry(const std::function<QList<Cookie>()> &select, qint64 lifetime);
    /** @short The stored form of a cookie received from @p url; nullopt when it is not acceptable. */
    static std::optional<Cookie> fromNetworkCookie(const QNetworkCookie &cookie, const QUrl &url);

    /** @short Why the last change was not written: a Japanese message for the user. */
    QString LastError() const { return m_lastError; }

    /** Replaces the clock (seconds since 1970 UTC); for tests. */
    void setClock(std::function<qint64()> now) { m_now = std::move(now); }

private:
    struct FileStamp
    {
        bool exists = false;
        qint64 size = 0;
        qint64 modifiedNs = 0;
        quint64 inode = 0; // every save makes a new file
        bool operator==(const FileStamp &) const = default;
    };

    static FileStamp stampOf(const QString &path);
    static FileStamp stampOf(int fd);
    bool load();
    bool read(QFile &file);
    void reloadIfChanged();
    bool apply(const Cookie &cookie, qint64 now);
    bool save();
    void dropExpired(qint64 now);
    QByteArray serialize() const;

    QString m_path;
    // By domain, path and name, each once: lookups by binary search, and no more memory per
    // cookie than its fields (a hash per domain cost kilobytes for each of many domains).
    std::vector<Cookie> m_cookies;
    quint64 m_nextOrder = 1;
    FileStamp m_stamp;
    bool m_writable = true;
    bool m_damaged = false;
    QString m_loadError;  // why the file is not written, when it is not writable
    QString m_lastError;
    std::unique_ptr<FileLock> m_lock;
    int m_lockDepth = 0;
    std::function<qint64()> m_now;
};

/** The program-wide cookie store; the program folder's file until one is installed. */
CookieStore &cookieStore();
/** Installs @p store as the program-wide store (not owned); nullptr restores the default. */
void setCookieStore(CookieStore *store);
