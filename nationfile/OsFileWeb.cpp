// OsFile in a web page, compiled to WebAssembly: every call goes to the
// page's JavaScript, which holds the files the player gave the page (the
// browser's file handles, the chosen files' bytes, downloads). The calls
// wait for its promises (ASYNCIFY), so that the library's checks and its
// read-back run against the file as the browser gives it. What to ask the
// browser for, and the player, is decided here (BrowserFiles.cpp): the
// host only makes the calls.
//
// The files' host is Module.nationFiles: web/page/files.js in the page,
// testing/NodeFiles.js for the tests under Node. Each of its calls answers
// (or resolves to) its result, or throws a failure: one of the host's own
// as its code and particulars ({ code, particulars }), which the library
// words (kHostFailures), or any other error, told in its own words:
//   open(path, writeRequired) -> file        size(file) -> length
//   read(file, offset, length) -> bytes      write(file, offset, bytes)
//   store(file, length, offsets, values)     close(file)
//   sync(file) -> the file's name where it was handed over as a download
//   createNew(path) -> file                  discard(file), at once
//   whatHasName(path) -> 0 nothing, 1 file, 2 folder, 3 other
//   rename(from, to) -> true when `to` was taken, "download" where the
//     file was handed over as one          remove(path)
//   identity(file) -> a number the same for each opening of one file
//   isFolder(path) -> bool (GameFolderWeb.cpp)
// and, for a place (a file given, by its folder "/1"):
//   placeName(place) -> its file's name, null for none
//   inPlace(place) -> whether the browser lets the page write the file
//   leave(place, "file" | "offered", request) -> "granted", "prompt",
//     "denied", or "needs-click" for a prompt the browser opens only
//     straight after a click
//   hasBackupFolder(place)   offerRememberedFolder(place) -> name or null
//   offeredFolderStillThere(place)   forgetOfferedFolder(place)
//   canPickFolder()   pickFolder(place) -> name, null where none was picked
//   takeOfferedFolder(place, remember)
//   say(key, names, declinable) -> OK given     note(key, names)
//   status(key, names): the program's words by their keys (web/Form1.cpp)
#include "OsFile.h"

#include "BrowserFiles.h"
#include "GameFolder.h"

#include <emscripten.h>

