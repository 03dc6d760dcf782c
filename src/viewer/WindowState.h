#pragma once

class CIniFile;
class CMRUCombo;
class QComboBox;
class QHeaderView;
class QWidget;
class uSeparator;

/**
 * @short The main window's state kept in the settings file: position and size (section
 * "Position", in twips), the bar between the list and the body pane, the widths of list 0's
 * columns, and the find history (section "FindText").
 */
class WindowState
{
public:
    /** @p columns: the header of list 0, whose column widths are kept. */
    WindowState(QWidget &window, uSeparator &separator, QHeaderView &columns, CMRUCombo &findHistory,
                QComboBox &findText);

    /** @short Applies section "Position"; values that are missing or no numbers leave the window as it is. */
    void Restore(CIniFile &ini);
    /** @short Writes section "Position"; a minimised window is written as a normal one. */
    void Save(CIniFile &ini) const;

    /** @short Starts the find history afresh with the entries of @p ini's section "FindText", if any. */
    void LoadFindHistory(CIniFile *ini);
    /** @short Replaces section "FindText" with the find history, one entry per key "1", "2"... */
    void SaveFindHistory(CIniFile &ini) const;

private:
    QWidget &m_window;
    uSeparator &m_separator;
    QHeaderView &m_columns;
    CMRUCombo &m_findHistory;
    QComboBox &m_findText;
};
