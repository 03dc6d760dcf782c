#include "db/NgRuleRepository.h"
#include "settings_ui/frmProperty.h"
#include "viewer/WindowTest.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <QTreeWidget>

using namespace Qt::StringLiterals;

/**
 * The NG rules from the window: the "NG" tab of the options and board properties, the list
 * pop-up's items and "NGを表示". Board 3 is shown; its messages 1 to 9 are unread, posted by
 * "荒らし" (1 to 3), "荒らし丸" (4) and "名無し" (5 to 9), with the body "本文<ID>".
 */
class TestNgCommands : public WindowTest
{
    Q_OBJECT

    bool start(const QList<NgRule> &rules = {})
    {
        QList<CMessage> messages;
        for (int id = 1; id <= 9; ++id) {
            CMessage m = message(3, id, u"本文%1"_s.arg(id));
            m.PostName = id <= 3 ? u"荒らし"_s : id == 4 ? u"荒らし丸"_s : u"名無し"_s;
            m.Read = false;
            messages.append(m);
        }
        store(messages);
        for (const NgRule &rule : rules) {
            if (!NgRuleRepository(*m_db).Add(rule))
                return false;
        }
        sql(u"UPDATE BBS SET ListOrder = -1 WHERE BBS_ID > 4"_s);
        return startWindow();
    }

    static NgRule posterRule(const QString &pattern, NgAction action = NgAction::Hide)
    {
        NgRule rule;
        rule.Field = NgField::Poster;
        rule.Pattern = pattern;
        rule.Action = action;
        return rule;
    }

    QList<NgRule> rules() { return NgRuleRepository(*gDB).List().value_or(QList<NgRule>()); }
    int unread() { return gDB->OpenRecordset(u"SELECT ID FROM Message WHERE Read = False"_s)->RecordCount(); }
    QAction *item(const QString &name) const { return child<QAction>(name); }

    /** Triggers menu item @p name; @p answer runs inside the settings dialog it opens, which is then cancelled. */
    void onNgTab(const QString &name, const std::function<void(frmProperty &)> &answer)
    {
        bool answered = false;
        QTimer::singleShot(0, this, [&] {
            auto *form = qobject_cast<frmProperty *>(QApplication::activeModalWidget());
            QVERIFY(form);
            form->findChild<QTabWidget *>(u"tabStrip"_s)->setCurrentIndex(int(form->TabKeys().indexOf(u"#9"_s)));
            answered = true;
            answer(*form);
            form->reject();
        });
        item(name)->trigger();
        QVERIFY(answered);
    }

    /** Selects the row of message @p id and runs the pop-up's enabling. */
    void select(int id)
    {
        m_window->ShowMessage(0, list(0).RowOf(3, id), false);
        m_window->UpdateMessageMenu();
    }

private slots:
    void init() { prepareHome("[Option]\r\nBBS_ID=3\r\nAddMax=1000\r\nReadTiming=60000\r\n"); }
    void cleanup() { closeWindow(); }

    void ngTabAddsRule_data()
    {
        QTest::addColumn<QString>("menu");
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<bool>("regExp");
        QTest::addColumn<int>("boardOfRule"); // 0: every board, -1: no rule stored
        QTest::addColumn<int>("rows");
        QTest::newRow("options: every board") << u"mnuToolOption"_s << u"荒らし"_s << false << 0 << 5;
        QTest::newRow("properties: this board") << u"mnuBBSProperty"_s << u"荒らし"_s << false << 3 << 5;
        QTest::newRow("expression: the whole name") << u"mnuToolOption"_s << u"^荒らし$"_s << true << 0 << 6;
        QTest::newRow("broken expression refused") << u"mnuToolOption"_s << u"(荒らし"_s << true << -1 << 9;
    }

