#include "app/mdlEncoding.h"

#include <QStringDecoder>
#include <QStringEncoder>
#include <optional>

using namespace Qt::StringLiterals;

namespace mdlMain {

namespace {

constexpr auto Cp932 = "CP932";
constexpr auto EucJp = "EUC-JP";
constexpr auto Stateless = QStringConverter::Flag::Stateless;

// Characters the JIS mapping and the Microsoft mapping name differently, and the JIS X 0201
// meaning of 0x5C and 0x7E: the form that has no code to the one that has.
char16_t codedVariant(char16_t c)
{
    switch (c) {
    case u'\u301C': return u'\uFF5E';
    case u'\u2016': return u'\u2225';
    case u'\u2212': return u'\uFF0D';
    case u'\u2014': return u'\u2015';
    case u'\u00A2': return u'\uFFE0';
    case u'\u00A3': return u'\uFFE1';
    case u'\u00AC': return u'\uFFE2';
    case u'\u00A5': return u'\\';
    case u'\u203E': return u'~';
    default: return c;
    }
}

QString withCodedVariants(QStringView text)
{
    QString out = text.toString();
    for (QChar &c : out)
        c = QChar(codedVariant(c.unicode()));
    return out;
}

int cp932CharLength(uchar lead)
{
    return (lead >= 0x81 && lead <= 0x9F) || (lead >= 0xE0 && lead <= 0xFC) ? 2 : 1;
}

int eucJpCharLength(uchar lead)
{
    if (lead == 0x8F)
        return 3;
    return lead == 0x8E || (lead >= 0xA1 && lead <= 0xFE) ? 2 : 1;
}

// Replaces ICU's substitution sequence (a code no character has) by "?", walking character by
// character so that the two bytes are never the tail of one character and the head of another.
QByteArray questionMarksForSubstitutes(const QByteArray &bytes, QByteArrayView substitute,
                                       int (*charLength)(uchar))
{
    QByteArray out;
    out.reserve(bytes.size());
    for (qsizetype i = 0; i < bytes.size();) {
        const qsizetype length = qMin<qsizetype>(charLength(uchar(bytes[i])), bytes.size() - i);
        const QByteArrayView character(bytes.constData() + i, length);
        if (character == substitute)
            out += '?';
        else
            out.append(character);
        i += length;
    }
    return out;
}

// Opening an ICU converter costs far more than a short conversion, so each thread keeps one
// per encoding. Qt keeps an encoder's error flag set once raised, so such an encoder is renewed,
// in place: a moved ICU-backed encoder no longer reports errors.
struct Encoder
{
    const char *name;
    QByteArrayView substitute;
    int (*charLength)(uchar);
    std::optional<QStringEncoder> codec{std::in_place, name, Stateless};

