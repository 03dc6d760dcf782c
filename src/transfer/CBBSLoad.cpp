// Board requests and HTTP transfer of CBBS: LoadBBS, Send, Cancel.

#include "transfer/CBBS.h"
#include "db/BoardType.h"

#include "app/mdlEncoding.h"
#include "app/mdlExecuteLite.h"
#include "app/mdlText.h"
#include "db/CBBSProperty.h"
#include "cookies/CookieJar.h"
#include "transfer/LogParser.h"

#include <QLocale>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <algorithm>
#include <limits>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

const QString ErrorPageStart = u"<html><head><title>Error!!"_s;
/** What Qt may hold of a page before it is read; beyond it, Qt stops reading the network. */
constexpr qint64 ReadBufferBytes = 1024 * 1024;

/** The side parameter of a paired board: "&l_or_r=0" (left) or "&l_or_r=1" (right). */
QString sideParameter(int bbsType)
{
    return u"&l_or_r="_s + QString::number(bbsType - 1);
}

/** The address of a log page without its page number. */
QString logAddress(const CBBSProperty &board, bool noReadLoad)
{
    if (board.BBSType() == TextPageBoard)
        return board.URL() + u"?do=get_text&text_page="_s;
    QString address = board.URL() + u"?dousa=log&logmidoku="_s + (noReadLoad ? u'1' : u'0')
                      + u"&logno="_s;
    if (IsPairedBoard(board.BBSType()))
        address.insert(address.indexOf(u'?') + 1, sideParameter(board.BBSType()) + u'&');
    return address;
}

/** The board's reply form for message @p id, or its new-message form. */
QString formAddress(const CBBSProperty &board, bool reply, int id)
{
    if (board.BBSType() == TextPageBoard)
        return board.URL() + (reply ? u"?do=res&resfrom="_s + QString::number(id) : u"?do=postform"_s);
    QString address = board.URL() + (reply ? u"?dousa=res&resno="_s + QString::number(id) : u"?dousa=sinki"_s);
    if (IsPairedBoard(board.BBSType()))
        address += sideParameter(board.BBSType());
    return address;
}

/** Pages to request: MaxCount / DownloadCount rounded up, at least one. */
int pageCount(int maxCount, int perPage)
{
    if (perPage <= 0 || maxCount <= 0)
        return 1;
    return int((qint64(maxCount) + perPage - 1) / perPage);
}

/** CP932 @p body as text; nullopt when it holds bytes that are no CP932 character. */
std::optional<QString> decodeCp932(const QByteArray &body)
{
    QString text = mdlMain::FromCp932(body);
    // The decoder marks broken sequences with U+FFFD, and bytes that can never start a
    // character with U+001A (which a 0x1A byte also gives).
    if (text.contains(QChar::ReplacementCharacter) || text.count(QChar(0x1A)) != body.count('\x1a'))
        return std::nullopt;
    return text;
}

/** The error page's message: its fourth line, the font tag removed and the line break made ":". */
QString errorPageMessage(const QString &text)
{
    QString line = text.section(u'\n', 3, 3);
    if (line.endsWith(u'\r'))
        line.chop(1);
    line.remove(u"<FONT SIZE=5>"_s).replace(u"</FONT><BR>"_s, u":"_s);
    return line.trimmed().isEmpty() ? u"掲示板がエラーを返しました。"_s : line;
}

/** Every board type writes the message number on an entry's first line, after a label this wide. */
constexpr qsizetype NumberLabelWidth = 7;

/** The label of @p entry's number line; empty when its first line is not a label and a number. */
QStringView numberLabel(QStringView entry)
{
    const qsizetype end = entry.indexOf(u"\r\n");
    const QStringView line = end < 0 ? entry : entry.first(end);
    if (line.size() <= NumberLabelWidth || !LogParser::ParseWholeNumber(line.sliced(NumberLabelWidth)))
        return {};
    return line.first(NumberLabelWidth);
}

