#pragma once

#include "app/OneShotTimer.h"
#include "app/Prompter.h"
#include "app/mdlOption.h"
#include "db/Database.h"
#include "db/Transaction.h"
#include "db/mdlDatabase.h"
#include "startup/mdlMain.h"
#include "support/TestFiles.h"
#include "transfer/CBBS.h"
#include "viewer/WindowDialogs.h"
#include "viewer/frmView.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>
#include <functional>
#include <memory>

/** @short Answers the window's query window and file dialog through functions a test sets; cancels by default. */
class ScriptedDialogs : public WindowDialogs
{
public:
    std::function<QString(const QString &DefaultSQL)> showSQL;
    std::function<QStringList(const QString &Filter)> openFiles;
    std::function<QString(const QString &FileName)> saveFile;

    QString ShowSQL(Database &, const QString &DefaultSQL, QWidget *) override { return showSQL ? showSQL(DefaultSQL) : QString(); }
    QStringList OpenFiles(const QString &Filter, QWidget *) override { return openFiles ? openFiles(Filter) : QStringList(); }
    QString SaveFile(const QString &, const QString &FileName, QWidget *) override { return saveFile ? saveFile(FileName) : QString(); }
};

/**
 * @short Base of the main-window tests: a temporary program folder whose log.mdb is filled
 * through the core, and the window started over it as the program starts it.
 */
class WindowTest : public QObject
{
protected:
    WindowTest() { setPrompter(&m_prompter); }

    std::unique_ptr<QTemporaryDir> m_home;
    std::unique_ptr<Database> m_db; // open while the test prepares the folder
    ScriptedPrompter m_prompter;
    ScriptedDialogs m_dialogs; // installed while a window runs
    ManualOneShotTimer m_timer;
    std::unique_ptr<frmView> m_window;
    std::unique_ptr<mdlOption::OptionsGuard> m_options;

    /** A new program folder with its three folders, a new log.mdb and the settings @p ini. */
    void prepareHome(const QByteArray &ini)
    {
        m_options = std::make_unique<mdlOption::OptionsGuard>();
        m_home = std::make_unique<QTemporaryDir>();
        qputenv("TESSERA_HOME", m_home->path().toLocal8Bit());
        for (const QString &folder : {QStringLiteral("image"), QStringLiteral("cache"), QStringLiteral("errorlog")})
            QDir(m_home->path()).mkpath(folder);
        m_db = mdlDatabase::CreateLogDatabase(mdlMain::LogDatabasePath());
        QVERIFY(m_db);
        m_prompter.clear();
        writeFile(mdlMain::SettingsFilePath(), ini);
    }

    /** Closes the window and shuts the program down; the options come back. */
    void closeWindow()
    {
        if (m_window)
            m_window->close();
        m_window.reset();
        setWindowDialogs(nullptr);
        m_dialogs = {};
        mdlMain::ShutdownApplication();
        m_db.reset();
        m_options.reset();
    }

    void sql(const QString &statement) { QVERIFY2(m_db->Execute(statement), qPrintable(statement)); }

    /** Message @p id of board @p board, subject "題名<id>", posted at 12:00 plus @p id minutes. */
    static CMessage message(int board, int id, const QString &body = QStringLiteral("本文"))
    {
        CMessage m;
        m.BBS_ID = board;
        m.ID = id;
        m.Subject = QStringLiteral("題名%1").arg(id);
        m.PostDate = CMessage::WallClock(QDate(2024, 5, 1), QTime(12, 0).addSecs(60 * id));
        m.Body = body;
        return m;
    }

    /** Stores messages 1 to @p count of @p board. */
    void storeBoard(int board, int count)
    {
        QList<CMessage> messages;
        for (int id = 1; id <= count; ++id)
            messages.append(message(board, id));
        store(messages);
    }

    void store(const QList<CMessage> &messages)
    {
        CBBS cbbs;
        cbbs.Initialize(m_db.get());
        Transaction transaction(*m_db);
        for (const CMessage &m : messages)
            QCOMPARE(cbbs.SaveMessage(m), CBBS::Saved);
        QVERIFY(transaction.Commit());
    }

    /** Starts the program on the folder; true when the window loaded and shows. */
    bool startWindow()
    {
        m_db.reset();
        setWindowDialogs(&m_dialogs);
        bool loaded = false;
        mdlMain::StartupHooks hooks;
        hooks.showMainWindow = [this, &loaded] {
            m_window = std::make_unique<frmView>(gDB, &m_timer);
            loaded = m_window->Form_Load();
            if (loaded)
                m_window->show();
        };
        return mdlMain::StartApplication(hooks) && loaded;
    }

    /** What a screen reader announces for @p widget. */
    static QString accessibleName(QWidget *widget) { return QAccessible::queryAccessibleInterface(widget)->text(QAccessible::Name); }

    template <typename T> T *child(const QString &name) const { return m_window->findChild<T *>(name); }
    QPlainTextEdit *pane() const { return child<QPlainTextEdit>(QStringLiteral("rtbView")); }
    MessageListModel &list(int index) { return m_window->Lists().lsvMsgList(index); }
};
