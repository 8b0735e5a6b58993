#pragma once

#include <algorithm>
#include <string_view>

namespace nationfile {

// Whether two names are the same but for the letter case of A to Z, as
// Windows compares the names of its folders ("Data", "Program Files").
inline bool SameIgnoringCase(std::string_view a, std::string_view b)
{
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    return a.size() == b.size()
        && std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) { return lower(x) == lower(y); });
}

} // namespace nationfile