#include <algorithm>
#include <functional>
#include <map>
#include <iterator>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace nationfile {
namespace {

// What the host's failures mean, by their codes, in the words the commands
// put in their messages: the page only draws and carries the calls, and
// every sentence the player reads is the program's. "{name}" stands for
// the file's name, "{folder}" for the folder's, "{detail}" for the
// browser's own words for what went wrong, as the host tells them.
struct HostFailure {
    std::string_view code;
    std::string_view words;
};
constexpr HostFailure kHostFailures[] = {
    {"no-such-file", "No such file or directory"},
    {"exists", "File exists"},
    {"not-open", "The file is not open"},
    {"not-made-for-writing", "The file was not made for writing"},
    {"not-opened-for-patching", "The file was not opened for patching"},
    {"cannot-make-there", "The page can make no file there"},
    {"cannot-give-name", "The page can give it no such name"},
    {"unreachable", "The page could not reach the file"},
    {"shorter-while-read", "The file became shorter while it was being read"},
    {"changed-while-read", "The file changed while it was being read"},
    {"unreadable", "The browser could not read the file; it may have been changed, moved or deleted since it was "
                   "chosen. Load it again"},
    {"moved-since-opened",
     "The browser could not open the file; it may have been moved or deleted since it was chosen"},
    // Chromium finds nothing behind a symbolic link it was given.
    {"maybe-a-link", "The browser can't open {name}: a browser opens no link to a file, and {name} may be one. Open "
                     "the file it leads to instead"},
    {"could-not-open", "The browser could not open the file ({detail})"},
    {"could-not-ask-to-write", "The browser could not ask whether the page may write it ({detail})"},
    {"not-allowed-to-write", "The browser was not allowed to write it"},
    {"could-not-write", "The browser could not write the file ({detail})"},
    {"changed-meanwhile", "Another program changed the file while it was being patched; load it again"},
    // The backup's: the commands' message names the backup, "it".
    {"not-allowed-into-folder", "the browser was not allowed into the folder \"{folder}\" chosen for it"},
    {"cannot-choose-folder", "this browser can't choose a folder for it"},
    {"no-folder-chosen", "no folder was chosen for it"},
    {"not-allowed-in-folder", "the browser was not allowed to save changes in the folder \"{folder}\""},
    {"could-not-make-in-folder", "the browser could not make a file in the folder \"{folder}\" ({detail})"},
    {"could-not-write-it", "the browser could not write it ({detail})"},
    {"cannot-rename", "this browser can't give a file a new name"},
    {"could-not-name", "the browser could not name it {name} ({detail})"},
    {"folder-has-name", "a folder has that name; move or rename it, then patch again"},
};

// A failed call answers -1 and leaves its failure for Failure(), which
// takes it once: a code and its particulars, or, for an error of no code
// of the host's (the browser's own, Node's), its words as the particular
// "words" of no code. Module.nationFileCall waits for one call of the host
// and answers its result (0 for none), or -1 for a failure;
// Module.nationFileText answers a text's length, for TakePart, or -2 for
// none.
EM_JS(void, DefineFailureChannel, (), {
    Module.nationFileFailed = (failure) => {
        const coded = failure && typeof failure.code === "string" && typeof failure.particulars === "object";
        Module.nationFileFailure = coded ? { code : failure.code, particulars : failure.particulars || {} } : {
            code : "",
            particulars : { words : String(failure && failure.message || failure) }
        };
        return -1;
    };
    Module.nationFileCall = async (call) => {
        try {
            const answer = await call();
            return answer === undefined ? 0 : answer;
        } catch (failure) {
            return Module.nationFileFailed(failure);
        }
    };
    Module.nationFileText = async (call) => {
        try {
            const answer = await call();
            if (typeof answer !== "string")
                return -2;
            Module.nationFilePart = answer;
            return lengthBytesUTF8(answer);
        } catch (failure) {
            return Module.nationFileFailed(failure);
        }
    };
});
[[maybe_unused]] const bool kFailureChannel = (DefineFailureChannel(), true);

// The failure's code for "", else its particular of that name; -1 where it
// has none (or no failure is there).
EM_JS(int, FailurePartLength, (const char* name), {
    const failure = Module.nationFileFailure;
    const key = UTF8ToString(name);
    const part = !failure ? undefined : key ? failure.particulars[key] : failure.code;
    if (part === undefined || part === null)
        return -1;
    Module.nationFilePart = String(part);
    return lengthBytesUTF8(Module.nationFilePart);
});

EM_JS(void, TakePart, (char* into, int size), {
    stringToUTF8(Module.nationFilePart, into, size);
    Module.nationFilePart = null;
});

EM_JS(void, ForgetFailure, (), { Module.nationFileFailure = null; });

std::optional<std::string> Part(int length)
{
    if (length < 0)
        return std::nullopt;
    std::string part(static_cast<std::size_t>(length), '\0');
    TakePart(part.data(), length + 1);
    return part;
}

std::optional<std::string> FailurePart(const std::string& name)
{
    return Part(FailurePartLength(name.c_str()));
}

// The words of the code, each "{particular}" in them filled; a particular
// not told stays as its mark. A code the library has no words for is told
// as it is: a failure never goes unsaid.
std::string Worded(const std::string& code,
                   const std::function<std::optional<std::string>(const std::string&)>& particular)
{
    const auto known = std::find_if(std::begin(kHostFailures), std::end(kHostFailures),
                                    [&](const HostFailure& failure) { return failure.code == code; });
    if (known == std::end(kHostFailures))
        return code;
    const std::string_view words = known->words;
    std::string worded;
    std::size_t at = 0;
    for (std::size_t open = words.find('{'); open != std::string_view::npos; open = words.find('{', at)) {
        const std::size_t close = words.find('}', open);
        if (close == std::string_view::npos)
            break;
        worded += words.substr(at, open - at);
        const std::string_view mark = words.substr(open, close + 1 - open);
        worded += particular(std::string(mark.substr(1, mark.size() - 2))).value_or(std::string(mark));
        at = close + 1;
    }
    return worded + std::string(words.substr(at));
}

OsStatus Failure()
{
    const std::optional<std::string> code = FailurePart("");
    const std::optional<std::string> reason =
        code && !code->empty() ? Worded(*code, FailurePart) : FailurePart("words");
    ForgetFailure();
    return OsStatus::Failure(reason ? *reason : Worded("unreachable", FailurePart));
}

BrowserFailure TakenFailure()
{
    BrowserFailure failure;
    if (std::optional<std::string> code = FailurePart(""))
        failure.code = *code;
    if (failure.code.empty())
        failure.names["words"] = FailurePart("words").value_or(Worded("unreachable", FailurePart));
    for (const char* name : {"name", "folder", "detail"}) {
        if (std::optional<std::string> part = FailurePart(name))
            failure.names[name] = *part;
    }
    ForgetFailure();
    return failure;
}

OsStatus Failure(const BrowserFailure& failure)
{
    if (failure.code.empty())
        return OsStatus::Failure(failure.names.count("words") ? failure.names.at("words") : "");
    return OsStatus::Failure(Worded(failure.code, [&](const std::string& name) -> std::optional<std::string> {
        const auto found = failure.names.find(name);
        return found == failure.names.end() ? std::nullopt : std::optional<std::string>(found->second);
    }));
}

OsStatus Answered(double answer)
{
    return answer < 0 ? Failure() : OsStatus::Success();
}

EM_ASYNC_JS(double, HostOpen, (const char* path, int writeRequired), {
    return await Module.nationFileCall(() => Module.nationFiles.open(UTF8ToString(path), writeRequired != 0));
});

EM_ASYNC_JS(double, HostCreateNew, (const char* path), {
    return await Module.nationFileCall(() => Module.nationFiles.createNew(UTF8ToString(path)));
});

EM_ASYNC_JS(double, HostSize, (int file), {
    return await Module.nationFileCall(() => Module.nationFiles.size(file));
});

EM_ASYNC_JS(double, HostIdentity, (int file), {
    return await Module.nationFileCall(() => Module.nationFiles.identity(file));
});

// The memory may have grown while the host read: HEAPU8 is looked at only
// once the bytes are there.
EM_ASYNC_JS(double, HostRead, (int file, double offset, unsigned char* into, double length), {
    return await Module.nationFileCall(async () => {
        const bytes = await Module.nationFiles.read(file, offset, length);
        if (bytes.length !== length)
            throw { code : bytes.length < length ? "shorter-while-read" : "changed-while-read", particulars : {} };
        HEAPU8.set(bytes, into);
    });
});

EM_ASYNC_JS(double, HostWrite, (int file, double offset, const unsigned char* bytes, double length), {
    const copy = HEAPU8.slice(bytes, bytes + length);
    return await Module.nationFileCall(async () => { await Module.nationFiles.write(file, offset, copy); });
});

EM_ASYNC_JS(double, HostStore,
            (int file, double length, const unsigned* offsets, const unsigned char* values, int count), {
    const at = HEAPU32.slice(offsets >> 2, (offsets >> 2) + count);
    const stored = HEAPU8.slice(values, values + count);
    return await Module.nationFileCall(async () => { await Module.nationFiles.store(file, length, at, stored); });
});

// The file's name where it was handed over as a download (TakePart), -2
// where it was synced in place.
EM_ASYNC_JS(int, HostSync, (int file), {
    return await Module.nationFileText(() => Module.nationFiles.sync(file));
});

EM_ASYNC_JS(double, HostClose, (int file), {
    return await Module.nationFileCall(async () => { await Module.nationFiles.close(file); });
});

// Not waited for: it runs from a destructor, also while an exception
// unwinds, when nothing may wait.
EM_JS(void, HostDiscard, (int file), {
    Module.nationFiles.discard(file);
});

EM_ASYNC_JS(int, HostWhatHasName, (const char* path), {
    return await Module.nationFiles.whatHasName(UTF8ToString(path));
});

// 1 when `to` was taken, 2 when handed over as a download, 0 when renamed.
EM_ASYNC_JS(int, HostRename, (const char* from, const char* to), {
    return await Module.nationFileCall(async () => {
        const answer = await Module.nationFiles.rename(UTF8ToString(from), UTF8ToString(to));
        return answer === "download" ? 2 : answer ? 1 : 0;
    });
});

// A failure leaves nothing worse, and no words to take.
EM_ASYNC_JS(void, HostRemove, (const char* path), {
    try {
        await Module.nationFiles.remove(UTF8ToString(path));
    } catch (failure) {
    }
});

// The place's calls. A host with none (Node's) has no places: each answers
// as for a file the page may not write in place.
EM_ASYNC_JS(int, HostPlaceName, (const char* place), {
    const files = Module.nationFiles;
    return await Module.nationFileText(() => files.placeName && files.placeName(UTF8ToString(place)));
});

EM_ASYNC_JS(int, HostInPlace, (const char* place), {
    const files = Module.nationFiles;
    return files.inPlace && (await files.inPlace(UTF8ToString(place))) ? 1 : 0;
});

EM_ASYNC_JS(int, HostLeave, (const char* place, int offered, int request), {
    return await Module.nationFileCall(async () => {
        const leave = await Module.nationFiles.leave(UTF8ToString(place), offered ? "offered" : "file", request != 0);
        const index = [ "granted", "prompt", "denied", "needs-click" ].indexOf(leave);
        return index < 0 ? 2 : index;
    });
});

EM_ASYNC_JS(int, HostAsks, (const char* question, const char* place), {
    return (await Module.nationFiles[UTF8ToString(question)](UTF8ToString(place))) ? 1 : 0;
});

EM_ASYNC_JS(int, HostOfferRememberedFolder, (const char* place), {
    return await Module.nationFileText(() => Module.nationFiles.offerRememberedFolder(UTF8ToString(place)));
});

EM_ASYNC_JS(int, HostPickFolder, (const char* place), {
    return await Module.nationFileText(() => Module.nationFiles.pickFolder(UTF8ToString(place)));
});

EM_ASYNC_JS(void, HostTakeOfferedFolder, (const char* place, int remember), {
    await Module.nationFiles.takeOfferedFolder(UTF8ToString(place), remember != 0);
});

// What the player is told, by the words' key and the names they tell
// (JSON); `said` "say", "note" or "status".
EM_ASYNC_JS(int, HostTell, (const char* said, const char* key, const char* names, int declinable), {
    const answer =
        await Module.nationFiles[UTF8ToString(said)](UTF8ToString(key), JSON.parse(UTF8ToString(names)), declinable != 0);
    return answer ? 1 : 0;
});

std::string Json(const Names& names)
{
    std::string json = "{";
    for (const auto& [name, value] : names) {
        json += (json.size() > 1 ? ",\"" : "\"") + name + "\":\"";
        for (const char c : value) {
            if (c == '"' || c == '\\')
                json += '\\';
            if (static_cast<unsigned char>(c) < 0x20) {
                constexpr char kHex[] = "0123456789abcdef";
                json += "\\u00";
                json += kHex[(c >> 4) & 0xf];
                json += kHex[c & 0xf];
            } else {
                json += c;
            }
        }
        json += '"';
    }
    return json + "}";
}

std::string PlaceOf(const std::string& path)
{
    return path.substr(0, path.find('/', 1));
}

class PageBrowser final : public Browser {
public:
    BrowserOutcome GetLeave(const std::string& place, LeaveFor what, bool request, Leave& leave) override
    {
        const int answer = HostLeave(place.c_str(), what == LeaveFor::OfferedFolder ? 1 : 0, request ? 1 : 0);
        if (answer < 0)
            return TakenFailure();
        leave = static_cast<Leave>(answer);
        return std::nullopt;
    }
    bool HasBackupFolder(const std::string& place) override { return HostAsks("hasBackupFolder", place.c_str()); }
    bool OfferRememberedFolder(const std::string& place, std::string& folder) override
    {
        const int length = HostOfferRememberedFolder(place.c_str());
        if (length == -1)
            ForgetFailure();
        std::optional<std::string> name = Part(length);
        folder = name.value_or("");
        return name.has_value();
    }
    bool OfferedFolderStillThere(const std::string& place) override
    {
        return HostAsks("offeredFolderStillThere", place.c_str());
    }
    void ForgetOfferedFolder(const std::string& place) override { HostAsks("forgetOfferedFolder", place.c_str()); }
    bool CanPickFolder() override { return HostAsks("canPickFolder", ""); }
    BrowserOutcome PickFolder(const std::string& place, bool& picked, std::string& folder) override
    {
        const int length = HostPickFolder(place.c_str());
        if (length == -1)
            return TakenFailure();
        std::optional<std::string> name = Part(length);
        picked = name.has_value();
        folder = name.value_or("");
        return std::nullopt;
    }
    void TakeOfferedFolder(const std::string& place, bool remember) override
    {
        HostTakeOfferedFolder(place.c_str(), remember ? 1 : 0);
    }
    bool Say(const std::string& key, const Names& names, bool declinable) override
    {
        return HostTell("say", key.c_str(), Json(names).c_str(), declinable ? 1 : 0) != 0;
    }
    void Note(const std::string& key, const Names& names) override
    {
        HostTell("note", key.c_str(), Json(names).c_str(), 0);
    }
    void Status(const std::string& key, const Names& names) override
    {
        HostTell("status", key.c_str(), Json(names).c_str(), 0);
    }
};

PageBrowser& ThePage()
{
    static PageBrowser page;
    return page;
}

// Why the backup of each place can't be made: the folder for it was not
// had when the library looked for a backup there, which it makes next.
std::map<std::string, OsStatus>& Refusals()
{
    static std::map<std::string, OsStatus> refusals;
    return refusals;
}

// The file behind a path is in place: its name is its place's.
std::optional<std::string> PlaceName(const std::string& place)
{
    return Part(HostPlaceName(place.c_str()));
}

} // namespace

