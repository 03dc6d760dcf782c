#include "app/mdlOption.h"

#include "app/CIniFile.h"
#include "app/Prompter.h"
#include "app/mdlApp.h"

#include <QDir>

using namespace Qt::StringLiterals;

namespace mdlOption {

int BBS_ID;
bool Timer;
bool NotifyNewMessages;
int Interval;
int AddMax;
int ReadTiming;
QString ReplyHeader;
QString DateFormat;
int Timeout;
bool SaveSQLDialogPosition;
bool SaveLoadDialogPosition;
bool AutoCloseImportDialog;
bool UseRegExp;
bool IgnoreCase;
bool ImportReadMode;
QString ErrorLogFilePath;
QString CacheFilePath;
QString IconFilePath;
bool AddTaskTray;
bool HideAtMinimazed;
bool BlinkIcon;
bool NoReadBold;
bool ExitIfMessageFound;
// Opening a log database reads it: a program that loads no settings keeps the index.
bool UseTextIndex = true;

namespace {

const QString OptionSection = u"Option"_s;
const QString WebSearchSection = u"WebSearch"_s;

QString defaultErrorLogFilePath() { return mdlApp::GetAppPath(); }
QString defaultCacheFilePath() { return mdlApp::GetAppPath() + u"cache/"_s; }
QString defaultIconFilePath() { return mdlApp::GetAppPath() + u"image/"_s; }

/** The folder option normalised with a final "/"; a blank one takes its default. */
QString normalisedFolder(const QString &folder, const QString &fallback)
{
    return folder.trimmed().isEmpty() ? fallback : mdlApp::AddPathSeparator(folder);
}

/** A key's value by the kind of its variable: its default when unreadable or out of range. */
QVariant readValue(const CIniFile &ini, const OptionDef &option)
{
    const QVariant fallback = DefaultValue(option);
    if (std::holds_alternative<int *>(option.variable)) {
        const int value = ini.InitData(option.key, CIniFile::IniLong, fallback).toInt();
        return value >= option.min && value <= option.max ? value : fallback;
    }
    if (std::holds_alternative<bool *>(option.variable))
        return ini.InitData(option.key, CIniFile::IniBool, fallback).toBool();
    return ini.InitData(option.key, CIniFile::IniText, fallback).toString();
}

/** The text written for a variable: a number, "True"/"False" or the text itself. */
QString writtenText(const OptionDef::Variable &variable)
{
    if (const auto number = std::get_if<int *>(&variable))
        return QString::number(**number);
    if (const auto flag = std::get_if<bool *>(&variable))
        return **flag ? u"True"_s : u"False"_s;
    return *std::get<QString *>(variable);
}

QVariant currentValue(const OptionDef::Variable &variable)
{
    return std::visit([](auto *value) { return QVariant::fromValue(*value); }, variable);
}

void assign(const OptionDef::Variable &variable, const QVariant &value)
{
    std::visit([&value](auto *target) { *target = value.value<std::remove_pointer_t<decltype(target)>>(); },
               variable);
}

} // namespace

const std::vector<OptionDef> &Options()
{
    static const std::vector<OptionDef> options{
        {u"BBS_ID"_s, &BBS_ID, 0},
        {u"Timer"_s, &Timer, false},
        {u"Interval"_s, &Interval, 30, 10, 120},
        {u"AddMax"_s, &AddMax, 100, 1, 1000},
        {u"ReadTiming"_s, &ReadTiming, 1500, 0},
        {u"ReplyHeader"_s, &ReplyHeader, u"%s#%I %S より引用\\n%B"_s},
        {u"DateFormat"_s, &DateFormat, u"yyyy/mm/dd hh:nn"_s},
        {u"Timeout"_s, &Timeout, 60, 0},
        {u"SaveSQLDialogPosition"_s, &SaveSQLDialogPosition, true},
        {u"SaveLoadDialogPosition"_s, &SaveLoadDialogPosition, true},
        {u"AutoCloseImportDialog"_s, &AutoCloseImportDialog, false},
        {u"UseRegExp"_s, &UseRegExp, true},
        {u"IgnoreCase"_s, &IgnoreCase, true},
        {u"ImportReadMode"_s, &ImportReadMode, false},
        {.key = u"ErrorLogFilePath"_s, .variable = &ErrorLogFilePath, .defaultValue = u""_s, .inProgramFolder = true},
        {.key = u"CacheFilePath"_s, .variable = &CacheFilePath, .defaultValue = u"cache/"_s, .inProgramFolder = true},
        {.key = u"IconFilePath"_s, .variable = &IconFilePath, .defaultValue = u"image/"_s, .inProgramFolder = true},
        {u"AddTaskTray"_s, &AddTaskTray, true},
        {u"HideAtMinimazed"_s, &HideAtMinimazed, false},
        {u"BlinkIcon"_s, &BlinkIcon, true},
        {u"NoReadBold"_s, &NoReadBold, true},
        {u"ExitIfMessageFound"_s, &ExitIfMessageFound, false},
        {u"NotifyNewMessages"_s, &NotifyNewMessages, true},
        {u"UseTextIndex"_s, &UseTextIndex, true},
    };
    return options;
}

QVariant DefaultValue(const OptionDef &option)
{
    return option.inProgramFolder ? QVariant(mdlApp::GetAppPath() + option.defaultValue.toString())
                                  : option.defaultValue;
}

namespace {

/** Before loading, every option but the folders holds its default; the folders stay blank. */
[[maybe_unused]] const bool DefaultsApplied = [] {
    for (const OptionDef &option : Options())
        if (!option.inProgramFolder)
            assign(option.variable, option.defaultValue);
    return true;
}();

} // namespace

void LoadOption(CIniFile &iniFile)
{
    iniFile.setNowSection(OptionSection);
    for (const OptionDef &option : Options())
        assign(option.variable, readValue(iniFile, option));
    Timer = false;
}

bool SaveOption(CIniFile &iniFile)
{
    iniFile.setNowSection(OptionSection);
    for (const OptionDef &option : Options())
        iniFile.setData(option.key, writtenText(option.variable));
    return iniFile.Save(OptionSection);
}

OptionsGuard::OptionsGuard()
{
    for (const OptionDef &option : Options())
        m_values.push_back(currentValue(option.variable));
}

OptionsGuard::~OptionsGuard()
{
    for (size_t i = 0; i < m_values.size(); ++i)
        assign(Options()[i].variable, m_values[i]);
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
    iniFile.TrySave(WebSearchSection);
}

namespace {

// A folder that cannot be made (no permission, a file in its way, a full disk) is said, so that
// nothing is later written into a folder the user believes exists.
bool makeFolder(const QString &folder, const QString &label)
{
    if (QDir().mkpath(folder))
        return true;
    prompter().critical(label + u'"' + folder + u'"' + u"を作成できませんでした。\n"_s
                        + u"場所と書き込みの権限を確かめてください。"_s);
    return false;
}

} // namespace

bool CheckFolders()
{
    // A program folder this run made gets its default subfolders without a question; a folder
    // the user named is still asked about.
    const auto confirm = [](QString &option, const QString &fallback, const QString &label) {
        option = normalisedFolder(option, fallback);
        if (option == fallback && mdlApp::CreatedAppFolder())
            return makeFolder(option, label);
        return ConfirmFolder(option, label);
    };
    const bool icon = confirm(IconFilePath, defaultIconFilePath(), u"アイコンフォルダ"_s);
    const bool cache = confirm(CacheFilePath, defaultCacheFilePath(), u"キャッシュフォルダ"_s);
    const bool errorLog = confirm(ErrorLogFilePath, defaultErrorLogFilePath(), u"エラーログフォルダ"_s);
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
    return makeFolder(folder, label);
}

} // namespace mdlOption
