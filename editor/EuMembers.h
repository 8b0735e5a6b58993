#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

// The member states of the European Union on 1 July of a year, as the
// game's nation file names them: the United Kingdom as its four home
// nations, each state under the names a database may give it.
namespace eu {

struct Nation {
    std::string name; // as it is named in messages
    bool member = false;
};

// The years the editor offers, the game's own season first.
inline constexpr int kYears[] = {1999, 2004, 2007, 2013, 2020};

// For each name in the file, whether its nation was a member on 1 July of
// `year`; and the members the file holds no nation for.
struct Matched {
    std::vector<bool> members;
    std::vector<std::string> missing;
};
Matched MatchMembers(std::span<const std::string> names, int year);

// A name as it is compared: letters and digits only, in lower case, without
// accents ("Côte d'Ivoire" and "cote divoire" are the same).
std::string Folded(std::string_view utf8);

} // namespace eu
