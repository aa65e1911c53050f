#include <gtest/gtest.h>

#include <memory>

#include <QTemporaryDir>

#include "platform/secrets/KeychainStore.h"
#include "platform/secrets/fake/FakeSecretStore.h"
#include "platform/secrets/file/FileSecretStore.h"

using murmeli::platform::FakeSecretStore;
using murmeli::platform::FileSecretStore;
using murmeli::platform::KeychainStore;
using murmeli::platform::SecretStore;

namespace {

const QString hookService = QString::fromLatin1(KeychainStore::hookAuthService);
const QString cloudService = QString::fromLatin1(KeychainStore::cloudService);
const QString account = QStringLiteral("default");

// The same behaviour is owed on every backend, so the contract runs against the fake and the real file store.
class KeychainStoreContractTest : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_temp.isValid());
        if (GetParam()) {
            m_backend = std::make_shared<FileSecretStore>(m_temp.path() + QStringLiteral("/secrets"));
        } else {
            m_backend = std::make_shared<FakeSecretStore>();
        }
        m_keychain = std::make_unique<KeychainStore>(m_backend);
    }

    QTemporaryDir m_temp;
    std::shared_ptr<SecretStore> m_backend;
    std::unique_ptr<KeychainStore> m_keychain;
};

TEST_P(KeychainStoreContractTest, MissingItemsLoadEmptyAndRemoveSucceeds)
{
    EXPECT_EQ(m_keychain->load(hookService, account), QString());
    EXPECT_TRUE(m_keychain->remove(hookService, account));
}

TEST_P(KeychainStoreContractTest, SavesReplacesAndRemoves)
{
    ASSERT_TRUE(m_keychain->save(hookService, account, QStringLiteral("first")));
    EXPECT_EQ(m_keychain->load(hookService, account), QStringLiteral("first"));

    ASSERT_TRUE(m_keychain->save(hookService, account, QStringLiteral("second")));
    EXPECT_EQ(m_keychain->load(hookService, account), QStringLiteral("second"));

    // Services are separate items.
    ASSERT_TRUE(m_keychain->save(cloudService, account, QStringLiteral("cloud-key")));
    EXPECT_EQ(m_keychain->load(hookService, account), QStringLiteral("second"));

    EXPECT_TRUE(m_keychain->remove(hookService, account));
    EXPECT_EQ(m_keychain->load(hookService, account), QString());
    EXPECT_EQ(m_keychain->load(cloudService, account), QStringLiteral("cloud-key"));
}

TEST_P(KeychainStoreContractTest, EmptyValueIsAnItemOfItsOwn)
{
    ASSERT_TRUE(m_keychain->save(hookService, account, QStringLiteral("not yet empty")));
    ASSERT_TRUE(m_keychain->save(hookService, account, QString()));
    EXPECT_EQ(m_keychain->load(hookService, account), QString());
    EXPECT_TRUE(m_backend->load(hookService, account).has_value()) << "saving \"\" must store, not delete";
}

TEST_P(KeychainStoreContractTest, TextRoundTripsAsUtf8)
{
    const QString text = QStringLiteral("Grüße, 東京 🙂 \uFEFF\n");
    const QString withBom = QStringLiteral("\uFEFFstarts with a BOM");
    ASSERT_TRUE(m_keychain->save(hookService, account, text));
    EXPECT_EQ(m_keychain->load(hookService, account), text);
    EXPECT_EQ(m_backend->load(hookService, account), text.toUtf8());

    ASSERT_TRUE(m_keychain->save(hookService, account, withBom));
    EXPECT_EQ(m_keychain->load(hookService, account), withBom);
}

TEST_P(KeychainStoreContractTest, InvalidUtf8LoadsEmpty)
{
    const QByteArray bad[] = {
        QByteArray("abc\xff"), // never valid in UTF-8
        QByteArray("\xc3\x28"), // lead byte followed by a non-continuation
        QByteArray("euro \xe2\x82"), // sequence cut off at the end
        QByteArray("\xc0\xaf"), // overlong '/'
        QByteArray("\xed\xa0\x80"), // an encoded surrogate
        QByteArray("\xf4\x90\x80\x80"), // beyond U+10FFFF
    };
    for (const QByteArray& bytes : bad) {
        SCOPED_TRACE(bytes.toHex().toStdString());
        ASSERT_TRUE(m_backend->save(hookService, account, bytes));
        EXPECT_EQ(m_keychain->load(hookService, account), QString());
    }
}

TEST_P(KeychainStoreContractTest, UnencodableTextIsRefusedAndKeepsTheOldValue)
{
    ASSERT_TRUE(m_keychain->save(hookService, account, QStringLiteral("kept")));
    const QString loneSurrogate = QStringLiteral("key") + QChar(0xD800);
    EXPECT_FALSE(m_keychain->save(hookService, account, loneSurrogate));
    EXPECT_FALSE(m_keychain->save(hookService, account, QChar(0xDC00) + QStringLiteral("key")));
    EXPECT_EQ(m_keychain->load(hookService, account), QStringLiteral("kept"));
}

INSTANTIATE_TEST_SUITE_P(Backends, KeychainStoreContractTest, ::testing::Values(false, true),
    [](const ::testing::TestParamInfo<bool>& info) { return info.param ? "File" : "Fake"; });

TEST(KeychainStoreTest, RefusingStoreGivesNeutralResults)
{
    auto fake = std::make_shared<FakeSecretStore>();
    KeychainStore keychain(fake);
    ASSERT_TRUE(keychain.save(hookService, account, QStringLiteral("value")));

    fake->setFailSaves(true);
    EXPECT_FALSE(keychain.save(hookService, account, QStringLiteral("lost?")));
    EXPECT_EQ(keychain.load(hookService, account), QStringLiteral("value"));

    fake->setAvailable(false);
    EXPECT_EQ(keychain.load(hookService, account), QString());
    EXPECT_FALSE(keychain.remove(hookService, account));
    fake->setAvailable(true);
    EXPECT_EQ(keychain.load(hookService, account), QStringLiteral("value"));
}

TEST(KeychainStoreTest, WithoutAStoreEverythingFailsQuietly)
{
    KeychainStore keychain(nullptr);
    EXPECT_EQ(keychain.load(hookService, account), QString());
    EXPECT_FALSE(keychain.save(hookService, account, QStringLiteral("x")));
    EXPECT_FALSE(keychain.remove(hookService, account));
}

TEST(KeychainStoreTest, CopiesShareOneStore)
{
    auto fake = std::make_shared<FakeSecretStore>();
    KeychainStore writer(fake);
    const KeychainStore reader = writer;
    ASSERT_TRUE(writer.save(cloudService, account, QStringLiteral("shared")));
    EXPECT_EQ(reader.load(cloudService, account), QStringLiteral("shared"));
    EXPECT_EQ(fake->saveCount(), 1);
    EXPECT_EQ(fake->loadCount(), 1);
}

} // namespace
