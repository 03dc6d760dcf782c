#include "app/CIniFile.h"

#include "app/CFile.h"
#include "app/FileLock.h"
#include "app/IniNumber.h"
#include "app/Prompter.h"
#include "app/mdlText.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <QStringEncoder>
#include <algorithm>
#include <functional>
#include <limits>

using namespace Qt::StringLiterals;

namespace {

constexpr auto Codec = "CP932";
constexpr auto Stateless = QStringConverter::Flag::Stateless;

// ---- Lines of the file -------------------------------------------------------------------

/** A line of the file: its text is bytes [begin, end), its line end [end, next). */
struct Line
{
    qsizetype begin;
    qsizetype end;
    qsizetype next;
};

/** Calls @p visit with each line; lines end at LF, CR LF or a lone CR, and a last line without line end is a line too. */
template<typename Visit>
void forEachLine(const QByteArray &bytes, Visit visit)
{
    const char *data = bytes.constData();
    const qsizetype size = bytes.size();
    qsizetype pos = 0;
    while (pos < size) {
        qsizetype end = pos;
        while (end < size && data[end] != '\n' && data[end] != '\r')
            ++end;
        qsizetype next = end;
        if (next < size)
            next += (data[next] == '\r' && next + 1 < size && data[next + 1] == '\n') ? 2 : 1;
        visit(Line{pos, end, next});
        pos = next;
    }
}

QList<Line> splitLines(const QByteArray &bytes)
{
    QList<Line> lines;
    forEachLine(bytes, [&lines](const Line &line) { lines.append(line); });
    return lines;
}

enum class Kind { Blank, Comment, Header, Entry };

/** A line's kind and its text: the header's name, or the trimmed entry line (a view into the line). */
struct Classified
{
    Kind kind;
    QStringView text;
};

/**
 * A header is "[" name "]" and holds no "=": every line the writer makes for a key holds
 * one, so no key or value can ever turn into a section header.
 */
Classified classify(QStringView line)
{
    const QStringView t = mdlText::TrimBlanks(line);
    if (t.isEmpty())
        return {Kind::Blank, {}};
    if (t.startsWith(u';'))
        return {Kind::Comment, {}};
    const qsizetype close = t.indexOf(u']');
    if (t.startsWith(u'[') && close > 0 && !t.contains(u'='))
        return {Kind::Header, mdlText::TrimBlanks(t.sliced(1, close - 1))};
    return {Kind::Entry, t};
}

/** What a save needs of a line: its kind, and the name of a header. */
struct LineText
{
    Kind kind;
    QString name;
};

bool isPlainAscii(QByteArrayView line)
{
    return std::all_of(line.begin(), line.end(), [](char c) { return (c >= 0x20 && c < 0x7f) || c == '\t'; });
}

/**
 * Decodes one line. The line end is decoded with it, so that a lead byte cut off at the end
 * of the line is shown as a substitute character instead of vanishing.
 */
QString decodeLine(QStringDecoder &decoder, QByteArrayView line, bool &badBytes)
{
    if (isPlainAscii(line))
        return QString::fromLatin1(line);
    decoder.resetState();
    QString text = decoder.decode(line.toByteArray() + '\n');
    badBytes = decoder.hasError();
    if (text.endsWith(u'\n'))
        text.chop(1);
    return text;
}

QList<LineText> classifyAll(const QByteArray &bytes, const QList<Line> &lines)
{
    QStringDecoder decoder(Codec, Stateless);
    QList<LineText> texts;
    texts.reserve(lines.size());
    for (const Line &line : lines) {
        bool badBytes = false;
        const QString text = decodeLine(decoder, QByteArrayView(bytes).sliced(line.begin, line.end - line.begin), badBytes);
        const Classified classified = classify(text);
        texts.append({classified.kind, classified.kind == Kind::Header ? classified.text.toString() : QString()});
    }
    return texts;
}

/** Encodes @p text as CP932; a character CP932 lacks becomes "?" and sets @p lossy. */
QByteArray encode(QStringView text, bool &lossy)
{
    if (std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; }))
        return text.toLatin1(); // the same bytes, without opening a converter for every line
    QStringEncoder encoder(Codec, Stateless);
    QByteArray bytes = encoder.encode(text);
    if (!encoder.hasError())
        return bytes;
    lossy = true;
    bytes.clear();
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype n = text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate() ? 2 : 1;
        QStringEncoder single(Codec, Stateless);
        const QByteArray c = single.encode(text.sliced(i, n));
        bytes += single.hasError() ? QByteArray("?") : c;
        i += n;
    }
    return bytes;
}

