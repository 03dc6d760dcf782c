#pragma once

#include <QWidget>

class QLabel;

/**
 * @short A label that can act as a web or mail link.
 *
 * Mode 0 is a plain label that reports clicks and the mouse entering and leaving; modes 1
 * (web link) and 2 (mail link) show a hand cursor, turn blue while the mouse is over them
 * and open their caption when clicked. Mouse positions are in device-independent pixels.
 */
class uClickableLabel : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(int ClickableMode READ ClickableMode WRITE setClickableMode)

public:
    enum Mode { PlainLabel = 0, WebLink = 1, MailLink = 2 };

    explicit uClickableLabel(QWidget *parent = nullptr);

    /** The inner label ("lblCaption"): owners set caption, font and colours through it. */
    QLabel *Label() const { return m_label; }
    int ClickableMode() const { return m_mode; }
    void setClickableMode(int mode);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    /** A click on a plain label (mode 0). */
    void Click();
    void DblClick();
    /** The mouse entered a plain label, at @p X, @p Y within it. */
    void MouseEnter(int X, int Y);
    /** The mouse left a plain label, last seen at @p X, @p Y. */
    void MouseLeave(int X, int Y);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void activate();
    void setHover(bool inside, QPoint position);

    QLabel *m_label;
    int m_mode = WebLink;
    bool m_inside = false;
    bool m_doubleClicked = false; // the release after a double-click is no click
};
