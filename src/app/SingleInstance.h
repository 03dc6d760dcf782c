#pragma once

#include <QLocalServer>
#include <QObject>
#include <QString>

class QLocalSocket;

/**
 * @short Keeps one running reader per user and program folder.
 *
 * The first instance listens on a local socket; a later start connects, asks it to raise its
 * window and ends. When nobody answers within the time-out (a socket left behind by a crashed
 * instance, or a hung one), the later start takes the name over and runs.
 */
class SingleInstance : public QObject
{
    Q_OBJECT

public:
    /** @p serverName defaults to ServerName(). */
    explicit SingleInstance(QString serverName = ServerName(), QObject *parent = nullptr);

    /**
     * @short True when a running instance answered the request to raise its window: this
     * start should end. Otherwise this instance starts listening under the name and gives False.
     */
    bool ActivatePrevInstance(int timeoutMs = 1000);
    /** @short Whether this instance serves the name (after ActivatePrevInstance gave False). */
    bool IsListening() const { return m_server.isListening(); }

    /**
     * @short The socket of the program folder: in the user's private runtime folder (or the
     * temporary folder, with the user id in the name), named after a hash of the folder.
     */
    static QString ServerName();

signals:
    /** @short A later start asked this instance to bring its main window to the front. */
    void raiseRequested();

private:
    enum class Answer { Raised, NoServer, Silent };

    Answer askRunningInstance(int timeoutMs);
    void acceptConnections();
    void readRequest(QLocalSocket *socket);

    QString m_serverName;
    QLocalServer m_server;
};
