#pragma once

#include <QString>
#include <QVariant>
#include <limits>
#include <variant>
#include <vector>

class CIniFile;

/**
 * @short The program-wide options of settings section "Option", the default web searches of
 * section "WebSearch" and the check of the three working folders.
 *
 * Each option is one variable named after its key. LoadOption fills them at start-up, the
 * options dialog changes them while the program runs and SaveOption writes them back at exit;
 * nothing reaches the file in between.
 */
namespace mdlOption {

extern int BBS_ID;                  ///< board shown when the main window opens
extern bool Timer;                  ///< timed receiving; always off after loading
extern int Interval;                ///< interval of timed receiving, 10 to 120
extern int AddMax;                  ///< messages listed at once, 1 to 1000
extern int ReadTiming;              ///< milliseconds until a shown message is read
extern QString ReplyHeader;         ///< format of the copy-with-header command
extern QString DateFormat;          ///< date format of the lists ("nn" = minutes)
extern int Timeout;                 ///< seconds until a board request times out
extern bool SaveSQLDialogPosition;  ///< keep the query window's geometry
extern bool SaveLoadDialogPosition; ///< keep the progress dialog's geometry
extern bool AutoCloseImportDialog;  ///< close the progress dialog when an import ends
extern bool UseRegExp;              ///< find with regular expressions
extern bool IgnoreCase;             ///< find ignores letter case
extern bool ImportReadMode;         ///< store imported messages as read
extern QString ErrorLogFilePath;    ///< folder of the error logs
extern QString CacheFilePath;       ///< folder of the cached board pages
extern QString IconFilePath;        ///< folder of the board icons
extern bool AddTaskTray;            ///< keep an icon in the notification area
extern bool HideAtMinimazed;        ///< leave the task bar when minimised
extern bool BlinkIcon;              ///< animate the icon while receiving
extern bool NoReadBold;             ///< stored and edited only
extern bool ExitIfMessageFound;     ///< unread receiving stops at the first stored message
extern bool NotifyNewMessages;      ///< a desktop notification of new messages while the window is away
extern bool UseTextIndex;           ///< keep the full-text index of the message texts (true until loaded)

/** @short One option: its key, its variable, its default and the range a whole number must lie in. */
struct OptionDef
{
    QString key;
    using Variable = std::variant<int *, bool *, QString *>;
    Variable variable;
    QVariant defaultValue;
    int min = std::numeric_limits<int>::min();
    int max = std::numeric_limits<int>::max();
    bool inProgramFolder = false; ///< the default is a folder under the program folder
};

/** @short The default of @p option (a folder default is made absolute under the program folder). */
QVariant DefaultValue(const OptionDef &option);

/** @short Every option of section "Option", in the order SaveOption writes them. */
const std::vector<OptionDef> &Options();

/**
 * @short Reads section "Option" of @p iniFile into the variables, with every default and
 * range rule. BBS_ID is taken as written (start-up checks it against the database).
 * Timer is always False afterwards.
 */
void LoadOption(CIniFile &iniFile);
/** @short Writes every variable to section "Option" in a fixed key order and saves that section. */
/** @short Writes the options to section "Option"; false when the file could not be written. */
[[nodiscard]] bool SaveOption(CIniFile &iniFile);
/** @short Gives a settings file without section "WebSearch" the default searches; saves the section. */
void InitWebSearch(CIniFile &iniFile);
/**
 * @short Normalises the icon, cache and error-log folder options (a final "/", a blank one
 * back to its default) and offers to create each missing folder. True when all three exist
 * or were to be created; every folder is checked whatever the others give.
 */
bool CheckFolders();
/**
 * @short True when @p folder exists; otherwise asks whether to create it (@p label names it).
 * Yes creates it with its parents and gives True whether that worked or not; No gives False.
 */
bool ConfirmFolder(const QString &folder, const QString &label);

/** @short Keeps the value of every option and puts them all back when it goes out of scope. */
class OptionsGuard
{
public:
    OptionsGuard();
    ~OptionsGuard();
    OptionsGuard(const OptionsGuard &) = delete;
    OptionsGuard &operator=(const OptionsGuard &) = delete;

private:
    std::vector<QVariant> m_values;
};

} // namespace mdlOption
