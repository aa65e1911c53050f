#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <vector>

#include "platform/secrets/LayeredSecretStore.h"
#include "platform/secrets/fake/FakeSecretStore.h"

using namespace murmeli::platform;

namespace {

const QString layeredService = QStringLiteral("com.murmeli.apikey.hook-auth");
const QString layeredAccount = QStringLiteral("secret");

std::optional<QByteArray> itemOf(const FakeSecretStore& store)
{
    const auto it = store.items().find({ layeredService, layeredAccount });
    return it == store.items().end() ? std::nullopt : std::optional(it->second);
}

} // namespace

// The hook secret's two places, as the factory layers them: a file every program of the user reaches first, the
// keyring second. Which copy is read, where a new one goes, and what happens when one of them fails.
TEST(LayeredSecretStoreTest, ReadsTheFileFirstAndWritesWhereTheValueIsKept)
{
    const struct {
        const char* what;
        std::optional<QByteArray> inFile;
        std::optional<QByteArray> inKeyring;
        bool fileAnswers = true;
        bool fileTakes = true;
        bool keyringTakes = true;
        std::optional<QByteArray> saved;
        // Afterwards.
        bool saveSucceeds = true;
        std::optional<QByteArray> loaded;
        std::vector<QByteArray> each;
        std::optional<QByteArray> fileHolds;
        std::optional<QByteArray> keyringHolds;
    } cases[] = {
        { "only the keyring holds it", {}, "k", true, true, true, {}, true, "k", { "k" }, {}, "k" },
        { "both hold one: the file's is read first", "f", "k", true, true, true, {}, true, "f", { "f", "k" }, "f",
            "k" },
        { "one value in both is one copy", "s", "s", true, true, true, {}, true, "s", { "s" }, "s", "s" },
        { "an empty copy counts as none", "", "k", true, true, true, {}, true, "k", { "k" }, "", "k" },
        { "a new value goes to the file alone", {}, {}, true, true, true, "n", true, "n", { "n" }, "n", {} },
        { "a file that refuses it leaves it in the keyring", {}, {}, true, false, true, "n", true, "n", { "n" }, {},
            "n" },
        { "without the file the keyring is read and written", {}, "k", false, true, true, "n", true, "n", { "n" }, {},
            "n" },
        { "neither takes it", {}, "k", true, false, false, "n", false, "k", { "k" }, {}, "k" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto file = std::make_shared<FakeSecretStore>();
        auto keyring = std::make_shared<FakeSecretStore>();
        if (c.inFile) {
            file->save(layeredService, layeredAccount, *c.inFile);
        }
        if (c.inKeyring) {
            keyring->save(layeredService, layeredAccount, *c.inKeyring);
        }
        file->setAvailable(c.fileAnswers);
        file->setFailSaves(!c.fileTakes);
        keyring->setFailSaves(!c.keyringTakes);
        LayeredSecretStore layered(file, keyring);

        if (c.saved) {
            EXPECT_EQ(layered.save(layeredService, layeredAccount, *c.saved), c.saveSucceeds);
        }
        EXPECT_EQ(layered.load(layeredService, layeredAccount), c.loaded);
        EXPECT_EQ(layered.loadEach(layeredService, layeredAccount), c.each);
        file->setAvailable(true);
        EXPECT_EQ(itemOf(*file), c.fileHolds);
        EXPECT_EQ(itemOf(*keyring), c.keyringHolds);
    }
}