    /** A rule added on the tab applies at once, even though the dialog is cancelled afterwards. */
    void ngTabAddsRule()
    {
        QFETCH(QString, menu);
        QFETCH(QString, pattern);
        QFETCH(bool, regExp);
        QFETCH(int, boardOfRule);
        QFETCH(int, rows);
        QVERIFY(start());
        onNgTab(menu, [&](frmProperty &form) {
            form.findChild<QLineEdit *>(u"txtNgPattern"_s)->setText(pattern);
            form.findChild<QCheckBox *>(u"chkNgRegExp"_s)->setChecked(regExp);
            form.findChild<QPushButton *>(u"cmdNgAdd"_s)->click();
            QCOMPARE(form.findChild<QTreeWidget *>(u"lsvNg"_s)->topLevelItemCount(), boardOfRule < 0 ? 0 : 1);
        });
        QCOMPARE(rules().size(), boardOfRule < 0 ? 0 : 1);
        if (boardOfRule >= 0)
            QCOMPARE(rules().first().BBS_ID.value_or(0), boardOfRule);
        else
            QCOMPARE(m_prompter.records().last().icon, Prompter::Icon::Critical);
        QCOMPARE(list(0).rowCount(), rows);
        QCOMPARE(unread(), rows); // the question's default marks the hidden rows read
    }

    void removingRuleListsItsRowsAgain()
    {
        QVERIFY(start({posterRule(u"荒らし"_s)}));
        QCOMPARE(list(0).rowCount(), 5);
        m_prompter.pushAnswer(Prompter::Ok);
        onNgTab(u"mnuToolOption"_s, [](frmProperty &form) {
            auto *rules = form.findChild<QTreeWidget *>(u"lsvNg"_s);
            rules->setCurrentItem(rules->topLevelItem(0));
            form.findChild<QPushButton *>(u"cmdNgDelete"_s)->click();
        });
        QVERIFY(rules().isEmpty());
        QCOMPARE(list(0).rowCount(), 9);
    }

    /** The poster item matches the whole name on this board; the text item the selected text. */
    void popupAddsRule()
    {
        QVERIFY(start());
        select(1);
        QVERIFY(!item(u"mnuPopupNgText"_s)->isEnabled());
        item(u"mnuPopupNgPoster"_s)->trigger();
        QCOMPARE(rules().first().BBS_ID, std::optional<int>(3));
        QCOMPARE(list(0).rowCount(), 6);
        QVERIFY(list(0).RowOf(3, 4) >= 0);

        select(5);
        QTextCursor cursor = pane()->document()->find(u"本文5"_s);
        pane()->setTextCursor(cursor);
        m_window->UpdateMessageMenu();
        item(u"mnuPopupNgText"_s)->trigger();
        QCOMPARE(rules().last().Pattern, u"本文5"_s);
        QCOMPARE(list(0).rowCount(), 5);
    }

    /** "NGを表示" lists the hidden rows marked, until turned off or another board is shown. */
    void showNgListsHiddenRowsForAMoment()
    {
        QVERIFY(start({posterRule(u"荒らし"_s)}));
        item(u"mnuBBSViewNg"_s)->trigger();
        QCOMPARE(list(0).rowCount(), 9);
        const QModelIndex hidden = list(0).index(list(0).RowOf(3, 1), MessageListModel::ColSubject);
        QCOMPARE(hidden.data(MessageListModel::NgRole).toInt(), int(MessageListModel::NgMark::Hidden));
        QCOMPARE(hidden.data(Qt::AccessibleDescriptionRole).toString(), u"NG"_s);
        item(u"mnuBBSViewNg"_s)->trigger();
        QCOMPARE(list(0).rowCount(), 5);

        item(u"mnuBBSViewNg"_s)->trigger();
        m_window->SelectBoard(4);
        QVERIFY(!item(u"mnuBBSViewNg"_s)->isChecked());
        QVERIFY(!list(0).ShowNg());
    }

    void revealShowsTheOriginal()
    {
        QVERIFY(start({posterRule(u"荒らし"_s, NgAction::Abone)}));
        select(1);
        QCOMPARE(pane()->toPlainText().trimmed(), NgAboneText);
        QVERIFY(item(u"mnuPopupNgReveal"_s)->isEnabled());
        item(u"mnuPopupNgReveal"_s)->trigger();
        QCOMPARE(pane()->toPlainText().trimmed(), u"本文1"_s);
        QCOMPARE(list(0).CellText(list(0).RowOf(3, 1), MessageListModel::ColName), u"荒らし"_s);
    }
};

QTEST_MAIN(TestNgCommands)
#include "tst_ngcommands.moc"
