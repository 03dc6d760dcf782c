#include "transfer/CBBS.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringDecoder>
#include <archive.h>
#include <archive_entry.h>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

/** The largest archive member unpacked into memory. */
constexpr qint64 MaxMemberSize = 64 * 1024 * 1024;
// A log file is read and decoded whole; beyond this it could exhaust memory.
constexpr qint64 MaxTextFileSize = 512 * 1024 * 1024;
constexpr size_t ArchiveBlockSize = 64 * 1024;

const QString UnlhaMissing =
    u"UNLHA32.DLLが見つからないかもしくはバージョンが古い為、インポートできませんでした｡ "_s;

using ArchiveReader = std::unique_ptr<archive, decltype(&archive_read_free)>;

ArchiveReader newLhaReader()
{
    ArchiveReader reader(archive_read_new(), archive_read_free);
    if (reader && archive_read_support_format_lha(reader.get()) != ARCHIVE_OK)
        reader.reset();
    return reader;
}

/** "LZH" after the last "." of the file's name, in any case, marks an LHA archive. */
bool isArchiveName(const QString &fileName)
{
    const QString name = QFileInfo(fileName).fileName();
    const qsizetype dot = name.lastIndexOf(u'.');
    return dot >= 0 && QStringView(name).sliced(dot + 1).compare(u"LZH", Qt::CaseInsensitive) == 0;
}

/** The member's name without its folder. */
QString memberName(archive_entry *entry)
{
    QString path;
    if (const wchar_t *wide = archive_entry_pathname_w(entry))
        path = QString::fromWCharArray(wide);
    else if (const char *raw = archive_entry_pathname(entry))
        path = QString::fromLocal8Bit(raw);
    return path.section(u'/', -1);
}

/** Unpacks the current member, refusing one that claims or reaches more than MaxMemberSize. */
QByteArray readMember(archive *reader, archive_entry *entry, CBBS::ExtractError &error)
{
    const qint64 claimed = archive_entry_size_is_set(entry) ? archive_entry_size(entry) : 0;
    if (claimed > MaxMemberSize) {
        error = CBBS::ExtractError::TooLarge;
        return {};
    }
    QByteArray data;
    data.reserve(claimed);
    char chunk[ArchiveBlockSize];
    for (;;) {
        const la_ssize_t n = archive_read_data(reader, chunk, sizeof chunk);
        if (n == 0)
            return data;
        if (n < 0) { // a CRC error is a warning here, but the data is not to be trusted
            error = CBBS::ExtractError::Unreadable;
            return {};
        }
        if (data.size() + n > MaxMemberSize) {
            error = CBBS::ExtractError::TooLarge;
            return {};
        }
        data.append(chunk, n);
    }
}

/**
 * @short Strict CP932 decoding by table. The tables hold ICU's own mapping, read once; the
 * decoding loop then costs a fraction of ICU's per-character work on logs of many megabytes.
 */
class Cp932Table
{
public:
    static const Cp932Table &instance()
    {
        static const Cp932Table table;
        return table;
    }

    /** @p bytes as text; nullopt with the offset of the first byte that starts no character. */
    std::optional<QString> decode(QByteArrayView bytes, qsizetype &badOffset) const
    {
        QString text(bytes.size(), Qt::Uninitialized);
        char16_t *out = reinterpret_cast<char16_t *>(text.data());
        const auto *begin = reinterpret_cast<const uchar *>(bytes.data());
        const uchar *end = begin + bytes.size();
        for (const uchar *p = begin; p < end;) {
            const uchar *start = p;
            char16_t c = m_single[*p++];
            if (c == Lead && p < end)
                c = m_pair[start[0] << 8 | *p++];
            if (c == Lead || c == None) {
                badOffset = start - begin;
                return std::nullopt;
            }
            *out++ = c;
        }
        text.truncate(out - reinterpret_cast<char16_t *>(text.data()));
        return text;
    }

private:
    static constexpr char16_t Lead = 0xFFFF; // single-byte table: the first byte of a pair
    static constexpr char16_t None = 0xFFFE; // no character (CP932 maps no byte to either)

    Cp932Table()
    {
        m_single.fill(None);
        m_pair.assign(0x10000, None);
        QStringDecoder decoder("CP932", QStringConverter::Flag::Stateless);
        for (int b = 0; b < 0x100; ++b) {
            const char byte = char(b);
            if ((b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC)) {
                m_single[b] = Lead;
                continue;
            }
            // The decoder's error flag latches, so results are judged by what they hold.
            const QString c = decoder(QByteArrayView(&byte, 1));
            if (c.size() == 1 && (b < 0x80 || !isSubstitute(c.at(0))))
                m_single[b] = c.at(0).unicode();
        }
        // All pairs of one lead byte in one call, each followed by a line feed, which is never
        // a second byte: every piece is then the decoding of exactly one pair.
        for (int lead = 0; lead < 0x100; ++lead) {
            if (m_single[lead] != Lead)
                continue;
            QByteArray pairs;
            for (int trail = 0x40; trail <= 0xFC; ++trail)
                pairs.append(char(lead)).append(char(trail)).append('\n');
            const QStringList pieces = QString(decoder(pairs)).split(u'\n');
            for (int trail = 0x40; trail <= 0xFC && trail - 0x40 < pieces.size(); ++trail) {
                const QString &c = pieces.at(trail - 0x40);
                if (c.size() == 1 && !isSubstitute(c.at(0)))
                    m_pair[lead << 8 | trail] = c.at(0).unicode();
            }
        }
    }

    /** What ICU writes for bytes without a character (U+001A only stands for itself below 0x80). */
    static bool isSubstitute(QChar c) { return c == QChar::ReplacementCharacter || c == u'\x1A'; }

