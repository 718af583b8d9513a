// INI text for the writers' tests: lines joined with CRLF, as the profile calls write them.
#pragma once

#include <initializer_list>
#include <string>

namespace cx::test {

std::string IniText(std::initializer_list<const char*> lines);

}  // namespace cx::test

namespace cx::test {

// The section `name` of INI text, from its header up to the next header; "" when missing.
std::string IniSection(const std::string& text, const std::string& name);

}  // namespace cx::test
