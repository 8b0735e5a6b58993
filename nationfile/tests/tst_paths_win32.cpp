// The file library's paths as Windows takes them: the long form past
// MAX_PATH, the folder the open-file dialog is handed, the game's folder on
// the drives.
#include "GameFolder.h"
#include "NationFile.h"
#include "TestFiles.h"
#include "Win32Calls.h"
#include "Win32System.h"

#include <doctest/doctest.h>

#include <chrono>
#include <filesystem>
#include <map>

using namespace nationfile;
using namespace testfiles;
namespace fs = std::filesystem;

namespace {

// All the time a search of the test's own folders needs, however busy the
// machine: what it finds or misses is then the search's doing, not the
// clock's.
const SearchLimits kUnhurried {.time = std::chrono::minutes(1)};

// Puts the system's calls back at the end of a case, failed or not.
struct SystemCallsAfter {
    ~SystemCallsAfter() { ActiveCalls() = SystemCalls(); }
};

// A folder in `dir` at least `length` characters long.
fs::path DeepFolder(const TempDir& dir, std::size_t length)
{
    fs::path deep = dir.Path();
    while (deep.wstring().size() < length)
        deep /= L"A folder of saved games, kept";
    return deep;
}

// The paths each of the library's path calls is handed, by the call's name.
std::map<std::string, std::vector<std::wstring>> gPathsTo;

DWORD WINAPI RecordAttributes(LPCWSTR path)
{
    gPathsTo["GetFileAttributesW"].push_back(path);
    return SystemCalls().GetFileAttributesW(path);
}
HANDLE WINAPI RecordCreate(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                           DWORD disposition, DWORD flags, HANDLE from)
{
    gPathsTo["CreateFileW"].push_back(path);
    return SystemCalls().CreateFileW(path, access, share, security, disposition, flags, from);
}
// Finds a backup made meanwhile, so that the copy's removal is seen too.
BOOL WINAPI RecordMoveTaken(LPCWSTR from, LPCWSTR to, DWORD)
{
    gPathsTo["MoveFileExW"].insert(gPathsTo["MoveFileExW"].end(), {from, to});
    SetLastError(ERROR_ALREADY_EXISTS);
    return FALSE;
}
BOOL WINAPI RecordDelete(LPCWSTR path)
{
    gPathsTo["DeleteFileW"].push_back(path);
    return SystemCalls().DeleteFileW(path);
}

FARPROC WINAPI AsOnWindows(HMODULE, LPCSTR)
{
    return nullptr;
}
// Any function at all: Wine's own, to the library.
FARPROC WINAPI AsUnderWine(HMODULE, LPCSTR)
{
    return GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetVersion");
}

} // namespace

TEST_CASE("a path past MAX_PATH goes to Windows in the long form, a share's as UNC; a shorter one as it is")
{
    const std::wstring deep = L"C:\\Games\\" + std::wstring(130, L'g') + L"\\" + std::wstring(130, L'g');
    const std::wstring share = L"\\\\server\\share" + deep.substr(2);
    struct Row {
        std::wstring path;
        std::wstring system;
    };
    const Row rows[] = {
        {L"C:\\Games\\CM 99-00\\Data\\Nation.dat", L"C:\\Games\\CM 99-00\\Data\\Nation.dat"},
        {deep, L"\\\\?\\" + deep},
        {share, L"\\\\?\\UNC\\server\\share" + deep.substr(2)},
        {L"\\\\?\\" + deep, L"\\\\?\\" + deep},
        // Made whole first: the long form takes no ".." and no "/".
        {L"C:/Games/CM/../" + deep.substr(9), L"\\\\?\\" + deep},
    };
    for (const Row& row : rows)
        CHECK(Utf8(SystemPath(Utf8(row.path))) == Utf8(row.system));
}

