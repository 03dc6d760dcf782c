#pragma once

#include <QColor>
#include <QList>
#include <QString>
#include <QStringView>

class QPlainTextEdit;
class QTextBlock;

/**
 * @short Puts a message body into the body pane as plain text, one colour per line: quote
 * lines navy, reference lines green, the rest black.
 *
 * The text is inserted through a text cursor, never parsed: markup, entities and RTF control
 * words show as the characters they are, and nothing is ever loaded. Addresses and reply anchors
 * that BodyLinks finds are kept with the document (their target an address, or AnchorHref's text
 * for an anchor), read back by LinksOf, and drawn underlined in the palette's link colour by
 * DrawVisibleLinks, only in the blocks the pane shows: a body dense with links costs little more
 * to show than one without.
 */
namespace BodyRenderer {

enum class LineKind { Quote, Reference, Plain };

/** @short A link of the pane: its characters from @p start up to @p end, and its href. */
struct PaneLink
{
    int start = 0;
    int end = 0;
    QString href;
};

/** @short The kind of @p line: by its first character after leading blanks. */
LineKind KindOf(QStringView line);
/** @short Navy (0,0,128), green (0,128,0) or black. */
QColor ColorOf(LineKind kind);
/**
 * @short Replaces the pane's text with @p body split at CR LF, each line followed by a line
 * break, and puts the caret at the top. The pane is drawn once, after filling. A line longer
 * than 8192 characters is shown in pieces of that length (the pane's blocks), in its colour.
 */
void Render(QPlainTextEdit &pane, const QString &body);
/** @short The links Render found that lie in @p block (wholly or in part), in order. */
QList<PaneLink> LinksOf(const QTextBlock &block);
/**
 * @short Draws the links of the blocks in view of @p pane that are not drawn yet, as formats of
 * their layouts (the way a highlighter colours text); before the pane paints.
 */
void DrawVisibleLinks(QPlainTextEdit &pane);
/**
 * @short The pane position of character @p index of @p body as Render lays it out: a CR LF
 * is one line break there, and a long line's pieces are separated by breaks of their own.
 */
qsizetype PanePosition(QStringView body, qsizetype index);

} // namespace BodyRenderer
