#include "app/SingleInstance.h"

#include <QFile>
#include <QLocalServer>
#include <QSignalSpy>
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

    /** A start on @p name gives up and listens, then serves a later start. */
    static void verifyTakesOver(const QString &name)
    {
        SingleInstance instance(name);
        QVERIFY(!instance.ActivatePrevInstance(500));
        QVERIFY(instance.IsListening());
        QSignalSpy spy(&instance, &SingleInstance::raiseRequested);
        InstanceThread later(name);
        later.start();
        QTRY_COMPARE(later.result.load(), int(Raised));
        QTRY_COMPARE(spy.count(), 1);
        later.wait();
    }

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
        verifyTakesOver(stale);
        QLocalServer hung; // accepts connections but never answers: this thread is busy meanwhile
        QVERIFY(hung.listen(m_dir.filePath(u"hung"_s)));
        verifyTakesOver(hung.fullServerName());
        int asked = 0; // the silent server is asked once, not again after its name is found taken
        while (hung.waitForNewConnection(0) && hung.nextPendingConnection())
            ++asked;
        QCOMPARE(asked, 1);
    }
};

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"
