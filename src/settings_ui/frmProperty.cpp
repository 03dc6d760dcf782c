#include "settings_ui/frmProperty.h"

#include "app/Prompter.h"
#include "app/mdlApp.h"
#include "app/mdlOption.h"
#include "db/CBBSProperty.h"
#include "settings_ui/PropertyWidgets.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QScopedValueRollback>
#include <QShortcut>
#include <QTabWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

struct TabInfo
{
    int key;
    const char16_t *caption;
};

// Every tab in strip order; each mode shows a part of them.
constexpr std::array<TabInfo, 9> Tabs{{{1, u"全般"},
                                       {2, u"クッキーの情報"},
                                       {3, u"全般"},
                                       {8, u"送受信"},
                                       {4, u"検索"},
                                       {5, u"WebSearch"},
                                       {6, u"巡回受信"},
                                       {7, u"表示順"},
                                       {9, u"NG"}}};

bool shownIn(int key, frmProperty::Mode mode)
{
    if (key == 6 || key == 7 || key == 9)
        return true;
    return (key <= 2) == (mode == frmProperty::PropertyMode);
}

QString keyText(int key)
{
    return u'#' + QString::number(key);
}

/** The value of every option, to put back when OK is refused after they were set. */
std::vector<QVariant> optionValues()
{
    std::vector<QVariant> values;
    for (const mdlOption::OptionDef &def : mdlOption::Options())
        values.push_back(std::visit([](auto *variable) { return QVariant::fromValue(*variable); }, def.variable));
    return values;
}

void restoreOptions(const std::vector<QVariant> &values)
{
    const auto &defs = mdlOption::Options();
    for (size_t i = 0; i < defs.size(); ++i) {
        std::visit([&](auto *variable) { *variable = values.at(i).value<std::remove_pointer_t<decltype(variable)>>(); },
                   defs.at(i).variable);
    }
}

} // namespace

frmProperty::frmProperty(Database &db, QWidget *OwnerForm)
    : QDialog(OwnerForm), m_db(db)
{
    setObjectName(u"frmProperty"_s);
    if (OwnerForm)
        setWindowIcon(OwnerForm->windowIcon());
    tabStrip = new QTabWidget(this);
    tabStrip->setObjectName(u"tabStrip"_s);
    tabStrip->setAccessibleName(u"設定の分類"_s);
    for (const TabInfo &tab : Tabs)
        m_frames.insert(tab.key, createFrame(tab.key));
    createBoardTab(m_frames.value(1));
    createCookieTab(m_frames.value(2));
    createGeneralTab(m_frames.value(3));
    createTransferTab(m_frames.value(8));
    createFindTab(m_frames.value(4));
    createWebSearchTab(m_frames.value(5));
    createVisitTab(m_frames.value(6));
    createOrderTab(m_frames.value(7));
    createNgTab(m_frames.value(9));

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(tabStrip);
    createButtons();
    connect(tabStrip, &QTabWidget::currentChanged, this, &frmProperty::onTabChanged);

    // Ctrl+Tab and Ctrl+Shift+Tab step through the tabs and wrap around, wherever the focus is.
    const auto shortcut = [this](QKeySequence keys, int step) {
        auto *s = new QShortcut(keys, this);
        s->setContext(Qt::WindowShortcut);
        connect(s, &QShortcut::activated, this, [this, step] { stepTab(step); });
    };
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_Tab), 1);
    shortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab), -1);
    shortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Tab), -1);
}

frmProperty::~frmProperty() = default;

/** Frame (element of fraTabStrip) that holds the controls of tab @p key. */
QWidget *frmProperty::createFrame(int key)
{
    auto *frame = new QWidget(this);
    frame->setObjectName(u"fraTabStrip(%1)"_s.arg(key));
    frame->hide();
    return frame;
}

