#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>

#include "main/settings/integrations/IntegrationsModel.h"
#include "main/settings/views/SettingsRootView.h"
#include "main/settings/views/pages/IntegrationsPage.h"
#include "main/ui/widgets/KitButton.h"
#include "main/ui/widgets/SettingsBadge.h"
#include "main/ui/widgets/SettingsGroupCard.h"
#include "main/ui/widgets/SettingsRow.h"
#include "tests/settings/views/SettingsWindowHarness.h"
#include "tests/support/Files.h"
#include "tests/support/Wait.h"

using namespace murmeli;
using settings::IntegrationsPage;

namespace {

// Installers laid out as an installed murmeli finds them, working on the harness's home (four folders above them).
void layOutInstallers(const QString& home)
{
    const QString scripts = home + QStringLiteral("/prefix/share/murmeli/scripts");
    ASSERT_TRUE(QDir().mkpath(scripts));
    ASSERT_TRUE(QDir().mkpath(home + QStringLiteral("/prefix/bin")));
    ASSERT_TRUE(test::writeScript(home + QStringLiteral("/prefix/bin/murmeli"), "exit 0\n"));
    const QByteArray atHome = "home=$(cd \"$(dirname \"$0\")/../../../..\" && pwd)\n";
    ASSERT_TRUE(test::writeScript(scripts + QStringLiteral("/install-codex-hook"),
        atHome
            + "if [ \"$1\" = --uninstall ]; then rm -f \"$home/.codex/hooks.json\"; echo removed; exit 0; fi\n"
              "mkdir -p \"$home/.codex\" && echo '{\"command\":\"codex-hook\"}' > \"$home/.codex/hooks.json\"\n"
              "echo written; echo 'warning: <b>kept</b>' >&2; echo done\n"));
    ASSERT_TRUE(test::writeScript(scripts + QStringLiteral("/install-gemini-hook"), "exit 3\n"));
    ASSERT_TRUE(test::writeScript(scripts + QStringLiteral("/install-hooks.sh"), "exit 0\n"));
}

IntegrationsPage& showIntegrations(test::SettingsWindowHarness& harness)
{
    auto* page = harness.show<IntegrationsPage>(settings::SettingsSection::Integrations);
    EXPECT_NE(page, nullptr);
    return *page;
}

ui::SettingsRow* rowOf(IntegrationsPage& page, const char* id)
{
    return page.adaptersCard()->findChild<ui::SettingsRow*>(QStringLiteral("adapter-") + QLatin1String(id));
}

// Answers the result alert and waits until it is gone.
void dismiss(IntegrationsPage& page)
{
    page.resultAlert()->accept();
    ASSERT_TRUE(test::waitUntil([&] { return page.resultAlert() == nullptr; }));
}

ui::KitButton* buttonOf(IntegrationsPage& page, const QString& name)
{
    return page.adaptersCard()->findChild<ui::KitButton*>(name);
}

} // namespace

// An install runs the agent's script off the event loop with its buttons waiting, shows what it printed as printed,
// and the row follows the agent's files; a failing script says so with its status; a missing one is named.
TEST(IntegrationsPageTest, InstallAndUninstallShowTheScriptsOutputAndTheRowsFollow)
{
    test::SettingsWindowHarness harness;
    layOutInstallers(harness.home.path());
    harness.host->executable = harness.home.path() + QStringLiteral("/prefix/bin/murmeli");
    harness.host->claudeInstallFailure = QStringLiteral("install-hooks.sh exited with error.");
    IntegrationsPage& page = showIntegrations(harness);

    const auto badgeOf
        = [&](const char* id) { return rowOf(page, id)->control()->findChild<ui::SettingsBadge*>()->label(); };
    EXPECT_EQ(badgeOf("codex"), QStringLiteral("Available"));
    EXPECT_EQ(badgeOf("openCode"), QStringLiteral("Soon")) << "its installer is not there";
    EXPECT_EQ(rowOf(page, "openCode")->sub(), std::nullopt);
    EXPECT_EQ(badgeOf("kimi"), QStringLiteral("Soon"));

    QTest::mouseClick(buttonOf(page, QStringLiteral("install-codex")), Qt::LeftButton);
    ui::KitButton* working = buttonOf(page, QStringLiteral("install-codex"));
    EXPECT_EQ(working->text(), QStringLiteral("Working…"));
    EXPECT_FALSE(working->isEnabled());
    ASSERT_TRUE(test::waitUntil([&] { return page.resultAlert() != nullptr; }));
    EXPECT_EQ(page.resultAlert()->text(), QStringLiteral("Codex CLI (Beta) installed"));
    EXPECT_EQ(page.resultAlert()->palette().color(QPalette::Window), page.window()->palette().color(QPalette::Window))
        << "the alert is as dark as its window";
    EXPECT_EQ(page.resultAlert()->informativeText(), QStringLiteral("written\nwarning: <b>kept</b>\ndone\n"));
    EXPECT_EQ(badgeOf("codex"), QStringLiteral("Active"));
    EXPECT_EQ(buttonOf(page, QStringLiteral("install-codex"))->text(), QStringLiteral("Reinstall…"));
    dismiss(page);
    EXPECT_FALSE(page.model().alert().has_value());

    QTest::mouseClick(buttonOf(page, QStringLiteral("uninstall-codex")), Qt::LeftButton);
    ASSERT_TRUE(test::waitUntil([&] { return page.resultAlert() != nullptr; }));
    EXPECT_EQ(page.resultAlert()->text(), QStringLiteral("Codex CLI (Beta) uninstalled"));
    EXPECT_EQ(badgeOf("codex"), QStringLiteral("Available"));
    dismiss(page);

    QTest::mouseClick(buttonOf(page, QStringLiteral("install-gemini")), Qt::LeftButton);
    ASSERT_TRUE(test::waitUntil([&] { return page.resultAlert() != nullptr; }));
    EXPECT_EQ(page.resultAlert()->text(), QStringLiteral("Gemini CLI (Beta) install failed (exit 3)"));
    EXPECT_EQ(page.resultAlert()->informativeText(), QStringLiteral("(no output)"));
    dismiss(page);

    // Claude Code's install goes through the application, once per click, and a failure is shown too.
    QTest::mouseClick(buttonOf(page, QStringLiteral("install-claudeCode")), Qt::LeftButton);
    ASSERT_TRUE(test::waitUntil([&] { return page.resultAlert() != nullptr; }));
    EXPECT_EQ(harness.host->claudeInstalls, 1);
    EXPECT_EQ(page.resultAlert()->text(), QStringLiteral("Claude Code install failed"));
    EXPECT_EQ(page.resultAlert()->informativeText(), QStringLiteral("install-hooks.sh exited with error."));
}

