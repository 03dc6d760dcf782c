#include "WindowBench.h"

#include "db/Database.h"
#include "db/mdlDatabase.h"
#include "startup/mdlMain.h"
#include "viewer/frmView.h"

#include <QDir>
#include <QFile>
#include <QTextStream>

using namespace Qt::StringLiterals;

namespace WindowBench {

void quietOffscreen()
{
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &text) {
        if (type != QtDebugMsg && type != QtInfoMsg && type != QtWarningMsg)
            QTextStream(stderr) << text << Qt::endl;
    });
    qputenv("QT_QPA_PLATFORM", "offscreen");
}

void useProgramFolder(const QString &home)
{
    qputenv("TESSERA_HOME", QFile::encodeName(home));
    for (const QString &folder : {u"image"_s, u"cache"_s, u"errorlog"_s})
        QDir(home).mkpath(folder);
}

bool writeSettings(const QByteArray &ini)
{
    QFile settings(mdlMain::SettingsFilePath());
    return settings.open(QIODevice::WriteOnly) && settings.write(ini) == ini.size();
}

std::unique_ptr<frmView> startWindow()
{
    std::unique_ptr<frmView> window;
    mdlMain::StartupHooks hooks;
    hooks.showMainWindow = [&window] {
        window = std::make_unique<frmView>(gDB);
        if (window->Form_Load())
            window->show();
    };
    if (!mdlMain::StartApplication(hooks))
        window.reset();
    return window;
}

std::unique_ptr<frmView> startOnNewDatabase(const char *bench, const QString &home,
                                            const std::function<bool(Database &)> &fill, const QByteArray &ini)
{
    useProgramFolder(home);
    const auto fail = [bench](const char *text) {
        QTextStream(stderr) << bench << ": " << text << Qt::endl;
        return std::unique_ptr<frmView>();
    };
    {
        std::unique_ptr<Database> db = mdlDatabase::CreateLogDatabase(mdlMain::LogDatabasePath());
        if (!db || !fill(*db))
            return fail("cannot build the database");
    }
    if (!ini.isEmpty() && !writeSettings(ini))
        return fail("cannot write the settings");
    std::unique_ptr<frmView> window = startWindow();
    return window ? std::move(window) : fail("the window did not open");
}

} // namespace WindowBench
