#include "viewer/FindController.h"

#include "app/CRegExp.h"
#include "app/Prompter.h"
#include "app/mdlApp.h"
#include "app/mdlOption.h"
#include "controls/CMRUCombo.h"
#include "db/JetSql.h"
#include "models/MessageLists.h"
#include "viewer/BodyRenderer.h"
#include "viewer/WindowDialogs.h"
#include "viewer/frmFind.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTextCursor>
#include <QTimer>
#include <QTreeView>

using namespace Qt::StringLiterals;

namespace {

/** Rows tested between two turns of the event loop during a walk. */
constexpr int RowsPerTurn = 1024;

/** Enter in the find box runs the command of the find direction; every key resets it to forward. */
class FindBoxKeys : public QObject
{
public:
    FindBoxKeys(QObject *parent, std::function<void()> enter, std::function<void()> anyKey)
        : QObject(parent), m_enter(std::move(enter)), m_anyKey(std::move(anyKey))
    {
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::KeyPress)
            return QObject::eventFilter(watched, event);
        const int key = static_cast<QKeyEvent *>(event)->key();
        const bool enter = key == Qt::Key_Return || key == Qt::Key_Enter;
        if (enter)
            m_enter();
        m_anyKey();
        return enter;
    }

private:
    std::function<void()> m_enter;
    std::function<void()> m_anyKey;
};

/**
 * While a walk lets the event loop run, input goes nowhere (the list must not change under
 * it) except Escape, which cancels the walk.
 */
class WalkGuard : public QObject
{
public:
    explicit WalkGuard(QObject *parent) : QObject(parent) { qApp->installEventFilter(this); }
    ~WalkGuard() override { qApp->removeEventFilter(this); }
    bool cancelled = false;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        switch (event->type()) {
        case QEvent::KeyPress:
            if (static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape)
                cancelled = true;
            return true;
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::Shortcut:
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::Wheel:
        case QEvent::Close:
            return true;
        default:
            return QObject::eventFilter(watched, event);
        }
    }
};

/** The pane's selection as plain text, line breaks as "\n". */
QString selectedText(const QPlainTextEdit *pane)
{
    QString text = pane->textCursor().selectedText();
    text.replace(QChar::ParagraphSeparator, u'\n');
    return text;
}

} // namespace

/**
 * @short A walk of FindMessage over the rows of a list, RowsPerTurn rows per turn of the event
 * loop. Rows may come in between (a load lists new messages): the walk goes on after the row it
 * tested last, wherever that row is now.
 */
class FindController::FindWalk : public QObject
{
public:
    FindWalk(QObject *parent, ListIndex index, int from, bool forward, CRegExp re)
        : QObject(parent), Index(index), Forward(forward), Re(std::move(re)), m_from(from)
    {
    }

    const ListIndex Index;
    const bool Forward;
    CRegExp Re;

    /**
     * The row to test first in this turn: -1 or the row count when the list is through;
     * nullopt when the row tested last has left the list, so that the walk cannot tell where it was.
     */
    std::optional<int> nextRow(const MessageListModel &list) const
    {
        int from = m_from;
        if (!m_lastKey.isEmpty()) {
            from = list.RowOfKey(m_lastKey);
            if (from < 0)
                return std::nullopt;
        } else if (from < 0) {
            from = Forward ? -1 : list.rowCount();
        }
        return from + (Forward ? 1 : -1);
    }
    void tested(const MessageListModel &list, int row) { m_lastKey = list.Key(row); }

    /** Before the first turn of the event loop: from now on input waits and Escape cancels. */
    void guardInput()
    {
        if (!m_guard)
            m_guard = new WalkGuard(this);
    }
    bool cancelled() const { return m_guard && m_guard->cancelled; }

private:
    int m_from;        // the selected row when the walk began (-1: none)
    QString m_lastKey; // the row tested last
    WalkGuard *m_guard = nullptr;
};