/** What follows the separator of the last of @p entries in @p text; all of @p text when there are none. */
QStringView pageRest(QStringView text, const QList<QStringView> &entries)
{
    if (entries.isEmpty())
        return text;
    const qsizetype entryEnd = entries.last().data() + entries.last().size() - text.data();
    const qsizetype line = text.indexOf(LogParser::SeparatorLine, entryEnd);
    const qsizetype lineEnd = line < 0 ? -1 : text.indexOf(u"\r\n", line + LogParser::SeparatorLine.size());
    return lineEnd < 0 ? QStringView() : text.sliced(lineEnd + 2);
}

/**
 * True when @p rest, the text after a page's last separator, is the beginning of an entry: a
 * number line, or the start of @p label, the number-line label of the board's entries. Blank
 * text and anything else that ends a page are no entry.
 */
bool beginsEntry(QStringView rest, QStringView label)
{
    if (rest.trimmed().isEmpty())
        return false;
    if (!numberLabel(rest).isEmpty())
        return true;
    const qsizetype common = std::min(rest.size(), label.size());
    return common > 0 && rest.first(common) == label.first(common);
}

/** @p ms as seconds: "60", "0.5". */
QString secondsText(qint64 ms)
{
    return QString::number(double(ms) / 1000, 'g', 12);
}

QString byteCountText(qint64 bytes)
{
    static const QLocale withSeparators(QLocale::Japanese, QLocale::Japan);
    return withSeparators.toString(bytes) + u"バイト受信しました。"_s;
}

/** "HTTP/1.1 404 Not Found" from the reply's status code and reason phrase. */
QString statusLine(const QNetworkReply &reply)
{
    const int code = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const QString reason = QString::fromLatin1(
        reply.attribute(QNetworkRequest::HttpReasonPhraseAttribute).toByteArray());
    const bool http2 = reply.attribute(QNetworkRequest::Http2WasUsedAttribute).toBool();
    return (http2 ? u"HTTP/2 "_s : u"HTTP/1.1 "_s) + QString::number(code)
           + (reason.isEmpty() ? QString() : u' ' + reason);
}

} // namespace

// ---- Control ---------------------------------------------------------------------------------

void CBBS::Cancel()
{
    m_IsCancel = true;
    if (m_reply)
        m_reply->abort(); // its end comes through the queued finished signal
}

void CBBS::SetNetworkAccessManager(QNetworkAccessManager *manager)
{
    m_manager = manager;
}

QNetworkAccessManager &CBBS::networkAccessManager()
{
    if (!m_manager)
        m_manager = new QNetworkAccessManager(this);
    return *m_manager;
}

// ---- Load ------------------------------------------------------------------------------------

bool CBBS::LoadBBS(int BBS_ID, bool NoReadLoad, bool ExitIfMessageFound)
{
    if (m_IsLoad || m_IsImport)
        return false;
    m_IsError = false;
    m_IsCancel = false;
    ResetCounters();
    m_IsLoad = true;
    // The jar follows the program-wide cookie store, which tests replace.
    networkAccessManager().setCookieJar(new CookieJar(cookieStore()));

    LoadState &load = m_load.emplace();
    if (!m_db || !load.board.GetProperty(BBS_ID, *m_db)) {
        failLoad(u"Error:掲示板("_s + QString::number(BBS_ID) + u")が見つかりません。"_s);
        QTimer::singleShot(0, this, &CBBS::finishLoad);
        return true;
    }
    load.exitIfFound = ExitIfMessageFound;
    load.textPage = load.board.BBSType() == TextPageBoard;
    load.base = logAddress(load.board, NoReadLoad);
    load.perPage = load.board.DownloadCount();
    // Text pages count from 1, log pages from 0; the ordinal counts from 1 for both.
    load.first = load.textPage ? 1 : 0;
    load.page = load.first;
    load.end = load.first + pageCount(load.board.MaxCount(), load.perPage);
    load.openEnded = NoReadLoad && !load.textPage; // a text page board always gives every page
    requestPage();
    return true;
}

