// Speed of loading and patching, each beside the floor the operating system
// sets for it, at a real database's size (200 records) and at the most the
// list holds (32,767). Files sit in the page cache; every patch changes every
// membership byte, so every page is written and flushed.
#include "Form1.h"
#include "FormDesign.h"
#include "NationFile.h"
#include "TestFiles.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QLabel>
#include <QAbstractItemView>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QStandardPaths>
#include <QTextEdit>
#include <QTimer>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string_view>
#include <functional>
#include <memory>

using namespace nationfile;

namespace {

std::unique_ptr<testfiles::SampleFiles> gFiles;

const std::string& FileOf(std::int64_t records)
{
    return gFiles->Of(static_cast<std::size_t>(records));
}

void raw_read(benchmark::State& state)
{
    const std::string& path = FileOf(state.range(0));
    for (auto _ : state) {
        const int fd = open(path.c_str(), O_RDONLY);
        struct stat info {};
        fstat(fd, &info);
        auto bytes = std::make_unique_for_overwrite<char[]>(static_cast<std::size_t>(info.st_size));
        benchmark::DoNotOptimize(read(fd, bytes.get(), static_cast<std::size_t>(info.st_size)));
        close(fd);
    }
}

void read_nation_file(benchmark::State& state)
{
    const std::string& path = FileOf(state.range(0));
    for (auto _ : state) {
        ReadResult result = ReadNationFile(path);
        benchmark::DoNotOptimize(result.entries.data());
        if (result.entries.size() != static_cast<std::size_t>(state.range(0)))
            state.SkipWithError("wrong entry count");
    }
}

void load_window(benchmark::State& state)
{
    Form1 form;
    const std::string& path = FileOf(state.range(0));
    form.show();
    QCoreApplication::processEvents();
    auto* list = form.findChild<QAbstractItemView*>("lstNations");
    for (auto _ : state) {
        form.Commands().LoadFile(path);
        QCoreApplication::processEvents();
        list->viewport()->repaint();
        if (list->model()->rowCount() != state.range(0))
            state.SkipWithError("the list is not filled");
    }
}

// Presses OK in each message box as it comes up, as a player would: a
// preset sums up what it did in one.
struct AnsweringMessages : QObject {
    AnsweringMessages() { qApp->installEventFilter(this); }
    ~AnsweringMessages() override { qApp->removeEventFilter(this); }
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (auto* box = qobject_cast<QMessageBox*>(watched); box != nullptr && event->type() == QEvent::Show)
            QTimer::singleShot(0, box, &QMessageBox::accept);
        return false;
    }
};

// A file in which every preset finds all its members, with a backup of the
// same nations, loaded into a shown window.
struct TickingWindow {
    AnsweringMessages answering;
    testfiles::TempDir dir;
    Form1 form;
    QAbstractItemView* list = nullptr;
    TickMenuEntry untick;

    explicit TickingWindow(std::int64_t records)
    {
        const testfiles::Bytes bytes = testfiles::MakeMembersFile(static_cast<std::size_t>(records));
        testfiles::WriteFile(dir / "Nation.dat", bytes);
        testfiles::WriteFile(dir / "Nation.dat.bak", bytes);
        form.show();
        form.Commands().LoadFile(testfiles::Utf8(dir / "Nation.dat"));
        QCoreApplication::processEvents();
        list = form.findChild<QAbstractItemView*>("lstNations");
        untick = form.Commands().TickMenu()[1];
    }

    // Runs a command that ticks in bulk, from a list with nothing ticked,
    // and answers how long it took until the list was painted.
    double Time(const std::function<void()>& command)
    {
        form.Commands().ApplyTicks(untick.id);
        QCoreApplication::processEvents();
        list->viewport()->repaint();
        const auto start = std::chrono::steady_clock::now();
        command();
        QCoreApplication::processEvents();
        list->viewport()->repaint();
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
};

void make_all_window(benchmark::State& state)
{
    TickingWindow window(state.range(0));
    for (auto _ : state)
        state.SetIterationTime(window.Time([&] { window.form.Commands().cmdAllEEC_Click(); }));
    if (!window.form.lstNations().IsNationTicked(static_cast<std::size_t>(state.range(0)) - 1))
        state.SkipWithError("not every nation was ticked");
}

// Each entry of the list's context menu in turn; an iteration counts the
// slowest of them.
void tick_menu_window(benchmark::State& state)
{
    TickingWindow window(state.range(0));
    std::vector<TickMenuEntry> menu;
    for (const TickMenuEntry& entry : window.form.Commands().TickMenu()) {
        if (entry.IsSubmenu())
            menu.insert(menu.end(), entry.submenu.begin(), entry.submenu.end());
        else
            menu.push_back(entry);
    }
    if (menu.back().choice != TickChoice::FromBackup)
        state.SkipWithError("the backup's ticks are not offered");
    for (auto _ : state) {
        double slowest = 0;
        for (const TickMenuEntry& entry : menu)
            slowest = std::max(slowest, window.Time([&] { window.form.Commands().ApplyTicks(entry.id); }));
        state.SetIterationTime(slowest);
    }
}

// The cheapest way found to change one byte in every record and flush:
// stores into a shared mapping, then one fsync. (A pwrite per byte costs a
// system call each; see raw_write_pwrite_per_byte.)
void raw_write(benchmark::State& state)
{
    const std::string& path = FileOf(state.range(0));
    const auto records = static_cast<std::size_t>(state.range(0));
    char value = MEMBER_YES;
    for (auto _ : state) {
        value = value == MEMBER_YES ? MEMBER_NO : MEMBER_YES;
        const int fd = open(path.c_str(), O_RDWR);
        const std::size_t length = records * NATION_RECORD_SIZE;
        auto* mapped = static_cast<char*>(mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0));
        for (std::size_t i = 0; i < records; ++i)
            mapped[i * NATION_RECORD_SIZE + MEMBER_OFFSET] = value;
        munmap(mapped, length);
        fsync(fd);
        close(fd);
    }
}

