#include "app/mdlOption.h"

#include "app/CIniFile.h"
#include "app/Prompter.h"
#include "app/mdlApp.h"
#include "db/Database.h"

#include <QDir>
#include <limits>

using namespace Qt::StringLiterals;

namespace mdlOption {

int BBS_ID = 0;
bool Timer = false;
int Interval = 30;
int AddMax = 100;
int ReadTiming = 1500;
QString ReplyHeader;
QString DateFormat;
int Timeout = 60;
bool SaveSQLDialogPosition = true;
bool SaveLoadDialogPosition = true;
bool AutoCloseImportDialog = false;
bool UseRegExp = true;
bool IgnoreCase = true;
bool ImportReadMode = false;
QString ErrorLogFilePath;
QString CacheFilePath;
QString IconFilePath;
bool AddTaskTray = true;
bool HideAtMinimazed = false;
bool BlinkIcon = true;
bool NoReadBold = true;
bool ExitIfMessageFound = false;

namespace {

const QString OptionSection = u"Option"_s;
const QString WebSearchSection = u"WebSearch"_s;
constexpr int NoMaximum = std::numeric_limits<int>::max();

QString defaultErrorLogFilePath() { return mdlApp::GetAppPath(); }
QString defaultCacheFilePath() { return mdlApp::GetAppPath() + u"cache/"_s; }
QString defaultIconFilePath() { return mdlApp::GetAppPath() + u"image/"_s; }

/** A whole-number key: its default when it is no 32-bit number or lies outside [min, max]. */
int readLong(const CIniFile &ini, const QString &key, int fallback, int min, int max)
{
    const int value = ini.InitData(key, CIniFile::IniLong, fallback).toInt();
    return value >= min && value <= max ? value : fallback;
}

bool readBool(const CIniFile &ini, const QString &key, bool fallback)
{
    return ini.InitData(key, CIniFile::IniBool, fallback).toBool();
}

QString readText(const CIniFile &ini, const QString &key, const QString &fallback)
{
    return ini.InitData(key, CIniFile::IniText, fallback).toString();
}

QString boolText(bool value)
{
    return value ? u"True"_s : u"False"_s;
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

/** The folder option normalised with a final "/"; a blank one takes its default. */
QString normalisedFolder(const QString &folder, const QString &fallback)
{
    return folder.trimmed().isEmpty() ? fallback : mdlApp::AddPathSeparator(folder);
}

} // namespace

void LoadOption(CIniFile &iniFile, Database &db)
{
    iniFile.setNowSection(OptionSection);
    BBS_ID = listedBoard(db, iniFile.InitData(u"BBS_ID"_s, CIniFile::IniLong, 0).toInt());
    Timer = false;
    Interval = readLong(iniFile, u"Interval"_s, 30, 10, 120);
    AddMax = readLong(iniFile, u"AddMax"_s, 100, 1, 1000);
    ReadTiming = readLong(iniFile, u"ReadTiming"_s, 1500, 0, NoMaximum);
    ReplyHeader = readText(iniFile, u"ReplyHeader"_s, u"%s#%I %S より引用\\n%B"_s);
    DateFormat = readText(iniFile, u"DateFormat"_s, u"yyyy/mm/dd hh:nn"_s);
    Timeout = readLong(iniFile, u"Timeout"_s, 60, 0, NoMaximum);
    SaveSQLDialogPosition = readBool(iniFile, u"SaveSQLDialogPosition"_s, true);
    SaveLoadDialogPosition = readBool(iniFile, u"SaveLoadDialogPosition"_s, true);
    AutoCloseImportDialog = readBool(iniFile, u"AutoCloseImportDialog"_s, false);
    UseRegExp = readBool(iniFile, u"UseRegExp"_s, true);
    IgnoreCase = readBool(iniFile, u"IgnoreCase"_s, true);
    ImportReadMode = readBool(iniFile, u"ImportReadMode"_s, false);
    ErrorLogFilePath = readText(iniFile, u"ErrorLogFilePath"_s, defaultErrorLogFilePath());
    CacheFilePath = readText(iniFile, u"CacheFilePath"_s, defaultCacheFilePath());
    IconFilePath = readText(iniFile, u"IconFilePath"_s, defaultIconFilePath());
    AddTaskTray = readBool(iniFile, u"AddTaskTray"_s, true);
    HideAtMinimazed = readBool(iniFile, u"HideAtMinimazed"_s, false);
    BlinkIcon = readBool(iniFile, u"BlinkIcon"_s, true);
    NoReadBold = readBool(iniFile, u"NoReadBold"_s, true);
    ExitIfMessageFound = readBool(iniFile, u"ExitIfMessageFound"_s, false);
}

void SaveOption(CIniFile &iniFile)
{
    iniFile.setNowSection(OptionSection);
    const auto put = [&iniFile](const QString &key, const QString &value) { iniFile.setData(key, value); };
    put(u"BBS_ID"_s, QString::number(BBS_ID));
    put(u"Timer"_s, boolText(Timer));
    put(u"Interval"_s, QString::number(Interval));
    put(u"AddMax"_s, QString::number(AddMax));
    put(u"ReadTiming"_s, QString::number(ReadTiming));
    put(u"ReplyHeader"_s, ReplyHeader);
    put(u"DateFormat"_s, DateFormat);
    put(u"Timeout"_s, QString::number(Timeout));
    put(u"SaveSQLDialogPosition"_s, boolText(SaveSQLDialogPosition));
    put(u"SaveLoadDialogPosition"_s, boolText(SaveLoadDialogPosition));
    put(u"AutoCloseImportDialog"_s, boolText(AutoCloseImportDialog));
    put(u"UseRegExp"_s, boolText(UseRegExp));
    put(u"IgnoreCase"_s, boolText(IgnoreCase));
    put(u"ImportReadMode"_s, boolText(ImportReadMode));
    put(u"ErrorLogFilePath"_s, ErrorLogFilePath);
    put(u"CacheFilePath"_s, CacheFilePath);
    put(u"IconFilePath"_s, IconFilePath);
    put(u"AddTaskTray"_s, boolText(AddTaskTray));
    put(u"HideAtMinimazed"_s, boolText(HideAtMinimazed));
    put(u"BlinkIcon"_s, boolText(BlinkIcon));
    put(u"NoReadBold"_s, boolText(NoReadBold));
    put(u"ExitIfMessageFound"_s, boolText(ExitIfMessageFound));
    iniFile.Save(OptionSection);
}

void InitWebSearch(CIniFile &iniFile)
{
    iniFile.setNowSection(WebSearchSection);
    if (!iniFile.IsExist()) {
        const QString msSearch = u"SearchMS25.asp?qu=%s&IntCat=0&IntCat=2&Nq=NEW&boolean=ALL"_s;
        iniFile.setData(u"Googleで検索(&G)..."_s, u"https://www.google.com/search?q=%s&num=100"_s);
        iniFile.setData(u"マイクロソフトサイト検索(&J)..."_s, u"https://www.microsoft.com/japan/"_s + msSearch);
        iniFile.setData(u"Microsoft Web Search(&U)..."_s, u"https://www.microsoft.com/us/"_s + msSearch);
    }
    iniFile.Save(WebSearchSection);
}

bool CheckFolders()
{
    IconFilePath = normalisedFolder(IconFilePath, defaultIconFilePath());
    const bool icon = ConfirmFolder(IconFilePath, u"アイコンフォルダ"_s);
    CacheFilePath = normalisedFolder(CacheFilePath, defaultCacheFilePath());
    const bool cache = ConfirmFolder(CacheFilePath, u"キャッシュフォルダ"_s);
    ErrorLogFilePath = normalisedFolder(ErrorLogFilePath, defaultErrorLogFilePath());
    const bool errorLog = ConfirmFolder(ErrorLogFilePath, u"エラーログフォルダ"_s);
    return icon && cache && errorLog;
}

bool ConfirmFolder(const QString &folder, const QString &label)
{
    if (QDir(folder).exists())
        return true;
    const QString question = label + u'"' + folder + u'"' + u"は存在しません。\n作成しますか？"_s;
    if (prompter().question(question, {Prompter::Yes, Prompter::No}, Prompter::Yes,
                            Prompter::Icon::Information) != Prompter::Yes)
        return false;
    QDir().mkpath(folder);
    return true;
}

} // namespace mdlOption
