#include "viewer/BoardView.h"
#include "db/BoardType.h"

#include "app/CFile.h"
#include "app/mdlEncoding.h"
#include "app/mdlExecuteLite.h"
#include "app/mdlOption.h"
#include "cookies/CookieJar.h"
#include "transfer/CBBS.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>
#include <algorithm>
#include <limits>
#include <utility>

using namespace Qt::StringLiterals;

namespace {

constexpr qint64 CacheLifetimeSecs = 24 * 60 * 60;
const QStringList OpenableSchemes{u"http"_s, u"https"_s, u"ftp"_s, u"mailto"_s};

/** Writes cache files one at a time, in the order the pages came (FinishCacheWrites waits at exit). */
class CacheWriter : public QThreadPool
{
public:
    CacheWriter() { setMaxThreadCount(1); }
};

QThreadPool &cacheWriter()
{
    static CacheWriter writer;
    return writer;
}

QString cacheText(const QString &boardName, bool saved)
{
    return boardName + (saved ? u"をキャッシュに保存しました。"_s : u"をキャッシュに保存できませんでした。"_s);
}

QString decodeBoardPage(const QByteArray &bytes, int bbsType)
{
    return bbsType == TextPageBoard ? mdlMain::FromEucJp(bytes) : mdlMain::FromCp932(bytes);
}

bool isPlainText(const QNetworkReply &reply)
{
    const QString type = reply.header(QNetworkRequest::ContentTypeHeader).toString();
    return type.section(u';', 0, 0).trimmed().compare(u"text/plain"_s, Qt::CaseInsensitive) == 0;
}

/**
 * A page's document that loads nothing: pictures, style sheets and frames are never fetched,
 * nor read from local files. A plain QTextDocument reads local files itself when the view
 * gives it nothing, so the view's loadResource alone would not keep a page off the disk.
 */
class PageDocument : public QTextDocument
{
public:
    using QTextDocument::QTextDocument;

protected:
    QVariant loadResource(int /*type*/, const QUrl & /*name*/) override { return {}; }
};

} // namespace

BoardView::BoardView(QWidget *parent)
    : QTextBrowser(parent)
{
    setObjectName(u"BoardView"_s);
    setAccessibleName(u"掲示板"_s);
    // Links never navigate inside the view: they go to the user's browser.
    setOpenLinks(false);
    setOpenExternalLinks(false);
    setDocument(new PageDocument(this));
    // A page longer than the view would otherwise be laid out twice: once at the full width,
    // and again when the scroll bar appears and narrows it.
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    connect(this, &QTextBrowser::anchorClicked, this, &BoardView::openLink);
}

BoardView::~BoardView()
{
    dropReply();
}

void BoardView::ShowBoard(const CBBSProperty &Board)
{
    dropReply();
    m_boardName = Board.BBS_Name();
    m_boardUrl = QUrl(Board.URL());
    m_bbsType = Board.BBSType();
    m_cacheFile = Board.GetCacheFileName();
    // The identifier makes the file name: one that is empty or names another folder is no
    // file of the cache folder.
    m_cacheNameUsable = !Board.Identifier().isEmpty() && !Board.Identifier().contains(u'/');
    m_base = QUrl(Board.GetShowURL());
    if (m_cacheNameUsable && showCacheFile(m_cacheFile))
        return;
    fetch(m_base);
}

/** Shows the cache file @p path when it was written within the last day; false when it was not. */
bool BoardView::showCacheFile(const QString &path)
{
    const QFileInfo info(path);
    if (!info.isFile() || info.size() > CBBS::MaxBodyBytes)
        return false;
    // A time in the future (a clock set back) does not count as fresh: the file would never
    // be replaced.
    const qint64 age = info.lastModified().secsTo(QDateTime::currentDateTime());
    if (age < 0 || age >= CacheLifetimeSecs)
        return false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    // The cache holds the page in CP932 whatever the board's own encoding.
    const QString html = mdlMain::FromCp932(file.readAll());
    m_address = QUrl::fromLocalFile(path);
    setHtml(html);
    emit DocumentComplete(m_address);
    return true;
}

void BoardView::fetch(const QUrl &address)
{
    m_address = address;
    m_body.clear();
    m_tooLarge = false;
    clear();
    if (!m_manager)
        m_manager = new QNetworkAccessManager(this);
    // The jar follows the program-wide cookie store, which tests replace.
    m_manager->setCookieJar(new CookieJar(cookieStore()));
    QNetworkRequest request(address);
    const int seconds = std::clamp(mdlOption::Timeout, 0, std::numeric_limits<int>::max() / 1000);
    request.setTransferTimeout(seconds * 1000);
    m_reply = m_manager->get(request);
    connect(m_reply, &QNetworkReply::metaDataChanged, this, [this, reply = m_reply] {
        // A declared length beyond the bound is refused before any of it comes.
        if (reply == m_reply && reply->header(QNetworkRequest::ContentLengthHeader).toLongLong() > CBBS::MaxBodyBytes) {
            m_tooLarge = true;
            reply->abort();
        }
    });
    connect(m_reply, &QNetworkReply::readyRead, this, &BoardView::onReadyRead);
    connect(m_reply, &QNetworkReply::finished, this, &BoardView::onFinished);
}

