// The presets of the list's context menu: the members of each year as a
// file names them, and what the menu ticks and says.
#include "CommandsFixture.h"
#include "EuMembers.h"

#include <cctype>
#include <filesystem>
#include <functional>
#include <set>

using namespace nationfile;
using namespace testfiles;
namespace fs = std::filesystem;

TEST_CASE("the members of the European Union, and of free movement, on 1 July of each year, as the file names "
          "them")
{
    const std::vector<std::string> names = {
        "Austria", "Belgium", "HOLLAND", "Eire", "England", "Scotland", "Wales", "N. Ireland", "Czechia",
        "Poland", "Bulgaria", "Croatia", "Norway", "C\xC3\xB4te d'Ivoire", "Ireland", "Germany", "Osterreich",
        "\xC3\x8Dsland", "Schweiz", "Liechtenstein",
    };
    struct Row {
        int year;
        eu::Union group;
        std::vector<std::string> ticked;
        std::size_t missing;
    };
    const eu::Union kEu = eu::Union::EuropeanUnion;
    const eu::Union kFree = eu::Union::FreeMovement;
    const Row rows[] = {
        // 15 states; of them the file lacks Denmark, Finland, France, Greece,
        // Italy, Luxembourg, Portugal, Spain and Sweden.
        {1999, kEu, {"Austria", "Belgium", "HOLLAND", "Eire", "England", "Scotland", "Wales", "N. Ireland", "Ireland",
                     "Germany", "Osterreich"}, 9},
        {2004, kEu, {"Austria", "Belgium", "HOLLAND", "Eire", "England", "Scotland", "Wales", "N. Ireland", "Czechia",
                     "Poland", "Ireland", "Germany", "Osterreich"}, 9 + 8},
        {2013, kEu, {"Austria", "Belgium", "HOLLAND", "Eire", "England", "Scotland", "Wales", "N. Ireland", "Czechia",
                     "Poland", "Bulgaria", "Croatia", "Ireland", "Germany", "Osterreich"}, 9 + 8 + 1},
        // The United Kingdom left on 31 January 2020.
        {2020, kEu, {"Austria", "Belgium", "HOLLAND", "Eire", "Czechia", "Poland", "Bulgaria", "Croatia", "Ireland",
                     "Germany", "Osterreich"}, 9 + 8 + 1},
        // Before the EEA: the twelve alone, seven of them missing.
        {1993, kFree, {"Belgium", "HOLLAND", "Eire", "England", "Scotland", "Wales", "N. Ireland", "Ireland",
                       "Germany"}, 7},
        // Iceland and Norway from 1 January 1994, Liechtenstein from 1 May 1995.
        {1994, kFree, {"Belgium", "HOLLAND", "Eire", "England", "Scotland", "Wales", "N. Ireland", "Norway",
                       "Ireland", "Germany", "\xC3\x8Dsland"}, 7},
        {1999, kFree, {"Austria", "Belgium", "HOLLAND", "Eire", "England", "Scotland", "Wales", "N. Ireland",
                       "Norway", "Ireland", "Germany", "Osterreich", "\xC3\x8Dsland", "Liechtenstein"}, 9},
        // Switzerland from 1 June 2002.
        {2001, kFree, {"Austria", "Belgium", "HOLLAND", "Eire", "England", "Scotland", "Wales", "N. Ireland",
                       "Norway", "Ireland", "Germany", "Osterreich", "\xC3\x8Dsland", "Liechtenstein"}, 9},
        {2002, kFree, {"Austria", "Belgium", "HOLLAND", "Eire", "England", "Scotland", "Wales", "N. Ireland",
                       "Norway", "Ireland", "Germany", "Osterreich", "\xC3\x8Dsland", "Schweiz", "Liechtenstein"}, 9},
        {2020, kFree, {"Austria", "Belgium", "HOLLAND", "Eire", "Czechia", "Poland", "Bulgaria", "Croatia", "Norway",
                       "Ireland", "Germany", "Osterreich", "\xC3\x8Dsland", "Schweiz", "Liechtenstein"}, 9 + 8 + 1},
    };
    for (const Row& row : rows) {
        INFO(row.year << (row.group == kEu ? " the European Union" : " free movement"));
        const eu::Matched matched = eu::MatchMembers(names, row.year, row.group);
        std::vector<std::string> ticked;
        for (std::size_t i = 0; i < names.size(); ++i) {
            if (matched.members[i])
                ticked.push_back(names[i]);
        }
        CHECK(ticked == row.ticked);
        CHECK(matched.missing.size() == row.missing);
    }

    // Names as the 01/02 edition's file has them, old states among them: the
    // free movement of 2020 ticks the 27, the EEA's three and Switzerland,
    // West Germany with Germany, and nothing else.
    const std::vector<std::string> free2020 = {
        "Austria", "Belgium", "Bulgaria", "Croatia", "Cyprus", "Czech Republic", "Denmark", "Estonia", "Finland",
        "France", "Germany", "Greece", "Holland", "Hungary", "Republic of Ireland", "Italy", "Latvia", "Lithuania",
        "Luxembourg", "Malta", "Poland", "Portugal", "Romania", "Slovakia", "Slovenia", "Spain", "Sweden", "Iceland",
        "Norway", "Liechtenstein", "Switzerland", "West Germany"};
    std::vector<std::string> edition0102 = {
        "England", "Scotland", "Wales", "Northern Ireland", "East Germany", "Czechoslovakia", "Soviet Union",
        "Yugoslavia", "FYR of Macedonia", "S\xC3\xA3o Tom\xC3\xA9 & Principe", "Andorra", "San Marino",
        "Faroe Islands", "Turkey", "Russia", "Albania", "Brazil"};
    edition0102.insert(edition0102.begin() + 3, free2020.begin(), free2020.end());
    const eu::Matched free = eu::MatchMembers(edition0102, 2020, eu::Union::FreeMovement);
    std::vector<std::string> ticked;
    for (std::size_t i = 0; i < edition0102.size(); ++i) {
        if (free.members[i])
            ticked.push_back(edition0102[i]);
    }
    CHECK(ticked == free2020);
    CHECK(free.missing.empty());

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
        for (const char* year : {"199&9", "200&4", "200&7", "201&3", "202&0"})
            expected.push_back(group + std::string(year));
    }
    expected.push_back("Ticks as in the &file");
    CHECK(labels == expected);

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

    // Each preset: the ticks, then what its message says (nothing where
    // "missing" and "unticked" are both empty). The file's members are
    // England and Malta.
    struct Preset {
        TickChoice choice;
        int year;
        std::vector<bool> ticks;
        std::vector<std::string> missing;  // among others
        std::string unticked;              // the file's members no longer ticked
    };
    const std::string notIn = "These nations are members in the file but not in ";
    const Preset presets[] = {
        {TickChoice::None, 0, {false, false, false, false}, {}, ""},
        {TickChoice::All, 0, {true, true, true, true}, {}, ""},
        {TickChoice::EuMembers, 1999, {true, false, true, false}, {"Scotland", "Wales", "Northern Ireland", "Denmark"},
         notIn + "the European Union in 1999, so they are now unticked:\r\n\r\nMalta"},
        {TickChoice::EuMembers, 2004, {true, false, true, true}, {"Scotland", "Cyprus"}, ""},
        {TickChoice::FreeMovement, 2020, {false, true, true, true}, {"Iceland", "Switzerland"},
         notIn + "the European Union, the EEA and Switzerland in 2020, so they are now unticked:\r\n\r\nEngland"},
        {TickChoice::AsInFile, 0, {true, false, false, true}, {}, ""},
    };
    for (const Preset& preset : presets) {
        INFO(static_cast<int>(preset.choice) << " " << preset.year);
        view.messages.clear();
        editor->ApplyTicks(find(preset.choice, preset.year));
        CHECK(ticks() == preset.ticks);
        if (preset.missing.empty() && preset.unticked.empty()) {
            CHECK(view.messages.empty());
            continue;
        }
        // One message, titled as the application.
        REQUIRE(view.messages.size() == 1);
        const std::string& text = view.messages[0].text;
        CHECK(view.messages[0].title.empty());
        CHECK(text.starts_with("The file holds no nation for these members of "));
        for (const std::string& name : preset.missing)
            CHECK(text.find(name) != std::string::npos);
        CHECK((preset.unticked.empty() ? text.find(notIn) == std::string::npos : text.ends_with(preset.unticked)));
        CHECK(text.find("England") == (preset.unticked.ends_with("England") ? text.size() - 7 : std::string::npos));
    }
    CHECK(ReadFile(dir / "Nation.dat") == original);
    CHECK(!editor->State().blnPatched);

    // The backup's ticks, once a patch has made one.
    editor->ApplyTicks(find(TickChoice::All));
    editor->cmdPatch_Click();
    editor->ApplyTicks(find(TickChoice::None));
    CHECK(editor->State().blnPatched);
    view.messages.clear();
    editor->ApplyTicks(find(TickChoice::FromBackup));
    CHECK(ticks() == std::vector<bool> {true, false, false, true});
    CHECK(view.messages.empty());
    CHECK(editor->State().blnPatched);
    // A backup of other nations is not offered.
    REQUIRE(WriteFile(dir / "Nation.dat.bak", MakeNationFile(4)));
    CHECK(MenuCommands(editor->TickMenu()).back().second.choice == TickChoice::AsInFile);
}

