#include "cli/CliPrompter.h"

#include <QTextStream>
#include <cstdio>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

QString buttonName(Prompter::Button b)
{
    switch (b) {
    case Prompter::Ok: return u"OK"_s;
    case Prompter::Cancel: return u"Cancel"_s;
    case Prompter::Yes: return u"Yes"_s;
    case Prompter::No: return u"No"_s;
    case Prompter::Retry: return u"Retry"_s;
    case Prompter::Abort: return u"Abort"_s;
    case Prompter::Ignore: return u"Ignore"_s;
    }
    return {};
}

QTextStream &err()
{
    static QTextStream stream(stderr);
    return stream;
}

} // namespace

CliPrompter::CliPrompter(Mode mode) : m_mode(mode), m_interactive(isatty(STDIN_FILENO) != 0) {}

Prompter::Button CliPrompter::ask(Icon, const QString &, const QString &text,
                                  const QList<Button> &buttons, Button defaultButton)
{
    err() << text << Qt::endl;
    if (buttons.size() <= 1)
        return buttons.isEmpty() ? defaultButton : buttons.first();
    Button answer = defaultButton;
    if (m_mode == Mode::Yes)
        answer = buttons.first();
    else if (m_mode == Mode::No)
        answer = buttons.last();
    else if (m_interactive)
        return askTerminal(buttons, defaultButton);
    err() << u"-> "_s << buttonName(answer) << Qt::endl;
    return answer;
}

Prompter::Button CliPrompter::askTerminal(const QList<Button> &buttons, Button defaultButton)
{
    QTextStream in(stdin);
    for (;;) {
        for (Button b : buttons)
            err() << u'[' << buttonName(b) << (b == defaultButton ? u"*]"_s : u"]"_s) << u' ';
        err() << u"? "_s << Qt::flush;
        const QString line = in.readLine();
        if (line.isNull())
            return defaultButton;
        if (line.trimmed().isEmpty())
            return defaultButton;
        for (Button b : buttons) {
            if (buttonName(b).startsWith(line.trimmed(), Qt::CaseInsensitive))
                return b;
        }
    }
}

std::optional<QString> CliPrompter::askText(const QString &, const QString &prompt,
                                            const QString &defaultText)
{
    err() << prompt << Qt::endl;
    if (!m_interactive || m_mode != Mode::Auto) {
        err() << u"-> "_s << defaultText << Qt::endl;
        return defaultText;
    }
    QTextStream in(stdin);
    err() << u"> "_s << Qt::flush;
    const QString line = in.readLine();
    if (line.isNull())
        return std::nullopt;
    return line;
}
