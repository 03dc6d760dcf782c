#include "viewer/frmFind.h"

#include "app/CRegExp.h"
#include "app/mdlApp.h"
#include "app/mdlOption.h"
#include "controls/CMRUCombo.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>

using namespace Qt::StringLiterals;

void FitComboDropDown(QComboBox *combo)
{
    combo->setMaxVisibleItems(qMax(1, combo->count()));
    combo->view()->setMinimumWidth(combo->view()->sizeHintForColumn(0));
}

frmFind::frmFind(QWidget *OwnerForm)
    : QDialog(OwnerForm),
      cmbFindText(new QComboBox(this)),
      chkUseRegExp(new QCheckBox(u"正規表現検索(&R)"_s, this)),
      chkIgnoreCase(new QCheckBox(u"大文字と小文字を区別(&I)"_s, this)),
      cmdFindNext(new QPushButton(u"次を検索(F3)"_s, this)),
      cmdFindPrev(new QPushButton(u"前を検索(Shift+F3)"_s, this)),
      cmdCancel(new QPushButton(u"キャンセル"_s, this)),
      m_mru(new CMRUCombo(this))
{
    setObjectName(u"frmFind"_s);
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);
    cmbFindText->setObjectName(u"cmbFindText"_s);
    chkUseRegExp->setObjectName(u"chkUseRegExp"_s);
    chkIgnoreCase->setObjectName(u"chkIgnoreCase"_s);
    cmdFindNext->setObjectName(u"cmdFindNext"_s);
    cmdFindPrev->setObjectName(u"cmdFindPrev"_s);
    cmdCancel->setObjectName(u"cmdCancel"_s);
    // Enter in the text box finds next; no button takes it as a default.
    for (QPushButton *button : {cmdFindNext, cmdFindPrev, cmdCancel})
        button->setAutoDefault(false);
    m_mru->setComboBox(cmbFindText);
    cmbFindText->setMinimumWidth(220);

    auto *label = new QLabel(u"検索文字列(&F):"_s, this);
    label->setBuddy(cmbFindText);
    auto *layout = new QGridLayout(this);
    layout->addWidget(label, 0, 0);
    layout->addWidget(cmbFindText, 0, 1);
    layout->addWidget(cmdFindNext, 0, 2);
    layout->addWidget(chkUseRegExp, 1, 1);
    layout->addWidget(cmdFindPrev, 1, 2);
    layout->addWidget(chkIgnoreCase, 2, 1);
    layout->addWidget(cmdCancel, 2, 2);

    connect(cmbFindText, &QComboBox::editTextChanged, this, &frmFind::onTextChanged);
    connect(cmbFindText, &QComboBox::textActivated, this, &frmFind::onTextChanged);
    connect(chkUseRegExp, &QCheckBox::clicked, this, [this](bool checked) { chkIgnoreCase->setEnabled(checked); });
    connect(cmdFindNext, &QPushButton::clicked, this, [this] { find(true); });
    connect(cmdFindPrev, &QPushButton::clicked, this, [this] { find(false); });
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::close);
}

frmFind::~frmFind() = default;

void frmFind::ShowDialog(const QStringList &history, const QString &DefaultText, FindFunction find)
{
    m_find = std::move(find);
    setWindowTitle(u"検索 - "_s + mdlApp::GetAppTitle());
    if (parentWidget())
        setWindowIcon(parentWidget()->windowIcon());
    cmbFindText->clear();
    for (const QString &text : history)
        m_mru->AddMRU(text, false);
    FitComboDropDown(cmbFindText);

    const CRegExp re;
    chkUseRegExp->setEnabled(re.RegExp());
    chkUseRegExp->setChecked(mdlOption::UseRegExp);
    chkIgnoreCase->setChecked(!mdlOption::IgnoreCase);
    chkIgnoreCase->setEnabled(mdlOption::UseRegExp && chkUseRegExp->isEnabled());

    cmdFindNext->setEnabled(false);
    cmdFindPrev->setEnabled(false);
    cmbFindText->setEditText(DefaultText);
    onTextChanged(DefaultText);
    show();
    raise();
    activateWindow();
}

void frmFind::onTextChanged(const QString &text)
{
    cmdFindNext->setEnabled(!text.isEmpty());
    cmdFindPrev->setEnabled(!text.isEmpty());
}

void frmFind::find(bool Forward)
{
    mdlOption::UseRegExp = chkUseRegExp->isChecked();
    mdlOption::IgnoreCase = !chkIgnoreCase->isChecked();
    const QString text = cmbFindText->currentText();
    m_mru->AddMRU(text, true);
    FitComboDropDown(cmbFindText);
    if (m_find)
        m_find(text, Forward);
}

void frmFind::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_F3) {
        QPushButton *button = event->modifiers() & Qt::ShiftModifier ? cmdFindPrev : cmdFindNext;
        if (button->isEnabled())
            button->click();
        return;
    }
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        if (cmdFindNext->isEnabled())
            cmdFindNext->click();
        return;
    }
    QDialog::keyPressEvent(event);
}
