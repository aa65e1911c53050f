#include "main/voice/injection/InputInjector.h"

#include <gtest/gtest.h>

#include "main/voice/injection/AXHealth.h"
#include "platform/desktop/fake/FakeDesktop.h"

namespace murmeli::voice {
namespace {

TEST(InputInjectorTest, InjectionSupportDecidesTrustMessagesAndWhatIsSent)
{
    struct Row {
        platform::InjectionSupport support;
        QString description;
        bool sent;
    };
    const Row rows[] = {
        { { true, {} }, QStringLiteral("can inject here"), true },
        { { false, QStringLiteral("Wayland session without X11") },
            QStringLiteral("cannot inject here: Wayland session without X11"), false },
        { { false, {} }, QStringLiteral("cannot inject here: no reason given"), false },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.description.toStdString());
        platform::FakeDesktop desktop;
        desktop.setInjectionSupport(row.support);
        const AXHealth health(desktop);
        InputInjector input(health, desktop);
        QStringList blocked;
        input.onAXRevoked = [&blocked](const QString& operation) { blocked << operation; };

        EXPECT_EQ(health.isTrusted(), row.sent);
        EXPECT_EQ(health.selfDescribe(), row.description);
        EXPECT_EQ(input.paste(PasteKey::CtrlShiftV), row.sent);
        EXPECT_EQ(input.sendKey({ platform::keysym::Escape, std::nullopt, {} }), row.sent);
        EXPECT_EQ(desktop.sentChords().size(), row.sent ? 2 : 0);
        EXPECT_EQ(blocked, row.sent ? QStringList {} : (QStringList { "paste", "sendKey" }));
        EXPECT_EQ(input.blockedLine(QStringLiteral("paste")),
            QStringLiteral("⚠ Input injection blocked: AX revoked (paste) — ") + row.description);
    }
}

} // namespace
} // namespace murmeli::voice
