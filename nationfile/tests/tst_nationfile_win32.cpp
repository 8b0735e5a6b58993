// The file library's cases that only Windows has: devices by name, other
// programs holding the file, the read-only attribute, Windows' own error
// codes. Its paths, long and short, are in tst_paths_win32.cpp.
#include "NationFile.h"
#include "PlatformChecks.h"
#include "Skip.h"
#include "TestFiles.h"
#include "Win32Calls.h"

#include <doctest/doctest.h>

#include <filesystem>

#include <psapi.h>

using namespace nationfile;
using namespace testfiles;
namespace fs = std::filesystem;

namespace {

const std::string kInUse = "The file is in use by another program; close the game, then try again";
const std::string kStoreFault
    = "The file could not be written: the disk or the network share that holds it is full or failing";
const auto kAlwaysMember = [](std::size_t) { return true; };

std::string ToUtf8(const std::wstring& text)
{
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                         nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), utf8.data(), size, nullptr, nullptr);
    return utf8;
}

// What Windows itself says for an error code, as the library quotes it.
std::string SystemReason(DWORD error)
{
    wchar_t text[512] = {};
    FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, text, 512,
                   nullptr);
    std::wstring words(text);
    while (!words.empty() && (iswspace(words.back()) || words.back() == L'.'))
        words.pop_back();
    return ToUtf8(words) + " (error " + std::to_string(error) + ")";
}

// The error GetFileAttributesW gives for a path that names nothing.
DWORD ErrorLookingAt(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES ? GetLastError() : 0;
}

// Another program's handle on the file, with the access and sharing it asks.
class OtherProgram {
public:
    OtherProgram(const fs::path& path, DWORD access, DWORD share)
        : handle_(CreateFileW(path.c_str(), access, share, nullptr, OPEN_EXISTING, 0, nullptr))
    {
    }
    ~OtherProgram()
    {
        if (handle_ != INVALID_HANDLE_VALUE)
            CloseHandle(handle_);
    }
    OtherProgram(const OtherProgram&) = delete;
    OtherProgram& operator=(const OtherProgram&) = delete;

    bool Holds() const { return handle_ != INVALID_HANDLE_VALUE; }
    // Answers whether a read of the byte at `offset` is refused.
    bool IsRefusedAt(std::uint64_t offset)
    {
        OVERLAPPED at {};
        at.Offset = static_cast<DWORD>(offset);
        char byte = 0;
        DWORD read = 0;
        return !ReadFile(handle_, &byte, 1, &read, &at);
    }
    bool LockBytes(std::uint64_t from, std::uint64_t count)
    {
        OVERLAPPED at {};
        at.Offset = static_cast<DWORD>(from);
        return LockFileEx(handle_, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0,
                          static_cast<DWORD>(count), 0, &at);
    }

private:
    HANDLE handle_;
};

// Both operations refuse the file, for `reason`.
void CheckRefused(const fs::path& nation, std::size_t records, const std::string& reason)
{
    const ReadResult read = ReadNationFile(Utf8(nation));
    CHECK(read.outcome == ReadOutcome::FileError);
    CHECK(read.reason == reason);
    const WriteResult written = WriteMemberships(Utf8(nation), records, kAlwaysMember);
    CHECK(written.outcome == WriteOutcome::FileError);
    CHECK(written.reason == reason);
}

// Makes one of the library's calls fail with `gError`, the way a full disk,
// a failing one or a protected folder does.
DWORD gError = 0;

struct Injected {
    explicit Injected(DWORD error) { gError = error; }
    ~Injected() { ActiveCalls() = SystemCalls(); }
    Injected(const Injected&) = delete;
    Injected& operator=(const Injected&) = delete;
};

BOOL Fail()
{
    SetLastError(gError);
    return FALSE;
}

