#pragma once

#include <QDialog>
#include <QStringList>
#include <functional>

class CMRUCombo;
class QCheckBox;
class QComboBox;
class QPushButton;

/**
 * @short The modeless find dialog: a search text with its history, regular-expression and
 * match-case check boxes, and find next / find previous, which the owner carries out.
 *
 * Closing it ("キャンセル") deletes it.
 */
class frmFind : public QDialog
{
    Q_OBJECT

public:
    /** Carries out one search: the text and the direction (true: forward). */
    using FindFunction = std::function<void(const QString &FindText, bool Forward)>;

    explicit frmFind(QWidget *OwnerForm);
    ~frmFind() override;

    /**
     * @short Fills the history from @p history (the owner's find box entries, in order),
     * reads the check boxes from the options, puts @p DefaultText in and shows the dialog.
     */
    void ShowDialog(const QStringList &history, const QString &DefaultText, FindFunction find);

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void find(bool Forward);
    void onTextChanged(const QString &text);

    QComboBox *cmbFindText;
    QCheckBox *chkUseRegExp;
    QCheckBox *chkIgnoreCase;
    QPushButton *cmdFindNext;
    QPushButton *cmdFindPrev;
    QPushButton *cmdCancel;
    CMRUCombo *m_mru;
    FindFunction m_find;
};

/** Shows every entry of @p combo's drop-down list, as wide as the longest one. */
void FitComboDropDown(QComboBox *combo);
