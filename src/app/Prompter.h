#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

/**
 * @short Asks the user questions and shows messages without tying the core to widgets.
 *
 * The reader answers with message boxes; tests and tessera-cli answer from a script
 * or from command-line options. Every message box title is the application title.
 */
class Prompter
{
public:
    enum Button { Ok, Cancel, Yes, No, Retry, Abort, Ignore };
    enum class Icon { None, Information, Warning, Critical, Question };

    virtual ~Prompter() = default;

    /** Shows @p text with the given buttons (in display order); returns the button chosen. */
    virtual Button ask(Icon icon, const QString &title, const QString &text,
                       const QList<Button> &buttons, Button defaultButton) = 0;
    /** Asks for one line of text (e.g. a query parameter); nullopt on Cancel. */
    virtual std::optional<QString> askText(const QString &title, const QString &prompt,
                                           const QString &defaultText) = 0;

    void information(const QString &text);
    void warning(const QString &text);
    void critical(const QString &text);
    Button question(const QString &text, const QList<Button> &buttons, Button defaultButton,
                    Icon icon = Icon::Question);
};

/** The program-wide prompter; a ScriptedPrompter answering defaults until one is installed. */
Prompter &prompter();
/** Installs @p p as the program-wide prompter (not owned); nullptr restores the fallback. */
void setPrompter(Prompter *p);

/**
 * @short A prompter that answers from a queue, then by a fixed policy, and records every call.
 *
 * Used by tests and by tessera-cli (where the policy comes from --yes / --no).
 */
class ScriptedPrompter : public Prompter
{
public:
    enum class Policy { DefaultButton, FirstButton, LastButton };

    struct Record
    {
        Icon icon;
        QString title;
        QString text;
        QList<Button> buttons;
        Button answer;
    };

    explicit ScriptedPrompter(Policy policy = Policy::DefaultButton) : m_policy(policy) {}

    Button ask(Icon icon, const QString &title, const QString &text, const QList<Button> &buttons,
               Button defaultButton) override;
    std::optional<QString> askText(const QString &title, const QString &prompt,
                                   const QString &defaultText) override;

    void setPolicy(Policy policy) { m_policy = policy; }
    /** Queues the answer for the next question. */
    void pushAnswer(Button b) { m_answers.append(b); }
    /** Queues the answer for the next text question; nullopt answers Cancel. */
    void pushText(std::optional<QString> text) { m_texts.append(text); }
    /** Called with every message and question as it is shown (tessera-cli prints them). */
    void setEcho(std::function<void(const Record &)> echo) { m_echo = std::move(echo); }

    const QList<Record> &records() const { return m_records; }
    QStringList texts() const;
    QStringList textPrompts() const { return m_textPrompts; }
    void clear();

private:
    Policy m_policy;
    QList<Button> m_answers;
    QList<std::optional<QString>> m_texts;
    QList<Record> m_records;
    QStringList m_textPrompts;
    std::function<void(const Record &)> m_echo;
};
