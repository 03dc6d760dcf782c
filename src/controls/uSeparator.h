#pragma once

#include <QPalette>
#include <QPointer>
#include <QWidget>

/**
 * @short Divides its area between two panels with a bar the user drags.
 *
 * Aspect 0: the bar lies horizontally (panel 1 above, panel 2 below); Aspect 1: the bar
 * stands vertically (panel 1 left, panel 2 right); other values leave everything alone.
 * Lengths are device-independent pixels; stored twips convert at TwipsPerPixel (96 dpi).
 */
class uSeparator : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(int Aspect READ Aspect WRITE setAspect)
    Q_PROPERTY(int SideMin READ SideMin WRITE setSideMin)
    Q_PROPERTY(QColor BackColor READ BackColor WRITE setBackColor)
    Q_PROPERTY(int Offset READ Offset WRITE setOffset)
    Q_PROPERTY(float Parsent READ Parsent WRITE setParsent)

public:
    enum AspectValue { Horizontal = 0, Vertical = 1 };
    static constexpr int TwipsPerPixel = 15;
    /** The bar's thickness: 60 twips. */
    static constexpr int BarThickness = 4;
    /** The default smallest distance of the bar from either edge: 100 twips, rounded. */
    static constexpr int DefaultSideMin = 7;

    explicit uSeparator(QWidget *parent = nullptr);

    int Aspect() const { return m_aspect; }
    /** Stores the aspect and puts the bar in the middle for it. */
    void setAspect(int aspect);
    int SideMin() const { return m_sideMin; }
    /** Stores the dragging limit and puts the bar in the middle. */
    void setSideMin(int sideMin);
    QColor BackColor() const;
    void setBackColor(const QColor &color);
    /** The bar's top edge (Aspect 0) or left edge (Aspect 1). */
    int Offset() const;
    /** Moves the bar to @p offset without any limit and arranges the panels. */
    void setOffset(int offset);
    /** The bar position in percent of the free travel: 50 when outside 0..100, 0 without travel. */
    float Parsent() const;
    void setParsent(float percent) { MoveBar(percent); }

    /** Takes @p Panel1 and @p Panel2 as the two panels (as children) and arranges them. */
    void Initialize(QWidget *Panel1, QWidget *Panel2);
    /** Moves the bar to @p percent of the free travel and arranges the panels. */
    void MoveBar(float percent);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    bool hasValidAspect() const { return m_aspect == Horizontal || m_aspect == Vertical; }
    int innerLength() const;
    int freeTravel() const;
    void placeBar();
    void arrangePanels();
    void paintBar(QPalette::ColorRole role);
    void dragBy(int mouseOffset);
    void toggleCollapse();

    QWidget *m_bar;
    QPointer<QWidget> m_panel1;
    QPointer<QWidget> m_panel2;
    int m_aspect = Vertical;
    int m_sideMin = DefaultSideMin;
    int m_savedOffset = 0; // position before the last collapsing double-click
};
