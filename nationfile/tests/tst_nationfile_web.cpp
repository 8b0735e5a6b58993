// The file library's platform checks for its web build, run by Node on the
// machine's files, through testing/NodeFiles.js.
#include "NationFile.h"
#include "PlatformChecks.h"

#include <doctest/doctest.h>
#include <emscripten.h>
#include <emscripten/heap.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace platformchecks {

namespace {

// The host's reads, counted on their way to the library.
EM_JS(void, StartCountingReads, (), {
    Module.uncountedRead = Module.nationFiles.read;
    Module.bytesRead = 0;
    Module.nationFiles.read = (file, offset, length) => {
        const bytes = Module.uncountedRead(file, offset, length);
        Module.bytesRead += bytes.length;
        return bytes;
    };
});
EM_JS(void, StopCountingReads, (), { Module.nationFiles.read = Module.uncountedRead; });
EM_JS(double, BytesCounted, (), { return Module.bytesRead; });

// The host's reads answering `more` bytes more than were asked for (fewer
// where negative): a browser's blob that changed under it.
EM_JS(void, MisjudgeReads, (int more), {
    Module.uncountedRead = Module.nationFiles.read;
    Module.nationFiles.read = (file, offset, length) => {
        const bytes = Module.uncountedRead(file, offset, length);
        return more < 0 ? bytes.subarray(0, Math.max(0, bytes.length + more))
                        : Uint8Array.from([...bytes, ...new Array(more).fill(2)]);
    };
});

// The host's stores, counted on their way to it.
EM_JS(void, StartCountingStores, (), {
    const store = Module.nationFiles.store;
    Module.storesCounted = 0;
    Module.nationFiles.store = (...call) => {
        ++Module.storesCounted;
        return store(...call);
    };
    Module.uncountedStore = store;
});
EM_JS(int, StopCountingStores, (), {
    Module.nationFiles.store = Module.uncountedStore;
    return Module.storesCounted;
});

// The host's next open throws what the JavaScript `thrown` makes.
EM_JS(void, NextOpenThrows, (const char* thrown), {
    const make = new Function("return " + UTF8ToString(thrown));
    const open = Module.nationFiles.open;
    Module.nationFiles.open = () => {
        Module.nationFiles.open = open;
        throw make();
    };
});

// The reason the library gives for a file whose open throws `thrown`.
std::string ReasonFor(const std::string& thrown)
{
    using namespace testfiles;
    TempDir dir;
    REQUIRE(WriteFile(dir / "Nation.dat", MakeNationFile(3)));
    NextOpenThrows(thrown.c_str());
    const nationfile::ReadResult read = nationfile::ReadNationFile(Utf8(dir / "Nation.dat"));
    REQUIRE(read.outcome == nationfile::ReadOutcome::FileError);
    return read.reason;
}

// A failure the page's files host throws by its code: the code, and the
// names of the particulars it tells.
struct PageFailure {
    std::string code;
    std::vector<std::string> particulars;
};

std::string TextOf(const std::filesystem::path& path)
{
    std::ifstream file(path);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// Every fail(code, { particulars }) in the page's scripts, and every
// Failed("code", {{"particular", ...}}) of the library's decisions.
std::vector<PageFailure> PageFailures()
{
    const std::regex call(R"re(\bfail\(\s*"([^"]*)"\s*(?:,\s*\{([^}]*)\})?)re");
    const std::regex key(R"re(^\s*(\w+))re");
    const std::regex decided(R"re(\bFailed\("([^"]*)"([^;]*))re");
    const std::regex named(R"re(\{"(\w+)",)re");
    std::vector<PageFailure> failures;
    const std::string library = TextOf(std::filesystem::path(NATION_LIBRARY_DIR) / "BrowserFiles.cpp");
    for (std::sregex_iterator found(library.begin(), library.end(), decided), end; found != end; ++found) {
        PageFailure failure{(*found)[1].str(), {}};
        const std::string rest = (*found)[2].str();
        for (std::sregex_iterator name(rest.begin(), rest.end(), named); name != end; ++name)
            failure.particulars.push_back((*name)[1].str());
        failures.push_back(failure);
    }
    for (const auto& entry : std::filesystem::directory_iterator(NATION_PAGE_DIR)) {
        if (entry.path().extension() != ".js")
            continue;
        const std::string text = TextOf(entry.path());
        for (std::sregex_iterator found(text.begin(), text.end(), call), end; found != end; ++found) {
            PageFailure failure{(*found)[1].str(), {}};
            std::istringstream particulars((*found)[2].str());
            std::smatch name;
            for (std::string item; std::getline(particulars, item, ',');) {
                if (std::regex_search(item, name, key))
                    failure.particulars.push_back(name[1].str());
            }
            failures.push_back(failure);
        }
    }
    return failures;
}

} // namespace

TEST_CASE("the host's failure is worded by its code, or told in its own words where it has none")
{
    const struct {
        const char* row;
        const char* thrown;
        const char* reason;
    } rows[] = {
        {"a code and its particulars", R"(({ code: "could-not-make-in-folder", particulars: { folder: "Backups",
             detail: "the disk is full" } }))",
         R"(the browser could not make a file in the folder "Backups" (the disk is full))"},
        {"a particular holding a mark is not filled again",
         R"(({ code: "could-not-open", particulars: { detail: "{name}" } }))",
         "The browser could not open the file ({name})"},
        {"a particular not told stays a mark", R"(({ code: "could-not-write", particulars: {} }))",
         "The browser could not write the file ({detail})"},
        {"a code the library has no words for", R"(({ code: "the-unheard-of", particulars: {} }))",
         "the-unheard-of"},
        {"a browser's error, whose code is a number", R"(new DOMException("gone", "NotFoundError"))", "gone"},
        {"Node's error, whose code is the system's", R"(Object.assign(new Error("EACCES: no"), { code: "EACCES" }))",
         "EACCES: no"},
        {"words thrown as they are", R"("plain words")", "plain words"},
    };
    for (const auto& row : rows) {
        INFO(row.row);
        CHECK(ReasonFor(row.thrown) == row.reason);
    }
}

