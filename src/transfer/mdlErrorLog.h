#pragma once

#include <QString>
#include <QStringView>

/** @short The boards' error logs: entries the analyser could not use, kept in log-text form. */
namespace mdlErrorLog {

/**
 * @short Appends @p entryText and the separator to the error-log file @p fileName (CP932),
 * creating the file and its folder when missing. False when it cannot be written.
 */
bool AppendErrorLog(const QString &fileName, QStringView entryText);

} // namespace mdlErrorLog
