#include "viewer/WindowState.h"

#include "app/CIniFile.h"
#include "controls/CMRUCombo.h"
#include "controls/uSeparator.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QRegularExpression>
#include <QResizeEvent>
#include <QScreen>
#include <QWidget>
#include <algorithm>
#include <cmath>
#include <optional>

using namespace Qt::StringLiterals;

namespace {

constexpr int TwipsPerPixel = uSeparator::TwipsPerPixel;
constexpr int ListItemCount = 11;
constexpr int FindHistoryMax = 10;

/** @p key of the current section as a number; nullopt when it is missing or no number. */
std::optional<double> number(const CIniFile &ini, const QString &key)
{
    const QVariant value = ini.InitData(key, CIniFile::IniSingle, QVariant());
    return value.isValid() ? std::optional<double>(value.toDouble()) : std::nullopt;
}

/** @p twips in pixels, bounded to the sizes a widget can have (the file may hold any number). */
int pixels(double twips)
{
    return int(std::clamp(std::round(twips / TwipsPerPixel), -double(QWIDGETSIZE_MAX), double(QWIDGETSIZE_MAX)));
}

QString twips(int pixels)
{
    return QString::number(pixels * TwipsPerPixel);
}

/** True when some part of @p rect lies on one of the screens. */
bool onAScreen(const QRect &rect)
{
    const QList<QScreen *> screens = QGuiApplication::screens();
    return std::any_of(screens.cbegin(), screens.cend(),
                       [&rect](const QScreen *screen) { return screen->availableGeometry().intersects(rect); });
}

void centreOnPrimaryScreen(QRect &rect)
{
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->geometry();
        rect.moveTo(area.x() + (area.width() - rect.width()) / 2, area.y() + (area.height() - rect.height()) / 2);
    }
}

} // namespace

WindowState::WindowState(QWidget &window, uSeparator &separator, QHeaderView &columns, CMRUCombo &findHistory,
                         QComboBox &findText)
    : m_window(window),
      m_separator(separator),
      m_columns(columns),
      m_findHistory(findHistory),
      m_findText(findText),
      m_placedOffset(separator.Offset())
{
}

void WindowState::Restore(CIniFile &ini)
{
    ini.setNowSection(u"Position"_s);
    QRect rect = m_window.geometry();
    if (const auto width = number(ini, u"Width"_s))
        rect.setWidth(pixels(*width));
    if (const auto height = number(ini, u"Height"_s))
        rect.setHeight(pixels(*height));
    const auto left = number(ini, u"Left"_s);
    const auto top = number(ini, u"Top"_s);
    if (left && top)
        rect.moveTo(pixels(*left), pixels(*top));
    // A position on no screen (say, of a monitor since disconnected) would leave the window out of reach.
    if (!left || !top || !onAScreen(rect))
        centreOnPrimaryScreen(rect);
    m_window.setGeometry(rect);
    const QString state = ini.Data(u"WindowState"_s);
    if (QRegularExpression(u"^[012]$"_s).match(state).hasMatch()) {
        const int value = state.toInt();
        m_window.setWindowState(value == 1 ? Qt::WindowMinimized : value == 2 ? Qt::WindowMaximized : Qt::WindowNoState);
    }
    const QVariant separator = ini.InitData(u"Separator"_s, CIniFile::IniLong, QVariant());
    if (separator.isValid()) {
        m_separator.setOffset(pixels(separator.toDouble()));
        m_restored = true;
    }
    // The last column takes the width the others leave: its saved width is what it took then.
    const int widths = m_columns.stretchLastSection() ? ListItemCount - 1 : ListItemCount;
    for (int n = 1; n <= widths; ++n) {
        if (const auto width = number(ini, u"ListItem"_s + QString::number(n)))
            m_columns.resizeSection(n - 1, pixels(*width));
    }
}

/** The bar's travel at the window's normal height, from the separator's height now, @p separatorHeight. */
int WindowState::normalTravel(int separatorHeight) const
{
    const int around = m_window.height() - separatorHeight; // menus, toolbar, status bar
    return m_window.normalGeometry().height() - around - uSeparator::BarThickness;
}

void WindowState::KeepListShare(const QResizeEvent &event)
{
    const int travel = event.size().height() - uSeparator::BarThickness;
    if (travel <= 0)
        return;
    if (m_separator.Offset() != m_placedOffset) {
        // The bar was moved since: by the user, or to its saved place. Where it is sets the share.
        const bool resized = event.oldSize().isValid();
        const int before = m_restored ? normalTravel(event.size().height())
                           : resized  ? event.oldSize().height() - uSeparator::BarThickness
                                      : travel;
        if (before > 0)
            m_listShare = double(m_separator.Offset()) / before;
        m_restored = false;
    }
    m_placedOffset = qRound(m_listShare * travel);
    m_separator.setOffset(m_placedOffset);
}

void WindowState::Save(CIniFile &ini) const
{
    ini.setNowSection(u"Position"_s);
    const bool maximized = m_window.isMaximized();
    ini.setData(u"WindowState"_s, maximized ? u"2"_s : u"0"_s);
    const QRect rect = maximized || m_window.isMinimized() ? m_window.normalGeometry() : m_window.geometry();
    ini.setData(u"Left"_s, twips(rect.x()));
    ini.setData(u"Top"_s, twips(rect.y()));
    ini.setData(u"Width"_s, twips(rect.width()));
    ini.setData(u"Height"_s, twips(rect.height()));
    const int travel = m_separator.height() - uSeparator::BarThickness;
    const int normal = normalTravel(m_separator.height());
    const bool scaled = rect != m_window.geometry() && travel > 0 && normal > 0;
    const int offset = m_separator.Offset();
    ini.setData(u"Separator"_s, twips(scaled ? qRound(double(offset) * normal / travel) : offset));
    for (int n = 1; n <= ListItemCount; ++n)
        ini.setData(u"ListItem"_s + QString::number(n), twips(m_columns.sectionSize(n - 1)));
    ini.TrySave(u"Position"_s);
}

void WindowState::LoadFindHistory(CIniFile *ini)
{
    m_findHistory.setComboBox(&m_findText);
    m_findHistory.setMax(FindHistoryMax);
    if (!ini)
        return;
    ini->setNowSection(u"FindText"_s);
    for (const QString &key : ini->Keys())
        m_findHistory.AddMRU(ini->Data(key));
    m_findText.setEditText(QString());
    // The drop-down shows every entry, as wide as the longest one.
    m_findText.setMaxVisibleItems(qMax(1, m_findText.count()));
    m_findText.view()->setMinimumWidth(m_findText.view()->sizeHintForColumn(0));
}

void WindowState::SaveFindHistory(CIniFile &ini) const
{
    ini.setNowSection(u"FindText"_s);
    ini.Clear();
    const QStringList &entries = m_findHistory.MRUList();
    for (int i = 0; i < entries.size(); ++i)
        ini.setData(QString::number(i + 1), entries.at(i));
    ini.TrySave(u"FindText"_s);
}
