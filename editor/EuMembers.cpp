#include "EuMembers.h"

#include "Text.h"

#include <algorithm>
#include <array>
#include <iterator>
#include <string_view>
#include <unordered_map>

namespace eu {
namespace {

// Dates as yyyymmdd. Sources: the treaties of accession, the United
// Kingdom's withdrawal agreement (a member until 31 January 2020), the EEA
// agreement and its enlargement to Liechtenstein, and the agreement on the
// free movement of persons with Switzerland.
struct Member {
    const char* name;
    int joined;
    int left; // 0: still a member
    std::array<const char*, 6> names;
    Union group = Union::EuropeanUnion; // the smallest group it belongs to
};

// One table, one row per nation the file may hold.
// clang-format off
constexpr Member kMembers[] = {
    {"Belgium",          19580101, 0,        {"belgium", "belgique", "belgie"}},
    {"France",           19580101, 0,        {"france"}},
    {"Germany",          19580101, 0,        {"germany", "westgermany", "deutschland"}},
    {"Italy",            19580101, 0,        {"italy", "italia"}},
    {"Luxembourg",       19580101, 0,        {"luxembourg", "luxemburg"}},
    {"Netherlands",      19580101, 0,        {"netherlands", "thenetherlands", "holland"}},
    {"Denmark",          19730101, 0,        {"denmark"}},
    {"Ireland",          19730101, 0,        {"ireland", "republicofireland", "repofireland", "rofireland", "eire",
                                               "irishrepublic"}},
    {"England",          19730101, 20200201, {"england"}},
    {"Scotland",         19730101, 20200201, {"scotland"}},
    {"Wales",            19730101, 20200201, {"wales"}},
    {"Northern Ireland", 19730101, 20200201, {"northernireland", "nireland", "nthireland"}},
    {"Greece",           19810101, 0,        {"greece", "hellas"}},
    {"Portugal",         19860101, 0,        {"portugal"}},
    {"Spain",            19860101, 0,        {"spain", "espana"}},
    {"Austria",          19950101, 0,        {"austria", "osterreich"}},
    {"Finland",          19950101, 0,        {"finland", "suomi"}},
    {"Sweden",           19950101, 0,        {"sweden", "sverige"}},
    {"Cyprus",           20040501, 0,        {"cyprus"}},
    {"Czech Republic",   20040501, 0,        {"czechrepublic", "czechia", "czechrep", "czech"}},
    {"Estonia",          20040501, 0,        {"estonia"}},
    {"Hungary",          20040501, 0,        {"hungary"}},
    {"Latvia",           20040501, 0,        {"latvia"}},
    {"Lithuania",        20040501, 0,        {"lithuania"}},
    {"Malta",            20040501, 0,        {"malta"}},
    {"Poland",           20040501, 0,        {"poland"}},
    {"Slovakia",         20040501, 0,        {"slovakia", "slovakrepublic"}},
    {"Slovenia",         20040501, 0,        {"slovenia"}},
    {"Bulgaria",         20070101, 0,        {"bulgaria"}},
    {"Romania",          20070101, 0,        {"romania", "rumania", "roumania"}},
    {"Croatia",          20130701, 0,        {"croatia", "hrvatska"}},
    {"Iceland",          19940101, 0,        {"iceland", "island"}, Union::FreeMovement},
    {"Norway",           19940101, 0,        {"norway", "norge", "noreg"}, Union::FreeMovement},
    {"Liechtenstein",    19950501, 0,        {"liechtenstein"}, Union::FreeMovement},
    {"Switzerland",      20020601, 0,        {"switzerland", "schweiz", "suisse", "svizzera", "helvetia"},
                                                                          Union::FreeMovement},
};
// clang-format on

bool MemberOn(const Member& member, int date, Union group)
{
    return (member.group == Union::EuropeanUnion || group == Union::FreeMovement) && member.joined <= date
        && (member.left == 0 || date < member.left);
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
    for (std::size_t m = 0; m < std::size(kMembers); ++m) {
        if (!MemberOn(kMembers[m], date, group))
            continue;
        for (const char* alternative : kMembers[m].names) {
            if (alternative != nullptr)
                memberNamed.emplace(alternative, m);
        }
    }
    Matched matched;
    matched.members.assign(names.size(), false);
    std::vector<bool> found(std::size(kMembers), false);
    for (std::size_t i = 0; i < names.size(); ++i) {
        const auto member = memberNamed.find(text::Folded(names[i]));
        if (member == memberNamed.end())
            continue;
        matched.members[i] = true;
        found[member->second] = true;
    }
    for (std::size_t m = 0; m < std::size(kMembers); ++m) {
        if (MemberOn(kMembers[m], date, group) && !found[m])
            matched.missing.push_back(kMembers[m].name);
    }
    std::sort(matched.missing.begin(), matched.missing.end());
    return matched;
}

} // namespace eu
