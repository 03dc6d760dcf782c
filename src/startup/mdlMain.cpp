#include "startup/mdlMain.h"

#include "app/CIniFile.h"
#include "app/Prompter.h"
#include "app/mdlApp.h"
#include "app/mdlOption.h"
#include "db/Database.h"
#include "db/mdlDatabase.h"

using namespace Qt::StringLiterals;

std::unique_ptr<Database> gDB;
std::unique_ptr<CIniFile> gIniFile;

namespace mdlMain {

namespace {

void run(const std::function<void()> &hook)
{
    if (hook)
        hook();
}

bool hasRow(Database &db, const QString &sql)
{
    const std::optional<Recordset> rs = db.OpenRecordset(sql);
    return rs && !rs->IsEOF();
}

/** @p id when that board is listed, else the first listed board, else 0. */
int listedBoard(Database &db, int id)
{
    if (hasRow(db, u"SELECT BBS_ID FROM BBS WHERE BBS_ID = %1 AND ListOrder >= 0"_s.arg(id)))
        return id;
    const std::optional<Recordset> first = db.OpenRecordset(
        u"SELECT BBS_ID FROM BBS WHERE ListOrder = "
        "(SELECT Min(ListOrder) FROM BBS WHERE ListOrder >= 0)"_s);
    return first && !first->IsEOF() ? first->Value(0).toInt() : 0;
}

} // namespace

QString LogDatabasePath()
{
    return mdlApp::GetAppPath() + u"log.mdb"_s;
}

QString SettingsFilePath()
{
    return mdlApp::GetAppPath() + QString::fromLatin1(mdlApp::ExeBaseName) + u".ini"_s;
}

void LoadOption(CIniFile &iniFile, Database &db)
{
    mdlOption::LoadOption(iniFile);
    mdlOption::BBS_ID = listedBoard(db, mdlOption::BBS_ID);
}

bool StartApplication(const StartupHooks &hooks)
{
    run(hooks.showSplash);
    gDB = mdlDatabase::OpenLogDatabase(LogDatabasePath());
    if (!gDB) {
        prompter().information(u"プログラムを終了します。"_s);
        run(hooks.closeSplash);
        return false;
    }
    gIniFile = std::make_unique<CIniFile>();
    gIniFile->Load(SettingsFilePath());
    LoadOption(*gIniFile, *gDB);
    mdlOption::InitWebSearch(*gIniFile);
    mdlOption::CheckFolders();
    run(hooks.showMainWindow);
    return true;
}

bool ShutdownApplication()
{
    gDB.reset();
    if (!gIniFile)
        return true;
    mdlOption::SaveOption(*gIniFile);
    const bool saved = gIniFile->Save();
    if (!saved)
        prompter().critical(gIniFile->LastError());
    gIniFile.reset();
    return saved;
}

} // namespace mdlMain