FindController::FindController(MessageLists &lists, CMRUCombo &findHistory, std::function<Database *()> database,
                               const QHash<QString, QAction *> &menuItems, Widgets widgets, Commands commands)
    : m_lists(lists),
      m_findHistory(findHistory),
      m_database(std::move(database)),
      m_widgets(widgets),
      m_commands(std::move(commands))
{
    QAction *find = menuItems.value(u"mnuMsgFind"_s);
    QAction *next = menuItems.value(u"mnuMsgFindNext"_s);
    QAction *prev = menuItems.value(u"mnuMsgFindPrev"_s);
    QAction *query = menuItems.value(u"mnuMsgQuery"_s);
    m_searchAll = menuItems.value(u"mnuMsgAllFind"_s);
    find->setShortcut(Qt::CTRL | Qt::Key_F);
    m_searchAll->setShortcut(Qt::CTRL | Qt::SHIFT | Qt::Key_F);
    next->setShortcut(Qt::Key_F3);
    prev->setShortcut(Qt::SHIFT | Qt::Key_F3);
    query->setShortcut(Qt::CTRL | Qt::Key_Q);
    connect(find, &QAction::triggered, this, &FindController::showFindDialog);
    connect(next, &QAction::triggered, this, [this] { findCommand(true); });
    connect(prev, &QAction::triggered, this, [this] { findCommand(false); });
    connect(m_searchAll, &QAction::triggered, this, &FindController::searchAllBoards);
    connect(query, &QAction::triggered, this, [this] {
        QueryLoop(m_lastQuery.isEmpty() ? QueryTemplate(mdlOption::BBS_ID) : m_lastQuery);
    });

    // The keys of an editable combo box go to the box, which holds the focus and passes them to
    // its line edit's event() directly, past any filter there: the filter watches the box.
    m_widgets.findText->installEventFilter(new FindBoxKeys(
        this, [this] { findCommand(m_findForward); }, [this] { m_findForward = true; }));
    QLineEdit *edit = m_widgets.findText->lineEdit();
    edit->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(edit, &QWidget::customContextMenuRequested, this, &FindController::showFindBoxMenu);
}

/** The find box's pop-up: the editing commands, then the search of every board. */
void FindController::showFindBoxMenu(const QPoint &pos)
{
    QLineEdit *edit = m_widgets.findText->lineEdit();
    QMenu *menu = edit->createStandardContextMenu();
    menu->setObjectName(u"cmbFindText.Popup"_s);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->addSeparator();
    menu->addAction(m_searchAll);
    menu->popup(edit->mapToGlobal(pos));
}

/**
 * Lists what every board holds of the find box's text; the box takes it into its history.
 * Without a text the box gets the focus for one, as the find commands do.
 */
void FindController::searchAllBoards()
{
    const QString text = m_widgets.findText->currentText();
    if (text.isEmpty()) {
        m_widgets.findText->setFocus();
        return;
    }
    m_findHistory.AddMRU(text, true);
    FitComboDropDown(m_widgets.findText);
    m_widgets.findText->setEditText(text);
    if (m_commands.searchAllBoards(text) && m_lists.lsvMsgList(ResultList).rowCount() == 0)
        notFound();
}

void FindController::showFindDialog()
{
    QString text = selectedText(m_widgets.body);
    if (text.isEmpty())
        text = m_widgets.findText->currentText();
    if (!m_find)
        m_find = new frmFind(m_widgets.window);
    QStringList history;
    for (int i = 0; i < m_widgets.findText->count(); ++i)
        history.append(m_widgets.findText->itemText(i));
    m_find->ShowDialog(history, text, [this](const QString &FindText, bool Forward) { FindMessage(FindText, Forward); });
}

void FindController::findCommand(bool Forward)
{
    const QString text = m_widgets.findText->currentText();
    if (!text.isEmpty()) {
        FindMessage(text, Forward);
        return;
    }
    m_findForward = Forward;
    m_widgets.findText->setFocus();
}

void FindController::notFound()
{
    prompter().ask(Prompter::Icon::None, mdlApp::GetAppTitle(), u"検索文字は見つかりませんでした。"_s, {Prompter::Ok}, Prompter::Ok);
}

void FindController::selectInPane(qsizetype start, qsizetype length)
{
    QTextCursor cursor(m_widgets.body->document());
    const int end = m_widgets.body->document()->characterCount() - 1;
    cursor.setPosition(qMin<qsizetype>(start, end));
    cursor.setPosition(qMin<qsizetype>(start + length, end), QTextCursor::KeepAnchor);
    m_widgets.body->setTextCursor(cursor);
    m_widgets.body->setFocus();
}

