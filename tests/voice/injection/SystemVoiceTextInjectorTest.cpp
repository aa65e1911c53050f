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

constexpr platform::WindowId xterm = 0x100, firefox = 0x200, kitty = 0x300;

const KeyChord shiftInsert { platform::keysym::Insert, std::nullopt, KeyModifier::Shift };
const KeyChord ctrlShiftV { platform::keysym::V, std::nullopt, KeyModifier::Ctrl | KeyModifier::Shift };
const KeyChord ctrlV { platform::keysym::V, std::nullopt, KeyModifier::Ctrl };

const QList<ClipboardItem> userContent { FakeDesktop::plainText(QStringLiteral("old text")),
    { QStringLiteral("image/png"), QByteArray("\x89PNG\r\n\x1a\n", 8) } };
const QList<ClipboardItem> userSelection { FakeDesktop::plainText(QStringLiteral("highlighted")) };

FocusTarget targetOf(platform::WindowId id, const char* windowClass)
{
    return { QStringLiteral("terminal"), QString::fromLatin1(windowClass), std::nullopt, id };
}

// The desktop with a browser in front of two terminals, the user's clipboard, and one injector that reports into lists.
struct Rig {
    Rig()
    {
        for (const auto& [id, windowClass] :
            { std::pair { xterm, "XTerm" }, { firefox, "firefox" }, { kitty, "kitty" } }) {
            desktop.addWindow({ id, {}, QString::fromLatin1(windowClass), qint64(id), {} });
        }
        desktop.setActiveWindow(firefox);
        desktop.copyFromOtherProgram(ClipboardMode::Clipboard, userContent);
        desktop.copyFromOtherProgram(ClipboardMode::Selection, userSelection);
        injector.onLog = [this](const QString& line, common::LogColor) { logs << line; };
        injector.onNotify = [this](const QString& title, const QString& body) { notices << title + " | " + body; };
        injector.onAXRevoked = [this](const QString& source) { revoked << source; };
    }

    // Starts a paste, which goes on while the clock is advanced; the flag tells when it has finished.
    std::shared_ptr<bool> paste(const QString& text, const FocusTarget& target)
    {
        auto done = std::make_shared<bool>(false);
        [](QCoro::Task<std::optional<QString>> task, std::shared_ptr<bool> finished, Rig* rig) -> QCoro::Task<> {
            rig->notPasted = co_await std::move(task);
            *finished = true;
        }(injector.injectModeA(text, target), done, this);
        return done;
    }

    FakeDesktop desktop;
    test::FakeClock clock;
    AXHealth health { desktop };
    InputInjector input { health, desktop };
    SystemVoiceTextInjector injector { health, input, desktop, desktop, clock };
    QStringList logs, notices, revoked;
    // Why the last paste did not happen.
    std::optional<QString> notPasted;
};

