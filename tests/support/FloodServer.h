#pragma once

#include <QByteArray>
#include <QString>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

/**
 * @short Answers one request on 127.0.0.1 with a page that never ends, from a thread of its own
 * and as fast as the client takes it: unlike the board simulator, which runs on the client's
 * event loop, it can send faster than the client reads.
 */
class FloodServer
{
public:
    /** Sends @p block over and over after a 200 head without length. */
    explicit FloodServer(QByteArray block) : m_block(std::move(block))
    {
        m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        ::bind(m_listener, reinterpret_cast<sockaddr *>(&address), length);
        ::listen(m_listener, 1);
        ::getsockname(m_listener, reinterpret_cast<sockaddr *>(&address), &length);
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this] { serve(); });
    }
    ~FloodServer()
    {
        ::shutdown(m_listener, SHUT_RDWR); // ends a wait for a connection that never came
        m_thread.join();
        ::close(m_listener);
    }
    FloodServer(const FloodServer &) = delete;
    FloodServer &operator=(const FloodServer &) = delete;

    /** "http://127.0.0.1:" + port + @p path. */
    QString url(const QString &path) const { return QStringLiteral("http://127.0.0.1:%1").arg(m_port) + path; }

private:
    void serve()
    {
        const int client = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0)
            return;
        char request[4096];
        if (::recv(client, request, sizeof request, 0) > 0) {
            const QByteArray head = "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nConnection: close\r\n\r\n";
            bool open = ::send(client, head.constData(), size_t(head.size()), MSG_NOSIGNAL) > 0;
            while (open) // until the client closes the connection
                open = ::send(client, m_block.constData(), size_t(m_block.size()), MSG_NOSIGNAL) > 0;
        }
        ::close(client);
    }

    QByteArray m_block;
    int m_listener = -1;
    quint16 m_port = 0;
    std::thread m_thread;
};
