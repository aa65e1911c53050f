// The question murmeli asks before it quits with permission requests held, as the panel's power button brings it
// up through the windows the executable runs with.
#include <gtest/gtest.h>

#include <optional>

#include <QApplication>
#include <QMessageBox>
#include <QTemporaryDir>

#include "main/app/AppController.h"
#include "main/app/views/WidgetShellViews.h"
#include "platform/secrets/fake/FakeSecretStore.h"
#include "tests/support/ControllerDependencies.h"

using namespace murmeli;

namespace {

/// The share of the picture's pixels that are dark.
double darkShare(const QImage& image)
{
    int dark = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            dark += image.pixelColor(x, y).lightness() < 80 ? 1 : 0;
        }
    }
    return static_cast<double>(dark) / (image.width() * image.height());
}

} // namespace

// Drawn like murmeli's other questions ("Reset all settings?"): light text on the kit's dark surface, not the
// toolkit's light default; its Cancel still keeps murmeli running.
TEST(QuitQuestionTest, IsDrawnOnTheKitsDarkSurface)
{
    QTemporaryDir root;
    app::AppController controller(test::controllerDependencies(
        root, std::make_shared<platform::FakeSecretStore>(), std::make_shared<common::SystemClock>()));
    app::WidgetShellViews views;
    views.showNotchPanel(controller, nullptr, false);
    ASSERT_TRUE(controller.quitRequest().ask);
    std::optional<bool> confirmed;
    controller.quitRequest().ask(QStringLiteral("Quit murmeli?"),
        QStringLiteral("1 permission request(s) wait for your answer."), [&](bool yes) { confirmed = yes; });

    QMessageBox* question = nullptr;
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (auto* box = qobject_cast<QMessageBox*>(window); box && box->isVisible()) {
            question = box;
        }
    }
    ASSERT_NE(question, nullptr);
    EXPECT_EQ(question->text(), QStringLiteral("Quit murmeli?"));
    const QImage face = question->grab().toImage();
    EXPECT_GT(darkShare(face), 0.6) << "the question is drawn light";

    question->reject();
    EXPECT_EQ(confirmed, std::optional<bool>(false));
}
