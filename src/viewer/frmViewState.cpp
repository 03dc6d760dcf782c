// The main window's load and unload: lists and board at start, the saved window state.
#include "viewer/frmView.h"

#include "app/CIniFile.h"
#include "app/Prompter.h"
#include "app/mdlApp.h"
#include "app/mdlOption.h"
#include "controls/CMRUCombo.h"
#include "controls/uSeparator.h"
#include "startup/mdlMain.h"
#include "viewer/frmLoadDlg.h"
#include "models/mdlRead.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QRegularExpression>
#include <QScreen>
#include <QTreeView>

using namespace Qt::StringLiterals;

namespace {

constexpr int TwipsPerPixel = uSeparator::TwipsPerPixel;
constexpr int ListItemCount = 11;

/** @p key of the current section as a number; nullopt when it is missing or no number. */
std::optional<double> number(const CIniFile &ini, const QString &key)
{
    const QVariant value = ini.InitData(key, CIniFile::IniSingle, QVariant());
    return value.isValid() ? std::optional<double>(value.toDouble()) : std::nullopt;
}

int pixels(double twips)
{
    return int(std::lround(twips / TwipsPerPixel));
}

} // namespace

bool frmView::Form_Load(const std::function<void()> &unloadSplash)
{
    setWindowTitle(mdlApp::GetAppTitle());
    m_cbbs.Initialize(gDB.get());
    m_cbbs.SetTimeout(mdlOption::Timeout);
    m_lists.SetDatabase(gDB.get());
    loadFindHistory();
    loadMarkMenu();
    if (!gDB || !m_boards.LoadBBSList(*gDB)) {
        prompter().critical(u"表示すべき掲示板が見当たりませんので終わっちゃいます。\n"
                            "log.mdbのBBS.ListOrderあたりをチェックしてね♪\n"
                            "全部-1だと表示されないぞ。"_s);
        if (unloadSplash)
            unloadSplash();
        close();
        return false;
    }
    const QList<BoardMenus::Entry> &entries = m_boards.Entries();
    int board = mdlOption::BBS_ID;
    if (m_boards.IndexOfKey(BoardMenus::KeyOf(board)) < 0) {
        const auto first = std::find_if(entries.cbegin(), entries.cend(), [](const auto &e) { return !e.IsSeparator; });
        board = first->BBS_ID;
    }
    SelectBoard(board);
    ChangeStatusBarStyle(0);
    applyPosition();
    m_loaded = true;
    if (unloadSplash)
        unloadSplash();
    return true;
}

/** Fills the find history from section "FindText", one entry per key in file order. */
void frmView::loadFindHistory()
{
    m_findHistory->setComboBox(cmbFindText);
    m_findHistory->setMax(10);
    if (!gIniFile)
        return;
    gIniFile->setNowSection(u"FindText"_s);
    for (const QString &key : gIniFile->Keys())
        m_findHistory->AddMRU(gIniFile->Data(key));
    cmbFindText->setEditText(QString());
    // The drop-down shows every entry, as wide as the longest one.
    cmbFindText->setMaxVisibleItems(qMax(1, cmbFindText->count()));
    cmbFindText->view()->setMinimumWidth(cmbFindText->view()->sizeHintForColumn(0));
}

void frmView::applyPosition()
{
    if (!gIniFile)
        return;
    CIniFile &ini = *gIniFile;
    ini.setNowSection(u"Position"_s);
    QRect rect = geometry();
    if (const auto width = number(ini, u"Width"_s))
        rect.setWidth(pixels(*width));
    if (const auto height = number(ini, u"Height"_s))
        rect.setHeight(pixels(*height));
    const auto left = number(ini, u"Left"_s);
    const auto top = number(ini, u"Top"_s);
    if (left && top) {
        rect.moveTo(pixels(*left), pixels(*top));
    } else if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->geometry();
        rect.moveTo(area.x() + (area.width() - rect.width()) / 2, area.y() + (area.height() - rect.height()) / 2);
    }
    setGeometry(rect);
    const QString state = ini.Data(u"WindowState"_s);
    if (QRegularExpression(u"^[012]$"_s).match(state).hasMatch()) {
        const int value = state.toInt();
        setWindowState(value == 1 ? Qt::WindowMinimized : value == 2 ? Qt::WindowMaximized : Qt::WindowNoState);
    }
    const QVariant separator = ini.InitData(u"Separator"_s, CIniFile::IniLong, QVariant());
    if (separator.isValid())
        sep->setOffset(pixels(separator.toDouble()));
    QHeaderView *header = lsvMsgList(0)->header();
    for (int n = 1; n <= ListItemCount; ++n) {
        if (const auto width = number(ini, u"ListItem"_s + QString::number(n)))
            header->resizeSection(n - 1, pixels(*width));
    }
}

void frmView::closeEvent(QCloseEvent *event)
{
    if (IsRunning()) {
        // The run still uses the database: it stops at its next step, and the window unloads
        // and closes when it has ended. Until then the window stays open, so that the program
        // does not end under the run.
        m_closing = true;
        abandonRun();
        event->ignore();
        return;
    }
    unload();
    QMainWindow::closeEvent(event);
}

void frmView::unload()
{
    if (m_unloaded)
        return;
    m_unloaded = true;
    if (m_loaded) {
        if (m_current.ID() != 0)
            m_current.SetProperty();
        saveFindHistory();
        savePosition();
    }
    if (m_loadDlg)
        m_loadDlg->Unload();
    // Nothing may reach the database once it is closed.
    mdlRead::StopReadTimer(m_lists);
    m_lists.SetDatabase(nullptr);
    m_cbbs.Initialize(nullptr);
    mdlMain::ShutdownApplication();
}

void frmView::saveFindHistory()
{
    if (!gIniFile)
        return;
    gIniFile->setNowSection(u"FindText"_s);
    gIniFile->Clear();
    const QStringList &entries = m_findHistory->MRUList();
    for (int i = 0; i < entries.size(); ++i)
        gIniFile->setData(QString::number(i + 1), entries.at(i));
    gIniFile->Save(u"FindText"_s);
}

void frmView::savePosition()
{
    if (!gIniFile)
        return;
    CIniFile &ini = *gIniFile;
    ini.setNowSection(u"Position"_s);
    // A minimised window comes back as a normal one.
    ini.setData(u"WindowState"_s, isMaximized() ? u"2"_s : u"0"_s);
    const QRect rect = isMaximized() || isMinimized() ? normalGeometry() : geometry();
    ini.setData(u"Left"_s, QString::number(rect.x() * TwipsPerPixel));
    ini.setData(u"Top"_s, QString::number(rect.y() * TwipsPerPixel));
    ini.setData(u"Width"_s, QString::number(rect.width() * TwipsPerPixel));
    ini.setData(u"Height"_s, QString::number(rect.height() * TwipsPerPixel));
    ini.setData(u"Separator"_s, QString::number(sep->Offset() * TwipsPerPixel));
    const QHeaderView *header = lsvMsgList(0)->header();
    for (int n = 1; n <= ListItemCount; ++n)
        ini.setData(u"ListItem"_s + QString::number(n), QString::number(header->sectionSize(n - 1) * TwipsPerPixel));
    ini.Save(u"Position"_s);
}
