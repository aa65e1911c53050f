#include "main/voice/injection/SystemVoiceTextInjector.h"

#include <functional>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "main/voice/injection/AXHealth.h"
#include "main/voice/injection/InputInjector.h"
#include "platform/desktop/fake/FakeDesktop.h"
#include "tests/support/FakeClock.h"

namespace murmeli::voice {
namespace {

using platform::ClipboardItem;
using platform::ClipboardMode;
using platform::FakeDesktop;
using platform::KeyChord;
using platform::KeyModifier;

constexpr platform::WindowId xterm = 0x100;
constexpr platform::WindowId firefox = 0x200;
constexpr platform::WindowId kitty = 0x300;

const KeyChord shiftInsert { platform::keysym::Insert, std::nullopt, KeyModifier::Shift };
const KeyChord ctrlShiftV { platform::keysym::V, std::nullopt, KeyModifier::Ctrl | KeyModifier::Shift };
const KeyChord ctrlV { platform::keysym::V, std::nullopt, KeyModifier::Ctrl };

const QList<ClipboardItem> userContent { FakeDesktop::plainText(QStringLiteral("old text")),
    { QStringLiteral("image/png"), QByteArray("\x89PNG\r\n\x1a\n", 8) } };

FocusTarget targetOf(platform::WindowId id, const QString& windowClass)
{
    return { QStringLiteral("terminal"), windowClass, std::nullopt, id };
}

// The desktop, the clock and one injector over them, with everything it reports collected.
struct Rig {
    Rig()
    {
        desktop.addWindow({ xterm, QStringLiteral("xterm"), QStringLiteral("XTerm"), 10, QStringLiteral("xterm") });
        desktop.addWindow(
            { firefox, QStringLiteral("Navigator"), QStringLiteral("firefox"), 20, QStringLiteral("ff") });
        desktop.addWindow({ kitty, QStringLiteral("kitty"), QStringLiteral("kitty"), 30, QStringLiteral("kitty") });
        desktop.setActiveWindow(firefox);
        desktop.copyFromOtherProgram(ClipboardMode::Clipboard, userContent);
        injector.onLog = [this](const QString& line, common::LogColor) { logs << line; };
        injector.onNotify = [this](const QString& title, const QString& body) { notices << title + " | " + body; };
        injector.onAXRevoked = [this](const QString& source) { revoked << source; };
    }

    // Starts a paste; it goes on while the clock is advanced.
    std::shared_ptr<bool> paste(const QString& text, const FocusTarget& target)
    {
        auto done = std::make_shared<bool>(false);
        [](QCoro::Task<> task, std::shared_ptr<bool> finished) -> QCoro::Task<> {
            co_await std::move(task);
            *finished = true;
        }(injector.injectModeA(text, target), done);
        return done;
    }

