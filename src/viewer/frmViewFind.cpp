// The main window's find and query commands: the find box and its direction, the find
// dialog, FindMessage, and the query window loop.
#include "viewer/frmView.h"

#include "app/CRegExp.h"
#include "app/Prompter.h"
#include "app/mdlApp.h"
#include "app/mdlOption.h"
#include "controls/CMRUCombo.h"
#include "db/JetSql.h"
#include "viewer/BodyRenderer.h"
#include "viewer/WindowDialogs.h"
#include "viewer/frmFind.h"

#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextCursor>
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
    WalkGuard() { qApp->installEventFilter(this); }
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

void frmView::connectFindCommands()
{
    QAction *find = m_menu.value(u"mnuMsgFind"_s);
    QAction *next = m_menu.value(u"mnuMsgFindNext"_s);
    QAction *prev = m_menu.value(u"mnuMsgFindPrev"_s);
    QAction *query = m_menu.value(u"mnuMsgQuery"_s);
    next->setShortcut(Qt::Key_F3);
    prev->setShortcut(Qt::SHIFT | Qt::Key_F3);
    query->setShortcut(Qt::CTRL | Qt::Key_Q);
    connect(find, &QAction::triggered, this, &frmView::showFindDialog);
    connect(next, &QAction::triggered, this, [this] { findCommand(true); });
    connect(prev, &QAction::triggered, this, [this] { findCommand(false); });
    connect(query, &QAction::triggered, this, [this] {
        QueryLoop(m_lastQuery.isEmpty() ? QueryTemplate(mdlOption::BBS_ID) : m_lastQuery);
    });
    connect(m_buttons.value(u"FindNext"_s), &QAction::triggered, next, &QAction::trigger);
    connect(m_buttons.value(u"FindPrev"_s), &QAction::triggered, prev, &QAction::trigger);
    connect(m_buttons.value(u"SQL"_s), &QAction::triggered, query, &QAction::trigger);

    QLineEdit *edit = cmbFindText->lineEdit();
    edit->installEventFilter(new FindBoxKeys(
        this, [this] { findCommand(m_findForward); }, [this] { m_findForward = true; }));
}

void frmView::showFindDialog()
{
    QString text = selectedText(rtbView);
    if (text.isEmpty())
        text = cmbFindText->currentText();
    if (!m_find)
        m_find = new frmFind(this);
    QStringList history;
    for (int i = 0; i < cmbFindText->count(); ++i)
        history.append(cmbFindText->itemText(i));
    m_find->ShowDialog(history, text, [this](const QString &FindText, bool Forward) { FindMessage(FindText, Forward); });
}

void frmView::findCommand(bool Forward)
{
    const QString text = cmbFindText->currentText();
    if (!text.isEmpty()) {
        FindMessage(text, Forward);
        return;
    }
    m_findForward = Forward;
    cmbFindText->setFocus();
}

void frmView::notFound()
{
    prompter().ask(Prompter::Icon::None, mdlApp::GetAppTitle(), u"検索文字は見つかりませんでした。"_s, {Prompter::Ok}, Prompter::Ok);
}

void frmView::selectInPane(qsizetype start, qsizetype length)
{
    QTextCursor cursor(rtbView->document());
    const int end = rtbView->document()->characterCount() - 1;
    cursor.setPosition(qMin<qsizetype>(start, end));
    cursor.setPosition(qMin<qsizetype>(start + length, end), QTextCursor::KeepAnchor);
    rtbView->setTextCursor(cursor);
    rtbView->setFocus();
}

void frmView::FindMessage(const QString &FindText, bool Forward)
{
    if (m_finding)
        return;
    m_findHistory->AddMRU(FindText, true);
    FitComboDropDown(cmbFindText);
    cmbFindText->setEditText(FindText);

    const int Index = m_lists.CurrentList();
    QTreeView *view = lsvMsgList(Index);
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
    const QTextCursor caret = rtbView->textCursor();
    const QString pane = rtbView->document()->toPlainText();
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
    if (!walkRows(list, Index, current, Forward, re))
        return;
    notFound();
}

/** Tests the rows after (before) @p from; true when none matched and the walk was not cancelled. */
bool frmView::walkRows(MessageListModel &list, int Index, int from, bool Forward, CRegExp &re)
{
    const int rows = list.rowCount();
    const int step = Forward ? 1 : -1;
    if (from < 0)
        from = Forward ? -1 : rows;
    std::unique_ptr<WalkGuard> guard;
    m_finding = true;
    int tested = 0;
    for (int row = from + step; row >= 0 && row < rows; row += step) {
        const QString &body = list.Message(row).Body;
        if (Forward ? re.Search(body) : re.SearchRev(body)) {
            m_finding = false;
            guard.reset();
            ShowMessage(Index, row, false);
            const qsizetype start = BodyRenderer::PanePosition(body, re.FirstIndex());
            selectInPane(start, BodyRenderer::PanePosition(body, re.FirstIndex() + re.Length()) - start);
            return false;
        }
        if (++tested % RowsPerTurn == 0) {
            if (!guard)
                guard = std::make_unique<WalkGuard>();
            QCoreApplication::processEvents();
            if (guard->cancelled) {
                m_finding = false;
                return false;
            }
        }
    }
    m_finding = false;
    return true;
}

QString frmView::QueryTemplate(int BBS_ID, const std::optional<QString> &BodyText)
{
    QString sql = u"SELECT *\n  FROM Message\n WHERE BBS_ID = "_s + QString::number(BBS_ID) + u"\n"_s;
    if (BodyText)
        sql += u"   AND Body Like '*"_s + JetSql::LikeLiteral(*BodyText) + u"*'\n"_s;
    return sql + u";"_s;
}

void frmView::QueryLoop(const QString &SQL)
{
    QString statement = SQL;
    for (;;) {
        Database *db = database();
        if (!db)
            return;
        statement = windowDialogs().ShowSQL(*db, statement, this);
        if (statement.isEmpty())
            return;
        if (ShowSQLResult(statement, 1)) {
            m_lastQuery = statement;
            return;
        }
    }
}
