#pragma once

#include "app/Prompter.h"

class QWidget;

/** @short Answers the core's questions and messages with message boxes and input dialogs. */
class MessageBoxPrompter : public Prompter
{
public:
    /** Boxes are owned by the window that is active when they appear. */
    MessageBoxPrompter() = default;

    Button ask(Icon icon, const QString &title, const QString &text, const QList<Button> &buttons,
               Button defaultButton) override;
    std::optional<QString> askText(const QString &title, const QString &prompt,
                                   const QString &defaultText) override;
};