    FakeDesktop desktop;
    test::FakeClock clock;
    AXHealth health { desktop };
    InputInjector input { health, desktop };
    SystemVoiceTextInjector injector { health, input, desktop, desktop, clock };
    QStringList logs;
    QStringList notices;
    QStringList revoked;
};

TEST(SystemVoiceTextInjectorTest, PasteIntoXtermThroughPrimaryThenTheClipboardComesBack)
{
    Rig rig;
    std::optional<platform::WindowInfo> aimedAt;
    rig.injector.onModeAStarted = [&](const std::optional<platform::WindowInfo>& window) { aimedAt = window; };

    const auto done = rig.paste(QStringLiteral("ls -la"), targetOf(xterm, QStringLiteral("XTerm")));

    ASSERT_TRUE(*done);
    ASSERT_TRUE(aimedAt);
    EXPECT_EQ(aimedAt->id, xterm);
    EXPECT_EQ(rig.desktop.activationRequests(), QList<platform::WindowId> { xterm });
    ASSERT_EQ(rig.desktop.sentChords().size(), 1);
    const FakeDesktop::SentChord& sent = rig.desktop.sentChords().front();
    EXPECT_EQ(sent.chord, shiftInsert);
    EXPECT_EQ(sent.activeWindow, xterm);
    EXPECT_EQ(sent.clipboardText, QStringLiteral("ls -la"));
    EXPECT_EQ(sent.selectionText, QStringLiteral("ls -la"));
    EXPECT_TRUE(rig.desktop.items(ClipboardMode::Clipboard).contains(FakeDesktop::transientHint()));

    rig.clock.advance(499);
    EXPECT_EQ(rig.desktop.text(ClipboardMode::Clipboard), QStringLiteral("ls -la"));
    rig.clock.advance(1);
    EXPECT_EQ(rig.desktop.items(ClipboardMode::Clipboard), userContent);
    EXPECT_EQ(rig.logs, QStringList { QStringLiteral("Voice inject (Mode A · terminal): ls -la") });
    EXPECT_TRUE(rig.notices.isEmpty());
}

TEST(SystemVoiceTextInjectorTest, ClipboardIsRestoredOnlyAfterASentPasteAndOnlyIfUnchanged)
{
    const QList<ClipboardItem> mine { FakeDesktop::plainText(QStringLiteral("copied meanwhile")) };
    const QList<ClipboardItem> transcript { FakeDesktop::plainText(QStringLiteral("the transcript")),
        FakeDesktop::transientHint() };
    using Step = std::function<void(FakeDesktop&)>;
    struct Row {
        const char* name;
        QList<ClipboardItem> before;
        std::vector<std::pair<qint64, Step>> timeline; // steps on the clock, from the start of the paste
        Step whileStarting; // runs once the text is on the clipboard, before the paste is sent
        bool pasted;
        QList<ClipboardItem> after;
        QString logged; // a line the injector must have written; "" for none beyond the first
    };
    const Step holdCtrl = [](FakeDesktop& d) { d.setHeldModifiers(KeyModifier::Ctrl); };
    const Step letGo = [](FakeDesktop& d) { d.setHeldModifiers({}); };
    const Step userCopies = [&mine](FakeDesktop& d) { d.copyFromOtherProgram(ClipboardMode::Clipboard, mine); };
    const Step loseInjection = [](FakeDesktop& d) { d.setInjectionSupport({ false, QStringLiteral("gone") }); };
    const std::vector<Row> rows {
        { "every type comes back", userContent, {}, {}, true, userContent, "" },
        { "an empty clipboard stays empty", {}, {}, {}, true, {}, "" },
        { "a copy after the paste stays", userContent, { { 200, userCopies } }, {}, true, mine,
            "⚠ Clipboard changed during voice flow, skipping restore (expected cc=3, now cc=4)" },
        { "no key could be sent", userContent, {}, loseInjection, false, transcript,
            "⚠ Voice paste: no key could be sent → text left on the clipboard" },
        { "modifiers held past the limit", userContent, {}, holdCtrl, false, transcript,
            "⚠ Voice paste: modifier keys still held → text left on the clipboard" },
        { "modifiers let go in time", userContent, { { 300, letGo } }, holdCtrl, true, userContent, "" },
        { "a copy while the paste waits comes back", userContent, { { 100, userCopies }, { 300, letGo } }, holdCtrl,
            true, mine, "" },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Rig rig;
        rig.desktop.copyFromOtherProgram(ClipboardMode::Clipboard, row.before);
        for (const auto& [at, step] : row.timeline) {
            rig.clock.schedule(at, [&rig, step] { step(rig.desktop); });
        }
        rig.injector.onModeAStarted = [&rig, &row](const std::optional<platform::WindowInfo>&) {
            if (row.whileStarting) {
                row.whileStarting(rig.desktop);
            }
        };
        const auto done = rig.paste(QStringLiteral("the transcript"), targetOf(kitty, QStringLiteral("kitty")));
        rig.clock.advance(3000);

        EXPECT_TRUE(*done);
        EXPECT_EQ(rig.desktop.sentChords().size(), row.pasted ? 1 : 0);
        for (const FakeDesktop::SentChord& sent : rig.desktop.sentChords()) {
            EXPECT_EQ(sent.clipboardText, QStringLiteral("the transcript"));
            EXPECT_EQ(sent.heldModifiers, platform::KeyModifiers {});
        }
        EXPECT_EQ(rig.desktop.items(ClipboardMode::Clipboard), row.after);
        EXPECT_EQ(rig.notices.size(), row.pasted ? 0 : 1);
        EXPECT_EQ(rig.logs.size(), row.logged.isEmpty() ? 1 : 2);
        if (!row.logged.isEmpty()) {
            EXPECT_TRUE(rig.logs.contains(row.logged)) << rig.logs.join('\n').toStdString();
        }
    }
}

TEST(SystemVoiceTextInjectorTest, PasteGoesToTheTargetWindowOrWhereTheFocusIs)
{
    struct Row {
        const char* name;
        FocusTarget target;
        bool windowManagerAnswers;
        std::optional<platform::WindowId> activeAtStart;
        QList<platform::WindowId> activated;
        KeyChord chord;
        std::optional<platform::WindowId> activeAtPaste;
    };
    const std::vector<Row> rows {
        { "terminal behind the browser", targetOf(kitty, QStringLiteral("kitty")), true, firefox, { kitty }, ctrlShiftV,
            kitty },
        { "target closed: the browser in front", targetOf(0x999, QStringLiteral("XTerm")), true, firefox, { firefox },
            ctrlV, firefox },
        { "target closed, nothing in front", targetOf(0x999, QStringLiteral("XTerm")), true, std::nullopt, {},
            shiftInsert, std::nullopt },
        { "window manager does not answer", targetOf(xterm, QStringLiteral("XTerm")), false, firefox, { xterm },
            shiftInsert, firefox },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Rig rig;
        rig.desktop.setActiveWindow(row.activeAtStart);
        rig.desktop.setWindowManager(
            row.windowManagerAnswers ? FakeDesktop::WindowManager::Activates : FakeDesktop::WindowManager::Ignores);
        EXPECT_TRUE(*rig.paste(QStringLiteral("text"), row.target));
        EXPECT_EQ(rig.desktop.activationRequests(), row.activated);
        ASSERT_EQ(rig.desktop.sentChords().size(), 1);
        EXPECT_EQ(rig.desktop.sentChords().front().chord, row.chord);
        EXPECT_EQ(rig.desktop.sentChords().front().activeWindow, row.activeAtPaste);
        EXPECT_EQ(rig.logs.size(), row.windowManagerAnswers ? 1 : 2);
    }
}

TEST(SystemVoiceTextInjectorTest, ModeBAndLostInjectionLeaveTheTextOnTheClipboard)
{
    // 100 characters of "e" with a combining accent: two UTF-16 units each, cut by what the user sees.
    QString text;
    for (int i = 0; i < 100; ++i) {
        text += QStringLiteral("e\u0301");
    }
    const QString cut40 = text.left(80);
    const QString cut80 = text.left(160);

    Rig modeB;
    modeB.injector.injectModeB(text, ModeBReason::NoEditableFocus);
    modeB.clock.advance(2000);
    EXPECT_EQ(modeB.desktop.items(ClipboardMode::Clipboard), QList { FakeDesktop::plainText(text) });
    EXPECT_EQ(modeB.notices, QStringList { QStringLiteral("murmeli · 录音已复制 | ") + cut80 });
    EXPECT_EQ(modeB.logs, QStringList { QStringLiteral("Voice inject (Mode B · noEditableFocus): ") + cut40 });

    Rig revoked;
    revoked.desktop.setInjectionSupport({ false, QStringLiteral("Wayland session without X11") });
    EXPECT_TRUE(*revoked.paste(text, targetOf(xterm, QStringLiteral("XTerm"))));
    revoked.clock.advance(2000);
    EXPECT_EQ(revoked.revoked, QStringList { QStringLiteral("Voice inject Mode A") });
    EXPECT_EQ(revoked.logs,
        (QStringList { QStringLiteral("⚠ Voice inject blocked: AX revoked at inject time → Mode B fallback"),
            QStringLiteral("Voice inject (Mode B · axRevokedAtInject): ") + cut40 }));
    EXPECT_EQ(revoked.desktop.text(ClipboardMode::Clipboard), text);
    EXPECT_TRUE(revoked.desktop.activationRequests().isEmpty());
    EXPECT_EQ(revoked.notices.size(), 1);
}

} // namespace
} // namespace murmeli::voice
