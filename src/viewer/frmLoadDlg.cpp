#include "viewer/frmLoadDlg.h"

#include "app/CIniFile.h"
#include "app/Prompter.h"
#include "app/mdlApp.h"
#include "app/mdlOption.h"
#include "controls/uSeparator.h"
#include "db/CBBSProperty.h"
#include "startup/mdlMain.h"
#include "transfer/LoadRun.h"
#include "viewer/BoardView.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTabWidget>
#include <QVBoxLayout>
#include <cmath>
#include <optional>

using namespace Qt::StringLiterals;

namespace {

const QString PositionSection = u"LoadDialogPosition"_s;
constexpr int TwipsPerPixel = uSeparator::TwipsPerPixel;
constexpr int StatusLines = 4;

std::optional<int> savedPixels(const CIniFile &ini, const QString &key)
{
    const QVariant value = ini.InitData(key, CIniFile::IniSingle, QVariant());
    if (!value.isValid())
        return std::nullopt;
    return int(std::lround(value.toDouble() / TwipsPerPixel));
}

/** The status lines and the log change on screen at most this often while a run goes on. */
constexpr int ShowInfoMs = 100;
/** How long the run waits for a board's page after the board has ended, before it stops the page. */
constexpr int PageWaitMs = 30000;

} // namespace

frmLoadDlg::frmLoadDlg(QWidget *parent)
    : QDialog(parent),
      lblInfo(new QLabel(this)),
      prgPages(new QProgressBar(this)),
      cmdOK(new QPushButton(u"OK"_s, this)),
      tabBBS(new QTabWidget(this)),
      txtLog(new QPlainTextEdit(this))
{
    setObjectName(u"frmLoadDlg"_s);
    setAccessibleName(u"受信の進行状況"_s);
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);
    resize(600, 440);
    m_showInfo = new QTimer(this);
    m_showInfo->setSingleShot(true);
    m_showInfo->setInterval(ShowInfoMs);
    connect(m_showInfo, &QTimer::timeout, this, &frmLoadDlg::showInfo);
    m_pageWait = new QTimer(this);
    m_pageWait->setSingleShot(true);
    m_pageWait->setInterval(PageWaitMs);
    connect(m_pageWait, &QTimer::timeout, this, &frmLoadDlg::stopWaiting);

    lblInfo->setObjectName(u"lblInfo"_s);
    // No accessible names on the status lines and the button: screen readers read what they show.
    lblInfo->setTextFormat(Qt::PlainText);
    lblInfo->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // At least four lines high, so a new text seldom moves the controls below; a line too long
    // for the width wraps, and the area grows to show all of it. The height is taken from
    // Japanese lines: their glyphs may come from a taller fallback font.
    lblInfo->setWordWrap(true);
    lblInfo->setText(QStringList(StatusLines, u"受信中"_s).join(u'\n'));
    lblInfo->setMinimumHeight(lblInfo->sizeHint().height());
    lblInfo->clear();
    QSizePolicy infoPolicy(QSizePolicy::Ignored, QSizePolicy::Minimum);
    infoPolicy.setHeightForWidth(true);
    lblInfo->setSizePolicy(infoPolicy);
    prgPages->setObjectName(u"prgPages"_s);
    prgPages->setAccessibleName(u"ページ"_s);
    prgPages->setFormat(u"%v / %m ページ"_s);
    prgPages->hide(); // a load shows it (an import has no pages)
    cmdOK->setObjectName(u"cmdOK"_s);
    cmdOK->setAutoDefault(false);
    tabBBS->setObjectName(u"tabBBS"_s);
    tabBBS->setAccessibleName(u"掲示板"_s);
    txtLog->setObjectName(u"LOG"_s);
    txtLog->setAccessibleName(u"ログ"_s);
    txtLog->setReadOnly(true);
    txtLog->setLineWrapMode(QPlainTextEdit::NoWrap);
    tabBBS->addTab(txtLog, u"ログ"_s);

    auto *top = new QHBoxLayout;
    top->addWidget(lblInfo, 1);
    top->addWidget(cmdOK, 0, Qt::AlignTop);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(prgPages);
    layout->addWidget(tabBBS, 1);

    connect(cmdOK, &QPushButton::clicked, this, &QWidget::close);
}

frmLoadDlg::~frmLoadDlg() = default;

void frmLoadDlg::ShowDialog(const QString &Caption, QWidget *Owner, bool Visible)
{
    m_caption = Caption;
    setWindowTitle(Caption + u"中... - "_s + mdlApp::GetAppTitle());
    tabBBS->setTabText(tabBBS->indexOf(txtLog), Caption + u"ログ"_s);
    m_isLoad = true;
    restorePosition(Owner);
    if (Visible)
        show();
    setButtonMode(1);
}

