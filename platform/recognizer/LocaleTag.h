#pragma once

#include <QString>

/// Locale tags as the voice settings and the system spell them: "en-US", "en_US", "en_US.UTF-8", "en".
namespace murmeli::platform::LocaleTag {

/// The language subtag in lower case ("en"); "" for an empty tag.
QString language(const QString& tag);
/// Language and region as "en-US"; the language alone when there is no region; encoding and modifiers dropped.
QString normalized(const QString& tag);
/// Whether two tags name the same language and region, whatever their spelling.
bool sameLocale(const QString& a, const QString& b);

} // namespace murmeli::platform::LocaleTag
