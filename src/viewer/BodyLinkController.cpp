#include "viewer/BodyLinkController.h"

#include "app/OneShotTimer.h"
#include "app/mdlExecuteLite.h"
#include "models/BodyLinks.h"
#include "viewer/BodyRenderer.h"

#include <QApplication>
#include <QFrame>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

/** A link of a pane: its characters and where they point. */
struct LinkRange
{
    int start = 0;
    int end = 0;
    QString href;
};

QList<LinkRange> linksOfBlock(const QTextBlock &block)
{
    QList<LinkRange> links;
    for (auto it = block.begin(); !it.atEnd(); ++it) {
        const QTextFragment fragment = it.fragment();
        if (fragment.charFormat().isAnchor())
            links.append({fragment.position(), fragment.position() + fragment.length(), fragment.charFormat().anchorHref()});
    }
    return links;
}

/** The first link starting at or after @p from, or the last ending at or before it. */
std::optional<LinkRange> nearestLink(const QTextDocument &document, int from, bool forward)
{
    for (QTextBlock block = document.findBlock(from); block.isValid(); block = forward ? block.next() : block.previous()) {
        QList<LinkRange> links = linksOfBlock(block);
        if (!forward)
            std::reverse(links.begin(), links.end());
        for (const LinkRange &link : links) {
            if (forward ? link.start >= from : link.end <= from)
                return link;
        }
    }
    return std::nullopt;
}

/** The href of the link character @p position of @p document belongs to; empty for none. */
QString hrefAt(const QTextDocument &document, int position)
{
    for (const LinkRange &link : linksOfBlock(document.findBlock(position))) {
        if (position >= link.start && position < link.end)
            return link.href;
    }
    return {};
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

void BodyLinkController::mouseEvent(int depth, const QMouseEvent &mouse)
{
    QPlainTextEdit &edit = *m_panes.at(depth).edit;
    const QPoint at = mouse.position().toPoint();
    if (mouse.type() == QEvent::MouseMove) {
        mouseMove(depth, at);
    } else if (mouse.type() == QEvent::MouseButtonPress) {
        m_pressed = edit.anchorAt(at);
    } else if (mouse.button() == Qt::LeftButton) {
        // A drag that selected text opens nothing.
        const QString href = edit.anchorAt(at);
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
    const std::optional<LinkRange> link = nearestLink(*edit.document(), from, forward);
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
    const QString href = edit.anchorAt(at);
    edit.viewport()->setCursor(href.isEmpty() ? Qt::IBeamCursor : Qt::PointingHandCursor);
    if (href == m_hovered)
        return;
    m_hovered = href;
    m_timer->Stop();
    int from = 0;
    int to = 0;
    if (depth >= MaxPreviews || !BodyLinks::ParseAnchorHref(href, from, to))
        return;
    const QPoint globalAt = edit.viewport()->mapToGlobal(at);
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
}

void BodyLinkController::ClosePreviews(int depth)
{
    while (m_panes.size() > depth + 1) {
        QFrame *frame = m_panes.takeLast().frame;
        frame->hide();
        frame->deleteLater();
    }
}
