#pragma once

#include "NationFile.h"

#include <cstdint>
#include <span>
#include <string>

namespace nationfile {

// The outcome of one call to the operating system: success, or words for
// what went wrong that the user can read.
struct OsStatus {
    bool ok = true;
    std::string reason;

    static OsStatus Success() { return {}; }
    static OsStatus Failure(std::string why) { return {false, std::move(why)}; }
    explicit operator bool() const { return ok; }
};

struct ByteAt {
    std::uint64_t offset;
    std::uint8_t value;
};

enum class WriteAccess {
    Required,
    // Reading alone where writing is not allowed: a read-only file, folder
    // or medium.
    IfAllowed,
};

// One open nation file. Every call the library makes to the operating system
// to read or patch a nation file goes through this class; each platform has
// its own implementation of it (OsFilePosix.cpp, OsFileWin32.cpp; in a web
// page OsFileWeb.cpp, whose calls go to the page's JavaScript).
class OsFile {
public:
    OsFile() = default;
    ~OsFile();
    OsFile(const OsFile&) = delete;
    OsFile& operator=(const OsFile&) = delete;

    // Opens an existing ordinary file for reading and writing, the path given
    // as UTF-8. Never creates a file, and never opens a device, a pipe or a
    // folder. A file marked read-only (no permission to write it for anyone;
    // Windows' read-only attribute) is never opened for writing, also where
    // the system would let this user write it all the same (root, or Wine
    // run by root): the mark is the player's.
    OsStatus Open(const std::string& path, WriteAccess write = WriteAccess::Required);
    // Creates a new file for writing, failing when anything already has the
    // name: nothing is ever replaced. A folder that refuses new files is
    // named in the failure.
    OsStatus CreateNew(const std::string& path);
    OsStatus Size(std::uint64_t& size) const;
    OsStatus Identity(FileIdentity& identity) const;
    // Fills all of `into` from `offset`, or fails: a file that ends early is
    // a failure, not a short answer.
    OsStatus ReadAt(std::uint64_t offset, std::span<std::uint8_t> into) const;
    // Writes all of `bytes` from `offset`, or fails.
    OsStatus WriteAt(std::uint64_t offset, std::span<const std::uint8_t> bytes);
    // Stores each byte at its offset and nothing else. `fileLength` is the
    // length the caller has just checked; no offset may reach it.
    OsStatus StoreBytes(std::uint64_t fileLength, std::span<const ByteAt> bytes);
    // Returns once everything written has reached stable storage.
    OsStatus Sync();
    OsStatus Close();

private:
#ifdef _WIN32
    void* handle_ = nullptr; // a HANDLE; null while no file is open
    std::wstring path_;      // for the words of a failure
#else
    int fd_ = -1; // in a web page, the page's number for the file
#endif
};

// Names of files, outside any open file.
// What has this name, a link followed to what it leads to: a link that
// leads nowhere is Other.
enum class NameHolder { Nothing, File, Folder, Other };
NameHolder WhatHasName(const std::string& path);
// Gives the file `from` the name `to`, unless something already has that
// name: then `taken` is set and nothing moves. The new name is on stable
// storage when this returns.
OsStatus NameWithoutReplacing(const std::string& from, const std::string& to, bool& taken);
// Removes a file this library made; a failure leaves nothing worse.
void RemoveFile(const std::string& path);
// The path of the file a link leads to, through links to links; the path
// itself where it is no link. Links among the folders on the way are left as
// they are: the file is in the same folder either way.
std::string FileBehindLinks(const std::string& path);

} // namespace nationfile
