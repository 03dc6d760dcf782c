#pragma once

#include <QColor>
#include <QString>
#include <QStringView>

class QPlainTextEdit;

/**
 * @short Puts a message body into the body pane as plain text, one colour per line: quote
 * lines navy, reference lines green, the rest black.
 *
 * The text is inserted through a text cursor, never parsed: markup, entities and RTF control
 * words show as the characters they are, and nothing is ever loaded. Addresses and reply anchors
 * that BodyLinks finds are drawn underlined in the palette's link colour and carry their target as
 * the anchor href of their characters (an address, or AnchorHref's text for an anchor).
 */
namespace BodyRenderer {

enum class LineKind { Quote, Reference, Plain };

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
/**
 * @short The pane position of character @p index of @p body as Render lays it out: a CR LF
 * is one line break there, and a long line's pieces are separated by breaks of their own.
 */
qsizetype PanePosition(QStringView body, qsizetype index);

} // namespace BodyRenderer
