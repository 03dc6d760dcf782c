#pragma once

class CIniFile;
class CMRUCombo;
class QComboBox;
class QHeaderView;
class QResizeEvent;
class QWidget;
class uSeparator;

/**
 * @short The main window's state kept in the settings file: position and size (section
 * "Position", in twips), the bar between the list and the body pane, the widths of list 0's
 * columns, and the find history (section "FindText"). The list keeps its share of the height
 * when the window is resized; without a saved bar it starts with half.
 */
class WindowState
{
public:
    /** @p columns: the header of list 0, whose column widths are kept. */
    WindowState(QWidget &window, uSeparator &separator, QHeaderView &columns, CMRUCombo &findHistory,
                QComboBox &findText);

    /** @short Applies section "Position"; values that are missing or no numbers leave the window as it is. */
    void Restore(CIniFile &ini);
    /**
     * @short Writes section "Position"; a minimised or maximised window is written as a normal
     * one, its bar where the list's share puts it at the normal height.
     */
    void Save(CIniFile &ini) const;
    /** @short Moves the bar on a resize of the separator, @p event, so that the list keeps its share. */
    void KeepListShare(const QResizeEvent &event);

    /** @short Starts the find history afresh with the entries of @p ini's section "FindText", if any. */
    void LoadFindHistory(CIniFile *ini);
    /** @short Replaces section "FindText" with the find history, one entry per key "1", "2"... */
    void SaveFindHistory(CIniFile &ini) const;

private:
    int normalTravel(int separatorHeight) const;

    QWidget &m_window;
    uSeparator &m_separator;
    QHeaderView &m_columns;
    CMRUCombo &m_findHistory;
    QComboBox &m_findText;
    double m_listShare = 0.5; // of the bar's travel, above the bar
    int m_placedOffset;       // where KeepListShare put the bar last; elsewhere: it was moved since
    bool m_restored = false;  // the bar is at its saved place, kept for the normal height
};
