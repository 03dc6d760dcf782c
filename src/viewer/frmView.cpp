#include "viewer/frmView.h"

#include "app/CIniFile.h"
#include "app/Prompter.h"
#include "app/mdlApp.h"
#include "app/mdlOption.h"
#include "controls/CMRUCombo.h"
#include "controls/uClickableLabel.h"
#include "controls/uSeparator.h"
#include "controls/uSpinButton.h"
#include "db/Database.h"
#include "db/MessageRepository.h"
#include "db/NgRuleRepository.h"
#include "startup/mdlMain.h"
#include "viewer/BodyCommands.h"
#include "viewer/BodyLinkController.h"
#include "viewer/ExportController.h"
#include "viewer/FindController.h"
#include "viewer/KeyMap.h"
#include "viewer/ListController.h"
#include "viewer/MessageCommands.h"
#include "viewer/SettingsController.h"
#include "viewer/TimerController.h"
#include "viewer/ToolCommands.h"
#include "viewer/TrayController.h"
#include "viewer/WindowState.h"
#include "models/mdlRead.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QScopedValueRollback>
#include <QStatusBar>
#include <QStyledItemDelegate>
#include <QToolBar>
#include <QToolButton>
#include <QToolTip>
#include <QTreeView>
#include <algorithm>

using namespace Qt::StringLiterals;

static void initResources()
{
    Q_INIT_RESOURCE(tessera);
}

namespace {

/** Insets of the mail and home-page labels within their status-bar panels. */
constexpr int LabelInset = 3;

/** The dynamic property of a command that holds its own enabled state, the run aside. */
constexpr char OwnEnabled[] = "tesseraOwnEnabled";

/** A command (by objectName) that a run disables, unless it stays enabled during that kind of run. */
struct RunRule
{
    QStringView name;
    bool duringLoad;
    bool duringImport;
};

/**
 * What a run disables. The window stays live during a run, so besides the commands that start
 * runs this holds those that work on what the run works on. Commands not listed (moving around,
 * marking, reading, the options, whose values a run takes at its start) stay enabled.
 */
constexpr RunRule RunRules[] = {
    // One run at a time.
    {u"Toolbar.Load", false, false},
    {u"Toolbar.VisitLoad", false, false},
    {u"mnuFileImport", false, false},
    {u"mnuBBSLoad", false, false},
    {u"mnuBBSAllLoad", false, false},
    {u"mnuBBSVisitLoad", false, false},
    {u"mnuBBSAllVisitLoad", false, false},
    {u"mnuTrayLoad", false, false},
    {u"mnuTrayVisitLoad", false, false},
    // The pages of the shown board; F7 and F8 are the buttons of the same commands.
    {u"mnuBBSViewSub(0)", false, false},
    {u"mnuBBSViewSub(1)", false, false},
    {u"mnuBBSViewSub(2)", false, false},
    {u"mnuBBSViewSub(3)", false, false},
    {u"mnuBBSViewSub(4)", false, false},
    {u"Toolbar.Back", false, false},
    {u"Toolbar.Forword", false, false},
    // Queries and searches refill the lists that the run adds its messages to.
    {u"Toolbar.SQL", false, false},
    {u"mnuMsgQuery", false, false},
    {u"mnuMsgRelate", false, false},
    {u"mnuMsgAllFind", false, false},
    {u"mnuPopupRelate", false, false},
    {u"mnuTextFind", false, false},
    {u"mnuTextRelate", false, false},
    {u"mnuBBSViewNg", false, false},
    {u"mnuPopupNgPoster", false, false},
    {u"mnuPopupNgText", false, false},
    // The board's row and unread position, which a load writes at its end.
    {u"mnuBBSSetNoRead", false, false},
    {u"mnuBBSProperty", false, false},
    // Compaction closes and replaces the database under the run.
    {u"mnuToolCompDB", false, false},
    // An import does not list what it stores, and a later file may store a deleted message again.
    {u"mnuMsgDelete", true, false},
    {u"mnuPopupDelete", true, false},
};

const RunRule *runRule(QStringView name)
{
    const auto rule = std::find_if(std::begin(RunRules), std::end(RunRules),
                                   [name](const RunRule &r) { return r.name == name; });
    return rule == std::end(RunRules) ? nullptr : rule;
}

/**
 * Shows cell tooltips as plain text. A tooltip that looks like markup would otherwise be
 * drawn as rich text, and subjects and names come from board data.
 */
class PlainToolTipDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    bool helpEvent(QHelpEvent *event, QAbstractItemView *view, const QStyleOptionViewItem &option,
                   const QModelIndex &index) override
    {
        if (event->type() != QEvent::ToolTip)
            return QStyledItemDelegate::helpEvent(event, view, option, index);
        const QString text = index.data(Qt::ToolTipRole).toString();
        if (text.isEmpty()) {
            QToolTip::hideText();
            return false;
        }
        QToolTip::showText(event->globalPos(), u"<p style='white-space:pre-wrap'>"_s + text.toHtmlEscaped() + u"</p>"_s, view);
        return true;
    }

protected:
    /** A hidden row listed by "NGを表示" is drawn greyed and italic, its subject marked "[NG]". */
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        if (index.data(MessageListModel::NgRole).toInt() != int(MessageListModel::NgMark::Hidden))
            return;
        option->palette.setColor(QPalette::Text, option->palette.color(QPalette::Disabled, QPalette::Text));
        option->font.setItalic(true);
        if (index.column() == MessageListModel::ColSubject)
            option->text = u"[NG] "_s + option->text;
    }
};

/** Messages that NG rules match show "あぼーん" as subject, poster and body, as their rows do. */
void hideNgTexts(Database &db, int BBS_ID, QList<CMessage> &messages)
{
    const std::optional<QList<NgRule>> rules = NgRuleRepository(db).ForBoard(BBS_ID);
    if (!rules || rules->isEmpty())
        return;
    const NgMatcher matcher(*rules);
    for (CMessage &m : messages) {
        if (matcher.Match(m))
            m.Subject = m.PostName = m.Body = NgAboneText;
    }
}

