#pragma once

#include <QList>

namespace murmeli::notch {
struct SessionRow;
}

// The opened session list's size in the token-based sizing family, estimated from its rows.
namespace murmeli::notch::SessionListSizing {

/// The list's width, and its rows' estimated heights added up to the list's ceiling.
struct ListSize final {
    double width = 0;
    double height = 0;

    friend bool operator==(const ListSize&, const ListSize&) = default;
};

/// 70 with an activity line, 48 without, 24 more for a row that needs approval or is in error.
double estimatedRowHeight(const notch::SessionRow& row);
ListSize openedListSize(const QList<notch::SessionRow>& rows);

} // namespace murmeli::notch::SessionListSizing