/** The line end of the section's header, else the file's first, else CR LF. */
QByteArray lineEndFor(const QByteArray &file, const QList<Line> &lines, qsizetype header)
{
    if (header >= 0 && lines[header].next > lines[header].end)
        return file.sliced(lines[header].end, lines[header].next - lines[header].end);
    for (const Line &line : lines) {
        if (line.next > line.end)
            return file.sliced(line.end, line.next - line.end);
    }
    return "\r\n"_ba;
}

/** What to write for one section: its name, and what appends its key=value lines, each followed by the line end. */
struct SectionText
{
    QString name;
    std::function<void(QByteArray &out, QByteArrayView eol)> writeEntries;
};

/**
 * One occurrence of a written section in the file: its header line, and one past its last
 * line that is not blank (the blank lines after it stay where they are).
 */
struct Block
{
    qsizetype section; // index into the sections being written
    qsizetype header;
    qsizetype end;
};

QList<Block> findBlocks(const QList<LineText> &texts, const QList<SectionText> &sections)
{
    QHash<QString, qsizetype> wanted;
    for (qsizetype s = 0; s < sections.size(); ++s)
        wanted.insert(sections[s].name.toLower(), s);
    QList<Block> blocks;
    for (qsizetype i = 0; i < texts.size(); ++i) {
        const auto found = texts[i].kind == Kind::Header ? wanted.constFind(texts[i].name.toLower()) : wanted.cend();
        if (found == wanted.cend())
            continue;
        qsizetype end = i + 1;
        while (end < texts.size() && texts[end].kind != Kind::Header)
            ++end;
        qsizetype last = end;
        while (last > i + 1 && texts[last - 1].kind == Kind::Blank)
            --last;
        blocks.append({*found, i, last});
        i = end - 1;
    }
    return blocks;
}

/**
 * Returns @p file with each of @p sections (found without regard to case) holding its
 * entries, in one pass. A section's first header line stays, followed by the comment lines
 * of all its occurrences and then its entries; later occurrences, which the reader merges
 * into the first, are removed. The blank lines that end a section and every byte outside
 * the written sections stay as they are. Sections missing from the file are appended.
 */
QByteArray writeSections(const QByteArray &file, const QList<SectionText> &sections, bool &lossy)
{
    const QList<Line> lines = splitLines(file);
    const QList<LineText> texts = classifyAll(file, lines);
    const QList<Block> blocks = findBlocks(texts, sections);

    QList<QList<qsizetype>> comments(sections.size());
    for (const Block &block : blocks) {
        for (qsizetype i = block.header + 1; i < block.end; ++i) {
            if (texts[i].kind == Kind::Comment)
                comments[block.section].append(i);
        }
    }
    const auto writeBody = [&](QByteArray &out, qsizetype s, const QByteArray &eol) {
        for (const qsizetype i : comments[s])
            out.append(QByteArrayView(file).sliced(lines[i].begin, lines[i].end - lines[i].begin)).append(eol);
        sections[s].writeEntries(out, eol);
    };

    QByteArray out;
    out.reserve(file.size());
    QList<bool> written(sections.size(), false);
    qsizetype copied = 0;
    for (const Block &block : blocks) {
        const Line &header = lines[block.header];
        out += QByteArrayView(file).sliced(copied, header.begin - copied);
        if (!written[block.section]) {
            const QByteArray eol = lineEndFor(file, lines, block.header);
            out.append(QByteArrayView(file).sliced(header.begin, header.end - header.begin)).append(eol);
            writeBody(out, block.section, eol);
            written[block.section] = true;
        }
        copied = block.end < lines.size() ? lines[block.end].begin : file.size();
    }
    out += QByteArrayView(file).sliced(copied);

    const QByteArray eol = lineEndFor(file, lines, -1);
    for (qsizetype s = 0; s < sections.size(); ++s) {
        if (written[s])
            continue;
        if (!out.isEmpty() && !out.endsWith('\n') && !out.endsWith('\r'))
            out += eol;
        out += '[' + encode(mdlText::OneLine(sections[s].name), lossy) + ']' + eol;
        writeBody(out, s, eol);
    }
    return out;
}

