#include "platform/desktop/fake/FakeScreenProvider.h"

#include <algorithm>

namespace murmeli::platform {

std::optional<ScreenInfo> FakeScreenProvider::mainScreen() const
{
    const std::optional<int> index = m_mainChosen ? m_mainIndex : std::optional<int>(0);
    if (!index || *index < 0 || *index >= m_screens.size()) {
        return std::nullopt;
    }
    return m_screens.at(*index);
}

ScreenInfo FakeScreenProvider::plainScreen(std::optional<qint64> displayNumber, QString name, const QRectF& frame)
{
    ScreenInfo info;
    info.displayNumber = displayNumber;
    info.name = std::move(name);
    info.frame = frame;
    info.visibleFrame = frame.adjusted(0, 0, 0, -24);
    return info;
}

ScreenInfo FakeScreenProvider::notchedScreen(std::optional<qint64> displayNumber, QString name, const QRectF& frame,
    double topInset, double leftAreaWidth, double rightAreaWidth)
{
    ScreenInfo info = plainScreen(displayNumber, std::move(name), frame);
    info.visibleFrame = frame.adjusted(0, 0, 0, -std::max(topInset, 24.0));
    info.safeAreaInsets.top = topInset;
    // The areas fill the band under the top edge that the housing interrupts.
    const double bandHeight = topInset > 0 ? topInset : 32;
    const double bandY = frame.bottom() - bandHeight;
    info.auxiliaryTopLeftArea = QRectF(frame.x(), bandY, leftAreaWidth, bandHeight);
    info.auxiliaryTopRightArea = QRectF(frame.right() - rightAreaWidth, bandY, rightAreaWidth, bandHeight);
    return info;
}

} // namespace murmeli::platform