QIcon image(const QString &key)
{
    return QIcon(u":/images/"_s + key + u".svg"_s);
}

} // namespace

frmView::frmView(std::unique_ptr<Database> &database, OneShotTimer *tmrRead, QWidget *parent)
    : QMainWindow(parent),
      m_database(database),
      m_lists(database.get(), tmrRead),
      m_boards(this),
      m_findHistory(std::make_unique<CMRUCombo>())
{
    initResources();
    setObjectName(u"frmView"_s);
    setWindowIcon(image(u"MAINICON"_s));
    setWindowTitle(mdlApp::GetAppTitle());
    resize(960, 680);
    createLists();
    createMenus();
    createToolbar();
    createStatusBar();
    sep = new uSeparator(this);
    sep->setObjectName(u"sep"_s);
    sep->setAspect(uSeparator::Horizontal);
    sep->installEventFilter(this); // the list keeps its share of the height (WindowState)
    setCentralWidget(sep);
    sep->Initialize(m_views[0], rtbView);
    m_views[1]->setParent(sep);
    m_views[1]->hide();
    m_windowState = std::make_unique<WindowState>(*this, *sep, *m_views[0]->header(), *m_findHistory, *cmbFindText);
    createRunController();
    createListController();

    m_lists.UpdateBBSMenuCaption = [this](int BBS_ID, int Delta) { UpdateBBSMenuCaption(BBS_ID, Delta); };
    // A list being filled shows its count once, when it is shown (ChangeList).
    m_lists.ShowCount = [this](const QString &text) {
        if (!m_listController->IsFilling()) {
            m_runs->HoldStatusBar();
            m_panels.value(u"Count"_s)->setText(text);
        }
    };
    // A read state the database refused while reading goes to the status bar: no box
    // interrupts the reader for each message the delay marks.
    m_lists.ReportWriteFailure = [this](const QString &text) {
        ChangeStatusBarStyle(1);
        m_panels.value(u"Status"_s)->setText(text);
    };
    createNavigation();
    createTray();
    createTimer();
    createSettings();
    createMessageCommands();
    createBodyCommands();
    createToolCommands();
    createFindController();
    createKeyMap(); // it shows its keys in the menus the others fill
    createBodyLinks();
    connect(&m_boards, &BoardMenus::Rebuilt, this, [this] {
        m_runs->DropPendingCounts(); // the rebuilt captions read the stored counts, which hold them
        for (int index : {0, 1}) {
            m_lists.lsvMsgList(index).SetBoardIcons(m_boards.Icons());
            m_lists.lsvMsgList(index).SetBoardNames(m_boards.Names());
        }
    });
}

frmView::~frmView() = default;

void frmView::createRunController()
{
    RunController::Widgets widgets{
        .window = this,
        .boardList = m_views[0],
        .statusBar = statusBar(),
        .statusPanel = m_panels.value(u"Status"_s),
        .menuItems = m_menu,
        .buttons = m_buttons,
    };
    RunController::Commands commands{
        .changeMenuEnabled = [this] { ChangeMenuEnabled(); },
        .changeStatusBarStyle = [this](int Style) { ChangeStatusBarStyle(Style); },
        .changeBBSViewMenu = [this] { ChangeBBSViewMenu(); },
        .showNoReadPoint = [this] { ShowNoReadPoint(); },
        .setBlinking = [this](bool on) { SetBlinking(on); },
        .updateBoardCaption = [this](int BBS_ID, int Delta) { UpdateBBSMenuCaption(BBS_ID, Delta); },
        .selectedRow = [this](ListIndex Index) { return selectedRow(Index); },
        .listKind = [this] { return ListKind(); },
        .showsNewestRows = [this] { return m_listController->ShowsNewestRows(); },
        .refreshNewestRows = [this] { m_listController->RefreshNewestRows(); },
        .unload = [this] { unload(); },
    };
    m_runs = std::make_unique<RunController>(m_cbbs, m_lists, m_current, [this] { return database(); },
                                             std::move(widgets), std::move(commands));
    connect(m_runs.get(), &RunController::RunFinished, this, &frmView::RunFinished);
    m_export = std::make_unique<ExportController>(ExportController::Sources{
        this, m_lists, m_current, [this] { return database(); }, [this] { return ListKind(); },
        m_panels.value(u"Status"_s)});
    connect(m_runs.get(), &RunController::ExportRequested, m_export.get(), &ExportController::Export);
}

void frmView::RunCommand(RunCommandIndex Index)
{
    m_runs->RunCommand(Index);
}

frmView::RunState frmView::CurrentRun() const
{
    return m_runs->CurrentRun();
}

bool frmView::IsRunning() const
{
    return m_runs->IsRunning();
}

frmLoadDlg *frmView::LoadDialog() const
{
    return m_runs->LoadDialog();
}

void frmView::createListController()
{
    ListController::Widgets widgets{
        .lists = m_views,
        .body = rtbView,
        .separator = sep,
        .statusPanel = m_panels.value(u"Status"_s),
        .mailto = uclMailto,
        .homepage = uclHomepage,
        .inReplyTo = m_panels.value(u"InReplyTo"_s),
        .messageMenu = mnuMsg->menuAction(),
        .boardProperty = m_menu.value(u"mnuBBSProperty"_s),
        .viewItems = m_viewItems,
        .boardListButton = m_buttons.value(u"BBSList"_s),
        .backButton = m_buttons.value(u"Back"_s),
        .forwordButton = m_buttons.value(u"Forword"_s),
    };
    ListController::Commands commands{
        .setCommandEnabled = [this](QAction *command, bool enabled) { setCommandEnabled(command, enabled); },
        .changeStatusBarStyle = [this](int Style) { ChangeStatusBarStyle(Style); },
        .showNoReadPoint = [this] { ShowNoReadPoint(); },
        .refreshToolbarImages = [this] { RefreshToolbarImages(); },
        .reloadBoards =
            [this] {
                if (Database *db = database())
                    m_boards.LoadBBSList(*db);
                RefreshToolbarImages();
            },
        .isLoading = [this] { return m_cbbs.IsLoad(); },
        .history = [this]() -> BrowseHistory & { return History(); },
    };
    m_listController = std::make_unique<ListController>(*this, m_lists, m_query, m_current, [this] { return database(); },
                                                         std::move(widgets), std::move(commands));
    const QList<int> widths{40, 60, 260, 120, 120, 110, 120, 90, 300, 70, 50};
    for (int column = 0; column < widths.size(); ++column)
        m_views[0]->header()->resizeSection(column, widths.at(column));
    // The board column follows the read mark where it shows: in list 1, for rows of several boards.
    m_views[0]->header()->moveSection(MessageListModel::ColBBS, 1);
    m_views[0]->setColumnHidden(MessageListModel::ColBBS, true);
    m_listController->CopyColumns(BoardList, ResultList);
}

