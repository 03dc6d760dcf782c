#include "support/BoardSimulator.h"

#include <QHash>
#include <QTcpSocket>
#include <QTimer>
#include <QUrlQuery>
#include <functional>
#include <sys/socket.h>
#include <utility>

using namespace Qt::StringLiterals;

namespace {

constexpr qsizetype MaxHeadBytes = 64 * 1024;
constexpr qint64 HugeHighWater = 1024 * 1024;
constexpr int TopPageMessages = 20;

/** The status line and headers; no Content-Length when @p length is negative. */
QByteArray head(int status, const QByteArray &contentType, qint64 length, const QByteArray &location = {})
{
    static const QHash<int, QByteArray> reasons{
        {200, "OK"}, {302, "Found"}, {400, "Bad Request"}, {404, "Not Found"}, {500, "Internal Server Error"}};
    QByteArray text = "HTTP/1.1 " + QByteArray::number(status) + ' ' + reasons.value(status, "Status")
                      + "\r\nContent-Type: " + contentType;
    if (length >= 0)
        text += "\r\nContent-Length: " + QByteArray::number(length);
    if (!location.isEmpty())
        text += "\r\nLocation: " + location;
    return text + "\r\nConnection: close\r\n\r\n";
}

QByteArray charsetOf(int boardType)
{
    return boardType == 3 ? "EUC-JP" : "Shift_JIS";
}

QByteArray textType(int boardType, const QByteArray &subtype)
{
    return "text/" + subtype + "; charset=" + charsetOf(boardType);
}

/** The value of the first cookie in @p header whose name satisfies @p matches; empty when none. */
QByteArray cookieValue(const QByteArray &header, const std::function<bool(const QByteArray &)> &matches)
{
    for (const QByteArray &rawPart : header.split(';')) {
        const QByteArray part = rawPart.trimmed();
        const qsizetype equals = part.indexOf('=');
        if (equals > 0 && matches(part.left(equals)))
            return part.mid(equals + 1);
    }
    return {};
}

/** Item @p position of a comma list as a number above 0; @p fallback otherwise. */
int positiveAt(const QList<QByteArray> &items, qsizetype position, int fallback)
{
    const int value = items.value(position).trimmed().toInt();
    return value > 0 ? value : fallback;
}

void writeAndClose(QTcpSocket *socket, const QByteArray &bytes)
{
    socket->write(bytes);
    socket->disconnectFromHost();
}

/** Writes @p body @p chunk bytes every @p delayMs; then closes, or starts over when @p repeat. */
void drip(QTcpSocket *socket, const QByteArray &body, qsizetype chunk, int delayMs, bool repeat)
{
    auto *timer = new QTimer(socket);
    QObject::connect(timer, &QTimer::timeout, socket, [=, offset = qsizetype(0)]() mutable {
        socket->write(body.mid(offset, chunk));
        offset += chunk;
        if (offset < body.size())
            return;
        offset = 0;
        if (!repeat) {
            timer->stop();
            socket->disconnectFromHost();
        }
    });
    timer->start(qMax(1, delayMs));
}

/** Writes @p bytes, lets the client read them, then resets the connection (RST, not FIN). */
void writeAndReset(QTcpSocket *socket, const QByteArray &bytes)
{
    socket->write(bytes);
    socket->flush();
    QTimer::singleShot(100, socket, [socket] {
        const linger resetOnClose{1, 0};
        setsockopt(int(socket->socketDescriptor()), SOL_SOCKET, SO_LINGER, &resetOnClose, sizeof resetOnClose);
        socket->abort();
    });
}

/**
 * Streams @p size bytes of repeated log text (for ever when negative, without a length),
 * never buffering more than about a megabyte.
 */
void sendHuge(QTcpSocket *socket, qint64 size)
{
    QList<BoardMessage> sample;
    for (int number = 1; number <= 100; ++number)
        sample << LogFormat::sampleMessage(number);
    const QByteArray block = LogFormat::toCp932(LogFormat::log(0, sample));
    auto pump = [socket, block, left = size, closing = false]() mutable {
        while (left != 0 && socket->bytesToWrite() < HugeHighWater) {
            const qint64 count = left < 0 ? block.size() : qMin<qint64>(left, block.size());
            socket->write(block.constData(), count);
            left -= left < 0 ? 0 : count;
        }
        if (left == 0 && !std::exchange(closing, true))
            socket->disconnectFromHost();
    };
    QObject::connect(socket, &QTcpSocket::bytesWritten, socket, pump);
    socket->write(head(200, textType(0, "plain"), size));
}

} // namespace

BoardSimulator::BoardSimulator(QObject *parent) : QObject(parent)
{
    connect(&m_server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket *socket = m_server.nextPendingConnection()) {
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readRequest(socket); });
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            if (socket->bytesAvailable() > 0)
                readRequest(socket);
        }
    });
}

