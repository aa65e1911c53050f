#pragma once

#include <QString>
#include <QStringList>

namespace murmeli::settings::HotwordsFilter {

/// The entries of list, in order and duplicates kept, whose lower-cased text contains the query trimmed of spaces
/// and tabs and lower-cased; the whole list for a blank query. Entries themselves are not trimmed.
QStringList filtered(const QStringList& list, const QString& query);

} // namespace murmeli::settings::HotwordsFilter
