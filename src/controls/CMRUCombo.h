#pragma once

#include <QComboBox>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <optional>

/**
 * @short A most-recently-used history with automatic completion for an editable combo box.
 *
 * MRUList is the history the owner saves (its entries are unique without regard to case);
 * the drop-down list of the combo box shows what was added during the session. While the
 * user types, the text is completed to the longest common beginning of the matching items.
 */
class CMRUCombo : public QObject
{
    Q_OBJECT

public:
    explicit CMRUCombo(QObject *parent = nullptr);

    /** Attaches @p combo (made editable), starts an empty history and sets Max to 0. */
    void setComboBox(QComboBox *combo);
    int Max() const { return m_max; }
    /** Most entries kept in MRUList; -1 means no limit. */
    void setMax(int max) { m_max = max; }
    const QStringList &MRUList() const { return m_list; }

    /**
     * Puts @p strText (default: the combo box text) into MRUList, at the front when
     * @p AddFirst is set and the list is not empty, else at the end, replacing an entry
     * that differs only in letter case; trims the list to Max; then AddMRUTemp.
     */
    void AddMRU(const std::optional<QString> &strText = std::nullopt, bool AddFirst = false);
    /**
     * Puts @p strText (default: the combo box text) into the drop-down list only, first or
     * last, replacing an exactly equal item, and makes it the combo box text.
     */
    void AddMRUTemp(const std::optional<QString> &strText = std::nullopt, bool AddFirst = false);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void onTextChanged(const QString &text);
    void trimList();

    QPointer<QComboBox> m_combo;
    QStringList m_list;
    int m_max = 10;
    QString m_lastText;        // the text after the last completion step
    bool m_completing = false; // set while this class writes the combo box text
    int m_lastCaret = 0;       // caret position at the last key press
};
