#include <gtest/gtest.h>

#include <algorithm>
#include <future>
#include <optional>

#include <QApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QScopeGuard>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>

#include "main/common/Clock.h"
#include "main/settings/onboarding/OnboardingController.h"
#include "main/settings/onboarding/PermissionProbe.h"
#include "main/settings/views/onboarding/OnboardingWindow.h"
#include "main/ui/widgets/KitButton.h"
#include "platform/defaults/Defaults.h"
#include "tests/support/Wait.h"

using namespace murmeli;
using settings::OnboardingStep;
using settings::OnboardingWindow;
using settings::PermissionState;

namespace {

// An onboarding window over a temporary store whose probes answer what the test sets, at once.
struct Onboarding {
    /// size, when given, holds the window at that size, as a small screen does.
    explicit Onboarding(bool canInject, std::optional<QSize> size = std::nullopt)
    {
        sources.injection = [canInject] {
            return settings::ProbeOutcome { canInject, canInject ? QString() : QStringLiteral("no XTest here") };
        };
        sources.microphone = [] { return settings::ProbeOutcome { true, QStringLiteral("Built-in microphone") }; };
        sources.recognizerModel = [] { return settings::ProbeOutcome { false, QStringLiteral("no model installed") }; };
        window = std::make_unique<OnboardingWindow>(
            OnboardingWindow::Environment { defaults, clock, sources }, false, [this] { ++closes; });
        if (size) {
            window->setFixedSize(*size);
            // Drawn for the last time before it opens.
            EXPECT_TRUE(probed());
        }
        window->present();
    }

    bool probed()
    {
        return test::waitUntil([&] { return !window->isProbing(); });
    }
    void click(const char* name)
    {
        ui::KitButton* button = window->button(QString::fromLatin1(name));
        ASSERT_NE(button, nullptr) << name;
        QTest::mouseClick(button, Qt::LeftButton);
    }
    QString summary() const { return window->findChild<QLabel*>(QStringLiteral("summaryTitle"))->text(); }

    QTemporaryDir dir;
    platform::Defaults defaults { dir.path() + QStringLiteral("/defaults.json") };
    common::SystemClock clock;
    settings::PermissionSources sources;
    int closes = 0;
    std::unique_ptr<OnboardingWindow> window;
};

} // namespace

// Nothing lets murmeli type into other windows: the first probe shows "not asked yet", Authorize turns it into a
// refusal with its reason and a Re-check, Continue waits (Return too) and Skip leads to an incomplete summary whose
// Finish records completion and closes the window once.
TEST(OnboardingWindowTest, ARefusedPermissionIsSkippedAndFinishStillCompletes)
{
    Onboarding o(false);
    EXPECT_EQ(o.window->windowTitle(), QStringLiteral("Welcome to murmeli"));
    EXPECT_EQ(o.window->minimumSize(), OnboardingWindow::minimumContentSize);
    EXPECT_EQ(o.window->maximumSize(), OnboardingWindow::maximumContentSize);
    EXPECT_EQ(o.window->step(), OnboardingStep::Why);
    ASSERT_TRUE(o.probed());
    EXPECT_EQ(o.window->snapshot().microphone.state, PermissionState::Granted);
    EXPECT_EQ(o.window->snapshot().speechRecognition.state, PermissionState::Denied);
    EXPECT_EQ(o.window->snapshot().accessibility.state, PermissionState::NotDetermined);

    QTest::keyClick(o.window.get(), Qt::Key_Return);
    ASSERT_EQ(o.window->step(), OnboardingStep::Auth);
    EXPECT_NE(o.window->button("authorize-accessibility"), nullptr);
    EXPECT_NE(o.window->button("recheck-speechRecognition"), nullptr);
    EXPECT_FALSE(o.window->button("continue")->isEnabled());
    o.click("authorize-accessibility");
    EXPECT_EQ(o.defaults.boolValue(QLatin1String(settings::PermissionProbe::axEverPromptedKey)), true);
    ASSERT_TRUE(o.probed());
    EXPECT_EQ(o.window->snapshot().accessibility,
        (settings::Permission { PermissionState::Denied, QStringLiteral("no XTest here") }));
    EXPECT_NE(o.window->button("recheck-accessibility"), nullptr);
    ui::KitButton* next = o.window->button("continue");
    EXPECT_FALSE(next->isEnabled());
    EXPECT_TRUE(next->toolTip().contains(QStringLiteral("press Skip")));
    QTest::keyClick(o.window.get(), Qt::Key_Return);
    EXPECT_EQ(o.window->step(), OnboardingStep::Auth);

    o.click("skip");
    ASSERT_EQ(o.window->step(), OnboardingStep::Done);
    EXPECT_EQ(o.summary(), QStringLiteral("Setup incomplete"));
    EXPECT_TRUE(o.window->findChild<QLabel*>(QStringLiteral("summaryText"))->text().contains(QStringLiteral("About")));
    o.click("finish");
    EXPECT_TRUE(settings::OnboardingController::isCompleted(o.defaults));
    EXPECT_EQ(o.closes, 1);
    EXPECT_FALSE(o.window->isVisible());
}