/** Sends the request of the current page; pageArrived() takes its reply. */
void CBBS::requestPage()
{
    LoadState &load = *m_load;
    load.body.clear();
    load.tooLarge = false;
    load.tooSlow = false;
    QNetworkRequest request{QUrl(load.base + QString::number(load.page))};
    // A log page never moves; a redirect is answered as a status other than 200.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    // The option has no upper bound; keep the milliseconds inside an int.
    request.setTransferTimeout(int(std::min<qint64>(m_TimeoutMs, std::numeric_limits<int>::max())));
    const QString host = request.url().host();

    m_reply = networkAccessManager().get(request);
    // Without a bound Qt buffers what the network brings faster than the page is read.
    m_reply->setReadBufferSize(ReadBufferBytes);
    // Every byte restarts the transfer time-out, so a page trickling in byte by byte would
    // never end: the whole page has PageTimeLimitMs().
    if (!m_pageLimit) {
        m_pageLimit = new QTimer(this);
        m_pageLimit->setSingleShot(true);
        connect(m_pageLimit, &QTimer::timeout, this, [this] {
            if (!m_reply)
                return;
            m_load->tooSlow = true;
            m_reply->abort();
        });
    }
    m_pageLimit->start(int(std::min<qint64>(PageTimeLimitMs(), std::numeric_limits<int>::max())));
    const int ordinal = load.ordinal();
    connect(m_reply, &QNetworkReply::socketStartedConnecting, this, [this, host] {
        emit StateChanged(host + u" に接続中です。"_s, false, false);
    });
    connect(m_reply, &QNetworkReply::requestSent, this, [this, ordinal] {
        emit StateChanged(QString::number(ordinal) + u"番目のログを要求しています。"_s, false, false);
    });
    connect(m_reply, &QNetworkReply::metaDataChanged, this, [this] {
        // A page that announces more than the bound is refused before it comes.
        if (m_reply->header(QNetworkRequest::ContentLengthHeader).toLongLong() > MaxBodyBytes) {
            m_load->tooLarge = true;
            m_reply->abort();
        }
    });
    connect(m_reply, &QNetworkReply::readyRead, this, [this] {
        if (!takeBody(*m_reply)) {
            m_reply->abort();
            return;
        }
        emit StateChanged(byteCountText(m_load->body.size()), false, false);
    });
    // Queued: an abort (a cancel, the page limit) finishes the reply at once, and the load
    // goes on only once the caller of the abort has returned.
    connect(m_reply, &QNetworkReply::finished, this, &CBBS::pageArrived, Qt::QueuedConnection);
    emit StateChanged(host + u" を探しています。"_s, false, false);
    emit PageRequested(ordinal, load.openEnded ? 0 : load.end - load.first);
}

/** The reply of the current page has finished: its text is analysed, or the load ends. */
void CBBS::pageArrived()
{
    std::unique_ptr<QNetworkReply, void (*)(QNetworkReply *)> reply(std::exchange(m_reply, nullptr),
                                                                     [](QNetworkReply *r) { r->deleteLater(); });
    m_pageLimit->stop();
    reply->disconnect(this);
    if (m_IsCancel) { // a cancelled request is silent
        finishLoad();
        return;
    }
    std::optional<QString> text = pageText(*reply);
    if (!text || text->isEmpty()) {
        finishLoad();
        return;
    }
    if (text->startsWith(ErrorPageStart)) {
        failLoad(errorPageMessage(*text));
        finishLoad();
        return;
    }
    LoadState &load = *m_load;
    load.text = std::move(*text);
    load.body.clear();
    load.parsedBefore = m_AnalyseCount;
    load.brokenBefore = m_BrokenCount;
    beginAnalysis(load.board.ID(), load.text, false, 0);
    checkPageEnd(m_analysis->entries);
    analysePage();
}

/**
 * Looks at how the page's text ends: a connection closed without a length before the page was
 * through leaves an entry without its separator, which Qt does not see as an error.
 */
void CBBS::checkPageEnd(const QList<QStringView> &entries)
{
    LoadState &load = *m_load;
    for (qsizetype i = 0; load.label.isEmpty() && i < entries.size(); ++i)
        load.label = numberLabel(entries.at(i)).toString();
    const QStringView rest = pageRest(load.text, entries);
    load.cutEntry = beginsEntry(rest, load.label) ? rest.toString() : QString();
    load.unreadable = entries.isEmpty() && load.text.contains(LogParser::SeparatorLine);
}

