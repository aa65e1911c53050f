#include "main/notch/tokens/NotchGeometryV3.h"

#include <algorithm>
#include <numeric>

namespace murmeli::notch::NotchGeometryV3 {

QList<AllowedSize> allowedSizes()
{
    return { { closedWidth, closedHeight }, { openedListWidth, std::nullopt },
        { openedRecordingWidth, openedRecordingHeight } };
}

double openedListHeight(const QList<double>& rowHeights)
{
    return std::min(std::accumulate(rowHeights.cbegin(), rowHeights.cend(), 0.0), openedListMaxHeight);
}

} // namespace murmeli::notch::NotchGeometryV3
