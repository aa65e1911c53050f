#pragma once

#include <QString>

/// Free text on its way into a device line. The device splits a line at its commas (and some fields at "|" or
/// ":") and a line ends at a line break, so agent-written text could shift fields or start a forged line unless
/// those characters are taken out before the field is cut.
namespace murmeli::device::DeviceText {

/// Every ",", "|" and line break (LF, CR, VT, FF, NEL, U+2028, U+2029), and every character of extra, becomes
/// one space.
QString clean(const QString& text, QStringView extra = {});

/// Cleaned, then cut to its first maxChars user-perceived characters without a mark.
QString cleanAndCut(const QString& text, int maxChars, QStringView extra = {});

/// Cleaned, then cut to exactly limit user-perceived characters ending in "…" when it is longer.
QString cleanAndCutWithEllipsis(const QString& text, int limit);

} // namespace murmeli::device::DeviceText
