#pragma once

#include "db/CBBSProperty.h"

#include <QTextBrowser>
#include <QUrl>

/**
 * @short A board's page in the progress dialog. Pages are fetched through the program's own
 * HTTP layer with the board's cookies and shown as HTML without scripts or remote
 * sub-resources; links open in the user's browser (http, https, ftp and mailto only).
 */
class BoardView : public QTextBrowser
{
    Q_OBJECT

public:
    explicit BoardView(QWidget *parent = nullptr);
    ~BoardView() override;

    /**
     * @short Shows @p Board's cache file when it was written less than a day ago, otherwise
     * its live page (GetShowURL). A page loaded from the board's URL is saved to the cache.
     */
    void ShowBoard(const CBBSProperty &Board);
    /** @short True while the page is loading or its cache file is being written. */
    bool IsBusy() const { return m_reply || m_cacheWrites > 0; }
    /** @short Ends the page in flight now, as a broken transfer: what came of it shows, nothing is cached. */
    void Stop();
    /** @short The address of the document shown (or being loaded). */
    QUrl Address() const { return m_address; }
    /**
     * @short Waits up to @p timeoutMs for the cache files still being written; false when some
     * write had not ended by then. Called once at exit, after the window has closed.
     */
    static bool FinishCacheWrites(int timeoutMs);

signals:
    /** A document has finished loading from @p url. */
    void DocumentComplete(const QUrl &url);
    /** A line for the progress dialog's cache line, e.g. "…をキャッシュに保存しました。". */
    void CacheMessage(const QString &text);
    /** The view is no longer busy: its page has come (or failed) and its cache line, if any, was sent. */
    void Settled();

private:
    bool showCacheFile(const QString &path);
    void fetch(const QUrl &address);
    void onReadyRead();
    void onFinished();
    void showPage(class QNetworkReply *reply);
    void dropReply();
    void saveCache(const QString &html);
    void openLink(const QUrl &link);

    QUrl m_address;
    QUrl m_base;          // links resolve against the board's page, also when it came from the cache
    QString m_boardName;
    QUrl m_boardUrl;      // only a page from this address is written to the cache
    QString m_cacheFile;
    bool m_cacheNameUsable = false;
    int m_bbsType = 0;
    class QNetworkAccessManager *m_manager = nullptr;
    class QNetworkReply *m_reply = nullptr; // the page in flight
    QByteArray m_body;
    bool m_tooLarge = false;
    int m_cacheWrites = 0; // cache files of this view still being written
};
