// The main window's load and unload: lists and board at start, the saved window state.
#include "viewer/frmView.h"

#include "app/CIniFile.h"
#include "app/Prompter.h"
#include "app/mdlApp.h"
#include "app/mdlOption.h"
#include "startup/mdlMain.h"
#include "viewer/ExportController.h"
#include "viewer/MessageCommands.h"
#include "viewer/WindowState.h"
#include "models/mdlRead.h"

#include <QCloseEvent>

using namespace Qt::StringLiterals;

bool frmView::Form_Load(const std::function<void()> &unloadSplash)
{
    setWindowTitle(mdlApp::GetAppTitle());
    m_cbbs.Initialize(database());
    m_query.Initialize(database());
    m_cbbs.SetTimeout(mdlOption::Timeout);
    m_lists.SetDatabase(database());
    m_windowState->LoadFindHistory(gIniFile.get());
    m_messageCommands->LoadMarkMenu();
    if (!database() || !m_boards.LoadBBSList(*database())) {
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
    if (gIniFile)
        m_windowState->Restore(*gIniFile);
    m_loaded = true;
    if (unloadSplash)
        unloadSplash();
    return true;
}

void frmView::closeEvent(QCloseEvent *event)
{
    if (IsRunning()) {
        // The run still uses the database: it stops at its next step, and the window unloads
        // and closes when it has ended. Until then the window stays open, so that the program
        // does not end under the run.
        m_runs->AbandonForClose();
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
        storeCurrentBoard();
        if (gIniFile) {
            m_windowState->SaveFindHistory(*gIniFile);
            m_windowState->Save(*gIniFile);
        }
    }
    m_runs->UnloadDialog();
    m_export->Cancel();
    // Nothing may reach the database once it is closed.
    mdlRead::StopReadTimer(m_lists);
    m_lists.SetDatabase(nullptr);
    m_cbbs.Initialize(nullptr);
    mdlMain::ShutdownApplication();
}
