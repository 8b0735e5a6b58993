#include "TestFiles.h"

#include <algorithm>
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

Bytes MakeEdition0102File()
{
    // clang-format off
    static const char* const kNames[] = {
    "Afghanistan", "Albania", "Algeria", "American Samoa", "Andorra", "Angola", "Anguilla", "Antigua & Barbuda",
    "Argentina", "Armenia", "Aruba", "Australia", "Austria", "Azerbaijan", "Bahamas", "Bahrain", "Bangladesh",
    "Barbados", "Belarus", "Belgium", "Belize", "Benin", "Bermuda", "Bhutan", "Bolivia", "Bosnia-Herzegovina",
    "Botswana", "Brazil", "British Virgin Islands", "Brunei", "Bulgaria", "Burkina Faso", "Burundi", "Cambodia",
    "Cameroon", "Canada", "Cape Verde Islands", "Cayman Islands", "Central African Republic", "Chad", "Chile",
    "China", "Chinese Taipei", "Colombia", "Congo", "Cook Islands", "Costa Rica", "C\xF4" "te d'Ivoire", "Croatia",
    "Cuba", "Cyprus", "Czech Republic", "Czechoslovakia", "Denmark", "Djibouti", "Dominica", "Dominican Republic",
    "DR Congo", "East Germany", "Ecuador", "Egypt", "El Salvador", "England", "Equatorial Guinea", "Eritrea",
    "Estonia", "Ethiopia", "Faroe Islands", "Fiji", "Finland", "France", "FYR Macedonia", "Gabon", "Gambia",
    "Georgia", "Germany", "Ghana", "Gibraltar", "Greece", "Greenland", "Grenada", "Guam", "Guatemala", "Guinea",
    "Guinea-Bissau", "Guyana", "Haiti", "Holland", "Honduras", "Hong Kong", "Hungary", "Iceland", "India",
    "Indonesia", "Iran", "Iraq", "Israel", "Italy", "Jamaica", "Japan", "Jordan", "Kazakhstan", "Kenya", "Kuwait",
    "Kyrgyzstan", "Laos", "Latvia", "Lebanon", "Lesotho", "Liberia", "Libya", "Liechtenstein", "Lithuania",
    "Luxembourg", "Macao", "Madagascar", "Malawi", "Malaysia", "Maldives", "Mali", "Malta", "Martinique",
    "Mauritania", "Mauritius", "Mexico", "Moldova", "Mongolia", "Montserrat", "Morocco", "Mozambique", "Myanmar",
    "Namibia", "Nepal", "Netherlands Antilles", "New Zealand", "Nicaragua", "Niger", "Nigeria", "North Korea",
    "Northern Ireland", "Norway", "Oman", "Pakistan", "Palestine", "Panama", "Papua New Guinea", "Paraguay",
    "Peru", "Philippines", "Poland", "Portugal", "Puerto Rico", "Qatar", "Republic of Ireland", "R\xE9" "union",
    "Romania", "Russia", "Rwanda", "Samoa", "San Marino", "S\xE3" "o Tom\xE9" " & Principe", "Saudi Arabia",
    "Scotland", "Senegal", "Seychelles", "Sierra Leone", "Singapore", "Slovakia", "Slovenia", "Solomon Islands",
    "Somalia", "South Africa", "South Korea", "Soviet Union", "Spain", "Sri Lanka", "St Kitts & Nevis", "St Lucia",
    "St Vincent & the Grenadines", "Sudan", "Surinam", "Swaziland", "Sweden", "Switzerland", "Syria", "Tahiti",
    "Tajikistan", "Tanzania", "Thailand", "Togo", "Tonga", "Trinidad & Tobago", "Tunisia", "Turkey",
    "Turkmenistan", "Turks & Caicos Islands", "Uganda", "Ukraine", "United Arab Emirates", "United States",
    "Uruguay", "US Virgin Islands", "Uzbekistan", "Vanuatu", "Venezuela", "Vietnam", "Wales", "West Germany",
    "Yemen", "Yugoslavia", "Zambia", "Zanzibar", "Zimbabwe",
    };
    // clang-format on
    static const std::string_view kMembers[] = {
        "Austria", "Belgium", "Denmark", "England", "Finland", "France", "Germany", "Greece", "Holland", "Iceland",
        "Italy", "Liechtenstein", "Luxembourg", "Northern Ireland", "Norway", "Portugal", "Republic of Ireland",
        "Scotland", "Spain", "Sweden", "Wales",
    };
    static_assert(std::size(kNames) == EDITION_0102_NATIONS);
    Bytes file;
    for (std::size_t i = 0; i < std::size(kNames); ++i) {
        const bool member = std::find(std::begin(kMembers), std::end(kMembers), kNames[i]) != std::end(kMembers);
        file += MakeRecord(kNames[i], member ? MEMBER_YES : MEMBER_NO, static_cast<std::uint32_t>(i));
    }
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

const std::string& SampleFiles::Of(std::size_t records)
{
    auto found = paths_.find(records);
    if (found == paths_.end()) {
        const std::filesystem::path path = dir_ / ("Nation-" + std::to_string(records) + ".dat");
        WriteFile(path, MakeNationFile(records));
        found = paths_.emplace(records, Utf8(path)).first;
    }
    return found->second;
}

} // namespace testfiles