void frmView::createNavigation()
{
    NavigationController::Widgets widgets{m_views, rtbView, uspnNoReadPoint, m_panels.value(u"NoReadPoint"_s)};
    NavigationController::Commands commands{
        .showMessage = [this](ListIndex Index, int row) { ShowMessage(Index, row, false); },
        .selectedRow = [this](ListIndex Index) { return selectedRow(Index); },
        .showNoReadPoint = [this] { ShowNoReadPoint(); },
        .canEditNoReadPoint = [this] { return command(u"mnuBBSSetNoRead")->isEnabled(); },
    };
    m_navigation = std::make_unique<NavigationController>(m_lists, m_current, widgets, std::move(commands));
    const auto move = [this](const QString &name, bool next, MoveMode mode, bool PageFirst) {
        connect(m_menu.value(name), &QAction::triggered, this, [this, next, mode, PageFirst] {
            next ? m_navigation->MoveNextMessage(m_lists.CurrentList(), mode, PageFirst)
                 : m_navigation->MovePrevMessage(m_lists.CurrentList(), mode, PageFirst);
        });
    };
    move(u"mnuMovePrevMsg"_s, false, MoveMode::Row, false);
    move(u"mnuMoveNextMsg"_s, true, MoveMode::Row, false);
    move(u"mnuMovePrevNoRead"_s, false, MoveMode::Unread, true);
    move(u"mnuMoveNextNoRead"_s, true, MoveMode::Unread, true);
    move(u"mnuMovePrevArchive"_s, false, MoveMode::History, false);
    move(u"mnuMoveNextArchive"_s, true, MoveMode::History, false);
    connect(m_menu.value(u"mnuMoveInReplyTo"_s), &QAction::triggered, this,
            [this] { m_navigation->MoveToReplyTarget(m_lists.CurrentList()); });
    connect(m_menu.value(u"mnuBBSSetNoRead"_s), &QAction::triggered, this, [this] { m_navigation->EditNoReadPoint(); });
    connect(mnuMsg, &QMenu::aboutToShow, this, [this] {
        setCommandEnabled(m_menu.value(u"mnuMoveInReplyTo"_s), m_navigation->ReplyTargetEnabled());
    });
}

void frmView::createKeyMap()
{
    KeyMap::Widgets widgets{this, m_views, rtbView, cmbFindText, uspnNoReadPoint, mnuMsg};
    KeyMap::Commands commands{
        .returnToBoardList = [this] { ChangeList(BoardList); },
        .popupBoardMenu = [this] { mnuBBSMove->popup(sep->mapToGlobal(QPoint(0, 0))); },
        .popupMarkMenu = [this] { m_messageCommands->ShowMarkMenuOverCurrentRow(m_lists.CurrentList()); },
        .popupListMenu = [this](ListIndex Index) { m_messageCommands->ShowListPopupOverCurrentRow(Index); },
        .popupTextMenu = [this] { m_bodyCommands->ShowTextMenu(rtbView->cursorRect().center()); },
    };
    m_keyMap = std::make_unique<KeyMap>(m_lists, *m_navigation, m_menu, widgets, std::move(commands));
}

void frmView::createTray()
{
    TrayController::Commands commands{
        .showBoard = [this](int id) { SelectBoard(id); },
        .load = [this] { RunCommand(LoadCommand); },
        .visitLoad = [this] { RunCommand(VisitLoadCommand); },
        .newMessage =
            [this](int id) {
                CMessage message;
                message.BBS_ID = id;
                m_cbbs.Send(message, false);
            },
    };
    m_tray = std::make_unique<TrayController>(*this, m_boards, std::move(commands));
    for (QAction *item : m_tray->MenuItems())
        m_menu.insert(item->objectName(), item);
    connect(this, &frmView::RunFinished, this, [this] {
        if (m_unloaded)
            return; // the window closed during the run
        m_tray->NotifyReceived(m_runs->ReceivedCounts(), [this](int BBS_ID) {
            CBBSProperty board;
            return database() && board.GetProperty(BBS_ID, *database()) ? board.BBS_Name() : QString();
        });
    });
}

void frmView::createTimer()
{
    TimerController::Commands commands{
        .isRunning = [this] { return IsRunning(); },
        .timedVisitLoad =
            [this] {
                // A modal dialog (options, query window, a question) holds off runs the user
                // could not start from it: the turn is skipped.
                if (!QApplication::activeModalWidget())
                    m_runs->TimedVisitLoad();
            },
    };
    m_timer = std::make_unique<TimerController>(m_menu.value(u"mnuToolTimer"_s), m_buttons.value(u"Timer"_s),
                                                m_panels.value(u"Timer"_s), std::move(commands));
    connect(this, &frmView::RunFinished, m_timer.get(), &TimerController::RunEnded);
}

ReceiveTimer &frmView::TimedReceiving()
{
    return m_timer->Timer();
}

