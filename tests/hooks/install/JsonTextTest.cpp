#include <gtest/gtest.h>

#include "main/hooks/install/JsonText.h"

using murmeli::hooks::JsonText;

// What an edit touches is laid out anew; everything else keeps its bytes: numbers, escapes, spacing, key order.
TEST(JsonTextTest, AnEditRewritesOnlyWhatItChanged)
{
    struct Case {
        const char* text;
        const char* afterAddingX; // {"x": 1} inserted at the top level
    };
    const Case cases[] = {
        { "{}", "{\n  \"x\": 1\n}" },
        { "{\"z\":12345678901234567890,\"a\":[1.0, 1e-7,{}]}",
            "{\n  \"z\": 12345678901234567890,\n  \"a\": [1.0, 1e-7,{}],\n  \"x\": 1\n}" },
        { "\xEF\xBB\xBF { \"\\u00e9\\\"\" : \"\\/\" }", "{\n  \"\\u00e9\\\"\": \"\\/\",\n  \"x\": 1\n}" },
        { "{\"x\": 1, \"y\": {\"deep\": [true, null]}}", "{\"x\": 1, \"y\": {\"deep\": [true, null]}}" },
        { "{\"x\": 1.0}", "{\n  \"x\": 1\n}" },
    };
    for (const Case& c : cases) {
        std::optional<JsonText> value = JsonText::parse(c.text);
        ASSERT_TRUE(value) << c.text;
        EXPECT_EQ(value->toText(), QByteArray(c.text).mid(QByteArray(c.text).indexOf('{')).trimmed()) << c.text;
        value->insert(QStringLiteral("x"), JsonText(1));
        EXPECT_EQ(value->toText(), QByteArray(c.afterAddingX)) << c.text;
    }
}

TEST(JsonTextTest, RefusesWhatItCouldNotWriteBackAsItWas)
{
    for (const char* text : { "{\"a\": 1, \"a\": 2}", "{\"a\": {\"b\": 1, \"b\": 1}}", "{\"a\": 1e400}", "{\"a\": 01}",
             "{\"a\": 1} x", "{\"a\": \"\xff\"}", "" }) {
        QString problem;
        EXPECT_FALSE(JsonText::parse(text, &problem)) << text;
        EXPECT_FALSE(problem.isEmpty()) << text;
    }
}
