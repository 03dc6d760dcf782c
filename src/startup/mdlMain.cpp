#include "startup/mdlMain.h"

#include "app/CIniFile.h"
#include "app/Prompter.h"
#include "app/mdlApp.h"
#include "app/mdlOption.h"
#include "cookies/CookieStore.h"
#include "db/BoardRepository.h"
#include "db/CBBSProperty.h"
#include "db/Database.h"
#include "db/mdlDatabase.h"

#include <QCoreApplication>
#include <QFile>
#include <QLibraryInfo>
#include <QTemporaryFile>
#include <QTranslator>

using namespace Qt::StringLiterals;

// The resources of a static library are registered by hand, outside any namespace.
static void registerReadMeResource()
{
    Q_INIT_RESOURCE(readme);
}

std::unique_ptr<Database> gDB;
std::unique_ptr<CIniFile> gIniFile;

namespace mdlMain {

namespace {

void run(const std::function<void()> &hook)
{
    if (hook)
        hook();
}

/**
 * Writes the ReadMe.txt built into the program into the program folder, where the help command
 * opens it, unless a file of that name is there already (it may be the user's own edit). The
 * text goes to a temporary file first and is renamed without replacing anything, so a full
 * disk, a kill or a second process starting at the same moment never leaves a partial file.
 */
void writeReadMe()
{
    registerReadMeResource();
    const QString target = mdlApp::GetAppPath() + u"ReadMe.txt"_s;
    if (QFile::exists(target))
        return;
    QFile embedded(u":/ReadMe.txt"_s);
    QTemporaryFile temporary(target + u".XXXXXX"_s);
    if (!embedded.open(QIODevice::ReadOnly) || !temporary.open())
        return;
    const QByteArray text = embedded.readAll();
    if (temporary.write(text) == text.size() && temporary.flush() && temporary.rename(target))
        temporary.setAutoRemove(false); // the file now has its final name
}

/**
 * Moves the expiry of every board's settings cookies to the full lifetime again, so that the
 * settings of a board not written for a while are not lost to time. A failure changes nothing
 * stored, and the next write of a setting says why the file cannot be written.
 */
void renewSettingsCookies(Database &db)
{
    const std::optional<QList<int>> ids = BoardRepository(db).AllBoardIds();
    if (!ids)
        return;
    constexpr qint64 Lifetime = qint64(CBBSProperty::CookieLifetimeDays) * 24 * 60 * 60;
    static_cast<void>(cookieStore().renewExpiry([&] {
        QList<CookieStore::Cookie> cookies;
        for (const int id : *ids) {
            CBBSProperty board;
            if (board.GetProperty(id, db))
                cookies += board.SettingsCookies();
        }
        return cookies;
    }, Lifetime));
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

std::unique_ptr<Database> OpenLogDatabase()
{
    CIniFile iniFile;
    iniFile.Load(SettingsFilePath());
    mdlOption::LoadOption(iniFile);
    return mdlDatabase::OpenLogDatabase(LogDatabasePath());
}

void LoadOption(CIniFile &iniFile, Database &db)
{
    mdlOption::LoadOption(iniFile);
    mdlOption::BBS_ID = BoardRepository(db).ListedBoardOr(mdlOption::BBS_ID);
}

bool LoadQtTranslation()
{
    auto *translator = new QTranslator(QCoreApplication::instance());
    if (translator->load(u"qtbase_ja"_s, QLibraryInfo::path(QLibraryInfo::TranslationsPath))
        && QCoreApplication::installTranslator(translator))
        return true;
    delete translator;
    return false;
}

bool StartApplication(const StartupHooks &hooks)
{
    run(hooks.showSplash);
    gDB = OpenLogDatabase();
    if (!gDB) {
        prompter().information(u"プログラムを終了します。"_s);
        run(hooks.closeSplash);
        return false;
    }
    renewSettingsCookies(*gDB);
    gIniFile = std::make_unique<CIniFile>();
    gIniFile->Load(SettingsFilePath());
    LoadOption(*gIniFile, *gDB);
    mdlOption::InitWebSearch(*gIniFile);
    mdlOption::CheckFolders();
    writeReadMe();
    run(hooks.showMainWindow);
    return true;
}

bool ShutdownApplication()
{
    gDB.reset();
    if (!gIniFile)
        return true;
    const bool saved = mdlOption::SaveOption(*gIniFile) && gIniFile->Save();
    if (!saved)
        prompter().critical(gIniFile->LastError());
    gIniFile.reset();
    return saved;
}

} // namespace mdlMain
