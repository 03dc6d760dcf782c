#include "app/mdlApp.h"

#include <QDir>
#include <QFile>
#include <QLibrary>
#include <QRandomGenerator>
#include <QStandardPaths>

using namespace Qt::StringLiterals;

namespace mdlApp {

namespace {
QString createdAppFolder; // the program folder this process made, once made
} // namespace

QString GetAppPath()
{
    QString folder = qEnvironmentVariable("TESSERA_HOME");
    if (folder.isEmpty()) {
        QString data = qEnvironmentVariable("XDG_DATA_HOME");
        if (data.isEmpty())
            data = QDir::homePath() + u"/.local/share"_s;
        folder = data + u"/tessera"_s;
    }
    folder = QDir::cleanPath(QDir(folder).absolutePath());
    if (!QDir(folder).exists() && QDir().mkpath(folder))
        createdAppFolder = folder;
    return AddPathSeparator(folder);
}

bool CreatedAppFolder()
{
    return !createdAppFolder.isEmpty() && AddPathSeparator(createdAppFolder) == GetAppPath();
}

QString AddPathSeparator(const QString &path)
{
    return path.endsWith(u'/') ? path : path + u'/';
}

QString GetVersionString(bool withRevision)
{
    QString text = u"Ver.%1.%2"_s.arg(TESSERA_VERSION_MAJOR).arg(TESSERA_VERSION_MINOR, 2, 10, QChar(u'0'));
    if (withRevision)
        text += u".%1"_s.arg(TESSERA_VERSION_REVISION, 4, 10, QChar(u'0'));
    return text;
}

QString GetAppTitle()
{
    return QString::fromLatin1(ProductName) + u' ' + GetVersionString(false);
}

QString ZeroPadded(qint64 value, int width)
{
    const QString digits = QString::number(value < 0 ? -value : value).rightJustified(width, u'0');
    return value < 0 ? u'-' + digits : digits;
}

bool ToggleBool(bool &value)
{
    value = !value;
    return value;
}

bool IsApiAvailable(const QString &library, const QString &function)
{
    QLibrary lib(library);
    if (!lib.load())
        return false;
    const bool found = lib.resolve(function.toLatin1().constData()) != nullptr;
    lib.unload();
    return found;
}

QString GetTempFile(const QString &folder, const QString &prefix, std::optional<unsigned char> byte)
{
    QString dir = folder;
    if (dir.isEmpty() || !QDir(dir).exists())
        dir = QDir::tempPath();
    dir = AddPathSeparator(dir);
    for (int attempt = 0; attempt < 1000; ++attempt) {
        const quint32 unique = QRandomGenerator::global()->bounded(1u, 0x10000u);
        const QString path = dir + prefix + QString::number(unique, 16).toUpper() + u".tmp"_s;
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            continue;
        if (byte) {
            const char c = static_cast<char>(*byte);
            file.write(&c, 1);
            file.close();
        } else {
            file.close();
            file.remove();
        }
        return path;
    }
    return {};
}

} // namespace mdlApp
