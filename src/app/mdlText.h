#pragma once

#include <QString>
#include <QStringView>

/** @short Small text helpers shared by the settings file and tessera-cli's output. */
namespace mdlText {

/** @short @p text with every CR and LF written as a blank, so that it stays on one line. */
QString OneLine(QString text);
/** @short OneLine() that also writes tabs as blanks: a field of a tab-separated line. */
QString OneField(QString text);
/** @short @p s without leading and trailing ASCII blanks; an ideographic space is kept. */
QStringView TrimBlanks(QStringView s);
/**
 * @short @p text with every line break (CR LF, lone CR, lone LF) made CR LF, the line breaks
 * of log text; a text without a lone CR or LF comes back untouched, without a copy.
 */
QString WithCrLf(QString text);

} // namespace mdlText
