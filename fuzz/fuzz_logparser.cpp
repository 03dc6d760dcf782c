// libFuzzer target for the log text splitter, the entry parsers, dates, numbers and keys.
//
// Input: the first byte selects how the rest becomes text: even = UTF-8, odd = raw UTF-16
// (little endian), which also reaches lone surrogates that no decoder produces.

#include "transfer/LogParser.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

void require(bool condition)
{
    if (!condition)
        std::abort();
}

QString textOf(const uint8_t *data, size_t size)
{
    if (size == 0)
        return QString();
    const auto *bytes = reinterpret_cast<const char *>(data + 1);
    const auto length = qsizetype(size - 1);
    if ((data[0] & 1) == 0)
        return QString::fromUtf8(bytes, length);
    QString text(length / 2, Qt::Uninitialized);
    std::memcpy(text.data(), bytes, size_t(text.size()) * sizeof(QChar));
    return text;
}

void checkEntry(QStringView entry)
{
    for (int type = -1; type <= 4; ++type) {
        LogParser::EntryError error = LogParser::EntryError::None;
        const auto msg = LogParser::ParseEntry(type, 42, entry, true, &error);
        require(bool(msg) == (error == LogParser::EntryError::None));
        if (!msg)
            continue;
        require(msg->ID >= 0 && msg->InReplyTo >= 0 && msg->PostDate.isValid());
        require(msg->Read && msg->Mark == 0 && msg->RootThread == 0);
        require(CMessage::ParseKey(msg->Key()) == CMessage::KeyParts{42, msg->ID});
        require(entry.endsWith(msg->Body));
        if (type == 1 || type == 2)
            require(msg->Subject.size() <= 50);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = textOf(data, size);
    qsizetype covered = 0;
    for (const QStringView entry : LogParser::SplitEntries(text)) {
        require(entry.data() >= text.data() + covered);
        covered = entry.data() + entry.size() - text.data() + LogParser::Separator.size();
        require(covered <= text.size());
        checkEntry(entry);
    }
    checkEntry(text);

    if (const auto date = LogParser::ParseDateTime(text))
        require(date->isValid());
    if (const auto number = LogParser::ParseWholeNumber(text))
        require(*number >= 0);
    if (const auto key = CMessage::ParseKey(text))
        require(CMessage::MakeKey(key->BBS_ID, key->ID) == text);
    return 0;
}
