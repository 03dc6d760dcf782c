#include "db/NgRuleRepository.h"
#include "settings_ui/frmProperty.h"
#include "viewer/BodyLinkController.h"
#include "viewer/WindowTest.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <QTreeWidget>

using namespace Qt::StringLiterals;

/**
 * NG rules from the window: the tab "NG", the list pop-up and "NGを表示". Board 3's messages 1
 * to 9 are unread, posted by "荒らし" (1 to 3), "荒らし丸" (4) and "名無し", with body "本文<ID>".
 */
class TestNgCommands : public WindowTest
{
    Q_OBJECT

    /** Starts the window; with @p action a rule on the poster "荒らし" (plain text, every board) is in force. */
    bool start(std::optional<NgAction> action = std::nullopt)
    {
        QList<CMessage> messages;
        for (int id = 1; id <= 9; ++id) {
            messages.append(message(3, id, u"本文%1"_s.arg(id)));
            messages.last().PostName = id <= 3 ? u"荒らし"_s : id == 4 ? u"荒らし丸"_s : u"名無し"_s;
        }
        store(messages);
        const NgRule rule{.Field = NgField::Poster, .Pattern = u"荒らし"_s, .BBS_ID = std::nullopt, .Action = action.value_or(NgAction::Hide)};
        return (!action || NgRuleRepository(*m_db).Add(rule)) && startWindow();
    }

    QList<NgRule> rules() { return NgRuleRepository(*gDB).List().value_or(QList<NgRule>()); }
    int unread() { return gDB->OpenRecordset(u"SELECT ID FROM Message WHERE Read = False"_s)->RecordCount(); }
    QAction *item(const QString &name) const { return child<QAction>(name); }

    /** Triggers menu item @p name; @p answer runs on the tab "NG" of the dialog it opens, which is then cancelled. */
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
        QTest::addColumn<int>("boardOfRule"); // 0: every board, -1: refused
        QTest::addColumn<int>("rows");
        QTest::newRow("options: every board") << u"mnuToolOption"_s << u"荒らし"_s << false << 0 << 5;
        QTest::newRow("properties: this board") << u"mnuBBSProperty"_s << u"荒らし"_s << false << 3 << 5;
        QTest::newRow("broken expression refused") << u"mnuToolOption"_s << u"(荒らし"_s << true << -1 << 9;
    }

    /** A rule added on the tab applies at once, though the dialog is cancelled afterwards. */
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
        });
        QCOMPARE(rules().size(), boardOfRule < 0 ? 0 : 1);
        if (boardOfRule >= 0)
            QCOMPARE(rules().first().BBS_ID.value_or(0), boardOfRule);
        else
            QCOMPARE(m_prompter.records().last().icon, Prompter::Icon::Critical);
        QCOMPARE(list(0).rowCount(), rows);
        QCOMPARE(unread(), rows); // the question's default marks the matching messages read
        QCOMPARE(child<QMenu>(u"mnuBBSMove"_s)->actions().at(1)->text(), u"&1. なんでも掲示板 (%1)"_s.arg(rows));
    }

    void removingRuleListsItsRowsAgain()
    {
        QVERIFY(start(NgAction::Hide));
        m_prompter.pushAnswer(Prompter::Ok);
        onNgTab(u"mnuToolOption"_s, [](frmProperty &form) {
            auto *rules = form.findChild<QTreeWidget *>(u"lsvNg"_s);
            rules->setCurrentItem(rules->topLevelItem(0));
            form.findChild<QPushButton *>(u"cmdNgDelete"_s)->click();
        });
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
        QCOMPARE(list(0).rowCount(), 6); // "荒らし丸" stays

        select(5);
        pane()->setTextCursor(pane()->document()->find(u"本文5"_s));
        m_window->UpdateMessageMenu();
        item(u"mnuPopupNgText"_s)->trigger();
        QCOMPARE(list(0).rowCount(), 5);
    }

    /** "NGを表示" lists the hidden rows marked, until turned off or another board is shown. */
    void showNgListsHiddenRowsForAMoment()
    {
        QVERIFY(start(NgAction::Hide));
        item(u"mnuBBSViewNg"_s)->trigger();
        QCOMPARE(list(0).rowCount(), 9);
        const QModelIndex hidden = list(0).index(list(0).RowOf(3, 1), MessageListModel::ColSubject);
        QCOMPARE(hidden.data(Qt::AccessibleDescriptionRole).toString(), u"NG"_s);
        item(u"mnuBBSViewNg"_s)->trigger();
        QCOMPARE(list(0).rowCount(), 5);
        item(u"mnuBBSViewNg"_s)->trigger();
        m_window->SelectBoard(4);
        QVERIFY(!item(u"mnuBBSViewNg"_s)->isChecked());
    }

    /** An あぼーん row shows its original on demand; an anchor's preview never does. */
    void aboneRowShowsItsOriginalOnDemand()
    {
        QVERIFY(start(NgAction::Abone));
        QVERIFY(m_window->Links().PreviewText(3, 1, 1).contains(NgAboneText));
        select(1);
        QCOMPARE(pane()->toPlainText().trimmed(), NgAboneText);
        item(u"mnuPopupNgReveal"_s)->trigger();
        QCOMPARE(pane()->toPlainText().trimmed(), u"本文1"_s);
    }
};

QTEST_MAIN(TestNgCommands)
#include "tst_ngcommands.moc"
