#include "NationFile.h"
#include "TestFiles.h"

#include <doctest/doctest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <sys/wait.h>

using namespace nationfile;
using namespace testfiles;

namespace {

Bytes MakeSample(const std::filesystem::path& path)
{
    const std::string command = std::string("\"") + MAKE_SAMPLE + "\" \"" + Utf8(path) + "\"";
    if (std::system(command.c_str()) != 0)
        return {};
    return ReadFile(path);
}

} // namespace

TEST_CASE("the sample is a nation file with the European Union of 1999 ticked")
{
    struct Row {
        const char* nation;
        bool member;
    };
    const Row rows[] = {
        {"England", true},
        {"Scotland", true},
        {"Wales", true},
        {"Northern Ireland", true},
        {"Republic of Ireland", true},
        {"Luxembourg", true},
        {"Holland", true},
        {"Norway", false},
        {"Switzerland", false},
        {"Poland", false}, // not yet a member in 1999
        {"C\xC3\xB4te d'Ivoire", false},
        {"S\xC3\xA3o Tom\xC3\xA9 e Pr\xC3\xADncipe", false},
    };
    TempDir dir;
    const Bytes bytes = MakeSample(dir / "Nation.dat");
    REQUIRE(!bytes.empty());
    CHECK(IsNationFileLength(bytes.size()));

    const ReadResult read = ReadNationFile(Utf8(dir / "Nation.dat"));
    REQUIRE(read.outcome == ReadOutcome::Read);
    CHECK(read.entries.size() > 80);
    int members = 0;
    for (const NationEntry& entry : read.entries)
        members += entry.member;
    // The fifteen members of 1999, the United Kingdom as its four nations.
    CHECK(members == 18);
    for (const Row& row : rows) {
        INFO(row.nation);
        const NationEntry* found = nullptr;
        for (const NationEntry& entry : read.entries) {
            if (entry.name == row.nation)
                found = &entry;
        }
        REQUIRE(found != nullptr);
        CHECK(found->member == row.member);
    }
    for (std::size_t i = 0; i < read.entries.size(); ++i)
        CHECK((MemberOf(bytes, i) == MEMBER_YES || MemberOf(bytes, i) == MEMBER_NO));
}

TEST_CASE("the sample is the same every time")
{
    TempDir dir;
    const Bytes first = MakeSample(dir / "a.dat");
    REQUIRE(!first.empty());
    CHECK(MakeSample(dir / "b.dat") == first);
}

TEST_CASE("the generator's arguments: --help and -h tell its use, other options are refused, none becomes a file")
{
    struct Row {
        std::string row;
        std::string arguments;
        int exit;
        bool usage; // printed on its standard output
    };
    const Row rows[] = {
        {"--help", "--help", 0, true},
        {"-h", "-h", 0, true},
        {"another option", "--force", 2, false},
        {"a lone dash", "-", 2, false},
        {"no path", "", 2, false},
        {"two paths", "a.dat b.dat", 2, false},
    };
    for (const Row& row : rows) {
        INFO(row.row);
        TempDir dir;
        const std::string command = "cd \"" + Utf8(dir.Path()) + "\" && \"" + MAKE_SAMPLE + "\" " + row.arguments
            + " >out.txt 2>err.txt";
        const int status = std::system(command.c_str());
        CHECK(WIFEXITED(status));
        CHECK(WEXITSTATUS(status) == row.exit);
        CHECK(ReadFile(dir / (row.usage ? "out.txt" : "err.txt")).starts_with("usage: make-sample-nation PATH"));
        std::vector<std::string> made;
        for (const auto& entry : std::filesystem::directory_iterator(dir.Path()))
            made.push_back(Utf8(entry.path().filename()));
        std::sort(made.begin(), made.end());
        CHECK(made == std::vector<std::string> {"err.txt", "out.txt"});
    }
}
