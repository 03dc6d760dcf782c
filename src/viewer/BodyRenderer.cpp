#include "viewer/BodyRenderer.h"

#include "models/BodyLinks.h"

#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextLayout>
#include <QTextDocument>

using namespace Qt::StringLiterals;

namespace BodyRenderer {

LineKind KindOf(QStringView line)
{
    qsizetype start = 0;
    while (start < line.size() && line.at(start) == u' ')
        ++start;
    if (start == line.size())
        return LineKind::Plain;
    const QChar first = line.at(start);
    if (first == u'|' || first == u'>' || first == u'＞')
        return LineKind::Quote;
    if (first == u'#' || first == u'＃')
        return LineKind::Reference;
    return LineKind::Plain;
}

QColor ColorOf(LineKind kind)
{
    switch (kind) {
    case LineKind::Quote: return QColor(0, 0, 128);
    case LineKind::Reference: return QColor(0, 128, 0);
    case LineKind::Plain: break;
    }
    return QColor(0, 0, 0);
}

namespace {

/**
 * Characters of one block of the pane. The pane lays out only the blocks in view, but a block
 * always whole: a longer line goes in as several blocks, so a body of one huge line does not
 * freeze the window.
 */
constexpr qsizetype MaxBlockLength = 8192;

/** Characters of the first piece of a line longer than MaxBlockLength; a pair stays whole. */
qsizetype pieceLength(QStringView line)
{
    qsizetype cut = MaxBlockLength;
    if (line.at(cut - 1).isHighSurrogate())
        --cut;
    return cut;
}

/** The offset in the pane of character @p index of @p line, which Render puts in pieces. */
qsizetype pieceOffset(QStringView line, qsizetype index)
{
    qsizetype breaks = 0;
    qsizetype pieceStart = 0;
    while (line.size() - pieceStart > MaxBlockLength) {
        const qsizetype cut = pieceLength(line.sliced(pieceStart));
        if (index < pieceStart + cut)
            break;
        pieceStart += cut;
        ++breaks;
    }
    return index + breaks;
}

/** The links of @p line, which starts at pane position @p lineStart. */
void collectLinks(QList<PaneLink> &links, QStringView line, qsizetype lineStart)
{
    for (const BodyLinks::Link &link : BodyLinks::Scan(line)) {
        const QString href = link.kind == BodyLinks::Link::Kind::Anchor ? BodyLinks::AnchorHref(link) : link.address;
        links.append({int(lineStart + pieceOffset(line, link.start)),
                      int(lineStart + pieceOffset(line, link.start + link.length - 1) + 1), href});
    }
}

/**
 * Draws @p links underlined in the palette's link colour, each carrying its href: as formats of
 * their blocks' layouts, the way a highlighter colours text. Formatting the characters instead
 * splits the document's fragments at every link, which a body dense with links pays for many
 * times over. A link across a long line's cut is drawn in both pieces.
 */
void formatLinks(QTextDocument &document, const QList<PaneLink> &links, const QColor &color)
{
    QTextCharFormat format;
    format.setAnchor(true);
    format.setFontUnderline(true);
    format.setForeground(color);
    QTextBlock block = document.begin();
    QList<QTextLayout::FormatRange> ranges;
    const auto next = [&] {
        if (!ranges.isEmpty())
            block.layout()->setFormats(ranges);
        ranges.clear();
        block = block.next();
    };
    for (const PaneLink &link : links) {
        format.setAnchorHref(link.href);
        for (int start = link.start; start < link.end;) {
            while (start >= block.position() + block.length())
                next();
            const int end = qMin(link.end, block.position() + block.length() - 1);
            ranges.append({start - block.position(), end - start, format});
            start = end + 1;
        }
    }
    next();
}

void appendLine(QString &run, QStringView line)
{
    while (line.size() > MaxBlockLength) {
        const qsizetype cut = pieceLength(line);
        run += line.left(cut);
        run += u'\n';
        line = line.mid(cut);
    }
    run += line;
    run += u'\n';
}

} // namespace

void Render(QPlainTextEdit &pane, const QString &body)
{
    pane.setUpdatesEnabled(false);
    pane.clear();
    QTextCursor cursor(pane.document());
    cursor.beginEditBlock();
    // Neighbouring lines of one colour go in as one run: a long body takes few insertions.
    QString run;
    LineKind runKind = LineKind::Plain;
    QList<PaneLink> links;
    qsizetype lineStart = 0;
    const auto flush = [&] {
        if (run.isEmpty())
            return;
        QTextCharFormat format;
        format.setForeground(ColorOf(runKind));
        cursor.insertText(run, format);
        run.clear();
    };
    for (QStringView line : QStringView(body).split(u"\r\n"_s)) {
        const LineKind kind = KindOf(line);
        if (kind != runKind)
            flush();
        runKind = kind;
        collectLinks(links, line, lineStart);
        const qsizetype before = run.size();
        appendLine(run, line);
        lineStart += run.size() - before;
    }
    flush();
    formatLinks(*pane.document(), links, pane.palette().color(QPalette::Link));
    cursor.endEditBlock();
    pane.moveCursor(QTextCursor::Start);
    pane.verticalScrollBar()->setValue(0);
    pane.setUpdatesEnabled(true);
}

QList<PaneLink> LinksOf(const QTextBlock &block)
{
    QList<PaneLink> links;
    for (const QTextLayout::FormatRange &range : block.layout()->formats()) {
        if (range.format.isAnchor())
            links.append({block.position() + range.start, block.position() + range.start + range.length,
                          range.format.anchorHref()});
    }
    return links;
}

qsizetype PanePosition(QStringView body, qsizetype index)
{
    qsizetype pane = 0;
    qsizetype start = 0; // body position of the line
    for (QStringView line : body.split(u"\r\n"_s)) {
        if (index < start) // inside the CR LF before this line
            return pane;
        qsizetype pieceStart = start;
        while (line.size() > MaxBlockLength) {
            const qsizetype cut = pieceLength(line);
            if (index < pieceStart + cut)
                return pane + index - pieceStart;
            pane += cut + 1;
            pieceStart += cut;
            line = line.mid(cut);
        }
        if (index <= pieceStart + line.size())
            return pane + index - pieceStart;
        pane += line.size() + 1;
        start = pieceStart + line.size() + 2;
    }
    return pane;
}

} // namespace BodyRenderer
