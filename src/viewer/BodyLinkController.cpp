#include "viewer/BodyLinkController.h"

#include "app/OneShotTimer.h"
#include "app/mdlExecuteLite.h"
#include "models/BodyLinks.h"
#include "viewer/BodyRenderer.h"

#include <QAccessibleWidget>
#include <QApplication>
#include <QCursor>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QScreen>
#include <QTextBlock>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

using BodyRenderer::PaneLink;

/** The first link starting at or after @p from, or the last ending at or before it. */
std::optional<PaneLink> nearestLink(const QTextDocument &document, int from, bool forward)
{
    for (QTextBlock block = document.findBlock(from); block.isValid(); block = forward ? block.next() : block.previous()) {
        QList<PaneLink> links = BodyRenderer::LinksOf(block);
        if (!forward)
            std::reverse(links.begin(), links.end());
        for (const PaneLink &link : links) {
            if (forward ? link.start >= from : link.end <= from)
                return link;
        }
    }
    return std::nullopt;
}

/** The href of the link character @p position of @p document belongs to; empty for none. */
QString hrefAt(const QTextDocument &document, int position)
{
    for (const PaneLink &link : BodyRenderer::LinksOf(document.findBlock(position))) {
        if (position >= link.start && position < link.end)
            return link.href;
    }
    return {};
}

/** The href of the link drawn under viewport point @p at of @p edit; empty for none. */
QString hrefAt(const QPlainTextEdit &edit, const QPoint &at)
{
    // The caret position nearest the point lies at one side of the character under it, if any.
    const QTextCursor cursor = edit.cursorForPosition(at);
    const QRect caret = edit.cursorRect(cursor);
    if (at.y() < caret.top() || at.y() > caret.bottom())
        return {};
    const QTextLine line = cursor.block().layout()->lineForTextPosition(cursor.positionInBlock());
    const int character = at.x() < caret.left() ? cursor.positionInBlock() - 1 : cursor.positionInBlock();
    if (!line.isValid() || character < line.textStart() || character >= line.textStart() + line.textLength())
        return {};
    return hrefAt(*edit.document(), cursor.block().position() + character);
}

/** The href of a reply link label: set (empty while hidden) on the labels that are links. */
constexpr char ReplyHrefProperty[] = "replyHref";

/** A screen reader's view of a reply link label: a link, named by its text. */
QAccessibleInterface *replyLinkAccessible(const QString &, QObject *object)
{
    auto *label = qobject_cast<QLabel *>(object);
    if (!label || !label->property(ReplyHrefProperty).isValid())
        return nullptr;
    return new QAccessibleWidget(label, QAccessible::Link);
}

QString previewOf(const CMessage &message)
{
    QString text = QString::number(message.ID) + u"  "_s + message.Subject + u"\r\n"_s + message.PostName + u"  "_s
                   + message.PostDate.toString(u"yyyy/MM/dd hh:mm:ss"_s);
    const QList<QStringView> lines = QStringView(message.Body).split(u"\r\n"_s);
    for (qsizetype i = 0; i < lines.size() && i < BodyLinkController::PreviewLines; ++i)
        text += u"\r\n"_s + lines.at(i).toString();
    return text;
}

} // namespace

BodyLinkController::BodyLinkController(QPlainTextEdit &pane, Commands commands, OneShotTimer *timer)
    : m_commands(std::move(commands)),
      m_ownTimer(timer ? nullptr : std::make_unique<QtOneShotTimer>()),
      m_timer(timer ? timer : m_ownTimer.get())
{
    m_panes.append({&pane, 0, nullptr});
    pane.viewport()->setMouseTracking(true);
    // One filter over the application sees the panes' events and the previews' windows, and
    // sees Escape before the window's own keys do: while a preview is open, Escape closes it.
    qApp->installEventFilter(this);
    const QString description = pane.accessibleDescription();
    connect(&pane, &QPlainTextEdit::cursorPositionChanged, this,
            [&pane, description] { pane.setAccessibleDescription(description); });
    // A new message in the pane: the previews of the old one go.
    connect(&pane, &QPlainTextEdit::textChanged, this, [this] {
        m_timer->Stop();
        m_hovered.clear();
        ClosePreviews();
    });
}

BodyLinkController::~BodyLinkController()
{
    ClosePreviews();
}

void BodyLinkController::WatchReplyLink(QLabel &label)
{
    static const bool roleInstalled = (QAccessible::installFactory(replyLinkAccessible), true);
    Q_UNUSED(roleInstalled);
    m_replyLink = &label;
    label.setProperty(ReplyHrefProperty, QString());
    // A screen reader's view made before the label became a link goes: the next is a link's.
    if (QAccessibleInterface *made = QAccessible::queryAccessibleInterface(&label); made->role() != QAccessible::Link)
        QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(made));
    label.setTextFormat(Qt::RichText);
    label.setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    label.hide();
    connect(&label, &QLabel::linkActivated, this, [this](const QString &href) { activate(0, href); });
    connect(&label, &QLabel::linkHovered, this, [this](const QString &href) { hover(0, href, QCursor::pos()); });
}

