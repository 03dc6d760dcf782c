#include "controls/uClickableLabel.h"

#include "app/mdlExecuteLite.h"

#include <QEnterEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <utility>

using namespace Qt::StringLiterals;

uClickableLabel::uClickableLabel(QWidget *parent)
    : QWidget(parent)
    , m_label(new QLabel(this))
{
    m_label->setObjectName(u"lblCaption"_s);
    // The control itself takes the mouse, so clicks and the cursor cover the whole label.
    m_label->setAttribute(Qt::WA_TransparentForMouseEvents);
    setClickableMode(m_mode);
}

void uClickableLabel::setClickableMode(int mode)
{
    m_mode = mode;
    if (mode == PlainLabel)
        unsetCursor();
    else
        setCursor(Qt::PointingHandCursor);
}

QSize uClickableLabel::sizeHint() const
{
    return m_label->sizeHint();
}

QSize uClickableLabel::minimumSizeHint() const
{
    return m_label->minimumSizeHint();
}

void uClickableLabel::mousePressEvent(QMouseEvent *event)
{
    event->setAccepted(event->button() == Qt::LeftButton);
}

void uClickableLabel::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const bool afterDoubleClick = std::exchange(m_doubleClicked, false);
    if (!afterDoubleClick && rect().contains(event->position().toPoint()))
        activate();
}

void uClickableLabel::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    m_doubleClicked = true;
    emit DblClick();
}

void uClickableLabel::activate()
{
    const QString caption = m_label->text();
    switch (m_mode) {
    case PlainLabel:
        emit Click();
        break;
    case WebLink:
        mdlExecuteLite::OpenAddress(caption);
        break;
    case MailLink:
        mdlExecuteLite::OpenAddress(caption.contains(u"mailto:"_s, Qt::CaseInsensitive) ? caption
                                                                                       : u"mailto:"_s + caption);
        break;
    default:
        break;
    }
}

void uClickableLabel::enterEvent(QEnterEvent *event)
{
    QWidget::enterEvent(event);
    setHover(true, event->position().toPoint());
}

void uClickableLabel::leaveEvent(QEvent *event)
{
    QWidget::leaveEvent(event);
    setHover(false, mapFromGlobal(QCursor::pos()));
}

// Links light up in blue while the mouse is over them; plain labels report it instead.
void uClickableLabel::setHover(bool inside, QPoint position)
{
    if (inside == m_inside)
        return;
    m_inside = inside;
    if (m_mode == PlainLabel) {
        if (inside)
            emit MouseEnter(position.x(), position.y());
        else
            emit MouseLeave(position.x(), position.y());
        return;
    }
    QPalette p = m_label->palette();
    p.setColor(QPalette::WindowText, inside ? QColor(Qt::blue) : QGuiApplication::palette().color(QPalette::WindowText));
    m_label->setPalette(p);
}

void uClickableLabel::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    m_label->setGeometry(rect());
}
