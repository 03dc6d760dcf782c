#pragma once

#include <QWidget>

class QKeyEvent;
class QLineEdit;
class QScrollBar;

/**
 * @short Whole-number entry: a line edit ("Text") with a small up/down control ("Spin").
 *
 * Keeps Value within Min..Max. Only digits and "-" can be typed; text that is not a number
 * in range is replaced by the last valid value. Up/Down keys and the arrows step by one.
 * The enabled state is QWidget's own: disabling the control disables both children.
 */
class uSpinButton : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(int Value READ Value WRITE setValue)
    Q_PROPERTY(int Max READ Max WRITE setMax)
    Q_PROPERTY(int Min READ Min WRITE setMin)
    Q_PROPERTY(bool Locked READ Locked WRITE setLocked)

public:
    explicit uSpinButton(QWidget *parent = nullptr);

    int Value() const { return m_value; }
    /** Stores and shows @p value when it lies within Min..Max; ignores it otherwise. */
    void setValue(int value);
    int Max() const { return m_max; }
    /** Sets the upper limit; Value is not adjusted. */
    void setMax(int max) { m_max = max; }
    int Min() const { return m_min; }
    /** Sets the lower limit; Value is not adjusted. */
    void setMin(int min) { m_min = min; }
    bool Locked() const;
    /** Makes the text read-only and disables the arrows while locked. */
    void setLocked(bool locked);

    QSize sizeHint() const override;

signals:
    /** After each step made with the arrows (also when a limit kept the value). */
    void Change();
    /**
     * For each character typed into the text, before the control's own filter. The owner
     * may change @p keyAscii to another character, or set it to 0 to cancel the key.
     */
    void KeyPress(int &keyAscii);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void onSpin(int position);
    void onTextChanged(const QString &text);
    void restoreText();
    bool filterCharacter(QKeyEvent *event);
    bool handleArrowKey(QKeyEvent *event);
    void fitHeight();

    QLineEdit *m_text;
    QScrollBar *m_spin;
    int m_value = 0;
    int m_max = 50;
    int m_min = 0;
    bool m_editing = false; // set while the control rewrites its own text
};
