#pragma once

// What the tests of the commands, the rows and the presets share: a folder
// of files to choose from, the commands with their fake view, and the words
// the commands say.
#include "Editor.h"
#include "FakeView.h"
#include "GameFolder.h"
#include "NationFile.h"
#include "TestFiles.h"
#include "Text.h"

#include <doctest/doctest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#ifndef _WIN32
#include <sys/stat.h>
#endif

inline const std::string kRefused = "This is NOT the Nations.dat file. Pick Again";
inline const std::string kTooMany = "This file holds too many records to be the Nation.dat file. Pick Again";
inline const std::string kExitQuestion = "You have not patched the file. Are you sure you want to exit?";
// Spaces, shell metacharacters and letters outside ASCII, as far as the
// platform allows them in a name.
#ifdef _WIN32
inline const std::string kOddFolder = "Saves & $(rm -rf x) 'Spi\xC3\xAB" "le' \xC3\x91; #%";
#else
inline const std::string kOddFolder = "Saves & $(rm -rf x) 'Spi\xC3\xAB" "le' \xC3\x91; *";
#endif

// A folder of files to choose from, and the commands with their fake view.
struct Fixture {
    testfiles::TempDir dir;
    FakeView view;
    std::unique_ptr<Editor> editor;

    Fixture()
    {
        using namespace testfiles;
        namespace fs = std::filesystem;
        REQUIRE(WriteFile(dir / "three.dat", MakeNationFile(3)));
        REQUIRE(WriteFile(dir / "five.dat", MakeNationFile(5, 50)));
        REQUIRE(WriteFile(dir / "short.dat", MakeNationFile(1).substr(0, 289)));
        REQUIRE(WriteFile(dir / "long.dat", MakeNationFile(1) + "x"));
        REQUIRE(WriteFile(dir / "empty.dat", {}));
        REQUIRE(WriteFile(dir / "one.dat", MakeNationFile(1)));
        REQUIRE(MakeEmptyFile(dir / "huge.dat", 290ull * 32768));
        REQUIRE(MakeEmptyFile(dir / "sparse.dat", 290ull * 11'000'000));
        fs::create_directory(dir / "folder");
        fs::create_directory(dir / kOddFolder);
        REQUIRE(WriteFile(dir / kOddFolder / "Nation.dat", MakeNationFile(4, 8)));
#ifndef _WIN32
#ifndef __EMSCRIPTEN__
        // Emscripten's mkfifo makes an ordinary file.
        REQUIRE(mkfifo((dir / "fifo").c_str(), 0600) == 0);
#endif
        fs::create_symlink(dir / "three.dat", dir / "link.dat");
        fs::create_symlink(dir / "loop.dat", dir / "loop.dat");
        fs::create_symlink(dir / "gone.dat", dir / "dangling.dat");
        // Old archives unpack names in Latin-1: bytes that are no UTF-8.
        fs::create_directory(dir / "caf\xE9");
        REQUIRE(WriteFile(dir / "caf\xE9" / "Nation.dat", MakeNationFile(6, 9)));
#endif
        editor = std::make_unique<Editor>(view);
        editor->Form_Load();
    }

    std::string PathOf(const std::string& name) const { return testfiles::Utf8(dir / name); }

    void Load(const std::string& name)
    {
        view.chosenPaths.push_back(PathOf(name));
        editor->cmdLoad_Click();
        REQUIRE(editor->State().strFileName == PathOf(name));
    }

    // The words of a refused load: the library's reason, with the path as
    // a message shows it.
    std::string CannotLoad(const std::string& name) const
    {
        return text::Readable("Cannot load the file \"" + nationfile::PathAsShown(PathOf(name)) + "\": "
                              + nationfile::ReadNationFile(PathOf(name)).reason + ".");
    }
};

// Rows as a load leaves them: each nation ticked when the file has it a
// member.
inline void Replace(NationRows& rows, const std::vector<std::pair<std::string, bool>>& nations)
{
    std::vector<std::string> names;
    std::vector<std::uint8_t> bytes;
    for (const auto& [name, member] : nations) {
        names.push_back(name);
        bytes.push_back(member ? nationfile::MEMBER_YES : nationfile::MEMBER_NO);
    }
    rows.ReplaceNations(std::move(names), std::move(bytes));
}

// The commands of a menu, its submenus' included, in the order shown, each
// with the labels of the submenus it stands in before its own.
inline std::vector<std::pair<std::string, TickMenuEntry>> MenuCommands(const std::vector<TickMenuEntry>& menu,
                                                                        const std::string& path = "")
{
    std::vector<std::pair<std::string, TickMenuEntry>> commands;
    for (const TickMenuEntry& entry : menu) {
        const std::string label = path.empty() ? entry.label : path + " " + entry.label;
        if (!entry.IsSubmenu()) {
            commands.emplace_back(label, entry);
            continue;
        }
        for (auto& command : MenuCommands(entry.submenu, label))
            commands.push_back(std::move(command));
    }
    return commands;
}

inline TickMenuEntry MenuCommand(const Editor& editor, TickChoice choice, int year = 0)
{
    for (const auto& [label, entry] : MenuCommands(editor.TickMenu())) {
        if (entry.choice == choice && entry.year == year)
            return entry;
    }
    FAIL("the menu offers no such entry");
    return {};
}
