#include "controls/CMRUCombo.h"

#include <QApplication>
#include <QLineEdit>
#include <QTest>

using namespace Qt::StringLiterals;

class TestMRUCombo : public QObject
{
    Q_OBJECT

    std::unique_ptr<QComboBox> m_combo;
    std::unique_ptr<CMRUCombo> m_mru;

    QStringList items() const
    {
        QStringList list;
        for (int i = 0; i < m_combo->count(); ++i)
            list.append(m_combo->itemText(i));
        return list;
    }

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

    static void type(const QString &text) { QTest::keyClicks(QApplication::focusWidget(), text); }
    static void key(Qt::Key k) { QTest::keyClick(QApplication::focusWidget(), k); }

private slots:
    void init()
    {
        m_combo = std::make_unique<QComboBox>();
        m_combo->setObjectName(u"cmbFindText"_s);
        m_mru = std::make_unique<CMRUCombo>();
        m_mru->setComboBox(m_combo.get());
        m_combo->show();
        m_combo->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_combo.get()));
    }

    void cleanup()
    {
        m_mru.reset();
        m_combo.reset();
    }

    void attachingStartsEmptyWithMaxZero()
    {
        CMRUCombo fresh;
        QCOMPARE(fresh.Max(), 10);
        QCOMPARE(m_mru->Max(), 0);
        QVERIFY(m_mru->MRUList().isEmpty());
        QVERIFY(m_combo->isEditable());
        QVERIFY(!m_combo->completer());

        m_mru->AddMRU(u"one"_s);
        m_mru->AddMRU(u"two"_s, true);
        QVERIFY(m_mru->MRUList().isEmpty());
        QCOMPARE(items(), (QStringList{u"two"_s, u"one"_s}));
    }

    void addMruOrdersAndReplacesIgnoringCase()
    {
        m_mru->setMax(-1);
        m_mru->AddMRU(u"alpha"_s, true); // first into an empty list
        m_mru->AddMRU(u"beta"_s);
        m_mru->AddMRU(u"gamma"_s);
        QCOMPARE(m_mru->MRUList(), (QStringList{u"alpha"_s, u"beta"_s, u"gamma"_s}));

        m_mru->AddMRU(u"gamma"_s, true);
        QCOMPARE(m_mru->MRUList(), (QStringList{u"gamma"_s, u"alpha"_s, u"beta"_s}));
        QCOMPARE(items(), (QStringList{u"gamma"_s, u"alpha"_s, u"beta"_s}));
        QCOMPARE(m_combo->currentText(), u"gamma"_s);

        m_mru->AddMRU(u"ALPHA"_s, true);
        QCOMPARE(m_mru->MRUList(), (QStringList{u"ALPHA"_s, u"gamma"_s, u"beta"_s}));
        QCOMPARE(items().first(), u"ALPHA"_s);

        m_mru->AddMRU(u"beta"_s); // not first: to the end
        QCOMPARE(m_mru->MRUList().last(), u"beta"_s);
        QCOMPARE(items().count(u"beta"_s), 1);

        m_combo->setEditText(u"typed"_s);
        m_mru->AddMRU();
        QCOMPARE(m_mru->MRUList().last(), u"typed"_s);
    }

    void maxTrimsTheOldest()
    {
        m_mru->setMax(2);
        for (const QString &text : {u"a"_s, u"b"_s, u"c"_s})
            m_mru->AddMRU(text, true);
        QCOMPARE(m_mru->MRUList(), (QStringList{u"c"_s, u"b"_s}));
        QCOMPARE(items(), (QStringList{u"c"_s, u"b"_s, u"a"_s}));

        m_mru->setMax(-1);
        for (int i = 0; i < 30; ++i)
            m_mru->AddMRU(QString::number(i));
        QCOMPARE(m_mru->MRUList().size(), 32);
    }

    void addMruTempLeavesHistoryAlone()
    {
        m_mru->setMax(-1);
        m_mru->AddMRU(u"kept"_s);
        m_mru->AddMRUTemp(u"session"_s, true);
        m_mru->AddMRUTemp(u"kept"_s);
        QCOMPARE(m_mru->MRUList(), QStringList{u"kept"_s});
        QCOMPARE(items(), (QStringList{u"session"_s, u"kept"_s}));
        QCOMPARE(m_combo->currentText(), u"kept"_s);
    }

    void completesToCommonBeginning()
    {
        startTyping({u"select"_s, u"selection"_s, u"setting"_s});
        type(u"s"_s);
        QCOMPARE(edit()->text(), u"se"_s);
        QCOMPARE(edit()->selectedText(), u"e"_s);
        QCOMPARE(edit()->cursorPosition(), 1);
        type(u"el"_s);
        QCOMPARE(edit()->text(), u"select"_s);
        QCOMPARE(edit()->selectedText(), u"ect"_s);
        type(u"ei"_s); // no item starts with "selei"
        QCOMPARE(edit()->text(), u"selei"_s);
        QVERIFY(!edit()->hasSelectedText());
    }

    void wildcardCharactersAreLiteral_data()
    {
        QTest::addColumn<QStringList>("list");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("completed");
        const QStringList list{u"a*b"_s, u"axb"_s, u"a?c"_s, u"abc"_s, u"[x]1"_s, u"[x]2"_s,
                               u"x1"_s, u"#9"_s, u"19"_s, u"Abc"_s};
        QTest::newRow("asterisk") << list << u"a*"_s << u"a*b"_s;
        QTest::newRow("question mark") << list << u"a?"_s << u"a?c"_s;
        QTest::newRow("bracket") << list << u"["_s << u"[x]"_s;
        QTest::newRow("hash") << list << u"#"_s << u"#9"_s;
        QTest::newRow("no literal match") << list << u"*"_s << u"*"_s;
        QTest::newRow("letter case counts") << list << u"A"_s << u"Abc"_s;
    }

    void wildcardCharactersAreLiteral()
    {
        QFETCH(QStringList, list);
        QFETCH(QString, typed);
        QFETCH(QString, completed);
        startTyping(list);
        type(typed);
        QCOMPARE(edit()->text(), completed);
    }

    void noCompletionWhileDeleting()
    {
        startTyping({u"select"_s, u"setting"_s});
        type(u"sel"_s);
        QCOMPARE(edit()->text(), u"select"_s);
        key(Qt::Key_Backspace); // removes the selected rest
        QCOMPARE(edit()->text(), u"sel"_s);
        key(Qt::Key_Backspace);
        QCOMPARE(edit()->text(), u"se"_s);
        QVERIFY(!edit()->hasSelectedText());
        edit()->setCursorPosition(0);
        key(Qt::Key_Delete);
        QCOMPARE(edit()->text(), u"e"_s);
        edit()->end(false);
        type(u"t"_s); // typing forward completes again
        QCOMPARE(edit()->text(), u"et"_s);
        edit()->setText(u"se"_s);
        type(u"t"_s);
        QCOMPARE(edit()->text(), u"setting"_s);
    }

    void tabAcceptsCompletion()
    {
        startTyping({u"selection"_s});
        type(u"sel"_s);
        QCOMPARE(edit()->selectedText(), u"ection"_s);
        key(Qt::Key_Tab);
        QVERIFY(!edit()->hasSelectedText());
        QCOMPARE(edit()->cursorPosition(), 9);
        QCOMPARE(edit()->text(), u"selection"_s);
        QVERIFY(m_combo->hasFocus());
    }
};

QTEST_MAIN(TestMRUCombo)
#include "tst_CMRUCombo.moc"
