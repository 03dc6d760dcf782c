// The main window's tool and help commands: database compaction, the help file, the about
// box, and the board pages opened in the browser.
#include "viewer/frmView.h"

#include "app/Prompter.h"
#include "app/mdlApp.h"
#include "app/mdlExecuteLite.h"
#include "app/mdlOption.h"
#include "db/Database.h"
#include "db/mdlDatabase.h"
#include "startup/mdlMain.h"
#include "viewer/frmAbout.h"
#include "models/mdlRead.h"

using namespace Qt::StringLiterals;

void frmView::connectToolCommands()
{
    const auto connectItem = [this](const QString &name, auto slot) {
        connect(m_menu.value(name), &QAction::triggered, this, slot);
    };
    connectItem(u"mnuToolCompDB"_s, &frmView::compactDatabase);
    connectItem(u"mnuHelpHelp"_s, &frmView::openHelpFile);
    connectItem(u"mnuHelpVerinfo"_s, &frmView::showAbout);
    connectItem(u"mnuHelpKestrel"_s, [] { mdlExecuteLite::ShellOpen(mdlDatabase::BoardSiteURL()); });
    connectItem(u"mnuBBSBrowse"_s, [this] { mdlExecuteLite::ShellOpen(m_current.GetShowURL()); });
    connectItem(u"mnuBBSShowCookiePage"_s, [this] { mdlExecuteLite::ShellOpen(m_current.GetShowCookiePageURL()); });
    connectItem(u"mnuBBSKiyaku"_s, [this] { mdlExecuteLite::ShellOpen(m_current.HowtouseURL()); });
}

/**
 * Compacts log.mdb. A failed compaction keeps the data in the file; when the database can
 * be opened again the program goes on with it, and it ends only when no database is open.
 */
void frmView::compactDatabase()
{
    if (IsRunning())
        return;
    const Prompter::Button answer = prompter().question(
        u"データベースファイルを最適化します。\n"
        "データベースが壊れる可能性がありますので、十分注意した上で実行してください。"_s,
        {Prompter::Ok, Prompter::Cancel}, Prompter::Ok, Prompter::Icon::Warning);
    if (answer != Prompter::Ok)
        return;

    // Nothing may reach the database while it is closed and replaced.
    // The board record is written now and read again from the reopened database; the
    // window's copy must not keep the database that compaction closes.
    mdlRead::StopReadTimer(m_lists);
    if (m_current.ID() != 0)
        m_current.SetProperty();
    m_current = CBBSProperty();
    m_query.Initialize(nullptr);
    m_cbbs.Initialize(nullptr);
    m_lists.SetDatabase(nullptr);

    const QString path = m_database ? m_database->Path() : mdlMain::LogDatabasePath();
    const bool compacted = mdlDatabase::CompactLogDatabase(m_database);
    if (!m_database)
        m_database = mdlDatabase::OpenLogDatabase(path);
    if (!m_database) {
        prompter().critical(u"最適化に失敗しました。\nTesseraを終了します。"_s);
        close();
        return;
    }
    attachDatabase();
    if (compacted)
        prompter().information(u"最適化が完了しました。"_s);
    else
        prompter().critical(u"最適化に失敗しました。\nデータベースは最適化する前のまま使えます。"_s);
}

/** Hands the (re)opened database to everything of the window that keeps it, and shows the board again. */
void frmView::attachDatabase()
{
    m_query.Initialize(database());
    m_cbbs.Initialize(database());
    m_lists.SetDatabase(database());
    m_boards.LoadBBSList(*m_database);
    SelectBoard(mdlOption::BBS_ID);
}

void frmView::openHelpFile()
{
    if (mdlExecuteLite::ShellOpenLocalFile(mdlApp::GetAppPath() + u"ReadMe.txt"_s) == 0)
        prompter().information(u"ヘルプファイル(ReadMe.txt)が開けませんでした。"_s);
}

void frmView::showAbout()
{
    auto *about = new frmAbout(this);
    about->setAttribute(Qt::WA_DeleteOnClose);
    about->open();
}
