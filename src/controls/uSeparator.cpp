#include "controls/uSeparator.h"

#include <QMouseEvent>

using namespace Qt::StringLiterals;

uSeparator::uSeparator(QWidget *parent)
    : QWidget(parent)
    , m_bar(new QWidget(this))
{
    m_bar->setObjectName(u"picBar"_s);
    m_bar->setAutoFillBackground(true);
    m_bar->installEventFilter(this);
    paintBar(QPalette::Button);
    setBackColor(palette().color(QPalette::Button));
    placeBar();
}

void uSeparator::setAspect(int aspect)
{
    m_aspect = aspect;
    placeBar();
}

void uSeparator::setSideMin(int sideMin)
{
    m_sideMin = sideMin;
    placeBar();
}

QColor uSeparator::BackColor() const
{
    return palette().color(QPalette::Window);
}

void uSeparator::setBackColor(const QColor &color)
{
    QPalette p = palette();
    p.setColor(QPalette::Window, color);
    setPalette(p);
    setAutoFillBackground(true);
}

int uSeparator::Offset() const
{
    return m_aspect == Horizontal ? m_bar->y() : m_bar->x();
}

void uSeparator::setOffset(int offset)
{
    if (!hasValidAspect())
        return;
    if (m_aspect == Horizontal)
        m_bar->move(m_bar->x(), offset);
    else
        m_bar->move(offset, m_bar->y());
    arrangePanels();
}

int uSeparator::innerLength() const
{
    return m_aspect == Horizontal ? height() : width();
}

int uSeparator::freeTravel() const
{
    return innerLength() - (m_aspect == Horizontal ? m_bar->height() : m_bar->width());
}

float uSeparator::Parsent() const
{
    const int travel = freeTravel();
    if (travel <= 0)
        return 0;
    const float percent = float(Offset()) / float(travel) * 100;
    return percent < 0 || percent > 100 ? 50 : percent;
}

void uSeparator::MoveBar(float percent)
{
    const int travel = freeTravel();
    if (travel > 0)
        setOffset(qRound(float(travel) * percent / 100));
}

void uSeparator::Initialize(QWidget *Panel1, QWidget *Panel2)
{
    m_panel1 = Panel1;
    m_panel2 = Panel2;
    for (QWidget *panel : {Panel1, Panel2}) {
        if (panel && panel->parentWidget() != this) {
            panel->setParent(this);
            panel->show();
        }
    }
    arrangePanels();
}

// Centres the bar across the control for the current aspect.
void uSeparator::placeBar()
{
    if (m_aspect == Vertical) {
        m_bar->setCursor(Qt::SizeHorCursor);
        m_bar->setGeometry(width() / 2, 0, BarThickness, height());
    } else if (m_aspect == Horizontal) {
        m_bar->setCursor(Qt::SizeVerCursor);
        m_bar->setGeometry(0, height() / 2, width(), BarThickness);
    } else {
        return;
    }
    arrangePanels();
}

void uSeparator::arrangePanels()
{
    if (!hasValidAspect())
        return;
    m_bar->raise();
    const QRect bar = m_bar->geometry();
    if (m_aspect == Horizontal) {
        const int below = bar.y() + bar.height();
        if (m_panel1)
            m_panel1->setGeometry(0, 0, width(), qMax(0, bar.y()));
        if (m_panel2)
            m_panel2->setGeometry(0, below, width(), qMax(0, height() - below));
    } else {
        const int right = bar.x() + bar.width();
        if (m_panel1)
            m_panel1->setGeometry(0, 0, qMax(0, bar.x()), height());
        if (m_panel2)
            m_panel2->setGeometry(right, 0, qMax(0, width() - right), height());
    }
}

void uSeparator::paintBar(QPalette::ColorRole role)
{
    QPalette p = m_bar->palette();
    p.setColor(QPalette::Window, palette().color(role));
    m_bar->setPalette(p);
}

void uSeparator::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    if (!hasValidAspect())
        return;
    if (m_aspect == Horizontal)
        m_bar->resize(width(), BarThickness);
    else
        m_bar->resize(BarThickness, height());
    const int inner = innerLength();
    if (Offset() > inner - BarThickness)
        setOffset(inner - BarThickness - m_sideMin);
    else if (Offset() < BarThickness)
        setOffset(m_sideMin + BarThickness);
    arrangePanels();
}

bool uSeparator::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_bar || !hasValidAspect())
        return QWidget::eventFilter(watched, event);
    const auto *mouse = dynamic_cast<QMouseEvent *>(event);
    if (!mouse)
        return QWidget::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::MouseButtonPress:
        if (mouse->button() == Qt::LeftButton)
            paintBar(QPalette::Dark);
        return true;
    case QEvent::MouseMove:
        if (mouse->buttons() & Qt::LeftButton) {
            const QPoint at = mouse->position().toPoint();
            dragBy(m_aspect == Horizontal ? at.y() : at.x());
        }
        return true;
    case QEvent::MouseButtonRelease:
        if (mouse->button() == Qt::LeftButton) {
            paintBar(QPalette::Button);
            arrangePanels();
        }
        return true;
    case QEvent::MouseButtonDblClick:
        toggleCollapse();
        return true;
    default:
        return QWidget::eventFilter(watched, event);
    }
}

// Moves only the bar while dragging, keeping it SideMin away from both edges;
// the panels follow when the button is released.
void uSeparator::dragBy(int mouseOffset)
{
    int position = Offset() + mouseOffset;
    if (position < m_sideMin)
        position = m_sideMin;
    if (position > innerLength() - m_sideMin - BarThickness)
        position = innerLength() - m_sideMin - BarThickness;
    if (m_aspect == Horizontal)
        m_bar->move(m_bar->x(), position);
    else
        m_bar->move(position, m_bar->y());
}

// Collapses panel 1 to its minimum, or restores the position it had before.
void uSeparator::toggleCollapse()
{
    if (Offset() <= m_sideMin) {
        setOffset(m_savedOffset);
    } else {
        m_savedOffset = Offset();
        setOffset(m_sideMin);
    }
}
