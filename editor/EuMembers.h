#pragma once

#include <span>
#include <string>
#include <vector>

// The member states of the European Union on 1 July of a year, as the
// game's nation file names them: the United Kingdom as its four home
// nations, each state under the names a database may give it. In the game
// the flag means "no work permit needed", which today's rules give the
// states of free movement too: the EU, the EEA and Switzerland.
namespace eu {

// The years the editor offers, the game's own season first; 2021 the first
// year after the United Kingdom's transition period.
inline constexpr int kYears[] = {1999, 2004, 2007, 2013, 2020, 2021};

enum class Union {
    EuropeanUnion,
    // The European Union, with Iceland and Norway (from 1 January 1994),
    // Liechtenstein (from 1 May 1995) and Switzerland (free movement from
    // 1 June 2002); the United Kingdom's nations to the end of its
    // transition period, 31 December 2020.
    FreeMovement,
};

// Its name in messages: "the European Union".
std::string NameOf(Union group);

// For each name in the file, whether its nation was a member on 1 July of
// `year`; and the members the file holds no nation for, in the alphabetical
// order of their names in messages, so that a player finds one at a glance.
struct Matched {
    std::vector<bool> members;
    std::vector<std::string> missing;
};
Matched MatchMembers(std::span<const std::string> names, int year, Union group = Union::EuropeanUnion);

} // namespace eu
