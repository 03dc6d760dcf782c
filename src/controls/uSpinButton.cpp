#include "controls/uSpinButton.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QRegularExpression>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QStyle>

using namespace Qt::StringLiterals;

namespace {

// The arrows are a scroll bar resting in the middle of the range 0..2.
constexpr int SpinUp = 0;
constexpr int SpinRest = 1;
constexpr int SpinDown = 2;
constexpr int Backspace = 8;

bool isWholeNumber(const QString &text)
{
    static const QRegularExpression number(u"\\A-?[0-9]+\\z"_s);
    return number.match(text).hasMatch();
}

bool isAcceptedCharacter(int code)
{
    return (code >= u'0' && code <= u'9') || code == u'-' || code == Backspace;
}

// Enter, Escape, Tab and the like keep their usual meaning (default button, focus).
bool isControlCharacter(int code)
{
    return code != Backspace && (code < 0x20 || code == 0x7f);
}

} // namespace

uSpinButton::uSpinButton(QWidget *parent)
    : QWidget(parent)
    , m_text(new QLineEdit(this))
    , m_spin(new QScrollBar(Qt::Vertical, this))
{
    m_text->setObjectName(u"Text"_s);
    m_spin->setObjectName(u"Spin"_s);
    m_text->setText(QString::number(m_value));
    m_text->installEventFilter(this);
    m_spin->setRange(SpinUp, SpinDown);
    m_spin->setPageStep(1);
    m_spin->setValue(SpinRest);
    // A click on the arrows puts the focus into the text.
    m_spin->setFocusPolicy(Qt::ClickFocus);
    m_spin->setFocusProxy(m_text);
    setFocusProxy(m_text);
    setFocusPolicy(m_text->focusPolicy());
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    fitHeight();

    connect(m_spin, &QScrollBar::valueChanged, this, &uSpinButton::onSpin);
    connect(m_text, &QLineEdit::textChanged, this, &uSpinButton::onTextChanged);
}

void uSpinButton::setValue(int value)
{
    if (value < m_min || value > m_max)
        return;
    m_value = value;
    const QScopedValueRollback editing(m_editing, true);
    m_text->setText(QString::number(value));
}

bool uSpinButton::Locked() const
{
    return m_text->isReadOnly();
}

void uSpinButton::setLocked(bool locked)
{
    m_text->setReadOnly(locked);
    m_spin->setEnabled(!locked);
}

QSize uSpinButton::sizeHint() const
{
    const int textWidth = m_text->fontMetrics().horizontalAdvance(u"-00000000"_s) + 12;
    return {textWidth + m_spin->width(), m_text->height()};
}

void uSpinButton::onSpin(int position)
{
    if (position == SpinRest)
        return;
    setValue(position == SpinUp ? m_value + 1 : m_value - 1);
    m_spin->setValue(SpinRest);
    m_text->selectAll();
    emit Change();
}

void uSpinButton::onTextChanged(const QString &text)
{
    if (m_editing)
        return;
    const QScopedValueRollback editing(m_editing, true);
    if (text.isEmpty()) {
        // The shown minimum is also the value, so what the owner reads is what the user sees.
        if (m_min <= m_max)
            m_value = m_min;
        m_text->setText(QString::number(m_value));
        m_text->selectAll();
        return;
    }
    bool ok = false;
    const int number = isWholeNumber(text) ? text.toInt(&ok) : 0;
    if (!ok || number < m_min || number > m_max) {
        restoreText();
        return;
    }
    m_value = number;
}

void uSpinButton::restoreText()
{
    const int caret = m_text->cursorPosition();
    m_text->setText(QString::number(m_value));
    m_text->setCursorPosition(caret);
}

bool uSpinButton::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_text)
        return QWidget::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::FocusIn:
        m_text->selectAll();
        break;
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
        if (Locked())
            break;
        return handleArrowKey(static_cast<QKeyEvent *>(event))
            || (event->type() == QEvent::KeyPress && filterCharacter(static_cast<QKeyEvent *>(event)));
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

bool uSpinButton::handleArrowKey(QKeyEvent *event)
{
    const int key = event->key();
    if ((key != Qt::Key_Up && key != Qt::Key_Down)
        || (event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier)))
        return false;
    if (event->type() == QEvent::KeyPress)
        setValue(key == Qt::Key_Up ? m_value + 1 : m_value - 1);
    m_text->selectAll();
    return true;
}

// Returns true when the key is consumed (dropped or replaced by the owner's character).
bool uSpinButton::filterCharacter(QKeyEvent *event)
{
    if (event->text().isEmpty() || (event->modifiers() & (Qt::ControlModifier | Qt::MetaModifier)))
        return false;
    const int typed = event->text().at(0).unicode();
    int code = typed;
    emit KeyPress(code);
    if (code == typed)
        return !isControlCharacter(code) && !isAcceptedCharacter(code);
    if (code == Backspace)
        m_text->backspace();
    else if (isAcceptedCharacter(code))
        m_text->insert(QString(QChar(code)));
    return true;
}

void uSpinButton::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    const int spinWidth = m_spin->width();
    m_text->setGeometry(0, 0, qMax(0, width() - spinWidth), m_text->height());
    m_spin->move(width() - spinWidth, 0);
}

void uSpinButton::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
        fitHeight();
}

// The control is exactly as high as its text; the arrows keep the style's scroll-bar width.
void uSpinButton::fitHeight()
{
    const int height = m_text->sizeHint().height();
    m_text->resize(m_text->width(), height);
    m_spin->resize(style()->pixelMetric(QStyle::PM_ScrollBarExtent), height);
    setFixedHeight(height);
    updateGeometry();
}
