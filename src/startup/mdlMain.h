#pragma once

#include <QString>
#include <functional>
#include <memory>

class CIniFile;
class Database;

/** @short The open log database; empty before start-up and after shutdown. */
extern std::unique_ptr<Database> gDB;
/** @short The settings file, loaded at start-up and written at shutdown. */
extern std::unique_ptr<CIniFile> gIniFile;

/** @short Start-up and shutdown of the program, shared by the reader and tessera-cli. */
namespace mdlMain {

/** @short The window steps of start-up; an empty hook is skipped. */
struct StartupHooks
{
    /** Shows the splash window and lets it paint. Runs before the database is opened. */
    std::function<void()> showSplash;
    /** Removes the splash window when start-up ends early. */
    std::function<void()> closeSplash;
    /** Shows the main window, the last step; it removes the splash window itself. */
    std::function<void()> showMainWindow;
};

/** @short The log database file: program folder + "log.mdb". */
QString LogDatabasePath();
/** @short The settings file: program folder + executable base name + ".ini". */
QString SettingsFilePath();

/**
 * @short Opens the log database (mdlDatabase::OpenLogDatabase) after reading the options of
 * the settings file, whose UseTextIndex says whether the file keeps its full-text index.
 */
std::unique_ptr<Database> OpenLogDatabase();

/**
 * @short Reads the options of @p iniFile (mdlOption::LoadOption). BBS_ID stays only while
 * @p db lists that board; otherwise it becomes the first listed board, or 0 when none is listed.
 */
void LoadOption(CIniFile &iniFile, Database &db);

/**
 * @short Makes Qt's own texts (standard buttons such as はい / いいえ, context menus, file
 * dialogs) Japanese like every text of ours, whatever the locale: installs Qt's qtbase_ja
 * translation into the running application. False when it is not installed.
 */
bool LoadQtTranslation();

/**
 * @short Runs start-up after the single-instance check: splash, database, renewal of the
 * boards' settings cookies, settings file, options, web searches, folders, ReadMe.txt (written
 * into the program folder when missing there), main window.
 *
 * When no database can be had, says "プログラムを終了します。" and returns false, leaving gDB
 * and gIniFile empty and the settings file untouched. True when the main window step ran.
 */
bool StartApplication(const StartupHooks &hooks = {});
/**
 * @short Closes the database, writes the options and every section of the settings file and
 * releases it. Does nothing for the parts that start-up never made.
 *
 * False (after telling the user why) when the settings file could not be written.
 */
bool ShutdownApplication();

} // namespace mdlMain
