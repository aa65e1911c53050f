// Held permission requests through the whole way to the panel: the hook server, the approval road and the pending
// table, the sessions' road and the panel's view model, and the panel's own window and views, drawn offscreen.
// Whoever answers a request, the panel shows it in the turn of the answer, without waiting for a sync.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QMouseEvent>

#include "main/app/AppController.h"
#include "main/notch/kit/Standing.h"
#include "main/notch/kit/ViewHost.h"
#include "main/notch/panel/NotchPanelController.h"
#include "main/notch/views/ApprovalCard.h"
#include "main/notch/views/ContentAreaView.h"
#include "main/notch/views/NotchView.h"
#include "main/notch/views/SessionListRow.h"
#include "main/notch/views/SessionListSurfaceView.h"
#include "main/notch/views/SystemColors.h"
#include "main/notch/views/TopStripView.h"
#include "platform/desktop/fake/FakeDesktop.h"
#include "platform/desktop/fake/FakeScreenProvider.h"
#include "platform/overlay/fake/FakeOverlay.h"
#include "platform/secrets/fake/FakeSecretStore.h"
#include "tests/support/ControllerDependencies.h"
#include "tests/support/ControllerProbe.h"
#include "tests/support/FakeClock.h"
#include "tests/support/HttpClient.h"
#include "tests/support/ShownText.h"
#include "tests/support/Wait.h"

using namespace murmeli;
using hooks::ApprovalDecision;
using test::waitUntil;

namespace {

constexpr QRectF screenFrame { 0, 0, 1920, 1080 };

/// What the panel shows at one moment: each card with its session and the command it shows, the text the strip
/// runs, and whether the panel is open.
struct Scene {
    QStringList cards;
    QString strip;
    bool expanded = false;
};

class AppControllerApprovalPanelTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const QString directory = files.path() + QStringLiteral("/murmeli");
        ASSERT_TRUE(QDir().mkpath(directory));
        QFile::setPermissions(directory, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        for (const char* session : { "aaaa1111", "bbbb2222" }) {
            QFile status(directory + QStringLiteral("/%1-status.json").arg(QLatin1String(session)));
            ASSERT_TRUE(status.open(QIODevice::WriteOnly));
            status.write(R"({"workspace":{"current_dir":"/home/dev/project"}})");
            status.flush();
            ASSERT_TRUE(status.setFileTime(clock->now(), QFileDevice::FileModificationTime));
        }
        controller.startBackend(QString());
        ASSERT_TRUE(waitUntil([&] { return controller.vm().sessions().size() == 2; }));
        screens.setScreens({ platform::FakeScreenProvider::plainScreen(1, QStringLiteral("Screen"), screenFrame) });
        screens.setSpace(platform::ScreenSpace(screenFrame));
        panel.show();
        // Registered after the panel's own sync: each scene is what the panel shows once the change is in.
        watching = table().observeChanges([this] { scenes << look(); });
    }

    hooks::PendingRequestTable& table() { return test::ControllerProbe::pendingTable(controller); }

    std::unique_ptr<test::HttpClient> ask(
        const char* session, const char* id, const char* command, const QString& tool = QStringLiteral("Bash"))
    {
        const QByteArray body = QJsonDocument(
            QJsonObject { { "session_id", QLatin1String(session) + QStringLiteral("-0000-4000-8000-000000000000") },
                { "tool_name", tool }, { "tool_use_id", id },
                { "tool_input", QJsonObject { { "command", command } } } })
                                    .toJson(QJsonDocument::Compact);
        auto client = std::make_unique<test::HttpClient>(test::ControllerProbe::hookServer(controller).port());
        const int before = table().pendingCountTotal();
        client->write("POST /hook/PermissionRequest HTTP/1.1\r\nContent-Length: " + QByteArray::number(body.size())
            + "\r\n\r\n" + body);
        EXPECT_TRUE(waitUntil([&] { return table().pendingCountTotal() == before + 1; }));
        return client;
    }

    notch::NotchView& root() { return *panel.rootView(); }
    notch::ViewHost& window() { return *panel.window(); }

