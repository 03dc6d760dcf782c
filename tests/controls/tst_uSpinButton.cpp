#include "controls/uSpinButton.h"

#include <QLineEdit>
#include <QScrollBar>
#include <QTest>

using namespace Qt::StringLiterals;

class TestSpinButton : public QObject
{
    Q_OBJECT

    std::unique_ptr<uSpinButton> m_spin;
    QLineEdit *m_text = nullptr;
    QScrollBar *m_arrows = nullptr;

    void setUp(int min, int max, int value)
    {
        m_spin->setMin(min);
        m_spin->setMax(max);
        m_spin->setValue(value);
        m_text->setFocus();
        QTRY_VERIFY(m_text->hasFocus());
    }

private slots:
    void init()
    {
        m_spin = std::make_unique<uSpinButton>();
        m_text = m_spin->findChild<QLineEdit *>(u"Text"_s);
        m_arrows = m_spin->findChild<QScrollBar *>(u"Spin"_s);
        QVERIFY(m_text);
        QVERIFY(m_arrows);
        m_spin->show();
        m_spin->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_spin.get()));
    }

    void cleanup() { m_spin.reset(); }

    void typedText_data()
    {
        QTest::addColumn<QList<int>>("setup"); // Min, Max, Value, caret or selection start, selection length
        QTest::addColumn<QString>("keys"); // "\b" is Backspace, "\x7f" Delete
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("caret");
        const auto row = [](const char *name, QList<int> setup, const QString &keys, const QString &text, int caret) {
            QTest::newRow(name) << setup << keys << text << caret;
        };
        row("beyond Max", {10, 120, 100, 1, 0}, u"5"_s, u"100"_s, 2);
        row("Backspace below Min", {10, 120, 30, 2, 0}, u"\b"_s, u"30"_s, 1);
        row("in range", {10, 120, 30, 0, 1}, u"1"_s, u"10"_s, 1);
        row("minus alone", {-20, 20, 7, 0, 1}, u"-"_s, u"7"_s, 1);
        row("minus in front", {-20, 20, 7, 0, 0}, u"-"_s, u"-7"_s, 1);
        row("letters and signs", {0, 99999, 12, 2, 0}, u"ax.+ "_s, u"12"_s, 2);
        row("cleared: Min selected", {10, 120, 30, 0, 2}, u"\x7f"_s, u"10"_s, 2);
    }

    void typedText()
    {
        QFETCH(QList<int>, setup);
        QFETCH(QString, keys);
        QFETCH(QString, text);
        setUp(setup[0], setup[1], setup[2]);
        m_text->setSelection(setup[3], setup[4]);
        keys == u"\x7f"_s ? QTest::keyClick(m_text, Qt::Key_Delete) : QTest::keyClicks(m_text, keys);
        QCOMPARE(m_text->text(), text);
        QTEST(m_text->cursorPosition(), "caret");
        QCOMPARE(m_text->selectedText(), keys == u"\x7f"_s ? text : QString()); // a cleared box shows Min selected
        QCOMPARE(m_spin->Value(), text.toInt());
    }

    void valueAndArrowsStayWithinLimits()
    {
        setUp(0, 3, 2);
        m_spin->setValue(4); // out of range: ignored
        m_spin->setValue(-1);
        QCOMPARE(m_text->text(), u"2"_s);
        QTest::keyClick(m_text, Qt::Key_Up);
        QCOMPARE(m_text->selectedText(), u"3"_s);
        QTest::keyClick(m_text, Qt::Key_Up);
        QTest::keyClick(m_text, Qt::Key_Down, Qt::ControlModifier);
        QCOMPARE(m_spin->Value(), 3);
        for (int i = 0; i < 5; ++i)
            QTest::keyClick(m_text, Qt::Key_Down);
        QCOMPARE(m_text->text(), u"0"_s);
        m_arrows->triggerAction(QAbstractSlider::SliderSingleStepAdd); // the down arrow at Min
        QCOMPARE(m_spin->Value(), 0);
        m_arrows->triggerAction(QAbstractSlider::SliderSingleStepSub);
        QCOMPARE(m_text->selectedText(), u"1"_s);
        m_spin->setMax(0); // limits never adjust the value on their own
        QCOMPARE(m_spin->Value(), 1);
        m_spin->setMax(99999);
        m_text->end(false);
        // A paste with a letter, a full-width digit or beyond 32 bits is refused.
        for (const QString &paste : {u"3a"_s, u"１"_s, u"99999999999"_s, u"72"_s})
            m_text->insert(paste);
        QCOMPARE(m_text->text(), u"172"_s);
        QCOMPARE(m_spin->Value(), 172);
    }
};

QTEST_MAIN(TestSpinButton)
#include "tst_uSpinButton.moc"
