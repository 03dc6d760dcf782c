#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>
#include <optional>

/**
 * @short Text encodings: CP932 and EUC-JP codecs, URL encoding, the boards' EUC-JP decoding.
 *
 * The codecs run on ICU through QStringEncoder/QStringDecoder ("CP932" is ICU's Windows-31J
 * table, with the NEC and IBM extensions, "EUC-JP" its table with the same Microsoft-style
 * choices: 0xA1C1 is U+FF5E, 0xA1DD U+FF0D, 0xA1C2 U+2225, 0xA1F1 U+FFE0, 0xA2CC U+FFE2).
 *
 * Encoding (ToCp932, ToEucJp):
 * - Characters Unicode names twice for one JIS X 0208 character are written as that character:
 *   U+301C WAVE DASH, U+2016, U+2212, U+2014, U+00A2, U+00A3 and U+00AC give the codes of
 *   U+FF5E, U+2225, U+FF0D, U+2015, U+FFE0, U+FFE1 and U+FFE2 (what Windows' best fit does;
 *   ICU alone has no code for them). U+00A5 YEN SIGN gives 0x5C and U+203E OVERLINE 0x7E, the
 *   JIS X 0201 meaning of those bytes. Decoding gives the second form back.
 * - Any other character without a code becomes "?" (one per code point; ICU alone would write
 *   the bytes FC FC or F4 FE, which are no character).
 * - Invisible format characters without a code (zero-width space, byte-order mark, soft hyphen,
 *   variation selectors, direction marks) are left out, as ICU does; an unpaired surrogate
 *   becomes "?".
 *
 * Decoding (FromCp932, FromEucJp): a byte sequence that is no character becomes U+FFFD, or
 * U+001A for a byte that can never start one (0x80, 0xA0, 0xFD to 0xFF in CP932); a printable
 * ASCII character after a broken lead byte is kept. An incomplete character at the very end is
 * dropped.
 */
namespace mdlMain {

/** @short @p text as CP932 bytes (see above for characters CP932 lacks). */
QByteArray ToCp932(QStringView text);
/** @short CP932 @p bytes as text. */
QString FromCp932(QByteArrayView bytes);
/** @short @p text as EUC-JP bytes (see above for characters EUC-JP lacks). */
QByteArray ToEucJp(QStringView text);
/** @short EUC-JP @p bytes as text, through ICU (JIS X 0212 included). */
QString FromEucJp(QByteArrayView bytes);

/** The encodings of board cookies: CP932 for board types 0 to 2, EUC-JP for type 3. */
enum class BoardEncoding { Cp932, EucJp };

/**
 * @short @p text as it reads back after being written in @p encoding: through ToCp932 and
 * FromCp932, or ToEucJp and EucToString (the way board cookies are written and read).
 */
QString ReadBack(QStringView text, BoardEncoding encoding);
/**
 * @short The first character of @p text that does not read back (ReadBack) as itself or as
 * its twin with a code (see above); empty when every character does.
 */
QString FirstUnencodable(QStringView text, BoardEncoding encoding);

/**
 * @short URL encoding over CP932: ASCII letters, digits and "_" stay, every other byte becomes
 * "%" + two upper-case hexadecimal digits (a blank is "%20", never "+").
 */
QString URLEncode(QStringView text);

/**
 * @short Undoes URL encoding and reads the bytes as EUC-JP.
 *
 * The text is taken as CP932 bytes; each "%" with the two hexadecimal digits after it becomes
 * that byte, every other byte ("+" too) stays; the result goes through EucToString.
 * Returns nullopt when a "%" is not followed by two hexadecimal digits.
 */
std::optional<QString> URLDecode(QStringView text);

/**
 * @short The boards' EUC-JP decoding: EUC-JP bytes to Shift_JIS bytes by the JIS row
 * arithmetic, then CP932 to text, cut at the first NUL.
 *
 * - A byte below 0x80 is copied.
 * - 0x8E and a half-width katakana byte (0xA1 to 0xDF) give that katakana byte.
 * - Two bytes of 0xA1 to 0xFE: for an odd first byte b1 the Shift_JIS lead is b1 / 2 + 48.5
 *   below 223, else b1 / 2 + 112.5, and the trail b2 - 97, plus 1 from 127 up; for an even b1
 *   the lead is b1 / 2 + 48 below 223, else b1 / 2 + 112, and the trail b2 - 2. Rows 85 to 88
 *   (0xF5 to 0xF8) have no CP932 code and give U+FFFD.
 * - 0x8F with two bytes of 0xA1 to 0xFE is a JIS X 0212 character, which has no Shift_JIS
 *   form: it is decoded by ICU ("?" when ICU has none for it).
 * - Anything else (a byte that cannot start a character, a lead byte without its trail bytes,
 *   also at the end of the data) gives "?" for its first byte, and decoding goes on with the
 *   next byte, so a broken character never swallows the ASCII text after it.
 */
QString EucToString(QByteArrayView euc);

} // namespace mdlMain