void BodyLinkController::ShowReplyLink(QLabel &label, int InReplyTo)
{
    label.setVisible(InReplyTo != 0);
    if (InReplyTo == 0)
        return;
    const QString anchor = u">>"_s + QString::number(InReplyTo);
    const QString href = BodyLinks::AnchorHref({BodyLinks::Link::Kind::Anchor, 0, 0, QString(), InReplyTo, InReplyTo});
    // Made of a number only: nothing from the board goes into the markup.
    label.setText(u"レス元 <a href=\"%1\">%2</a>"_s.arg(href.toHtmlEscaped(), anchor.toHtmlEscaped()));
    label.setProperty(ReplyHrefProperty, href);
    label.setAccessibleName(u"レス元 "_s + anchor);
}

QList<QPlainTextEdit *> BodyLinkController::Previews() const
{
    QList<QPlainTextEdit *> previews;
    for (qsizetype i = 1; i < m_panes.size(); ++i)
        previews.append(m_panes.at(i).edit);
    return previews;
}

int BodyLinkController::depthOf(QObject *watched) const
{
    for (qsizetype i = 0; i < m_panes.size(); ++i) {
        const Pane &pane = m_panes.at(i);
        if (watched == pane.edit || watched == pane.edit->viewport() || (pane.frame && watched == pane.frame))
            return int(i);
    }
    return -1;
}

bool BodyLinkController::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    if (type == QEvent::KeyPress || type == QEvent::ShortcutOverride) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Escape && m_panes.size() > 1) {
            if (type == QEvent::KeyPress)
                ClosePreviews();
            event->accept();
            return true;
        }
    }
    if (m_replyLink && watched == m_replyLink)
        return replyLinkEvent(*event);
    if (type == QEvent::Paint) {
        if (const int depth = depthOf(watched); depth >= 0 && watched == m_panes.at(depth).edit->viewport())
            BodyRenderer::DrawVisibleLinks(*m_panes.at(depth).edit);
        return false;
    }
    const bool watchedType = type == QEvent::KeyPress || type == QEvent::MouseMove || type == QEvent::MouseButtonPress
                             || type == QEvent::MouseButtonRelease || type == QEvent::Leave;
    const int depth = watchedType ? depthOf(watched) : -1;
    if (depth < 0)
        return false;
    QPlainTextEdit &edit = *m_panes.at(depth).edit;
    if (type == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        return watched == &edit && keyPress(depth, key->key(), key->modifiers());
    }
    if (type == QEvent::Leave) {
        leave(depth, watched);
        return false;
    }
    if (watched == edit.viewport())
        mouseEvent(depth, *static_cast<QMouseEvent *>(event));
    return false;
}

bool BodyLinkController::replyLinkEvent(const QEvent &event)
{
    if (event.type() == QEvent::Leave)
        hover(0, QString(), QPoint());
    if (event.type() != QEvent::KeyPress)
        return false;
    const int key = static_cast<const QKeyEvent &>(event).key();
    const QString href = m_replyLink->property(ReplyHrefProperty).toString();
    if ((key != Qt::Key_Return && key != Qt::Key_Enter) || href.isEmpty())
        return false;
    activate(0, href);
    return true;
}

void BodyLinkController::mouseEvent(int depth, const QMouseEvent &mouse)
{
    QPlainTextEdit &edit = *m_panes.at(depth).edit;
    const QPoint at = mouse.position().toPoint();
    if (mouse.type() == QEvent::MouseMove) {
        mouseMove(depth, at);
    } else if (mouse.type() == QEvent::MouseButtonPress) {
        m_pressed = hrefAt(edit, at);
    } else if (mouse.button() == Qt::LeftButton) {
        // A drag that selected text opens nothing.
        const QString href = hrefAt(edit, at);
        if (!href.isEmpty() && href == m_pressed && !edit.textCursor().hasSelection())
            activate(depth, href);
    }
}

void BodyLinkController::leave(int depth, QObject *watched)
{
    if (depth + 1 != m_panes.size())
        return;
    if (watched == m_panes.at(depth).edit->viewport()) {
        m_timer->Stop();
        m_hovered.clear();
    }
    // The deepest preview closes when the pointer leaves it.
    if (watched == m_panes.at(depth).frame)
        ClosePreviews(depth - 1);
}

bool BodyLinkController::keyPress(int depth, int key, Qt::KeyboardModifiers modifiers)
{
    QPlainTextEdit &edit = *m_panes.at(depth).edit;
    const bool plain = !(modifiers & (Qt::ControlModifier | Qt::AltModifier));
    if (plain && (key == Qt::Key_Tab || key == Qt::Key_Backtab))
        return focusLink(edit, key == Qt::Key_Tab && !(modifiers & Qt::ShiftModifier));
    if (key != Qt::Key_Return && key != Qt::Key_Enter)
        return false;
    const QTextCursor cursor = edit.textCursor();
    if (!cursor.hasSelection())
        return false;
    const QString href = hrefAt(*edit.document(), cursor.selectionStart());
    if (href.isEmpty())
        return false;
    activate(depth, href);
    return true;
}

