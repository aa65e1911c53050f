#pragma once

#include <utility>

#include "platform/desktop/ScreenProvider.h"

namespace murmeli::platform {

/// Screens set by the test, in y-up points. With no main screen chosen, the first screen is the main one.
class FakeScreenProvider final : public ScreenProvider {
public:
    FakeScreenProvider() = default;
    explicit FakeScreenProvider(QList<ScreenInfo> screens) : m_screens(std::move(screens)) { }

    QList<ScreenInfo> screens() const override { return m_screens; }
    std::optional<ScreenInfo> mainScreen() const override;
    ScreenSpace space() const override { return m_space; }

    void setScreens(QList<ScreenInfo> screens) { m_screens = std::move(screens); }
    /// The index of the main screen in the list; absent means no main screen, whatever the list holds.
    void setMainScreenIndex(std::optional<int> index)
    {
        m_mainIndex = index;
        m_mainChosen = true;
    }
    void setSpace(const ScreenSpace& space) { m_space = space; }

    /// A screen without a notch: no insets, no areas beside a notch; the visible frame drops a 24-point top bar.
    static ScreenInfo plainScreen(std::optional<qint64> displayNumber, QString name, const QRectF& frame);
    /// A screen with a notch of topInset height between a left and a right area of the given widths.
    static ScreenInfo notchedScreen(std::optional<qint64> displayNumber, QString name, const QRectF& frame,
        double topInset, double leftAreaWidth, double rightAreaWidth);

private:
    QList<ScreenInfo> m_screens;
    std::optional<int> m_mainIndex;
    bool m_mainChosen = false;
    ScreenSpace m_space;
};

} // namespace murmeli::platform
