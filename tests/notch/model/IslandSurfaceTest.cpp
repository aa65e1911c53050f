#include "main/notch/model/IslandSurface.h"

#include <gtest/gtest.h>

#include "main/notch/model/SessionState.h"

namespace murmeli::notch {

namespace {

TEST(IslandSurfaceTest, OnlyTheListIsNoCardAndOnlyTheCompletionGoesByItself)
{
    struct Case {
        IslandSurface surface;
        bool card;
        bool autoDismisses;
        const char* text;
    };
    const Case cases[] = {
        { IslandSurface::sessionList("a1b2c3d4"), false, false, "sessionList(a1b2c3d4)" },
        { IslandSurface::approvalCard("a1b2c3d4", "tu-1"), true, false, "approvalCard(a1b2c3d4, tu-1)" },
        { IslandSurface::questionCard("a1b2c3d4", "Which?"), true, false, "questionCard(a1b2c3d4, Which?)" },
        { IslandSurface::completionNotification("a1b2c3d4"), true, true, "completionNotification(a1b2c3d4)" },
        { IslandSurface::error(std::nullopt, "hook failed"), true, false, "error(nil, hook failed)" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(c.surface.isNotificationCard(), c.card);
        EXPECT_EQ(c.surface.autoDismissesWhenPresentedAsNotification(), c.autoDismisses);
        EXPECT_EQ(toString(c.surface), c.text);
    }
}

TEST(IslandSurfaceTest, EqualMeansTheSameCaseWithEqualPayloads)
{
    EXPECT_EQ(IslandSurface(), IslandSurface::sessionList());
    EXPECT_NE(IslandSurface::sessionList(), IslandSurface::sessionList("a1b2c3d4"));
    EXPECT_NE(IslandSurface::approvalCard("a", "tu-1"), IslandSurface::approvalCard("a", "tu-2"));
    EXPECT_NE(IslandSurface::error("a", "x"), IslandSurface::error(std::nullopt, "x"));
    // The same text in another case's slot is another surface.
    EXPECT_NE(IslandSurface::completionNotification("a"), IslandSurface::sessionList("a"));

    EXPECT_EQ(SessionState::error("disk full"), SessionState::error("disk full"));
    EXPECT_NE(SessionState::error("disk full"), SessionState::error("timeout"));
    EXPECT_NE(SessionState::error(QString()), SessionState::idle());
    EXPECT_EQ(toString(SessionState::error("disk full")), "error(disk full)");
    EXPECT_EQ(toString(SessionState::waitingForAnswer()), "waitingForAnswer");
}

} // namespace
} // namespace murmeli::notch