enum class ReadResult { Read, Unreadable, TooLarge };

/** Reads @p path into @p bytes; a missing file is empty. A file beyond MaxFileBytes is not read. */
ReadResult readFile(const QString &path, QByteArray &bytes)
{
    bytes.clear();
    QFile file(path);
    if (!file.exists())
        return ReadResult::Read;
    if (!file.open(QIODevice::ReadOnly)) {
        qWarning("CIniFile: cannot read %s: %s", qUtf8Printable(path), qUtf8Printable(file.errorString()));
        return ReadResult::Unreadable;
    }
    if (file.size() > CIniFile::MaxFileBytes)
        return ReadResult::TooLarge;
    bytes = file.read(CIniFile::MaxFileBytes + 1); // the file may grow meanwhile
    if (bytes.size() > CIniFile::MaxFileBytes) {
        bytes.clear();
        return ReadResult::TooLarge;
    }
    return file.error() == QFileDevice::NoError ? ReadResult::Read : ReadResult::Unreadable;
}

QString tooLargeText(const QString &path)
{
    return u"設定ファイル %1 は %2 MB を超えているため、読み込みも書き込みもしません。"
           "不要なら削除してください。"_s.arg(path).arg(CIniFile::MaxFileBytes / (1024 * 1024));
}

constexpr qint64 Int16Min = std::numeric_limits<qint16>::min();
constexpr qint64 Int16Max = std::numeric_limits<qint16>::max();
constexpr qint64 Int32Min = std::numeric_limits<qint32>::min();
constexpr qint64 Int32Max = std::numeric_limits<qint32>::max();


} // namespace

// ---- Sections ----------------------------------------------------------------------------

void CIniFile::Section::put(Item item)
{
    const QString key = item.key.toLower();
    if (const auto old = keyOrder.constFind(key); old != keyOrder.cend())
        items.remove(*old);
    keyOrder.insert(key, nextOrder);
    items.insert(nextOrder++, std::move(item));
}

void CIniFile::Section::remove(const QString &key)
{
    const auto it = keyOrder.constFind(key.toLower());
    if (it == keyOrder.cend())
        return;
    items.remove(*it);
    keyOrder.erase(it);
}

const CIniFile::Item *CIniFile::Section::find(const QString &key) const
{
    const auto it = keyOrder.constFind(key.toLower());
    return it == keyOrder.cend() ? nullptr : &items.constFind(*it).value();
}

CIniFile::Section &CIniFile::sectionFor(const QString &name)
{
    const QString lower = name.toLower();
    auto it = m_sections.find(lower);
    if (it == m_sections.end()) {
        it = m_sections.insert(lower, Section{name, {}, {}, 0});
        m_sectionNames.append(name);
    }
    return *it;
}

CIniFile::Section *CIniFile::current()
{
    const auto it = m_sections.find(m_current.toLower());
    return it == m_sections.end() ? nullptr : &*it;
}

const CIniFile::Section *CIniFile::current() const
{
    const auto it = m_sections.constFind(m_current.toLower());
    return it == m_sections.cend() ? nullptr : &*it;
}

// ---- Loading and saving ------------------------------------------------------------------

