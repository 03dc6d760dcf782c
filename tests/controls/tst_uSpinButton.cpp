#include "controls/uSpinButton.h"

#include <QLineEdit>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTest>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

class TestSpinButton : public QObject
{
    Q_OBJECT

    std::unique_ptr<QWidget> m_window;
    uSpinButton *m_spin = nullptr;
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

    void clickArrow(QStyle::SubControl arrow)
    {
        QStyleOptionSlider option;
        option.initFrom(m_arrows);
        option.orientation = Qt::Vertical;
        option.minimum = m_arrows->minimum();
        option.maximum = m_arrows->maximum();
        option.sliderPosition = option.sliderValue = m_arrows->value();
        option.pageStep = m_arrows->pageStep();
        option.singleStep = m_arrows->singleStep();
        const QRect rect = m_arrows->style()->subControlRect(QStyle::CC_ScrollBar, &option, arrow, m_arrows);
        QTest::mouseClick(m_arrows, Qt::LeftButton, {}, rect.center());
    }

private slots:
    void init()
    {
        m_window = std::make_unique<QWidget>();
        auto *layout = new QVBoxLayout(m_window.get());
        m_spin = new uSpinButton(m_window.get());
        m_spin->setObjectName(u"uspnTest"_s);
        layout->addWidget(m_spin);
        layout->addWidget(new QLineEdit(m_window.get()));
        m_text = m_spin->findChild<QLineEdit *>(u"Text"_s);
        m_arrows = m_spin->findChild<QScrollBar *>(u"Spin"_s);
        QVERIFY(m_text && m_arrows);
        m_window->show();
        m_window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    }

    void cleanup() { m_window.reset(); }

    void defaultsAndValueWrites()
    {
        QCOMPARE((QList<int>{m_spin->Min(), m_spin->Max(), m_spin->Value()}), (QList<int>{0, 50, 0}));
        QCOMPARE(m_text->text(), u"0"_s);

        m_spin->setValue(50);
        m_spin->setValue(51);
        m_spin->setValue(-1);
        QCOMPARE(m_spin->Value(), 50);
        QCOMPARE(m_text->text(), u"50"_s);

        // Limits never adjust the value on their own.
        m_spin->setMax(20);
        QCOMPARE(m_spin->Value(), 50);
        m_spin->setValue(19);
        QCOMPARE(m_text->text(), u"19"_s);
    }

    void outOfRangeTextIsRestoredWithCaretKept()
    {
        setUp(10, 120, 100);
        m_text->setCursorPosition(1);
        QTest::keyClick(m_text, Qt::Key_5);
        QCOMPARE(m_text->text(), u"100"_s);
        QCOMPARE(m_text->cursorPosition(), 2);
        QCOMPARE(m_spin->Value(), 100);

        m_spin->setValue(30);
        m_text->end(false);
        QTest::keyClick(m_text, Qt::Key_0); // 300 is beyond 120
        QCOMPARE(m_text->text(), u"30"_s);
        QCOMPARE(m_text->cursorPosition(), 2);

        QTest::keyClick(m_text, Qt::Key_Backspace); // 3 is below Min
        QCOMPARE(m_text->text(), u"30"_s);
        QCOMPARE(m_text->cursorPosition(), 1);

        // A typed number in range becomes the value, without Change.
        QSignalSpy change(m_spin, &uSpinButton::Change);
        m_text->setSelection(0, 1);
        QTest::keyClick(m_text, Qt::Key_1);
        QCOMPARE(m_spin->Value(), 10);
        QCOMPARE(change.size(), 0);
    }

    void clearedTextShowsMinimumSelected()
    {
        setUp(10, 120, 30);
        m_text->selectAll();
        QTest::keyClick(m_text, Qt::Key_Delete);
        QCOMPARE(m_text->text(), u"10"_s);
        QCOMPARE(m_text->selectedText(), u"10"_s);
        QCOMPARE(m_spin->Value(), 10);
    }

    void minusSign()
    {
        setUp(-20, 20, 7);
        m_text->selectAll();
        QTest::keyClick(m_text, Qt::Key_Minus); // "-" alone
        QCOMPARE(m_text->text(), u"7"_s);
        m_text->end(false);
        QTest::keyClick(m_text, Qt::Key_Minus); // "7-"
        QCOMPARE(m_text->text(), u"7"_s);
        m_text->home(false);
        QTest::keyClick(m_text, Qt::Key_Minus);
        QCOMPARE(m_text->text(), u"-7"_s);
        QCOMPARE(m_spin->Value(), -7);
        QTest::keyClick(m_text, Qt::Key_Minus); // "--7"
        QCOMPARE(m_text->text(), u"-7"_s);
        m_text->end(false);
        QTest::keyClick(m_text, Qt::Key_5); // -75 below Min
        QCOMPARE(m_spin->Value(), -7);
    }

    void lettersAreDroppedAndPastedJunkIsUndone()
    {
        setUp(0, 99999, 12);
        int keys = 0;
        connect(m_spin, &uSpinButton::KeyPress, this, [&keys](int &) { ++keys; });
        m_text->end(false);
        QTest::keyClick(m_text, Qt::Key_A);
        QTest::keyClicks(m_text, u"x.+ "_s);
        QCOMPARE(m_text->text(), u"12"_s);
        QCOMPARE(keys, 5);

        m_text->insert(u"3a"_s); // what a paste does
        QCOMPARE(m_text->text(), u"12"_s);
        m_text->insert(u"１"_s); // a full-width digit is not a digit here
        QCOMPARE(m_text->text(), u"12"_s);
        m_text->insert(u"99999999999"_s); // beyond 32 bits
        QCOMPARE(m_text->text(), u"12"_s);
        QCOMPARE(m_spin->Value(), 12);
    }