// Everything found: Continue is open with its help text and leads to "You're all set!"; closing the window any
// other way than Finish records nothing and still reports the close once.
TEST(OnboardingWindowTest, AllGrantedContinuesAndAPlainCloseRecordsNothing)
{
    Onboarding o(true);
    ASSERT_TRUE(o.probed());
    o.click("continue");
    ASSERT_EQ(o.window->step(), OnboardingStep::Auth);
    ui::KitButton* next = o.window->button("continue");
    EXPECT_TRUE(next->isEnabled());
    EXPECT_EQ(next->toolTip(), QStringLiteral("Continue with all permissions granted."));
    EXPECT_EQ(o.window->snapshot().automation.state, PermissionState::NotNeeded);
    QTest::keyClick(o.window.get(), Qt::Key_Return);
    ASSERT_EQ(o.window->step(), OnboardingStep::Done);
    EXPECT_EQ(o.summary(), QStringLiteral("You're all set!"));

    o.window->close();
    o.window->close();
    EXPECT_EQ(o.closes, 1);
    EXPECT_FALSE(settings::OnboardingController::isCompleted(o.defaults));
}

// A reopened window opens in the middle of the screen, and a row whose probe has not answered yet says that it is
// checking instead of asking the user to authorise anything.
TEST(OnboardingWindowTest, AReopenedWindowIsCentredAndARowSaysItIsCheckingWhileItsProbeRuns)
{
    QTemporaryDir dir;
    platform::Defaults defaults { dir.path() + QStringLiteral("/defaults.json") };
    common::SystemClock clock;
    std::promise<void> answer;
    std::shared_future<void> answered = answer.get_future().share();
    settings::PermissionSources sources;
    // The display's answer is asked off the main thread; the snapshot waits for it.
    sources.injection = [answered] {
        answered.wait();
        return settings::ProbeOutcome { true, QString() };
    };
    sources.microphone = [] { return settings::ProbeOutcome { true, QStringLiteral("Built-in microphone") }; };
    sources.recognizerModel = [] { return settings::ProbeOutcome { true, QString() }; };
    const auto release = qScopeGuard([&] {
        if (answered.wait_for(std::chrono::seconds(0)) != std::future_status::ready) {
            answer.set_value();
        }
    });
    OnboardingWindow window(OnboardingWindow::Environment { defaults, clock, sources }, true, [] {});
    window.present();
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_LE((window.geometry().center() - screen.center()).manhattanLength(), 4) << "centred on the screen";

    ASSERT_TRUE(window.isProbing());
    QTest::mouseClick(window.button(QStringLiteral("continue")), Qt::LeftButton);
    ASSERT_EQ(window.step(), OnboardingStep::Auth);
    ui::KitButton* microphone = window.button(QStringLiteral("authorize-microphone"));
    ASSERT_NE(microphone, nullptr);
    EXPECT_EQ(microphone->text(), QStringLiteral("Checking\u2026"));
    EXPECT_FALSE(microphone->isEnabled());

    answer.set_value();
    ASSERT_TRUE(test::waitUntil([&] { return !window.isProbing(); }));
    EXPECT_EQ(window.snapshot().microphone.state, PermissionState::Granted);
    EXPECT_EQ(window.button(QStringLiteral("authorize-microphone")), nullptr);
}