bool CIniFile::Load(const QString &IniFileName)
{
    m_fileName = IniFileName;
    m_sectionNames.clear();
    m_sections.clear();
    m_exists = false;
    m_damaged = false;
    QByteArray bytes;
    const ReadResult read = readFile(IniFileName, bytes);
    if (read == ReadResult::TooLarge)
        prompter().warning(tooLargeText(IniFileName) + u"\n既定の設定を使います。"_s);
    parse(bytes);
    if (!m_current.isEmpty())
        m_current = sectionFor(m_current).name;
    return read == ReadResult::Read;
}

/** Reads the lines one by one: memory holds the file and what it sets, not a copy per line. */
void CIniFile::parse(const QByteArray &bytes)
{
    QStringDecoder decoder(Codec, Stateless);
    Section *target = nullptr; // lines before the first section, or under "[]", are not read
    forEachLine(bytes, [&](const Line &line) {
        const QByteArrayView raw = QByteArrayView(bytes).sliced(line.begin, line.end - line.begin);
        bool badBytes = false;
        const QString decoded = decodeLine(decoder, raw, badBytes);
        m_damaged = m_damaged || badBytes;
        const Classified text = classify(decoded);
        if (text.kind == Kind::Header)
            target = text.text.isEmpty() ? nullptr : &sectionFor(text.text.toString());
        else if (text.kind == Kind::Entry && target)
            target->put(entryItem(text.text, raw));
    });
}

CIniFile::Item CIniFile::entryItem(QStringView line, QByteArrayView raw)
{
    const qsizetype eq = line.indexOf(u'=');
    if (eq < 0) {
        m_damaged = true; // a save drops the line
        const QString text = line.toString();
        return {text, text, false, {}};
    }
    Item item{mdlText::TrimBlanks(line.first(eq)).toString(), mdlText::TrimBlanks(line.sliced(eq + 1)).toString(), true, {}};
    // An unchanged line is written back as it was: its bytes are kept unless they are plain
    // "key=value", what writing the item gives.
    const QLatin1StringView plain(raw);
    const bool regenerates = isPlainAscii(raw) && plain.size() == item.key.size() + 1 + item.value.size()
        && plain.startsWith(item.key) && plain.endsWith(item.value) && raw[item.key.size()] == '=';
    if (!regenerates)
        item.rawLine = raw.toByteArray();
    return item;
}

void CIniFile::writeEntries(const Section &section, QByteArray &out, QByteArrayView eol, bool &lossy)
{
    for (const Item &item : section.items) {
        if (item.isEntry)
            out.append(item.rawLine.isEmpty() ? encode(mdlText::OneLine(item.key + u'=' + item.value), lossy) : item.rawLine).append(eol);
    }
}

void CIniFile::TrySave(const QString &Section)
{
    static_cast<void>(Save(Section)); // the values stay held for the save at exit
}

bool CIniFile::Save(const QString &Section)
{
    m_lastError.clear();
    const QStringList names = Section.isEmpty() ? m_sectionNames : QStringList{Section};
    if (names.isEmpty() || m_fileName.isEmpty())
        return false;
    bool lossy = false;
    QList<SectionText> sections;
    for (const QString &name : names) {
        setNowSection(name);
        if (!current())
            return false;
        const CIniFile::Section *section = current();
        sections.append({m_current, [section, &lossy](QByteArray &out, QByteArrayView eol) {
                             writeEntries(*section, out, eol, lossy);
                         }});
    }
    const FileLock lock(m_fileName);
    if (!lock.isLocked()) {
        qWarning("CIniFile: cannot write %s: %s", qUtf8Printable(m_fileName), qUtf8Printable(lock.errorText()));
        m_lastError = lock.errorText();
        return false;
    }
    QByteArray file;
    if (const ReadResult read = readFile(m_fileName, file); read != ReadResult::Read) {
        m_lastError = read == ReadResult::TooLarge ? tooLargeText(m_fileName)
                                                   : u"設定ファイル %1 を読み込めないため、保存しませんでした。"_s.arg(m_fileName);
        return false;
    }
    if (m_damaged && !file.isEmpty() && !keepDamagedOriginal(file))
        return false;
    file = writeSections(file, sections, lossy);
    if (lossy)
        qWarning("CIniFile: characters that CP932 lacks were written to %s as \"?\"", qUtf8Printable(m_fileName));
    if (const CFile::SaveResult saved = CFile::SaveAtomically(m_fileName, file); !saved) {
        qWarning("CIniFile: cannot write %s: %s", qUtf8Printable(m_fileName), qUtf8Printable(saved.message));
        m_lastError = saved.message;
        return false;
    }
    m_exists = true;
    return true;
}

