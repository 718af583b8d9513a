// The JSON reader of package notes: what it keeps and what it refuses.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/version_resource.h"
#include "text_rows.h"

namespace {

std::string Members(const std::string& json) {
    std::vector<CxVersionString> members;
    if (!CxParseJsonStringMembers(json.data(), json.size(), &members)) return "<refused>";
    std::string text;
    for (const auto& member : members)
        text += member.name + "=" + member.value + ";";
    return text;
}

TEST(JsonStringMembers, KeepsTopLevelStringsAndRefusesWhatIsNotOneObject) {
    for (const auto& row : cx::test::ReadRows(CX_TEST_DATA "/version/json_members.txt"))
        EXPECT_EQ(Members(row[0]), row[1]) << "row " << row.line << ": " << row[0];
    std::string too_deep = R"({"a":)" + std::string(100, '[') + std::string(100, ']') + "}";
    EXPECT_EQ(Members(too_deep), "<refused>");
}

}  // namespace
