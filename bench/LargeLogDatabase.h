#pragma once

#include <QString>

/**
 * @short The path of a log database in @p folder ("log.mdb") holding @p messages generated
 * messages spread over the default boards; built once (under another name, renamed when
 * complete) and kept between runs. "" on failure, with the reason on standard error.
 */
QString LargeLogDatabase(const QString &folder, int messages, const char *benchName);
