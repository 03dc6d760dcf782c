#include "app/SingleInstance.h"

#include "app/mdlApp.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

constexpr char RaiseRequest[] = "raise\n";
constexpr char RaiseAnswer[] = "raised\n";
/** Longer requests are no request of ours: the connection is dropped. */
constexpr qint64 MaxRequest = 64;

int remaining(const QDeadlineTimer &deadline)
{
    return int(qMax<qint64>(0, deadline.remainingTime()));
}

} // namespace

SingleInstance::SingleInstance(QString serverName, QObject *parent)
    : QObject(parent), m_serverName(std::move(serverName))
{
    connect(&m_server, &QLocalServer::newConnection, this, &SingleInstance::acceptConnections);
}

QString SingleInstance::ServerName()
{
    const QByteArray folderHash = QCryptographicHash::hash(mdlApp::GetAppPath().toUtf8(),
                                                           QCryptographicHash::Sha1).toHex().left(16);
    const QString name = u"tessera-"_s + QString::fromLatin1(folderHash);
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (runtime.isEmpty())
        return u"%1-%2"_s.arg(name).arg(::getuid()); // relative: QLocalServer uses the temp folder
    return mdlApp::AddPathSeparator(runtime) + name;
}

bool SingleInstance::ActivatePrevInstance(int timeoutMs)
{
    const Answer answer = askRunningInstance(timeoutMs);
    if (answer == Answer::Raised)
        return true;
    if (m_server.listen(m_serverName))
        return false;
    // Nobody listened a moment ago, yet the name is taken: either a start that began at the
    // same moment (it answers now) or a socket file nobody serves. A silent server is not
    // asked twice.
    if (answer == Answer::NoServer && m_server.serverError() == QAbstractSocket::AddressInUseError
        && askRunningInstance(timeoutMs) == Answer::Raised)
        return true;
    QLocalServer::removeServer(m_serverName);
    if (!m_server.listen(m_serverName))
        qWarning("SingleInstance: cannot listen on %s: %s", qUtf8Printable(m_serverName),
                 qUtf8Printable(m_server.errorString()));
    return false;
}

SingleInstance::Answer SingleInstance::askRunningInstance(int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    QLocalSocket socket;
    socket.connectToServer(m_serverName);
    if (!socket.waitForConnected(remaining(deadline)))
        return Answer::NoServer;
    socket.write(RaiseRequest);
    if (!socket.waitForBytesWritten(remaining(deadline)))
        return Answer::Silent;
    while (!socket.canReadLine() && socket.bytesAvailable() < MaxRequest) {
        if (!socket.waitForReadyRead(remaining(deadline)))
            return Answer::Silent;
    }
    return socket.readLine(MaxRequest) == RaiseAnswer ? Answer::Raised : Answer::Silent;
}

void SingleInstance::acceptConnections()
{
    while (QLocalSocket *socket = m_server.nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readRequest(socket); });
    }
}

void SingleInstance::readRequest(QLocalSocket *socket)
{
    if (!socket->canReadLine() && socket->bytesAvailable() < MaxRequest)
        return;
    const bool raise = socket->readLine(MaxRequest) == RaiseRequest;
    if (raise)
        socket->write(RaiseAnswer);
    socket->disconnectFromServer();
    if (raise)
        emit raiseRequested();
}