OsFile::~OsFile()
{
    if (fd_ != -1)
        HostDiscard(fd_);
}

OsStatus OsFile::Open(const std::string& path, WriteAccess write)
{
    const std::string place = PlaceOf(path);
    if (write == WriteAccess::Required && HostInPlace(place.c_str())) {
        const std::optional<std::string> name = PlaceName(place);
        if (name && FileNameOf(path) == *name) {
            if (BrowserOutcome failed = LeaveToWrite(ThePage(), place, *name))
                return Failure(*failed);
        }
    }
    const double file = HostOpen(path.c_str(), write == WriteAccess::Required ? 1 : 0);
    if (file < 0)
        return Failure();
    fd_ = static_cast<int>(file);
    return OsStatus::Success();
}

OsStatus OsFile::CreateNew(const std::string& path)
{
    const auto refused = Refusals().find(PlaceOf(path));
    if (refused != Refusals().end())
        return refused->second;
    const double file = HostCreateNew(path.c_str());
    if (file < 0)
        return Failure();
    fd_ = static_cast<int>(file);
    return OsStatus::Success();
}

OsStatus OsFile::Size(std::uint64_t& size) const
{
    const double length = HostSize(fd_);
    if (length < 0)
        return Failure();
    size = static_cast<std::uint64_t>(length);
    return OsStatus::Success();
}