// Stand-ins for Windows' calls, with its calling convention, which a lambda
// can't have on 32-bit x86.
BOOL WINAPI FailWrite(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED)
{
    return Fail();
}
BOOL WINAPI FailRead(HANDLE, LPVOID, DWORD, LPDWORD, LPOVERLAPPED)
{
    return Fail();
}
BOOL WINAPI FailFlush(HANDLE)
{
    return Fail();
}
BOOL WINAPI FailSize(HANDLE, PLARGE_INTEGER)
{
    return Fail();
}
BOOL WINAPI FailMove(LPCWSTR, LPCWSTR, DWORD)
{
    return Fail();
}
DWORD WINAPI PipeType(HANDLE)
{
    return FILE_TYPE_PIPE;
}
HANDLE WINAPI FailCreate(LPCWSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE)
{
    SetLastError(gError);
    return INVALID_HANDLE_VALUE;
}
HANDLE WINAPI FailMapping(HANDLE, LPSECURITY_ATTRIBUTES, DWORD, DWORD, DWORD, LPCWSTR)
{
    SetLastError(gError);
    return nullptr;
}
LPVOID WINAPI FailView(HANDLE, DWORD, DWORD, DWORD, SIZE_T)
{
    SetLastError(gError);
    return nullptr;
}
// A view that can't be written, as a failing disk leaves it: every store
// into it faults.
LPVOID WINAPI ReadOnlyView(HANDLE mapping, DWORD, DWORD offsetHigh, DWORD offsetLow, SIZE_T bytes)
{
    return SystemCalls().MapViewOfFile(mapping, FILE_MAP_READ, offsetHigh, offsetLow, bytes);
}
int gFlushes = 0;
BOOL WINAPI FailViewFlush(LPCVOID, SIZE_T)
{
    ++gFlushes;
    return Fail();
}
BOOL WINAPI LockedFirstFlush(LPCVOID view, SIZE_T bytes)
{
    if (++gFlushes == 1)
        return Fail();
    return SystemCalls().FlushViewOfFile(view, bytes);
}
// Fails, though the view is gone, as a failing call may leave it.
BOOL WINAPI FailUnmap(LPCVOID view)
{
    SystemCalls().UnmapViewOfFile(view);
    return Fail();
}
// Fails the first handle closed, the mapping's, closed all the same.
int gCloses = 0;
BOOL WINAPI FailFirstClose(HANDLE handle)
{
    const BOOL closed = SystemCalls().CloseHandle(handle);
    return ++gCloses == 1 ? Fail() : closed;
}
// The second read of a patch is its read-back.
int gReads = 0;
BOOL WINAPI FailSecondRead(HANDLE file, LPVOID buffer, DWORD count, LPDWORD read, LPOVERLAPPED at)
{
    if (++gReads == 2)
        return Fail();
    return SystemCalls().ReadFile(file, buffer, count, read, at);
}
// Reads back the last record's membership byte changed.
BOOL WINAPI CorruptSecondRead(HANDLE file, LPVOID buffer, DWORD count, LPDWORD read, LPOVERLAPPED at)
{
    const BOOL done = SystemCalls().ReadFile(file, buffer, count, read, at);
    if (++gReads == 2 && done && *read >= NATION_RECORD_SIZE)
        static_cast<std::uint8_t*>(buffer)[*read - NATION_RECORD_SIZE + MEMBER_OFFSET] ^= 0x40;
    return done;
}
// Fails the second file opened, the backup's.
int gCreates = 0;
HANDLE WINAPI FailSecondCreate(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                               DWORD disposition, DWORD flags, HANDLE from)
{
    if (++gCreates == 2)
        return FailCreate(path, access, share, security, disposition, flags, from);
    return SystemCalls().CreateFileW(path, access, share, security, disposition, flags, from);
}

} // namespace

