#include "main/app/DeviceRows.h"

#include <gtest/gtest.h>

#include "tests/support/FakeClock.h"

using namespace murmeli;
using notch::SessionRow;
using notch::SessionState;
namespace DeviceRows = app::DeviceRows;

TEST(DeviceRowsTest, StateWords)
{
    struct Case {
        SessionState state;
        const char* list;
        const char* detail;
    };
    const Case cases[] = {
        { SessionState::noSession(), "idle", "idle" },
        { SessionState::idle(), "idle", "idle" },
        { SessionState::working(), "working", "working" },
        { SessionState::pttActive(), "working", "working" },
        { SessionState::compacting(), "working", "working" },
        { SessionState::needsApproval(), "approval", "attention" },
        { SessionState::waitingForAnswer(), "approval", "attention" },
        { SessionState::error(QStringLiteral("boom")), "approval", "error" },
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DeviceRows::sessionListState(c.state), QString::fromLatin1(c.list))
            << toString(c.state).toStdString();
        EXPECT_EQ(DeviceRows::sessionDetailState(c.state), QString::fromLatin1(c.detail))
            << toString(c.state).toStdString();
    }
}

TEST(DeviceRowsTest, RowsAndAccountFromThePanelState)
{
    test::FakeClock clock;
    notch::PanelViewModel vm(clock);
    EXPECT_TRUE(DeviceRows::sessionDetails(vm, clock.now()).isEmpty());
    EXPECT_FALSE(DeviceRows::account(vm).email);

    SessionRow alpha;
    alpha.sid = QStringLiteral("aaaa1111");
    alpha.projectName = QStringLiteral("alpha");
    alpha.state = SessionState::working();
    alpha.updatedAt = clock.now().addSecs(-90);
    alpha.isActive = true;
    SessionRow beta;
    beta.sid = QStringLiteral("bbbb2222");
    beta.state = SessionState::needsApproval();
    beta.updatedAt = clock.now();
    vm.setSessions({ alpha, beta });
    vm.setContextPercent(140);
    vm.setModelName(QStringLiteral("Opus 4"));

    const auto list = DeviceRows::sessionList(vm);
    ASSERT_EQ(list.size(), 2);
    EXPECT_EQ(list.at(1), (device::SListBridge::WireRow { "bbbb2222", "approval", "" }));

    const auto details = DeviceRows::sessionDetails(vm, clock.now());
    ASSERT_EQ(details.size(), 2);
    // The active session shows its model and its context in 200k tokens, the percentage clamped to 100.
    EXPECT_EQ(details.at(0),
        (device::SessionDetailBridge::WireRow {
            "aaaa1111", "working", "alpha", "Opus 4", "", "200k", "200k", "1m", 0 }));
    EXPECT_EQ(details.at(1),
        (device::SessionDetailBridge::WireRow { "bbbb2222", "attention", "bbbb2222", "", "", "0", "0", "0s", 0 }));
    vm.setContextPercent(9);
    EXPECT_EQ(DeviceRows::sessionDetails(vm, clock.now()).at(0).ctxUsed, QStringLiteral("18k"));

    vm.setCloudEmail(QStringLiteral("me@example.com"));
    vm.setCloudTier(QStringLiteral("pay go"));
    const auto account = DeviceRows::account(vm);
    EXPECT_EQ(account.email, QStringLiteral("me@example.com"));
    EXPECT_EQ(account.plan, QStringLiteral("Pay Go"));
    EXPECT_EQ(account.renew, QString(QChar(0x2014)));
    vm.setCloudTier(QString());
    EXPECT_EQ(DeviceRows::account(vm).plan, QStringLiteral("Free")) << "the plan the account page names";
}
