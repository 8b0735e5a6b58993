#pragma once

#include "NationFile.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <vector>

// Nation files built byte by byte, and the files and folders around them,
// for the tests of every layer on every platform.
namespace testfiles {

// The bytes of a file.
using Bytes = std::string;

// One record as the game stores it: `name` is the raw name field (padded
// with zeros, cut at NAME_LENGTH), `fill` seeds the bytes around it so that a
// write touching a wrong byte shows.
Bytes MakeRecord(std::string_view name, std::uint8_t member, std::uint32_t fill = 0);

// `count` records with deterministic, varied bytes everywhere, names
// "Nation <i>", and membership bytes cycling through all 256 values.
Bytes MakeNationFile(std::size_t count, std::uint32_t seed = 1);

// `count` records that begin with every state that has been a member of the
// European Union or of free movement, named as a database names them, then
// as MakeNationFile names them, none a member in the file: a preset of any
// year finds all its members there and unticks none, so it says nothing.
Bytes MakeMembersFile(std::size_t count);

// A file as large as the 01/02 edition's: 213 nations in alphabetical
// order, named as a database of 2001 names them ("São Tomé & Principe", in
// Windows-1252 bytes; old states among them), the European Union's members
// of 2001, Iceland, Norway and Liechtenstein members in the file.
Bytes MakeEdition0102File();
inline constexpr std::size_t EDITION_0102_NATIONS = 213;

// The names of entries, as a write expects them.
std::vector<std::string> NamesOf(const std::vector<nationfile::NationEntry>& entries);

bool WriteFile(const std::filesystem::path& path, std::string_view bytes);
// The whole file, or nothing when it can't be read.
Bytes ReadFile(const std::filesystem::path& path);
// A file of `length` bytes that holds no data (sparse where the file system
// allows it).
bool MakeEmptyFile(const std::filesystem::path& path, std::uint64_t length);

// A path as the library takes it: UTF-8 text.
std::string Utf8(const std::filesystem::path& path);
std::filesystem::path FromUtf8(std::string_view text);

// Offsets where a write may legitimately differ from the original.
bool IsMemberOffset(std::uint64_t offset);
std::uint8_t MemberOf(const Bytes& file, std::size_t record);

// A new empty folder, removed with everything in it at the end of the scope.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    std::filesystem::path operator/(std::string_view name) const { return path_ / FromUtf8(name); }

private:
    std::filesystem::path path_;
};

// A nation file of each size asked for, made at the first ask, all removed
// at the end of the scope: a benchmark asks for the same size again and
// again.
class SampleFiles {
public:
    // The path of a file of `records` records, in UTF-8.
    const std::string& Of(std::size_t records);

private:
    TempDir dir_;
    std::map<std::size_t, std::string> paths_;
};

} // namespace testfiles
