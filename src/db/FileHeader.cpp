#include "db/FileHeader.h"

#include <QFile>
#include <QtEndian>
#include <algorithm>

namespace FileHeader {

namespace {

const QByteArray Signature("SQLite format 3\0", 16);
/** The page size of files this program makes, taken where the header's own is unreadable. */
constexpr int DefaultPageSize = 4096;
/** How many of the first pages are looked at. */
constexpr int PagesLooked = 8;

quint32 read32(const QByteArray &header, int at)
{
    return qFromBigEndian<quint32>(header.constData() + at);
}

void write32(QByteArray &header, int at, quint32 value)
{
    qToBigEndian(value, header.data() + at);
}

/** The page size that @p header declares; 0 when it is no valid one. */
int declaredPageSize(const QByteArray &header)
{
    if (header.size() < Size)
        return 0;
    const int size = qFromBigEndian<quint16>(header.constData() + 16);
    if (size == 1)
        return 65536;
    const bool powerOfTwo = size >= 512 && size <= 32768 && (size & (size - 1)) == 0;
    return powerOfTwo ? size : 0;
}

bool inRange(qint64 value, qint64 low, qint64 high)
{
    return value >= low && value <= high;
}

/** The first byte of a b-tree page: an interior or leaf page of an index (2, 10) or table (5, 13). */
bool isBtreePage(char type)
{
    return type == 0x02 || type == 0x05 || type == 0x0a || type == 0x0d;
}

} // namespace

bool HasDatabasePages(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const qint64 fileSize = file.size();
    const int declared = declaredPageSize(file.read(Size));
    const int pageSize = declared > 0 ? declared : DefaultPageSize;
    if (fileSize < pageSize || fileSize % pageSize != 0)
        return false;
    const int pages = int(std::min<qint64>(PagesLooked, fileSize / pageSize));
    int btreePages = 0;
    for (int page = 0; page < pages; ++page) {
        // Page 1 starts with the file header; its b-tree header follows.
        char type = 0;
        if (file.seek(page == 0 ? Size : qint64(page) * pageSize) && file.getChar(&type) && isBtreePage(type))
            ++btreePages;
    }
    return btreePages * 2 > pages;
}

bool IsSound(const QByteArray &header)
{
    const int pageSize = declaredPageSize(header);
    return pageSize > 0 && header.startsWith(Signature) && inRange(header.at(18), 1, 2) && inRange(header.at(19), 1, 2)
        && pageSize - uchar(header.at(20)) >= 480 && header.mid(21, 3) == QByteArray("\x40\x20\x20")
        && read32(header, 44) <= 4 && read32(header, 56) <= 3;
}

QByteArray Mended(const QByteArray &damaged, qint64 fileSize)
{
    QByteArray header = damaged.leftJustified(Size, '\0', true);
    header.replace(0, Signature.size(), Signature);
    int pageSize = declaredPageSize(header);
    if (pageSize == 0) {
        pageSize = DefaultPageSize;
        qToBigEndian<quint16>(quint16(pageSize), header.data() + 16);
    }
    for (const int at : {18, 19}) {
        if (!inRange(header.at(at), 1, 2))
            header[at] = 1;
    }
    if (pageSize - uchar(header.at(20)) < 480)
        header[20] = 0;
    header.replace(21, 3, QByteArray("\x40\x20\x20"));
    const quint32 pages = quint32(fileSize / pageSize);
    write32(header, 28, pages);
    // The page count is trusted only while this field equals the change counter.
    write32(header, 92, read32(header, 24));
    if (read32(header, 32) > pages) {
        write32(header, 32, 0);
        write32(header, 36, 0);
    }
    if (read32(header, 52) > pages)
        write32(header, 52, 0);
    if (!inRange(read32(header, 44), 1, 4))
        write32(header, 44, 4);
    if (!inRange(read32(header, 56), 1, 3))
        write32(header, 56, 2); // UTF-16le, as this program writes its files
    return header;
}

} // namespace FileHeader