TEST(SystemVoiceTextInjectorTest, PasteGoesOnlyToTheTargetWindowWithItsKeyAndTheClipboardComesBack)
{
    struct Row {
        const char* name;
        FocusTarget target;
        std::optional<platform::WindowId> activeAtStart;
        bool windowManagerAnswers;
        std::optional<platform::WindowId> aimedAt; // announced and activated
        std::optional<KeyChord> chord; // none: nothing is pasted, and the text stays on the clipboard
    };
    const std::vector<Row> rows {
        { "xterm behind the browser", targetOf(xterm, "XTerm"), firefox, true, xterm, shiftInsert },
        { "kitty behind the browser", targetOf(kitty, "kitty"), firefox, true, kitty, ctrlShiftV },
        { "target closed: the browser in front", targetOf(0x999, "XTerm"), firefox, true, std::nullopt, std::nullopt },
        { "target closed, nothing in front", targetOf(0x999, "XTerm"), std::nullopt, true, std::nullopt, std::nullopt },
        { "window manager does not answer", targetOf(xterm, "XTerm"), firefox, false, xterm, std::nullopt },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Rig rig;
        rig.desktop.setActiveWindow(row.activeAtStart);
        rig.desktop.setWindowManager(
            row.windowManagerAnswers ? FakeDesktop::WindowManager::Activates : FakeDesktop::WindowManager::Ignores);
        std::optional<platform::WindowId> announced;
        rig.injector.onModeAStarted = [&](const std::optional<platform::WindowInfo>& w) {
            announced = w ? std::optional(w->id) : std::nullopt;
        };
        EXPECT_TRUE(*rig.paste(QStringLiteral("ls -la"), row.target));
        EXPECT_EQ(announced, row.aimedAt);
        EXPECT_EQ(
            rig.desktop.activationRequests(), row.aimedAt ? QList { *row.aimedAt } : QList<platform::WindowId> {});
        EXPECT_EQ(rig.logs.first(), QStringLiteral("Voice inject (Mode A · terminal): ls -la"));
        EXPECT_EQ(rig.notPasted.has_value(), !row.chord);
        if (!row.chord) {
            EXPECT_TRUE(rig.desktop.sentChords().empty());
            EXPECT_EQ(rig.notices, QStringList { QStringLiteral("murmeli · 录音已复制 | ls -la") });
            rig.clock.advance(2000);
            EXPECT_EQ(rig.desktop.text(ClipboardMode::Clipboard), QStringLiteral("ls -la"));
            continue;
        }
        ASSERT_EQ(rig.desktop.sentChords().size(), 1);
        const FakeDesktop::SentChord& sent = rig.desktop.sentChords().front();
        EXPECT_EQ(sent.chord, *row.chord);
        EXPECT_EQ(sent.activeWindow, row.aimedAt);
        EXPECT_EQ(sent.clipboardText, QStringLiteral("ls -la"));
        EXPECT_EQ(sent.selectionText, QStringLiteral("ls -la"));
        EXPECT_TRUE(rig.desktop.items(ClipboardMode::Clipboard).contains(FakeDesktop::transientHint()));
        EXPECT_EQ(rig.logs.size(), 1);

        rig.clock.advance(499);
        EXPECT_EQ(rig.desktop.text(ClipboardMode::Clipboard), QStringLiteral("ls -la"));
        rig.clock.advance(1);
        EXPECT_EQ(rig.desktop.items(ClipboardMode::Clipboard), userContent);
        EXPECT_EQ(rig.desktop.items(ClipboardMode::Selection), userSelection);
    }
}