namespace platformchecks {

std::string ReferenceDecode(std::uint8_t byte)
{
    const char in = static_cast<char>(byte);
    wchar_t wide[2] = {};
    const int length = MultiByteToWideChar(1252, 0, &in, 1, wide, 2);
    return ToUtf8(std::wstring(wide, static_cast<std::size_t>(length)));
}

std::vector<UnusablePath> UnusablePaths(const TempDir& dir)
{
    fs::create_directory(dir / "folder");
    const std::string device = "The path names a device, not a file";
    return {
        {"no such file", Utf8(dir / "missing.dat"), SystemReason(ErrorLookingAt((dir / "missing.dat").wstring()))},
        {"in a missing folder", Utf8(dir / "nowhere" / "Nation.dat"),
         SystemReason(ErrorLookingAt((dir / "nowhere" / "Nation.dat").wstring()))},
        {"a folder", Utf8(dir / "folder"), "The path names a folder, not a file"},
        {"NUL", "NUL", device},
        {"CON in a folder", Utf8(dir / "CON"), device},
        {"nul with an extension", Utf8(dir / "nul.dat"), device},
        {"a serial port", "COM1", device},
        {"a named pipe", "\\\\.\\pipe\\nation-editor-test", device},
        {"empty path", "", SystemReason(ErrorLookingAt(L""))},
    };
}

long PeakMemoryKiB()
{
    PROCESS_MEMORY_COUNTERS counters {};
    counters.cb = sizeof(counters);
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters));
    return static_cast<long>(counters.PeakWorkingSetSize / 1024);
}

namespace {

std::uint64_t bytesRead = 0;

BOOL WINAPI CountRead(HANDLE file, LPVOID buffer, DWORD count, LPDWORD read, LPOVERLAPPED at)
{
    const BOOL done = SystemCalls().ReadFile(file, buffer, count, read, at);
    bytesRead += done && read != nullptr ? *read : 0;
    return done;
}

} // namespace

CountedReads::CountedReads()
{
    bytesRead = 0;
    ActiveCalls().ReadFile = CountRead;
}

CountedReads::~CountedReads()
{
    ActiveCalls().ReadFile = SystemCalls().ReadFile;
}

std::uint64_t CountedReads::Bytes() const
{
    return bytesRead;
}

} // namespace platformchecks

TEST_CASE("a file another program holds is refused as in use, and left as it was")
{
    struct Row {
        std::string row;
        DWORD access;
        DWORD share;
    };
    const Row rows[] = {
        {"opened without sharing", GENERIC_READ, 0},
        {"opened for writing, shared for reading", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ},
        {"opened for reading, not shared for writing", GENERIC_READ, FILE_SHARE_READ},
    };
    TempDir dir;
    const Bytes original = MakeNationFile(4);
    REQUIRE(WriteFile(dir / "Nation.dat", original));
    for (const Row& row : rows) {
        INFO(row.row);
        OtherProgram game(dir / "Nation.dat", row.access, row.share);
        REQUIRE(game.Holds());
        CheckRefused(dir / "Nation.dat", 4, kInUse);
    }
    CHECK(ReadFile(dir / "Nation.dat") == original);
}

TEST_CASE("a file another program has locked a part of is refused as in use" * doctest::test_suite("skippable"))
{
    TempDir dir;
    const Bytes original = MakeNationFile(4);
    REQUIRE(WriteFile(dir / "Nation.dat", original));
    OtherProgram game(dir / "Nation.dat", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE);
    REQUIRE(game.Holds());
    REQUIRE(game.LockBytes(NATION_RECORD_SIZE, NATION_RECORD_SIZE));
    // Windows keeps every other handle out of a locked range; Wine does not.
    {
        OtherProgram reader(dir / "Nation.dat", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE);
        if (!reader.IsRefusedAt(NATION_RECORD_SIZE + MEMBER_OFFSET)) {
            testing::Skip("this system does not keep other handles out of a locked range");
            return;
        }
    }
    CheckRefused(dir / "Nation.dat", 4, kInUse);
    CHECK(ReadFile(dir / "Nation.dat") == original);
}

const std::string kReadOnly = "The file is read-only; clear \"Read-only\" in the file's Properties, then try again";
// Under Wine the attribute is the host's permission, and there are no Properties.
const std::string kReadOnlyUnderWine = "The file is read-only; give yourself permission to write it in your file "
                                       "manager (or with chmod u+w), then try again";