    QByteArray encode(QStringView text, bool &failed)
    {
        QByteArray bytes = (*codec)(text);
        failed = codec->hasError();
        if (failed)
            codec.emplace(name, Stateless);
        return bytes;
    }
};

QByteArray encodeText(Encoder &encoder, QStringView text)
{
    // The encoder would hold a lone high surrogate at the end back for its partner and drop it.
    if (!text.isEmpty() && text.back().isHighSurrogate())
        return encodeText(encoder, text.chopped(1)) + '?';
    bool failed = false;
    QByteArray bytes = encoder.encode(text, failed);
    if (!failed)
        return bytes;
    bytes = encoder.encode(withCodedVariants(text), failed);
    return failed ? questionMarksForSubstitutes(bytes, encoder.substitute, encoder.charLength) : bytes;
}

QStringDecoder &cp932Decoder()
{
    thread_local QStringDecoder decoder(Cp932, Stateless);
    return decoder;
}

QStringDecoder &eucJpDecoder()
{
    thread_local QStringDecoder decoder(EucJp, Stateless);
    return decoder;
}

bool isEucByte(int b)
{
    return b >= 0xA1 && b <= 0xFE;
}

bool isHalfWidthKatakana(int b)
{
    return b >= 0xA1 && b <= 0xDF;
}

// The JIS row arithmetic: a JIS X 0208 character in EUC-JP to its two Shift_JIS bytes.
char *writeShiftJis(char *out, int b1, int b2)
{
    if (b1 % 2) {
        *out++ = char(b1 < 223 ? (b1 + 97) / 2 : (b1 + 225) / 2);
        const int trail = b2 - 97;
        *out++ = char(trail >= 127 ? trail + 1 : trail);
    } else {
        *out++ = char(b1 < 223 ? b1 / 2 + 48 : b1 / 2 + 112);
        *out++ = char(b2 - 2);
    }
    return out;
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

bool isUnreserved(uchar b)
{
    return (b >= '0' && b <= '9') || (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || b == '_';
}

} // namespace

QByteArray ToCp932(QStringView text)
{
    thread_local Encoder encoder{Cp932, "\xFC\xFC", cp932CharLength};
    return encodeText(encoder, text);
}

QString FromCp932(QByteArrayView bytes)
{
    return cp932Decoder()(bytes);
}

QByteArray ToEucJp(QStringView text)
{
    thread_local Encoder encoder{EucJp, "\xF4\xFE", eucJpCharLength};
    return encodeText(encoder, text);
}

QString FromEucJp(QByteArrayView bytes)
{
    return eucJpDecoder()(bytes);
}

QString ReadBack(QStringView text, BoardEncoding encoding)
{
    return encoding == BoardEncoding::EucJp ? EucToString(ToEucJp(text)) : FromCp932(ToCp932(text));
}

QString FirstUnencodable(QStringView text, BoardEncoding encoding)
{
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype n = text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate() ? 2 : 1;
        const QStringView character = text.sliced(i, n);
        if (ReadBack(character, encoding) != withCodedVariants(character))
            return character.toString();
        i += n;
    }
    return {};
}

QString URLEncode(QStringView text)
{
    static constexpr char Hex[] = "0123456789ABCDEF";
    const QByteArray bytes = ToCp932(text);
    QByteArray out;
    out.reserve(bytes.size() * 3);
    for (const char c : bytes) {
        const uchar b = uchar(c);
        if (isUnreserved(b)) {
            out += c;
        } else {
            out += '%';
            out += Hex[b >> 4];
            out += Hex[b & 0x0F];
        }
    }
    return QString::fromLatin1(out);
}

std::optional<QString> URLDecode(QStringView text)
{
    const QByteArray bytes = ToCp932(text);
    QByteArray out;
    out.reserve(bytes.size());
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (bytes[i] != '%') {
            out += bytes[i];
            continue;
        }
        if (i + 2 >= bytes.size())
            return std::nullopt;
        const int high = hexValue(bytes[i + 1]);
        const int low = hexValue(bytes[i + 2]);
        if (high < 0 || low < 0)
            return std::nullopt;
        out += char(high * 16 + low);
        i += 2;
    }
    return EucToString(out);
}

QString EucToString(QByteArrayView euc)
{
    QString text;
    QByteArray sjis(euc.size(), Qt::Uninitialized); // the Shift_JIS form is never longer
    char *const begin = sjis.data();
    char *out = begin;
    const auto *in = reinterpret_cast<const uchar *>(euc.data());
    const qsizetype n = euc.size();
    auto at = [&](qsizetype k) { return k < n ? int(in[k]) : -1; };
    for (qsizetype i = 0; i < n;) {
        const int b1 = in[i];
        if (b1 == 0)
            break;
        if (b1 < 0x80) {
            *out++ = char(b1);
            ++i;
        } else if (b1 == 0x8E && isHalfWidthKatakana(at(i + 1))) {
            *out++ = char(in[i + 1]);
            i += 2;
        } else if (isEucByte(b1) && isEucByte(at(i + 1))) {
            out = writeShiftJis(out, b1, in[i + 1]);
            i += 2;
        } else if (b1 == 0x8F && isEucByte(at(i + 1)) && isEucByte(at(i + 2))) {
            const QString supplementary = FromEucJp(euc.sliced(i, 3));
            text += FromCp932(QByteArrayView(begin, out - begin));
            text += supplementary == QChar(QChar::ReplacementCharacter) ? u"?"_s : supplementary;
            out = begin;
            i += 3;
        } else {
            *out++ = '?';
            ++i;
        }
    }
    return text + FromCp932(QByteArrayView(begin, out - begin));
}

} // namespace mdlMain