// Without the application every row shows its state and no buttons.
TEST(IntegrationsPageTest, WithoutTheApplicationEveryRowShowsAndNothingInstalls)
{
    test::SettingsWindowHarness harness(false);
    IntegrationsPage& page = showIntegrations(harness);
    EXPECT_EQ(page.adaptersCard()->rows().size(), qsizetype(settings::CLIAdapter::allCases().size()));
    EXPECT_TRUE(page.adaptersCard()->findChildren<ui::KitButton*>().isEmpty());
}

// Rows are rebuilt while an install runs and when it ends; the page stays where the user left it: the same row
// under the pointer, the scroll position as it was, and the focus back on the button that was clicked.
TEST(IntegrationsPageTest, AnInstallKeepsTheScrollPositionTheRowUnderThePointerAndTheFocus)
{
    test::SettingsWindowHarness harness;
    layOutInstallers(harness.home.path());
    harness.host->executable = harness.home.path() + QStringLiteral("/prefix/bin/murmeli");
    IntegrationsPage& page = showIntegrations(harness);
    QWidget* window = page.window();
    window->setMinimumHeight(0);
    window->resize(window->width(), 320);
    QApplication::setActiveWindow(window);
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    auto* area = qobject_cast<QScrollArea*>(harness.window().rootView().findChild<QScrollArea*>());
    ASSERT_NE(area, nullptr);
    QScrollBar* bar = area->verticalScrollBar();
    // The window manager applies the new height when it gets to it, and the scroll range follows the layout: wait
    // until the Codex row can stand at the top of the view with more rows below it.
    const auto codexTop = [&] { return rowOf(page, "codex")->mapTo(area->widget(), QPoint(0, 0)).y(); };
    ASSERT_TRUE(test::waitUntil([&] {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        return window->height() == 320 && bar->maximum() > codexTop() - 8 + 150;
    })) << window->height() << " " << bar->maximum() << " " << codexTop();
    // Scrolled so that the Codex row stands at the top of the view, with more rows below it.
    const QPoint rowAt(0, codexTop());
    bar->setValue(rowAt.y() - 8);
    ASSERT_GT(bar->value(), 0);
    ASSERT_LT(bar->value() + 150, bar->maximum()) << "room to scroll further down";
    const int position = bar->value();

    ui::KitButton* install = buttonOf(page, QStringLiteral("install-codex"));
    const QPoint pointer = install->mapTo(window, install->rect().center());
    const auto rowUnderPointer = [&]() -> QString {
        for (QWidget* at = window->childAt(pointer); at != nullptr; at = at->parentWidget()) {
            if (qobject_cast<ui::SettingsRow*>(at) != nullptr) {
                return at->objectName();
            }
        }
        return {};
    };
    ASSERT_EQ(rowUnderPointer(), QStringLiteral("adapter-codex"));
    QTest::mouseClick(install, Qt::LeftButton);
    // The click gave the button the focus; while its install runs the card holds it.
    EXPECT_NE(buttonOf(page, QStringLiteral("install-codex")), install);
    EXPECT_EQ(QApplication::focusWidget(), page.adaptersCard());
    QCoreApplication::processEvents();
    EXPECT_EQ(bar->value(), position);
    EXPECT_EQ(rowUnderPointer(), QStringLiteral("adapter-codex"));

    ASSERT_TRUE(test::waitUntil([&] { return page.resultAlert() != nullptr; }));
    dismiss(page);
    QCoreApplication::processEvents();
    EXPECT_EQ(bar->value(), position);
    EXPECT_EQ(rowUnderPointer(), QStringLiteral("adapter-codex"));
    ASSERT_NE(window->focusWidget(), nullptr);
    EXPECT_EQ(window->focusWidget()->objectName(), QStringLiteral("install-codex"));
}