bool UnderWine()
{
    return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

// As on Windows, where ntdll has no Wine function.
FARPROC WINAPI NoWine(HMODULE, LPCSTR)
{
    return nullptr;
}

// A nation file with its read-only attribute set.
fs::path ReadOnlyNationFile(const TempDir& dir, const Bytes& bytes)
{
    const fs::path nation = dir / "Nation.dat";
    REQUIRE(WriteFile(nation, bytes));
    REQUIRE(SetFileAttributesW(nation.c_str(), FILE_ATTRIBUTE_READONLY));
    return nation;
}

TEST_CASE("a read-only file is listed, and its patch refused as read-only, with no backup made, root's too")
{
    TempDir dir;
    const Bytes original = MakeNationFile(2);
    const fs::path nation = ReadOnlyNationFile(dir, original);
    // Wine run by root writes a read-only file all the same, and so may an
    // administrator's program on Windows: the attribute is the player's mark
    // all the same. The tests run this case as root and as an ordinary user.
    const bool systemLets = OtherProgram(nation, GENERIC_WRITE, FILE_SHARE_READ).Holds();
    const std::string says = std::string("the system itself ") + (systemLets ? "lets" : "does not let")
        + " this user write a read-only file";
    MESSAGE(says);

    const ReadResult read = ReadNationFile(Utf8(nation));
    CHECK(read.outcome == ReadOutcome::Read);
    CHECK(read.entries.size() == 2);
    const WriteResult written = WriteMemberships(Utf8(nation), 2, kAlwaysMember, {}, Backup::BeforeFirstPatch);
    CHECK(written.outcome == WriteOutcome::FileError);
    CHECK(written.reason == (UnderWine() ? kReadOnlyUnderWine : kReadOnly));
    CHECK(ReadFile(nation) == original);
    CHECK(!fs::exists(dir / "Nation.dat.bak"));
    SetFileAttributesW(nation.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_CASE("access denied says whether the file is read-only, with a remedy that fits where the editor runs")
{
    struct Row {
        std::string row;
        bool wine;
        std::string readOnly;
        std::string underProgramFiles;
    };
    const Row rows[] = {
        {"on Windows", false, kReadOnly,
         "Windows protects the game's folder under Program Files; run the editor as administrator "
         "(right-click it, then \"Run as administrator\"), or keep the game outside Program Files"},
        // Wine protects no folder: only the host's permissions keep a file.
        {"under Wine", true, kReadOnlyUnderWine, "Windows denies access to the file"},
    };
    for (const Row& row : rows) {
        INFO(row.row);
        TempDir dir;
        const Bytes original = MakeNationFile(2);
        const fs::path nation = ReadOnlyNationFile(dir, original);

        Injected denied(ERROR_ACCESS_DENIED);
        ActiveCalls().CreateFileW = FailCreate;
        if (!row.wine)
            ActiveCalls().GetProcAddress = NoWine;
        else if (!UnderWine())
            continue;
        CHECK(ReadNationFile(Utf8(nation)).reason == row.readOnly);
        CHECK(WriteMemberships(Utf8(nation), 2, kAlwaysMember).reason == row.readOnly);
        REQUIRE(SetFileAttributesW(nation.c_str(), FILE_ATTRIBUTE_NORMAL));
        CHECK(ReadNationFile(Utf8(nation)).reason == "Windows denies access to the file");

        // Under Program Files the player is told why and what to do.
        SetEnvironmentVariableW(L"ProgramFiles(x86)", dir.Path().c_str());
        CHECK(ReadNationFile(Utf8(nation)).reason == row.underProgramFiles);
        SetEnvironmentVariableW(L"ProgramFiles(x86)", nullptr);
        CHECK(ReadFile(nation) == original);
    }
}

TEST_CASE("Windows' other failures are quoted with their number, and a patch that fails reports no success")
{
    struct Row {
        std::string row;
        DWORD error;
        void (*inject)(Win32Calls&);
        std::string reason;
    };
    const Row rows[] = {
        {"the disk is full", ERROR_DISK_FULL,
         [](Win32Calls& calls) { calls.FlushViewOfFile = FailViewFlush; },
         SystemReason(ERROR_DISK_FULL)},
        {"the flush fails", ERROR_WRITE_FAULT,
         [](Win32Calls& calls) { calls.FlushFileBuffers = FailFlush; },
         SystemReason(ERROR_WRITE_FAULT)},
        {"a read fails", ERROR_CRC,
         [](Win32Calls& calls) { calls.ReadFile = FailRead; },
         SystemReason(ERROR_CRC)},
        {"a network share goes away", ERROR_NETNAME_DELETED,
         [](Win32Calls& calls) { calls.GetFileSizeEx = FailSize; },
         SystemReason(ERROR_NETNAME_DELETED)},
        {"the path reaches something other than a disk file", 0,
         [](Win32Calls& calls) { calls.GetFileType = PipeType; },
         "Not an ordinary file on a disk"},
        {"the file can't be mapped", ERROR_NOT_ENOUGH_MEMORY,
         [](Win32Calls& calls) { calls.CreateFileMappingW = FailMapping; },
         SystemReason(ERROR_NOT_ENOUGH_MEMORY)},
        {"no room for the view", ERROR_NOT_ENOUGH_MEMORY,
         [](Win32Calls& calls) { calls.MapViewOfFile = FailView; },
         SystemReason(ERROR_NOT_ENOUGH_MEMORY)},
        {"a store into the view faults", 0,
         [](Win32Calls& calls) { calls.MapViewOfFile = ReadOnlyView; },
         kStoreFault},
        {"the view can't be unmapped", ERROR_INVALID_ADDRESS,
         [](Win32Calls& calls) { calls.UnmapViewOfFile = FailUnmap; },
         SystemReason(ERROR_INVALID_ADDRESS)},
        {"the mapping can't be closed", ERROR_INVALID_HANDLE,
         [](Win32Calls& calls) { calls.CloseHandle = FailFirstClose; },
         SystemReason(ERROR_INVALID_HANDLE)},
        {"the read-back fails", ERROR_CRC,
         [](Win32Calls& calls) { calls.ReadFile = FailSecondRead; },
         SystemReason(ERROR_CRC)},
        {"the read-back differs", 0,
         [](Win32Calls& calls) { calls.ReadFile = CorruptSecondRead; },
         "The membership bytes read back differ from those written"},
    };
    TempDir dir;
    const Bytes original = MakeNationFile(3);
    for (const Row& row : rows) {
        INFO(row.row);
        REQUIRE(WriteFile(dir / "Nation.dat", original));
        gCloses = 0;
        gReads = 0;
        Injected fault(row.error);
        row.inject(ActiveCalls());
        const WriteResult written = WriteMemberships(Utf8(dir / "Nation.dat"), 3, kAlwaysMember);
        CHECK(written.outcome == WriteOutcome::FileError);
        CHECK(written.reason == row.reason);
        // Each membership byte old or new, every other byte as it was.
        const Bytes after = ReadFile(dir / "Nation.dat");
        REQUIRE(after.size() == original.size());
        for (std::size_t at = 0; at < after.size(); ++at)
            CHECK((after[at] == original[at]
                   || (IsMemberOffset(at) && static_cast<std::uint8_t>(after[at]) == MEMBER_YES)));
    }
}

TEST_CASE("a flush of the view that meets a lock is tried again, and fails as in use when the lock stays")
{
    struct Row {
        std::string row;
        BOOL(WINAPI* flush)(LPCVOID, SIZE_T);
        std::string reason;
    };
    const Row rows[] = {
        {"Windows' own writer holds the pages for a moment", LockedFirstFlush, ""},
        {"the lock stays", FailViewFlush, kInUse},
    };
    TempDir dir;
    const Bytes original = MakeNationFile(3);
    for (const Row& row : rows) {
        INFO(row.row);
        REQUIRE(WriteFile(dir / "Nation.dat", original));
        gFlushes = 0;
        Injected locked(ERROR_LOCK_VIOLATION);
        ActiveCalls().FlushViewOfFile = row.flush;
        const WriteResult written = WriteMemberships(Utf8(dir / "Nation.dat"), 3, kAlwaysMember);
        CHECK(written.outcome == (row.reason.empty() ? WriteOutcome::Written : WriteOutcome::FileError));
        CHECK(written.reason == row.reason);
        CHECK(gFlushes > 1);
        const Bytes after = ReadFile(dir / "Nation.dat");
        for (std::size_t record = 0; record < 3 && row.reason.empty(); ++record)
            CHECK(MemberOf(after, record) == MEMBER_YES);
    }
}

namespace {

// The view a patch maps, and what its flush is handed.
const void* gMapped = nullptr;
SIZE_T gMappedBytes = 0;
const void* gFlushed = nullptr;
SIZE_T gFlushedBytes = 0;

LPVOID WINAPI RecordView(HANDLE mapping, DWORD access, DWORD offsetHigh, DWORD offsetLow, SIZE_T bytes)
{
    LPVOID view = SystemCalls().MapViewOfFile(mapping, access, offsetHigh, offsetLow, bytes);
    gMapped = view;
    gMappedBytes = bytes;
    return view;
}
BOOL WINAPI RecordFlush(LPCVOID view, SIZE_T bytes)
{
    gFlushed = view;
    gFlushedBytes = bytes;
    return SystemCalls().FlushViewOfFile(view, bytes);
}

} // namespace

TEST_CASE("a patch flushes the whole view it stored its bytes into, not a part of it")
{
    TempDir dir;
    REQUIRE(WriteFile(dir / "Nation.dat", MakeNationFile(3)));
    Injected recorded(0);
    ActiveCalls().MapViewOfFile = RecordView;
    ActiveCalls().FlushViewOfFile = RecordFlush;
    CHECK(WriteMemberships(Utf8(dir / "Nation.dat"), 3, kAlwaysMember).outcome == WriteOutcome::Written);
    // 0 bytes is the view to its end, the file to its end.
    const SIZE_T file = 3 * NATION_RECORD_SIZE;
    const auto reach = [&](SIZE_T bytes) { return bytes == 0 ? file : bytes; };
    CHECK(reach(gMappedBytes) >= file);
    CHECK(gFlushed != nullptr);
    CHECK(gFlushed == gMapped);
    CHECK(reach(gFlushedBytes) >= file);
}

namespace {

// Makes a fault that reaches it good: a read-only page writable again, a
// guard page's flag is gone already. It is called only for exceptions the
// library's own handler passes on.
int gPassedOn = 0;

LONG CALLBACK MendAndCount(EXCEPTION_POINTERS* exception)
{
    const EXCEPTION_RECORD& record = *exception->ExceptionRecord;
    if (record.ExceptionCode == EXCEPTION_ACCESS_VIOLATION) {
        DWORD before = 0;
        VirtualProtect(reinterpret_cast<void*>(record.ExceptionInformation[1]), 1, PAGE_READWRITE, &before);
    } else if (record.ExceptionCode != EXCEPTION_GUARD_PAGE) {
        return EXCEPTION_CONTINUE_SEARCH;
    }
    ++gPassedOn;
    return EXCEPTION_CONTINUE_EXECUTION;
}

} // namespace

TEST_CASE("a store that faults inside the view ends the stores; every other exception passes on")
{
    struct Row {
        std::string row;
        DWORD secondPage; // the protection of the second of two pages
        std::size_t viewPages;
        bool stored;
        int passedOn;
    };
    const Row rows[] = {
        {"a read-only page in the view", PAGE_READONLY, 2, false, 0},
        {"a read-only page past the view's end", PAGE_READONLY, 1, true, 1},
        {"a guard page in the view: no store fault", PAGE_READWRITE | PAGE_GUARD, 2, true, 1},
    };
    SYSTEM_INFO system {};
    GetSystemInfo(&system);
    const std::size_t page = system.dwPageSize;
    PVOID handler = AddVectoredExceptionHandler(0, MendAndCount);
    REQUIRE(handler != nullptr);
    for (const Row& row : rows) {
        INFO(row.row);
        auto* pages = static_cast<std::uint8_t*>(
            VirtualAlloc(nullptr, 2 * page, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
        REQUIRE(pages != nullptr);
        DWORD before = 0;
        REQUIRE(VirtualProtect(pages + page, page, row.secondPage, &before));
        gPassedOn = 0;
        const ByteAt bytes[] = {{10, 1}, {page + 10, 2}};
        CHECK(StoreIntoView(pages, row.viewPages * page, bytes) == row.stored);
        CHECK(gPassedOn == row.passedOn);
        CHECK(pages[10] == 1);
        CHECK(pages[page + 10] == (row.stored ? 2 : 0));

        // Once the stores have ended, a fault there is someone else's.
        REQUIRE(VirtualProtect(pages + page, page, PAGE_READONLY, &before));
        *static_cast<volatile std::uint8_t*>(pages + page + 11) = 3;
        CHECK(gPassedOn == row.passedOn + 1);
        VirtualFree(pages, 0, MEM_RELEASE);
    }
    RemoveVectoredExceptionHandler(handler);
}

TEST_CASE("a backup through a failing Windows call: nothing patched, nothing half made")
{
    // The second CreateFileW and the first WriteFile are the backup's.
    struct Row {
        std::string row;
        DWORD error;
        void (*inject)(Win32Calls&);
        std::string reason;
        bool made;
    };
    TempDir dir;
    const Row rows[] = {
        // The backup is new: its folder refuses it, and is named.
        {"a read-only folder", ERROR_ACCESS_DENIED,
         [](Win32Calls& c) { c.CreateFileW = FailSecondCreate; },
         "Windows denies writing in the folder \"" + Utf8(dir.Path()) + "\"", false},
        {"a full disk", ERROR_DISK_FULL,
         [](Win32Calls& c) { c.WriteFile = FailWrite; },
         SystemReason(ERROR_DISK_FULL), false},
        {"the flush fails", ERROR_WRITE_FAULT,
         [](Win32Calls& c) { c.FlushFileBuffers = FailFlush; }, SystemReason(ERROR_WRITE_FAULT),
         false},
        {"the name can't be given", ERROR_ACCESS_DENIED,
         [](Win32Calls& c) { c.MoveFileExW = FailMove; },
         "Windows denies access to the file", false},
        {"another editor made one meanwhile", ERROR_ALREADY_EXISTS,
         [](Win32Calls& c) { c.MoveFileExW = FailMove; }, "", false},
    };
    const Bytes original = MakeNationFile(3);
    for (const Row& row : rows) {
        INFO(row.row);
        REQUIRE(WriteFile(dir / "Nation.dat", original));
        gCreates = 0;
        Injected fault(row.error);
        row.inject(ActiveCalls());
        const WriteResult written
            = WriteMemberships(Utf8(dir / "Nation.dat"), 3, kAlwaysMember, {}, Backup::BeforeFirstPatch);
        ActiveCalls() = SystemCalls();
        if (row.reason.empty()) {
            CHECK(written.outcome == WriteOutcome::Written);
        } else {
            CHECK(written.outcome == WriteOutcome::BackupFailed);
            CHECK(written.reason == row.reason);
            CHECK(ReadFile(dir / "Nation.dat") == original);
        }
        CHECK(fs::exists(dir / "Nation.dat.bak") == row.made);
        for (const auto& entry : fs::directory_iterator(dir.Path()))
            CHECK(Utf8(entry.path().filename()).find("partial") == std::string::npos);
    }
}
