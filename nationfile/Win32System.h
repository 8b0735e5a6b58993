#pragma once

#include <windows.h>

#include <string>
#include <vector>

// What the library asks of Windows outside an open file, for the file
// operations, the VirtualStore and the search for the game's folder alike.
namespace nationfile {

// A variable of the process's environment, as UTF-8; empty where it is
// unset or longer than a path.
std::string Environment(const wchar_t* name);
// The Program Files folders, 32-bit and 64-bit, each once: where games are
// installed, and whose files old programs may not write.
std::vector<std::string> ProgramFilesFolders();
// Whether Wine runs the program: Wine answers to the name of a function of
// its own in ntdll.
bool UnderWine();

// A path as Windows' file calls take it: the plain form where it is short
// enough, else the long form (\\?\), which reaches past MAX_PATH characters on
// every Windows without a setting of the system's. Text that is not UTF-8
// gives nothing and sets `valid` to false.
std::wstring SystemPath(const std::string& utf8, bool* valid = nullptr);
// The plain form of such a path, for words a player reads.
std::wstring PlainPath(const std::wstring& systemPath);

} // namespace nationfile
