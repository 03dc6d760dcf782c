#include "support/BoardSimulator.h"

#include <QTcpSocket>
#include <QTimer>
#include <QUrlQuery>
#include <algorithm>
#include <functional>

using namespace Qt::StringLiterals;

namespace {

constexpr qsizetype MaxHeadBytes = 64 * 1024;
constexpr qsizetype HugeBlockBytes = 64 * 1024;
constexpr qint64 HugeHighWater = 1024 * 1024;
constexpr int TopPageMessages = 20;

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 200: return "OK";
    case 302: return "Found";
    case 400: return "Bad Request";
    case 404: return "Not Found";
    case 431: return "Request Header Fields Too Large";
    case 500: return "Internal Server Error";
    case 503: return "Service Unavailable";
    default: return "Status";
    }
}

QByteArray responseHead(int status, const QByteArray &contentType, qint64 length,
                        const QByteArray &location = {})
{
    QByteArray head = "HTTP/1.1 " + QByteArray::number(status) + ' ' + reasonPhrase(status)
                      + "\r\nContent-Type: " + contentType
                      + "\r\nContent-Length: " + QByteArray::number(length);
    if (!location.isEmpty())
        head += "\r\nLocation: " + location;
    return head + "\r\nConnection: close\r\n\r\n";
}

QByteArray charsetOf(int type)
{
    return type == 3 ? "EUC-JP" : "Shift_JIS";
}

/** The value of the first cookie in @p header whose name satisfies @p matches; empty when none. */
QByteArray cookieValue(const QByteArray &header,
                       const std::function<bool(const QByteArray &)> &matches)
{
    for (const QByteArray &rawPart : header.split(';')) {
        const QByteArray part = rawPart.trimmed();
        const qsizetype equals = part.indexOf('=');
        if (equals > 0 && matches(part.left(equals)))
            return part.mid(equals + 1);
    }
    return {};
}

/** Item @p position of a comma list as a number; @p fallback when absent or not numeric. */
int numberAt(const QList<QByteArray> &items, qsizetype position, int fallback)
{
    bool ok = false;
    const int value = items.value(position).trimmed().toInt(&ok);
    return ok ? value : fallback;
}

int pageSizeOr(int value, int fallback)
{
    return value > 0 ? value : fallback;
}

QString errorPageText(const QString &errorText)
{
    return u"<html><head><title>Error!!</title></head>\n"
           u"<body bgcolor=\"#ffffff\">\n"
           u"<center>\n"
           u"<FONT SIZE=5>エラー</FONT><BR>"_s
           + errorText + u"\n</center>\n</body></html>\n"_s;
}

void writeAndClose(QTcpSocket *socket, const QByteArray &bytes)
{
    socket->write(bytes);
    socket->disconnectFromHost();
}

void sendSlowly(QTcpSocket *socket, const QByteArray &head, const QByteArray &body, int chunkBytes,
                int delayMs)
{
    socket->write(head);
    const qsizetype chunk = qMax(1, chunkBytes);
    auto *timer = new QTimer(socket);
    QObject::connect(timer, &QTimer::timeout, socket,
                     [socket, timer, body, chunk, offset = qsizetype(0)]() mutable {
                         socket->write(body.mid(offset, chunk));
                         offset += chunk;
                         if (offset >= body.size()) {
                             timer->stop();
                             socket->disconnectFromHost();
                         }
                     });
    timer->start(qMax(0, delayMs));
}

/** Sends a head without length, then @p body one byte every @p delayMs, over and over. */
void trickle(QTcpSocket *socket, const QByteArray &contentType, const QByteArray &body, int delayMs)
{
    socket->write("HTTP/1.1 200 OK\r\nContent-Type: " + contentType + "\r\nConnection: close\r\n\r\n");
    const QByteArray bytes = body.isEmpty() ? QByteArray(" ") : body;
    auto *timer = new QTimer(socket);
    QObject::connect(timer, &QTimer::timeout, socket, [socket, bytes, offset = qsizetype(0)]() mutable {
        socket->write(bytes.mid(offset++ % bytes.size(), 1));
    });
    timer->start(qMax(1, delayMs));
}