void frmLoadDlg::UpdateInfo(const QString &Message, int row, bool flgAddLog)
{
    const int line = row > 0 ? row : std::max<int>(1, int(m_lines.size()));
    while (m_lines.size() < line)
        m_lines.append(QString());
    m_lines[line - 1] = Message;
    if (flgAddLog && !Message.isEmpty())
        appendLog(Message);
    if (!m_showInfo->isActive())
        m_showInfo->start();
}

void frmLoadDlg::appendLog(const QString &line)
{
    m_log += line + u"\r\n"_s;
    m_unshownLog.append(line);
    if (!m_showInfo->isActive())
        m_showInfo->start();
}

/**
 * Puts the status lines and the new log lines on screen. A run sends several texts per page;
 * drawing each of them would cost the run more than it shows the user.
 */
void frmLoadDlg::showInfo()
{
    m_showInfo->stop();
    lblInfo->setText(m_lines.join(u'\n'));
    if (!m_unshownLog.isEmpty())
        txtLog->appendPlainText(m_unshownLog.join(u'\n'));
    m_unshownLog.clear();
}

void frmLoadDlg::InitNewBBS(const CBBSProperty &Board, bool HasNext)
{
    m_isNextBBS = HasNext;
    if (Board.ID() != 0) {
        const QString key = u'#' + mdlApp::ZeroPadded(Board.ID(), 3);
        BoardView *view = m_views.value(key);
        if (!view) {
            view = new BoardView(tabBBS);
            view->setObjectName(key);
            view->setAccessibleName(Board.BBS_Name());
            m_views.insert(key, view);
            // A tab caption reads "&" as an access key: doubled, it shows itself.
            const int tab = tabBBS->addTab(view, QString(Board.ShortName()).replace(u'&', u"&&"_s));
            tabBBS->setTabToolTip(tab, Board.BBS_Name());
            connect(view, &BoardView::CacheMessage, this, [this, key](const QString &text) { cacheMessage(key, text); });
            connect(view, &BoardView::Settled, this, [this, key] { settle(key); });
        }
        tabBBS->setCurrentWidget(view);
        view->ShowBoard(Board);
    }
    m_pagesRequested = 0;
    prgPages->setRange(0, 0); // busy until the load says how many pages it asks for
    prgPages->show();
    if (cmdOK->isVisible() && isActiveWindow())
        cmdOK->setFocus();
    UpdateInfo(LoadRun::StartText(Board), 1, true);
    UpdateInfo(QString(), 3, true);
    UpdateInfo(QString(), 4); // the cache line of the board before
}

/**
 * A board's cache line shows at once; in the log it waits for the board's end, so that it
 * follows the board's own lines (a late line after a stopped page goes in as it comes).
 */
void frmLoadDlg::cacheMessage(const QString &key, const QString &text)
{
    const bool ended = m_endedBoards.contains(key) && m_waitingBoard != key;
    UpdateInfo(text, 4, ended);
    if (!ended)
        m_cacheLines.insert(key, text);
}

void frmLoadDlg::ShowPage(int Page, int Pages)
{
    m_pagesRequested = Page;
    prgPages->setRange(0, std::max(Pages, 0));
    prgPages->setValue(Page);
}

/**
 * The board's load has ended: the bar stops. A whole load got every page there was; any other
 * got those before the last one requested.
 */
void frmLoadDlg::endPages(bool whole)
{
    const int requested = std::max(m_pagesRequested, 1);
    const int pages = whole || prgPages->maximum() == 0 ? requested : prgPages->maximum();
    prgPages->setRange(0, pages);
    prgPages->setValue(whole ? pages : requested - 1);
}

bool frmLoadDlg::EndBBS(const LoadRun::Outcome &Outcome)
{
    UpdateInfo(Outcome.Text, 3, true);
    const QString key = u'#' + mdlApp::ZeroPadded(Outcome.BBS_ID, 3);
    BoardView *view = m_views.value(key);
    if (!view)
        return true; // the board never started
    endPages(Outcome.kind == LoadRun::Outcome::Received || Outcome.kind == LoadRun::Outcome::NothingNew);
    if (Outcome.kind == LoadRun::Outcome::Cancelled)
        view->Stop(); // the user stopped the board: its page need not come
    m_endedBoards.insert(key);
    if (Outcome.kind == LoadRun::Outcome::Failed) {
        const int tab = tabBBS->indexOf(view);
        tabBBS->setTabIcon(tab, style()->standardIcon(QStyle::SP_MessageBoxWarning));
        tabBBS->setTabToolTip(tab, view->accessibleName() + u'\n' + Outcome.Text);
    }
    if (view->IsBusy()) {
        m_waitingBoard = key;
        m_pageWait->start();
        return false;
    }
    settle(key);
    return true;
}

