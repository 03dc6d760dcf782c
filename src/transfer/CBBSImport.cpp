#include "transfer/CBBS.h"

#include "app/mdlText.h"
#include "db/Database.h"
#include "transfer/LogParser.h"

#include <QFile>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QTimer>
#include <archive.h>
#include <archive_entry.h>
#include <cstring>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

/** The largest archive member unpacked into memory. */
constexpr qint64 MaxMemberSize = 64 * 1024 * 1024;
/** The largest log text file imported; no board's log comes near it. */
constexpr qint64 MaxTextFileSize = 512 * 1024 * 1024;
constexpr size_t ArchiveBlockSize = 64 * 1024;
/**
 * The bytes checked, or decoded and analysed, as one piece: one step of the import each, with a
 * turn of the event loop between steps. Memory stays near the piece's size whatever the file's size.
 */
constexpr qsizetype PieceBytes = 1024 * 1024;

constexpr QStringView CrLf = u"\r\n";

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
 * True when @p text holds an LF without a CR before it or a CR without an LF after it; @p last:
 * the text ends the file, so a CR at its end stands alone. Counted without a branch per
 * character, which lets the compiler check many characters at once.
 */
bool hasLoneLineBreak(QStringView text, bool last)
{
    const char16_t *s = text.utf16();
    const qsizetype n = text.size();
    if (n == 0)
        return false;
    qsizetype mismatches = 0;
    for (qsizetype i = 1; i < n; ++i)
        mismatches += (s[i] == u'\n') != (s[i - 1] == u'\r');
    return mismatches > 0 || s[0] == u'\n' || (last && s[n - 1] == u'\r');
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

    /**
     * Decodes @p bytes up to @p used, writing the characters to @p out when it is given (room
     * for one per byte); returns how many, or -1 with @p used at the first byte that starts no
     * character. Unless @p final, a lead byte at the very end is left for the next call.
     */
    qsizetype decode(QByteArrayView bytes, bool final, qsizetype &used, char16_t *out) const
    {
        return out ? run<true>(bytes, final, used, out) : run<false>(bytes, final, used, out);
    }

private:
    template <bool Write>
    qsizetype run(QByteArrayView bytes, bool final, qsizetype &used, char16_t *out) const
    {
        const auto *begin = reinterpret_cast<const uchar *>(bytes.data());
        const uchar *end = begin + bytes.size();
        const uchar *p = begin;
        qsizetype written = 0;
        while (p < end) {
            const uchar *start = p;
            char16_t c = m_single[*p++];
            if (c == Lead) {
                if (p == end) {
                    if (!final) { // its second byte comes with the next call
                        p = start;
                        break;
                    }
                } else {
                    c = m_pair[start[0] << 8 | *p++];
                }
            }
            if (c >= None) { // None, or Lead: a byte that starts no character
                used = start - begin;
                return -1;
            }
            if constexpr (Write)
                out[written] = c;
            ++written;
        }
        used = p - begin;
        return written;
    }

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

/**
 * @short Decodes a CP932 log text handed over in consecutive chunks, its line breaks made CR LF.
 *
 * A lead byte at the end of a chunk waits for the next chunk, which holds the rest of its
 * character; so does a CR, which may start a CR LF.
 */
class LogTextDecoder
{
public:
    /**
     * Appends the text of @p chunk (@p last: no chunk follows) to @p text, whose room it reuses;
     * false, appending nothing, at a byte that starts no character.
     */
    bool decodeInto(QByteArrayView chunk, bool last, QString &text)
    {
        const qsizetype start = text.size();
        text.resize(start + chunk.size() + 2); // + a held CR and a carried pair
        char16_t *const begin = reinterpret_cast<char16_t *>(text.data());
        char16_t *out = begin + start;
        if (m_heldCr)
            *out++ = u'\r';
        if (!step(chunk, last, &out)) {
            text.truncate(start);
            return false;
        }
        text.truncate(out - begin);
        m_heldCr = !last && text.size() > start && text.endsWith(u'\r');
        if (m_heldCr)
            text.chop(1);
        if (hasLoneLineBreak(QStringView(text).sliced(start), last)) { // rare: a file written with LF or CR alone
            QString part = text.sliced(start);
            text.truncate(start);
            text += mdlText::WithCrLf(std::move(part));
        }
        return true;
    }

    /** Checks @p chunk without making its text; false at a byte that starts no character. */
    bool check(QByteArrayView chunk, bool last) { return step(chunk, last, nullptr); }

    /** The 1-based line of the byte that could not be read. */
    qsizetype badLine() const { return m_badLine; }

private:
    /** The carried lead byte with the chunk's first byte, then the rest of the chunk. */
    bool step(QByteArrayView chunk, bool last, char16_t **out)
    {
        if (chunk.isEmpty() && !last)
            return true;
        if (m_carry != 0) {
            const char pair[2] = {m_carry, chunk.isEmpty() ? '\0' : chunk.front()};
            m_carry = 0;
            if (!run(QByteArrayView(pair, chunk.isEmpty() ? 1 : 2), true, out))
                return false;
            chunk = chunk.sliced(std::min<qsizetype>(1, chunk.size()));
        }
        return run(chunk, last, out);
    }

    bool run(QByteArrayView bytes, bool final, char16_t **out)
    {
        qsizetype used = 0;
        const qsizetype written = Cp932Table::instance().decode(bytes, final, used, out ? *out : nullptr);
        // Counted apart from the decoding, which then keeps a tight loop; the compiler counts many bytes at once.
        const qsizetype lines = std::count(bytes.begin(), bytes.begin() + used, '\n');
        if (written < 0) {
            m_badLine = m_lines + lines + 1;
            return false;
        }
        m_lines += lines;
        if (out)
            *out += written;
        if (used < bytes.size())
            m_carry = bytes.back(); // a lead byte whose pair goes on in the next chunk
        return true;
    }

    char m_carry = 0; // 0: none (never a lead byte)
    bool m_heldCr = false;
    qsizetype m_lines = 0;
    qsizetype m_badLine = 0;
};

/**
 * Only blanks and control characters: NULs and end-of-file marks (byte 0x1A) that old text files
 * carry at their end.
 */
bool isBlank(QStringView text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.isSpace() || c.unicode() < 0x20; });
}