TEST_CASE("every failure the page's files host throws or the library decides has words, its particulars in them")
{
    const std::vector<PageFailure> failures = PageFailures();
    REQUIRE(failures.size() > 10);
    for (const PageFailure& failure : failures) {
        INFO(failure.code);
        std::string particulars;
        for (const std::string& name : failure.particulars)
            particulars += name + ": \"<" + name + ">\", ";
        const std::string reason
            = ReasonFor("({ code: \"" + failure.code + "\", particulars: { " + particulars + "} })");
        CHECK_MESSAGE(reason != failure.code, "the library has words for it");
        CHECK_MESSAGE(reason.find('{') == std::string::npos, "the host tells each particular its words name");
        for (const std::string& name : failure.particulars)
            CHECK_MESSAGE(reason.find("<" + name + ">") != std::string::npos, ("its words tell " + name));
    }
}

TEST_CASE("a read the host answers with more or fewer bytes than asked for fails, and a patch writes nothing")
{
    using namespace testfiles;
    const struct {
        const char* row;
        int more;
        const char* reason;
    } rows[] = {
        {"one byte short", -1, "The file became shorter while it was being read"},
        {"nothing", -100000, "The file became shorter while it was being read"},
        {"one byte too many", 1, "The file changed while it was being read"},
    };
    for (const auto& row : rows) {
        INFO(row.row);
        TempDir dir;
        const Bytes original = MakeNationFile(3);
        REQUIRE(WriteFile(dir / "Nation.dat", original));
        const std::string path = Utf8(dir / "Nation.dat");
        const nationfile::ReadResult listed = nationfile::ReadNationFile(path);
        REQUIRE(listed.outcome == nationfile::ReadOutcome::Read);

        MisjudgeReads(row.more);
        const nationfile::ReadResult read = nationfile::ReadNationFile(path);
        const nationfile::WriteResult written = nationfile::WriteMemberships(
            path, 3, [](std::size_t) { return true; }, {}, nationfile::Backup::None, listed.memberBytes,
            listed.identity);
        StopCountingReads();

        CHECK(read.outcome == nationfile::ReadOutcome::FileError);
        CHECK(read.reason == row.reason);
        CHECK(written.outcome != nationfile::WriteOutcome::Written);
        CHECK(ReadFile(dir / "Nation.dat") == original);
    }
}

TEST_CASE("a patch that changes nothing hands the host its store all the same: a download hands the file over")
{
    using namespace testfiles;
    TempDir dir;
    REQUIRE(WriteFile(dir / "Nation.dat", MakeNationFile(3)));
    const std::string path = Utf8(dir / "Nation.dat");
    const auto all = [](std::size_t) { return true; };
    const nationfile::ReadResult first = nationfile::ReadNationFile(path);
    REQUIRE(nationfile::WriteMemberships(path, 3, all, {}, nationfile::Backup::None, first.memberBytes,
                                         first.identity)
                .outcome
            == nationfile::WriteOutcome::Written);
    const nationfile::ReadResult listed = nationfile::ReadNationFile(path);
    StartCountingStores();
    const nationfile::WriteResult written = nationfile::WriteMemberships(
        path, 3, all, {}, nationfile::Backup::None, listed.memberBytes, listed.identity);
    CHECK(StopCountingStores() == 1);
    CHECK(written.outcome == nationfile::WriteOutcome::Written);
}

CountedReads::CountedReads()
{
    StartCountingReads();
}

CountedReads::~CountedReads()
{
    StopCountingReads();
}

std::uint64_t CountedReads::Bytes() const
{
    return static_cast<std::uint64_t>(BytesCounted());
}

// WebAssembly's memory only grows: its size is the most it has held.
long PeakMemoryKiB()
{
    return static_cast<long>(emscripten_get_heap_size() / 1024);
}

} // namespace platformchecks