bool BodyLinkController::focusLink(QPlainTextEdit &edit, bool forward)
{
    const QTextCursor current = edit.textCursor();
    const int from = !current.hasSelection() ? current.position() : forward ? current.selectionEnd() : current.selectionStart();
    const std::optional<PaneLink> link = nearestLink(*edit.document(), from, forward);
    if (!link)
        return false; // past the last link the focus moves on as usual
    QTextCursor cursor(edit.document());
    cursor.setPosition(link->start);
    cursor.setPosition(link->end, QTextCursor::KeepAnchor);
    edit.setTextCursor(cursor);
    edit.ensureCursorVisible();
    edit.setAccessibleDescription(u"リンク: "_s + cursor.selectedText());
    return true;
}

void BodyLinkController::mouseMove(int depth, const QPoint &at)
{
    ClosePreviews(depth);
    QPlainTextEdit &edit = *m_panes.at(depth).edit;
    const QString href = hrefAt(edit, at);
    edit.viewport()->setCursor(href.isEmpty() ? Qt::IBeamCursor : Qt::PointingHandCursor);
    hover(depth, href, edit.viewport()->mapToGlobal(at));
}

/** The pointer is on link @p href (empty: on none) of the pane at @p depth: an anchor's preview is timed. */
void BodyLinkController::hover(int depth, const QString &href, const QPoint &globalAt)
{
    if (href == m_hovered)
        return;
    m_hovered = href;
    m_timer->Stop();
    int from = 0;
    int to = 0;
    if (depth >= MaxPreviews || !BodyLinks::ParseAnchorHref(href, from, to))
        return;
    m_timer->Start(PreviewDelay, [this, depth, from, to, globalAt] { showPreview(depth, from, to, globalAt); });
}

void BodyLinkController::activate(int depth, const QString &href)
{
    int from = 0;
    int to = 0;
    if (!BodyLinks::ParseAnchorHref(href, from, to)) {
        mdlExecuteLite::OpenAddress(href);
        return;
    }
    const int board = depth == 0 ? m_commands.shownBoard() : m_panes.at(depth).board;
    ClosePreviews();
    m_commands.showMessage(board, from);
}

QString BodyLinkController::PreviewText(int BBS_ID, int from, int to) const
{
    const std::optional<QList<CMessage>> messages = m_commands.find(BBS_ID, from, to, PreviewMessages);
    if (!messages)
        return u"メッセージを読み込めませんでした。"_s;
    if (messages->isEmpty())
        return QString::number(from) + u"\r\n未取得のメッセージです"_s;
    QStringList texts;
    for (const CMessage &message : *messages)
        texts.append(previewOf(message));
    return texts.join(u"\r\n\r\n"_s);
}

void BodyLinkController::showPreview(int depth, int from, int to, const QPoint &globalAt)
{
    if (depth >= m_panes.size())
        return; // the pane the pointer rested in has closed since
    ClosePreviews(depth);
    const QPlainTextEdit &source = *m_panes.first().edit;
    const int board = depth == 0 ? m_commands.shownBoard() : m_panes.at(depth).board;
    auto *frame = new QFrame(source.window(), Qt::ToolTip);
    frame->setObjectName(u"frmAnchorPreview"_s);
    frame->setFrameStyle(QFrame::Box | QFrame::Plain);
    auto *edit = new QPlainTextEdit(frame);
    edit->setObjectName(u"rtbPreview"_s);
    edit->setAccessibleName(u"プレビュー"_s);
    edit->setReadOnly(true);
    edit->setPalette(source.palette());
    edit->setFont(source.font());
    edit->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto *layout = new QVBoxLayout(frame);
    layout->setContentsMargins(1, 1, 1, 1);
    layout->addWidget(edit);
    BodyRenderer::Render(*edit, PreviewText(board, from, to));
    // Japanese text comes from a fallback font whose lines are taller than the pane font's.
    const QFontMetrics metrics = edit->fontMetrics();
    const int lineHeight = qMax(metrics.lineSpacing(), metrics.boundingRect(u"漢"_s).height() + metrics.leading() + 2);
    const int lines = edit->document()->blockCount();
    frame->resize(qMin(source.width(), 480), qMin(lineHeight * lines + 16, 400));
    // Under the pointer: leaving the preview is leaving the anchor.
    frame->move(globalAt - QPoint(8, 8));
    m_panes.append({edit, board, frame});
    edit->viewport()->setMouseTracking(true);
    frame->show();
    // Moved onto the screen as a whole, it still holds the pointer (a link low on the screen
    // opens it upwards). Its frame is known once it is shown.
    if (const QScreen *screen = QGuiApplication::screenAt(globalAt)) {
        QRect placed = frame->frameGeometry();
        placed.moveRight(qMin(placed.right(), screen->availableGeometry().right()));
        placed.moveBottom(qMin(placed.bottom(), screen->availableGeometry().bottom()));
        frame->move(placed.topLeft());
    }
}

void BodyLinkController::ClosePreviews(int depth)
{
    while (m_panes.size() > depth + 1) {
        QFrame *frame = m_panes.takeLast().frame;
        frame->hide();
        frame->deleteLater();
    }
}
