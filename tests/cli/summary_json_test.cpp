#include "cli/summary_json.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace quorvel {
namespace {

const std::string replacement = "\xEF\xBF\xBD";

std::string times(int n, const std::string& s) {
    std::string out;
    for (int i = 0; i < n; ++i) {
        out += s;
    }
    return out;
}

// JSON is Unicode: well-formed UTF-8 passes as it is, up to the edges of each length; every
// byte of a form that is not well-formed (a stray continuation, an overlong form, a surrogate,
// beyond U+10FFFF, cut short) becomes U+FFFD; the result always parses.
TEST(JsonStrings, WellFormedUtf8PassesAndEveryOtherByteIsReplaced) {
    const std::string good[] = {
        "caf\xC3\xA9",  "\xC2\x80",     "\xDF\xBF",         "\xE0\xA0\x80",     "\xED\x9F\xBF",
        "\xEE\x80\x80", "\xE2\x82\xAC", "\xF0\x90\x80\x80", "\xF4\x8F\xBF\xBF", "\xF0\x9D\x84\x9E"};
    for (const std::string& text : good) {
        EXPECT_EQ(jsonString(text), "\"" + text + "\"");
        EXPECT_EQ(nlohmann::json::parse(jsonString(text)), text);
    }
    const std::pair<std::string, int> bad[] = {
        {"\xC0\xAF", 2},         {"\xC1\xBF", 2},         {"\xE0\x80\xAF", 3}, {"\xE0\x9F\xBF", 3},
        {"\xF0\x80\x80\xAF", 4}, {"\xF0\x8F\xBF\xBF", 4}, {"\xED\xA0\x80", 3}, {"\xED\xBF\xBF", 3},
        {"\xF4\x90\x80\x80", 4}, {"\xF5\x80\x80\x80", 4}, {"\x80", 1},         {"\xBF\xBF", 2},
        {"\xE2\x82", 2},         {"\xF0\x9D\x84", 3},     {"\xFF", 1}};
    for (const auto& [text, bytes] : bad) {
        EXPECT_EQ(jsonString("a" + text + "b"), "\"a" + times(bytes, replacement) + "b\"");
        EXPECT_TRUE(nlohmann::json::parse(jsonString(text)).is_string());
    }
    EXPECT_EQ(jsonString("q\"b\\\n\t\x01"), "\"q\\\"b\\\\\\n\\t\\u0001\"");
}

} // namespace
} // namespace quorvel
