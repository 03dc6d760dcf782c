#pragma once
// What every main-window benchmark does before and around its timing: an offscreen platform
// whose notes stay quiet, a program folder with its subfolders and settings, and the window
// started as the program starts it.
#include <QByteArray>
#include <QString>
#include <functional>
#include <memory>

class Database;
class frmView;

namespace WindowBench {

/** Offscreen platform, and only real errors on standard error; call before QApplication. */
void quietOffscreen();
/** Makes @p home the program folder with its image, cache and errorlog folders. */
void useProgramFolder(const QString &home);
/** Writes @p ini as tessera.ini of the program folder; false when it cannot. */
bool writeSettings(const QByteArray &ini);
/** Starts the program as the desktop does; the main window, or null when none opened. */
std::unique_ptr<frmView> startWindow();
/**
 * Makes @p home the program folder with a new log.mdb that @p fill completes, writes @p ini
 * as its settings when given, and starts the window; null (said on standard error with
 * @p bench's name) when a step fails.
 */
std::unique_ptr<frmView> startOnNewDatabase(const char *bench, const QString &home,
                                            const std::function<bool(Database &)> &fill,
                                            const QByteArray &ini = {});

} // namespace WindowBench
