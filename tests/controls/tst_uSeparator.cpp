#include "controls/uSeparator.h"

#include <QTest>

using namespace Qt::StringLiterals;

class TestSeparator : public QObject
{
    Q_OBJECT

    std::unique_ptr<uSeparator> m_sep;
    QWidget *m_panel1 = nullptr;
    QWidget *m_panel2 = nullptr;
    QWidget *m_bar = nullptr;

    static QPoint onBar(int x) { return QPoint(x, 10); }

private slots:
    void init()
    {
        m_sep = std::make_unique<uSeparator>();
        m_bar = m_sep->findChild<QWidget *>(u"picBar"_s);
        QVERIFY(m_bar);
        m_sep->resize(674, 300);
        m_sep->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_sep.get()));
        m_panel1 = new QWidget;
        m_panel2 = new QWidget;
        m_sep->Initialize(m_panel1, m_panel2);
    }

    void cleanup() { m_sep.reset(); }

    void panelsFollowTheBar()
    {
        m_sep->setAspect(m_sep->Aspect()); // puts the bar in the middle
        QCOMPARE(m_bar->geometry(), QRect(337, 0, uSeparator::BarThickness, 300));
        m_sep->setOffset(200);
        QCOMPARE(m_panel1->geometry(), QRect(0, 0, 200, 300));
        QCOMPARE(m_panel2->geometry(), QRect(204, 0, 470, 300));
        m_sep->setAspect(uSeparator::Horizontal);
        m_sep->setOffset(100);
        QCOMPARE(m_panel2->geometry(), QRect(0, 104, 674, 196));
        m_sep->setOffset(400); // writing Offset applies no limit; panels never get negative sizes
        QCOMPARE(m_sep->Offset(), 400);
        QCOMPARE(m_panel2->height(), 0);
        m_sep->resize(674, 200); // a resize brings the bar back inside, at either end
        QCOMPARE(m_panel2->geometry(), QRect(0, 200 - uSeparator::DefaultSideMin, 674, uSeparator::DefaultSideMin));
        m_sep->setOffset(2);
        m_sep->resize(674, 300);
        QCOMPARE(m_sep->Offset(), uSeparator::DefaultSideMin + 4);
    }

    // The bar stays SideMin away from either edge while dragged.
    void dragAndDoubleClick()
    {
        const int sideMin = uSeparator::DefaultSideMin;
        m_sep->setOffset(300);
        QTest::mousePress(m_bar, Qt::LeftButton, {}, onBar(1));
        QTest::mouseMove(m_bar, onBar(-1000));
        QCOMPARE(m_sep->Offset(), sideMin);
        QCOMPARE(m_panel1->width(), 300); // panels wait for the release
        QTest::mouseMove(m_bar, onBar(1000));
        QCOMPARE(m_sep->Offset(), 674 - sideMin - uSeparator::BarThickness);
        QTest::mouseMove(m_bar, onBar(-70));
        QTest::mouseRelease(m_bar, Qt::LeftButton, {}, onBar(0));
        QCOMPARE(m_panel1->width(), 593);
        QTest::mouseMove(m_bar, onBar(-50)); // without the button held
        QCOMPARE(m_sep->Offset(), 593);
        for (const int expected : {sideMin, 593}) { // a double-click collapses, the next restores
            QTest::mouseClick(m_bar, Qt::LeftButton, {}, onBar(1));
            QTest::mouseDClick(m_bar, Qt::LeftButton, {}, onBar(1));
            QTest::mouseRelease(m_bar, Qt::LeftButton, {}, onBar(1));
            QCOMPARE(m_panel1->width(), expected);
        }
    }
};

QTEST_MAIN(TestSeparator)
#include "tst_uSeparator.moc"
