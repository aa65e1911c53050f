#include "main/notch/geometry/NotchScreenPreference.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "main/notch/geometry/DisplayPreference.h"
#include "platform/defaults/Defaults.h"
#include "platform/desktop/fake/FakeScreenProvider.h"

namespace murmeli::notch {
namespace {

using platform::FakeScreenProvider;
using platform::ScreenInfo;

TEST(NotchScreenPreferenceTest, BuiltInAndFirstExternalScreens)
{
    const QRectF frame { 0, 0, 1512, 982 };
    const ScreenInfo notched = FakeScreenProvider::notchedScreen(11, QStringLiteral("notched"), frame, 37, 650, 650);
    const ScreenInfo plain = FakeScreenProvider::plainScreen(22, QStringLiteral("plain"), frame);
    const ScreenInfo unnumbered = FakeScreenProvider::notchedScreen(std::nullopt, QStringLiteral("?"), frame, 37, 1, 1);
    ScreenInfo rightAreaOnly = plain;
    rightAreaOnly.displayNumber = 33;
    rightAreaOnly.auxiliaryTopRightArea = QRectF(900, 950, 612, 32);
    ScreenInfo emptyLeftArea = plain;
    emptyLeftArea.displayNumber = 44;
    emptyLeftArea.auxiliaryTopLeftArea = QRectF(0, 950, 0, 32);

    const struct {
        const char* what;
        QList<ScreenInfo> list;
        std::optional<qint64> builtIn;
        std::optional<qint64> external;
    } cases[] = {
        { "external listed first", { plain, notched }, 11, 22 },
        { "no notch anywhere, as on Linux", { plain }, std::nullopt, 22 },
        { "every screen built-in", { notched }, 11, std::nullopt },
        { "the built-in screen has no number", { unnumbered, plain }, std::nullopt, 22 },
        { "a non-empty right area alone counts", { rightAreaOnly, plain }, 33, 22 },
        { "an empty left area does not count", { emptyLeftArea }, std::nullopt, 44 },
        { "no screens", {}, std::nullopt, std::nullopt },
    };
    for (const auto& c : cases) {
        const FakeScreenProvider screens(c.list);
        EXPECT_EQ(NotchScreenPreference::builtInScreenID(screens), c.builtIn) << c.what;
        EXPECT_EQ(NotchScreenPreference::firstExternalScreenID(screens), c.external) << c.what;
    }
}

TEST(DisplayPreferenceTest, ReadsOnlyTheExactRawValues)
{
    QTemporaryDir home;
    platform::Defaults defaults(home.filePath(QStringLiteral("defaults.json")));
    const QString key = QString::fromLatin1(displayPreferenceUdKey);

    const struct {
        QJsonValue stored;
        DisplayPreference expected;
    } cases[] = {
        { QJsonValue::Undefined, DisplayPreference::Auto },
        { "auto", DisplayPreference::Auto },
        { "built-in", DisplayPreference::BuiltIn },
        { "ex-screen", DisplayPreference::ExScreen },
        { "Built-In", DisplayPreference::Auto },
        { "external", DisplayPreference::Auto },
        { 1, DisplayPreference::Auto },
    };
    for (const auto& c : cases) {
        defaults.setValue(key, c.stored);
        EXPECT_EQ(displayPreferenceFromUserDefaults(defaults), c.expected)
            << c.stored.toVariant().toString().toStdString();
    }
}

} // namespace
} // namespace murmeli::notch