    std::array<char16_t, 0x100> m_single;
    std::vector<char16_t> m_pair;
};

/** The 1-based line of byte @p offset. */
qsizetype lineOf(QByteArrayView bytes, qsizetype offset)
{
    return bytes.first(offset).count('\n') + 1;
}

/**
 * A text without a single CR LF (a file saved with LF or CR line ends) gets its line breaks
 * made CR LF, as received pages do; otherwise no entry could ever close. Texts that have CR LF
 * are used as read.
 */
void normaliseLineBreaks(QString &text)
{
    if (text.contains(u"\r\n"))
        return;
    text.replace(u'\r', u'\n');
    text.replace(u"\n"_s, u"\r\n"_s);
}

/** The progress line of a file that cannot be imported: its name, the reason and the result. */
QString notImported(const QString &fileName, const QString &reason)
{
    return fileName + reason + u"ため、インポートできませんでした。"_s;
}

/** The decoded text of a log file or of an archive's first member; nullopt with the reason. */
std::optional<QString> readImportText(const QString &fileName, QString &failure)
{
    const QFileInfo info(fileName);
    if (!info.exists()) {
        failure = notImported(fileName, u"が見つからない"_s);
        return std::nullopt;
    }
    if (!info.isFile()) {
        failure = notImported(fileName, u"はファイルではない"_s);
        return std::nullopt;
    }
    if (info.size() == 0) {
        failure = notImported(fileName, u"は空のファイルの"_s);
        return std::nullopt;
    }

    QByteArray bytes;
    if (isArchiveName(fileName)) {
        if (!CBBS::CanUseUnlha()) {
            failure = UnlhaMissing;
            return std::nullopt;
        }
        CBBS::ExtractError error = CBBS::ExtractError::None;
        bytes = CBBS::ExtractArchiveToMemory(fileName, u"*"_s, &error);
        switch (error) {
        case CBBS::ExtractError::None:
            break;
        case CBBS::ExtractError::Unreadable:
            failure = notImported(fileName, u"はLHA書庫として読めなかった"_s);
            return std::nullopt;
        case CBBS::ExtractError::NoMatch:
            failure = notImported(fileName, u"にはファイルが入っていない"_s);
            return std::nullopt;
        case CBBS::ExtractError::TooLarge:
            failure = notImported(fileName, u"の中のファイルは64MBを超える"_s);
            return std::nullopt;
        }
    } else if (info.size() > MaxTextFileSize) {
        failure = notImported(fileName, u"は512MBを超える"_s);
        return std::nullopt;
    } else {
        QFile file(fileName);
        if (file.open(QIODevice::ReadOnly))
            bytes = file.readAll();
        if (file.error() != QFileDevice::NoError) {
            failure = notImported(fileName, u"を読み込めなかった"_s);
            return std::nullopt;
        }
    }
    if (bytes.isEmpty()) { // an empty archive member, or a file emptied meanwhile
        failure = notImported(fileName, u"は空のファイルの"_s);
        return std::nullopt;
    }

    qsizetype badOffset = 0;
    std::optional<QString> text = Cp932Table::instance().decode(bytes, badOffset);
    if (!text)
        failure = notImported(fileName, u"の%1行目にShift_JIS(CP932)として読めない文字がある"_s
                                            .arg(lineOf(bytes, badOffset)));
    return text;
}

} // namespace

bool CBBS::ImportLog(int BBS_ID, const QString &FileName, bool ReadMode)
{
    m_IsCancel = false;
    m_IsImport = true;
    ResetCounters();
    emit StateChanged(FileName + u"の取込中..."_s, false, false);

    QString failure;
    std::optional<QString> text = readImportText(FileName, failure);
    if (!text) {
        emit StateChanged(failure, true, true);
        m_IsImport = false;
        return false;
    }
    normaliseLineBreaks(*text);

    emit StateChanged(FileName + u"の解析中..."_s, false, false);
    AnalyseLog(BBS_ID, *text, ReadMode);
    const bool clean = m_AnalyseError == 0;
    if (clean)
        emit StateChanged(FileName + u"から"_s + QString::number(m_SaveCount) + u"件インポートしました。"_s,
                          false, true);
    m_IsImport = false;
    return clean;
}

int CBBS::ExportLog(int BBS_ID, const QString &FileName)
{
    Q_UNUSED(BBS_ID);
    Q_UNUSED(FileName);
    return 0;
}

bool CBBS::CanUseUnlha()
{
    static const bool usable = newLhaReader() != nullptr;
    return usable;
}

QByteArray CBBS::ExtractArchiveToMemory(const QString &ArchiveName, const QString &Pattern,
                                        ExtractError *error)
{
    ExtractError ignored = ExtractError::None;
    ExtractError &failure = error ? *error : ignored;
    failure = ExtractError::None;

    ArchiveReader reader = newLhaReader();
    if (!reader)
        return {};
    if (archive_read_open_filename(reader.get(), QFile::encodeName(ArchiveName).constData(),
                                   ArchiveBlockSize) != ARCHIVE_OK) {
        failure = ExtractError::Unreadable;
        return {};
    }
    const QRegularExpression pattern = QRegularExpression::fromWildcard(Pattern, Qt::CaseInsensitive);
    archive_entry *entry = nullptr;
    int status = ARCHIVE_OK;
    while ((status = archive_read_next_header(reader.get(), &entry)) == ARCHIVE_OK || status == ARCHIVE_WARN) {
        if (archive_entry_filetype(entry) == AE_IFREG && pattern.match(memberName(entry)).hasMatch())
            return readMember(reader.get(), entry, failure);
    }
    failure = status == ARCHIVE_EOF ? ExtractError::NoMatch : ExtractError::Unreadable;
    return {};
}