    /// Draws the window as a frame would, and reads what it drew.
    Scene look()
    {
        QImage image(window().size(), QImage::Format_ARGB32_Premultiplied);
        window().render(&image);
        Scene scene;
        notch::ContentAreaView* content = root().contentArea();
        notch::SessionListSurfaceView* list = content ? content->sessionList() : nullptr;
        for (const notch::SessionRow& row : controller.vm().sessions()) {
            notch::SessionListRow* view = list ? list->row(row.sid) : nullptr;
            if (view && view->approvalCard()) {
                scene.cards << row.sid + QLatin1Char(' ') + view->approvalCard()->shownCommandLines().join(QString());
            }
        }
        scene.strip = notch::TopStripView::fullMarqueeText(root().strip().inputs());
        scene.expanded = panel.isExpanded();
        return scene;
    }

    /// Opens the panel the way the pointer does, lets it come to rest, and its cards stand still their second.
    void open()
    {
        overlay.moveTo(
            screens.space()
                .toQt(notch::NotchPanelController::closedNotchScreenRect(*panel.currentGeometry(), false).center())
                .toPoint());
        ASSERT_TRUE(panel.isExpanded());
        look();
        clock->advance(1000);
        look();
        clock->advance(notch::Standing::decisionMs);
        look();
    }

    void mouse(QEvent::Type type, QPointF at)
    {
        QMouseEvent event(type, at, window().mapToGlobal(at), Qt::LeftButton,
            type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&window(), &event);
    }

    /// The content shrank from under the pointer: the window hears that the pointer left, then a move out there.
    void pointerLeftTheShrunkContent()
    {
        QEvent leave(QEvent::Leave);
        QCoreApplication::sendEvent(&window(), &leave);
        mouse(QEvent::MouseMove, QPointF(root().boxFrame().center().x(), root().boxFrame().bottom() + 40));
    }

    std::shared_ptr<test::FakeClock> clock = std::make_shared<test::FakeClock>();
    QTemporaryDir files;
    app::AppController controller { test::controllerDependencies(
        files, std::make_shared<platform::FakeSecretStore>(), clock) };
    platform::FakeScreenProvider screens;
    platform::FakeOverlay overlay;
    platform::FakeDesktop desktop;
    notch::NotchPanelController panel { notch::NotchPanelLinks {
        controller.vm(), controller.clock(), screens, controller.defaults(), overlay, overlay, &desktop, {} } };
    QList<Scene> scenes;
    hooks::PendingRequestTable::Subscription watching;
};

} // namespace

