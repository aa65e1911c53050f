#include "main/voice/focus/PasteKeyRules.h"

#include <gtest/gtest.h>

#include "main/voice/focus/TerminalAppCatalog.h"

namespace murmeli::voice {
namespace {

TEST(PasteKeyRulesTest, WindowClassPicksTheCatalogueEntryAndItsPasteKey)
{
    struct Row {
        std::optional<QString> windowClass;
        bool catalogued;
        PasteKey key;
    };
    const Row rows[] = {
        { QStringLiteral("XTerm"), true, PasteKey::ShiftInsert },
        { QStringLiteral("URxvt"), true, PasteKey::ShiftInsert },
        { QStringLiteral("Gnome-terminal"), true, PasteKey::CtrlShiftV },
        { QStringLiteral("kitty"), true, PasteKey::CtrlShiftV },
        { QStringLiteral("Code"), true, PasteKey::CtrlV },
        { QStringLiteral("firefox"), false, PasteKey::CtrlV },
        // The class is compared exactly: the instance half or another case is no match.
        { QStringLiteral("xterm"), false, PasteKey::CtrlV },
        { QStringLiteral("gnome-terminal-server"), false, PasteKey::CtrlV },
        { QString(), false, PasteKey::CtrlV },
        { std::nullopt, false, PasteKey::CtrlV },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.windowClass.value_or(QStringLiteral("(absent)")).toStdString());
        EXPECT_EQ(TerminalAppCatalog::isTerminal(row.windowClass), row.catalogued);
        EXPECT_EQ(toString(PasteKeyRules::keyFor(row.windowClass)), toString(row.key));
    }
}

} // namespace
} // namespace murmeli::voice
