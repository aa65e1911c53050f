#include "main/voice/focus/FocusModeDetector.h"

#include <vector>

#include <gtest/gtest.h>

#include "platform/desktop/fake/FakeDesktop.h"
#include "tests/support/TaskResult.h"
#include "tests/support/Wait.h"

namespace murmeli::voice {
namespace {

using platform::FocusedElement;
using platform::FocusedRole;

constexpr platform::WindowId windowId = 0x2a00007;
constexpr qint64 windowPid = 4242;

const hooks::AgentProcess agent { QStringLiteral("777"), QStringLiteral("1") };

struct Row {
    const char* name;
    bool canInject = true;
    std::optional<QString> windowClass; // absent: no window in front
    std::optional<qint64> pid = windowPid;
    std::optional<FocusedElement> focused;
    bool probeAvailable = true;
    VoiceMode expected;
};

// What detectMode() gives for the desktop a row describes; the agent finder answers one agent for any terminal.
VoiceMode detect(const Row& row, std::vector<std::optional<qint64>>& askedPids)
{
    platform::FakeDesktop desktop;
    desktop.setInjectionSupport({ row.canInject, row.canInject ? QString() : QStringLiteral("no XTEST") });
    if (row.windowClass) {
        desktop.addWindow({ windowId, row.windowClass->toLower(), *row.windowClass, row.pid, QStringLiteral("w") });
        desktop.setActiveWindow(windowId);
    }
    desktop.setProbeAvailable(row.probeAvailable);
    if (row.pid) {
        desktop.setFocusedElement(*row.pid, row.focused);
    }
    const FocusModeDetector detector([&desktop] { return desktop.injectionSupport().canInject; },
        TerminalSessionProbe::of(desktop), FocusModeDetector::readerOf(desktop),
        [&askedPids](std::optional<qint64> pid) -> QCoro::Task<std::optional<hooks::AgentProcess>> {
            askedPids.push_back(pid);
            co_return agent;
        });
    const auto result = test::keepResult(detector.detectMode());
    EXPECT_TRUE(test::waitUntil([&] { return result->has_value(); }));
    return result->value_or(ModeB { ModeBReason::DetectionFailed });
}

TEST(FocusModeDetectorTest, FrontWindowAndFocusDecideTheMode)
{
    const FocusedElement entry { FocusedRole::TextField, QStringLiteral("entry"), true };
    const FocusedElement web { FocusedRole::WebArea, QStringLiteral("document web"), false };
    const FocusedElement button { FocusedRole::Other, QStringLiteral("push button"), false };
    const FocusedElement editableParagraph { FocusedRole::Other, QStringLiteral("paragraph"), true };
    const auto terminalTarget = [](const char* windowClass) {
        return ModeA { { QStringLiteral("terminal"), QString::fromLatin1(windowClass), agent, windowId } };
    };
    const std::vector<Row> rows {
        { "xterm in front", true, "XTerm", windowPid, std::nullopt, true, terminalTarget("XTerm") },
        { "editor in front, focus unreadable", true, "Code", windowPid, std::nullopt, false, terminalTarget("Code") },
        { "catalogued terminal without a pid", true, "kitty", std::nullopt, std::nullopt, true,
            terminalTarget("kitty") },
        { "no injection beats a terminal", false, "XTerm", windowPid, entry, true,
            ModeB { ModeBReason::AxPermissionDenied } },
        { "text entry in a browser", true, "firefox", windowPid, entry, true,
            ModeA { { QStringLiteral("entry"), QStringLiteral("firefox"), std::nullopt, windowId } } },
        { "web page with the focus", true, "firefox", windowPid, web, true,
            ModeA { { QStringLiteral("document web"), QStringLiteral("firefox"), std::nullopt, windowId } } },
        { "editable element of another role", true, "Gedit", windowPid, editableParagraph, true,
            ModeA { { QStringLiteral("paragraph"), QStringLiteral("Gedit"), std::nullopt, windowId } } },
        { "button with the focus", true, "firefox", windowPid, button, true, ModeB { ModeBReason::NoEditableFocus } },
        { "toolkit without accessibility", true, "Xpdf", windowPid, std::nullopt, true,
            ModeB { ModeBReason::NoEditableFocus } },
        { "window without a pid", true, "firefox", std::nullopt, entry, true, ModeB { ModeBReason::DetectionFailed } },
        { "no front window", true, std::nullopt, windowPid, entry, true, ModeB { ModeBReason::DetectionFailed } },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::vector<std::optional<qint64>> askedPids;
        EXPECT_EQ(detect(row, askedPids), row.expected);
        // Discovery is asked only for a catalogued terminal, with its window's pid.
        const bool terminal = std::holds_alternative<ModeA>(row.expected)
            && std::get<ModeA>(row.expected).target.role == QLatin1String("terminal");
        EXPECT_EQ(askedPids, terminal ? std::vector { row.pid } : std::vector<std::optional<qint64>> {});
    }
}

} // namespace
} // namespace murmeli::voice
