#include "main/notch/tokens/SessionListSizing.h"

#include <algorithm>

#include "main/app/panel/SessionRow.h"
#include "main/notch/tokens/NotchGeometryV3.h"

namespace murmeli::notch::SessionListSizing {

double estimatedRowHeight(const app::SessionRow& row)
{
    double height = row.activity.isEmpty() ? 48 : 70;
    const app::SessionState::Kind state = row.state.kind();
    if (state == app::SessionState::Kind::NeedsApproval || state == app::SessionState::Kind::Error) {
        height += 24;
    }
    return std::min(height, 120.0);
}

ListSize openedListSize(const QList<app::SessionRow>& rows)
{
    QList<double> heights;
    heights.reserve(rows.size());
    for (const app::SessionRow& row : rows) {
        heights.append(estimatedRowHeight(row));
    }
    return { NotchGeometryV3::openedListWidth, NotchGeometryV3::openedListHeight(heights) };
}

} // namespace murmeli::notch::SessionListSizing