void frmView::createSettings()
{
    m_settings = std::make_unique<SettingsController>(
        *this, [this] { return database(); }, m_current, [this] { refreshAfterSettings(); },
        [this] { refreshAfterNgRules(); });
    const auto showOptions = [this] { m_settings->ShowOptions(); };
    connect(m_menu.value(u"mnuBBSProperty"_s), &QAction::triggered, this, [this] { m_settings->ShowBoardProperty(); });
    connect(m_menu.value(u"mnuToolOption"_s), &QAction::triggered, this, showOptions);
    connect(m_buttons.value(u"Option"_s), &QAction::triggered, this, showOptions);
}

void frmView::createMessageCommands()
{
    MessageCommands::Widgets widgets{m_views, mnuMsg, mnuMsgMark, findChild<QMenu *>(u"mnuPopup"_s)};
    MessageCommands::Commands commands{
        .showsMessages = [this](ListIndex Index) { return ListKind() == 0 && listModel(Index) == &m_lists.lsvMsgList(Index); },
        .selectedRow = [this](ListIndex Index) { return selectedRow(Index); },
        .showMessage = [this](ListIndex Index, int row) { ShowMessage(Index, row, false); },
        .shownKey = [this] { return m_listController->ShownKey(); },
        .withoutShowing =
            [this](const std::function<void()> &change) {
                const auto quiet = m_listController->HoldRowChanges();
                change();
            },
        .clearShownMessage = [this] { m_listController->ClearShownMessage(); },
        .showSQLResult = [this](const QString &SQL, ListIndex Index) { return ShowSQLResult(SQL, Index); },
        .resetColumnHeaders = [this](ListIndex Index, bool KeepIndent) { ResetColumnHeaders(Index, KeepIndent); },
        .showThread = [this](ListIndex Index) { ShowThread(Index); },
        .updateBoardCaption = [this](int BBS_ID, int Delta) { UpdateBBSMenuCaption(BBS_ID, Delta); },
        .setCommandEnabled = [this](QAction *command, bool enabled) { setCommandEnabled(command, enabled); },
        .reply = [this] { RunCommand(ReplyCommand); },
        .newMessage =
            [this](int BBS_ID) {
                CMessage message;
                message.BBS_ID = BBS_ID;
                m_cbbs.Send(message, false);
            },
        .moveToReplyTarget = [this](ListIndex Index) { m_navigation->MoveToReplyTarget(Index); },
        .selectedBodyText = [this] { return rtbView->textCursor().selectedText().replace(QChar::ParagraphSeparator, u'\n'); },
        .ngRulesChanged = [this] { refreshAfterNgRules(); },
    };
    m_messageCommands = std::make_unique<MessageCommands>(m_lists, [this] { return database(); }, m_menu, widgets,
                                                          std::move(commands));
}

void frmView::createBodyCommands()
{
    BodyCommands::Widgets widgets{rtbView, findChild<QMenu *>(u"mnuText"_s), cmbFindText, m_views};
    BodyCommands::Commands commands{
        .selectedRow = [this](ListIndex Index) { return selectedRow(Index); },
        .relateSearch = [this](int BBS_ID, const QString &Text) { m_messageCommands->RelateSearch(BBS_ID, Text); },
        .searchBodies = [this](int BBS_ID, const QString &Text) { QueryLoop(QueryTemplate(BBS_ID, Text)); },
    };
    m_bodyCommands = std::make_unique<BodyCommands>(m_lists, m_current, m_menu, widgets, std::move(commands));
}

void frmView::createBodyLinks()
{
    BodyLinkController::Commands commands{
        .shownBoard =
            [this] {
                const auto key = CMessage::ParseKey(m_listController->ShownKey());
                return key ? key->BBS_ID : mdlOption::BBS_ID;
            },
        .find = [this](int BBS_ID, int from, int to, int limit) -> std::optional<QList<CMessage>> {
            if (!database())
                return std::nullopt;
            std::optional<QList<CMessage>> found = MessageRepository(*database()).Find(BBS_ID, from, to, limit);
            if (found)
                hideNgTexts(*database(), BBS_ID, *found); // a preview does not show what the lists keep out
            return found;
        },
        .showMessage = [this](int BBS_ID, int ID) { showAnchorTarget(BBS_ID, ID); },
    };
    m_bodyLinks = std::make_unique<BodyLinkController>(*rtbView, std::move(commands));
    m_bodyLinks->WatchReplyLink(*m_panels.value(u"InReplyTo"_s));
}

void frmView::showAnchorTarget(int BBS_ID, int ID)
{
    const ListIndex Index = m_lists.CurrentList();
    if (ListKind() == 0 || Index == BoardList) {
        if (const int row = m_lists.lsvMsgList(Index).RowOf(BBS_ID, ID); row >= 0) {
            ShowMessage(Index, row, false);
            return;
        }
    }
    const std::optional<QList<CMessage>> stored =
        database() ? MessageRepository(*database()).Find(BBS_ID, ID, ID, 1) : std::nullopt;
    if (stored && stored->isEmpty())
        prompter().information(u"未取得のメッセージです"_s);
    else
        RelateSearch(BBS_ID, u"#"_s + QString::number(ID));
}

void frmView::createToolCommands()
{
    ToolCommands::Commands commands{
        .isRunning = [this] { return IsRunning(); },
        .releaseDatabase =
            [this] {
                // The board record is written now and read again from the reopened database;
                // the window's copy must not keep the database that compaction closes.
                mdlRead::StopReadTimer(m_lists);
                storeCurrentBoard();
                m_current = CBBSProperty();
                m_query.Initialize(nullptr);
                m_cbbs.Initialize(nullptr);
                m_lists.SetDatabase(nullptr);
            },
        .attachDatabase =
            [this] {
                m_query.Initialize(database());
                m_cbbs.Initialize(database());
                m_lists.SetDatabase(database());
                m_boards.LoadBBSList(*m_database);
                SelectBoard(mdlOption::BBS_ID);
            },
    };
    m_toolCommands = std::make_unique<ToolCommands>(*this, m_database, m_current, m_menu, std::move(commands));
}