/** Streams @p size bytes of repeated log text, never buffering more than about a megabyte. */
void sendHuge(QTcpSocket *socket, qint64 size)
{
    QList<BoardMessage> sample;
    for (int number = 1; number <= 100; ++number)
        sample << LogFormat::sampleMessage(number);
    QByteArray block = LogFormat::toCp932(LogFormat::log(0, sample));
    while (block.size() < HugeBlockBytes)
        block += block;
    auto pump = [socket, block, left = size, closing = false]() mutable {
        while (left > 0 && socket->bytesToWrite() < HugeHighWater) {
            const qint64 count = qMin<qint64>(left, block.size());
            socket->write(block.constData(), count);
            left -= count;
        }
        if (left == 0 && !closing) {
            closing = true;
            socket->disconnectFromHost();
        }
    };
    QObject::connect(socket, &QTcpSocket::bytesWritten, socket, pump);
    socket->write(responseHead(200, "text/plain; charset=Shift_JIS", size));
}

} // namespace

BoardSimulator::BoardSimulator(QObject *parent)
    : QObject(parent)
{
    connect(&m_server, &QTcpServer::newConnection, this, &BoardSimulator::acceptConnections);
}

BoardSimulator::~BoardSimulator()
{
    m_server.close();
    const auto sockets = m_server.findChildren<QTcpSocket *>(Qt::FindDirectChildrenOnly);
    for (QTcpSocket *socket : sockets) {
        socket->disconnect();
        delete socket;
    }
}

bool BoardSimulator::listen(quint16 port)
{
    return m_server.listen(QHostAddress::LocalHost, port);
}

quint16 BoardSimulator::port() const
{
    return m_server.serverPort();
}

QString BoardSimulator::baseUrl() const
{
    return QString::fromLatin1("http://" + hostPort());
}

QByteArray BoardSimulator::hostPort() const
{
    return "127.0.0.1:" + QByteArray::number(port());
}

int BoardSimulator::addBoard(int type, const QString &scriptPath, const QString &identifier)
{
    Board board;
    board.type = type;
    board.scriptPath = scriptPath.toUtf8();
    board.identifier = identifier.toUtf8();
    m_boards << board;
    return int(m_boards.size() - 1);
}

QString BoardSimulator::url(int board) const
{
    return baseUrl() + QString::fromUtf8(m_boards.at(board).scriptPath);
}

void BoardSimulator::addMessage(int board, const BoardMessage &message)
{
    m_boards[board].messages[message.number] = message;
}

void BoardSimulator::addMessages(int board, const QList<BoardMessage> &messages)
{
    for (const BoardMessage &message : messages)
        addMessage(board, message);
}

void BoardSimulator::addSampleMessages(int board, int first, int last)
{
    for (int number = first; number <= last; ++number)
        addMessage(board, LogFormat::sampleMessage(number));
}

void BoardSimulator::clearMessages(int board)
{
    m_boards[board].messages.clear();
}

QList<BoardMessage> BoardSimulator::messages(int board) const
{
    QList<BoardMessage> list;
    for (const auto &entry : m_boards.at(board).messages)
        list << entry.second;
    return list;
}

void BoardSimulator::setLineBreak(int board, const QByteArray &lineBreak)
{
    m_boards[board].lineBreak = lineBreak;
}

void BoardSimulator::setFault(const Fault &fault, int skip, int count)
{
    if (count == 0) {
        clearFault();
        return;
    }
    m_fault = fault;
    m_faultSkip = qMax(0, skip);
    m_faultCount = count;
}

void BoardSimulator::clearFault()
{
    m_fault.reset();
}

const QList<BoardSimulator::Request> &BoardSimulator::requests() const
{
    return m_requests;
}

void BoardSimulator::clearRequests()
{
    m_requests.clear();
}

int BoardSimulator::openConnections() const
{
    const auto sockets = m_server.findChildren<QTcpSocket *>(Qt::FindDirectChildrenOnly);
    return int(std::count_if(sockets.begin(), sockets.end(), [](const QTcpSocket *socket) {
        return socket->state() == QAbstractSocket::ConnectedState;
    }));
}

void BoardSimulator::acceptConnections()
{
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readRequest(socket); });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        if (socket->bytesAvailable() > 0)
            readRequest(socket);
    }
}

void BoardSimulator::readRequest(QTcpSocket *socket)
{
    const QByteArray pending = socket->peek(MaxHeadBytes + 4);
    const qsizetype headEnd = pending.indexOf("\r\n\r\n");
    if (headEnd < 0 && pending.size() <= MaxHeadBytes)
        return;
    disconnect(socket, &QTcpSocket::readyRead, this, nullptr);
    if (headEnd < 0) {
        writeAndClose(socket, responseHead(431, "text/plain", 0));
        return;
    }
    Request request;
    if (!parseRequest(socket->read(headEnd + 4), request)) {
        writeAndClose(socket, responseHead(400, "text/plain", 0));
        return;
    }
    const Route target = route(request);
    request.board = target.board;
    m_requests << request;
    emit requestReceived(request);
    if (const std::optional<Fault> fault = takeFault()) {
        respondWithFault(socket, target, request, *fault);
        return;
    }
    const Answer reply = render(target, request);
    writeAndClose(socket, responseHead(reply.status, reply.contentType, reply.body.size())
                              + reply.body);
}