/**
 * @short Holds decoded log text and cuts it into pieces that end at an entry separator; the text
 * after the last separator waits for more.
 *
 * Lines are judged once, when their CR LF has come, by the rule of LogParser::SplitEntries, so
 * every piece splits into the same entries as the whole text would. The text is decoded into the
 * same buffer piece after piece: only the short rest after a piece is moved, never the piece.
 */
class PieceSplitter
{
public:
    /** The buffer that decoded text is appended to. */
    QString &text() { return m_text; }

    /** The length of the text up to its last separator line (0 when none), after text was appended at @p from. */
    qsizetype cut(qsizetype from)
    {
        const QStringView text(m_text);
        qsizetype cut = 0;
        // A CR LF may begin at the old end.
        for (qsizetype end; (end = LogParser::IndexOfCrLf(text, std::max(m_lineStart, from - 1))) >= 0;) {
            // The first line after a separator (or of the text) never closes an entry.
            if (m_lineStart > cut && LogParser::IsSeparatorLine(text.sliced(m_lineStart, end - m_lineStart)))
                cut = end + CrLf.size();
            m_lineStart = end + CrLf.size();
        }
        return cut;
    }

    /** Drops the first @p size characters, the piece that was analysed. */
    void drop(qsizetype size)
    {
        char16_t *const data = reinterpret_cast<char16_t *>(m_text.data());
        std::memmove(data, data + size, (m_text.size() - size) * sizeof(char16_t));
        m_text.truncate(m_text.size() - size);
        m_lineStart -= size;
    }

    /**
     * The text after the last separator as one more entry, closed by a separator, so that it is
     * stored or reported as broken instead of dropped; empty when that text is blank.
     */
    QString tail()
    {
        QString tail = std::exchange(m_text, {});
        m_lineStart = 0;
        if (isBlank(tail))
            return {};
        while (tail.endsWith(CrLf))
            tail.chop(CrLf.size());
        // A separator line that lacks only its line break closes the entry as it is.
        const qsizetype lastBreak = tail.lastIndexOf(CrLf);
        const bool closed = lastBreak >= 0 && LogParser::IsSeparatorLine(QStringView(tail).sliced(lastBreak + CrLf.size()));
        tail += CrLf;
        if (!closed)
            tail += LogParser::SeparatorLine + CrLf.toString();
        return tail;
    }

private:
    QString m_text;
    qsizetype m_lineStart = 0; // the start of the first line whose CR LF has not come yet
};

