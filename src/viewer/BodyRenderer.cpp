#include "viewer/BodyRenderer.h"

#include "models/BodyLinks.h"

#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextCursor>
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

/** A link's range in the pane and the format it is drawn with. */
struct PaneLink
{
    qsizetype start;
    qsizetype end;
    QString href;
};

/** The links of @p line, which starts at pane position @p lineStart. */
void collectLinks(QList<PaneLink> &links, QStringView line, qsizetype lineStart)
{
    for (const BodyLinks::Link &link : BodyLinks::Scan(line)) {
        const QString href = link.kind == BodyLinks::Link::Kind::Anchor ? BodyLinks::AnchorHref(link) : link.address;
        links.append({lineStart + pieceOffset(line, link.start),
                      lineStart + pieceOffset(line, link.start + link.length - 1) + 1, href});
    }
}

/** Draws @p links underlined in the palette's link colour, each carrying its href. */
void formatLinks(QTextCursor &cursor, const QList<PaneLink> &links, const QColor &color)
{
    for (const PaneLink &link : links) {
        QTextCharFormat format;
        format.setAnchor(true);
        format.setAnchorHref(link.href);
        format.setFontUnderline(true);
        format.setForeground(color);
        cursor.setPosition(int(link.start));
        cursor.setPosition(int(link.end), QTextCursor::KeepAnchor);
        cursor.mergeCharFormat(format);
    }
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
    formatLinks(cursor, links, pane.palette().color(QPalette::Link));
    cursor.endEditBlock();
    pane.moveCursor(QTextCursor::Start);
    pane.verticalScrollBar()->setValue(0);
    pane.setUpdatesEnabled(true);
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
