#include "controls/CMRUCombo.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QScopedValueRollback>

namespace {

// The longest beginning shared by all @p candidates, which all start with @p typedLength
// characters of the same text.
QString commonBeginning(const QStringList &candidates, qsizetype typedLength)
{
    const QString &first = candidates.constFirst();
    qsizetype length = typedLength;
    for (; length < first.size(); ++length) {
        const QChar next = first.at(length);
        const bool shared = std::all_of(candidates.cbegin(), candidates.cend(), [&](const QString &item) {
            return item.size() > length && item.at(length) == next;
        });
        if (!shared)
            break;
    }
    return first.left(length);
}

} // namespace

CMRUCombo::CMRUCombo(QObject *parent)
    : QObject(parent)
{
}

void CMRUCombo::setComboBox(QComboBox *combo)
{
    if (m_combo) {
        disconnect(m_combo, nullptr, this, nullptr);
        m_combo->removeEventFilter(this);
    }
    m_combo = combo;
    m_list.clear();
    m_max = 0;
    m_lastText.clear();
    m_lastCaret = 0;
    if (!combo)
        return;
    combo->setEditable(true);
    // This class does the completing and the adding; the combo box's own would interfere.
    combo->setCompleter(nullptr);
    combo->setInsertPolicy(QComboBox::NoInsert);
    // The combo box holds the focus and passes keys on to its line edit.
    combo->installEventFilter(this);
    connect(combo, &QComboBox::editTextChanged, this, &CMRUCombo::onTextChanged);
}

void CMRUCombo::AddMRU(const std::optional<QString> &strText, bool AddFirst)
{
    const QString text = strText.value_or(m_combo ? m_combo->currentText() : QString());
    m_list.removeIf([&text](const QString &entry) { return entry.compare(text, Qt::CaseInsensitive) == 0; });
    if (AddFirst && !m_list.isEmpty())
        m_list.prepend(text);
    else
        m_list.append(text);
    trimList();
    AddMRUTemp(text, AddFirst);
}

void CMRUCombo::AddMRUTemp(const std::optional<QString> &strText, bool AddFirst)
{
    if (!m_combo)
        return;
    const QString text = strText.value_or(m_combo->currentText());
    const QScopedValueRollback completing(m_completing, true);
    const int index = m_combo->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (index >= 0)
        m_combo->removeItem(index);
    if (AddFirst)
        m_combo->insertItem(0, text);
    else
        m_combo->addItem(text);
    trimList();
    m_combo->setEditText(text);
}

void CMRUCombo::trimList()
{
    while (m_max >= 0 && m_list.size() > m_max)
        m_list.removeLast();
}

// Completes the typed text to the longest common beginning of the drop-down items that
// start with it (letter case counts; "*", "?", "#" and "[" are ordinary characters here).
// Nothing is completed while the user deletes or moves back.
void CMRUCombo::onTextChanged(const QString &text)
{
    if (m_completing || text == m_lastText || !m_combo)
        return;
    QLineEdit *edit = m_combo->lineEdit();
    const int caret = edit->cursorPosition();
    if (caret <= m_lastCaret) {
        m_lastCaret = caret;
        return;
    }
    QStringList candidates;
    for (int i = 0; i < m_combo->count(); ++i) {
        const QString item = m_combo->itemText(i);
        if (item.startsWith(text))
            candidates.append(item);
    }
    if (candidates.isEmpty()) {
        m_lastText = text;
        return;
    }
    const QString completed = commonBeginning(candidates, text.size());
    {
        const QScopedValueRollback completing(m_completing, true);
        edit->setText(completed);
    }
    // Select the completed rest with the caret after the typed part.
    edit->setSelection(int(completed.size()), int(text.size() - completed.size()));
    m_lastText = completed;
}

bool CMRUCombo::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::KeyPress || !m_combo || watched != m_combo)
        return QObject::eventFilter(watched, event);
    QLineEdit *edit = m_combo->lineEdit();
    m_lastCaret = edit->cursorPosition();
    if (static_cast<QKeyEvent *>(event)->key() == Qt::Key_Tab && edit->hasSelectedText()) {
        edit->setCursorPosition(edit->selectionEnd());
        return true;
    }
    return QObject::eventFilter(watched, event);
}