    void ownerMayChangeOrCancelTypedKeys()
    {
        setUp(0, 9999, 1);
        connect(m_spin, &uSpinButton::KeyPress, this, [](int &key) {
            if (key == u'5')
                key = 0;
            else if (key == u'a')
                key = u'7';
        });
        m_text->end(false);
        QTest::keyClicks(m_text, u"5a2"_s);
        QCOMPARE(m_text->text(), u"172"_s);
        QCOMPARE(m_spin->Value(), 172);
    }

    void enterAndEscapeReachOwnerAndKeepTheirMeaning()
    {
        setUp(0, 50, 1);
        QList<int> codes;
        connect(m_spin, &uSpinButton::KeyPress, this, [&codes](int &key) { codes.append(key); });
        QSignalSpy returned(m_text, &QLineEdit::returnPressed);
        QTest::keyClick(m_text, Qt::Key_Return);
        QTest::keyClick(m_text, Qt::Key_Escape);
        QCOMPARE(codes, (QList<int>{13, 27}));
        QCOMPARE(returned.size(), 1);
    }

    void arrowKeysStepWithinLimits()
    {
        setUp(0, 3, 2);
        QSignalSpy change(m_spin, &uSpinButton::Change);
        QTest::keyClick(m_text, Qt::Key_Up);
        QCOMPARE(m_spin->Value(), 3);
        QCOMPARE(m_text->selectedText(), u"3"_s);
        QTest::keyClick(m_text, Qt::Key_Up);
        QCOMPARE(m_spin->Value(), 3);
        QTest::keyClick(m_text, Qt::Key_Up, Qt::ShiftModifier);
        QTest::keyClick(m_text, Qt::Key_Down, Qt::ControlModifier);
        QCOMPARE(m_spin->Value(), 3);
        for (int i = 0; i < 5; ++i)
            QTest::keyClick(m_text, Qt::Key_Down);
        QCOMPARE(m_spin->Value(), 0);
        QCOMPARE(m_text->text(), u"0"_s);
        QCOMPARE(change.size(), 0);
    }

    void arrowButtonsStepAndRaiseChange()
    {
        setUp(0, 2, 1);
        QSignalSpy change(m_spin, &uSpinButton::Change);
        clickArrow(QStyle::SC_ScrollBarSubLine);
        QCOMPARE(m_spin->Value(), 2);
        clickArrow(QStyle::SC_ScrollBarSubLine); // at Max: unchanged, still reported
        QCOMPARE(m_spin->Value(), 2);
        QCOMPARE(change.size(), 2);
        clickArrow(QStyle::SC_ScrollBarAddLine);
        QCOMPARE(m_spin->Value(), 1);
        QCOMPARE(m_text->selectedText(), u"1"_s);
        QCOMPARE(change.size(), 3);
        QCOMPARE(m_arrows->value(), 1);
        QVERIFY(m_text->hasFocus());
    }

    void lockedIgnoresKeysAndArrows()
    {
        setUp(0, 50, 5);
        m_spin->setLocked(true);
        QVERIFY(m_spin->Locked());
        QVERIFY(m_text->isReadOnly());
        QVERIFY(!m_arrows->isEnabled());
        int keys = 0;
        connect(m_spin, &uSpinButton::KeyPress, this, [&keys](int &) { ++keys; });
        m_text->end(false);
        QTest::keyClick(m_text, Qt::Key_Up);
        QTest::keyClicks(m_text, u"7"_s);
        QCOMPARE(m_spin->Value(), 5);
        QCOMPARE(m_text->text(), u"5"_s);
        QCOMPARE(keys, 0);

        // Enabling the whole control does not free the arrows of a locked one.
        m_spin->setEnabled(false);
        QVERIFY(!m_text->isEnabled());
        m_spin->setEnabled(true);
        QVERIFY(!m_arrows->isEnabled());
        m_spin->setLocked(false);
        QVERIFY(m_arrows->isEnabled());
        QTest::keyClick(m_text, Qt::Key_Up);
        QCOMPARE(m_spin->Value(), 6);
    }

    void focusSelectsAllText()
    {
        m_spin->setValue(42);
        m_window->findChildren<QLineEdit *>().last()->setFocus();
        m_spin->setFocus();
        QTRY_VERIFY(m_text->hasFocus());
        QCOMPARE(m_text->selectedText(), u"42"_s);
    }

    void layoutPutsArrowsRightOfText()
    {
        m_spin->setParent(nullptr);
        m_spin->resize(200, 100);
        m_spin->show();
        QCOMPARE(m_spin->height(), m_text->height());
        QCOMPARE(m_arrows->x() + m_arrows->width(), 200);
        QCOMPARE(m_text->width(), 200 - m_arrows->width());
        QCOMPARE(m_arrows->height(), m_text->height());
        delete m_spin;
    }
};

QTEST_MAIN(TestSpinButton)
#include "tst_uSpinButton.moc"