BoardSimulator::~BoardSimulator()
{
    m_server.close();
    for (QTcpSocket *socket : m_server.findChildren<QTcpSocket *>(Qt::FindDirectChildrenOnly)) {
        socket->disconnect();
        delete socket;
    }
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

void BoardSimulator::setFault(const Fault &fault, int skip, int count)
{
    m_fault = count == 0 ? std::nullopt : std::optional(fault);
    m_faultSkip = qMax(0, skip);
    m_faultCount = count;
}

void BoardSimulator::readRequest(QTcpSocket *socket)
{
    const qsizetype headEnd = socket->peek(MaxHeadBytes + 4).indexOf("\r\n\r\n");
    if (headEnd < 0 && socket->bytesAvailable() <= MaxHeadBytes)
        return; // the head is still coming
    disconnect(socket, &QTcpSocket::readyRead, this, nullptr);
    const QList<QByteArray> lines = socket->read(qMax<qsizetype>(0, headEnd)).split('\n');
    const QList<QByteArray> requestLine = lines.first().trimmed().split(' ');
    if (headEnd < 0 || requestLine.size() != 3) {
        writeAndClose(socket, head(400, "text/plain", 0));
        return;
    }
    Request request;
    request.method = requestLine.at(0);
    request.target = requestLine.at(1);
    const qsizetype question = request.target.indexOf('?');
    request.path = question < 0 ? request.target : request.target.first(question);
    request.query = question < 0 ? QByteArray() : request.target.sliced(question + 1);
    for (const QByteArray &line : lines.mid(1)) {
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0)
            continue;
        const QByteArray name = line.first(colon).trimmed().toLower();
        const QByteArray value = line.sliced(colon + 1).trimmed();
        if (name == "host")
            request.host = value;
        else if (name == "cookie")
            request.cookie += (request.cookie.isEmpty() ? "" : "; ") + value;
    }
    m_requests << request;
    emit requestReceived(request);
    const Answer normal = answer(request);
    if (const std::optional<Fault> fault = takeFault())
        answerWithFault(socket, normal, request, *fault);
    else
        writeAndClose(socket, head(normal.status, normal.contentType, normal.body.size()) + normal.body);
}

BoardSimulator::Answer BoardSimulator::answer(const Request &request) const
{
    const QUrlQuery query(QString::fromLatin1(request.query));
    const auto item = [&query](const QString &key) { return query.queryItemValue(key); };
    for (const Board &board : m_boards) {
        if (board.scriptPath != request.path)
            continue;
        bool isNumber = false;
        if (board.type == 3) {
            const int page = item(u"text_page"_s).toInt(&isNumber);
            if (request.query.isEmpty())
                return topPage(board);
            if (item(u"do"_s) == u"get_text"_s && isNumber)
                return logPage(board, request, false, page - 1);
            continue;
        }
        const bool paired = board.type == 1 || board.type == 2;
        const QString sideKey = board.type == 2 ? u"rightonly"_s : u"leftonly"_s;
        if ((request.query.isEmpty() && board.type != 2) || (paired && item(sideKey) == u"1"_s))
            return topPage(board);
        const int page = item(u"logno"_s).toInt(&isNumber);
        const bool sideMatches = !paired || item(u"l_or_r"_s) == QString::number(board.type - 1);
        if (item(u"dousa"_s) == u"log"_s && isNumber && sideMatches)
            return logPage(board, request, item(u"logmidoku"_s) == u"1"_s, page);
    }
    return {};
}

BoardSimulator::Answer BoardSimulator::topPage(const Board &board)
{
    QString html = u"<html><head><meta charset=\""_s + QString::fromLatin1(charsetOf(board.type))
                   + u"\"><title>掲示板</title></head><body>\n"_s;
    int shown = 0;
    for (auto it = board.messages.rbegin(); it != board.messages.rend() && shown < TopPageMessages; ++it, ++shown) {
        const BoardMessage &message = it->second;
        html += u"<hr><b>%1</b> %2 %3<br>\n%4\n"_s.arg(message.subject.toHtmlEscaped(), message.name.toHtmlEscaped(),
                                                      LogFormat::dateText(board.type, message.date),
                                                      message.body.toHtmlEscaped().replace(u"\n"_s, u"<br>\n"_s));
    }
    return {200, textType(board.type, "html"), LogFormat::encodeForBoard(board.type, html + u"</body></html>\n"_s),
            board.type};
}

BoardSimulator::Answer BoardSimulator::logPage(const Board &board, const Request &request, bool unreadOnly, int page) const
{
    const auto [pageSize, unreadPoint] = pageRule(board, request);
    QList<BoardMessage> selected;
    qint64 skip = qint64(page) * pageSize;
    for (auto it = board.messages.rbegin(); page >= 0 && it != board.messages.rend(); ++it) {
        if ((unreadOnly && it->first <= unreadPoint) || selected.size() >= pageSize)
            break;
        if (skip > 0)
            --skip;
        else
            selected << it->second;
    }
    QString text = LogFormat::log(board.type, selected) + board.pageEnd;
    text.replace(u"\r\n"_s, QString::fromLatin1(board.lineBreak));
    return {200, textType(board.type, "plain"), LogFormat::encodeForBoard(board.type, text), board.type};
}

