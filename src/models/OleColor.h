#pragma once

#include <QtGlobal>

/** @short OLE colour values that stand for system colours, as stored in table Mark. */
namespace OleColor {

/** The system window text colour: rows without a mark use it. */
inline constexpr quint32 SystemWindowText = 0x80000008u;
/** The system window background colour. */
inline constexpr quint32 SystemWindow = 0x80000005u;

} // namespace OleColor
