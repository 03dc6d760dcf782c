#pragma once

#include <QDialog>
#include <QHash>
#include <QList>
#include <QStringList>
#include <QVariant>
#include <array>
#include <vector>

#include "db/NgRule.h"

class CBBSProperty;
class QComboBox;
class Database;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPushButton;
class QRadioButton;
class QTabWidget;
class QTreeWidget;
class QTreeWidgetItem;
class uSpinButton;

/**
 * @short The board properties dialog and the options dialog: one tabbed form whose mode
 * decides which tabs it shows.
 *
 * Tabs by key: "#1" board fields and "#2" the board's cookie settings (board properties);
 * "#3" general, "#8" transfer, "#4" find and "#5" web searches (options); "#6" the visit list,
 * "#7" the display order and "#9" the NG rules (both). Leaving a tab validates it. OK stores
 * everything at once after every check passed, so that a refused OK and Cancel leave the
 * record, the options, the settings file, the cookies and table BBS as they were; only
 * "全ての掲示板に適応する" and the NG rules' buttons write at once (each rule is its own row,
 * and adding one asks about the stored messages it matches). Works on the log database it is
 * given and gIniFile.
 */
class frmProperty : public QDialog
{
    Q_OBJECT

public:
    enum Mode { PropertyMode = 0, OptionMode = 1 };

    /** @p db holds the boards the dialog shows and stores; it must outlive the dialog. */
    explicit frmProperty(Database &db, QWidget *OwnerForm = nullptr);
    ~frmProperty() override;

    /**
     * @short The board properties dialog for @p bbsprop, shown modally. True after OK; the
     * record then holds the new fields (the caller writes the row). @p DefaultTabIndex: the
     * 1-based tab to open on, afterwards the tab selected last.
     * @p NgRulesChanged, when given, tells whether NG rules were added or removed (OK or not).
     */
    static bool ShowProperty(Database &db, CBBSProperty &bbsprop, QWidget *OwnerForm, int &DefaultTabIndex,
                             bool *NgRulesChanged = nullptr);
    /** @short The options dialog, as ShowProperty; @p bbsprop is the board the list tabs keep shown. */
    static bool ShowOption(Database &db, CBBSProperty &bbsprop, QWidget *OwnerForm, int &DefaultTabIndex,
                           bool *NgRulesChanged = nullptr);

