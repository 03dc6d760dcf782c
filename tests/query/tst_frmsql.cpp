#include "app/CIniFile.h"
#include "app/Prompter.h"
#include "app/mdlOption.h"
#include "db/Database.h"
#include "db/mdlDatabase.h"
#include "query/frmSQL.h"
#include "startup/mdlMain.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QGuiApplication>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace Qt::StringLiterals;

/** The query window over a new log database in a temporary folder that holds stored query "q" (SELECT 1). */
class TestFrmSQL : public QObject
{
    Q_OBJECT

    QTemporaryDir m_home;
    ScriptedPrompter m_prompter;
    std::unique_ptr<mdlOption::OptionsGuard> m_options;
    std::unique_ptr<frmSQL> m_window;

    template <typename T> T *child(const QString &name) const { return m_window->findChild<T *>(name); }
    QPlainTextEdit *editor() const { return child<QPlainTextEdit>(u"txtSQL"_s); }
    QComboBox *queries() const { return child<QComboBox>(u"cmbQuery"_s); }
    void click(const QString &button) { child<QPushButton>(button)->click(); }

    void open(const QString &sql = QString())
    {
        m_window = std::make_unique<frmSQL>(*gDB);
        m_window->Load(sql);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    }

    /** Makes the stored-query table refuse @p event ("INSERT", "DELETE") as a full disk would. */
    void refuseStoredQueries(const QString &event)
    {
        QVERIFY(gDB->Execute(u"CREATE TRIGGER refuse BEFORE "_s + event + u" ON MSysQueries BEGIN SELECT RAISE(ABORT, 'refused'); END"_s));
    }

private slots:
    void initTestCase()
    {
        setPrompter(&m_prompter);
        qputenv("TESSERA_HOME", m_home.path().toLocal8Bit());
        gDB = mdlDatabase::CreateLogDatabase(mdlMain::LogDatabasePath());
        QVERIFY(gDB);
    }

    void cleanupTestCase()
    {
        gDB.reset();
        gIniFile.reset();
    }

    void init()
    {
        m_options = std::make_unique<mdlOption::OptionsGuard>();
        for (const QString &name : gDB->QueryDefNames())
            QVERIFY(gDB->DeleteQueryDef(name));
        QVERIFY(gDB->CreateQueryDef(u"q"_s, u"SELECT 1"_s));
        m_prompter.clear();
        QFile::remove(mdlMain::SettingsFilePath());
        gIniFile = std::make_unique<CIniFile>();
        QVERIFY(gIniFile->Load(mdlMain::SettingsFilePath()));
    }

    void cleanup()
    {
        m_window.reset();
        m_options.reset();
        QVERIFY(gDB->Execute(u"DROP TRIGGER IF EXISTS refuse"_s));
    }

    void tableListHoldsTheLogTablesAndDescribesEveryField()
    {
        open();
        auto *tables = child<QComboBox>(u"cmbTable"_s);
        QCOMPARE(tables->currentText(), u"Message"_s);
        QStringList names;
        for (int i = 0; i < tables->count(); ++i) {
            names.append(tables->itemText(i));
            tables->setCurrentIndex(i);
            for (const QListWidgetItem *field : child<QListWidget>(u"lstField"_s)->findItems(u"*"_s, Qt::MatchWildcard))
                QVERIFY2(!field->toolTip().isEmpty(), qPrintable(names.last() + u'.' + field->text()));
        }
        names.sort();
        QCOMPARE(names, (QStringList{u"BBS"_s, u"Mark"_s, u"Message"_s, u"Version"_s}));
    }

