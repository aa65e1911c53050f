#include "main/notch/layout/NotchExpansionState.h"

#include <functional>

#include <gtest/gtest.h>

namespace murmeli::notch {
namespace {

TEST(NotchExpansionStateTest, EachFlagSignalsOnlyARealChange)
{
    using Setter = bool (NotchExpansionState::*)(bool);
    using Getter = bool (NotchExpansionState::*)() const;
    using Signal = void (NotchExpansionState::*)(bool);
    const struct {
        const char* name;
        Setter set;
        Getter get;
        Signal signal;
    } flags[] = {
        { "isExpanded", &NotchExpansionState::setExpanded, &NotchExpansionState::isExpanded,
            &NotchExpansionState::isExpandedChanged },
        { "startActive", &NotchExpansionState::setStartActive, &NotchExpansionState::startActive,
            &NotchExpansionState::startActiveChanged },
    };
    for (const auto& flag : flags) {
        NotchExpansionState state;
        QList<bool> own;
        int any = 0;
        QObject::connect(&state, flag.signal, [&](bool value) { own.append(value); });
        QObject::connect(&state, &NotchExpansionState::changed, [&] { ++any; });

        EXPECT_FALSE((state.*flag.get)()) << flag.name;
        EXPECT_FALSE((state.*flag.set)(false)) << flag.name;
        EXPECT_TRUE((state.*flag.set)(true)) << flag.name;
        EXPECT_FALSE((state.*flag.set)(true)) << flag.name;
        EXPECT_TRUE((state.*flag.get)()) << flag.name;
        EXPECT_TRUE((state.*flag.set)(false)) << flag.name;

        EXPECT_EQ(own, QList<bool>({ true, false })) << flag.name;
        EXPECT_EQ(any, 2) << flag.name;
    }
}

} // namespace
} // namespace murmeli::notch
