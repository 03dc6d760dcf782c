#pragma once

#include "controls/uSpinButton.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QString>

/**
 * @short Small builders for the settings dialog's controls: each gets its control name as
 * objectName and its caption (without the access-key "&") as accessible name.
 */
namespace PropertyWidgets {

inline QString plainCaption(QString caption)
{
    caption.remove(QRegularExpression(QStringLiteral("\\(&.\\)|&(?=[^&])")));
    caption.replace(QStringLiteral("&&"), QStringLiteral("&"));
    if (caption.endsWith(u':'))
        caption.chop(1);
    return caption;
}

template <typename W> W *named(W *widget, const QString &name, const QString &caption)
{
    widget->setObjectName(name);
    widget->setAccessibleName(plainCaption(caption));
    return widget;
}

inline QLineEdit *edit(QWidget *parent, const QString &name, const QString &caption)
{
    return named(new QLineEdit(parent), name, caption);
}

inline QCheckBox *check(QWidget *parent, const QString &name, const QString &caption)
{
    return named(new QCheckBox(caption, parent), name, caption);
}

inline QRadioButton *option(QWidget *parent, const QString &name, const QString &caption)
{
    return named(new QRadioButton(caption, parent), name, caption);
}

inline QPushButton *button(QWidget *parent, const QString &name, const QString &caption)
{
    return named(new QPushButton(caption, parent), name, caption);
}

inline uSpinButton *spin(QWidget *parent, const QString &name, const QString &caption, int min, int max)
{
    auto *spin = named(new uSpinButton(parent), name, caption);
    spin->setMin(min);
    spin->setMax(max);
    return spin;
}

/** A label for @p buddy: its access key moves the focus there. */
inline QLabel *label(QWidget *parent, const QString &caption, QWidget *buddy)
{
    auto *label = new QLabel(caption, parent);
    label->setBuddy(buddy);
    return label;
}

/** Adds @p field with its label (and a unit after it) as the next row of @p grid. */
inline void addRow(QGridLayout *grid, QWidget *frame, QWidget *field, const QString &caption, const QString &unit = {})
{
    const int r = grid->rowCount();
    grid->addWidget(label(frame, caption, field), r, 0);
    grid->addWidget(field, r, 1, 1, unit.isEmpty() ? 2 : 1);
    if (!unit.isEmpty())
        grid->addWidget(new QLabel(unit, frame), r, 2);
}

/** A text field named @p name, added with its label @p caption as the next row of @p grid. */
inline QLineEdit *editRow(QGridLayout *grid, QWidget *frame, const QString &name, const QString &caption)
{
    QLineEdit *field = edit(frame, name, caption);
    addRow(grid, frame, field, caption);
    return field;
}

/** @p value brought into the spin box's range, so that showing a stored value never drops it. */
inline void showValue(uSpinButton *spin, int value)
{
    spin->setValue(qBound(spin->Min(), value, spin->Max()));
}

} // namespace PropertyWidgets