void frmProperty::createButtons()
{
    cmdOK = PropertyWidgets::button(this, u"cmdOK"_s, u"OK"_s);
    cmdCancel = PropertyWidgets::button(this, u"cmdCancel"_s, u"キャンセル"_s);
    cmdOK->setDefault(true);
    auto *row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(cmdOK);
    row->addWidget(cmdCancel);
    static_cast<QVBoxLayout *>(layout())->addLayout(row);
    connect(cmdOK, &QPushButton::clicked, this, &frmProperty::cmdOK_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
}

bool frmProperty::ShowProperty(Database &db, CBBSProperty &bbsprop, QWidget *OwnerForm, int &DefaultTabIndex,
                               bool *NgRulesChanged)
{
    frmProperty form(db, OwnerForm);
    form.Load(PropertyMode, bbsprop, DefaultTabIndex);
    form.exec();
    DefaultTabIndex = form.SelectedTabIndex();
    if (NgRulesChanged)
        *NgRulesChanged = form.NgRulesChanged();
    return form.Result();
}

bool frmProperty::ShowOption(Database &db, CBBSProperty &bbsprop, QWidget *OwnerForm, int &DefaultTabIndex,
                             bool *NgRulesChanged)
{
    frmProperty form(db, OwnerForm);
    form.Load(OptionMode, bbsprop, DefaultTabIndex);
    form.exec();
    DefaultTabIndex = form.SelectedTabIndex();
    if (NgRulesChanged)
        *NgRulesChanged = form.NgRulesChanged();
    return form.Result();
}

void frmProperty::Load(Mode mode, CBBSProperty &bbsprop, int DefaultTabIndex)
{
    m_mode = mode;
    m_bbsprop = &bbsprop;
    m_result = false;
    {
        const QScopedValueRollback reverting(m_reverting, true);
        tabStrip->clear();
        m_tabKeys.clear();
        for (const TabInfo &tab : Tabs) {
            if (!shownIn(tab.key, mode))
                continue;
            tabStrip->addTab(m_frames.value(tab.key), QString::fromUtf16(tab.caption));
            m_tabKeys.append(keyText(tab.key));
        }
    }
    const QString title = mdlApp::GetAppTitle();
    setWindowTitle(mode == PropertyMode ? bbsprop.BBS_Name() + u"のプロパティ - "_s + title : u"設定 - "_s + title);
    if (mode == PropertyMode) {
        initBoardTab();
        initCookieTab();
    } else {
        initOptionTabs();
        initWebSearchTab();
    }
    initVisitTab();
    initOrderTab();
    initNgTab();
    selectTab(DefaultTabIndex >= 1 && DefaultTabIndex <= tabStrip->count() ? DefaultTabIndex - 1 : 0);
}

int frmProperty::SelectedTabIndex() const
{
    return tabStrip->currentIndex() + 1;
}

QString frmProperty::SelectedTabKey() const
{
    return m_tabKeys.value(tabStrip->currentIndex());
}

/** Selects tab @p position without validating the tab left. */
void frmProperty::selectTab(int position)
{
    {
        const QScopedValueRollback reverting(m_reverting, true);
        tabStrip->setCurrentIndex(position);
    }
    m_shownTab = tabStrip->currentIndex();
}

/** A tab change stands only when the tab left passes its checks. */
void frmProperty::onTabChanged(int position)
{
    if (m_reverting)
        return;
    const int left = m_shownTab;
    if (left >= 0 && left != position && !ValidateTab(m_tabKeys.value(left)))
        return;
    m_shownTab = position;
}

void frmProperty::stepTab(int step)
{
    const int count = tabStrip->count();
    if (count > 1)
        tabStrip->setCurrentIndex((tabStrip->currentIndex() + step + count) % count);
}

/**
 * Checks tab @p key. On failure the tab is shown again, the user is told why and the focus
 * goes to the field concerned.
 */
bool frmProperty::ValidateTab(const QString &key)
{
    if (key == u"#1"_s)
        return validateBoardTab();
    if (key == u"#2"_s)
        return validateCookieTab();
    if (key == u"#3"_s)
        return validateGeneralTab();
    if (key == u"#7"_s)
        return validateOrderTab();
    return true;
}

/** Shows the tab holding @p field, tells @p text and puts the focus there; always false. */
bool frmProperty::refuse(QWidget *field, const QString &text)
{
    for (int i = 0; i < tabStrip->count(); ++i) {
        if (tabStrip->widget(i)->isAncestorOf(field))
            selectTab(i);
    }
    prompter().information(text);
    field->setFocus();
    return false;
}

void frmProperty::cmdOK_Click()
{
    if (!ValidateTab(SelectedTabKey()))
        return;
    // Both board tabs are checked whatever tab is shown: a bad address or a value the board
    // type cannot keep would otherwise be stored or dropped silently.
    if (m_mode == PropertyMode && (!validateBoardTab() || !validateCookieTab()))
        return;
    if (!storeAll())
        return;
    m_result = true;
    accept();
}

/**
 * Stores every tab. The options are set first, because the folder check works on them; when
 * the check or the list tabs' transaction fails they are put back and nothing else has been
 * written, so that the dialog stays open with everything as it was.
 */
bool frmProperty::storeAll()
{
    if (m_mode == PropertyMode)
        return storeBoard();
    const std::vector<QVariant> before = optionValues();
    saveOptionTabs();
    if (!mdlOption::CheckFolders() || !saveListTabs()) {
        restoreOptions(before);
        return false;
    }
    saveWebSearchTab();
    return true;
}

/**
 * Stores the board tabs, the cookie first: it is written for the address and type chosen on
 * "#1". When a setting or the list tabs cannot be stored the record is put back and the
 * dialog stays open with everything typed.
 */
bool frmProperty::storeBoard()
{
    if (!mdlOption::CheckFolders())
        return false;
    const CBBSProperty before = *m_bbsprop;
    saveBoardTab();
    if (!saveCookieTab() || !saveListTabs()) {
        *m_bbsprop = before;
        return false;
    }
    return true;
}

bool frmProperty::eventFilter(QObject *watched, QEvent *event)
{
    // While a web-search or NG pattern box has the focus, Enter adds the entry instead of closing.
    QPushButton *adds = watched == txtNgPattern                                   ? cmdNgAdd
                      : watched == txtWebSearchName || watched == txtWebSearchURL ? cmdAddSearch
                                                                                  : nullptr;
    const bool deleteKey = event->type() == QEvent::KeyPress && static_cast<QKeyEvent *>(event)->key() == Qt::Key_Delete;
    if (adds) {
        if (event->type() == QEvent::FocusIn)
            adds->setDefault(true);
        else if (event->type() == QEvent::FocusOut)
            cmdOK->setDefault(true);
    } else if (deleteKey && (watched == lsvWebSearch || watched == lsvNg)) {
        watched == lsvNg ? cmdNgDelete_Click() : cmdDelSearch_Click();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}
