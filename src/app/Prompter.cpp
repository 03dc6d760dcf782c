#include "app/Prompter.h"

#include "app/mdlApp.h"

namespace {
Prompter *g_prompter = nullptr;

ScriptedPrompter &fallbackPrompter()
{
    static ScriptedPrompter fallback;
    return fallback;
}
} // namespace

void Prompter::information(const QString &text)
{
    ask(Icon::Information, mdlApp::GetAppTitle(), text, {Ok}, Ok);
}

void Prompter::warning(const QString &text)
{
    ask(Icon::Warning, mdlApp::GetAppTitle(), text, {Ok}, Ok);
}

void Prompter::critical(const QString &text)
{
    ask(Icon::Critical, mdlApp::GetAppTitle(), text, {Ok}, Ok);
}

Prompter::Button Prompter::question(const QString &text, const QList<Button> &buttons,
                                    Button defaultButton, Icon icon)
{
    return ask(icon, mdlApp::GetAppTitle(), text, buttons, defaultButton);
}

Prompter &prompter()
{
    return g_prompter ? *g_prompter : fallbackPrompter();
}

void setPrompter(Prompter *p)
{
    g_prompter = p;
}

Prompter::Button ScriptedPrompter::ask(Icon icon, const QString &title, const QString &text,
                                       const QList<Button> &buttons, Button defaultButton)
{
    Button answer = defaultButton;
    if (!m_answers.isEmpty()) {
        answer = m_answers.takeFirst();
    } else if (!buttons.isEmpty()) {
        if (m_policy == Policy::FirstButton)
            answer = buttons.first();
        else if (m_policy == Policy::LastButton)
            answer = buttons.last();
    }
    m_records.append({icon, title, text, buttons, answer});
    if (m_echo)
        m_echo(m_records.last());
    return answer;
}

std::optional<QString> ScriptedPrompter::askText(const QString &, const QString &prompt,
                                                 const QString &defaultText)
{
    m_textPrompts.append(prompt);
    if (!m_texts.isEmpty())
        return m_texts.takeFirst();
    return defaultText;
}

QStringList ScriptedPrompter::texts() const
{
    QStringList out;
    for (const Record &r : m_records)
        out.append(r.text);
    return out;
}

void ScriptedPrompter::clear()
{
    m_answers.clear();
    m_texts.clear();
    m_records.clear();
    m_textPrompts.clear();
}
