#include "app/mdlExecuteLite.h"

#include "app/Prompter.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QGuiApplication>

using namespace Qt::StringLiterals;

namespace mdlExecuteLite {

namespace {

bool openWithDesktop(const QUrl &url)
{
    // The desktop services need a GUI application (tessera-cli has none).
    if (!qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
        return false;
    return QDesktopServices::openUrl(url);
}

ShellOpenHandler &handler()
{
    static ShellOpenHandler current = openWithDesktop;
    return current;
}

} // namespace

QUrl OpenableUrl(const QString &address)
{
    QString text = address.trimmed();
    if (text.startsWith(u"www."_s, Qt::CaseInsensitive))
        text.prepend(u"http://"_s);
    const QUrl url(text, QUrl::TolerantMode);
    if (!url.isValid())
        return {};
    const QString scheme = url.scheme();
    if (scheme == u"http"_s || scheme == u"https"_s || scheme == u"ftp"_s)
        return url.host().isEmpty() ? QUrl() : url;
    if (scheme == u"mailto"_s)
        return url.path().isEmpty() ? QUrl() : url;
    return {};
}

int ShellOpen(const QString &file, const QString &parameters, const QString &verb)
{
    if (!parameters.isEmpty())
        return 0;
    if (!verb.isEmpty() && verb.compare(u"open"_s, Qt::CaseInsensitive) != 0)
        return 0;
    const QUrl url = OpenableUrl(file);
    return url.isValid() && handler()(url) ? 1 : 0;
}

QString RefusedAddressText()
{
    return u"このアドレスは開けません。\n"
           "開けるのは http、https、ftp、mailto で始まるアドレスと www. で始まるアドレスです。"_s;
}

bool OpenAddress(const QString &address)
{
    const QUrl url = OpenableUrl(address);
    if (!url.isValid()) {
        prompter().information(RefusedAddressText() + u"\n\n"_s + address);
        return false;
    }
    if (handler()(url))
        return true;
    const bool mail = url.scheme() == u"mailto"_s;
    prompter().critical((mail ? u"メールソフトを起動できませんでした。"_s : u"ブラウザを起動できませんでした。"_s)
                        + u"\n既定のアプリケーションが設定されているか確かめてください。\n\n"_s + url.toString());
    return false;
}

int ShellOpenLocalFile(const QString &path)
{
    const QFileInfo info(path);
    if (path.isEmpty() || !info.isFile())
        return 0;
    return handler()(QUrl::fromLocalFile(info.absoluteFilePath())) ? 1 : 0;
}

void setShellOpenHandler(ShellOpenHandler newHandler)
{
    handler() = newHandler ? std::move(newHandler) : ShellOpenHandler(openWithDesktop);
}

} // namespace mdlExecuteLite