/** Board @p key's page is through: its cache line goes into the log, and a waiting run goes on. */
void frmLoadDlg::settle(const QString &key)
{
    if (!m_endedBoards.contains(key))
        return; // the board is still loading: its end logs the line
    if (const QString line = m_cacheLines.take(key); !line.isEmpty())
        appendLog(line);
    if (m_waitingBoard != key)
        return;
    m_waitingBoard.clear();
    m_pageWait->stop();
    emit BoardSettled();
}

/** The run waits no longer for a board's page: the page stops, which settles its view. */
void frmLoadDlg::stopWaiting()
{
    if (BoardView *view = m_views.value(m_waitingBoard))
        view->Stop();
}

void frmLoadDlg::LogFailures(const QList<LoadRun::Outcome> &Outcomes)
{
    if (Outcomes.size() < 2)
        return; // one board: its own outcome line says it
    for (const LoadRun::Outcome &outcome : Outcomes) {
        if (outcome.kind == LoadRun::Outcome::Failed)
            appendLog(outcome.Error.isEmpty() ? outcome.Text : outcome.Text + u' ' + outcome.Error);
    }
}

bool frmLoadDlg::ButtonEnabled() const
{
    return cmdOK->isEnabled();
}

void frmLoadDlg::setButtonEnabled(bool enabled)
{
    cmdOK->setEnabled(enabled);
}

void frmLoadDlg::setButtonMode(int mode)
{
    m_buttonMode = mode;
    cmdOK->setText(mode == 1 ? u"キャンセル"_s : u"OK"_s);
    if (mode == 0) {
        // The run is over: the first line no longer names the board or file it was working on,
        // and the last texts show at once.
        if (!m_lines.isEmpty())
            UpdateInfo(m_caption + u"を終了しました。"_s, 1);
        showInfo();
    }
}

void frmLoadDlg::Unload()
{
    m_unloading = true;
    close();
}

void frmLoadDlg::reject()
{
    // Escape closes like the button, with the same cancel and question.
    close();
}

void frmLoadDlg::closeEvent(QCloseEvent *event)
{
    if (!m_unloading && !confirmClose()) {
        event->ignore();
        return;
    }
    if (mdlOption::SaveLoadDialogPosition)
        savePosition();
    m_isLoad = false;
    event->accept();
}

/** During a run: cancels the transfer and asks whether the run goes on; false keeps the dialog. */
bool frmLoadDlg::confirmClose()
{
    if (m_buttonMode != 1)
        return true;
    const QPointer<frmLoadDlg> self(this);
    emit CancelRequested();
    if (self)
        stopWaiting();
    if (!self || !m_isNextBBS)
        return true;
    emit Asking(true);
    const bool goOn = prompter().question(u"継続して次の掲示板から受信しますか？"_s, {Prompter::Yes, Prompter::No},
                                          Prompter::Yes)
                      == Prompter::Yes;
    if (!self)
        return true;
    m_isNextBBS = goOn;
    emit Asking(false);
    return !goOn;
}

void frmLoadDlg::restorePosition(QWidget *Owner)
{
    CIniFile *ini = gIniFile.get();
    const auto saved = [ini](const QString &key) { return ini ? savedPixels(*ini, key) : std::nullopt; };
    if (ini)
        ini->setNowSection(PositionSection);
    QRect rect(QPoint(), size());
    rect.setWidth(std::max(1, saved(u"Width"_s).value_or(rect.width())));
    rect.setHeight(std::max(1, saved(u"Height"_s).value_or(rect.height())));
    const QScreen *screen = QGuiApplication::primaryScreen();
    rect.moveCenter(Owner ? Owner->frameGeometry().center() : screen ? screen->geometry().center() : QPoint());
    rect.moveLeft(saved(u"Left"_s).value_or(rect.left()));
    rect.moveTop(saved(u"Top"_s).value_or(rect.top()));
    setGeometry(rect);
}

void frmLoadDlg::savePosition()
{
    CIniFile *ini = gIniFile.get();
    if (!ini)
        return;
    const QRect rect = geometry();
    ini->setNowSection(PositionSection);
    ini->setData(u"Left"_s, QString::number(rect.x() * TwipsPerPixel));
    ini->setData(u"Top"_s, QString::number(rect.y() * TwipsPerPixel));
    ini->setData(u"Width"_s, QString::number(rect.width() * TwipsPerPixel));
    ini->setData(u"Height"_s, QString::number(rect.height() * TwipsPerPixel));
    ini->TrySave(PositionSection);
}