/** Why an import ended before the end of its text. */
enum class Stop { None, BadByte, Cancelled, StorageFailed };

} // namespace

/**
 * @short Runs a log text, handed over in chunks, through the analysis piece by piece.
 *
 * Each piece ends at an entry separator. The rows of the pieces stay in one transaction until
 * Commit(), which the import calls before the event loop turns; the threads are linked then,
 * those waiting for a parent in a later piece at the end of the text. Memory holds one piece,
 * not the file.
 */
class CBBS::PieceImporter
{
public:
    PieceImporter(CBBS &bbs, const Database *db, int board, bool read)
        : m_bbs(bbs), m_db(db), m_board(board), m_read(read)
    {
    }

    /** Decodes @p chunk and analyses the entries it completes; false when the import stops. */
    bool add(QByteArrayView chunk, bool last)
    {
        QString &text = m_splitter.text();
        const qsizetype from = text.size();
        if (!m_decoder.decodeInto(chunk, last, text))
            return stop(Stop::BadByte);
        const qsizetype cut = m_splitter.cut(from);
        if (cut > 0) {
            const bool goOn = analyse(QStringView(text).first(cut));
            m_splitter.drop(cut);
            if (!goOn)
                return false;
        }
        return !last || analyse(m_splitter.tail());
    }

    /**
     * Links the threads and commits the rows analysed since the last commit (@p last: the text
     * is through, or the import stops); false on a storage failure.
     */
    bool commit(bool last)
    {
        if (m_stop == Stop::StorageFailed) // rolled back already
            return false;
        if (m_bbs.commitPieces(m_board, last))
            return true;
        storageFailed();
        return false;
    }

    Stop stopped() const { return m_stop; }
    /** The 1-based line of an unreadable byte (Stop::BadByte). */
    qsizetype badLine() const { return m_decoder.badLine(); }
    /** False once a piece held a broken or refused entry. */
    bool clean() const { return m_clean; }
    /** The database's description of a storage failure (Stop::StorageFailed). */
    const QString &cause() const { return m_cause; }

private:
    bool analyse(QStringView piece)
    {
        if (piece.isEmpty())
            return true;
        m_bbs.analysePiece(m_board, piece, m_read, m_entries);
        m_entries += m_bbs.LastEntryCount();
        m_clean = m_clean && m_bbs.AnalyseError() == 0;
        if (m_bbs.IsStorageError())
            return storageFailed();
        return !m_bbs.IsCancel() || stop(Stop::Cancelled);
    }

    /** The analysis rolled back and kept the failure that made it do so. */
    bool storageFailed()
    {
        m_cause = m_db && m_db->LastError() ? m_db->LastError().description : u"データベースに書き込めませんでした。"_s;
        m_clean = false;
        return stop(Stop::StorageFailed);
    }

    bool stop(Stop why)
    {
        m_stop = why;
        return false;
    }

    CBBS &m_bbs;
    const Database *m_db;
    const int m_board;
    const bool m_read;
    QString m_cause;
    LogTextDecoder m_decoder;
    PieceSplitter m_splitter;
    Stop m_stop = Stop::None;
    bool m_clean = true;
    int m_entries = 0; // entries of the earlier pieces: entry numbers count through the file
};