bool BoardSimulator::parseRequest(const QByteArray &head, Request &request)
{
    const QList<QByteArray> lines = head.split('\n');
    const QList<QByteArray> requestLine = lines.first().trimmed().split(' ');
    if (requestLine.size() != 3)
        return false;
    request.method = requestLine.at(0);
    request.target = requestLine.at(1);
    const qsizetype question = request.target.indexOf('?');
    request.path = question < 0 ? request.target : request.target.left(question);
    request.query = question < 0 ? QByteArray() : request.target.mid(question + 1);
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const qsizetype colon = lines.at(i).indexOf(':');
        if (colon <= 0)
            continue;
        const QByteArray name = lines.at(i).left(colon).trimmed().toLower();
        const QByteArray value = lines.at(i).mid(colon + 1).trimmed();
        if (name == "host")
            request.host = value;
        else if (name == "cookie")
            request.cookie += (request.cookie.isEmpty() ? "" : "; ") + value;
    }
    return true;
}

BoardSimulator::Route BoardSimulator::route(const Request &request) const
{
    const QUrlQuery query(QString::fromLatin1(request.query));
    const auto item = [&query](const QString &key) { return query.queryItemValue(key); };
    for (qsizetype i = 0; i < m_boards.size(); ++i) {
        const Board &board = m_boards.at(i);
        if (board.scriptPath != request.path)
            continue;
        const int index = int(i);
        bool isNumber = false;
        if (board.type == 3) {
            if (request.query.isEmpty())
                return {Route::TopPage, index};
            const int page = item(u"text_page"_s).toInt(&isNumber);
            if (item(u"do"_s) == u"get_text"_s && isNumber)
                return {Route::LogPage, index, false, page - 1};
            continue;
        }
        const bool paired = board.type == 1 || board.type == 2;
        const QString sideKey = board.type == 2 ? u"rightonly"_s : u"leftonly"_s;
        if ((request.query.isEmpty() && board.type != 2) || (paired && item(sideKey) == u"1"_s))
            return {Route::TopPage, index};
        const int page = item(u"logno"_s).toInt(&isNumber);
        const bool sideMatches = !paired || item(u"l_or_r"_s) == QString::number(board.type - 1);
        if (item(u"dousa"_s) == u"log"_s && isNumber && sideMatches)
            return {Route::LogPage, index, item(u"logmidoku"_s) == u"1"_s, page};
    }
    return {};
}

BoardSimulator::Answer BoardSimulator::render(const Route &route, const Request &request) const
{
    switch (route.kind) {
    case Route::TopPage:
        return topPage(m_boards.at(route.board));
    case Route::LogPage:
        return logPage(m_boards.at(route.board), request, route.unreadOnly, route.page);
    case Route::None:
        break;
    }
    return {404, "text/html", "<html><body>404 Not Found</body></html>\n"};
}

BoardSimulator::Answer BoardSimulator::logPage(const Board &board, const Request &request,
                                               bool unreadOnly, int page) const
{
    const PageRule rule =
        board.type == 3 ? keyedCookieRule(board, request) : commaCookieRule(board, request);
    QList<BoardMessage> selected;
    qint64 skip = qint64(page) * rule.pageSize;
    for (auto it = board.messages.rbegin(); page >= 0 && it != board.messages.rend(); ++it) {
        if ((unreadOnly && it->first <= rule.unreadPoint) || selected.size() >= rule.pageSize)
            break;
        if (skip > 0)
            --skip;
        else
            selected << it->second;
    }
    QString text = LogFormat::log(board.type, selected);
    if (board.lineBreak != "\r\n")
        text.replace(u"\r\n"_s, QString::fromLatin1(board.lineBreak));
    return {200, "text/plain; charset=" + charsetOf(board.type),
            LogFormat::encodeForBoard(board.type, text)};
}

