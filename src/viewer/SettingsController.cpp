#include "viewer/SettingsController.h"

#include "app/Prompter.h"
#include "db/CBBSProperty.h"
#include "db/Database.h"
#include "settings_ui/frmProperty.h"

using namespace Qt::StringLiterals;

SettingsController::SettingsController(QWidget &window, std::function<Database *()> database, CBBSProperty &current,
                                       std::function<void()> refresh)
    : m_window(window), m_database(std::move(database)), m_current(current), m_refresh(std::move(refresh))
{
}

void SettingsController::ShowBoardProperty()
{
    Database *db = m_database();
    if (!db || m_current.ID() == 0)
        return;
    if (!frmProperty::ShowProperty(*db, m_current, &m_window, m_propertyTabIndex))
        return;
    if (!m_current.SetProperty()) {
        prompter().critical(u"掲示板の名前やURLなどをデータベースに保存できませんでした。もう一度プロパティで設定してください。\n"_s
                            + db->LastError().description);
        m_current.GetProperty(m_current.ID(), *db);
    }
    m_refresh();
}

void SettingsController::ShowOptions()
{
    Database *db = m_database();
    if (!db)
        return;
    if (!frmProperty::ShowOption(*db, m_current, &m_window, m_optionTabIndex))
        return;
    m_current.GetProperty(m_current.ID(), *db);
    m_refresh();
}
