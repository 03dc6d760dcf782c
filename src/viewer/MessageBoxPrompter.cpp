#include "viewer/MessageBoxPrompter.h"

#include <QApplication>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>

namespace {

QMessageBox::Icon boxIcon(Prompter::Icon icon)
{
    switch (icon) {
    case Prompter::Icon::Information: return QMessageBox::Information;
    case Prompter::Icon::Warning: return QMessageBox::Warning;
    case Prompter::Icon::Critical: return QMessageBox::Critical;
    case Prompter::Icon::Question: return QMessageBox::Question;
    case Prompter::Icon::None: break;
    }
    return QMessageBox::NoIcon;
}

QMessageBox::StandardButton boxButton(Prompter::Button b)
{
    switch (b) {
    case Prompter::Ok: return QMessageBox::Ok;
    case Prompter::Cancel: return QMessageBox::Cancel;
    case Prompter::Yes: return QMessageBox::Yes;
    case Prompter::No: return QMessageBox::No;
    case Prompter::Retry: return QMessageBox::Retry;
    case Prompter::Abort: return QMessageBox::Abort;
    case Prompter::Ignore: return QMessageBox::Ignore;
    }
    return QMessageBox::Ok;
}

} // namespace

Prompter::Button MessageBoxPrompter::ask(Icon icon, const QString &title, const QString &text,
                                         const QList<Button> &buttons, Button defaultButton)
{
    QMessageBox box(boxIcon(icon), title, text, QMessageBox::NoButton, QApplication::activeWindow());
    for (Button b : buttons)
        box.addButton(boxButton(b));
    if (buttons.isEmpty())
        box.addButton(QMessageBox::Ok);
    box.setDefaultButton(boxButton(defaultButton));
    // Closing the box with Escape or the title bar counts as Cancel or No when offered.
    if (buttons.contains(Cancel))
        box.setEscapeButton(QMessageBox::Cancel);
    else if (buttons.contains(No))
        box.setEscapeButton(QMessageBox::No);
    box.exec();
    QAbstractButton *clicked = box.clickedButton();
    for (Button b : buttons) {
        if (clicked && box.standardButton(clicked) == boxButton(b))
            return b;
    }
    return buttons.isEmpty() ? Ok : (buttons.contains(Cancel) ? Cancel : buttons.last());
}

std::optional<QString> MessageBoxPrompter::askText(const QString &title, const QString &prompt,
                                                   const QString &defaultText)
{
    bool ok = false;
    const QString text = QInputDialog::getText(QApplication::activeWindow(), title, prompt,
                                               QLineEdit::Normal, defaultText, &ok);
    if (!ok)
        return std::nullopt;
    return text;
}
