#pragma once

#include <QString>
#include <QUrl>
#include <functional>

/**
 * @short Hands addresses and files to the desktop's handlers (browser, mailer, viewer).
 *
 * Addresses open only when their scheme is http, https, ftp or mailto, so text taken from
 * board messages can never start a local program. Local files open only through
 * ShellOpenLocalFile, which callers use for files of their own (ReadMe.txt).
 */
namespace mdlExecuteLite {

/** Receives the address to open; returns whether the desktop accepted it. */
using ShellOpenHandler = std::function<bool(const QUrl &)>;

/**
 * @short The address ShellOpen opens for @p address, or an invalid QUrl when it is refused.
 *
 * The text is trimmed; a text without a scheme that starts with "www." is read as http.
 * http, https and ftp need a host, mailto needs a recipient.
 */
QUrl OpenableUrl(const QString &address);

/**
 * @short Opens the address @p file; non-zero on success, 0 on failure. Shows no message.
 *
 * @p verb must be empty or "open" and @p parameters empty: nothing is ever run with arguments.
 */
int ShellOpen(const QString &file, const QString &parameters = QString(),
              const QString &verb = QString());

/** @short What the user is told of an address that OpenableUrl refuses. */
QString RefusedAddressText();

/**
 * @short Opens @p address as ShellOpen does, for a command of the user's; when it cannot, says
 * why through prompter(): the address is no web or mail address, or no browser (mailer) could
 * be started. True when it opened.
 */
bool OpenAddress(const QString &address);

/** @short Opens the existing local file @p path in its program; non-zero on success. */
int ShellOpenLocalFile(const QString &path);

/** @short Replaces the desktop handler (tests use this); an empty handler restores it. */
void setShellOpenHandler(ShellOpenHandler handler);

} // namespace mdlExecuteLite
