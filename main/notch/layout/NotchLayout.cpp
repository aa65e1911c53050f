#include "main/notch/layout/NotchLayout.h"

#include <algorithm>

namespace murmeli::notch::NotchLayout {

double closedWidth(double notchWidth, bool isRealNotch, bool isStart)
{
    if (!isRealNotch) {
        return notchWidth;
    }
    return notchWidth + 2 * (isStart ? startEarPaddingX : closedEarPaddingX);
}

double expandedWidth(double notchWidth, bool isRealNotch)
{
    return closedWidth(notchWidth, isRealNotch, false) + 2 * expandedPaddingX;
}

double fallbackExpandedHeight(int sessionCount)
{
    return std::clamp(sessionCount, 1, sessionListMaxRowsNoScroll) * sessionRowHeight + 50;
}

double preAllocatedExpandedHeight()
{
    return 1884;
}

} // namespace murmeli::notch::NotchLayout
