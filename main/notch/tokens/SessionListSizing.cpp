#include "main/notch/tokens/SessionListSizing.h"

#include <algorithm>

#include "main/notch/model/SessionRow.h"
#include "main/notch/tokens/NotchGeometryV3.h"

namespace murmeli::notch::SessionListSizing {

double estimatedRowHeight(const notch::SessionRow& row)
{
    double height = row.activity.isEmpty() ? 48 : 70;
    const notch::SessionState::Kind state = row.state.kind();
    if (state == notch::SessionState::Kind::NeedsApproval || state == notch::SessionState::Kind::Error) {
        height += 24;
    }
    return std::min(height, 120.0);
}

ListSize openedListSize(const QList<notch::SessionRow>& rows)
{
    QList<double> heights;
    heights.reserve(rows.size());
    for (const notch::SessionRow& row : rows) {
        heights.append(estimatedRowHeight(row));
    }
    return { NotchGeometryV3::openedListWidth, NotchGeometryV3::openedListHeight(heights) };
}

} // namespace murmeli::notch::SessionListSizing
