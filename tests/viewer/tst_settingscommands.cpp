#include "cookies/CookieStore.h"
#include "settings_ui/frmProperty.h"
#include "viewer/WindowTest.h"

#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>

using namespace Qt::StringLiterals;

/** The main window's properties and options commands, answered inside their dialogs. */
class TestSettingsCommands : public WindowTest
{
    Q_OBJECT

    std::unique_ptr<CookieStore> m_cookies;

    /** Triggers menu item @p name; @p answer runs inside the dialog it opens. */
    void runDialog(const QString &name, const std::function<void(frmProperty &)> &answer)
    {
        bool answered = false;
        QTimer::singleShot(0, this, [&] {
            auto *form = qobject_cast<frmProperty *>(QApplication::activeModalWidget());
            QVERIFY(form);
            answered = true;
            answer(*form);
            if (form->isVisible())
                form->reject();
        });
        child<QAction>(name)->trigger();
        QVERIFY(answered);
    }

    QString boardItem(int position) const
    {
        return child<QMenu>(u"mnuBBSMove"_s)->actions().at(position + 1)->text();
    }

    int storedNumber(const QString &select)
    {
        const auto rows = gDB->OpenRecordset(select);
        return rows && !rows->IsEOF() ? rows->Value(0).toInt() : -999;
    }

private slots:
    void init()
    {
        prepareHome("[Option]\r\nBBS_ID=4\r\n");
        m_cookies = std::make_unique<CookieStore>(m_home->filePath(u"cookies.txt"_s));
        setCookieStore(m_cookies.get());
        sql(u"UPDATE BBS SET ListOrder = -1 WHERE BBS_ID > 5"_s);
        QVERIFY(startWindow());
    }

    void cleanup()
    {
        closeWindow();
        setCookieStore(nullptr);
    }

    // The properties dialog writes the board's row, and the menus and the caption follow; it
    // opens on the tab selected last. A row the database refuses is reported, and the stored
    // values stay.
    void propertiesWriteRowAndRefreshMenus()
    {
        runDialog(u"mnuBBSProperty"_s, [](frmProperty &form) {
            form.findChild<QLineEdit *>(u"txtName"_s)->setText(u"よろず掲示板"_s);
            form.findChild<QTabWidget *>(u"tabStrip"_s)->setCurrentIndex(1);
            form.findChild<QPushButton *>(u"cmdOK"_s)->click();
        });
        QCOMPARE(m_window->CurrentBBSProperty().BBS_Name(), u"よろず掲示板"_s);
        QVERIFY(boardItem(2).contains(u"よろず掲示板"_s));
        QVERIFY(m_window->windowTitle().startsWith(u"よろず掲示板 - "_s));
        QVERIFY(gDB->Execute(u"CREATE TRIGGER refuse BEFORE UPDATE OF BBS_Name ON BBS WHEN NEW.BBS_Name = 'x' "
                             "BEGIN SELECT RAISE(ABORT, 'refused'); END"_s));
        int openedOn = 0;
        runDialog(u"mnuBBSProperty"_s, [&openedOn](frmProperty &form) {
            openedOn = form.SelectedTabIndex();
            form.findChild<QLineEdit *>(u"txtName"_s)->setText(u"x"_s);
            form.findChild<QPushButton *>(u"cmdOK"_s)->click();
        });
        QCOMPARE(openedOn, 2);
        QVERIFY(m_prompter.texts().last().contains(u"保存できませんでした"_s));
        QCOMPARE(m_window->CurrentBBSProperty().BBS_Name(), u"よろず掲示板"_s);
    }

    // The options dialog may move the shown board: the window reads its row again.
    void optionsReloadShownBoard()
    {
        runDialog(u"mnuToolOption"_s, [](frmProperty &form) {
            auto *order = form.findChild<QListWidget *>(u"lstOrder"_s);
            order->setCurrentRow(2); // the shown board, after board 3 and a separator
            form.findChild<QPushButton *>(u"cmdUp"_s)->click();
            form.findChild<QPushButton *>(u"cmdUp"_s)->click();
            form.findChild<QPushButton *>(u"cmdOK"_s)->click();
        });
        QCOMPARE(m_window->CurrentBBSProperty().ListOrder(), 0);
        QCOMPARE(storedNumber(u"SELECT ListOrder FROM BBS WHERE BBS_ID = 3"_s), 1);
    }
};

QTEST_MAIN(TestSettingsCommands)
#include "tst_settingscommands.moc"