void frmView::createFindController()
{
    FindController::Widgets widgets{this, m_views, rtbView, cmbFindText};
    FindController::Commands commands{
        .showMessage = [this](ListIndex Index, int row) { ShowMessage(Index, row, false); },
        .showSQLResult = [this](const QString &SQL, ListIndex Index) { return ShowSQLResult(SQL, Index); },
        .searchAllBoards = [this](const QString &text) { return m_listController->ShowSearch(text); },
    };
    m_findController = std::make_unique<FindController>(m_lists, *m_findHistory, [this] { return database(); }, m_menu,
                                                        widgets, std::move(commands));
}

void frmView::FindMessage(const QString &FindText, bool Forward)
{
    m_findController->FindMessage(FindText, Forward);
}

bool frmView::IsFinding() const
{
    return m_findController->IsFinding();
}

void frmView::QueryLoop(const QString &SQL)
{
    m_findController->QueryLoop(SQL);
}

QString frmView::QueryTemplate(int BBS_ID, const std::optional<QString> &BodyText)
{
    return FindController::QueryTemplate(BBS_ID, BodyText);
}

const QString &frmView::LastQuery() const
{
    return m_findController->LastQuery();
}

void frmView::UpdateMessageMenu()
{
    m_messageCommands->UpdateMessageMenu();
}

void frmView::RelateSearch(int BBS_ID, const QString &Text)
{
    m_messageCommands->RelateSearch(BBS_ID, Text);
}

void frmView::ReplyHitokoto(int Side)
{
    m_messageCommands->ReplyHitokoto(Side);
}

void frmView::refreshAfterSettings()
{
    m_listController->ShowCaption(); // the board may have a new name
    if (Database *db = database())
        m_boards.LoadBBSList(*db);
    RefreshToolbarImages();
    m_tray->UpdateTrayVisibility();
    m_timer->ApplyOptions();
    m_runs->Indexer().ApplyOption();
}

/** The NG rules changed: the lists follow them, and the board menus the unread counts. */
void frmView::refreshAfterNgRules()
{
    m_lists.ReloadNgRules();
    if (Database *db = database())
        m_boards.LoadBBSList(*db);
    m_listController->Refill();
}

/** "NGを表示": both lists list the hidden rows too (marked), or leave them out again. */
void frmView::ShowNgRows(bool on)
{
    m_menu.value(u"mnuBBSViewNg"_s)->setChecked(on);
    if (m_lists.lsvMsgList(BoardList).ShowNg() == on)
        return;
    m_lists.lsvMsgList(BoardList).SetShowNg(on);
    m_lists.lsvMsgList(ResultList).SetShowNg(on);
    m_listController->Refill();
}

void frmView::MoveNextMessage(ListIndex Index, MoveMode mode, bool PageFirst)
{
    m_navigation->MoveNextMessage(Index, mode, PageFirst);
}

void frmView::MoveToReplyTarget(ListIndex Index)
{
    m_navigation->MoveToReplyTarget(Index);
}

BrowseHistory &frmView::History()
{
    return m_navigation->History();
}

void frmView::SetBlinking(bool on)
{
    m_tray->SetBlinking(on);
}

QAction *frmView::menuItem(QMenu *menu, const QString &name, const QString &caption)
{
    auto *action = menu->addAction(caption);
    action->setObjectName(name);
    m_menu.insert(name, action);
    return action;
}

QMenu *frmView::subMenu(QMenu *parent, const QString &name, const QString &caption)
{
    QMenu *menu = parent ? parent->addMenu(caption) : menuBar()->addMenu(caption);
    menu->setObjectName(name);
    menu->menuAction()->setObjectName(name);
    m_menu.insert(name, menu->menuAction());
    return menu;
}

/** Sets the command's own state; a run going on may keep it disabled (ChangeMenuEnabled). */
void frmView::setCommandEnabled(QAction *action, bool enabled)
{
    if (!action)
        return;
    action->setProperty(OwnEnabled, enabled);
    action->setEnabled(enabled && allowedDuringRun(action));
}

/** The command of objectName @p name: a menu item, or a toolbar button ("Toolbar." + key). */
QAction *frmView::command(QStringView name) const
{
    constexpr QStringView toolbar = u"Toolbar.";
    if (name.startsWith(toolbar))
        return m_buttons.value(name.sliced(toolbar.size()).toString());
    return m_menu.value(name.toString());
}

bool frmView::allowedDuringRun(const QAction *action) const
{
    const RunRule *rule = runRule(action->objectName());
    switch (m_runs->CurrentRun()) {
    case RunState::Idle:
        return true;
    case RunState::Loading:
        return !rule || rule->duringLoad;
    case RunState::Importing:
        return !rule || rule->duringImport;
    }
    return true;
}

