#include "app/CommandLine.h"
#include "app/SingleInstance.h"
#include "app/mdlApp.h"
#include "startup/mdlMain.h"
#include "viewer/BoardView.h"
#include "viewer/MessageBoxPrompter.h"
#include "viewer/frmSplash.h"
#include "viewer/frmView.h"

#include <QApplication>
#include <QScreen>
#include <QTextStream>
#include <memory>

namespace {

/** How long the exit waits for cache files still being written. */
constexpr int CacheWriteWaitMs = 5000;

/** Brings @p window to the front: restored when minimised or hidden, kept maximised. */
void bringToFront(QWidget &window)
{
    window.setWindowState((window.windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    window.show();
    window.raise();
    window.activateWindow();
}

} // namespace

int main(int argc, char *argv[])
{
    QTextStream out(stdout); // --version and --help are answered before QApplication: no display needed
    if (CommandLine::AnswerInfoOption(CommandLine::ArgumentsOf(argc, argv), CommandLine::WindowHelpText(), out))
        return 0;
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromLatin1(mdlApp::ProductName));
    QApplication::setDesktopFileName(QString::fromLatin1(mdlApp::ExeBaseName)); // tessera.desktop
    if (!mdlMain::LoadQtTranslation())
        qWarning("tessera: Qt's Japanese texts (qtbase_ja.qm, package qt6-translations-l10n) are not installed");

    MessageBoxPrompter boxes;
    setPrompter(&boxes);

    SingleInstance instance;
    if (instance.ActivatePrevInstance())
        return 0;

    std::unique_ptr<frmSplash> splash;
    std::unique_ptr<frmView> window;
    QObject::connect(&instance, &SingleInstance::raiseRequested, &app, [&window] {
        if (window)
            bringToFront(*window);
    });

    mdlMain::StartupHooks hooks;
    hooks.showSplash = [&splash] {
        splash = std::make_unique<frmSplash>();
        splash->adjustSize();
        if (const QScreen *screen = QGuiApplication::primaryScreen())
            splash->move(screen->geometry().center() - splash->rect().center());
        splash->show();
        QApplication::processEvents();
    };
    hooks.closeSplash = [&splash] { splash.reset(); };
    hooks.showMainWindow = [&window, &splash] {
        window = std::make_unique<frmView>(gDB);
        if (window->Form_Load([&splash] { splash.reset(); }))
            window->show();
    };
    int status = 1;
    if (mdlMain::StartApplication(hooks) && window && window->isVisible())
        status = QApplication::exec();
    else if (window)
        status = 0;
    // The window's unload has shut down already; this covers a start that ended early.
    mdlMain::ShutdownApplication();
    window.reset();
    // A cache file still being written finishes (it is replaced atomically, so one cut short by
    // the bound is simply not there); the thread pool is not left to a static destructor.
    if (!BoardView::FinishCacheWrites(CacheWriteWaitMs))
        qWarning("tessera: a board page was still being written to the cache at exit");
    setPrompter(nullptr);
    return status;
}
