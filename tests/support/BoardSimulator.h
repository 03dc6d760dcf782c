#pragma once

#include "support/LogFormat.h"

#include <QList>
#include <QObject>
#include <QTcpServer>
#include <map>
#include <optional>

class QTcpSocket;

/**
 * @short Serves board CGI scripts of types 0 to 3 on 127.0.0.1, with faults on demand.
 *
 * Log pages list messages newest first, a page size at a time; a page past the end is empty.
 *  - types 0 to 2: script + "?dousa=log&logmidoku=M&logno=N" (N from 0); a paired board (a
 *    type-1 and a type-2 board on one script) also needs "l_or_r=0" or "l_or_r=1". The page
 *    size (item 8) and the unread position (item 7, item 9 for type 2) come from the comma-list
 *    cookie named after the board's address ("http://" + Host header + script), by default
 *    ",,,,20,,,0,30" (type 0) and ",,,,30,,,0,50,0"; a size that is no number above 0 counts as
 *    the default. M = 1 serves only messages numbered above the unread position.
 *  - type 3: script + "?do=get_text&text_page=N" (N from 1), EUC-JP, the page size from the
 *    "ck_text" item of the percent-encoded cookie whose name begins with the board's identifier
 *    (default 30).
 * The script alone (or "?leftonly=1" / "?rightonly=1") answers a small HTML page, anything else
 * 404. Connections close after each answer. Runs on the caller's event loop.
 */
class BoardSimulator : public QObject
{
    Q_OBJECT

public:
    enum class FaultKind {
        ErrorPage,          ///< 200 with the board's error page ("<html><head><title>Error!!...")
        Status,             ///< the status code of Fault::status with a short HTML body
        SlowBody,           ///< the normal answer, body sent in chunks with delays
        CutOffBody,         ///< Content-Length larger than sent: half the body, then close
        CloseWithoutAnswer, ///< reads the request and closes the connection
        NeverAnswer,        ///< reads the request and keeps the connection silent
        Redirect,           ///< 302 to the request's own target
        EmptyBody,          ///< 200 with an empty body
        HugeBody,           ///< 200 with Fault::hugeBytes of log text, streamed
        EndlessBody,        ///< 200 without length, log text streamed for ever
        Trickle,            ///< 200 without length, then the page one byte every delayMs, for ever
        BrokenText,         ///< the normal answer with bytes of no text encoding after its first line
        CutWithoutLength,   ///< 200 without Content-Length: Fault::cutAt bytes of the body, then close
        ResetMidBody,       ///< 200 without Content-Length: half the body, then a TCP reset
        GoneDuringSlowBody, ///< as SlowBody without Content-Length; the server is gone at half the body
        NulAfterLineBreaks, ///< the normal answer with a NUL byte after every line break
        HtmlLines,          ///< the normal answer with every line wrapped in HTML tags
    };

    struct Fault
    {
        FaultKind kind = FaultKind::Status;
        int status = 500;
        int chunkBytes = 16;
        int delayMs = 100;
        qint64 hugeBytes = 100LL * 1024 * 1024;
        qint64 cutAt = -1; ///< bytes of the body that CutWithoutLength sends; -1: half
    };

    /** One received request as it came in. */
    struct Request
    {
        QByteArray method;
        QByteArray target; ///< path and query as sent
        QByteArray path;
        QByteArray query;  ///< the text after the first "?"
        QByteArray host;   ///< the Host header
        QByteArray cookie; ///< the Cookie header bytes (several headers joined by "; ")
    };

    explicit BoardSimulator(QObject *parent = nullptr);
    ~BoardSimulator() override;

    /** Starts listening on 127.0.0.1; port 0 takes any free port. */
    bool listen(quint16 port = 0) { return m_server.listen(QHostAddress::LocalHost, port); }
    /** "http://127.0.0.1:" + port. */
    QString baseUrl() const { return QStringLiteral("http://127.0.0.1:%1").arg(m_server.serverPort()); }

    /**
     * Adds a board of @p type (0 to 3) at @p scriptPath (e.g. "/cgi-bin/bbs.cgi") and returns
     * its number. A type-3 board reads its cookie by @p identifier.
     */
    int addBoard(int type, const QString &scriptPath, const QString &identifier = {});
    /** The board's address: baseUrl() + script path (the name of its comma-list cookie). */
    QString url(int board) const { return baseUrl() + QString::fromUtf8(m_boards.at(board).scriptPath); }
    /** Adds or replaces (same number) a message; works while requests are served. */
    void addMessage(int board, const BoardMessage &message) { m_boards[board].messages[message.number] = message; }
    void addMessages(int board, const QList<BoardMessage> &messages);
    /** Adds LogFormat::sampleMessage for the numbers first .. last. */
    void addSampleMessages(int board, int first, int last);
    /** Line break of the board's log pages instead of CR LF (e.g. "\n"). */
    void setLineBreak(int board, const QByteArray &lineBreak) { m_boards[board].lineBreak = lineBreak; }
    /** Text that the board's log pages carry after their last entry. */
    void setPageEnd(int board, const QString &text) { m_boards[board].pageEnd = text; }

    /** After @p skip normal answers, answers @p count requests (all when negative) with @p fault. */
    void setFault(const Fault &fault, int skip = 0, int count = -1);

    const QList<Request> &requests() const { return m_requests; }
    void clearRequests() { m_requests.clear(); }

signals:
    /** Emitted before the request is answered, so a receiver can still change the answer. */
    void requestReceived(const BoardSimulator::Request &request);

private:
    struct Board
    {
        int type = 0;
        QByteArray scriptPath;
        QByteArray identifier;
        QByteArray lineBreak = "\r\n";
        QString pageEnd;
        std::map<int, BoardMessage> messages;
    };
    struct Answer
    {
        int status = 404;
        QByteArray contentType = "text/html";
        QByteArray body = "<html><body>404 Not Found</body></html>\n";
        int boardType = 0;
    };

    void readRequest(QTcpSocket *socket);
    /** The answer without faults: a board's top page or log page, or 404. */
    Answer answer(const Request &request) const;
    static Answer topPage(const Board &board);
    Answer logPage(const Board &board, const Request &request, bool unreadOnly, int page) const;
    /** Page size and unread position that the board's cookie in @p request asks for. */
    std::pair<int, int> pageRule(const Board &board, const Request &request) const;
    std::optional<Fault> takeFault();
    static void answerWithFault(QTcpSocket *socket, const Answer &normal, const Request &request, const Fault &fault);

    QTcpServer m_server{this}; // a child: the simulator may move to a thread of its own
    QList<Board> m_boards;
    QList<Request> m_requests;
    std::optional<Fault> m_fault;
    int m_faultSkip = 0;
    int m_faultCount = 0;
};
