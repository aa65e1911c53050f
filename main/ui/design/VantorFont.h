#pragma once

#include <QFont>
#include <QString>

// The interface's three faces; each falls back to the system's face of the same design when it is not installed.
// Needs a QGuiApplication.
namespace murmeli::ui::VantorFont {

/// The system design a missing face falls back to.
enum class Design { Serif, Default, Monospaced };

inline constexpr const char* frauncesFamily = "Fraunces";
inline constexpr const char* instrumentSansFamily = "Instrument Sans";
inline constexpr const char* geistMonoFamily = "Geist Mono";

/// The serif face at size points and weight; the system serif face when it is missing.
QFont fraunces(qreal size, QFont::Weight weight = QFont::Normal);
/// The sans face; the system's default face when it is missing.
QFont instrumentSans(qreal size, QFont::Weight weight = QFont::Medium);
/// The monospaced face; the system's fixed-pitch face when it is missing.
QFont geistMono(qreal size, QFont::Weight weight = QFont::Normal);

/// Whether the platform knows the family, probed at 12 points.
bool isAvailable(const QString& family);
/// The family at size points and weight when it is available, else the system font of the fallback design.
QFont font(const QString& family, Design fallback, qreal size, QFont::Weight weight);

} // namespace murmeli::ui::VantorFont
