#include <gtest/gtest.h>

#include "platform/recognizer/LocaleTag.h"

namespace murmeli::platform {
namespace {

TEST(LocaleTag, ReadsTheSpellingsOfSettingsAndSystem)
{
    struct Case {
        const char* tag;
        const char* language;
        const char* normalized;
    };
    const Case cases[] = {
        { "en-US", "en", "en-US" },
        { "en_us.UTF-8", "en", "en-US" },
        { "de_DE@euro", "de", "de-DE" },
        { "zh-Hans-CN", "zh", "zh-CN" },
        { "es-419", "es", "es-419" },
        { " EN ", "en", "en" },
        { "", "", "" },
    };
    for (const Case& c : cases) {
        EXPECT_EQ(LocaleTag::language(c.tag), c.language) << c.tag;
        EXPECT_EQ(LocaleTag::normalized(c.tag), c.normalized) << c.tag;
    }
    EXPECT_TRUE(LocaleTag::sameLocale("en_US", "en-us"));
    EXPECT_FALSE(LocaleTag::sameLocale("en-US", "en-GB"));
    EXPECT_FALSE(LocaleTag::sameLocale("", ""));
}

} // namespace
} // namespace murmeli::platform