    void doubleClickingAFieldReplacesTheSelectionByACondition_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("caret");
        QTest::newRow("date: between the hashes") << u"PostDate"_s << u"PostDate = ##"_s << 12;
        QTest::newRow("text: between the asterisks") << u"Body"_s << u"Body Like '**'"_s << 12;
    }

    void doubleClickingAFieldReplacesTheSelectionByACondition()
    {
        QFETCH(QString, field);
        open(u"WHERE x"_s);
        auto *fields = child<QListWidget>(u"lstField"_s);
        QListWidgetItem *item = fields->findItems(field, Qt::MatchExactly).value(0);
        QVERIFY(item);
        fields->setCurrentItem(item);
        emit fields->itemDoubleClicked(item);
        QTEST(editor()->toPlainText(), "text");
        QTEST(editor()->textCursor().position(), "caret");
    }

    // Stored query "q" is "SELECT 1"; the old statement goes only together with a new one stored.
    void save_data()
    {
        QTest::addColumn<QString>("name"); // as typed into the query box
        QTest::addColumn<QString>("sql");
        QTest::addColumn<int>("answer"); // to the question whether to overwrite
        QTest::addColumn<bool>("diskFull");
        QTest::addColumn<QString>("stored"); // under the name afterwards; "" for none
        QTest::addColumn<QString>("said"); // the end of the last message
        QTest::addColumn<int>("listed");
        QTest::addColumn<bool>("modified");
        const QString overwrite = u"\n上書きしてもよろしいですか？"_s;
        const QString question = u"既にqは存在します。"_s + overwrite;
        const QString notSaved = u"クエリーを保存できませんでした。"_s;
        const int Ok = Prompter::Ok;
        QTest::newRow("new name, trimmed")
            << u"  mine  "_s << u"SELECT * FROM Mark"_s << Ok << false << u"SELECT * FROM Mark"_s << QString() << 2 << false;
        // The name asked for is left empty.
        QTest::newRow("empty name")
            << u"  "_s << u"SELECT 2"_s << Ok << false << QString() << u"クエリー名が入っていません。"_s << 1 << true;
        QTest::newRow("underscore name")
            << u"_hidden"_s << u"SELECT 2"_s << Ok << false << QString() << u"\"_\"で始まるクエリー名は登録できません。"_s << 1 << true;
        QTest::newRow("table name") << u"Message"_s << u"SELECT 2"_s << Ok << false << QString() << notSaved << 1 << true;
        QTest::newRow("overwrite cancelled")
            << u"q"_s << u"SELECT 2"_s << int(Prompter::Cancel) << false << u"SELECT 1"_s << question << 1 << true;
        QTest::newRow("overwrite, name in other case")
            << u"Q"_s << u"SELECT 2"_s << Ok << false << u"SELECT 2"_s << u"既にQは存在します。"_s + overwrite << 1 << false;
        QTest::newRow("overwrite by a mistyped statement")
            << u"q"_s << u"SELECT FROM"_s << Ok << false << u"SELECT 1"_s << notSaved << 1 << true;
        QTest::newRow("overwrite on a full disk")
            << u"q"_s << u"SELECT 2"_s << Ok << true << u"SELECT 1"_s << u"refused\n\n"_s + notSaved << 1 << true;
    }

    void save()
    {
        QFETCH(QString, name);
        QFETCH(QString, sql);
        QFETCH(int, answer);
        QFETCH(bool, diskFull);
        QFETCH(QString, said);
        if (diskFull)
            refuseStoredQueries(u"INSERT"_s);
        open();
        m_prompter.pushAnswer(Prompter::Button(answer));
        editor()->setPlainText(sql);
        queries()->setEditText(name);
        click(u"cmdSave"_s);
        QTEST(gDB->QueryDefSQL(name.trimmed()).value_or(QString()), "stored");
        QVERIFY2(m_prompter.texts().value(m_prompter.texts().size() - 1).endsWith(said), qPrintable(m_prompter.texts().join(u'|')));
        QTEST(queries()->count(), "listed");
        QTEST(m_window->Modified(), "modified");
        QVERIFY(!gDB->InTransaction());
    }

    // A name the window refuses to save may still be deleted; a refused delete keeps the entry.
    void deleteQuery_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("refused");
        QTest::addColumn<QString>("said");
        QTest::addColumn<int>("listed");
        QTest::newRow("underscore name") << u"_old"_s << false << u"_oldを削除してもよろしいですか？\n"_s << 1;
        QTest::newRow("refused by the database") << u"q"_s << true << u"refused\n\nクエリーを削除できませんでした。"_s << 2;
    }

    void deleteQuery()
    {
        QFETCH(QString, name);
        QFETCH(bool, refused);
        QFETCH(QString, said);
        QVERIFY(gDB->CreateQueryDef(u"_old"_s, u"SELECT 1"_s));
        if (refused)
            refuseStoredQueries(u"DELETE"_s);
        open();
        queries()->setEditText(name);
        m_prompter.pushAnswer(Prompter::Ok);
        click(u"cmdDelete"_s);
        QVERIFY2(m_prompter.texts().last().endsWith(said), qPrintable(m_prompter.texts().last()));
        QCOMPARE(gDB->QueryDefSQL(name).has_value(), refused);
        QTEST(queries()->count(), "listed");
    }

    void choosingAQueryAfterEditingAnsweredCancelKeepsTheEdit()
    {
        open(u"SELECT 0"_s);
        editor()->setPlainText(u"edited"_s);
        m_prompter.pushAnswer(Prompter::Cancel);
        queries()->setCurrentIndex(0);
        emit queries()->textActivated(u"q"_s);
        QCOMPARE(m_prompter.texts(), QStringList{u"現在編集中のSQLを保存しますか？"_s});
        QCOMPARE(editor()->toPlainText(), u"edited"_s);
        QCOMPARE(queries()->currentText(), u"q"_s);
    }



    void f5ReturnsTheStatementAndCancelReturnsNothing()
    {
        // Ends a window the test failed to close, so that nothing waits for an answer.
        QTimer::singleShot(5000, this, [] {
            if (auto *window = qobject_cast<QDialog *>(QApplication::activeModalWidget()))
                window->reject();
        });
        QTimer::singleShot(0, this, [] {
            auto *window = qobject_cast<frmSQL *>(QApplication::activeModalWidget());
            QVERIFY(window);
            QTest::keyClick(window->findChild<QPlainTextEdit *>(u"txtSQL"_s), Qt::Key_F5);
        });
        QCOMPARE(frmSQL::ShowSQL(*gDB, u"SELECT 7"_s, nullptr), u"SELECT 7"_s);
        QTimer::singleShot(0, this, [] {
            QApplication::activeModalWidget()->findChild<QPushButton *>(u"cmdCancel"_s)->click();
        });
        QCOMPARE(frmSQL::ShowSQL(*gDB, u"SELECT 7"_s, nullptr), QString());
    }

    // Kept, the place comes from the settings file in twips and goes back there at the close;
    // not kept, the window is centred and the section emptied.
    void geometry_data()
    {
        QTest::addColumn<bool>("kept");
        QTest::addColumn<int>("x");
        QTest::addColumn<int>("separator");
        QTest::addColumn<QString>("stored");
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        QTest::newRow("kept") << true << 10 << 200 << u"450"_s;
        QTest::newRow("not kept") << false << (screen.width() - 640) / 2 << 180 << QString();
    }

    void geometry()
    {
        QFETCH(bool, kept);
        mdlOption::SaveSQLDialogPosition = kept;
        gIniFile->setNowSection(u"SQLDialogPosition"_s);
        gIniFile->setData(u"Left"_s, u"150"_s);
        gIniFile->setData(u"Width"_s, u"9000"_s);
        gIniFile->setData(u"Separator"_s, u"3000"_s);
        open();
        QTEST(m_window->geometry().x(), "x");
        QTEST(child<QWidget>(u"sep"_s)->property("Offset").toInt(), "separator");
        QCOMPARE(m_window->width(), kept ? 600 : 640);
        m_window->setGeometry(30, 40, 600, 400);
        m_window->done(QDialog::Accepted);
        CIniFile stored;
        QVERIFY(stored.Load(mdlMain::SettingsFilePath()));
        stored.setNowSection(u"SQLDialogPosition"_s);
        QTEST(stored.Data(u"Left"_s), "stored");
    }
};

QTEST_MAIN(TestFrmSQL)
#include "tst_frmsql.moc"