void BoardView::onReadyRead()
{
    auto *reply = qobject_cast<QNetworkReply *>(sender());
    if (reply != m_reply)
        return;
    m_body += reply->read(CBBS::MaxBodyBytes + 1 - m_body.size());
    if (m_body.size() > CBBS::MaxBodyBytes) {
        m_tooLarge = true;
        m_body.clear();
        reply->abort();
    }
}

void BoardView::Stop()
{
    if (m_reply)
        m_reply->abort(); // finishes the reply at once
}

void BoardView::onFinished()
{
    auto *reply = qobject_cast<QNetworkReply *>(sender());
    reply->deleteLater();
    if (reply != m_reply)
        return; // replaced by a later ShowBoard
    m_reply = nullptr;
    showPage(reply);
    if (!IsBusy())
        emit Settled();
}

/** Shows the page of @p reply, and caches it when it is the board's own page, whole. */
void BoardView::showPage(QNetworkReply *reply)
{
    if (!m_tooLarge && reply->isOpen())
        m_body += reply->read(CBBS::MaxBodyBytes + 1 - m_body.size());
    if (m_tooLarge || m_body.size() > CBBS::MaxBodyBytes) {
        m_body.clear();
        setPlainText(m_boardName + u"のページが"_s + QString::number(CBBS::MaxBodyBytes / (1024 * 1024))
                     + u"MBを超えたため表示しませんでした。"_s);
        return;
    }
    if (reply->error() != QNetworkReply::NoError && m_body.isEmpty()) {
        setPlainText(m_boardName + u"のページを読み込めませんでした("_s + reply->errorString() + u")。"_s);
        return;
    }
    m_address = reply->url(); // after any redirect
    QString html = decodeBoardPage(m_body, m_bbsType);
    m_body.clear();
    if (isPlainText(*reply)) {
        // Its line breaks are the page's own; the cache keeps it as a preformatted block.
        setPlainText(html);
        html = u"<html><body><pre>"_s + html.toHtmlEscaped() + u"</pre></body></html>"_s;
    } else {
        setHtml(html);
    }
    emit DocumentComplete(m_address);
    if (m_address != m_boardUrl)
        return;
    // An error answer or a broken transfer would replace a good cache with a bad page.
    const bool whole = reply->error() == QNetworkReply::NoError
                       && reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() == 200;
    if (whole && m_cacheNameUsable)
        saveCache(html);
    else
        emit CacheMessage(cacheText(m_boardName, false));
}

/** Ends the transfer in flight without showing anything of it. */
void BoardView::dropReply()
{
    if (!m_reply)
        return;
    QNetworkReply *reply = std::exchange(m_reply, nullptr);
    reply->disconnect(this);
    reply->abort();
    reply->deleteLater();
}

/**
 * @short Replaces the cache file with @p html in CP932, when the cache folder exists.
 *
 * The file is written and flushed to the disk on the cache writer's thread, so a slow disk
 * never holds up the window; CacheMessage says how it went.
 */
void BoardView::saveCache(const QString &html)
{
    auto *watcher = new QFutureWatcher<bool>(this);
    ++m_cacheWrites;
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, name = m_boardName] {
        watcher->deleteLater();
        --m_cacheWrites;
        emit CacheMessage(cacheText(name, watcher->result()));
        if (!IsBusy())
            emit Settled();
    });
    watcher->setFuture(QtConcurrent::run(&cacheWriter(), [file = m_cacheFile, html] {
        return QFileInfo(QFileInfo(file).absolutePath()).isDir()
               && bool(CFile::SaveAtomically(file, mdlMain::ToCp932(html)));
    }));
}

bool BoardView::FinishCacheWrites(int timeoutMs)
{
    return cacheWriter().waitForDone(timeoutMs);
}

void BoardView::openLink(const QUrl &link)
{
    if (link.scheme().isEmpty() && link.path().isEmpty() && link.hasFragment()) {
        scrollToAnchor(link.fragment());
        return;
    }
    const QUrl target = m_base.resolved(link);
    if (OpenableSchemes.contains(target.scheme().toLower()))
        mdlExecuteLite::OpenAddress(target.toString());
}