namespace {

/** nullopt when every byte of @p bytes decodes as CP932; else the line of the first bad one. */
std::optional<qsizetype> badLineIn(QByteArrayView bytes)
{
    LogTextDecoder decoder;
    for (qsizetype at = 0; at < bytes.size() || at == 0; at += PieceBytes) {
        const qsizetype size = std::min(PieceBytes, bytes.size() - at);
        if (!decoder.check(bytes.sliced(at, size), at + size == bytes.size()))
            return decoder.badLine();
    }
    return std::nullopt;
}

/** The progress line of a file that cannot be imported: its name, the reason and the result. */
QString notImported(const QString &fileName, const QString &reason)
{
    return fileName + reason + u"ため、インポートできませんでした。"_s;
}

QString badByteReason(qsizetype line)
{
    return u"の%1行目にShift_JIS(CP932)として読めない文字がある"_s.arg(line);
}

/** The checks every import file passes first; the reason it fails them, or nullopt. */
std::optional<QString> unusableFile(const QString &fileName)
{
    const QFileInfo info(fileName);
    if (!info.exists())
        return notImported(fileName, u"が見つからない"_s);
    if (!info.isFile())
        return notImported(fileName, u"はファイルではない"_s);
    if (info.size() == 0)
        return notImported(fileName, u"は空のファイルの"_s);
    if (!isArchiveName(fileName) && info.size() > MaxTextFileSize)
        return notImported(fileName, u"は512MBを超える"_s);
    if (isArchiveName(fileName) && !CBBS::CanUseUnlha())
        return UnlhaMissing;
    return std::nullopt;
}

/** A file read from its start in pieces of PieceBytes. */
class PieceReader
{
public:
    bool open(const QString &fileName)
    {
        m_file.close();
        m_file.setFileName(fileName);
        m_at = 0;
        if (!m_file.open(QIODevice::ReadOnly))
            return false;
        m_size = m_file.size();
        return true;
    }

    /** The next piece, @p last telling whether it ends the file; nullopt when reading failed. */
    std::optional<QByteArray> next(bool &last)
    {
        QByteArray chunk = m_file.read(PieceBytes);
        if (m_file.error() != QFileDevice::NoError)
            return std::nullopt;
        m_at += chunk.size();
        last = chunk.isEmpty() || m_at >= m_size;
        return chunk;
    }

private:
    QFile m_file;
    qint64 m_size = 0;
    qint64 m_at = 0;
};

/** The separator line as CP932 bytes (plain ASCII), to tell a log member from a readme. */
bool holdsEntries(const QByteArray &bytes)
{
    return bytes.contains(LogParser::SeparatorLine.toLatin1());
}

/**
 * @short One import file, text or archive, a piece per step, with its progress and failure
 * lines. Failed() tells the file was not imported cleanly; a storage failure also ends the run.
 *
 * A text file is read twice: every byte is checked before anything is stored, so a file with an
 * unreadable byte stays out whole. An archive's members are unpacked one per step and analysed
 * in pieces; a damaged member is named and skipped. A cancel ends the file at the next step.
 */
} // namespace

class CBBS::FileImport : public CBBS::ImportJob
{
public:
    FileImport(CBBS &bbs, const Database *db, int board, const QString &fileName, bool read)
        : m_bbs(bbs), m_db(db), m_board(board), m_fileName(fileName), m_read(read)
    {
    }

    bool Step() override
    {
        if (m_bbs.IsCancel()) {
            if (m_importer) { // the threads still waiting for a parent are linked as they are
                m_importer->commit(true);
                endText(m_phase == Phase::AnalyseMember ? m_memberName : m_fileName);
            }
            return false;
        }
        m_step.start();
        switch (m_phase) {
        case Phase::Start:
            start();
            break;
        case Phase::CheckText:
            checkText();
            break;
        case Phase::AnalyseText:
            analyseText();
            break;
        case Phase::NextMember:
            nextMember();
            break;
        case Phase::AnalyseMember:
            analyseMember();
            break;
        case Phase::Done:
            break;
        }
        return m_phase != Phase::Done;
    }

    bool Failed() const override { return m_failed; }
    QString StopCause() const override { return m_stopCause; }

private:
    enum class Phase { Start, CheckText, AnalyseText, NextMember, AnalyseMember, Done };

    void fail(const QString &line)
    {
        m_failed = true;
        emit m_bbs.StateChanged(line, true, true);
    }

    void progress(const QString &line, bool addLog) { emit m_bbs.StateChanged(line, false, addLog); }