BoardSimulator::Answer BoardSimulator::topPage(const Board &board)
{
    QString html = u"<html><head><meta charset=\""_s + QString::fromLatin1(charsetOf(board.type))
                   + u"\"><title>掲示板</title></head><body>\n"_s;
    int shown = 0;
    for (auto it = board.messages.rbegin(); it != board.messages.rend() && shown < TopPageMessages;
         ++it, ++shown) {
        const BoardMessage &message = it->second;
        html += u"<hr><b>%1</b> %2 %3<br>\n%4\n"_s.arg(
            message.subject.toHtmlEscaped(), message.name.toHtmlEscaped(),
            LogFormat::dateText(board.type, message.date),
            message.body.toHtmlEscaped().replace(u"\n"_s, u"<br>\n"_s));
    }
    html += u"</body></html>\n"_s;
    return {200, "text/html; charset=" + charsetOf(board.type),
            LogFormat::encodeForBoard(board.type, html)};
}

BoardSimulator::PageRule BoardSimulator::commaCookieRule(const Board &board,
                                                         const Request &request) const
{
    const QByteArray name =
        "http://" + (request.host.isEmpty() ? hostPort() : request.host) + board.scriptPath;
    QByteArray value =
        cookieValue(request.cookie, [&name](const QByteArray &cookie) { return cookie == name; });
    if (value.isEmpty())
        value = board.type == 0 ? ",,,,20,,,0,30" : ",,,,30,,,0,50,0";
    const QList<QByteArray> items = value.split(',');
    const int defaultSize = board.type == 0 ? 30 : 50;
    return {pageSizeOr(numberAt(items, 8, defaultSize), defaultSize),
            numberAt(items, board.type == 2 ? 9 : 7, 0)};
}

BoardSimulator::PageRule BoardSimulator::keyedCookieRule(const Board &board,
                                                         const Request &request) const
{
    constexpr int DefaultSize = 30;
    const QByteArray value = cookieValue(request.cookie, [&board](const QByteArray &cookie) {
        return cookie.startsWith(board.identifier);
    });
    for (const QByteArray &item : QByteArray::fromPercentEncoding(value).split('&')) {
        if (item.startsWith("ck_text="))
            return {pageSizeOr(numberAt({item.mid(8)}, 0, DefaultSize), DefaultSize), 0};
    }
    return {DefaultSize, 0};
}

std::optional<BoardSimulator::Fault> BoardSimulator::takeFault()
{
    if (!m_fault)
        return std::nullopt;
    if (m_faultSkip > 0) {
        --m_faultSkip;
        return std::nullopt;
    }
    const std::optional<Fault> fault = m_fault;
    if (m_faultCount > 0 && --m_faultCount == 0)
        m_fault.reset();
    return fault;
}

void BoardSimulator::respondWithFault(QTcpSocket *socket, const Route &route,
                                      const Request &request, const Fault &fault) const
{
    const int type = route.board < 0 ? 0 : m_boards.at(route.board).type;
    switch (fault.kind) {
    case FaultKind::ErrorPage: {
        const QByteArray page = LogFormat::encodeForBoard(type, errorPageText(fault.errorText));
        writeAndClose(socket, responseHead(200, "text/html; charset=" + charsetOf(type),
                                           page.size()) + page);
        return;
    }
    case FaultKind::Status: {
        const QByteArray page = "<html><body>" + QByteArray::number(fault.status) + ' '
                                + reasonPhrase(fault.status) + "</body></html>\n";
        writeAndClose(socket, responseHead(fault.status, "text/html", page.size()) + page);
        return;
    }
    case FaultKind::SlowBody: {
        const Answer normal = render(route, request);
        sendSlowly(socket, responseHead(normal.status, normal.contentType, normal.body.size()),
                   normal.body, fault.chunkBytes, fault.delayMs);
        return;
    }
    case FaultKind::CutOffBody: {
        const Answer normal = render(route, request);
        writeAndClose(socket,
                      responseHead(normal.status, normal.contentType, normal.body.size() + 1024)
                          + normal.body.left(normal.body.size() / 2));
        return;
    }
    case FaultKind::CloseWithoutAnswer:
        socket->disconnectFromHost();
        return;
    case FaultKind::NeverAnswer:
        return;
    case FaultKind::Redirect: {
        const QByteArray location = fault.location.isEmpty() ? request.target : fault.location;
        writeAndClose(socket, responseHead(302, "text/html", 0, location));
        return;
    }
    case FaultKind::EmptyBody:
        writeAndClose(socket, responseHead(200, "text/plain; charset=" + charsetOf(type), 0));
        return;
    case FaultKind::HugeBody:
        sendHuge(socket, fault.hugeBytes);
        return;
    case FaultKind::Trickle: {
        const Answer normal = render(route, request);
        trickle(socket, normal.contentType, normal.body, fault.delayMs);
        return;
    }
    }
}