void raw_write_pwrite_per_byte(benchmark::State& state)
{
    const std::string& path = FileOf(state.range(0));
    const auto records = static_cast<std::size_t>(state.range(0));
    char value = MEMBER_YES;
    for (auto _ : state) {
        value = value == MEMBER_YES ? MEMBER_NO : MEMBER_YES;
        const int fd = open(path.c_str(), O_RDWR);
        for (std::size_t i = 0; i < records; ++i)
            benchmark::DoNotOptimize(pwrite(fd, &value, 1, static_cast<off_t>(i * NATION_RECORD_SIZE + MEMBER_OFFSET)));
        fsync(fd);
        close(fd);
    }
}

void write_memberships(benchmark::State& state)
{
    const std::string& path = FileOf(state.range(0));
    const auto records = static_cast<std::size_t>(state.range(0));
    const std::vector<std::string> names = testfiles::NamesOf(ReadNationFile(path).entries);
    bool flip = false;
    for (auto _ : state) {
        flip = !flip;
        const WriteResult result
            = WriteMemberships(path, records, [flip](std::size_t) { return flip; }, names);
        if (result.outcome != WriteOutcome::Written)
            state.SkipWithError(result.reason.c_str());
    }
}

// Start-up, from the start of a process to the first paint of its window,
// the editor's beside a plain window of the same toolkit with the same
// controls (kinds, texts, places and fonts), built the plainest way. Each
// runs in a process of its own: this program again, told which window to
// show.
constexpr const char* kStartupChild = "--startup-child=";

void ShowPlainWindow(QWidget& window)
{
    window.setWindowTitle(form::TITLE);
    window.setFixedSize(form::CLIENT_WIDTH / 15, form::CLIENT_HEIGHT / 15);
    for (const form::Control& design : form::CONTROLS) {
        QWidget* control = nullptr;
        switch (design.kind) {
        case form::Kind::Button:
            control = new QPushButton(design.text, &window);
            break;
        case form::Kind::NationList:
            control = new QListWidget(&window);
            break;
        case form::Kind::Label:
            control = new QLabel(design.text, &window);
            break;
        case form::Kind::HelpBox:
            control = new QTextEdit(design.text, &window);
            break;
        }
        control->setGeometry(design.left / 15, design.top / 15, design.width / 15, design.height / 15);
        const form::Font& font = form::FontOf(design.font);
        QFont face(font.Face());
        face.setPointSizeF(font.hundredthsOfPoint / 100.0);
        face.setBold(font.bold);
        control->setFont(face);
    }
}

// The child: shows one window and ends once it has been painted.
int StartupChild(int argc, char* argv[], const std::string& which)
{
    QApplication application(argc, argv);
    QStandardPaths::setTestModeEnabled(true);
    std::unique_ptr<QWidget> window;
    if (which == "editor")
        window = std::make_unique<Form1>();
    else
        ShowPlainWindow(*(window = std::make_unique<QWidget>()));
    struct QuitOnPaint : QObject {
        bool eventFilter(QObject*, QEvent* event) override
        {
            if (event->type() == QEvent::Paint)
                QTimer::singleShot(0, qApp, &QCoreApplication::quit);
            return false;
        }
    } quitOnPaint;
    window->installEventFilter(&quitOnPaint);
    window->show();
    return application.exec();
}

void Startup(benchmark::State& state, const char* which)
{
    const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    const std::string argument = std::string(kStartupChild) + which;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        pid_t child = 0;
        char* const arguments[] = {const_cast<char*>(self.c_str()), const_cast<char*>(argument.c_str()), nullptr};
        if (posix_spawn(&child, self.c_str(), nullptr, nullptr, arguments, environ) != 0) {
            state.SkipWithError("the child could not be started");
            return;
        }
        int status = 0;
        waitpid(child, &status, 0);
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            state.SkipWithError("the child failed");
            return;
        }
    }
}

void startup(benchmark::State& state)
{
    Startup(state, "editor");
}

void startup_baseline(benchmark::State& state)
{
    Startup(state, "plain");
}

} // namespace

BENCHMARK(raw_read)->Arg(200)->Arg(32767)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(read_nation_file)->Arg(200)->Arg(32767)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(load_window)->Arg(200)->Arg(32767)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(raw_write)->Arg(200)->Arg(32767)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(raw_write_pwrite_per_byte)->Arg(200)->Arg(32767)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(write_memberships)->Arg(200)->Arg(32767)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(make_all_window)->Arg(200)->Arg(32767)->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK(tick_menu_window)->Arg(200)->Arg(32767)->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK(startup)->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK(startup_baseline)->Unit(benchmark::kMillisecond)->UseManualTime();

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (argc == 2 && std::string_view(argv[1]).starts_with(kStartupChild))
        return StartupChild(argc, argv, std::string(argv[1] + std::string_view(kStartupChild).size()));
    QApplication application(argc, argv);
    // The editor's remembered folder goes to a settings file of the bench's own.
    QStandardPaths::setTestModeEnabled(true);
    gFiles = std::make_unique<testfiles::SampleFiles>();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    gFiles.reset();
    return 0;
}
