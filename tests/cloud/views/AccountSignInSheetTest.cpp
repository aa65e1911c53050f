#include "main/cloud/views/AccountSignInSheet.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QTest>

#include "main/cloud/account/AccountSignInSheetModel.h"
#include "main/cloud/views/PrimaryBrassButton.h"
#include "main/ui/design/Tokens.h"
#include "main/ui/widgets/KitButton.h"
#include "tests/cloud/views/FakeAccountHost.h"

using namespace murmeli;
using cloud::AccountSignInSheet;
using Model = cloud::AccountSignInSheetModel;

namespace {

class AccountSignInSheetTest : public ::testing::Test {
protected:
    test::FakeAccountHost m_host;
    Model m_model { m_host.auth(), m_host.clock() };
    int m_closes = 0;
    AccountSignInSheet m_sheet { m_model, [this] { ++m_closes; } };
};

// Everything the sheet shows is the model's state.
TEST_F(AccountSignInSheetTest, DrawsTheModel)
{
    struct Row {
        const char* name;
        Model::Step step;
        Model::Phase phase;
        const char* email;
        const char* code;
        const char* error;
        const char* info;
        int cooldown;
        // What shows.
        bool codeStep;
        const char* primary;
        bool primaryEnabled;
        bool emailEditable;
        bool codeEditable;
        const char* resend;
        bool resendEnabled;
        const char* shownError;
        const char* shownInfo;
    };
    const Row rows[] = {
        { "empty address", Model::Step::Email, Model::Phase::Idle, "", "", "", "", 0, false, "Send code", false, true,
            true, "Resend code", true, "", "" },
        { "valid address", Model::Step::Email, Model::Phase::Idle, "a@b.co", "", "", "", 0, false, "Send code", true,
            true, true, "Resend code", true, "", "" },
        { "sending", Model::Step::Email, Model::Phase::Sending, "a@b.co", "", "", "", 0, false, "Sending…", false,
            false, true, "Resend code", false, "", "" },
        { "code sent", Model::Step::Code, Model::Phase::Idle, "a@b.co", "", "", "sent", 60, true, "Verify", false, true,
            true, "Resend in 60s", false, "", "sent" },
        { "six characters", Model::Step::Code, Model::Phase::Idle, "a@b.co", " 123456 ", "", "sent", 0, true, "Verify",
            true, true, true, "Resend code", true, "", "sent" },
        { "verifying", Model::Step::Code, Model::Phase::Verifying, "a@b.co", "123456", "", "", 12, true, "Verifying…",
            false, true, false, "Resend in 12s", false, "", "" },
        { "error over info", Model::Step::Code, Model::Phase::Idle, "a@b.co", "12345", "wrong", "sent", 0, true,
            "Verify", false, true, true, "Resend code", true, "wrong", "" },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        m_model.setStep(row.step);
        m_model.setPhase(row.phase);
        m_model.setEmail(QString::fromUtf8(row.email));
        m_model.setCode(QString::fromUtf8(row.code));
        m_model.setErrorText(QString::fromUtf8(row.error));
        m_model.setInfoText(QString::fromUtf8(row.info));
        m_model.setCooldownSec(row.cooldown);
        EXPECT_EQ(m_sheet.isCodeStepShown(), row.codeStep);
        EXPECT_EQ(m_sheet.subtitle(),
            row.codeStep ? "Enter the 6-digit code from your email." : "Enter your email. We'll send a 6-digit code.");
        EXPECT_EQ(m_sheet.primaryButton()->text(), QString::fromUtf8(row.primary));
        EXPECT_EQ(m_sheet.primaryButton()->isEnabled(), row.primaryEnabled);
        EXPECT_EQ(m_sheet.primaryButton()->fillColor(),
            row.primaryEnabled ? ui::Color::vantorBrass : ui::Color::vantorSurface3);
        EXPECT_EQ(m_sheet.emailField()->isEnabled(), row.emailEditable);
        EXPECT_EQ(m_sheet.codeField()->isEnabled(), row.codeEditable);
        EXPECT_EQ(m_sheet.resendLink()->text(), QString::fromUtf8(row.resend));
        EXPECT_EQ(m_sheet.resendLink()->isEnabled(), row.resendEnabled);
        EXPECT_EQ(m_sheet.errorText(), QString::fromUtf8(row.shownError));
        EXPECT_EQ(m_sheet.infoText(), QString::fromUtf8(row.shownInfo));
    }
}

// Typing goes into the model, a long address is cut in the middle, the link back works while a check is in flight,
// and Cancel and Escape close.
TEST_F(AccountSignInSheetTest, FieldsLinksAndClosing)
{
    m_sheet.show();
    QTest::keyClicks(m_sheet.emailField(), QStringLiteral("dev@example.org"));
    EXPECT_EQ(m_model.email(), "dev@example.org");
    EXPECT_TRUE(m_sheet.primaryButton()->isEnabled());

    const QString longAddress = QString(120, QLatin1Char('x')) + QStringLiteral("@example.org");
    m_model.setEmail(longAddress);
    m_model.setStep(Model::Step::Code);
    m_model.setPhase(Model::Phase::Verifying);
    EXPECT_TRUE(m_sheet.shownEmail().contains(QChar(0x2026)));
    EXPECT_TRUE(m_sheet.shownEmail().endsWith(QStringLiteral("example.org")));
    QTest::mouseClick(m_sheet.differentEmailLink(), Qt::LeftButton);
    EXPECT_EQ(m_model.step(), Model::Step::Email);

    QTest::mouseClick(m_sheet.cancelButton(), Qt::LeftButton);
    QTest::keyClick(&m_sheet, Qt::Key_Escape);
    EXPECT_EQ(m_closes, 2);
}

// Return in the field of either step presses the brass button drawn as the default ("Send code", "Verify"), and
// only while that button can be pressed.
TEST_F(AccountSignInSheetTest, ReturnInAFieldPressesTheBrassButtonWhileItCanBePressed)
{
    const struct {
        const char* name;
        Model::Step step;
        const char* email;
        const char* code;
        Model::Phase after;
    } rows[] = {
        { "an address", Model::Step::Email, "dev@example.org", "", Model::Phase::Sending },
        { "no address yet", Model::Step::Email, "dev@", "", Model::Phase::Idle },
        { "six digits", Model::Step::Code, "dev@example.org", "123456", Model::Phase::Verifying },
        { "five digits", Model::Step::Code, "dev@example.org", "12345", Model::Phase::Idle },
    };
    m_sheet.show();
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        m_model.setPhase(Model::Phase::Idle);
        m_model.setStep(row.step);
        m_model.setEmail(QString::fromUtf8(row.email));
        m_model.setCode(QString::fromUtf8(row.code));
        QLineEdit* field = row.step == Model::Step::Email ? m_sheet.emailField() : m_sheet.codeField();
        QTest::keyClick(field, Qt::Key_Return);
        EXPECT_EQ(m_model.phase(), row.after);
        EXPECT_EQ(m_model.step(), row.step);
    }
}

} // namespace
