// The JSON reader of package notes: what it keeps and what it refuses.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/version_resource.h"

namespace {

std::string Members(const std::string& json) {
    std::vector<CxVersionString> members;
    if (!CxParseJsonStringMembers(json.data(), json.size(), &members)) return "<refused>";
    std::string text;
    for (const auto& member : members)
        text += member.name + "=" + member.value + ";";
    return text;
}

TEST(JsonStringMembers, KeepsTopLevelStrings) {
    struct Case {
        std::string json;
        std::string members;
    } cases[] = {
        {R"({})", ""},
        {R"(  {"a":"1", "b" : "two"}  )", "a=1;b=two;"},
        {R"({"a":true,"b":false,"c":null,"d":-1.5E+3,"e":[],"f":{},"g":"x"})", "g=x;"},
        {R"({"esc":"q\"b\\s\/n\nt\tu\u00e9\ud83d\ude00"})",
         "esc=q\"b\\s/n\nt\tu\xC3\xA9\xF0\x9F\x98\x80;"},
        {R"({"lone":"\ud800x"})", "lone=\xEF\xBF\xBDx;"},
        {R"({"deep":{"a":{"b":{"c":["d",{"e":"f"}]}}},"after":"kept"})", "after=kept;"},
        {std::string("{\"padded\":\"yes\"}\0\0\0", 19), "padded=yes;"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Members(c.json), c.members) << c.json;
}

TEST(JsonStringMembers, RefusesWhatIsNotOneObject) {
    std::string too_deep = R"({"a":)" + std::string(100, '[') + std::string(100, ']') + "}";
    for (const std::string& json :
         {std::string(""), std::string("[]"), std::string("\"text\""), std::string("{"),
          std::string(R"({"a")"), std::string(R"({"a":})"), std::string(R"({"a":"1",})"),
          std::string(R"({"a":"1"} x)"), std::string(R"({"a":"\x"})"),
          std::string(R"({"a":"\u12"})"), std::string("{\"a\":\"new\nline\"}"),
          std::string(R"({a:"1"})"), std::string(R"({"a":tru})"), too_deep}) {
        EXPECT_EQ(Members(json), "<refused>") << json;
    }
}

}  // namespace
