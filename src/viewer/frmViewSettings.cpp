#include "viewer/frmView.h"

#include "app/Prompter.h"
#include "db/Database.h"
#include "settings_ui/frmProperty.h"

#include <QAction>

using namespace Qt::StringLiterals;

void frmView::connectSettingsCommands()
{
    connect(m_menu.value(u"mnuBBSProperty"_s), &QAction::triggered, this, &frmView::showBoardProperty);
    connect(m_menu.value(u"mnuToolOption"_s), &QAction::triggered, this, &frmView::showOptions);
    connect(m_buttons.value(u"Option"_s), &QAction::triggered, this, &frmView::showOptions);
}

/** The shown board's properties; after OK its row is written and the lists follow. */
void frmView::showBoardProperty()
{
    Database *db = database();
    if (!db || m_current.ID() == 0)
        return;
    if (!frmProperty::ShowProperty(*db, m_current, this, m_propertyTabIndex))
        return;
    if (!m_current.SetProperty()) {
        prompter().critical(u"掲示板の名前やURLなどをデータベースに保存できませんでした。もう一度プロパティで設定してください。\n"_s
                            + db->LastError().description);
        m_current.GetProperty(m_current.ID(), *db);
    }
    refreshAfterSettings();
}

/** The options; the dialog may have changed the shown board's row, so it is read again. */
void frmView::showOptions()
{
    Database *db = database();
    if (!db)
        return;
    if (!frmProperty::ShowOption(*db, m_current, this, m_optionTabIndex))
        return;
    m_current.GetProperty(m_current.ID(), *db);
    refreshAfterSettings();
}

void frmView::refreshAfterSettings()
{
    showCaption(); // the board may have a new name
    m_boards.LoadBBSList(*database());
    RefreshToolbarImages();
    UpdateTrayVisibility();
}
