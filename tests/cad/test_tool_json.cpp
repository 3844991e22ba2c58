// The JSON the command-line programs write: every text and file name reads
// back as valid JSON, and a name that is not UTF-8 keeps its bytes.
#include <gtest/gtest.h>

#include <limits>
#include <sstream>

#include "tools/common/JsonWriter.h"

namespace {



TEST(ToolJson, TextIsQuotedLosslessly) {
    const struct {
        const char* name;
        std::string text, json;
    } cases[] = {
        {"plain", "plan.dwg", "\"plan.dwg\""},
        {"quote and backslash", "a\"b\\c", "\"a\\\"b\\\\c\""},
        {"line break and tab", "a\nb\tc", "\"a\\nb\\tc\""},
        {"other controls", std::string("\r\x01\x7f", 3) + "\xC2\x85", "\"\\u000d\\u0001\\u007f\\u0085\""},
        {"UTF-8 kept", "pl\xC3\xA4n \xE2\x82\xAC \xF0\x9F\x98\x80", "\"pl\xC3\xA4n \xE2\x82\xAC \xF0\x9F\x98\x80\""},
        {"Latin-1 byte", "pl\xE4n", "\"pl\\udce4n\""},
        {"overlong form", "\xC0\xAF", "\"\\udcc0\\udcaf\""},
        {"encoded surrogate", "\xED\xA0\x80", "\"\\udced\\udca0\\udc80\""},
        {"cut sequence", "a\xE2\x82", "\"a\\udce2\\udc82\""},
        {"zero byte", std::string("a\0b", 3), "\"a\\u0000b\""},
    };
    for (const auto& c : cases) EXPECT_EQ(lumicade::json::quoted(c.text), c.json) << c.name;
}

TEST(ToolJson, WriterPartsValuesAndNesting) {
    std::ostringstream out;
    lumicade::json::Writer j(out);
    j.beginObject();
    j.value("n", 3), j.value("x", 0.1), j.value("inf", std::numeric_limits<double>::infinity());
    j.value("big", 1LL << 40), j.value("yes", true), j.valueOrNull("none", std::string());
    j.beginArray("list");
    j.value(nullptr, "a"), j.beginObject(), j.endObject(), j.beginArray(), j.endArray();
    j.endArray();
    j.value("after", "\x01");
    j.endObject();
    EXPECT_EQ(out.str(), "{\"n\":3,\"x\":0.1,\"inf\":null,\"big\":1099511627776,\"yes\":true,\"none\":null,"
                         "\"list\":[\"a\",{},[]],\"after\":\"\\u0001\"}");
}

}  // namespace