std::pair<int, int> BoardSimulator::pageRule(const Board &board, const Request &request) const
{
    if (board.type == 3) {
        const QByteArray value = cookieValue(request.cookie, [&board](const QByteArray &name) {
            return name.startsWith(board.identifier);
        });
        for (const QByteArray &item : QByteArray::fromPercentEncoding(value).split('&')) {
            if (item.startsWith("ck_text="))
                return {positiveAt({item.mid(8)}, 0, 30), 0};
        }
        return {30, 0};
    }
    const QByteArray host = request.host.isEmpty() ? baseUrl().sliced(7).toLatin1() : request.host; // without "http://"
    const QByteArray name = "http://" + host + board.scriptPath;
    QByteArray value = cookieValue(request.cookie, [&name](const QByteArray &cookie) { return cookie == name; });
    if (value.isEmpty())
        value = board.type == 0 ? ",,,,20,,,0,30" : ",,,,30,,,0,50,0";
    const QList<QByteArray> items = value.split(',');
    return {positiveAt(items, 8, board.type == 0 ? 30 : 50), items.value(board.type == 2 ? 9 : 7).trimmed().toInt()};
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

void BoardSimulator::answerWithFault(QTcpSocket *socket, const Answer &normal, const Request &request,
                                     const Fault &fault)
{
    const auto writeBody = [socket, &normal](const QByteArray &body) { // the normal head, another body
        writeAndClose(socket, head(normal.status, normal.contentType, body.size()) + body);
    };
    const int type = normal.boardType;
    switch (fault.kind) {
    case FaultKind::ErrorPage: {
        const QByteArray page = LogFormat::encodeForBoard(
            type, u"<html><head><title>Error!!</title></head>\n<body bgcolor=\"#ffffff\">\n<center>\n"
                  u"<FONT SIZE=5>エラー</FONT><BR>現在メンテナンス中です。\n</center>\n</body></html>\n"_s);
        writeAndClose(socket, head(200, textType(type, "html"), page.size()) + page);
        return;
    }
    case FaultKind::Status: {
        const QByteArray page = "<html><body>" + QByteArray::number(fault.status) + "</body></html>\n";
        writeAndClose(socket, head(fault.status, "text/html", page.size()) + page);
        return;
    }
    case FaultKind::SlowBody:
        socket->write(head(normal.status, normal.contentType, normal.body.size()));
        drip(socket, normal.body, qMax(1, fault.chunkBytes), fault.delayMs, false);
        return;
    case FaultKind::CutOffBody:
        writeAndClose(socket, head(normal.status, normal.contentType, normal.body.size() + 1024)
                                  + normal.body.left(normal.body.size() / 2));
        return;
    case FaultKind::CloseWithoutAnswer:
        socket->disconnectFromHost();
        return;
    case FaultKind::NeverAnswer:
        return;
    case FaultKind::Redirect:
        writeAndClose(socket, head(302, "text/html", 0, request.target));
        return;
    case FaultKind::EmptyBody:
        writeAndClose(socket, head(200, textType(type, "plain"), 0));
        return;
    case FaultKind::HugeBody:
        sendHuge(socket, fault.hugeBytes);
        return;
    case FaultKind::EndlessBody:
        sendHuge(socket, -1);
        return;
    case FaultKind::BrokenText:
        writeBody(QByteArray(normal.body).insert(normal.body.indexOf("\r\n") + 2, "\x81\x20\xff"));
        return;
    case FaultKind::Trickle:
        socket->write(head(200, normal.contentType, -1));
        drip(socket, normal.body.isEmpty() ? QByteArray(" ") : normal.body, 1, fault.delayMs, true);
        return;
    case FaultKind::CutWithoutLength:
        writeAndClose(socket, head(normal.status, normal.contentType, -1)
                                  + normal.body.left(fault.cutAt < 0 ? normal.body.size() / 2 : fault.cutAt));
        return;
    case FaultKind::ResetMidBody:
        writeAndReset(socket, head(normal.status, normal.contentType, -1) + normal.body.left(normal.body.size() / 2));
        return;
    case FaultKind::GoneDuringSlowBody:
        socket->write(head(normal.status, normal.contentType, -1));
        drip(socket, normal.body.left(normal.body.size() / 2), qMax(1, fault.chunkBytes), fault.delayMs, false);
        return;
    case FaultKind::NulAfterLineBreaks:
        writeBody(QByteArray(normal.body).replace("\n", QByteArray("\n\0", 2)));
        return;
    case FaultKind::HtmlLines:
        writeBody("<p>" + QByteArray(normal.body).replace("\r\n", "</p>\r\n<p>"));
        return;
    }
}
