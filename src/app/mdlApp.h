#pragma once

#include <QString>
#include <optional>

/** @short Application facts: program folder, version and title, small helpers. */
namespace mdlApp {

inline constexpr auto ProductName = "Tessera";
/** Base name of the executable; the settings file is named after it. */
inline constexpr auto ExeBaseName = "tessera";

/**
 * The program folder, always ending in "/": $TESSERA_HOME when set, else
 * $XDG_DATA_HOME/tessera/ (default ~/.local/share/tessera/). Created when missing.
 */
QString GetAppPath();
/** @short True when this process created the program folder GetAppPath() now gives. */
bool CreatedAppFolder();
/** @p path + "/" unless it already ends with "/" (the empty text gives "/"). */
QString AddPathSeparator(const QString &path);
/** "Ver.0.61", or with the revision "Ver.0.61.0116". */
QString GetVersionString(bool withRevision = false);
/** Product name + " " + short version: the title of every message box. */
QString GetAppTitle();
/** @short Decimal text of @p value with at least @p width digits; a minus sign goes in front. */
QString ZeroPadded(qint64 value, int width);
/** Negates @p value in place and returns the new value. */
bool ToggleBool(bool &value);
/** True when the shared library @p library loads and offers @p function. */
bool IsApiAvailable(const QString &library, const QString &function);
/**
 * Creates a new file named prefix + unique hexadecimal number + ".tmp" in @p folder (the
 * system's temporary folder when @p folder is empty or missing) and returns its full path.
 * Without @p byte the file is deleted again at once, so only a free name is returned;
 * with it, the byte is the file's only content. Returns "" when no file could be made.
 */
QString GetTempFile(const QString &folder, const QString &prefix,
                    std::optional<unsigned char> byte = std::nullopt);

} // namespace mdlApp