TEST_F(AppControllerApprovalPanelTest, EachAnswerShowsOnThePanelInItsOwnTurnAndTheNextRequestWaitsThere)
{
    // Two sessions ask; each row shows its own request.
    auto one = ask("aaaa1111", "tu-1", "echo one");
    auto two = ask("bbbb2222", "tu-2", "echo two");
    open();
    Scene now = look();
    EXPECT_EQ(now.cards, (QStringList { "aaaa1111 $ echo one", "bbbb2222 $ echo two" }));
    EXPECT_TRUE(now.strip.endsWith("Bash: echo one")) << now.strip.toStdString();

    // Yes on the panel: answered once the click has gone through the event loop; the card goes in that turn, the
    // other request stays on show, and the panel stays open although its content shrank from under the pointer.
    notch::ApprovalCard* card = root().contentArea()->sessionList()->row("aaaa1111")->approvalCard();
    ASSERT_NE(card, nullptr);
    const QPointF yes = card->buttonFrames()[1].center();
    mouse(QEvent::MouseButtonPress, yes);
    mouse(QEvent::MouseButtonRelease, yes);
    ASSERT_TRUE(waitUntil([&] { return table().pendingCountTotal() == 1; }));
    EXPECT_EQ(scenes.last().cards, QStringList { "bbbb2222 $ echo two" });
    EXPECT_TRUE(scenes.last().strip.endsWith("Bash: echo two")) << scenes.last().strip.toStdString();
    EXPECT_TRUE(scenes.last().expanded);
    EXPECT_TRUE(one->readUntilClosed().endsWith(R"({"behavior":"allow"},"hookEventName":"PermissionRequest"}})"));
    pointerLeftTheShrunkContent();
    EXPECT_TRUE(panel.isExpanded());

    // The device answers the other: nothing waits any more, the strip has nothing to say, and the panel the
    // pointer has left closes.
    table().resolve("tu-2", ApprovalDecision::deny());
    EXPECT_EQ(scenes.last().cards, QStringList());
    EXPECT_TRUE(scenes.last().strip.isEmpty()) << scenes.last().strip.toStdString();
    EXPECT_FALSE(scenes.last().expanded);
    EXPECT_TRUE(two->readUntilClosed().endsWith(R"({"behavior":"deny"},"hookEventName":"PermissionRequest"}})"));

    // One session asks twice: its row shows the first; when that fails open at its time-out the second takes its
    // place in the same turn.
    auto three = ask("aaaa1111", "tu-3", "echo three");
    auto four = ask("aaaa1111", "tu-4", "echo four");
    open();
    EXPECT_EQ(look().cards, QStringList { "aaaa1111 $ echo three" });
    clock->advance(25000);
    EXPECT_EQ(table().activeRequest()->toolUseId, "tu-4");
    EXPECT_EQ(scenes.last().cards, QStringList { "aaaa1111 $ echo four" });
    EXPECT_TRUE(scenes.last().strip.endsWith("Bash: echo four")) << scenes.last().strip.toStdString();
    EXPECT_TRUE(scenes.last().expanded);
    EXPECT_TRUE(three->readUntilClosed().endsWith("\r\n\r\n{}"));
    pointerLeftTheShrunkContent();
    EXPECT_TRUE(panel.isExpanded());

    // The user answers the second in the agent's terminal: the agent reports the command done, which lets it go.
    const int before = static_cast<int>(scenes.size());
    controller.sessions().handleHookEvent(QStringLiteral("PostToolUse"),
        { { "session_id", "aaaa1111-0000-4000-8000-000000000000" }, { "tool_name", "Bash" },
            { "tool_input", QJsonObject { { "command", "echo four" } } } });
    ASSERT_EQ(scenes.size(), before + 1);
    EXPECT_EQ(scenes.last().cards, QStringList());
    EXPECT_TRUE(scenes.last().strip.isEmpty()) << scenes.last().strip.toStdString();
    EXPECT_FALSE(scenes.last().expanded);
    EXPECT_TRUE(four->readUntilClosed().endsWith("\r\n\r\n{}"));

    // Closed, the strip runs nothing about an approval.
    clock->advance(1000);
    look();
    EXPECT_NE(root().strip().arrangement(), notch::TopStripView::Arrangement::FullWidthMarquee);
    EXPECT_TRUE(controller.vm().pendingApprovalMessage().isEmpty());
}