    void start()
    {
        m_phase = Phase::Done;
        if (const std::optional<QString> failure = unusableFile(m_fileName))
            fail(*failure);
        else if (isArchiveName(m_fileName))
            openArchive();
        else if (!m_reader.open(m_fileName))
            fail(notImported(m_fileName, u"を読み込めなかった"_s));
        else
            m_phase = Phase::CheckText;
    }

    /** Checks the next piece of the text file; after the last, its analysis begins. */
    void checkText()
    {
        bool last = false;
        const std::optional<QByteArray> chunk = m_reader.next(last);
        if (!chunk || !m_check.check(*chunk, last)) {
            fail(notImported(m_fileName, chunk ? badByteReason(m_check.badLine()) : u"を読み込めなかった"_s));
            m_phase = Phase::Done;
            return;
        }
        if (!last)
            return;
        progress(m_fileName + u"の解析中..."_s, false);
        m_phase = Phase::AnalyseText;
        if (!m_reader.open(m_fileName)) {
            fail(notImported(m_fileName, u"を読み込めなかった"_s));
            m_phase = Phase::Done;
            return;
        }
        m_importer.emplace(m_bbs, m_db, m_board, m_read);
    }

    /** Whether the step may take one more piece: its rows are committed when it ends. */
    bool stepGoesOn() const { return m_step.elapsed() < m_bbs.m_EventTurnMs && !m_bbs.IsCancel(); }

    void analyseText()
    {
        bool last = false;
        std::optional<QByteArray> chunk;
        bool goOn = true;
        do {
            chunk = m_reader.next(last);
            goOn = chunk && m_importer->add(*chunk, last);
        } while (goOn && !last && stepGoesOn());
        if (!m_importer->commit(!goOn || last) || !goOn || last) {
            endText(m_fileName);
            if (!chunk)
                fail(notImported(m_fileName, u"を読み込めなかった"_s));
            m_phase = Phase::Done;
        }
    }

    /** The end of a text's analysis, its failure lines; false when it stopped on a failure (a cancel is none). */
    bool endText(const QString &name)
    {
        const PieceImporter importer = *std::exchange(m_importer, std::nullopt);
        m_failed = m_failed || !importer.clean();
        switch (importer.stopped()) {
        case Stop::BadByte:
            fail(notImported(name, badByteReason(importer.badLine())));
            return false;
        case Stop::StorageFailed:
            m_stopCause = importer.cause();
            fail(name + u"の取込を中止しました。"_s + m_stopCause + u" 登録できたのは"_s
                 + QString::number(m_bbs.SaveCount()) + u"件です。"_s);
            return false;
        case Stop::None:
        case Stop::Cancelled:
            break;
        }
        return true;
    }

    void openArchive()
    {
        m_archive = newLhaReader();
        if (!m_archive
            || archive_read_open_filename(m_archive.get(), QFile::encodeName(m_fileName).constData(), ArchiveBlockSize)
                   != ARCHIVE_OK) {
            fail(notImported(m_fileName, u"はLHA書庫として読めなかった"_s));
            return;
        }
        m_phase = Phase::NextMember;
    }

    /**
     * Unpacks the archive's next member (members in archive order); one that holds log entries
     * is analysed in the next steps, others are skipped. After the last member, the archive's end.
     */
    void nextMember()
    {
        archive_entry *entry = nullptr;
        int status = ARCHIVE_OK;
        while ((status = archive_read_next_header(m_archive.get(), &entry)) == ARCHIVE_OK || status == ARCHIVE_WARN) {
            if (archive_entry_filetype(entry) != AE_IFREG)
                continue;
            ++m_members;
            const QString member = m_fileName + u"の中の"_s + memberName(entry);
            CBBS::ExtractError error = CBBS::ExtractError::None;
            QByteArray bytes = readMember(m_archive.get(), entry, error);
            if (error == CBBS::ExtractError::TooLarge) {
                ++m_logs; // it may well hold entries
                fail(notImported(member, u"は64MBを超える"_s));
                return;
            }
            if (error == CBBS::ExtractError::Unreadable) {
                // The next header is found by the packed size: the members after it still read,
                // unless the archive is cut short here.
                ++m_logs;
                fail(notImported(member, u"は壊れている"_s));
                return;
            }
            if (!holdsEntries(bytes)) {
                progress(member + u"にはログがないため、読み飛ばしました。"_s, true);
                return;
            }
            ++m_logs;
            if (const std::optional<qsizetype> line = badLineIn(bytes)) {
                fail(notImported(member, badByteReason(*line)));
                return;
            }
            progress(member + u"を解析中..."_s, true);
            ++m_analysed;
            m_memberName = member;
            m_member = std::move(bytes);
            m_at = 0;
            m_importer.emplace(m_bbs, m_db, m_board, m_read);
            m_phase = Phase::AnalyseMember;
            return;
        }
        endArchive(status);
    }

