#include "main/notch/tokens/NotchFormToken.h"

namespace murmeli::notch {

NotchFormToken NotchFormToken::openedList(const QList<double>& rowHeights)
{
    return { NotchGeometryV3::openedListWidth, NotchGeometryV3::openedListHeight(rowHeights),
        NotchShapeV3::openedTopRadius, NotchShapeV3::openedBottomRadius };
}

} // namespace murmeli::notch