OsStatus OsFile::Identity(FileIdentity& identity) const
{
    const double file = HostIdentity(fd_);
    if (file < 0)
        return Failure();
    identity = {0, static_cast<std::uint64_t>(file)};
    return OsStatus::Success();
}

OsStatus OsFile::ReadAt(std::uint64_t offset, std::span<std::uint8_t> into) const
{
    return Answered(HostRead(fd_, static_cast<double>(offset), into.data(), static_cast<double>(into.size())));
}

OsStatus OsFile::WriteAt(std::uint64_t offset, std::span<const std::uint8_t> bytes)
{
    return Answered(HostWrite(fd_, static_cast<double>(offset), bytes.data(), static_cast<double>(bytes.size())));
}

OsStatus OsFile::StoreBytes(std::uint64_t fileLength, std::span<const ByteAt> bytes)
{
    // One call for all the bytes, none too: a call to the page is a wait
    // for a promise, and a patch handed over as a download hands the file
    // over however little it changed, as its words promise.
    std::vector<unsigned> offsets;
    std::vector<unsigned char> values;
    offsets.reserve(bytes.size());
    values.reserve(bytes.size());
    for (const ByteAt& byte : bytes) {
        if (byte.offset >= fileLength || byte.offset > std::numeric_limits<unsigned>::max())
            return OsStatus::Failure("A byte to store lies beyond the end of the file");
        offsets.push_back(static_cast<unsigned>(byte.offset));
        values.push_back(byte.value);
    }
    return Answered(HostStore(fd_, static_cast<double>(fileLength), offsets.data(), values.data(),
                              static_cast<int>(offsets.size())));
}