    void analyseMember()
    {
        bool last = false;
        bool goOn = true;
        do {
            const qsizetype size = std::min(PieceBytes, m_member.size() - m_at);
            last = m_at + size == m_member.size();
            const QByteArrayView piece = QByteArrayView(m_member).sliced(m_at, size);
            m_at += size;
            goOn = m_importer->add(piece, last);
        } while (goOn && !last && stepGoesOn());
        if (m_importer->commit(!goOn || last) && goOn && !last)
            return;
        const bool next = endText(m_memberName) && !m_bbs.IsCancel();
        m_member.clear();
        m_phase = next ? Phase::NextMember : Phase::Done;
    }

    void endArchive(int status)
    {
        if (status != ARCHIVE_EOF && m_analysed > 0) // what was imported stays: the file is not "not imported"
            fail(m_fileName + u"は途中で切れているか壊れているため、最後まで読めませんでした。"_s);
        else if (status != ARCHIVE_EOF)
            fail(notImported(m_fileName, u"はLHA書庫として読めなかった"_s));
        else if (m_members == 0)
            fail(notImported(m_fileName, u"にはファイルが入っていない"_s));
        else if (m_logs == 0)
            fail(notImported(m_fileName, u"にはログの入ったファイルがない"_s));
        m_phase = Phase::Done;
    }

    CBBS &m_bbs;
    const Database *m_db;
    const int m_board;
    const QString m_fileName;
    const bool m_read;
    Phase m_phase = Phase::Start;
    bool m_failed = false;
    QString m_stopCause;
    std::optional<PieceImporter> m_importer; // the text being analysed
    QElapsedTimer m_step; // since the step began

    // A text file
    PieceReader m_reader;
    LogTextDecoder m_check;

    // An archive
    ArchiveReader m_archive{nullptr, archive_read_free};
    int m_members = 0;
    int m_logs = 0; // members that hold (or may hold) entries
    int m_analysed = 0; // members whose entries were analysed
    QString m_memberName;
    QByteArray m_member; // the member being analysed
    qsizetype m_at = 0;  // its bytes analysed so far
};

bool CBBS::ImportLog(int BBS_ID, const QString &FileName, bool ReadMode)
{
    if (m_IsLoad || m_IsImport)
        return false;
    m_IsCancel = false;
    m_IsImport = true;
    m_ImportStopCause.clear();
    m_importFile = FileName;
    ResetCounters();
    emit StateChanged(FileName + u"の取込中..."_s, false, false);
    m_import = std::make_unique<FileImport>(*this, m_db, BBS_ID, FileName, ReadMode);
    QTimer::singleShot(0, this, &CBBS::importStep);
    return true;
}

/** One piece of the import; the next goes on in a queued continuation, after a turn of the event loop. */
void CBBS::importStep()
{
    if (m_import->Step())
        QTimer::singleShot(0, this, &CBBS::importStep);
    else
        finishImport();
}

void CBBS::finishImport()
{
    const std::unique_ptr<ImportJob> file = std::move(m_import);
    m_AnalyseError = file->Failed() ? -1 : 0;
    m_ImportStopCause = file->StopCause();
    if (!file->Failed())
        emit StateChanged(m_importFile + u"から"_s + QString::number(m_SaveCount) + u"件インポートしました。"_s,
                          false, true);
    m_IsImport = false;
    emit ImportFinished(!file->Failed());
}

bool CBBS::CanUseUnlha()
{
    static const bool usable = newLhaReader() != nullptr;
    return usable;
}

QString CBBS::ArchiveLibraryVersion()
{
    return QString::fromLatin1(archive_version_string());
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