void FindController::FindMessage(const QString &FindText, bool Forward)
{
    if (m_walk)
        return;
    m_findHistory.AddMRU(FindText, true);
    FitComboDropDown(m_widgets.findText);
    m_widgets.findText->setEditText(FindText);

    const ListIndex Index = m_lists.CurrentList();
    QTreeView *view = m_widgets.lists.at(Index);
    MessageListModel &list = m_lists.lsvMsgList(Index);
    if (view->model() != &list || list.rowCount() == 0) {
        notFound();
        return;
    }
    const int current = view->selectionModel()->currentIndex().isValid() ? view->selectionModel()->currentIndex().row() : -1;
    for (const QModelIndex &selected : view->selectionModel()->selectedRows()) {
        if (selected.row() != current)
            view->selectionModel()->select(selected, QItemSelectionModel::Deselect | QItemSelectionModel::Rows);
    }

    CRegExp re;
    re.setRegExpMode(mdlOption::UseRegExp);
    re.setIgnoreCase(mdlOption::IgnoreCase);
    re.setPattern(FindText);

    // The shown message first, from the caret.
    const QTextCursor caret = m_widgets.body->textCursor();
    const QString pane = m_widgets.body->document()->toPlainText();
    if (Forward) {
        const qsizetype from = caret.selectionEnd();
        if (re.Search(pane.mid(from))) {
            selectInPane(from + re.FirstIndex(), re.Length());
            return;
        }
    } else if (re.SearchRev(pane.left(caret.selectionStart()))) {
        selectInPane(re.FirstIndex(), re.Length());
        return;
    }
    m_walk = new FindWalk(this, Index, current, Forward, std::move(re));
    walkRows();
}

/**
 * Tests the next RowsPerTurn rows of the walk; the first match is shown and selected, the end of
 * the list says not found. Otherwise the walk goes on in a queued continuation.
 */
void FindController::walkRows()
{
    FindWalk &walk = *m_walk;
    const ListIndex index = walk.Index;
    const MessageListModel &list = m_lists.lsvMsgList(index);
    const std::optional<int> next = walk.nextRow(list);
    if (!next) {
        endWalk();
        return;
    }
    const int step = walk.Forward ? 1 : -1;
    int row = *next;
    for (int tested = 0; row >= 0 && row < list.rowCount() && tested < RowsPerTurn; row += step, ++tested) {
        const QString &body = list.Message(row).Body;
        if (walk.Forward ? walk.Re.Search(body) : walk.Re.SearchRev(body)) {
            const qsizetype start = BodyRenderer::PanePosition(body, walk.Re.FirstIndex());
            const qsizetype end = BodyRenderer::PanePosition(body, walk.Re.FirstIndex() + walk.Re.Length());
            endWalk();
            m_commands.showMessage(index, row);
            selectInPane(start, end - start);
            return;
        }
    }
    if (row < 0 || row >= list.rowCount()) {
        endWalk();
        notFound();
        return;
    }
    walk.tested(list, row - step);
    walk.guardInput();
    QTimer::singleShot(0, m_walk, [this] {
        if (m_walk->cancelled())
            endWalk();
        else
            walkRows();
    });
}

void FindController::endWalk()
{
    std::exchange(m_walk, nullptr)->deleteLater();
}

QString FindController::QueryTemplate(int BBS_ID, const std::optional<QString> &BodyText)
{
    QString sql = u"SELECT *\n  FROM Message\n WHERE BBS_ID = "_s + QString::number(BBS_ID) + u"\n"_s;
    if (BodyText)
        sql += u"   AND Body Like '*"_s + JetSql::LikeLiteral(*BodyText) + u"*'\n"_s;
    return sql + u";"_s;
}

void FindController::QueryLoop(const QString &SQL)
{
    QString statement = SQL;
    for (;;) {
        Database *db = m_database();
        if (!db)
            return;
        statement = windowDialogs().ShowSQL(*db, statement, m_widgets.window);
        if (statement.isEmpty())
            return;
        if (m_commands.showSQLResult(statement, ResultList)) {
            m_lastQuery = statement;
            return;
        }
    }
}