bool CIniFile::keepDamagedOriginal(const QByteArray &bytes)
{
    QString backup = m_fileName + u".bad"_s;
    if (QFileInfo::exists(backup))
        backup = m_fileName + u'.' + QDateTime::currentDateTime().toString(u"yyyyMMdd-hhmmss"_s) + u".bad"_s;
    if (const CFile::SaveResult saved = CFile::SaveAtomically(backup, bytes); !saved) {
        m_lastError = saved.message;
        return false;
    }
    m_damaged = false;
    prompter().warning(u"設定ファイル %1 に読めない行があったため、書き換える前の内容を %2 に残しました。"_s
                           .arg(m_fileName, backup));
    return true;
}

// ---- Selection and keys ------------------------------------------------------------------

void CIniFile::setNowSection(const QString &Section)
{
    if (Section == m_current)
        return;
    if (mdlText::TrimBlanks(Section).isEmpty()) {
        m_current.clear();
        m_exists = false;
        return;
    }
    m_exists = m_sections.contains(Section.toLower());
    m_current = sectionFor(Section).name;
}

QStringList CIniFile::Keys() const
{
    QStringList keys;
    if (const Section *section = current()) {
        for (const Item &item : section->items) {
            if (item.isEntry)
                keys.append(item.key);
        }
    }
    return keys;
}

void CIniFile::DeleteData(const QString &Key)
{
    if (Section *section = current())
        section->remove(Key);
}

void CIniFile::Clear()
{
    if (Section *section = current()) {
        section->items.clear();
        section->keyOrder.clear();
    }
}

QString CIniFile::Data(const QString &Key) const
{
    const Section *section = current();
    const Item *item = section ? section->find(Key) : nullptr;
    return item ? item->value : QString();
}

bool CIniFile::setData(const QString &Key, const QString &NewData)
{
    Section *section = current();
    if (!section) {
        qWarning("CIniFile: no section selected to write key %s", qUtf8Printable(Key));
        return false;
    }
    section->put({Key, NewData, true, {}});
    return true;
}

QVariant CIniFile::InitData(const QString &Key, int IniType, const QVariant &Default) const
{
    const QString text = Data(Key);
    switch (IniType) {
    case IniText:
        return mdlText::TrimBlanks(text).isEmpty() ? Default : QVariant(text);
    case IniLong:
        if (const auto value = IniNumber::ToWhole(text, Int32Min, Int32Max))
            return QVariant(qint32(*value));
        return Default;
    case IniSingle:
        if (const auto value = IniNumber::ToSingle(text))
            return QVariant(*value);
        return Default;
    case IniBool:
        if (const auto value = IniNumber::ToBool(text))
            return QVariant(*value);
        return Default;
    default:
        return text;
    }
}

bool CIniFile::IsBool(const QString &Str)
{
    return IniNumber::ToBool(Str).has_value();
}

bool CIniFile::IsInt(const QString &Str)
{
    return IniNumber::ToWhole(Str, Int16Min, Int16Max).has_value();
}

bool CIniFile::IsLng(const QString &Str)
{
    return IniNumber::ToWhole(Str, Int32Min, Int32Max).has_value();
}

bool CIniFile::IsSng(const QString &Str)
{
    return IniNumber::ToSingle(Str).has_value();
}