void frmView::createMenus()
{
    QMenu *mnuFile = subMenu(nullptr, u"mnuFile"_s, u"ファイル(&F)"_s);
    QMenu *mnuFileImport = subMenu(mnuFile, u"mnuFileImport"_s, u"インポート(&I)"_s);
    menuItem(mnuFileImport, u"mnuFileImportFile"_s, u"ファイルから(&F)..."_s);
    menuItem(mnuFileImport, u"mnuFileImportInternet"_s, u"掲示板過去ログ保存庫から(&I)..."_s);
    menuItem(mnuFileImport, u"mnuFileImportKakolog"_s, u"掲示板過去ログ保存庫へ(&K)..."_s);
    menuItem(mnuFile, u"mnuFileExport"_s, u"エクスポート(&E)..."_s);
    mnuFile->addSeparator();
    connect(menuItem(mnuFile, u"mnuFileExit"_s, u"終了(&X)"_s), &QAction::triggered, this, &QWidget::close);

    QMenu *mnuBBS = subMenu(nullptr, u"mnuBBS"_s, u"掲示板(&B)"_s);
    mnuBBSMove = subMenu(mnuBBS, u"mnuBBSMove"_s, u"掲示板移動(&B)"_s);
    m_boards.AttachMenu(mnuBBSMove, u"mnuBBSMoveSub"_s, true, [this](int id) { SelectBoard(id); });
    mnuBBS->addSeparator();
    menuItem(mnuBBS, u"mnuBBSLoad"_s, u"受信(&L)"_s)->setShortcut(Qt::Key_F5);
    menuItem(mnuBBS, u"mnuBBSAllLoad"_s, u"全件受信(&O)"_s);
    menuItem(mnuBBS, u"mnuBBSVisitLoad"_s, u"巡回受信(&I)"_s)->setShortcut(Qt::SHIFT | Qt::Key_F5);
    menuItem(mnuBBS, u"mnuBBSAllVisitLoad"_s, u"全掲示板から巡回受信(&A)"_s);
    mnuBBS->addSeparator();
    menuItem(mnuBBS, u"mnuBBSNew"_s, u"新規投稿(&N)..."_s)->setShortcut(Qt::CTRL | Qt::Key_N);
    menuItem(mnuBBS, u"mnuBBSReply"_s, u"返信(&R)..."_s)->setShortcut(Qt::CTRL | Qt::Key_R);
    mnuBBS->addSeparator();
    QMenu *mnuBBSView = subMenu(mnuBBS, u"mnuBBSView"_s, u"表示(&V)"_s);
    const QStringList viewCaptions{u"最新の100件(&T)"_s, u"前の100件(&P)"_s, u"次の100件(&N)"_s,
                                   u"未読のみ(&R)"_s, u"全て表示(&A)"_s};
    for (int i = 0; i < viewCaptions.size(); ++i) {
        QAction *item = menuItem(mnuBBSView, u"mnuBBSViewSub(%1)"_s.arg(i), viewCaptions.at(i));
        // F7 and F8 are the keys of these pages, also the toolbar's "Back" and "Forword".
        if (i == NewerView || i == OlderView)
            item->setShortcut(i == NewerView ? Qt::Key_F7 : Qt::Key_F8);
        connect(item, &QAction::triggered, this, [this, i] { ShowView(ViewType(i)); });
        m_viewItems.append(item);
    }
    mnuBBSView->addSeparator();
    QAction *showNg = menuItem(mnuBBSView, u"mnuBBSViewNg"_s, u"NGを表示(&G)"_s);
    showNg->setCheckable(true);
    connect(showNg, &QAction::triggered, this, [this](bool on) { ShowNgRows(on); });
    QAction *thread = menuItem(mnuBBS, u"mnuBBSThread"_s, u"スレッド表示(&T)"_s);
    thread->setShortcut(Qt::CTRL | Qt::Key_T);
    connect(thread, &QAction::triggered, this, [this] {
        ResetColumnHeaders(m_lists.CurrentList(), ListKind() != 0);
        ShowThread(m_lists.CurrentList());
    });
    menuItem(mnuBBS, u"mnuBBSSetNoRead"_s, u"未読位置変更(&C)"_s);
    mnuBBS->addSeparator();
    menuItem(mnuBBS, u"mnuBBSProperty"_s, u"プロパティ(&P)..."_s)->setShortcut(Qt::ALT | Qt::Key_F8);
    menuItem(mnuBBS, u"mnuBBSBrowse"_s, u"この掲示板へ移動(&M)..."_s);
    menuItem(mnuBBS, u"mnuBBSShowCookiePage"_s, u"表示カスタマイズをする(&S)..."_s);
    menuItem(mnuBBS, u"mnuBBSKiyaku"_s, u"この掲示板のつかいかたを見る(&K)..."_s);

    mnuMsg = subMenu(nullptr, u"mnuMsg"_s, u"メッセージ(&M)"_s);
    QMenu *mnuMove = subMenu(mnuMsg, u"mnuMove"_s, u"移動(&M)"_s);
    menuItem(mnuMove, u"mnuMovePrevMsg"_s, u"前へ(&P)"_s);
    menuItem(mnuMove, u"mnuMoveNextMsg"_s, u"次へ(&N)"_s);
    menuItem(mnuMove, u"mnuMovePrevNoRead"_s, u"前の未読へ(&B)"_s);
    menuItem(mnuMove, u"mnuMoveNextNoRead"_s, u"次の未読へ(&F)"_s);
    menuItem(mnuMove, u"mnuMovePrevArchive"_s, u"履歴：前へ(&<)"_s);
    menuItem(mnuMove, u"mnuMoveNextArchive"_s, u"履歴：次へ(&>)"_s);
    menuItem(mnuMove, u"mnuMoveInReplyTo"_s, u"レス元へ(&R)"_s);
    mnuMsg->addSeparator();
    menuItem(mnuMsg, u"mnuMsgFind"_s, u"検索(&F)"_s);
    menuItem(mnuMsg, u"mnuMsgFindPrev"_s, u"前を検索(&P)"_s);
    menuItem(mnuMsg, u"mnuMsgFindNext"_s, u"次を検索(&N)"_s);
    menuItem(mnuMsg, u"mnuMsgAllFind"_s, u"全掲示板から検索(&A)..."_s);
    menuItem(mnuMsg, u"mnuMsgQuery"_s, u"クエリー検索(&Q)..."_s);
    menuItem(mnuMsg, u"mnuMsgRelate"_s, u"関連検索(&K)"_s);
    mnuMsg->addSeparator();
    menuItem(mnuMsg, u"mnuMsgMail"_s, u"メールを送る(&S)..."_s);
    menuItem(mnuMsg, u"mnuMsgHomePage"_s, u"ホームページへ行く(&H)..."_s);
    mnuMsg->addSeparator();
    mnuMsgMark = subMenu(mnuMsg, u"mnuMsgMark"_s, u"マーク(&L)"_s);
    menuItem(mnuMsg, u"mnuMsgNoRead"_s, u"未読にする(&E)"_s);
    menuItem(mnuMsg, u"mnuMsgRead"_s, u"既読にする(&U)"_s);
    menuItem(mnuMsg, u"mnuMsgDelete"_s, u"削除(&D)"_s);
    mnuMsg->addSeparator();
    menuItem(mnuMsg, u"mnuMsgAllSelect"_s, u"全て選択(&A)"_s);
    menuItem(mnuMsg, u"mnuMsgReverseSelect"_s, u"選択範囲反転(&V)"_s);

    QMenu *mnuTool = subMenu(nullptr, u"mnuTool"_s, u"ツール(&T)"_s);
    menuItem(mnuTool, u"mnuToolCompDB"_s, u"最適化(&C)"_s);
    menuItem(mnuTool, u"mnuToolTimer"_s, u"タイマー(&T)"_s);
    menuItem(mnuTool, u"mnuToolOption"_s, u"オプション(&O)..."_s);

    QMenu *mnuHelp = subMenu(nullptr, u"mnuHelp"_s, u"ヘルプ(&H)"_s);
    menuItem(mnuHelp, u"mnuHelpHelp"_s, u"ヘルプ(&H)..."_s);
    menuItem(mnuHelp, u"mnuHelpKestrel"_s, u"Kestrelへ(&V)..."_s);
    menuItem(mnuHelp, u"mnuHelpVerinfo"_s, u"バージョン情報(&A)..."_s);

    // The pop-up menus are never in the menu bar; each command area fills its own.
    for (const auto &[name, caption] : {std::pair{u"mnuPopup"_s, u"ポップアップ"_s},
                                        std::pair{u"mnuText"_s, u"テキスト"_s}}) {
        auto *popup = new QMenu(caption, this);
        popup->setObjectName(name);
        popup->menuAction()->setObjectName(name);
    }
}