/** The page's text, or nullopt when it cannot be used (the failure reported). */
std::optional<QString> CBBS::pageText(QNetworkReply &reply)
{
    LoadState &load = *m_load;
    if (reply.isOpen()) // an aborted reply (too large, timed out) is already closed
        takeBody(reply);
    if (load.tooLarge) {
        failLoad(u"受信エラー:ページが"_s + QString::number(MaxBodyBytes / (1024 * 1024))
                 + u"MBを超えたため受信を中止しました。"_s);
        return std::nullopt;
    }
    if (load.tooSlow) {
        failLoad(u"受信エラー("_s + QString::number(QNetworkReply::TimeoutError) + u"):"_s
                 + QString::number(load.ordinal()) + u"番目のログが"_s + secondsText(PageTimeLimitMs())
                 + u"秒以内に届き終わらなかったため、受信を中止しました。掲示板の応答が遅すぎます。"
                   u"時間をおいてもう一度受信してください。"_s);
        return std::nullopt;
    }
    const QVariant status = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (status.isValid() && status.toInt() != 200) {
        failLoad(u"Error:"_s + statusLine(reply));
        return std::nullopt;
    }
    if (reply.error() != QNetworkReply::NoError) {
        failLoad(transferErrorText(reply));
        return std::nullopt;
    }
    return decodePage(load.body, load.textPage);
}

/**
 * Appends what @p reply holds to the page; false, taking nothing, when the page would pass
 * MaxBodyBytes. A large page gets room up to the bound at once: growing it step by step may
 * copy it, and hold it twice for a moment.
 */
bool CBBS::takeBody(QNetworkReply &reply)
{
    LoadState &load = *m_load;
    const qint64 available = reply.bytesAvailable();
    const qint64 size = load.body.size() + available;
    if (size > MaxBodyBytes) {
        load.tooLarge = true;
        return false;
    }
    if (size > load.body.capacity() && size > ReadBufferBytes)
        load.body.reserve(MaxBodyBytes); // only the pages written to take memory
    load.body += reply.read(available);
    return true;
}

/**
 * One slice of the page's analysis; a long page goes on in a queued continuation, its rows
 * committed before the event loop turns (cancel, network, repaint).
 */
void CBBS::analysePage()
{
    if (!analyseSlice(m_EventTurnMs)) {
        QTimer::singleShot(0, this, &CBBS::analysePage);
        return;
    }
    pageAnalysed(endAnalysis());
}

/** The page is stored: the next page is requested unless this one ends the load. */
void CBBS::pageAnalysed(bool completed)
{
    LoadState &load = *m_load;
    if (m_IsStorageError) {
        m_IsError = true; // the analysis has reported the cause
    } else if (!m_IsCancel && !pageIsWhole()) {
        // failed, with the cause reported
    } else if (hasNextPage(completed)) {
        ++load.page;
        load.text.clear();
        requestPage();
        return;
    }
    load.text.clear();
    finishLoad();
}

/**
 * False, with the cause reported, when the page just analysed cannot count as received whole:
 * all its entries broken, none readable, or its last entry cut off. The load then fails, and
 * the unread position stays for the next load to fetch the page again.
 */
bool CBBS::pageIsWhole()
{
    const LoadState &load = *m_load;
    const QString page = QString::number(load.ordinal()) + u"番目のログ"_s;
    const int broken = m_BrokenCount - load.brokenBefore;
    if (broken > 0 && m_AnalyseCount == load.parsedBefore) {
        failLoad(u"受信エラー:"_s + page + u"は"_s + QString::number(broken)
                 + u"件すべてが壊れていたため、受信を中止しました。"_s);
    } else if (load.unreadable) {
        emit LoadError(load.board.ID(), load.text, page + u"から記事を1件も読み取れませんでした。"_s);
        failLoad(u"受信エラー:"_s + page + u"には記事の区切りがありましたが、記事を1件も読み取れなかったため、"
                 u"受信を中止しました。掲示板のアドレスと種類が正しいか確かめてください。"_s);
    } else if (!load.cutEntry.isEmpty()) {
        emit LoadError(load.board.ID(), load.cutEntry,
                       QString::number(m_LastEntryCount) + u"件目のログが途中で切れていました。"_s);
        failLoad(u"受信エラー:"_s + page + u"が記事の途中で切れていたため、受信を中止しました。"
                 u"未読位置は変えていません。もう一度受信してください。"_s);
    } else {
        return true;
    }
    return false;
}

