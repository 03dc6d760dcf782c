#include "app/SingleInstance.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <atomic>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

enum Result { Pending, Raised, Listening, NotListening };

/** An instance in its own thread; it serves requests there until quit(). */
struct InstanceThread : QThread
{
    InstanceThread(QString name, bool serve) : name(std::move(name)), serve(serve) {}

    void run() override
    {
        SingleInstance instance(name);
        QObject::connect(&instance, &SingleInstance::raiseRequested, [this] { ++raises; });
        const bool raised = instance.ActivatePrevInstance();
        result = raised ? Raised : instance.IsListening() ? Listening : NotListening;
        if (!raised && serve)
            exec();
    }

    const QString name;
    const bool serve;
    std::atomic<int> result{Pending};
    std::atomic<int> raises{0};
};

/** A socket file with nobody behind it, as a crashed instance leaves it. */
void makeStaleSocket(const QString &path)
{
    const QByteArray file = QFile::encodeName(path);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    QVERIFY(size_t(file.size()) < sizeof address.sun_path);
    memcpy(address.sun_path, file.constData(), file.size());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    QVERIFY(::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0);
    ::close(fd);
    QVERIFY(QFile::exists(path));
}

} // namespace

class TestSingleInstance : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    int m_count = 0;

    QString freshName() { return m_dir.filePath(u"s%1"_s.arg(++m_count)); }

    /** A start on @p name gives up within [@p minMs, @p maxMs), then serves a later start. */
    static void verifyTakesOver(const QString &name, int timeoutMs, int minMs, int maxMs)
    {
        SingleInstance instance(name);
        QElapsedTimer timer;
        timer.start();
        QVERIFY(!instance.ActivatePrevInstance(timeoutMs) && instance.IsListening());
        QVERIFY2(timer.elapsed() >= minMs && timer.elapsed() < maxMs, qPrintable(QString::number(timer.elapsed())));
        QSignalSpy spy(&instance, &SingleInstance::raiseRequested);
        InstanceThread later(name, false);
        later.start();
        QTRY_COMPARE(later.result.load(), int(Raised));
        QTRY_COMPARE(spy.count(), 1);
        later.wait();
    }

private slots:
    void secondStartRaisesTheFirst()
    {
        const QString name = freshName();
        InstanceThread first(name, true);
        first.start();
        QTRY_COMPARE(first.result.load(), int(Listening));
        SingleInstance second(name);
        QVERIFY(second.ActivatePrevInstance() && !second.IsListening());
        QVERIFY(SingleInstance(name).ActivatePrevInstance());
        QTRY_COMPARE(first.raises.load(), 2);
        first.quit();
        first.wait();
    }

    void staleOrHungInstanceIsTakenOver()
    {
        const QString stale = freshName();
        makeStaleSocket(stale);
        verifyTakesOver(stale, 1000, 0, 500); // at once, not after the time-out
        const QString hungName = freshName();
        QLocalServer hung; // accepts connections but never answers: this thread is busy meanwhile
        QVERIFY(hung.listen(hungName));
        verifyTakesOver(hungName, 500, 490, 950); // the silent server is asked once
    }

    void onePerProgramFolder()
    {
        const QByteArray home = qgetenv("TESSERA_HOME");
        qputenv("TESSERA_HOME", m_dir.filePath(u"a"_s).toLocal8Bit());
        const QString a = SingleInstance::ServerName();
        qputenv("TESSERA_HOME", m_dir.filePath(u"b"_s).toLocal8Bit());
        QVERIFY(SingleInstance::ServerName() != a);
        qputenv("TESSERA_HOME", home);
    }
};

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"
