#pragma once

#include <QString>
#include <optional>

/**
 * @short Numbers and Booleans in settings-file text, read the way the settings files of the
 * boards' old Windows readers were read.
 *
 * A number is ASCII blanks, an optional sign, digits with an optional fraction, an optional
 * exponent ("e" or "E", sign, digits) and blanks; nothing else may follow.
 */
namespace IniNumber {

/** @short The number rounded to a whole one (halves to the even one) when within [min, max]. */
std::optional<qint64> ToWhole(const QString &text, qint64 min, qint64 max);
/** @short The number as a float, correctly rounded; tiny values become zero, huge ones fail. */
std::optional<float> ToSingle(const QString &text);
/** @short "True"/"False" in any letter case, or a number (zero is false). */
std::optional<bool> ToBool(const QString &text);

} // namespace IniNumber