void frmView::createToolbar()
{
    m_toolbar = addToolBar(u"Toolbar"_s);
    m_toolbar->setObjectName(u"Toolbar"_s);
    m_toolbar->setMovable(false);
    m_toolbar->setIconSize(QSize(20, 20));
    const QList<std::pair<QString, QString>> buttons{
        {u"BBSList"_s, u"掲示板一覧"_s}, {u"Back"_s, u"前の100件(F7)"_s}, {u"Forword"_s, u"次の100件(F8)"_s}, {},
        {u"Load"_s, u"受信(F5)"_s}, {u"VisitLoad"_s, u"巡回受信(Shift+F5)"_s}, {},
        {u"New"_s, u"新規投稿(Ctrl+N)"_s}, {u"Reply"_s, u"返信(Ctrl+R)"_s}, {},
        {u"FindText"_s, u"検索文字"_s}, {u"FindNext"_s, u"次を検索(F3)"_s}, {u"FindPrev"_s, u"前を検索(Shift+F3)"_s}, {},
        {u"Thread"_s, u"スレッド表示(Ctrl+T)"_s}, {u"SQL"_s, u"クエリー検索(Ctrl+Q)"_s}, {},
        {u"Timer"_s, u"タイマー"_s}, {u"Option"_s, u"オプション..."_s}};
    for (const auto &[key, toolTip] : buttons) {
        if (key.isEmpty()) {
            m_toolbar->addSeparator();
            continue;
        }
        QAction *button = nullptr;
        if (key == u"FindText"_s) {
            cmbFindText = new QComboBox(m_toolbar);
            cmbFindText->setObjectName(u"cmbFindText"_s);
            cmbFindText->setAccessibleName(u"検索文字"_s);
            cmbFindText->setToolTip(toolTip);
            cmbFindText->setMinimumWidth(180);
            m_findHistory->setComboBox(cmbFindText);
            button = m_toolbar->addWidget(cmbFindText);
        } else {
            button = m_toolbar->addAction(image(key), toolTip);
        }
        button->setObjectName(u"Toolbar."_s + key);
        button->setToolTip(toolTip);
        if (QWidget *widget = m_toolbar->widgetForAction(button); widget && widget != cmbFindText) {
            widget->setObjectName(button->objectName());
            widget->setAccessibleName(toolTip);
        }
        m_buttons.insert(key, button);
    }
    m_dropDown = new QMenu(this);
    m_dropDown->setObjectName(u"Toolbar.BBSList.ButtonMenus"_s);
    m_boards.AttachMenu(m_dropDown, u"Toolbar.BBSList.ButtonMenus"_s, true, [this](int id) { SelectBoard(id); });
    if (auto *tool = qobject_cast<QToolButton *>(m_toolbar->widgetForAction(m_buttons.value(u"BBSList"_s)))) {
        tool->setMenu(m_dropDown);
        tool->setPopupMode(QToolButton::MenuButtonPopup);
    }
    // The button itself shows the latest page, or returns from the results list.
    connect(m_buttons.value(u"BBSList"_s), &QAction::triggered, this, [this] {
        if (m_lists.CurrentList() == ResultList)
            ChangeList(BoardList);
        else
            ShowView(LatestView);
    });
    connect(m_buttons.value(u"Back"_s), &QAction::triggered, this, [this] { ShowView(NewerView); });
    connect(m_buttons.value(u"Forword"_s), &QAction::triggered, this, [this] { ShowView(OlderView); });
    connect(m_buttons.value(u"Thread"_s), &QAction::triggered, m_menu.value(u"mnuBBSThread"_s), &QAction::trigger);
    connect(m_buttons.value(u"FindNext"_s), &QAction::triggered, m_menu.value(u"mnuMsgFindNext"_s), &QAction::trigger);
    connect(m_buttons.value(u"FindPrev"_s), &QAction::triggered, m_menu.value(u"mnuMsgFindPrev"_s), &QAction::trigger);
    connect(m_buttons.value(u"SQL"_s), &QAction::triggered, m_menu.value(u"mnuMsgQuery"_s), &QAction::trigger);
}

