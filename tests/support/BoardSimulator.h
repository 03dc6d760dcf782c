#pragma once

#include "support/LogFormat.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QTcpServer>
#include <map>
#include <optional>

class QTcpSocket;

/**
 * @short Serves board CGI scripts of types 0 to 3 on 127.0.0.1, with faults on demand.
 *
 * Runs in the caller's thread on its event loop. Boards answer log-page requests:
 *  - types 0 to 2: script + "?dousa=log&logmidoku=M&logno=N" (N from 0); a paired board (a
 *    type-1 and a type-2 board on the same script) needs "l_or_r=0" or "l_or_r=1" as well.
 *    The page size (position 8) and the unread position (position 7, position 9 for a type-2
 *    board) come from the comma-list cookie named after the board's address
 *    ("http://" + Host header + script); M = 1 serves only messages numbered above the
 *    unread position. Defaults without the cookie: ",,,,20,,,0,30" (type 0) and
 *    ",,,,30,,,0,50,0" (types 1 and 2). A page size that is not a number above 0 counts as
 *    the default.
 *  - type 3: script + "?do=get_text&text_page=N" (N from 1), EUC-JP, page size from the
 *    "ck_text" item of the percent-encoded cookie whose name begins with the board's
 *    identifier (default 30). All messages are served.
 * Pages list messages newest first; page N holds the N-th run of page-size entries, and a page
 * past the end is an empty 200 answer. The script alone (or "?leftonly=1" / "?rightonly=1")
 * answers a small HTML page; every other request answers 404. Connections close after each
 * answer.
 */
class BoardSimulator : public QObject
{
    Q_OBJECT

public:
    enum class FaultKind {
        ErrorPage,          ///< 200 with the board's error page ("<html><head><title>Error!!...")
        Status,             ///< the status code of Fault::status with a short HTML body
        SlowBody,           ///< the normal answer, body trickled in chunks with delays
        CutOffBody,         ///< Content-Length larger than sent: half the body, then close
        CloseWithoutAnswer, ///< reads the request and closes the connection
        NeverAnswer,        ///< reads the request and keeps the connection silent
        Redirect,           ///< 302 to Fault::location
        EmptyBody,          ///< 200 with an empty body
        HugeBody,           ///< 200 with Fault::hugeBytes of log text, streamed
        Trickle,            ///< 200 without length, then the page one byte every delayMs, for ever
    };

    struct Fault
    {
        FaultKind kind = FaultKind::Status;
        int status = 500;
        /** Error page: the fourth line is "<FONT SIZE=5>エラー</FONT><BR>" + this text. */
        QString errorText = QStringLiteral("現在メンテナンス中です。");
        int chunkBytes = 16;
        int delayMs = 100;
        /** Redirect target; empty: the request's own target. */
        QByteArray location;
        qint64 hugeBytes = 100LL * 1024 * 1024;
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
        int board = -1;    ///< the board that answered, -1 when none matched
    };

    explicit BoardSimulator(QObject *parent = nullptr);
    ~BoardSimulator() override;

    /** Starts listening on 127.0.0.1; port 0 takes any free port. */
    bool listen(quint16 port = 0);
    quint16 port() const;
    /** "http://127.0.0.1:" + port. */
    QString baseUrl() const;

    /**
     * Adds a board of @p type (0 to 3) at @p scriptPath (e.g. "/cgi-bin/bbs.cgi") and returns
     * its number. A paired board is a type-1 and a type-2 board with the same path. A type-3
     * board reads its cookie by @p identifier.
     */
    int addBoard(int type, const QString &scriptPath, const QString &identifier = {});
    /** The board's address: baseUrl() + script path (the name of its comma-list cookie). */
    QString url(int board) const;
    /** Adds or replaces (same number) a message; works while requests are served. */
    void addMessage(int board, const BoardMessage &message);
    void addMessages(int board, const QList<BoardMessage> &messages);
    /** Adds LogFormat::sampleMessage for the numbers first .. last. */
    void addSampleMessages(int board, int first, int last);
    void clearMessages(int board);
    /** The board's messages in number order. */
    QList<BoardMessage> messages(int board) const;
    /** Line break of the board's log pages instead of CR LF (e.g. "\n"). */
    void setLineBreak(int board, const QByteArray &lineBreak);

    /**
     * Answers requests with @p fault: the next @p skip requests are answered normally, then
     * @p count requests (all when negative) get the fault.
     */
    void setFault(const Fault &fault, int skip = 0, int count = -1);
    void clearFault();

    const QList<Request> &requests() const;
    void clearRequests();
    /** Connections not yet closed by either side. */
    int openConnections() const;

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
        std::map<int, BoardMessage> messages;
    };
    struct Route
    {
        enum Kind { None, TopPage, LogPage } kind = None;
        int board = -1;
        bool unreadOnly = false;
        int page = 0; ///< from 0 for every type
    };
    struct Answer
    {
        int status = 404;
        QByteArray contentType = "text/html";
        QByteArray body;
    };
    struct PageRule
    {
        int pageSize = 0;
        int unreadPoint = 0;
    };

    void acceptConnections();
    void readRequest(QTcpSocket *socket);
    static bool parseRequest(const QByteArray &head, Request &request);
    Route route(const Request &request) const;
    Answer render(const Route &route, const Request &request) const;
    Answer logPage(const Board &board, const Request &request, bool unreadOnly, int page) const;
    static Answer topPage(const Board &board);
    PageRule commaCookieRule(const Board &board, const Request &request) const;
    PageRule keyedCookieRule(const Board &board, const Request &request) const;
    std::optional<Fault> takeFault();
    void respondWithFault(QTcpSocket *socket, const Route &route, const Request &request,
                          const Fault &fault) const;
    QByteArray hostPort() const;

    QTcpServer m_server;
    QList<Board> m_boards;
    QList<Request> m_requests;
    std::optional<Fault> m_fault;
    int m_faultSkip = 0;
    int m_faultCount = 0;
};
