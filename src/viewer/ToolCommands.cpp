#include "viewer/ToolCommands.h"

#include "app/Prompter.h"
#include "app/mdlApp.h"
#include "app/mdlExecuteLite.h"
#include "db/CBBSProperty.h"
#include "db/Database.h"
#include "db/mdlDatabase.h"
#include "startup/mdlMain.h"
#include "viewer/frmAbout.h"

#include <QAction>
#include <QWidget>

using namespace Qt::StringLiterals;

ToolCommands::ToolCommands(QWidget &window, std::unique_ptr<Database> &database, const CBBSProperty &current,
                           const QHash<QString, QAction *> &menuItems, Commands commands)
    : m_window(window), m_database(database), m_current(current), m_commands(std::move(commands))
{
    const auto connectItem = [this, &menuItems](const QString &name, auto slot) {
        connect(menuItems.value(name), &QAction::triggered, this, slot);
    };
    connectItem(u"mnuToolCompDB"_s, &ToolCommands::CompactDatabase);
    connectItem(u"mnuHelpHelp"_s, &ToolCommands::openHelpFile);
    connectItem(u"mnuHelpVerinfo"_s, &ToolCommands::showAbout);
    connectItem(u"mnuHelpKestrel"_s, [] { mdlExecuteLite::OpenAddress(mdlDatabase::BoardSiteURL()); });
    connectItem(u"mnuBBSBrowse"_s, [this] { mdlExecuteLite::OpenAddress(m_current.GetShowURL()); });
    connectItem(u"mnuBBSShowCookiePage"_s, [this] { mdlExecuteLite::OpenAddress(m_current.GetShowCookiePageURL()); });
    connectItem(u"mnuBBSKiyaku"_s, [this] { mdlExecuteLite::OpenAddress(m_current.HowtouseURL()); });
}

void ToolCommands::CompactDatabase()
{
    if (m_commands.isRunning())
        return;
    const Prompter::Button answer = prompter().question(
        u"データベースファイルを最適化します。\n"
        "データベースが壊れる可能性がありますので、十分注意した上で実行してください。"_s,
        {Prompter::Ok, Prompter::Cancel}, Prompter::Ok, Prompter::Icon::Warning);
    if (answer != Prompter::Ok)
        return;

    // Nothing may reach the database while it is closed and replaced.
    m_commands.releaseDatabase();
    const QString path = m_database ? m_database->Path() : mdlMain::LogDatabasePath();
    const bool compacted = mdlDatabase::CompactLogDatabase(m_database);
    if (!m_database)
        m_database = mdlDatabase::OpenLogDatabase(path);
    if (!m_database) {
        prompter().critical(u"最適化に失敗しました。\nTesseraを終了します。"_s);
        m_window.close();
        return;
    }
    m_commands.attachDatabase();
    if (compacted)
        prompter().information(u"最適化が完了しました。"_s);
    else
        prompter().critical(u"最適化に失敗しました。\nデータベースは最適化する前のまま使えます。"_s);
}

void ToolCommands::openHelpFile()
{
    if (mdlExecuteLite::ShellOpenLocalFile(mdlApp::GetAppPath() + u"ReadMe.txt"_s) == 0)
        prompter().information(u"ヘルプファイル(ReadMe.txt)が開けませんでした。"_s);
}

void ToolCommands::showAbout()
{
    auto *about = new frmAbout(&m_window);
    about->setAttribute(Qt::WA_DeleteOnClose);
    about->open();
}
