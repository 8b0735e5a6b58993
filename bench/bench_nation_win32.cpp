// Speed of the Windows window and of the patch on Windows, run under Wine:
// each measurement at a real database's size (200 records) and at the most
// the list holds (32,767), the patch beside its floor, start-up beside a
// plain window. Debian has no Google Benchmark for MinGW; this program writes
// its results in Google Benchmark's JSON, so that one table reads both
// windows' figures.
//
// Usage: bench_nation_win32 --list --out=FILE
//        bench_nation_win32 --run=NAME --repetitions=N --out=FILE
#include "Form1.h"
#include "NationFile.h"
#include "TestFiles.h"
#include "WideText.h"

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

using namespace nationfile;
using Clock = std::chrono::steady_clock;

namespace {

// One measurement: `iteration` answers the time of one, in seconds, of each
// of `results`, which are named for the measurement unless it names them.
// Start-up times two windows in turn, so that both meet the same load on
// the machine.
using Times = std::vector<double>;
struct Benchmark {
    std::string name;
    std::function<Times()> iteration;
    std::vector<std::string> results = {name};
};

std::unique_ptr<testfiles::SampleFiles> gFiles;

const std::string& FileOf(std::size_t records)
{
    return gFiles->Of(records);
}

double Seconds(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// One repetition: `iteration` repeated for about a tenth of a second, at
// least once; answers the mean times of one.
Times MeanOf(const std::function<Times()>& iteration)
{
    Times total = iteration();
    int count = 1;
    while (total[0] < 0.1) {
        const Times times = iteration();
        for (std::size_t i = 0; i < total.size(); ++i)
            total[i] += times[i];
        ++count;
    }
    for (double& time : total)
        time /= count;
    return total;
}

[[noreturn]] void Fail(const std::string& why)
{
    std::fprintf(stderr, "bench_nation_win32: %s\n", why.c_str());
    std::exit(1);
}

void Pump()
{
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

// The floor of a patch: one store per membership byte into a view of the
// file, then the flushes of the view and the file. Every byte changes.
double RawWrite(std::size_t records)
{
    static std::uint8_t value = MEMBER_YES;
    value = value == MEMBER_YES ? MEMBER_NO : MEMBER_YES;
    const std::wstring path = WideFromUtf8(FileOf(records));
    const auto start = Clock::now();
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    HANDLE mapping = CreateFileMappingW(file, nullptr, PAGE_READWRITE, 0, 0, nullptr);
    auto* view = static_cast<std::uint8_t*>(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 0));
    if (view == nullptr)
        Fail("the floor's view could not be mapped");
    for (std::size_t i = 0; i < records; ++i)
        view[i * NATION_RECORD_SIZE + MEMBER_OFFSET] = value;
    FlushViewOfFile(view, 0);
    UnmapViewOfFile(view);
    CloseHandle(mapping);
    FlushFileBuffers(file);
    CloseHandle(file);
    return Seconds(start);
}

// The patch as it was before it went through a view: one WriteFile per byte.
double RawWritePerByte(std::size_t records)
{
    static char value = static_cast<char>(MEMBER_YES);
    value = value == static_cast<char>(MEMBER_YES) ? static_cast<char>(MEMBER_NO) : static_cast<char>(MEMBER_YES);
    const std::wstring path = WideFromUtf8(FileOf(records));
    const auto start = Clock::now();
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    for (std::size_t i = 0; i < records; ++i) {
        OVERLAPPED at {};
        at.Offset = static_cast<DWORD>(i * NATION_RECORD_SIZE + MEMBER_OFFSET);
        DWORD written = 0;
        WriteFile(file, &value, 1, &written, &at);
    }
    FlushFileBuffers(file);
    CloseHandle(file);
    return Seconds(start);
}

double Patch(std::size_t records)
{
    static bool flip = false;
    static std::map<std::size_t, std::vector<std::string>> names;
    const std::string& path = FileOf(records);
    if (names[records].empty())
        names[records] = testfiles::NamesOf(ReadNationFile(path).entries);
    flip = !flip;
    const bool member = flip;
    const auto start = Clock::now();
    const WriteResult result
        = WriteMemberships(path, records, [member](std::size_t) { return member; }, names[records]);
    const double took = Seconds(start);
    if (result.outcome != WriteOutcome::Written)
        Fail("the patch failed: " + result.reason);
    return took;
}

// A shown window, as the editor shows it.
struct Window {
    Form1 form {GetModuleHandleW(nullptr)};
    HWND list = nullptr;

    Window()
    {
        if (!form.Create(SW_SHOWNORMAL))
            Fail("the window could not be made");
        list = GetDlgItem(form.Handle(), ControlId(form::lstNations));
        Pump();
    }

    // A load as the Load button's makes it, until the list is painted.
    double Load(const std::string& path, std::size_t records)
    {
        const auto start = Clock::now();
        form.Commands().LoadFile(path);
        Pump();
        UpdateWindow(list);
        const double took = Seconds(start);
        if (form.lstNations().NationCount() != records)
            Fail("the list was not filled");
        return took;
    }
};

std::unique_ptr<Window> gLoading;

double LoadWindow(std::size_t records)
{
    if (!gLoading)
        gLoading = std::make_unique<Window>();
    return gLoading->Load(FileOf(records), records);
}

// The first load into a window made just before.
double FirstLoadWindow(std::size_t records)
{
    Window window;
    return window.Load(FileOf(records), records);
}

// The commands of the list's context menu, its submenus' included.
std::vector<TickMenuEntry> MenuCommands(const std::vector<TickMenuEntry>& menu)
{
    std::vector<TickMenuEntry> commands;
    for (const TickMenuEntry& entry : menu) {
        if (entry.IsSubmenu())
            commands.insert(commands.end(), entry.submenu.begin(), entry.submenu.end());
        else
            commands.push_back(entry);
    }
    return commands;
}

// Presses OK in each message box as it comes up, as a player would: a
// preset sums up what it did in one.
LRESULT CALLBACK AnswerMessages(int code, WPARAM wParam, LPARAM lParam)
{
    const auto box = reinterpret_cast<HWND>(wParam);
    wchar_t kind[16] = {};
    if (code == HCBT_ACTIVATE && GetClassNameW(box, kind, 16) > 0 && std::wstring_view(kind) == L"#32770")
        PostMessageW(box, WM_COMMAND, IDOK, 0);
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// A file in which every preset finds all its members, with a backup of the
// same nations, loaded into a shown window.
struct TickingWindow {
    testfiles::TempDir dir;
    Window window;
    TickMenuEntry untick;
    std::vector<TickMenuEntry> menu;
    HHOOK answering = SetWindowsHookExW(WH_CBT, AnswerMessages, nullptr, GetCurrentThreadId());

    explicit TickingWindow(std::size_t records)
    {
        const testfiles::Bytes bytes = testfiles::MakeMembersFile(records);
        testfiles::WriteFile(dir / "Nation.dat", bytes);
        testfiles::WriteFile(dir / "Nation.dat.bak", bytes);
        window.Load(testfiles::Utf8(dir / "Nation.dat"), records);
        menu = MenuCommands(window.form.Commands().TickMenu());
        untick = menu[1];
        if (untick.choice != TickChoice::None || menu.back().choice != TickChoice::FromBackup)
            Fail("the context menu is not as expected");
    }

    ~TickingWindow() { UnhookWindowsHookEx(answering); }
    TickingWindow(const TickingWindow&) = delete;
    TickingWindow& operator=(const TickingWindow&) = delete;

    // Runs a command that ticks in bulk, from a list with nothing ticked,
    // and answers how long it took until the list was painted.
    double Time(const std::function<void()>& command)
    {
        window.form.Commands().ApplyTicks(untick.id);
        Pump();
        UpdateWindow(window.list);
        const auto start = Clock::now();
        command();
        UpdateWindow(window.list);
        return Seconds(start);
    }
};

std::map<std::size_t, std::unique_ptr<TickingWindow>> gTicking;

TickingWindow& TickingOf(std::size_t records)
{
    auto& window = gTicking[records];
    if (!window)
        window = std::make_unique<TickingWindow>(records);
    return *window;
}

double MakeAllWindow(std::size_t records)
{
    TickingWindow& window = TickingOf(records);
    const double took = window.Time([&] { window.window.form.Commands().cmdAllEEC_Click(); });
    if (!window.window.form.lstNations().IsNationTicked(records - 1))
        Fail("not every nation was ticked");
    return took;
}

// Each entry of the list's context menu in turn; an iteration counts the
// slowest of them.
double TickMenuWindow(std::size_t records)
{
    TickingWindow& window = TickingOf(records);
    double slowest = 0;
    for (const TickMenuEntry& entry : window.menu)
        slowest = std::max(slowest, window.Time([&] { window.window.form.Commands().ApplyTicks(entry.id); }));
    return slowest;
}

// Start-up, from the start of a process to the first paint of its window
// (startup_probe.exe beside this program, which ends once it has painted),
// the editor's beside a plain window with the same controls.
double Startup(const wchar_t* which)
{
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring probe(self);
    probe = probe.substr(0, probe.find_last_of(L"\\/") + 1) + L"startup_probe.exe";
    std::wstring commandLine = L"\"" + probe + L"\" " + which;
    STARTUPINFOW startup {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process {};
    const auto start = Clock::now();
    if (!CreateProcessW(probe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process))
        Fail("startup_probe.exe could not be started");
    WaitForSingleObject(process.hProcess, INFINITE);
    const double took = Seconds(start);
    DWORD code = 1;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    if (code != 0)
        Fail("startup_probe.exe failed");
    return took;
}

std::vector<Benchmark> Benchmarks()
{
    std::vector<Benchmark> all;
    const auto sized = [&](const std::string& name, double (*measure)(std::size_t)) {
        for (const std::size_t records : {std::size_t(200), MAX_NATION_RECORDS})
            all.push_back({name + "/" + std::to_string(records), [=] { return Times {measure(records)}; }});
    };
    sized("load_window", LoadWindow);
    all.push_back({"first_load_window/200", [] { return Times {FirstLoadWindow(200)}; }});
    sized("raw_write", RawWrite);
    sized("raw_write_per_byte", RawWritePerByte);
    sized("write_memberships", Patch);
    sized("make_all_window", MakeAllWindow);
    sized("tick_menu_window", TickMenuWindow);
    all.push_back({"startup", [] { return Times {Startup(L"plain"), Startup(L"editor")}; },
                   {"startup_baseline", "startup"}});
    return all;
}

std::string Json(const std::string& name, const char* type, const std::string& extra, double seconds)
{
    char time[64];
    std::snprintf(time, sizeof(time), "%.6f", seconds * 1000);
    return "    {\"name\": \"" + name + "\", \"run_name\": \"" + name + "\", \"run_type\": \"" + type + "\", " + extra
        + "\"real_time\": " + time + ", \"cpu_time\": " + time + ", \"time_unit\": \"ms\"}";
}

// Each repetition of one result, then their median.
void AddRuns(std::vector<std::string>& runs, const std::string& name, const Times& times)
{
    const std::string repetitions = "\"repetitions\": " + std::to_string(times.size()) + ", ";
    for (std::size_t i = 0; i < times.size(); ++i)
        runs.push_back(Json(name, "iteration", repetitions + "\"repetition_index\": " + std::to_string(i) + ", ",
                            times[i]));
    Times sorted = times;
    std::sort(sorted.begin(), sorted.end());
    const std::size_t middle = sorted.size() / 2;
    const double median = sorted.size() % 2 != 0 ? sorted[middle] : (sorted[middle - 1] + sorted[middle]) / 2;
    runs.push_back(Json(name, "aggregate", repetitions + "\"aggregate_name\": \"median\", ", median));
}

void WriteResults(const std::string& out, const std::vector<std::string>& runs)
{
    std::ofstream file(testfiles::FromUtf8(out), std::ios::binary);
    file << "{\n  \"context\": {\"library_build_type\": \"release\"},\n  \"benchmarks\": [\n";
    for (std::size_t i = 0; i < runs.size(); ++i)
        file << runs[i] << (i + 1 < runs.size() ? ",\n" : "\n");
    file << "  ]\n}\n";
    if (!file)
        Fail("the results could not be written to " + out);
}

} // namespace

int main(int argc, char* argv[])
{
    std::string run;
    std::string out;
    bool list = false;
    int repetitions = 10;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--list")
            list = true;
        else if (argument.starts_with("--run="))
            run = argument.substr(6);
        else if (argument.starts_with("--out="))
            out = argument.substr(6);
        else if (argument.starts_with("--repetitions="))
            repetitions = std::max(1, std::atoi(argv[i] + 14));
        else
            Fail("unknown argument " + std::string(argument));
    }
    if (out.empty() || (list == !run.empty()))
        Fail("usage: bench_nation_win32 --list --out=FILE | --run=NAME [--repetitions=N] --out=FILE");

    gFiles = std::make_unique<testfiles::SampleFiles>();
    const std::vector<Benchmark> all = Benchmarks();
    if (list) {
        std::ofstream file(testfiles::FromUtf8(out), std::ios::binary);
        for (const Benchmark& benchmark : all)
            file << benchmark.name << "\n";
        return file ? 0 : 1;
    }
    const auto found = std::find_if(all.begin(), all.end(), [&](const Benchmark& b) { return b.name == run; });
    if (found == all.end())
        Fail("no benchmark named " + run);
    // One untimed iteration first: files made, caches warm, windows open.
    found->iteration();
    std::vector<Times> times(found->results.size());
    for (int i = 0; i < repetitions; ++i) {
        const Times repetition = MeanOf(found->iteration);
        for (std::size_t result = 0; result < times.size(); ++result)
            times[result].push_back(repetition[result]);
    }
    gLoading.reset();
    gTicking.clear();
    std::vector<std::string> runs;
    for (std::size_t result = 0; result < times.size(); ++result)
        AddRuns(runs, found->results[result], times[result]);
    WriteResults(out, runs);
    gFiles.reset();
    return 0;
}