TEST_CASE("Windows' path calls are handed the long form for a file past MAX_PATH, and the plain one short of it")
{
    SystemCallsAfter restore;
    for (const std::size_t length : {std::size_t {0}, std::size_t {MAX_PATH}}) {
        TempDir dir;
        const fs::path folder = DeepFolder(dir, length);
        INFO(Utf8(folder));
        fs::create_directories(folder);
        REQUIRE(WriteFile(folder / "Nation.dat", MakeNationFile(3)));
        gPathsTo.clear();
        ActiveCalls().GetFileAttributesW = RecordAttributes;
        ActiveCalls().CreateFileW = RecordCreate;
        ActiveCalls().MoveFileExW = RecordMoveTaken;
        ActiveCalls().DeleteFileW = RecordDelete;
        CHECK(ReadNationFile(Utf8(folder / "Nation.dat")).outcome == ReadOutcome::Read);
        const WriteResult written
            = WriteMemberships(Utf8(folder / "Nation.dat"), 3, [](std::size_t) { return true; }, {},
                               Backup::BeforeFirstPatch);
        CHECK(written.outcome == WriteOutcome::Written);
        CHECK(gPathsTo.size() == 4);
        const std::wstring start = (length > 0 ? L"\\\\?\\" : L"") + folder.wstring() + L"\\Nation.dat";
        for (const auto& [call, paths] : gPathsTo) {
            for (const std::wstring& path : paths)
                CHECK_MESSAGE(path.starts_with(start), (call + " is handed " + Utf8(path)));
        }
    }
}

TEST_CASE("a folder deeper than the dialog takes is handed to it by its short name on Windows, by none under Wine")
{
    struct Row {
        std::string row;
        FARPROC(WINAPI* lookUp)(HMODULE, LPCSTR);
        bool shortName;
    };
    // Wine's dialog opens no folder by its short name: the commands walk up.
    // Wine keeps a short name for every folder, as Windows does on its own
    // drive.
    const Row rows[] = {{"on Windows", AsOnWindows, true}, {"under Wine", AsUnderWine, false}};
    TempDir dir;
    const fs::path deep = DeepFolder(dir, 320);
    fs::create_directories(deep);
    CHECK(FolderForDialog(Utf8(dir.Path())) == Utf8(dir.Path()));
    SystemCallsAfter restore;
    for (const Row& row : rows) {
        INFO(row.row);
        ActiveCalls().GetProcAddress = row.lookUp;
        const std::string shown = FolderForDialog(Utf8(deep));
        CHECK(!shown.empty() == row.shortName);
        if (!shown.empty()) {
            CHECK(FromUtf8(shown).wstring().size() <= MAX_PATH - 14);
            CHECK(fs::equivalent(FromUtf8(shown), deep));
        }
    }
}

TEST_CASE("the first dialog finds a game under Program Files (x86) on drive C:, the one changed last of several")
{
    // In the test's own Wine prefix: drive C: holds no game of its own.
    const fs::path programFiles = L"C:\\Program Files (x86)";
    const fs::path newer = programFiles / L"Nation Editor Test Game" / L"Data";
    const fs::path older = L"C:\\Nation Editor Test Games\\CM 99-00\\DATA";
    for (const fs::path& data : {newer, older}) {
        fs::create_directories(data);
        REQUIRE(WriteFile(data / "Nation.dat", MakeNationFile(2)));
    }
    fs::last_write_time(older / "Nation.dat", fs::file_time_type::clock::now() - std::chrono::hours(2));
    fs::last_write_time(newer / "Nation.dat", fs::file_time_type::clock::now() - std::chrono::hours(1));
    CHECK(DefaultGameFolder(kUnhurried) == Utf8(newer));
    fs::last_write_time(older / "Nation.dat", fs::file_time_type::clock::now());
    CHECK(DefaultGameFolder(kUnhurried) == Utf8(older));
    fs::remove_all(newer.parent_path());
    fs::remove_all(older.parent_path().parent_path());
    std::error_code ignored;
    fs::remove(programFiles, ignored); // only when the test made it
}
