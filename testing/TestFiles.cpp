#include "TestFiles.h"

#include <atomic>
#include <chrono>
#include <fstream>
#include <iterator>
#include <system_error>

#ifdef __EMSCRIPTEN__
#include <emscripten.h>
#endif

using namespace nationfile;

namespace testfiles {

#ifdef __EMSCRIPTEN__
namespace {

// Emscripten's own file calls take no length beyond 2 GiB; Node's do.
EM_JS(int, NodeTruncate, (const char* path, double length), {
    try {
        require("fs").truncateSync(UTF8ToString(path), length);
        return 1;
    } catch (error) {
        return 0;
    }
});

} // namespace
#endif

Bytes MakeRecord(std::string_view name, std::uint8_t member, std::uint32_t fill)
{
    Bytes record(NATION_RECORD_SIZE, '\0');
    std::uint32_t state = fill * 2654435761u + 12345u;
    for (char& byte : record) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<char>(state >> 24);
    }
    Bytes field(name.substr(0, NAME_LENGTH));
    field.resize(NAME_LENGTH, '\0');
    record.replace(NAME_OFFSET, NAME_LENGTH, field);
    record[MEMBER_OFFSET] = static_cast<char>(member);
    return record;
}

Bytes MakeNationFile(std::size_t count, std::uint32_t seed)
{
    Bytes file;
    file.reserve(count * NATION_RECORD_SIZE);
    for (std::size_t i = 0; i < count; ++i)
        file += MakeRecord("Nation " + std::to_string(i), static_cast<std::uint8_t>(i),
                           seed + static_cast<std::uint32_t>(i));
    return file;
}

Bytes MakeMembersFile(std::size_t count)
{
    static const char* const kMembers[] = {
        "Belgium",  "France",   "Germany",        "Italy",   "Luxembourg", "Holland",   "Denmark",  "Eire",
        "England",  "Scotland", "Wales",          "N. Ireland", "Greece",  "Portugal",  "Spain",    "Austria",
        "Finland",  "Sweden",   "Cyprus",         "Czech Republic", "Estonia", "Hungary", "Latvia", "Lithuania",
        "Malta",    "Poland",   "Slovakia",       "Slovenia", "Bulgaria",  "Romania",   "Croatia",  "Iceland",
        "Norway",   "Liechtenstein", "Switzerland",
    };
    Bytes file = MakeNationFile(count);
    for (std::size_t i = 0; i < std::size(kMembers) && i < count; ++i)
        file.replace(i * NATION_RECORD_SIZE, NATION_RECORD_SIZE, MakeRecord(kMembers[i], 1, static_cast<std::uint32_t>(i)));
    for (std::size_t i = 0; i < count; ++i)
        file[i * NATION_RECORD_SIZE + MEMBER_OFFSET] = static_cast<char>(MEMBER_NO);
    return file;
}

std::vector<std::string> NamesOf(const std::vector<NationEntry>& entries)
{
    std::vector<std::string> names;
    names.reserve(entries.size());
    for (const NationEntry& entry : entries)
        names.push_back(entry.name);
    return names;
}

bool WriteFile(const std::filesystem::path& path, std::string_view bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    return !out.fail();
}

Bytes ReadFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in)
        return {};
    Bytes bytes(static_cast<std::size_t>(in.tellg()), '\0');
    in.seekg(0);
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return in ? bytes : Bytes();
}

bool MakeEmptyFile(const std::filesystem::path& path, std::uint64_t length)
{
    if (!WriteFile(path, {}))
        return false;
#ifdef __EMSCRIPTEN__
    return NodeTruncate(Utf8(path).c_str(), static_cast<double>(length)) != 0;
#endif
    std::error_code error;
    std::filesystem::resize_file(path, length, error);
    return !error;
}

std::string Utf8(const std::filesystem::path& path)
{
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

std::filesystem::path FromUtf8(std::string_view text)
{
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

bool IsMemberOffset(std::uint64_t offset)
{
    return offset % NATION_RECORD_SIZE == MEMBER_OFFSET;
}

std::uint8_t MemberOf(const Bytes& file, std::size_t record)
{
    return static_cast<std::uint8_t>(file.at(record * NATION_RECORD_SIZE + MEMBER_OFFSET));
}

TempDir::TempDir()
{
    static std::atomic<unsigned> made {0};
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    for (unsigned attempt = 0;; ++attempt) {
        path_ = std::filesystem::temp_directory_path()
            / ("nation-test-" + std::to_string(stamp) + "-" + std::to_string(made++));
        std::error_code error;
        if (std::filesystem::create_directory(path_, error) || attempt > 100)
            break;
    }
}

TempDir::~TempDir()
{
    std::error_code error;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add,
                                 error);
    std::filesystem::remove_all(path_, error);
}

} // namespace testfiles
