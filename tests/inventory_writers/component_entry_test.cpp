// The records' setters: bounded copies, fallbacks, and NULL meaning "leave it".
#include <gtest/gtest.h>

#include <string>

#include "inventory/component_entry.h"

namespace {

TEST(ComponentEntryTest, SettersCopyBoundedAndTakeFallbacksForEmptyTexts) {
    const std::string long_text(200, 'x');
    struct Case {
        const char* text;
        const char* fallback;
        std::string expected;
    };
    const Case cases[] = {
        {"Arvex", "N/A", "Arvex"},
        {"", "N/A", "N/A"},
        {"", nullptr, ""},
        {nullptr, "N/A", "before"},
        {long_text.c_str(), nullptr, long_text.substr(0, 127)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        ComponentEntry entry(7);
        CopyEntryText(entry.Vendor, "before");
        CopyEntryText(entry.Version, "before");
        CopyEntryText(entry.ProdDescript, "before");
        entry.SetVendor(c.text, c.fallback);
        entry.SetVersion(c.text, c.fallback);
        EXPECT_EQ(std::string(entry.Vendor), c.expected);
        EXPECT_EQ(std::string(entry.Version), c.expected);
        entry.SetProdDescript(c.text);
        EXPECT_EQ(std::string(entry.ProdDescript),
                  c.text == nullptr ? "before" : std::string(c.text).substr(0, 127));
    }
}

}  // namespace