void frmView::createLists()
{
    const QStringList names{u"メッセージ一覧"_s, u"検索結果一覧"_s};
    for (int index : {0, 1}) {
        auto *view = new QTreeView(this);
        view->setObjectName(u"lsvMsgList(%1)"_s.arg(index));
        view->setAccessibleName(names.at(index));
        view->setRootIsDecorated(false);
        view->setUniformRowHeights(true);
        view->setAllColumnsShowFocus(true);
        view->setSelectionMode(QAbstractItemView::ExtendedSelection);
        view->setSelectionBehavior(QAbstractItemView::SelectRows);
        view->setEditTriggers(QAbstractItemView::NoEditTriggers);
        view->setItemDelegate(new PlainToolTipDelegate(view));
        view->header()->setSectionsClickable(true);
        view->header()->setStretchLastSection(true);
        m_views[size_t(index)] = view;
    }

    rtbView = new QPlainTextEdit(this);
    rtbView->setObjectName(u"rtbView"_s);
    rtbView->setAccessibleName(u"本文"_s);
    rtbView->setReadOnly(true);
    rtbView->setUndoRedoEnabled(false);
    rtbView->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
}

/** A status-bar panel. It has no accessible name, so screen readers read the text it shows. */
QLabel *frmView::addPanel(const QString &key, const QString &toolTip, int stretch)
{
    auto *panel = new QLabel(statusBar());
    panel->setObjectName(u"StatusBar."_s + key);
    panel->setTextFormat(Qt::PlainText);
    panel->setToolTip(toolTip);
    panel->setAccessibleDescription(toolTip);
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panel->setMinimumWidth(60);
    statusBar()->addWidget(panel, stretch);
    m_panels.insert(key, panel);
    return panel;
}

void frmView::createStatusBar()
{
    statusBar()->setObjectName(u"StatusBar"_s);
    statusBar()->setSizeGripEnabled(true);
    QLabel *mail = addPanel(u"Mail"_s, u"クリックするとメールを送ります。"_s, 2);
    QLabel *homePage = addPanel(u"HomePage"_s, u"クリックするとこのホームページへジャンプします。"_s, 3);
    addPanel(u"InReplyTo"_s, u"クリックするとレス元を表示します。"_s, 0);
    addPanel(u"Status"_s, QString(), 5);
    QLabel *noReadPoint = addPanel(u"NoReadPoint"_s, u"クリックすると未読位置を変更できます。"_s, 0);
    noReadPoint->setMinimumWidth(110);
    addPanel(u"Count"_s, u"未読 / 表示数"_s, 0)->setMinimumWidth(80);
    addPanel(u"Timer"_s, u"タイマーの残り時間"_s, 0);

    uclMailto = new uClickableLabel(mail);
    uclMailto->setObjectName(u"uclMailto"_s);
    uclMailto->setClickableMode(uClickableLabel::MailLink);
    uclHomepage = new uClickableLabel(homePage);
    uclHomepage->setObjectName(u"uclHomepage"_s);
    uclHomepage->setClickableMode(uClickableLabel::WebLink);
    uclMailto->setAccessibleName(u"メール"_s);
    uclHomepage->setAccessibleName(u"ホームページ"_s);
    for (uClickableLabel *label : {uclMailto, uclHomepage}) {
        // Addresses come from board data: shown as the characters they are. The inner label
        // keeps no name of its own, so the address is what a screen reader reads.
        label->Label()->setTextFormat(Qt::PlainText);
        label->setAccessibleDescription(label->parentWidget()->toolTip());
        label->hide();
        label->parentWidget()->installEventFilter(this);
    }
    uspnNoReadPoint = new uSpinButton(statusBar());
    uspnNoReadPoint->setObjectName(u"uspnNoReadPoint"_s);
    uspnNoReadPoint->setAccessibleName(u"未読位置"_s);
    uspnNoReadPoint->hide();
}

/** Lays @p label over @p panel: inset from its edges, vertically centred. */
void frmView::placeLabel(uClickableLabel *label, QLabel *panel)
{
    const int height = qMin(label->sizeHint().height(), panel->height());
    label->setGeometry(LabelInset, (panel->height() - height) / 2, qMax(0, panel->width() - 2 * LabelInset), height);
}

bool frmView::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Resize) {
        if (watched == sep && m_windowState)
            m_windowState->KeepListShare(*static_cast<QResizeEvent *>(event));
        else if (watched == m_panels.value(u"Mail"_s))
            placeLabel(uclMailto, m_panels.value(u"Mail"_s));
        else if (watched == m_panels.value(u"HomePage"_s))
            placeLabel(uclHomepage, m_panels.value(u"HomePage"_s));
    }
    return QMainWindow::eventFilter(watched, event);
}

void frmView::ChangeStatusBarStyle(int Style)
{
    const bool status = Style == 1;
    m_panels.value(u"Status"_s)->setVisible(status);
    m_panels.value(u"Mail"_s)->setVisible(!status);
    m_panels.value(u"HomePage"_s)->setVisible(!status);
    if (status) {
        uclMailto->hide();
        uclHomepage->hide();
    }
}

void frmView::ChangeMenuEnabled()
{
    for (const RunRule &rule : RunRules) {
        if (QAction *action = command(rule.name)) {
            const QVariant own = action->property(OwnEnabled);
            setCommandEnabled(action, !own.isValid() || own.toBool());
        }
    }
}

void frmView::UpdateBBSMenuCaption(int BBS_ID, int Delta)
{
    m_boards.UpdateBBSMenuCaption(BBS_ID, Delta);
}

void frmView::RefreshToolbarImages()
{
    QAction *button = m_buttons.value(u"BBSList"_s);
    if (m_lists.CurrentList() == ResultList)
        button->setIcon(image(u"Close"_s));
    else
        button->setIcon(m_boards.Icons().value(u'#' + QString::number(mdlOption::BBS_ID), image(u"BBSList"_s)));
}

/** Writes the shown board's row (name, address, order...); says so when the database refuses it. */
void frmView::storeCurrentBoard()
{
    if (m_current.ID() == 0 || m_current.SetProperty())
        return;
    const Database *db = database();
    prompter().critical(m_current.BBS_Name() + u"の設定をデータベースに保存できませんでした。\n"_s
                        + (db ? db->LastError().description : QString()));
}
