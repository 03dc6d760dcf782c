#include "controls/CMRUCombo.h"

#include <QLineEdit>
#include <QTest>

using namespace Qt::StringLiterals;

class TestMRUCombo : public QObject
{
    Q_OBJECT

    std::unique_ptr<QComboBox> m_combo;
    std::unique_ptr<CMRUCombo> m_mru;

    QLineEdit *edit() const { return m_combo->lineEdit(); }

    // Starts typing into an empty box whose drop-down list holds @p list.
    void startTyping(const QStringList &list)
    {
        m_combo->addItems(list);
        m_combo->setCurrentIndex(-1);
        m_combo->setFocus();
        QTRY_VERIFY(m_combo->hasFocus());
        edit()->clear();
    }

private slots:
    void init()
    {
        m_combo = std::make_unique<QComboBox>();
        m_mru = std::make_unique<CMRUCombo>();
        m_mru->setComboBox(m_combo.get());
        m_combo->show();
        m_combo->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_combo.get()));
    }

    void cleanup() { m_mru.reset(); m_combo.reset(); }

    void addMruOrderAndMax()
    {
        m_mru->AddMRU(u"one"_s); // Max starts at 0: no history, but the drop-down list takes it
        QVERIFY(m_mru->MRUList().isEmpty());
        m_mru->setMax(3);
        m_mru->AddMRU(u"alpha"_s);
        m_mru->AddMRU(u"beta"_s);
        m_mru->AddMRU(u"ALPHA"_s, true); // replaces the entry that differs in case, at the front
        m_combo->setEditText(u"typed"_s);
        m_mru->AddMRU(); // the box's text
        m_mru->AddMRU(u"beta"_s); // not first: to the end
        QCOMPARE(m_mru->MRUList(), (QStringList{u"ALPHA"_s, u"typed"_s, u"beta"_s}));
        QStringList items; // the drop-down list keeps the session's items, replacing an exactly equal one
        for (int i = 0; i < m_combo->count(); ++i)
            items.append(m_combo->itemText(i));
        QCOMPARE(items, (QStringList{u"ALPHA"_s, u"one"_s, u"alpha"_s, u"typed"_s, u"beta"_s}));
        m_mru->AddMRU(u"c"_s, true); // beyond Max the last entry goes
        QCOMPARE(m_mru->MRUList(), (QStringList{u"c"_s, u"ALPHA"_s, u"typed"_s}));
    }

    void completion_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("completed"); // the completed rest is selected
        QTest::newRow("common beginning") << u"s"_s << u"se"_s;
        QTest::newRow("whole item") << u"sel"_s << u"select"_s;
        QTest::newRow("no match") << u"selei"_s << u"selei"_s;
        QTest::newRow("asterisk") << u"a*"_s << u"a*b"_s;
        QTest::newRow("no literal match") << u"*"_s << u"*"_s;
        QTest::newRow("letter case counts") << u"A"_s << u"Abc"_s;
    }

    void completion()
    {
        QFETCH(QString, typed);
        QFETCH(QString, completed);
        startTyping({u"select"_s, u"selection"_s, u"setting"_s, u"a*b"_s, u"axb"_s, u"a?c"_s, u"abc"_s, u"Abc"_s});
        QTest::keyClicks(m_combo.get(), typed);
        QCOMPARE(edit()->text(), completed);
        QCOMPARE(edit()->selectedText(), completed.mid(typed.size()));
        QCOMPARE(edit()->cursorPosition(), typed.size());
    }

    // Backspace removes the completed rest, deleting completes nothing; Tab accepts a completion.
    void deletingAndTab()
    {
        startTyping({u"select"_s, u"setting"_s});
        QTest::keyClicks(m_combo.get(), u"sel"_s);
        QTest::keyClick(m_combo.get(), Qt::Key_Backspace);
        QCOMPARE(edit()->text(), u"sel"_s);
        QTest::keyClick(m_combo.get(), Qt::Key_Backspace);
        QCOMPARE(edit()->text(), u"se"_s);
        QTest::keyClicks(m_combo.get(), u"t"_s);
        QTest::keyClick(m_combo.get(), Qt::Key_Tab);
        QCOMPARE(edit()->cursorPosition(), 7);
        QVERIFY(m_combo->hasFocus());
    }
};

QTEST_MAIN(TestMRUCombo)
#include "tst_CMRUCombo.moc"
