#include "app/CIniFile.h"
#include "app/Prompter.h"
#include "app/mdlOption.h"
#include "controls/uSpinButton.h"
#include "cookies/CookieStore.h"
#include "db/CBBSProperty.h"
#include "db/Database.h"
#include "settings_ui/frmProperty.h"
#include "startup/mdlMain.h"
#include "support/TestFiles.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

using namespace Qt::StringLiterals;

namespace {
constexpr int Nandemo = 3; // boards of a new log database; type 3, ListOrder 0
constexpr int Zatsudan = 4;
constexpr int Shitsumon = 5;
constexpr int Joho = 6;
} // namespace

/** The dialog over a new program folder, driven through its widgets. */
class TestFrmProperty : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_home;
    std::unique_ptr<CookieStore> m_cookies;
    std::unique_ptr<mdlOption::OptionsGuard> m_options;
    ScriptedPrompter m_prompter;
    CBBSProperty m_record;
    std::unique_ptr<frmProperty> m_form;

    template <typename T> T *child(const QString &name) const { return m_form->findChild<T *>(name); }
    void click(const QString &button) { child<QPushButton>(button)->click(); }
    QListWidget *list(const QString &name) const { return child<QListWidget>(name); }

    void open(frmProperty::Mode mode, int BBS_ID, int tab = 1)
    {
        QVERIFY(m_record.GetProperty(BBS_ID, *gDB));
        m_form = std::make_unique<frmProperty>(*gDB);
        m_form->Load(mode, m_record, tab);
        m_form->show();
        m_form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
    }

    void showTab(const QString &key)
    {
        child<QTabWidget>(u"tabStrip"_s)->setCurrentIndex(int(m_form->TabKeys().indexOf(key)));
    }

    void sql(const QString &statement) { QVERIFY2(gDB->Execute(statement), qPrintable(statement)); }

    static CBBSProperty stored(int BBS_ID)
    {
        CBBSProperty board;
        board.GetProperty(BBS_ID, *gDB);
        return board;
    }
    static int listOrder(int BBS_ID) { return stored(BBS_ID).ListOrder(); }

    /** Shows only @p boards, at the ListOrder given for each. */
    void showOnly(const QList<std::pair<int, int>> &boards)
    {
        sql(u"UPDATE BBS SET ListOrder = -1"_s);
        for (const auto &[id, order] : boards)
            sql(u"UPDATE BBS SET ListOrder = %1 WHERE BBS_ID = %2"_s.arg(order).arg(id));
    }

    QList<int> ids(const QString &listName) const
    {
        QList<int> result;
        for (int i = 0; i < list(listName)->count(); ++i)
            result.append(list(listName)->item(i)->data(Qt::UserRole).toInt());
        return result;
    }

    void selectBoard(const QString &listName, int BBS_ID)
    {
        list(listName)->setCurrentRow(int(ids(listName).indexOf(BBS_ID)));
    }

    QTreeWidget *searches() const { return child<QTreeWidget>(u"lsvWebSearch"_s); }
    void typeSearch(const QString &caption, const QString &url)
    {
        child<QLineEdit>(u"txtWebSearchName"_s)->setText(caption);
        child<QLineEdit>(u"txtWebSearchURL"_s)->setText(url);
    }

