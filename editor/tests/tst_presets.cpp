// The presets of the list's context menu: the members of each year as a
// file names them, and what the menu ticks and says.
#include "CommandsFixture.h"
#include "EuMembers.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <functional>
#include <set>

using namespace nationfile;
using namespace testfiles;
namespace fs = std::filesystem;

namespace {

// Names as the 01/02 edition's file gives them, old states among them: the
// 27 of the European Union of 2021, then Iceland, Norway, Liechtenstein and
// Switzerland, then the United Kingdom's four, then nations never members.
const std::vector<std::string> kEu27 = {
    "Austria", "Belgium", "Bulgaria", "Croatia", "Cyprus", "Czech Republic", "Denmark", "Estonia", "Finland",
    "France", "Germany", "Greece", "Holland", "Hungary", "Republic of Ireland", "Italy", "Latvia", "Lithuania",
    "Luxembourg", "Malta", "Poland", "Portugal", "Romania", "Slovakia", "Slovenia", "Spain", "Sweden"};
const std::vector<std::string> kEeaAndSwiss = {"Iceland", "Norway", "Liechtenstein", "Switzerland"};
const std::vector<std::string> kHomeNations = {"England", "Scotland", "Wales", "Northern Ireland"};
const std::vector<std::string> kNeverMembers = {
    "West Germany", "East Germany", "Czechoslovakia", "Soviet Union", "Yugoslavia", "FYR of Macedonia",
    "S\xC3\xA3o Tom\xC3\xA9 & Principe", "Andorra", "San Marino", "Faroe Islands", "Turkey", "Russia", "Albania",
    "Brazil"};

std::vector<std::string> Joined(std::initializer_list<std::vector<std::string>> parts)
{
    std::vector<std::string> all;
    for (const std::vector<std::string>& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

std::vector<std::string> Edition0102()
{
    return Joined({kEu27, kEeaAndSwiss, kHomeNations, kNeverMembers});
}

// The 27 as they stood before later accessions.
std::vector<std::string> Without(std::vector<std::string> names, const std::vector<std::string>& left)
{
    std::erase_if(names, [&](const std::string& name) { return std::find(left.begin(), left.end(), name) != left.end(); });
    return names;
}

} // namespace

TEST_CASE("the members of the European Union, and of free movement, on 1 July of each year, as the file names "
          "them")
{
    const std::vector<std::string> names = {
        "Austria", "Belgium", "HOLLAND", "Eire", "England", "Scotland", "Wales", "N. Ireland", "Czechia",
        "Poland", "Bulgaria", "Croatia", "Norway", "C\xC3\xB4te d'Ivoire", "Ireland", "Germany", "Osterreich",
        "\xC3\x8Dsland", "Schweiz", "Liechtenstein",
    };
    struct Row {
        std::string row;
        int year;
        eu::Union group;
        std::vector<std::string> ticked;
        std::size_t missing;
        std::vector<std::string> file = {}; // the names above when empty
    };
    const eu::Union kEu = eu::Union::EuropeanUnion;
    const eu::Union kFree = eu::Union::FreeMovement;
    const std::vector<std::string> eu2004 = Without(kEu27, {"Bulgaria", "Romania", "Croatia"});
    const Row rows[] = {
        // 15 states; of them the file lacks Denmark, Finland, France, Greece,
        // Italy, Luxembourg, Portugal, Spain and Sweden.
        {"the game's season", 1999, kEu, {"Austria", "Belgium", "HOLLAND", "Eire", "England", "Scotland", "Wales",
                                          "N. Ireland", "Ireland", "Germany", "Osterreich"}, 9},
        {"2004", 2004, kEu, {"Austria", "Belgium", "HOLLAND", "Eire", "England", "Scotland", "Wales", "N. Ireland",
                             "Czechia", "Poland", "Ireland", "Germany", "Osterreich"}, 9 + 8},
        {"2013", 2013, kEu, {"Austria", "Belgium", "HOLLAND", "Eire", "England", "Scotland", "Wales", "N. Ireland",
                             "Czechia", "Poland", "Bulgaria", "Croatia", "Ireland", "Germany", "Osterreich"}, 9 + 8 + 1},
        {"the United Kingdom left the Union on 31 January 2020", 2020, kEu, {"Austria", "Belgium", "HOLLAND", "Eire",
             "Czechia", "Poland", "Bulgaria", "Croatia", "Ireland", "Germany", "Osterreich"}, 9 + 8 + 1},
        {"2021: the 27", 2021, kEu, {"Austria", "Belgium", "HOLLAND", "Eire", "Czechia", "Poland", "Bulgaria",
                                     "Croatia", "Ireland", "Germany", "Osterreich"}, 9 + 8 + 1},
        {"before the EEA: the twelve alone, seven of them missing", 1993, kFree, {"Belgium", "HOLLAND", "Eire",
             "England", "Scotland", "Wales", "N. Ireland", "Ireland", "Germany"}, 7},
        {"Iceland and Norway from 1 January 1994", 1994, kFree, {"Belgium", "HOLLAND", "Eire", "England", "Scotland",
             "Wales", "N. Ireland", "Norway", "Ireland", "Germany", "\xC3\x8Dsland"}, 7},
        {"Liechtenstein from 1 May 1995", 1999, kFree, {"Austria", "Belgium", "HOLLAND", "Eire", "England",
             "Scotland", "Wales", "N. Ireland", "Norway", "Ireland", "Germany", "Osterreich", "\xC3\x8Dsland",
             "Liechtenstein"}, 9},
        {"Switzerland not before 1 June 2002", 2001, kFree, {"Austria", "Belgium", "HOLLAND", "Eire", "England",
             "Scotland", "Wales", "N. Ireland", "Norway", "Ireland", "Germany", "Osterreich", "\xC3\x8Dsland",
             "Liechtenstein"}, 9},
        {"Switzerland from 1 June 2002", 2002, kFree, {"Austria", "Belgium", "HOLLAND", "Eire", "England", "Scotland",
             "Wales", "N. Ireland", "Norway", "Ireland", "Germany", "Osterreich", "\xC3\x8Dsland", "Schweiz",
             "Liechtenstein"}, 9},
        {"the United Kingdom's transition period: free movement to 31 December 2020", 2020, kFree, {"Austria",
             "Belgium", "HOLLAND", "Eire", "England", "Scotland", "Wales", "N. Ireland", "Czechia", "Poland",
             "Bulgaria", "Croatia", "Norway", "Ireland", "Germany", "Osterreich", "\xC3\x8Dsland", "Schweiz",
             "Liechtenstein"}, 9 + 8 + 1},
        {"2021: free movement without the United Kingdom", 2021, kFree, {"Austria", "Belgium", "HOLLAND", "Eire",
             "Czechia", "Poland", "Bulgaria", "Croatia", "Norway", "Ireland", "Germany", "Osterreich",
             "\xC3\x8Dsland", "Schweiz", "Liechtenstein"}, 9 + 8 + 1},
        // The 01/02 edition's names: West Germany beside Germany is the old
        // state; East Germany never counts.
        {"01/02: the 25 of 2004 with the home nations, not West Germany", 2004, kEu,
         Joined({eu2004, kHomeNations}), 0, Edition0102()},
        {"01/02: the 27 of 2021 alone", 2021, kEu, kEu27, 0, Edition0102()},
        {"01/02: free movement in 2020, the home nations with it", 2020, kFree,
         Joined({kEu27, kEeaAndSwiss, kHomeNations}), 0, Edition0102()},
        {"01/02: free movement in 2021, the home nations without it", 2021, kFree, Joined({kEu27, kEeaAndSwiss}), 0,
         Edition0102()},
        {"West Germany stands for Germany in a file without Germany", 1999, kEu, {"West Germany", "France"}, 16,
         {"West Germany", "East Germany", "France"}},
        {"every West Germany of such a file", 2013, kFree, {"West Germany", "West Germany"}, 34,
         {"East Germany", "West Germany", "West Germany"}},
        {"not beside Germany's own name", 1999, kEu, {"Deutschland"}, 17, {"West Germany", "Deutschland"}},
    };
    for (const Row& row : rows) {
        INFO(row.row);
        const std::vector<std::string>& file = row.file.empty() ? names : row.file;
        const eu::Matched matched = eu::MatchMembers(file, row.year, row.group);
        std::vector<std::string> ticked;
        for (std::size_t i = 0; i < file.size(); ++i) {
            if (matched.members[i])
                ticked.push_back(file[i]);
        }
        CHECK(ticked == row.ticked);
        CHECK(matched.missing.size() == row.missing);
    }
}

TEST_CASE_FIXTURE(Fixture, "the context menu ticks in bulk, and only ticks")
{
    REQUIRE(WriteFile(dir / "Nation.dat",
                      MakeRecord("England", 2) + MakeRecord("Norway", 1) + MakeRecord("Holland", 1)
                          + MakeRecord("Malta", 2)));
    const Bytes original = ReadFile(dir / "Nation.dat");
    Load("Nation.dat");
    const auto find = [this](TickChoice choice, int year = 0) { return MenuCommand(*editor, choice, year); };
    const auto ticks = [this] { return view.nations.Ticks(); };
    std::vector<std::string> labels;
    for (const auto& [label, entry] : MenuCommands(editor->TickMenu()))
        labels.push_back(label);
    std::vector<std::string> expected = {"&Tick all nations", "&Untick all nations"};
    for (const char* group : {"Tick only the &EU members of ", "Tick the EU, EEA and &Swiss members of "}) {
        for (const char* year : {"199&9", "200&4", "200&7", "201&3", "202&0", "202&1"})
            expected.push_back(group + std::string(year));
    }
    expected.push_back("Ticks as in the &file");
    CHECK(labels == expected);
    // The windows hand back a command's number, from 1 in the order shown;
    // no other number chooses anything.
    int next = 1;
    for (const auto& command : MenuCommands(editor->TickMenu()))
        CHECK(command.second.id == next++);
    const std::vector<bool> loaded = ticks();
    for (const int id : {0, -1, next})
        editor->ApplyTicks(id);
    CHECK(ticks() == loaded);
    CHECK(view.messages.empty());

    // Each entry has an access key, none the same as another's in the same
    // menu, the backup's entry included.
    REQUIRE(WriteFile(dir / "Nation.dat.bak", original));
    const auto key = [](const std::string& label) {
        const std::size_t mark = label.find('&');
        INFO(label);
        REQUIRE(mark + 1 < label.size());
        return static_cast<char>(std::tolower(static_cast<unsigned char>(label[mark + 1])));
    };
    const std::function<std::size_t(const std::vector<TickMenuEntry>&)> checkKeys
        = [&](const std::vector<TickMenuEntry>& menu) {
              std::set<char> keys;
              for (const TickMenuEntry& entry : menu) {
                  INFO(entry.label);
                  CHECK(keys.insert(key(entry.label)).second);
                  if (entry.IsSubmenu())
                      checkKeys(entry.submenu);
              }
              return keys.size();
          };
    CHECK(checkKeys(editor->TickMenu()) == 6);
    REQUIRE(fs::remove(dir / "Nation.dat.bak"));

    // Each entry: the ticks, then its message. Only the presets of a year
    // say what they did; the file's members are England and Malta.
    struct Preset {
        TickChoice choice;
        int year;
        std::vector<bool> ticks;
        std::string starts;                // "" no message
        std::vector<std::string> missing;  // among others
        std::string unticked;              // the file's members no longer ticked
    };
    const std::string notIn = "These nations are members in the file but not in ";
    const Preset presets[] = {
        {TickChoice::None, 0, {false, false, false, false}, "", {}, ""},
        {TickChoice::All, 0, {true, true, true, true}, "", {}, ""},
        {TickChoice::EuMembers, 1999, {true, false, true, false}, "2 nations are ticked now",
         {"Scotland", "Wales", "Northern Ireland", "Denmark"},
         notIn + "the European Union in 1999, so they are now unticked:\r\n\r\nMalta"},
        {TickChoice::EuMembers, 2004, {true, false, true, true}, "3 nations are ticked now", {"Scotland", "Cyprus"},
         ""},
        {TickChoice::FreeMovement, 2020, {true, true, true, true}, "4 nations are ticked now",
         {"Iceland", "Switzerland"}, ""},
        {TickChoice::FreeMovement, 2021, {false, true, true, true}, "3 nations are ticked now",
         {"Iceland", "Switzerland"},
         notIn + "the European Union, the EEA and Switzerland in 2021, so they are now unticked:\r\n\r\nEngland"},
        {TickChoice::AsInFile, 0, {true, false, false, true}, "", {}, ""},
    };
    for (const Preset& preset : presets) {
        INFO(static_cast<int>(preset.choice) << " " << preset.year);
        view.messages.clear();
        editor->ApplyTicks(find(preset.choice, preset.year).id);
        CHECK(ticks() == preset.ticks);
        if (preset.starts.empty()) {
            CHECK(view.messages.empty());
            continue;
        }
        // One message, titled as the application.
        REQUIRE(view.messages.size() == 1);
        const std::string& text = view.messages[0].text;
        CHECK(view.messages[0].title == form::APPLICATION_TITLE);
        CHECK(text.starts_with(preset.starts));
        for (const std::string& name : preset.missing)
            CHECK(text.find(name) != std::string::npos);
        CHECK((preset.unticked.empty() ? text.find(notIn) == std::string::npos : text.ends_with(preset.unticked)));
    }
    CHECK(ReadFile(dir / "Nation.dat") == original);
    CHECK(!editor->State().blnPatched);

    // The backup's ticks, once a patch has made one.
    editor->ApplyTicks(find(TickChoice::All).id);
    editor->cmdPatch_Click();
    editor->ApplyTicks(find(TickChoice::None).id);
    CHECK(editor->State().blnPatched);
    view.messages.clear();
    editor->ApplyTicks(find(TickChoice::FromBackup).id);
    CHECK(ticks() == std::vector<bool> {true, false, false, true});
    CHECK(view.messages.empty());
    CHECK(editor->State().blnPatched);
    // A backup of other nations is not offered, nor chosen by the number
    // its entry had.
    const int fromBackup = find(TickChoice::FromBackup).id;
    editor->ApplyTicks(find(TickChoice::None).id);
    REQUIRE(WriteFile(dir / "Nation.dat.bak", MakeNationFile(4)));
    CHECK(MenuCommands(editor->TickMenu()).back().second.choice == TickChoice::AsInFile);
    editor->ApplyTicks(fromBackup);
    CHECK(ticks() == std::vector<bool>(4, false));
}

TEST_CASE_FIXTURE(Fixture, "the context menu is greyed out until a load, and ticks nothing meanwhile")
{
    // Submenus and their commands alike.
    for (const TickMenuEntry& entry : editor->TickMenu())
        CHECK(!entry.enabled);
    // Not a structured binding: INFO captures the label, which clang before
    // 16 (emscripten's) can't do with one.
    for (const auto& command : MenuCommands(editor->TickMenu())) {
        INFO(command.first);
        CHECK(!command.second.enabled);
        editor->ApplyTicks(command.second.id);
    }
    CHECK(view.messages.empty());
    CHECK((view.nations.NationCount() == 0));

    Load("three.dat");
    for (const TickMenuEntry& entry : editor->TickMenu())
        CHECK(entry.enabled);
    for (const auto& [label, entry] : MenuCommands(editor->TickMenu()))
        CHECK(entry.enabled);
}

TEST_CASE("a preset's message, word for word: the nations ticked now, those it ticked and unticked, the members "
          "the file lacks in alphabetical order, the file's members unticked, at most 40 names in each part")
{
    // A file of `nations`, each a member in the file where it is in
    // `membersInFile`, then `extraMembers` more nations the file marks as
    // members.
    struct Row {
        std::string row;
        std::vector<std::string> nations;
        std::vector<std::string> membersInFile;
        std::size_t extraMembers;
        TickChoice choice;
        int year;
        std::vector<std::string> parts; // the message's paragraphs
    };
    const auto list = [](const std::vector<std::string>& names) {
        std::string joined;
        for (const std::string& name : names)
            joined += (joined.empty() ? "" : ", ") + name;
        return joined;
    };
    std::vector<std::string> extra;
    for (std::size_t i = 0; i < 100; ++i)
        extra.push_back("Member " + std::to_string(i));
    const std::vector<std::string> first40(extra.begin(), extra.begin() + 40);
    const std::vector<std::string> first41(extra.begin(), extra.begin() + 41);
    const std::vector<std::string> members = Joined({kEu27, kEeaAndSwiss, kHomeNations});
    const std::string eu2020 = "the European Union in 2020";
    const std::string notIn2020 = "These nations are members in the file but not in " + eu2020
        + ", so they are now unticked:";
    const std::string eu2004 = "the European Union in 2004";
    const Row rows[] = {
        {"a file that lacks no member: the count and the nations ticked", members, {}, 0, TickChoice::EuMembers, 2020,
         {"27 nations are ticked now, as members of " + eu2020 + ".", "Newly ticked: " + list(kEu27)}},
        {"a file that lacks no member: the members it unticks too", members, {"Scotland"}, 0, TickChoice::EuMembers,
         2020,
         {"27 nations are ticked now, as members of " + eu2020 + ".", "Newly ticked: " + list(kEu27),
          "Newly unticked: Scotland", notIn2020, "Scotland"}},
        {"40 nations unticked, each named", kEu27, kEu27, 40, TickChoice::EuMembers, 2020,
         {"27 nations are ticked now, as members of " + eu2020 + ".", "Newly unticked: " + list(first40), notIn2020,
          list(first40)}},
        {"41 nations unticked: 40 named, then the number of the rest", kEu27, kEu27, 41, TickChoice::EuMembers, 2020,
         {"27 nations are ticked now, as members of " + eu2020 + ".", "Newly unticked: " + list(first40) + " and 1 more",
          notIn2020, list(first40) + " and 1 more"}},
        {"100 nations unticked", kEu27, kEu27, 100, TickChoice::EuMembers, 2020,
         {"27 nations are ticked now, as members of " + eu2020 + ".",
          "Newly unticked: " + list(first40) + " and 60 more", notIn2020, list(first40) + " and 60 more"}},
        {"ticking all says nothing", first41, {}, 0, TickChoice::All, 0, {}},
        {"the members a file lacks, in alphabetical order", {"Austria"}, {}, 0, TickChoice::EuMembers, 1999,
         {"1 nation is ticked now, as members of the European Union in 1999.", "Newly ticked: Austria",
          "The file holds no nation for these members of the European Union in 1999, so none was ticked for them:",
          "Belgium, Denmark, England, Finland, France, Germany, Greece, Ireland, Italy, Luxembourg, Netherlands, "
          "Northern Ireland, Portugal, Scotland, Spain, Sweden, Wales"}},
        {"a preset that ticks none: no singular", {"Brazil"}, {}, 0, TickChoice::EuMembers, 1999,
         {"0 nations are ticked now, as members of the European Union in 1999.", "No tick changed.",
          "The file holds no nation for these members of the European Union in 1999, so none was ticked for them:",
          "Austria, Belgium, Denmark, England, Finland, France, Germany, Greece, Ireland, Italy, Luxembourg, "
          "Netherlands, Northern Ireland, Portugal, Scotland, Spain, Sweden, Wales"}},
        {"ticks as the preset has them already", {"Iceland", "Brazil"}, {"Iceland"}, 0, TickChoice::FreeMovement, 1999,
         {"1 nation is ticked now, as members of the European Union, the EEA and Switzerland in 1999.",
          "No tick changed.",
          "The file holds no nation for these members of the European Union, the EEA and Switzerland in 1999, so "
          "none was ticked for them:",
          "Austria, Belgium, Denmark, England, Finland, France, Germany, Greece, Ireland, Italy, Liechtenstein, "
          "Luxembourg, Netherlands, Northern Ireland, Norway, Portugal, Scotland, Spain, Sweden, Wales"}},
        {"01/02: 28 ticked in 2004, West Germany not among them", Edition0102(), {"England", "West Germany"}, 0,
         TickChoice::EuMembers, 2004,
         {"28 nations are ticked now, as members of " + eu2004 + ".",
          "Newly ticked: " + list(Joined({Without(kEu27, {"Bulgaria", "Romania", "Croatia"}),
                                          {"Scotland", "Wales", "Northern Ireland"}})),
          "Newly unticked: West Germany",
          "These nations are members in the file but not in " + eu2004 + ", so they are now unticked:",
          "West Germany"}},
    };
    for (const Row& row : rows) {
        INFO(row.row);
        Fixture f;
        Bytes file;
        for (const std::string& name : row.nations) {
            const bool member = std::find(row.membersInFile.begin(), row.membersInFile.end(), name)
                != row.membersInFile.end();
            file += MakeRecord(name, member ? MEMBER_YES : MEMBER_NO);
        }
        for (std::size_t i = 0; i < row.extraMembers; ++i)
            file += MakeRecord(extra[i], MEMBER_YES);
        REQUIRE(WriteFile(f.dir / "Nation.dat", file));
        f.Load("Nation.dat");
        f.editor->ApplyTicks(MenuCommand(*f.editor, row.choice, row.year).id);
        if (row.parts.empty()) {
            CHECK(f.view.messages.empty());
            continue;
        }
        std::string expected;
        for (const std::string& part : row.parts)
            expected += (expected.empty() ? "" : "\r\n\r\n") + part;
        REQUIRE(f.view.messages.size() == 1);
        CHECK(f.view.messages[0].text == expected);
        CHECK(f.view.messages[0].title == form::APPLICATION_TITLE);
        CHECK(f.view.messages[0].buttons == MessageButtons::Ok);
    }
}
