#include "viewer/SettingsController.h"

#include "app/Prompter.h"
#include "db/CBBSProperty.h"
#include "db/Database.h"
#include "settings_ui/frmProperty.h"
#include "startup/mdlMain.h"

using namespace Qt::StringLiterals;

SettingsController::SettingsController(QWidget &window, CBBSProperty &current, std::function<void()> refresh)
    : m_window(window), m_current(current), m_refresh(std::move(refresh))
{
}

void SettingsController::ShowBoardProperty()
{
    if (!gDB || m_current.ID() == 0)
        return;
    if (!frmProperty::ShowProperty(m_current, &m_window, m_propertyTabIndex))
        return;
    if (!m_current.SetProperty()) {
        prompter().critical(u"掲示板の名前やURLなどをデータベースに保存できませんでした。もう一度プロパティで設定してください。\n"_s
                            + gDB->LastError().description);
        m_current.GetProperty(m_current.ID(), *gDB);
    }
    m_refresh();
}

void SettingsController::ShowOptions()
{
    if (!gDB)
        return;
    if (!frmProperty::ShowOption(m_current, &m_window, m_optionTabIndex))
        return;
    m_current.GetProperty(m_current.ID(), *gDB);
    m_refresh();
}