// On a screen too short for the step (1280x720 at twice the scale) the window opens at the top of the step, its title
// whole, and the first Tab brings Continue into view.
TEST(OnboardingWindowTest, AWindowShorterThanItsStepOpensAtItsTopAndTabBringsContinueIntoView)
{
    Onboarding o(true, QSize(OnboardingWindow::minimumContentSize.width(), 300));
    ASSERT_TRUE(QTest::qWaitForWindowActive(o.window.get()));
    QScrollArea& scroll = *o.window->findChild<QScrollArea*>(QStringLiteral("onboardingScroll"));
    ASSERT_GT(scroll.widget()->height(), scroll.viewport()->height()) << "the step fits: nothing to scroll";
    EXPECT_EQ(scroll.verticalScrollBar()->value(), 0);

    ui::KitButton* next = o.window->button(QStringLiteral("continue"));
    QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : o.window.get(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), next);
    EXPECT_TRUE(scroll.viewport()->rect().contains(QRect(next->mapTo(scroll.viewport(), QPoint()), next->size())));
}

// Tab goes round the buttons of each step and lands on nothing else: every stop is a button, which the focus ring
// draws around, so no Tab leaves the user without a sign of where the keys go.
TEST(OnboardingWindowTest, TabGoesRoundTheButtonsOfEachStepAndNothingElse)
{
    const struct {
        OnboardingStep step;
        QStringList buttons;
    } rows[] = {
        { OnboardingStep::Why, { QStringLiteral("continue") } },
        // Typing refused and not asked yet, no on-device model: Continue waits, so it is no stop.
        { OnboardingStep::Auth,
            { QStringLiteral("authorize-accessibility"), QStringLiteral("recheck-speechRecognition"),
                QStringLiteral("skip") } },
        { OnboardingStep::Done, { QStringLiteral("finish") } },
    };
    Onboarding o(false);
    ASSERT_TRUE(o.probed());
    ASSERT_TRUE(QTest::qWaitForWindowActive(o.window.get()));
    for (const auto& row : rows) {
        SCOPED_TRACE(settings::toString(row.step).toStdString());
        ASSERT_EQ(o.window->step(), row.step);
        QStringList stops;
        for (int tab = 0; tab < 2 * static_cast<int>(row.buttons.size()) + 2; ++tab) {
            QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : o.window.get(), Qt::Key_Tab);
            QWidget* focused = QApplication::focusWidget();
            ASSERT_NE(focused, nullptr);
            EXPECT_NE(qobject_cast<ui::KitButton*>(focused), nullptr)
                << "Tab " << tab << " landed on a " << focused->metaObject()->className();
            stops << focused->objectName();
        }
        stops.removeDuplicates();
        std::sort(stops.begin(), stops.end());
        QStringList buttons = row.buttons;
        std::sort(buttons.begin(), buttons.end());
        EXPECT_EQ(stops.join(QLatin1Char(' ')).toStdString(), buttons.join(QLatin1Char(' ')).toStdString());
        if (row.step == OnboardingStep::Why) {
            o.click("continue");
        } else if (row.step == OnboardingStep::Auth) {
            o.click("skip");
        }
    }
}

// A session row's jump brings its terminal's window to the front here, never a tab inside it: what each step says of
// terminals says so.
TEST(OnboardingWindowTest, WhatTheStepsSayOfTerminalsIsWhatTheJumpDoes)
{
    Onboarding o(true);
    ASSERT_TRUE(o.probed());
    for (const OnboardingStep step : { OnboardingStep::Why, OnboardingStep::Auth }) {
        if (step == OnboardingStep::Auth) {
            QTest::keyClick(o.window.get(), Qt::Key_Return);
            ASSERT_TRUE(o.probed());
        }
        ASSERT_EQ(o.window->step(), step);
        QStringList aboutTerminals;
        for (const QLabel* label : o.window->findChildren<QLabel*>()) {
            if (label->isVisibleTo(o.window.get())
                && label->text().contains(QStringLiteral("terminal"), Qt::CaseInsensitive)) {
                aboutTerminals << label->text();
            }
        }
        EXPECT_FALSE(aboutTerminals.filter(QStringLiteral("window")).isEmpty())
            << aboutTerminals.join('\n').toStdString();
        EXPECT_TRUE(aboutTerminals.filter(QStringLiteral("tab"), Qt::CaseInsensitive).isEmpty())
            << aboutTerminals.join('\n').toStdString();
    }
}
