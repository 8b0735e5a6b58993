#include "EuMembers.h"

#include "Text.h"

#include <algorithm>
#include <array>
#include <iterator>
#include <string_view>
#include <unordered_map>

namespace eu {
namespace {

// Dates as yyyymmdd: the first day as a member, and the first day no
// longer one. Each row's source is the treaty or agreement that set its
// dates.
struct Member {
    const char* name; // as messages name it
    int joined;
    int left;               // 0: still a member
    int freeMovementLeft;   // 0: free movement ended with membership
    std::array<const char*, 6> names;
    // A state's name of before a union of states: it counts only in a file
    // that holds none of the state's own names ("West Germany" beside
    // "Germany" is the old state, not this one).
    const char* formerName;
    Union group = Union::EuropeanUnion; // the smallest group it belongs to
};

// One table, one row per nation the file may hold.
// clang-format off
constexpr Member kMembers[] = {
    // The Treaty of Rome, in force on 1 January 1958.
    {"Belgium",          19580101, 0,        0,        {"belgium", "belgique", "belgie"}, nullptr},
    {"France",           19580101, 0,        0,        {"france"}, nullptr},
    // East Germany joined with German unity on 3 October 1990: a file's "East
    // Germany" is never a member.
    {"Germany",          19580101, 0,        0,        {"germany", "deutschland"}, "westgermany"},
    {"Italy",            19580101, 0,        0,        {"italy", "italia"}, nullptr},
    {"Luxembourg",       19580101, 0,        0,        {"luxembourg", "luxemburg"}, nullptr},
    {"Netherlands",      19580101, 0,        0,        {"netherlands", "thenetherlands", "holland"}, nullptr},
    // The Treaty of Accession of 1972, in force on 1 January 1973. The United
    // Kingdom left on 31 January 2020 (the Withdrawal Agreement, article 185);
    // free movement went on through the transition period to 31 December 2020
    // (articles 126 and 127).
    {"Denmark",          19730101, 0,        0,        {"denmark"}, nullptr},
    {"Ireland",          19730101, 0,        0,        {"ireland", "republicofireland", "repofireland", "rofireland",
                                                         "eire", "irishrepublic"}, nullptr},
    {"England",          19730101, 20200201, 20210101, {"england"}, nullptr},
    {"Scotland",         19730101, 20200201, 20210101, {"scotland"}, nullptr},
    {"Wales",            19730101, 20200201, 20210101, {"wales"}, nullptr},
    {"Northern Ireland", 19730101, 20200201, 20210101, {"northernireland", "nireland", "nthireland"}, nullptr},
    // The Treaty of Accession of 1979, in force on 1 January 1981.
    {"Greece",           19810101, 0,        0,        {"greece", "hellas"}, nullptr},
    // The Treaty of Accession of 1985, in force on 1 January 1986.
    {"Portugal",         19860101, 0,        0,        {"portugal"}, nullptr},
    {"Spain",            19860101, 0,        0,        {"spain", "espana"}, nullptr},
    // The Treaty of Accession of 1994, in force on 1 January 1995.
    {"Austria",          19950101, 0,        0,        {"austria", "osterreich"}, nullptr},
    {"Finland",          19950101, 0,        0,        {"finland", "suomi"}, nullptr},
    {"Sweden",           19950101, 0,        0,        {"sweden", "sverige"}, nullptr},
    // The Treaty of Accession of 2003, in force on 1 May 2004.
    {"Cyprus",           20040501, 0,        0,        {"cyprus"}, nullptr},
    {"Czech Republic",   20040501, 0,        0,        {"czechrepublic", "czechia", "czechrep", "czech"}, nullptr},
    {"Estonia",          20040501, 0,        0,        {"estonia"}, nullptr},
    {"Hungary",          20040501, 0,        0,        {"hungary"}, nullptr},
    {"Latvia",           20040501, 0,        0,        {"latvia"}, nullptr},
    {"Lithuania",        20040501, 0,        0,        {"lithuania"}, nullptr},
    {"Malta",            20040501, 0,        0,        {"malta"}, nullptr},
    {"Poland",           20040501, 0,        0,        {"poland"}, nullptr},
    {"Slovakia",         20040501, 0,        0,        {"slovakia", "slovakrepublic"}, nullptr},
    {"Slovenia",         20040501, 0,        0,        {"slovenia"}, nullptr},
    // The Treaty of Accession of 2005, in force on 1 January 2007.
    {"Bulgaria",         20070101, 0,        0,        {"bulgaria"}, nullptr},
    {"Romania",          20070101, 0,        0,        {"romania", "rumania", "roumania"}, nullptr},
    // The Treaty of Accession of 2011, in force on 1 July 2013.
    {"Croatia",          20130701, 0,        0,        {"croatia", "hrvatska"}, nullptr},
    // The EEA Agreement, in force on 1 January 1994.
    {"Iceland",          19940101, 0,        0,        {"iceland", "island"}, nullptr, Union::FreeMovement},
    {"Norway",           19940101, 0,        0,        {"norway", "norge", "noreg"}, nullptr, Union::FreeMovement},
    // Liechtenstein in the EEA from 1 May 1995 (the EEA Council's decision
    // 1/95).
    {"Liechtenstein",    19950501, 0,        0,        {"liechtenstein"}, nullptr, Union::FreeMovement},
    // The Agreement on the Free Movement of Persons with Switzerland, in force
    // on 1 June 2002.
    {"Switzerland",      20020601, 0,        0,        {"switzerland", "schweiz", "suisse", "svizzera", "helvetia"},
                                                        nullptr, Union::FreeMovement},
};
// clang-format on

bool MemberOn(const Member& member, int date, Union group)
{
    if (member.group == Union::FreeMovement && group == Union::EuropeanUnion)
        return false;
    const int left = group == Union::FreeMovement && member.freeMovementLeft != 0 ? member.freeMovementLeft
                                                                                  : member.left;
    return member.joined <= date && (left == 0 || date < left);
}

} // namespace

std::string NameOf(Union group)
{
    return group == Union::EuropeanUnion ? "the European Union" : "the European Union, the EEA and Switzerland";
}

Matched MatchMembers(std::span<const std::string> names, int year, Union group)
{
    const int date = year * 10000 + 701;
    // Every name a member of that day goes by, so that each nation of the
    // file costs one look-up: a file may hold 32,767 of them.
    std::unordered_map<std::string_view, std::size_t> memberNamed;
    std::unordered_map<std::string_view, std::size_t> formerlyNamed;
    for (std::size_t m = 0; m < std::size(kMembers); ++m) {
        if (!MemberOn(kMembers[m], date, group))
            continue;
        for (const char* alternative : kMembers[m].names) {
            if (alternative != nullptr)
                memberNamed.emplace(alternative, m);
        }
        if (kMembers[m].formerName != nullptr)
            formerlyNamed.emplace(kMembers[m].formerName, m);
    }
    Matched matched;
    matched.members.assign(names.size(), false);
    std::vector<bool> found(std::size(kMembers), false);
    std::vector<std::pair<std::size_t, std::size_t>> former; // (member, row)
    for (std::size_t i = 0; i < names.size(); ++i) {
        const std::string folded = text::Folded(names[i]);
        if (const auto member = memberNamed.find(folded); member != memberNamed.end()) {
            matched.members[i] = true;
            found[member->second] = true;
        } else if (const auto formerly = formerlyNamed.find(folded); formerly != formerlyNamed.end()) {
            former.emplace_back(formerly->second, i);
        }
    }
    for (const auto& [member, row] : former) {
        if (!found[member])
            matched.members[row] = true;
    }
    for (const auto& [member, row] : former)
        found[member] = true;
    for (std::size_t m = 0; m < std::size(kMembers); ++m) {
        if (MemberOn(kMembers[m], date, group) && !found[m])
            matched.missing.push_back(kMembers[m].name);
    }
    std::sort(matched.missing.begin(), matched.missing.end());
    return matched;
}

} // namespace eu
