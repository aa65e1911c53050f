#include "main/notch/kit/KeyedChildren.h"

#include <gtest/gtest.h>

#include "main/notch/kit/EmptyView.h"
#include "main/notch/kit/OnChange.h"

using namespace murmeli::notch;

namespace {

struct Made {
    std::vector<int> keys;

    KeyedChildren<int>::Factory factory()
    {
        return [this](const int& key) {
            keys.push_back(key);
            return std::make_unique<EmptyView>();
        };
    }
};

} // namespace

TEST(KeyedChildrenTest, KeepsAChildWhileItsKeyStaysAndFadesOutARemovedOne)
{
    KeyedChildren<int> children(200, 300);
    Made made;
    children.sync({ 1, 2 }, 0, made.factory());
    EXPECT_EQ(made.keys, (std::vector<int> { 1, 2 }));
    View* first = children.find(1);
    // Appearing children fade in from nothing.
    EXPECT_DOUBLE_EQ(children.children()[0].opacity.valueAt(0), 0.0);
    EXPECT_DOUBLE_EQ(children.children()[0].opacity.valueAt(200), 1.0);

    // Key 1 stays (same child, no new appear); key 2 goes but stays on screen while it fades; key 3 appears.
    children.sync({ 3, 1 }, 1000, made.factory());
    EXPECT_EQ(made.keys, (std::vector<int> { 1, 2, 3 }));
    EXPECT_EQ(children.find(1), first);
    EXPECT_EQ(children.find(2), nullptr);
    ASSERT_EQ(children.children().size(), 3u);
    const auto& gone = children.children()[2];
    EXPECT_EQ(gone.key, 2);
    EXPECT_TRUE(gone.removed);
    EXPECT_NEAR(gone.opacity.valueAt(1150), 0.5, 1e-9);
    EXPECT_TRUE(children.isAnimating(1299));

    children.prune(1299);
    EXPECT_EQ(children.children().size(), 3u);
    children.prune(1300);
    EXPECT_EQ(children.children().size(), 2u);
    EXPECT_FALSE(children.isAnimating(1300));

    // A key that comes back is a fresh child with a fresh appear.
    children.sync({ 2 }, 2000, made.factory());
    EXPECT_EQ(made.keys.back(), 2);
}

TEST(KeyedChildrenTest, AChangeHandlerRunsOnChangesOnlyNeverOnTheFirstSight)
{
    OnChange<QString> change;
    EXPECT_FALSE(change(QStringLiteral("brand")));
    EXPECT_FALSE(change(QStringLiteral("brand")));
    EXPECT_TRUE(change(QStringLiteral("notif.approval")));
    EXPECT_FALSE(change(QStringLiteral("notif.approval")));
    EXPECT_TRUE(change(QStringLiteral("brand")));
}
