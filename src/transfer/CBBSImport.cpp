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

/** The 1-based line holding the first byte sequence that is no CP932 character. */
qsizetype firstUndecodableLine(QByteArrayView bytes)
{
    // Qt keeps the error flag once raised, so the line after which it appears is the culprit.
    // A line feed is never part of a two-byte CP932 character.
    QStringDecoder decoder("CP932", QStringConverter::Flag::Stateless);
    qsizetype line = 1;
    for (qsizetype start = 0; start < bytes.size(); ++line) {
        qsizetype end = bytes.indexOf('\n', start);
        end = end < 0 ? bytes.size() : end + 1;
        const QString decoded = decoder(bytes.sliced(start, end - start)); // decodes, raising the flag
        if (decoder.hasError())
            return line;
        start = end;
    }
    return line;
}

/** CP932 @p bytes as text; nullopt when they hold a sequence that is no CP932 character. */
std::optional<QString> strictFromCp932(QByteArrayView bytes)
{
    QStringDecoder decoder("CP932", QStringConverter::Flag::Stateless);
    QString text = decoder(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return text;
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

/** The decoded text of a log file or of an archive's first member; nullopt with the reason. */
std::optional<QString> readImportText(const QString &fileName, QString &failure)
{
    const QFileInfo info(fileName);
    if (!info.exists()) {
        failure = fileName + u"が見つからないため、インポートできませんでした。"_s;
        return std::nullopt;
    }
    if (!info.isFile()) {
        failure = fileName + u"はファイルではないため、インポートできませんでした。"_s;
        return std::nullopt;
    }
    if (info.size() == 0) {
        failure = fileName + u"は空のファイルのため、インポートできませんでした。"_s;
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
            failure = fileName + u"はLHA書庫として読めなかったため、インポートできませんでした。"_s;
            return std::nullopt;
        case CBBS::ExtractError::NoMatch:
            failure = fileName + u"にはファイルが入っていないため、インポートできませんでした。"_s;
            return std::nullopt;
        case CBBS::ExtractError::TooLarge:
            failure = fileName + u"の中のファイルは64MBを超えるため、インポートできませんでした。"_s;
            return std::nullopt;
        }
    } else {
        QFile file(fileName);
        if (file.open(QIODevice::ReadOnly))
            bytes = file.readAll();
        if (file.error() != QFileDevice::NoError) {
            failure = fileName + u"を読み込めなかったため、インポートできませんでした。"_s;
            return std::nullopt;
        }
    }
    if (bytes.isEmpty()) { // an empty archive member, or a file emptied meanwhile
        failure = fileName + u"は空のファイルのため、インポートできませんでした。"_s;
        return std::nullopt;
    }

    std::optional<QString> text = strictFromCp932(bytes);
    if (!text)
        failure = fileName + u"の"_s + QString::number(firstUndecodableLine(bytes))
            + u"行目にShift_JIS(CP932)として読めない文字があるため、インポートできませんでした。"_s;
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