private slots:
    void initTestCase() { setPrompter(&m_prompter); }

    void init()
    {
        m_options = std::make_unique<mdlOption::OptionsGuard>();
        m_home = std::make_unique<QTemporaryDir>();
        qputenv("TESSERA_HOME", m_home->path().toLocal8Bit());
        QVERIFY(mdlMain::StartApplication()); // a new log database and settings file, the folders made
        m_cookies = std::make_unique<CookieStore>(m_home->filePath(u"cookies.txt"_s));
        setCookieStore(m_cookies.get());
        m_record = CBBSProperty();
        m_prompter.clear();
    }

    void cleanup()
    {
        m_form.reset();
        gDB.reset();
        gIniFile.reset();
        setCookieStore(nullptr);
        m_cookies.reset();
        m_options.reset();
    }


    // Positions without a board show as separators; a stray huge ListOrder shows after a bounded
    // gap instead of millions of separators. OK stores the positions shown.
    void orderWithGapsRoundTrips()
    {
        showOnly({{Zatsudan, 0}, {Shitsumon, 2}, {Joho, 5}, {Nandemo, 2000000000}});
        open(frmProperty::PropertyMode, Zatsudan);
        QCOMPARE(ids(u"lstOrder"_s).first(6), (QList<int>{Zatsudan, -1, Shitsumon, -1, -1, Joho}));
        QCOMPARE(list(u"lstOrder"_s)->count(), 107);
        click(u"cmdOK"_s);
        QVERIFY(m_form->Result());
        QCOMPARE(listOrder(Zatsudan), 0);
        QCOMPARE(listOrder(Shitsumon), 2);
        QCOMPARE(listOrder(Joho), 5);
        QCOMPARE(listOrder(Nandemo), 106);
        QCOMPARE(listOrder(7), -1); // hidden stays hidden
    }

    // An added board goes after the selected entry and into the visit list as stored; a removed one
    // leaves the visit list. The record the caller writes back carries its board's new position.
    void orderEditsAreStored()
    {
        showOnly({{Zatsudan, 0}, {Joho, 1}});
        sql(u"UPDATE BBS SET VisitLoad = True"_s);
        open(frmProperty::PropertyMode, Zatsudan);
        selectBoard(u"lstOrder"_s, Zatsudan);
        selectBoard(u"lstAll"_s, Shitsumon);
        click(u"cmdAdd"_s);
        QCOMPARE(ids(u"lstOrder"_s), (QList<int>{Zatsudan, Shitsumon, Joho}));
        QVERIFY(list(u"lstVisitLoad"_s)->item(1)->isSelected());
        selectBoard(u"lstOrder"_s, Zatsudan);
        click(u"cmdDown"_s);
        selectBoard(u"lstOrder"_s, Joho);
        click(u"cmdDelete"_s);
        QVERIFY(ids(u"lstAll"_s).contains(Joho));
        QVERIFY(!ids(u"lstVisitLoad"_s).contains(Joho));
        click(u"cmdOK"_s);
        QVERIFY(m_record.SetProperty());
        QCOMPARE(listOrder(Shitsumon), 0);
        QCOMPARE(listOrder(Zatsudan), 1);
        QCOMPARE(listOrder(Joho), -1);
        QVERIFY(stored(Shitsumon).VisitLoad());
        QVERIFY(!stored(Joho).VisitLoad());
    }

    void emptyOrderIsRefused()
    {
        open(frmProperty::PropertyMode, Zatsudan, 4);
        while (list(u"lstOrder"_s)->count() > 0) {
            list(u"lstOrder"_s)->setCurrentRow(0);
            click(u"cmdDelete"_s);
        }
        click(u"cmdOK"_s);
        QCOMPARE(m_prompter.texts().last(), u"掲示板が選択されていません。"_s);
        QVERIFY(m_form->isVisible());
        QCOMPARE(listOrder(Zatsudan), 2);
    }

    void failedOrderSaveKeepsOldOrder()
    {
        sql(u"UPDATE BBS SET VisitLoad = True"_s);
        // The engine refuses the third board's new position in the middle of the save.
        QVERIFY(gDB->Execute(u"CREATE TRIGGER refuse BEFORE UPDATE OF ListOrder ON BBS "
                             "WHEN NEW.BBS_ID = 5 AND NEW.ListOrder = 2 BEGIN SELECT RAISE(ABORT, 'refused'); END"_s));
        open(frmProperty::PropertyMode, Zatsudan);
        selectBoard(u"lstOrder"_s, Shitsumon);
        click(u"cmdUp"_s);
        click(u"cmdOK"_s);
        QVERIFY(!m_form->Result());
        QVERIFY(m_prompter.texts().last().contains(u"元の表示順"_s));
        QCOMPARE(listOrder(Nandemo), 0);
        QCOMPARE(listOrder(Zatsudan), 2);
        QCOMPARE(listOrder(Shitsumon), 3);
        QVERIFY(stored(Joho).VisitLoad());
    }


    // Leaving "#1" with an empty short name is refused; a text-page board's cookie fields are disabled.
    void shortNameRequiredTextPageFieldsDisabled()
    {
        open(frmProperty::PropertyMode, Nandemo);
        child<QLineEdit>(u"txtShortName"_s)->setText(u"  "_s);
        showTab(u"#2"_s);
        QCOMPARE(m_prompter.texts().last(), u"掲示板の短縮名が入っていません。"_s);
        QCOMPARE(m_form->SelectedTabKey(), u"#1"_s);
        QCOMPARE(QApplication::focusWidget(), child<QLineEdit>(u"txtShortName"_s));
        child<QLineEdit>(u"txtShortName"_s)->setText(u"なんでも"_s);
        showTab(u"#2"_s);
        QVERIFY(!child<QLineEdit>(u"txtPostName"_s)->isEnabled());
    }

    void personalFieldsFollowTheChosenType_data()
    {
        QTest::addColumn<int>("type"); // chosen in the dialog; -1 keeps the stored comma-list type
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("comma list stores a name") << -1 << u"山田"_s << true;
        // A "," would shift every later setting of the comma list.
        QTest::newRow("comma list refuses a comma") << -1 << u"山田,太郎"_s << false;
        QTest::newRow("switched to text page keeps a comma") << 3 << u"山田,太郎"_s << true;
    }

    // The name is checked against the type chosen on "#1", and OK stores it in that type's cookie.
    void personalFieldsFollowTheChosenType()
    {
        QFETCH(int, type);
        QFETCH(QString, name);
        QFETCH(bool, accepted);
        const QUrl board(u"http://bbs.example.jp/cgi-bin/zatsudan.cgi"_s);
        QVERIFY(m_cookies->SetCookieBytes(board, "zatsudan_ck", "ck_name%3D%26ck_text%3D30"));
        open(frmProperty::PropertyMode, Zatsudan);
        if (type >= 0)
            child<QRadioButton>(u"optBBSType(%1)"_s.arg(type))->click();
        showTab(u"#2"_s);
        child<QLineEdit>(u"txtPostName"_s)->setText(name);
        showTab(u"#1"_s);
        click(u"cmdOK"_s);
        QCOMPARE(m_form->Result(), accepted);
        QCOMPARE(m_form->SelectedTabKey(), accepted ? u"#1"_s : u"#2"_s);
        QCOMPARE(m_record.PostName(), accepted ? name : QString());
    }

    void boardUrlIsChecked_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("not a url") << u"not a url"_s << false;
        QTest::newRow("not a web address") << u"ftp://bbs.example.jp/a.cgi"_s << false;
        QTest::newRow("no host") << u"http:///a.cgi"_s << false;
        QTest::newRow("https") << u"https://bbs.example.jp/a.cgi"_s << true;
    }

    // A bad address is refused on "#1" whatever tab OK is pressed on, and what was typed on "#2"
    // stays in the open dialog; a good one stores it in the cookie of the new address.
    void boardUrlIsChecked()
    {
        QFETCH(QString, url);
        QFETCH(bool, accepted);
        open(frmProperty::PropertyMode, Zatsudan);
        child<QLineEdit>(u"txtURL"_s)->setText(url);
        showTab(u"#2"_s);
        child<QLineEdit>(u"txtPassword"_s)->setText(u"secret"_s);
        click(u"cmdOK"_s);
        QCOMPARE(m_form->Result(), accepted);
        QCOMPARE(m_form->SelectedTabKey(), accepted ? u"#2"_s : u"#1"_s);
        QCOMPARE(child<QLineEdit>(u"txtPassword"_s)->text(), u"secret"_s);
        QCOMPARE(m_record.Password(), accepted ? u"secret"_s : QString());
    }

    // "全ての掲示板に適応する" writes every board at once; Cancel then drops the other changes.
    void allBoardsWritesAtOnceCancelTheRest()
    {
        open(frmProperty::PropertyMode, Zatsudan, 2);
        QTest::keyClicks(child<QLineEdit>(u"txtMail"_s), u"a@example.jp"_s);
        click(u"cmdAllBBS"_s);
        child<QLineEdit>(u"txtPostName"_s)->setText(u"山田"_s);
        showTab(u"#7"_s);
        selectBoard(u"lstOrder"_s, Shitsumon);
        click(u"cmdDelete"_s);
        click(u"cmdCancel"_s);
        QVERIFY(!m_form->Result());
        QCOMPARE(stored(Joho).Mail(), u"a@example.jp"_s);
        QCOMPARE(m_record.PostName(), QString());
        QCOMPARE(listOrder(Shitsumon), 3);
    }


    void okSetsTheOptions()
    {
        mdlOption::AddTaskTray = true;
        mdlOption::HideAtMinimazed = true;
        mdlOption::ReadTiming = 20000;
        open(frmProperty::OptionMode, Zatsudan);
        // A stored value beyond a spin box's range is shown at the nearest end, not as 0.
        QCOMPARE(child<uSpinButton>(u"uspnReadTiming"_s)->Value(), 10000);
        child<QCheckBox>(u"chkAddTaskTray"_s)->click(); // disables the tick that depends on it, which stays
        QVERIFY(!child<QCheckBox>(u"chkHideAtMinimazed"_s)->isEnabled());
        child<QCheckBox>(u"chkIgnoreCase"_s)->setChecked(true); // ticked: the letter case counts
        child<QCheckBox>(u"chkTimer"_s)->click();
        child<QCheckBox>(u"chkNotifyNewMessages"_s)->click();
        child<QCheckBox>(u"chkUseTextIndex"_s)->click();
        click(u"cmdOK"_s);
        QVERIFY(m_form->Result());
        QVERIFY(mdlOption::Timer);
        QVERIFY(!mdlOption::NotifyNewMessages);
        QVERIFY(!mdlOption::UseTextIndex);
        QVERIFY(!mdlOption::IgnoreCase);
        QVERIFY(!mdlOption::AddTaskTray);
        QVERIFY(mdlOption::HideAtMinimazed);
    }

    void dateFormatNeedsADate_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QString>("preview"); // the format applied to today
        const QDate today = QDate::currentDate();
        const QString quarter = QString::number((today.month() + 2) / 3);
        QTest::newRow("quarters only") << u"qqq"_s << false << quarter + quarter + quarter;
        QTest::newRow("literal only") << u"\"日付\""_s << false << u"日付"_s;
        QTest::newRow("year") << u"yyyy"_s << true << QString::number(today.year());
        QTest::newRow("month and day") << u"m/d"_s << true << u"%1/%2"_s.arg(today.month()).arg(today.day());
    }

    // 投稿日 must tell the messages' dates apart; the label beside the field shows the typed format.
    void dateFormatNeedsADate()
    {
        QFETCH(QString, format);
        QFETCH(bool, accepted);
        open(frmProperty::OptionMode, Zatsudan);
        const QString before = mdlOption::DateFormat;
        child<QLineEdit>(u"txtDateFormat"_s)->setText(format);
        QTEST(child<QLabel>(u"lblDateFormatPreview"_s)->text(), "preview");
        click(u"cmdOK"_s);
        QCOMPARE(m_form->Result(), accepted);
        QCOMPARE(mdlOption::DateFormat, accepted ? format : before);
    }

    // A folder the user declines to create refuses OK: the dialog stays open, and neither the
    // options set so far nor the searches are stored.
    void declinedFolderStoresNothing()
    {
        const int timeout = mdlOption::Timeout;
        const QByteArray ini = readFile(mdlMain::SettingsFilePath());
        open(frmProperty::OptionMode, Zatsudan, 4);
        typeSearch(u"辞書(&D)..."_s, u"https://dict.example.jp/?q=%s"_s);
        click(u"cmdAddSearch"_s);
        showTab(u"#8"_s);
        child<uSpinButton>(u"uspnTimeout"_s)->setValue(timeout + 1);
        child<QLineEdit>(u"txtCacheFileName"_s)->setText(m_home->filePath(u"missing"_s));
        m_prompter.pushAnswer(Prompter::No);
        click(u"cmdOK"_s);
        QVERIFY(!m_form->Result());
        QVERIFY(m_form->isVisible());
        QCOMPARE(mdlOption::Timeout, timeout);
        QCOMPARE(mdlOption::CacheFilePath, m_home->filePath(u"cache/"_s));
        QCOMPARE(readFile(mdlMain::SettingsFilePath()), ini);
    }

    void webSearchEntries_data()
    {
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("url");
        QTest::addColumn<int>("count"); // entries after the addition; three to begin with
        QTest::addColumn<QString>("stored"); // in the settings file after OK
        const QString dict = u"https://dict.example.jp/?q=%s"_s;
        QTest::newRow("new, caption trimmed") << u" 辞書(&D)... "_s << dict << 4 << dict;
        QTest::newRow("same caption replaces") << u"Googleで検索(&G)..."_s << dict << 3 << dict;
        // The search command opens the address: only a web address with a place for the text.
        QTest::newRow("not a web address") << u"A(&A)"_s << u"file:///etc/%s"_s << 3 << QString();
        QTest::newRow("no place for the text") << u"A(&A)"_s << u"https://a.example.jp/?q="_s << 3 << QString();
        // A "=" in a caption would split the settings-file key.
        QTest::newRow("equals sign in caption") << u"a=b"_s << dict << 3 << QString();
    }

    void webSearchEntries()
    {
        QFETCH(QString, caption);
        QFETCH(QString, url);
        open(frmProperty::OptionMode, Zatsudan, 4);
        typeSearch(caption, url);
        child<QLineEdit>(u"txtWebSearchURL"_s)->setFocus();
        QTest::keyClick(child<QLineEdit>(u"txtWebSearchURL"_s), Qt::Key_Return); // adds; the dialog stays
        QTEST(int(searches()->topLevelItemCount()), "count");
        click(u"cmdOK"_s);
        CIniFile written;
        QVERIFY(written.Load(mdlMain::SettingsFilePath()));
        written.setNowSection(u"WebSearch"_s);
        QTEST(written.Data(caption.trimmed()), "stored");
    }

    // Delete in the list asks first; outside the search boxes Enter is OK's again.
    void webSearchDeleteAsks()
    {
        open(frmProperty::OptionMode, Zatsudan, 4);
        child<QLineEdit>(u"txtWebSearchURL"_s)->setFocus();
        searches()->setFocus();
        QVERIFY(child<QPushButton>(u"cmdOK"_s)->isDefault());
        searches()->setCurrentItem(searches()->topLevelItem(0));
        m_prompter.pushAnswer(Prompter::Ok);
        QTest::keyClick(searches(), Qt::Key_Delete);
        QCOMPARE(m_prompter.texts().last(), u"Googleで検索(&G)...を削除します。\nよろしいですか？"_s);
        click(u"cmdOK"_s);
        gIniFile->setNowSection(u"WebSearch"_s);
        QCOMPARE(gIniFile->Keys().size(), 2);
    }
};

QTEST_MAIN(TestFrmProperty)
#include "tst_frmproperty.moc"
