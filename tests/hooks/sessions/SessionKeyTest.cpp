#include "main/hooks/sessions/SessionKey.h"

#include <optional>
#include <vector>

#include <gtest/gtest.h>

namespace murmeli::hooks {
namespace {

std::optional<QString> textOf(const std::optional<SessionKey>& key)
{
    return key ? std::optional(key->text()) : std::nullopt;
}

TEST(SessionKeyTest, OnlySafeKeysCanBeMade)
{
    struct Case {
        QString id;
        std::optional<QString> fromSessionId; // 8 characters, then checked
        std::optional<QString> fromFileKey; // checked as it stands
    };
    const std::vector<Case> cases {
        { "0123abcd-5678-90ef-1234-567890abcdef", "0123abcd", "0123abcd-5678-90ef-1234-567890abcdef" },
        { "ab_C-9", "ab_C-9", "ab_C-9" },
        // An id that begins with a clock is told apart by its end: Codex's UUIDs of version 7, OpenCode's ids.
        { "01a252e0-5f1d-79b2-9cca-e2ddaa5e9cc6", "aa5e9cc6", "01a252e0-5f1d-79b2-9cca-e2ddaa5e9cc6" },
        { "01a252e0-5f1d-49b2-9cca-e2ddaa5e9cc6", "01a252e0", "01a252e0-5f1d-49b2-9cca-e2ddaa5e9cc6" },
        { "ses_1a2b3c4d5e6fAbCdEfGhIjKlMn", "GhIjKlMn", "ses_1a2b3c4d5e6fAbCdEfGhIjKlMn" },
        { "abcdefgh/../x", "abcdefgh", std::nullopt }, // only the key's own characters count
        { "", std::nullopt, std::nullopt },
        { "../../etc/passwd", std::nullopt, std::nullopt },
        { "ab/cdefgh", std::nullopt, std::nullopt },
        { "a.b", std::nullopt, std::nullopt },
        { "a b", std::nullopt, std::nullopt },
        { "ab\ncd", std::nullopt, std::nullopt },
        { QString::fromUtf8("séance01"), std::nullopt, std::nullopt },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id.toStdString());
        EXPECT_EQ(textOf(SessionKey::fromSessionId(c.id)), c.fromSessionId);
        EXPECT_EQ(textOf(SessionKey::fromFileKey(c.id)), c.fromFileKey);
    }
}

// Sessions started together get ids whose first characters are the same clock: each must still be a session of its
// own. Random ids that begin alike stay keyed by their start, as they always were.
TEST(SessionKeyTest, SessionsStartedTogetherGetKeysOfTheirOwn)
{
    const struct {
        const char* name;
        QString first;
        QString second;
        bool apart;
    } rows[] = {
        { "UUIDs of version 6", "1f0d5a3c-9e21-6b40-8a11-3c5e7f9a0b12", "1f0d5a3c-9e21-6b40-b7c4-d2e8a61f4c07", true },
        { "UUIDs of version 7", "01a252e0-5f1d-79b2-9cca-e2ddaa5e9cc6", "01a252e0-5f1d-79b2-a0f3-18b7c2d94e5a", true },
        { "OpenCode's", "ses_1a2b3c4d5e6fAbCdEfGhIjKlMn", "ses_1a2b3c4d5e6fZyXwVuTsRqPoNm", true },
        { "UUIDs of version 4", "0123abcd-5678-40ef-9234-567890abcdef", "0123abcd-1111-4222-a333-444455556666", false },
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const std::optional<SessionKey> first = SessionKey::fromSessionId(row.first);
        const std::optional<SessionKey> second = SessionKey::fromSessionId(row.second);
        ASSERT_TRUE(first && second);
        EXPECT_EQ(*first != *second, row.apart) << first->text().toStdString();
    }
}

} // namespace
} // namespace murmeli::hooks
