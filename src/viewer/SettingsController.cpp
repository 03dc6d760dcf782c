#include "viewer/SettingsController.h"

#include "app/Prompter.h"
#include "db/CBBSProperty.h"
#include "db/Database.h"
#include "settings_ui/frmProperty.h"

using namespace Qt::StringLiterals;

SettingsController::SettingsController(QWidget &window, std::function<Database *()> database, CBBSProperty &current,
                                       std::function<void()> refresh, std::function<void()> ngRulesChanged)
    : m_window(window),
      m_database(std::move(database)),
      m_current(current),
      m_refresh(std::move(refresh)),
      m_ngRulesChanged(std::move(ngRulesChanged))
{
}

void SettingsController::ShowBoardProperty()
{
    Database *db = m_database();
    if (!db || m_current.ID() == 0)
        return;
    bool ngChanged = false;
    const bool stored = frmProperty::ShowProperty(*db, m_current, &m_window, m_propertyTabIndex, &ngChanged);
    if (ngChanged)
        m_ngRulesChanged();
    if (!stored)
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
    bool ngChanged = false;
    const bool stored = frmProperty::ShowOption(*db, m_current, &m_window, m_optionTabIndex, &ngChanged);
    if (ngChanged)
        m_ngRulesChanged();
    if (!stored)
        return;
    m_current.GetProperty(m_current.ID(), *db);
    m_refresh();
}
