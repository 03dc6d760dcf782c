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

/** An instance started in its own thread; it serves requests there until quit(). */
class InstanceThread : public QThread
{
public:
    InstanceThread(QString name, bool serve) : m_name(std::move(name)), m_serve(serve) {}

    std::atomic<int> result{Pending};
    std::atomic<int> raises{0};

protected:
    void run() override
    {
        SingleInstance instance(m_name);
        QObject::connect(&instance, &SingleInstance::raiseRequested, [this] { ++raises; });
        const bool raised = instance.ActivatePrevInstance();
        result = raised ? Raised : instance.IsListening() ? Listening : NotListening;
        if (!raised && m_serve)
            exec();
    }

private:
    QString m_name;
    bool m_serve;
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

    /** A later start, in a thread, reaches @p instance (served by this thread's event loop). */
    static void verifyServes(SingleInstance &instance, const QString &name)
    {
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
        QVERIFY(second.ActivatePrevInstance());
        QVERIFY(!second.IsListening());
        QTRY_COMPARE(first.raises.load(), 1);
        SingleInstance third(name);
        QVERIFY(third.ActivatePrevInstance());
        QTRY_COMPARE(first.raises.load(), 2);
        first.quit();
        first.wait();
    }

    void staleSocketLetsTheStartRun()
    {
        const QString name = freshName();
        makeStaleSocket(name);
        SingleInstance instance(name);
        QElapsedTimer timer;
        timer.start();
        QVERIFY(!instance.ActivatePrevInstance());
        QVERIFY(timer.elapsed() < 500);
        QVERIFY(instance.IsListening());
        verifyServes(instance, name);
    }

    void hungInstanceIsTakenOverAfterTheTimeOut()
    {
        const QString name = freshName();
        QLocalServer hung; // accepts connections but never answers: this thread is busy below
        QVERIFY(hung.listen(name));
        SingleInstance instance(name);
        QElapsedTimer timer;
        timer.start();
        QVERIFY(!instance.ActivatePrevInstance(500));
        QVERIFY(timer.elapsed() >= 490);
        QVERIFY(timer.elapsed() < 950); // the silent server is asked once
        QVERIFY(instance.IsListening());
        verifyServes(instance, name);
    }

    void onePerProgramFolder()
    {
        const QByteArray home = qgetenv("TESSERA_HOME");
        qputenv("TESSERA_HOME", m_dir.filePath(u"a"_s).toLocal8Bit());
        const QString a = SingleInstance::ServerName();
        QCOMPARE(SingleInstance::ServerName(), a);
        qputenv("TESSERA_HOME", m_dir.filePath(u"b"_s).toLocal8Bit());
        QVERIFY(SingleInstance::ServerName() != a);
        qputenv("TESSERA_HOME", home);
    }
};

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"
