#include "main/voice/enhance/SpeechEnhancerGate.h"

#include <gtest/gtest.h>

namespace murmeli::voice {
namespace {

TEST(SpeechEnhancerGateTest, FirstFailingRuleNamesTheSkip)
{
    const QString streaming = QStringLiteral("cloud-streaming");
    const QString upload = QStringLiteral("murmeli-cloud");
    const QString zh = QStringLiteral("zh-CN");
    struct Row {
        const char* name;
        EnhanceGateInputs inputs;
        EnhanceGateDecision expected;
    };
    const Row rows[] = {
        { "eligible", { 3000, true, streaming, true, zh }, EnhanceGateDecision::Run },
        { "english eligible", { 60000, true, streaming, true, QStringLiteral("en-US") }, EnhanceGateDecision::Run },
        { "one ms too short", { 2999, true, streaming, true, zh }, EnhanceGateDecision::SkipDuration },
        { "upload backend while signed in", { 5000, true, upload, true, zh }, EnhanceGateDecision::SkipBackend },
        { "on-device backend", { 5000, true, QStringLiteral("apple-stt"), true, zh },
            EnhanceGateDecision::SkipBackend },
        { "signed out", { 5000, false, streaming, true, zh }, EnhanceGateDecision::SkipUnauth },
        { "switch off", { 5000, true, streaming, false, zh }, EnhanceGateDecision::SkipAIOptOff },
        { "taiwan", { 5000, true, streaming, true, QStringLiteral("zh-TW") }, EnhanceGateDecision::SkipLocale },
        { "british", { 5000, true, streaming, true, QStringLiteral("en-GB") }, EnhanceGateDecision::SkipLocale },
        { "other spelling", { 5000, true, streaming, true, QStringLiteral("zh_CN") }, EnhanceGateDecision::SkipLocale },
        { "short, upload, signed out", { 1000, false, upload, false, QString() }, EnhanceGateDecision::SkipDuration },
        { "upload, signed out", { 5000, false, upload, true, zh }, EnhanceGateDecision::SkipBackend },
        { "signed out, switch off", { 5000, false, streaming, false, zh }, EnhanceGateDecision::SkipUnauth },
        { "switch off, bad locale", { 5000, true, streaming, false, QStringLiteral("fr-FR") },
            EnhanceGateDecision::SkipAIOptOff },
    };
    for (const Row& row : rows) {
        const EnhanceGateDecision decision = SpeechEnhancerGate::evaluate(row.inputs);
        EXPECT_EQ(toString(decision), toString(row.expected)) << row.name;
        EXPECT_EQ(shouldSkip(decision), row.expected != EnhanceGateDecision::Run) << row.name;
    }
}

} // namespace
} // namespace murmeli::voice
