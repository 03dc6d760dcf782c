#pragma once

#include <functional>

class Database;

class CBBSProperty;
class QWidget;

/**
 * @short The main window's board properties and options dialogs. Each dialog opens on the tab
 * selected when it was closed last; after OK the window refreshes what the settings show.
 */
class SettingsController
{
public:
    /**
     * Dialogs open over @p window on the database @p database gives (nullptr: closed);
     * @p current is the shown board; @p refresh runs after OK; @p ngRulesChanged runs when the
     * dialog added or removed NG rules, which it stores at once (so after Cancel too).
     */
    SettingsController(QWidget &window, std::function<Database *()> database, CBBSProperty &current,
                       std::function<void()> refresh, std::function<void()> ngRulesChanged);

    /** @short The shown board's properties; after OK its row is written and the window refreshed. */
    void ShowBoardProperty();
    /** @short The options; the dialog may have changed the shown board's row, so it is read again. */
    void ShowOptions();

private:
    QWidget &m_window;
    std::function<Database *()> m_database;
    CBBSProperty &m_current;
    std::function<void()> m_refresh;
    std::function<void()> m_ngRulesChanged;
    int m_propertyTabIndex = 1;
    int m_optionTabIndex = 1;
};