TEST_CASE_FIXTURE(Fixture, "the context menu is greyed out until a load, and ticks nothing meanwhile")
{
    // Submenus and their commands alike.
    for (const TickMenuEntry& entry : editor->TickMenu())
        CHECK(!entry.enabled);
    for (const auto& [label, entry] : MenuCommands(editor->TickMenu())) {
        INFO(label);
        CHECK(!entry.enabled);
        editor->ApplyTicks(entry);
    }
    CHECK(view.messages.empty());
    CHECK((view.nations.NationCount() == 0));

    Load("three.dat");
    for (const TickMenuEntry& entry : editor->TickMenu())
        CHECK(entry.enabled);
    for (const auto& [label, entry] : MenuCommands(editor->TickMenu()))
        CHECK(entry.enabled);
}

TEST_CASE("a preset's message, word for word: the members the file lacks in alphabetical order, the file's members "
          "unticked, at most 40 names")
{
    // The file: every member of every year (none a member in the file),
    // then `extra` nations the file marks as members, then what a row adds.
    struct Row {
        std::string row;
        std::size_t extraMembers;
        Bytes added;
        bool allMembers; // false: the file holds Austria and the extra nations alone
        TickChoice choice;
        int year;
        std::string message; // "" no message at all
    };
    const std::string unticked = "These nations are members in the file but not in the European Union in 2020, so "
                                 "they are now unticked:\r\n\r\n";
    const auto names = [](std::size_t count) {
        std::string list;
        for (std::size_t i = 0; i < count; ++i)
            list += (i == 0 ? "" : ", ") + std::string("Member ") + std::to_string(i);
        return list;
    };
    const Row rows[] = {
        {"a file that lacks no member says nothing", 0, {}, true, TickChoice::EuMembers, 2020, ""},
        {"a file that lacks no member names the members it unticks", 0, MakeRecord("Scotland", MEMBER_YES), true,
         TickChoice::EuMembers, 2020, unticked + "Scotland"},
        {"40 nations unticked, each named", 40, {}, true, TickChoice::EuMembers, 2020, unticked + names(40)},
        {"41 nations unticked: 40 named, then the number of the rest", 41, {}, true, TickChoice::EuMembers, 2020,
         unticked + names(40) + " and 1 more"},
        {"100 nations unticked", 100, {}, true, TickChoice::EuMembers, 2020, unticked + names(40) + " and 60 more"},
        {"the members a file lacks, in alphabetical order", 0, {}, false, TickChoice::EuMembers, 1999,
         "The file holds no nation for these members of the European Union in 1999, so none was ticked for "
         "them:\r\n\r\nBelgium, Denmark, England, Finland, France, Germany, Greece, Ireland, Italy, Luxembourg, "
         "Netherlands, Northern Ireland, Portugal, Scotland, Spain, Sweden, Wales"},
    };
    for (const Row& row : rows) {
        INFO(row.row);
        Fixture f;
        Bytes file = row.allMembers ? MakeMembersFile(35) : MakeRecord("Austria", MEMBER_NO);
        for (std::size_t i = 0; i < row.extraMembers; ++i)
            file += MakeRecord("Member " + std::to_string(i), MEMBER_YES);
        file += row.added;
        REQUIRE(WriteFile(f.dir / "Nation.dat", file));
        f.Load("Nation.dat");
        f.editor->ApplyTicks(MenuCommand(*f.editor, row.choice, row.year));
        if (row.message.empty()) {
            CHECK(f.view.messages.empty());
            continue;
        }
        REQUIRE(f.view.messages.size() == 1);
        CHECK(f.view.messages[0].text == row.message);
        CHECK(f.view.messages[0].title.empty());
        CHECK(f.view.messages[0].buttons == MessageButtons::Ok);
    }
}
