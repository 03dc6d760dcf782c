#pragma once

#include "app/Prompter.h"

/**
 * @short Answers questions for tessera-cli: from --yes / --no, from the terminal, or the default.
 *
 * Every message and question is printed to standard error with the answer taken.
 */
class CliPrompter : public Prompter
{
public:
    enum class Mode { Yes, No, Auto };

    explicit CliPrompter(Mode mode);

    Button ask(Icon icon, const QString &title, const QString &text, const QList<Button> &buttons,
               Button defaultButton) override;
    std::optional<QString> askText(const QString &title, const QString &prompt,
                                   const QString &defaultText) override;

private:
    Button askTerminal(const QList<Button> &buttons, Button defaultButton);

    Mode m_mode;
    bool m_interactive;
};