// A file handed over as a download is where the browser puts it, perhaps
// under another name: the status says so, and which to take.
OsStatus OsFile::Sync()
{
    const int synced = HostSync(fd_);
    if (synced == -1)
        return Failure();
    if (const std::optional<std::string> name = Part(synced))
        ThePage().Status("fileHandedOver", {{"name", *name}});
    return OsStatus::Success();
}

OsStatus OsFile::Close()
{
    const int file = fd_;
    fd_ = -1;
    return Answered(HostClose(file));
}

// The backup of a file in place is looked for in the folder for it, which
// the player is asked for first where none is known. Where it can't be
// had, nothing has the name, and making the backup fails with the reason.
NameHolder WhatHasName(const std::string& path)
{
    const std::string place = PlaceOf(path);
    Refusals().erase(place);
    if (HostInPlace(place.c_str())) {
        const std::optional<std::string> name = PlaceName(place);
        if (name && FileNameOf(path) == FileNameOf(BackupPathOf(*name))) {
            if (BrowserOutcome failed = ChooseBackupFolder(ThePage(), place, *name)) {
                Refusals().emplace(place, Failure(*failed));
                return NameHolder::Nothing;
            }
        }
    }
    switch (HostWhatHasName(path.c_str())) {
    case 1:
        return NameHolder::File;
    case 2:
        return NameHolder::Folder;
    case 3:
        return NameHolder::Other;
    default:
        return NameHolder::Nothing;
    }
}

// A backup handed over as a download: the message says where it went,
// before the patched file follows it.
OsStatus NameWithoutReplacing(const std::string& from, const std::string& to, bool& taken)
{
    const int answer = HostRename(from.c_str(), to.c_str());
    taken = answer == 1;
    if (answer < 0)
        return Failure();
    if (answer == 2) {
        const std::string name = PlaceName(PlaceOf(to)).value_or(FileNameOf(to));
        ThePage().Say("backupHandedOver", {{"name", name}, {"backup", FileNameOf(to)}}, false);
    }
    return OsStatus::Success();
}

void RemoveFile(const std::string& path)
{
    HostRemove(path.c_str());
}

// A page's paths name the files the player gave it: no link among them.
std::string FileBehindLinks(const std::string& path)
{
    return path;
}

} // namespace nationfile
