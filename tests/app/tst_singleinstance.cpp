#include "app/SingleInstance.h"

#include <QFile>
#include <QLocalServer>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <atomic>

using namespace Qt::StringLiterals;

namespace {

enum Result { Pending, Raised, Listening, NotListening };

/** An instance started in its own thread; a listening one serves requests there until quit(). */
struct InstanceThread : QThread
{
    explicit InstanceThread(QString name) : name(std::move(name)) {}

    void run() override
    {
        SingleInstance instance(name);
        QObject::connect(&instance, &SingleInstance::raiseRequested, [this] { ++raises; });
        const bool raised = instance.ActivatePrevInstance();
        result = raised ? Raised : instance.IsListening() ? Listening : NotListening;
        if (result == Listening)
            exec();
    }

    const QString name;
    std::atomic<int> result{Pending};
    std::atomic<int> raises{0};
};

} // namespace

class TestSingleInstance : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    void secondStartRaisesTheFirst()
    {
        const QString name = m_dir.filePath(u"raise"_s);
        InstanceThread first(name);
        first.start();
        QTRY_COMPARE(first.result.load(), int(Listening));
        SingleInstance second(name);
        QVERIFY(second.ActivatePrevInstance());
        QVERIFY(!second.IsListening());
        QVERIFY(SingleInstance(name).ActivatePrevInstance());
        QTRY_COMPARE(first.raises.load(), 2);
        first.quit();
        first.wait();
    }

    void staleOrHungInstanceIsTakenOver()
    {
        // A socket file moved away from its server outlives it, as a crashed instance's does.
        const QString stale = m_dir.filePath(u"stale"_s);
        QLocalServer crashed;
        QVERIFY(crashed.listen(stale + u"-old"_s));
        QVERIFY(QFile::rename(stale + u"-old"_s, stale));
        crashed.close();
        QVERIFY(QFile::exists(stale));
        SingleInstance takesStale(stale);
        QVERIFY(!takesStale.ActivatePrevInstance());
        QVERIFY(takesStale.IsListening());
        QLocalServer hung; // accepts connections but never answers: this thread is busy meanwhile
        QVERIFY(hung.listen(m_dir.filePath(u"hung"_s)));
        SingleInstance takesHung(hung.fullServerName());
        QVERIFY(!takesHung.ActivatePrevInstance(500));
        QVERIFY(takesHung.IsListening());
        int asked = 0; // the silent server is asked once, not again after its name is found taken
        while (hung.waitForNewConnection(0) && hung.nextPendingConnection())
            ++asked;
        QCOMPARE(asked, 1);
    }
};

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"