    /** @short Fills the form for @p mode and selects tab @p DefaultTabIndex; Show* then shows it. */
    void Load(Mode mode, CBBSProperty &bbsprop, int DefaultTabIndex);
    Mode FormMode() const { return m_mode; }
    /** @short True when the form was closed with OK. */
    bool Result() const { return m_result; }
    /** @short The 1-based position of the selected tab. */
    int SelectedTabIndex() const;
    /** @short The key ("#1" ... "#9") of the selected tab. */
    QString SelectedTabKey() const;
    /** @short The keys of the shown tabs, in order. */
    QStringList TabKeys() const { return m_tabKeys; }
    /** @short True once an NG rule was added or removed on tab "#9" (they are stored at once). */
    bool NgRulesChanged() const { return m_ngRulesChanged; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Form mechanics (frmProperty.cpp)
    QWidget *createFrame(int key);
    void createButtons();
    void selectTab(int position);
    void onTabChanged(int position);
    void stepTab(int step);
    bool ValidateTab(const QString &key);
    bool refuse(QWidget *field, const QString &text);
    void cmdOK_Click();
    bool storeAll();
    bool storeBoard();

    // Board tabs "#1" and "#2" (frmPropertyBoard.cpp)
    void createBoardTab(QWidget *frame);
    void createCookieTab(QWidget *frame);
    void initBoardTab();
    void initCookieTab();
    bool validateBoardTab();
    bool validateCookieTab();
    void saveBoardTab();
    bool saveCookieTab();
    void cmdAllBBS_Click();
    QStringList personalFields() const;

    // List tabs "#6" and "#7" (frmPropertyLists.cpp)
    void createVisitTab(QWidget *frame);
    void createOrderTab(QWidget *frame);
    void initVisitTab();
    void initOrderTab();
    bool validateOrderTab();
    bool saveListTabs();
    void UpdateOrderButtons();
    void cmdAdd_Click();
    void cmdDelete_Click();
    void moveOrderItem(int step);
    void addVisitItem(int BBS_ID, const QString &name);
    void removeVisitItem(int BBS_ID);
    QListWidgetItem *visitItem(int BBS_ID) const;
    void syncVisitCheck();
    void onVisitCheckClicked(bool checked);

    // Option tabs "#3", "#8", "#4" (frmPropertyOptions.cpp)
    void createGeneralTab(QWidget *frame);
    void createTransferTab(QWidget *frame);
    void createFindTab(QWidget *frame);
    void initOptionTabs();
    bool validateGeneralTab();
    void saveOptionTabs();
    void updateOptionEnabling();
    void updateDatePreview();

    // Web searches "#5" (frmPropertyWebSearch.cpp)
    void createWebSearchTab(QWidget *frame);
    void initWebSearchTab();
    void cmdAddSearch_Click();
    void cmdDelSearch_Click();
    bool saveWebSearchTab();
    QTreeWidgetItem *webSearchRow(const QString &caption) const;

    // NG rules "#9" (frmPropertyNg.cpp)
    void createNgTab(QWidget *frame);
    void initNgTab();
    void showNgRule(int row);
    NgRule typedNgRule(std::optional<int> BBS_ID);
    void cmdNgAdd_Click();
    void cmdNgChange_Click();
    void cmdNgDelete_Click();
    void updateNgButtons();

    Database &m_db;
    Mode m_mode = PropertyMode;
    CBBSProperty *m_bbsprop = nullptr;
    bool m_result = false;
    bool m_reverting = false; // set while a refused tab change is undone
    int m_shownTab = -1;      // the tab that was selected before the current change
    QStringList m_tabKeys;    // keys of the shown tabs, in tab order
    QHash<int, QWidget *> m_frames; // fraTabStrip elements by key number

    QTabWidget *tabStrip = nullptr;
    QPushButton *cmdOK = nullptr;
    QPushButton *cmdCancel = nullptr;

    // "#1"
    QLineEdit *txtName = nullptr;
    QLineEdit *txtShortName = nullptr;
    QLineEdit *txtURL = nullptr;
    QLineEdit *txtHowtouseURL = nullptr;
    QLineEdit *txtIdentifier = nullptr;
    QLineEdit *txtDefaultLogFile = nullptr;
    uSpinButton *uspnMaxCount = nullptr;
    QCheckBox *chkVisitLoad = nullptr;
    std::array<QRadioButton *, 4> optBBSType{};
    // "#2"
    QGroupBox *fraPersonal = nullptr;
    QLineEdit *txtPostName = nullptr;
    QLineEdit *txtMail = nullptr;
    QLineEdit *txtPassword = nullptr;
    QLineEdit *txtHomePage = nullptr;
    QPushButton *cmdAllBBS = nullptr;
    uSpinButton *uspnViewCount = nullptr;
    uSpinButton *uspnDownloadCount = nullptr;
    QGroupBox *fraViewOrder = nullptr;
    QGroupBox *fraNoReadView = nullptr;
    std::array<QRadioButton *, 2> optViewOrder{};
    std::array<QRadioButton *, 2> optNoReadView{};
    // "#6" and "#7"
    QListWidget *lstVisitLoad = nullptr;
    QListWidget *lstOrder = nullptr;
    QListWidget *lstAll = nullptr;
    QPushButton *cmdAdd = nullptr;
    QPushButton *cmdDelete = nullptr;
    QPushButton *cmdUp = nullptr;
    QPushButton *cmdDown = nullptr;
    // "#3"
    uSpinButton *uspnAddMax = nullptr;
    uSpinButton *uspnReadTiming = nullptr;
    QCheckBox *chkNoReadBold = nullptr;
    QCheckBox *chkSaveSQLDialogPosition = nullptr;
    QCheckBox *chkAddTaskTray = nullptr;
    QCheckBox *chkHideAtMinimazed = nullptr;
    QLineEdit *txtReplyHeader = nullptr;
    QLineEdit *txtDateFormat = nullptr;
    QLabel *lblDateFormatPreview = nullptr;
    QLineEdit *txtIconFilePath = nullptr;
    // "#8"
    uSpinButton *uspnTimeout = nullptr;
    QGroupBox *fraTimer = nullptr;
    QCheckBox *chkTimer = nullptr;
    QLabel *lblInterval = nullptr;
    uSpinButton *uspnInterval = nullptr;
    QCheckBox *chkNotifyNewMessages = nullptr;
    QCheckBox *chkUseTextIndex = nullptr;
    QCheckBox *chkExitIfMessageFound = nullptr;
    QCheckBox *chkBlinkIcon = nullptr;
    QCheckBox *chkImportReadMode = nullptr;
    QCheckBox *chkSaveLoadDialogPosition = nullptr;
    QCheckBox *chkAutoCloseImportDialog = nullptr;
    QLineEdit *txtCacheFileName = nullptr;
    QLineEdit *txtErrorLogFilePath = nullptr;
    // "#4"
    QCheckBox *chkUseRegExp = nullptr;
    QCheckBox *chkIgnoreCase = nullptr;
    // "#5"
    QTreeWidget *lsvWebSearch = nullptr;
    QLineEdit *txtWebSearchName = nullptr;
    QLineEdit *txtWebSearchURL = nullptr;
    QPushButton *cmdAddSearch = nullptr;
    QPushButton *cmdDelSearch = nullptr;
    // "#9"
    QTreeWidget *lsvNg = nullptr;
    QComboBox *cboNgField = nullptr;
    QLineEdit *txtNgPattern = nullptr;
    QCheckBox *chkNgRegExp = nullptr;
    QComboBox *cboNgAction = nullptr;
    QPushButton *cmdNgAdd = nullptr;
    QPushButton *cmdNgChange = nullptr;
    QPushButton *cmdNgDelete = nullptr;
    QList<NgRule> m_ngRules; // the rules of lsvNg, row by row
    bool m_ngRulesChanged = false;
};
