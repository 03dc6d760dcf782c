#include "app/CommandLine.h"
#include "app/SingleInstance.h"
#include "app/mdlApp.h"
#include "startup/mdlMain.h"
#include "viewer/MessageBoxPrompter.h"

#include <QApplication>
#include <QMainWindow>
#include <QTextStream>

namespace {

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

    MessageBoxPrompter boxes;
    setPrompter(&boxes);

    SingleInstance instance;
    if (instance.ActivatePrevInstance())
        return 0;

    QMainWindow window;
    window.setWindowTitle(mdlApp::GetAppTitle());
    QObject::connect(&instance, &SingleInstance::raiseRequested, &window, [&window] { bringToFront(window); });

    mdlMain::StartupHooks hooks;
    hooks.showMainWindow = [&window] { window.show(); };
    if (!mdlMain::StartApplication(hooks)) {
        setPrompter(nullptr);
        return 1;
    }
    const int status = QApplication::exec();
    mdlMain::ShutdownApplication();
    setPrompter(nullptr);
    return status;
}