/** True when paging goes on after the page just analysed (@p completed: it met no stored message). */
bool CBBS::hasNextPage(bool completed) const
{
    const LoadState &load = *m_load;
    // A stored message ends paging only when asked to: broken entries have no say in it,
    // or the unread position would move past the pages left unfetched.
    if (!completed && load.exitIfFound)
        return false;
    // Broken entries were fetched too: only a page with fewer entries is short. Counting
    // parsed ones alone took a page with a broken entry for the last one, and the unread
    // position then moved past the pages never fetched.
    if (m_AnalyseCount + m_BrokenCount < qint64(load.perPage) * load.ordinal())
        return false; // a short page is the last one
    return load.page + 1 < load.end && !m_IsCancel;
}

/** Ends the load: the unread position moves after a clean load, then LoadFinished. */
void CBBS::finishLoad()
{
    LoadState load = *std::exchange(m_load, std::nullopt);
    const bool result = !m_IsCancel && !m_IsError;
    if (result && m_MaxID > load.board.NoReadPoint())
        moveUnreadPoint(load.board, m_MaxID);
    m_IsLoad = false;
    emit LoadFinished(result);
}

void CBBS::moveUnreadPoint(CBBSProperty &board, int point)
{
    const QString number = QString::number(point);
    emit StateChanged(u"未読位置を"_s + number + u"に変更しています。"_s, false, false);
    board.SetNoReadPoint(point);
    // A type-3 board without an unread item in its cookie, or an unwritable cookie file,
    // keeps the old position: say so rather than report it as set.
    if (board.NoReadPoint() == point)
        emit StateChanged(u"未読位置を"_s + number + u"に設定しました。"_s, false, false);
    else
        emit StateChanged(u"未読位置を"_s + number + u"に設定できませんでした。"_s, false, true);
    m_IsCancel = false;
    m_IsError = false;
}

void CBBS::failLoad(const QString &text)
{
    emit StateChanged(text, true, true);
    m_IsError = true;
}

qint64 CBBS::PageTimeLimitMs() const
{
    constexpr qint64 WithoutTimeoutMs = 180 * 1000;
    return m_TimeoutMs > 0 ? 3 * m_TimeoutMs : WithoutTimeoutMs;
}

QString CBBS::transferErrorText(const QNetworkReply &reply) const
{
    // Qt ends a request that outlives its transfer time-out as if it had been aborted.
    if (reply.error() == QNetworkReply::OperationCanceledError)
        return u"受信エラー("_s + QString::number(QNetworkReply::TimeoutError) + u"):"_s
               + secondsText(m_TimeoutMs) + u"秒以内に応答がありませんでした。"_s;
    return u"受信エラー("_s + QString::number(reply.error()) + u"):"_s + reply.errorString();
}

std::optional<QString> CBBS::decodePage(const QByteArray &body, bool textPage)
{
    if (textPage)
        return mdlText::WithCrLf(mdlMain::EucToString(body));
    std::optional<QString> text = decodeCp932(body);
    if (!text) {
        failLoad(u"受信エラー:ページにCP932の文字として読めないバイトがあったため、"
                 u"このページを取り込みませんでした。"_s);
        return std::nullopt;
    }
    return mdlText::WithCrLf(std::move(*text));
}

// ---- Posting forms ---------------------------------------------------------------------------

bool CBBS::Send(const CMessage &Msg, bool Reply)
{
    CBBSProperty board;
    if (!m_db || !board.GetProperty(Msg.BBS_ID, *m_db))
        return false;
    return mdlExecuteLite::OpenAddress(formAddress(board, Reply, Msg.ID));
}