// One session asks twice in a row, as parallel tool calls do: "echo A", and 0.3 s later another command. The person
// answers the first with Yes; the second takes its place on the same card, under the pointer still resting on Yes, with
// only its command changed and the command's rim lit, so that it is seen to be new. A second click on the spot, 80 ms
// to 0.95 s later (the first seemed not to take), answers nothing, and Yes is drawn waiting, even after the pointer
// left the button and came back; once the second has stood on the card a second, Yes answers it.
TEST_F(AppControllerApprovalPanelTest, ARequestThatTakesAnothersPlaceUnderThePointerWaitsItsSecond)
{
    QStringList taps;
    notch::PanelViewModel& vm = controller.vm();
    vm.onApprove = [&taps, approve = vm.onApprove](
                       const QString& sid, const QString& toolUseId, notch::NotchApprovalAction action) {
        taps << toolUseId;
        approve(sid, toolUseId, action);
    };
    const auto card = [&] { return root().contentArea()->sessionList()->row("aaaa1111")->approvalCard(); };
    const auto picture = [&] {
        QImage image(window().size(), QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        window().render(&image);
        return image;
    };
    const QByteArray allowed = R"({"behavior":"allow"},"hookEventName":"PermissionRequest"}})";
    open();
    int round = 0;
    for (const int later : { 80, 300, 700, 950 }) {
        SCOPED_TRACE(later);
        const QByteArray first = "tu-a" + QByteArray::number(round);
        const QByteArray second = "tu-b" + QByteArray::number(round++);
        auto a = ask("aaaa1111", first.constData(), "echo A");
        clock->advance(300);
        auto b = ask("aaaa1111", second.constData(), "echo B");
        clock->advance(notch::Standing::decisionMs);
        look();
        ASSERT_NE(card(), nullptr);
        const QPointF yes = card()->buttonFrames()[1].center();
        const QPointF command = card()->commandFrame().center();
        const auto click = [&] {
            mouse(QEvent::MouseButtonPress, yes);
            mouse(QEvent::MouseButtonRelease, yes);
        };
        // The hand comes down from the command onto Yes and clicks: the first is let through.
        mouse(QEvent::MouseMove, command);
        mouse(QEvent::MouseMove, yes);
        click();
        EXPECT_TRUE(a->readUntilClosed().endsWith(allowed));
        ASSERT_EQ(look().cards, QStringList { "aaaa1111 $ echo B" });
        const QImage replaced = picture();
        const QRectF block = card()->commandFrame();
        EXPECT_GT(replaced.pixelColor(QPointF(block.center().x(), block.top() + 1).toPoint()).red(), 200)
            << "the new request's rim is not lit";
        const QPoint lit = card()->buttonFrames()[1].topLeft().toPoint() + QPoint(4, 12);
        EXPECT_NE(replaced.pixelColor(lit), notch::SystemColors::orange)
            << "Yes under the resting pointer is not faded";

        mouse(QEvent::MouseMove, command);
        mouse(QEvent::MouseMove, yes);
        clock->advance(later);
        look();
        click();
        QCoreApplication::processEvents();
        EXPECT_EQ(taps.join(' ').toStdString(), first.toStdString()) << "the second was answered unread";
        EXPECT_FALSE(b->closedByServer());

        clock->advance(notch::Standing::decisionMs - later);
        EXPECT_EQ(picture().pixelColor(lit), notch::SystemColors::orange);
        click();
        EXPECT_EQ(taps.join(' ').toStdString(), (first + ' ' + second).toStdString());
        EXPECT_TRUE(b->readUntilClosed().endsWith(allowed));
        taps.clear();
    }
}

// Five sessions ask one second apart. Only the request at the head of the line runs out of time, so its card is the
// first the person meets, with the seconds it has left, and no card of a request still in line sits above it. Answering
// the top card every 5 s answers each request before its time is out: none goes to its agent's own prompt.
TEST_F(AppControllerApprovalPanelTest, TheTopCardIsTheRequestWhoseTimeRuns)
{
    const QStringList sessions { "aaaa1111", "bbbb2222", "cccc3333", "dddd4444", "eeee5555" };
    const QString directory = files.path() + QStringLiteral("/murmeli");
    for (const QString& session : sessions.mid(2)) {
        QFile status(directory + QLatin1Char('/') + session + QStringLiteral("-status.json"));
        ASSERT_TRUE(status.open(QIODevice::WriteOnly));
        status.write(R"({"workspace":{"current_dir":"/home/dev/project"}})");
        status.flush();
        ASSERT_TRUE(status.setFileTime(clock->now(), QFileDevice::FileModificationTime));
    }
    test::ControllerProbe::sessionRegistry(controller).refresh();
    std::vector<std::unique_ptr<test::HttpClient>> agents;
    for (qsizetype i = 0; i < sessions.size(); ++i) {
        if (i > 0) {
            clock->advance(1000);
        }
        const QByteArray id = "tu-" + QByteArray::number(i);
        const QByteArray command = "echo " + QByteArray::number(i);
        agents.push_back(ask(sessions[i].toLatin1().constData(), id.constData(), command.constData()));
        // The panel's poll lists the sessions anew, the last to act first.
        controller.sessions().syncSessions();
        ASSERT_TRUE(waitUntil([&] { return !test::ControllerProbe::panelSync(controller).isReading(); }));
    }
    open();
    const auto topCard = [&]() -> notch::ApprovalCard* {
        for (const notch::SessionRow& row : controller.vm().sessions()) {
            notch::SessionListRow* view = root().contentArea()->sessionList()->row(row.sid);
            if (view && view->approvalCard()) {
                return view->approvalCard();
            }
        }
        return nullptr;
    };

    QStringList failedOpen;
    for (qsizetype answered = 0; answered < sessions.size(); ++answered) {
        SCOPED_TRACE(answered);
        if (!table().hasActive()) {
            break;
        }
        const QString active
            = table().activeRequest()->sessionId + QStringLiteral(" $ ") + table().activeRequest()->commandPreview;
        const Scene scene = look();
        ASSERT_FALSE(scene.cards.isEmpty());
        EXPECT_EQ(scene.cards.first().toStdString(), active.toStdString()) << "the top card waits in line";
        notch::ApprovalCard* card = topCard();
        ASSERT_NE(card, nullptr);
        // Its time started when the one before was answered, 5 s ago, or at its arrival for the first, 6 s ago.
        EXPECT_EQ(card->timeLeft().toStdString(), answered == 0 ? "19 s left" : "20 s left");
        const QPointF yes = card->buttonFrames()[1].center();
        mouse(QEvent::MouseMove, card->commandFrame().center());
        mouse(QEvent::MouseMove, yes);
        mouse(QEvent::MouseButtonPress, yes);
        mouse(QEvent::MouseButtonRelease, yes);
        QCoreApplication::processEvents();
        // The next card is drawn, and read for a second before its Yes is pressed.
        clock->advance(4000);
        look();
        clock->advance(1000);
    }
    for (qsizetype i = 0; i < sessions.size(); ++i) {
        if (agents[static_cast<size_t>(i)]->readUntilClosed().endsWith("\r\n\r\n{}")) {
            failedOpen << sessions[i];
        }
    }
    EXPECT_EQ(failedOpen.join(' ').toStdString(), "") << failedOpen.size() << " of 5 went to the agent's own prompt";
    EXPECT_EQ(table().pendingCountTotal(), 0);
}

// Always Allow answers a request of any tool name where the panel shows it, and allows what its label says: the rule
// the agent is given names the tool as the agent wrote it, while the card and the strip show its controls as escapes.
TEST_F(AppControllerApprovalPanelTest, AlwaysAllowAnswersAToolOfAnyNameAndShowsItsControlsAsEscapes)
{
    const QString names[] = { QStringLiteral("x\n").repeated(200), QString(600, QChar(0x6F22)),
        QStringLiteral("mcp__files__read_\u202Etxt.exe_llehs_tucexe") };
    open();
    int round = 0;
    for (const QString& name : names) {
        SCOPED_TRACE(name.left(30).toStdString());
        const QByteArray id = "tu-always-" + QByteArray::number(round++);
        auto agent = ask("aaaa1111", id.constData(), "ls", name);
        const Scene shown = look();
        clock->advance(notch::Standing::decisionMs + 50);
        look();
        notch::ApprovalCard* card = root().contentArea()->sessionList()->row("aaaa1111")->approvalCard();
        ASSERT_NE(card, nullptr);
        EXPECT_FALSE(test::holdsLiveControls(card->headerLine() + card->buttonLabelLines(2).join(QString())
            + card->command().text().section(QStringLiteral("\ntool: "), 1) + shown.strip));
        const QPointF always = card->buttonFrames()[2].center();
        ASSERT_TRUE(root().contentArea()->sessionList()->viewport().contains(always));
        mouse(QEvent::MouseMove, always);
        mouse(QEvent::MouseButtonPress, always);
        mouse(QEvent::MouseButtonRelease, always);
        const QByteArray reply = agent->readUntilClosed();
        const QJsonObject decision = QJsonDocument::fromJson(reply.mid(reply.indexOf("\r\n\r\n") + 4))
                                         .object()
                                         .value(QStringLiteral("hookSpecificOutput"))
                                         .toObject()
                                         .value(QStringLiteral("decision"))
                                         .toObject();
        EXPECT_EQ(decision.value(QStringLiteral("behavior")).toString(), QStringLiteral("allow"))
            << reply.toStdString();
        const QJsonObject rule = decision.value(QStringLiteral("updatedPermissions"))
                                     .toArray()
                                     .at(0)
                                     .toObject()
                                     .value(QStringLiteral("rules"))
                                     .toArray()
                                     .at(0)
                                     .toObject();
        EXPECT_EQ(rule.value(QStringLiteral("toolName")).toString(), name);

        // Done, the session's row says what it did: another tool's name.
        const auto activity = [&] {
            controller.sessions().syncSessions();
            waitUntil([&] { return !test::ControllerProbe::panelSync(controller).isReading(); });
            for (const notch::SessionRow& row : controller.vm().sessions()) {
                if (row.sid == QStringLiteral("aaaa1111")) {
                    return row.activity;
                }
            }
            return QString();
        };
        const QString before = activity();
        controller.sessions().handleHookEvent(QStringLiteral("PostToolUse"),
            { { "session_id", "aaaa1111-0000-4000-8000-000000000000" }, { "tool_name", name },
                { "tool_input", QJsonObject() } });
        QString after;
        ASSERT_TRUE(waitUntil([&] { return (after = activity()) != before && !after.isEmpty(); }));
        EXPECT_FALSE(test::holdsLiveControls(after)) << after.left(40).toStdString();
    }
}