TEST(SystemVoiceTextInjectorTest, ClipboardIsRestoredOnlyAfterASentPasteAndOnlyIfUnchanged)
{
    const QString said = QStringLiteral("the transcript");
    const QList<ClipboardItem> mine { FakeDesktop::plainText(QStringLiteral("copied meanwhile")) };
    const QList<ClipboardItem> transient { FakeDesktop::plainText(said), FakeDesktop::transientHint() };
    using Step = std::function<void(FakeDesktop&)>;
    const Step holdCtrl = [](FakeDesktop& d) { d.setHeldModifiers(KeyModifier::Ctrl); };
    const Step letGo = [](FakeDesktop& d) { d.setHeldModifiers({}); };
    const Step userCopies = [&mine](FakeDesktop& d) { d.copyFromOtherProgram(ClipboardMode::Clipboard, mine); };
    const Step loseInjection = [](FakeDesktop& d) { d.setInjectionSupport({ false, QStringLiteral("gone") }); };
    struct Row {
        const char* name;
        QList<ClipboardItem> before;
        Step atStart; // before the paste starts
        Step whileStarting; // once the text is on the clipboard, before the key goes out
        std::vector<std::pair<qint64, Step>> timeline; // on the clock, from the start of the paste
        QList<ClipboardItem> after; // once every timer has run
        QString logged; // the line that follows the first one; "" for none
    };
    const std::vector<Row> rows {
        { "an empty clipboard stays empty", {}, {}, {}, {}, {}, "" },
        { "a copy after the paste stays", userContent, {}, {}, { { 200, userCopies } }, mine,
            "⚠ Clipboard changed during voice flow, skipping restore (expected cc=3, now cc=4)" },
        { "modifiers let go in time", userContent, {}, holdCtrl, { { 300, letGo } }, userContent, "" },
        { "a copy while the paste waits comes back", userContent, {}, holdCtrl, { { 100, userCopies }, { 300, letGo } },
            mine, "" },
        { "no key could be sent", userContent, {}, loseInjection, {}, transient,
            "⚠ Voice paste: no key could be sent → text left on the clipboard" },
        { "modifiers held past the limit", userContent, {}, holdCtrl, {}, transient,
            "⚠ Voice paste: modifier keys still held → text left on the clipboard" },
        { "no injection at the paste: Mode B", userContent, loseInjection, {}, {}, { FakeDesktop::plainText(said) },
            "Voice inject (Mode B · axRevokedAtInject): the transcript" },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Rig rig;
        rig.desktop.copyFromOtherProgram(ClipboardMode::Clipboard, row.before);
        for (const auto& [at, step] : row.timeline) {
            rig.clock.schedule(at, [&rig, step] { step(rig.desktop); });
        }
        if (row.atStart) {
            row.atStart(rig.desktop);
        }
        rig.injector.onModeAStarted = [&](const std::optional<platform::WindowInfo>&) {
            if (row.whileStarting) {
                row.whileStarting(rig.desktop);
            }
        };
        const auto done = rig.paste(said, targetOf(kitty, "kitty"));
        rig.clock.advance(3000);

        EXPECT_TRUE(*done);
        const bool pasted = row.after != transient && !row.atStart;
        EXPECT_EQ(rig.desktop.sentChords().size(), pasted ? 1 : 0);
        for (const FakeDesktop::SentChord& sent : rig.desktop.sentChords()) {
            EXPECT_EQ(sent.clipboardText, said);
            EXPECT_EQ(sent.heldModifiers, platform::KeyModifiers {});
        }
        EXPECT_EQ(rig.desktop.items(ClipboardMode::Clipboard), row.after);
        EXPECT_EQ(
            rig.notices, pasted ? QStringList {} : QStringList { QStringLiteral("murmeli · 录音已复制 | ") + said });
        EXPECT_EQ(rig.logs.value(1), row.logged);
        EXPECT_EQ(rig.revoked, row.atStart ? QStringList { QStringLiteral("Voice inject Mode A") } : QStringList {});
    }
}

TEST(SystemVoiceTextInjectorTest, AnAbandonedPasteSendsNoKeyAndGivesTheClipboardBackAtOnce)
{
    Rig rig;
    rig.desktop.setHeldModifiers(KeyModifier::Ctrl);
    const auto done = rig.paste(QStringLiteral("ls -la\n"), targetOf(kitty, "kitty"));
    rig.clock.advance(100);
    EXPECT_FALSE(*done);
    rig.injector.abandonPaste();
    rig.clock.advance(20);

    EXPECT_TRUE(*done);
    EXPECT_TRUE(rig.desktop.sentChords().empty());
    EXPECT_EQ(rig.desktop.items(ClipboardMode::Clipboard), userContent);
    EXPECT_EQ(rig.desktop.items(ClipboardMode::Selection), userSelection);
    EXPECT_EQ(rig.logs.last(), QStringLiteral("Voice paste: cancelled before the key went out → nothing pasted"));
    // A later paste is not touched by it.
    rig.desktop.setHeldModifiers({});
    EXPECT_TRUE(*rig.paste(QStringLiteral("pwd"), targetOf(kitty, "kitty")));
    EXPECT_EQ(rig.desktop.sentChords().size(), 1);
}

TEST(SystemVoiceTextInjectorTest, ModeBReplacesTheClipboardForGoodAndCutsByCharacters)
{
    // 100 characters of "e" with a combining accent: two UTF-16 units each, cut by what the user sees.
    const QString text = QStringLiteral("e\u0301").repeated(100);
    Rig rig;
    rig.injector.injectModeB(text, ModeBReason::NoEditableFocus);
    rig.clock.advance(2000);
    EXPECT_EQ(rig.desktop.items(ClipboardMode::Clipboard), QList { FakeDesktop::plainText(text) });
    EXPECT_EQ(rig.notices, QStringList { QStringLiteral("murmeli · 录音已复制 | ") + text.left(160) });
    EXPECT_EQ(rig.logs, QStringList { QStringLiteral("Voice inject (Mode B · noEditableFocus): ") + text.left(80) });
}

} // namespace
} // namespace murmeli::voice
