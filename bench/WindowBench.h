#pragma once
// What every main-window benchmark does before and around its timing: an offscreen platform
// whose notes stay quiet, a program folder with its subfolders and settings, and the window
// started as the program starts it.
#include <QByteArray>
#include <QString>
#include <memory>

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

} // namespace WindowBench
