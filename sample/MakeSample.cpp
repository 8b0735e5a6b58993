// Writes a sample nation file to try the editor on without the game: the
// nations of a 1999/2000 football database from our own list, the members
// of the European Union of 1999 ticked (the United Kingdom's four home
// nations each on their own), every other byte filled deterministically.
// Usage: make-sample-nation PATH (or --help)
#include "NationFile.h"

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string_view>
#include <vector>

using namespace nationfile;

namespace {

struct SampleNation {
    std::string_view name; // Windows-1252, as the game stores it
    bool member;
};

// clang-format off
constexpr SampleNation kNations[] = {
    {"Albania", false}, {"Algeria", false}, {"Andorra", false}, {"Angola", false},
    {"Argentina", false}, {"Armenia", false}, {"Australia", false}, {"Austria", true},
    {"Azerbaijan", false}, {"Belarus", false}, {"Belgium", true}, {"Bolivia", false},
    {"Bosnia-Herzegovina", false}, {"Brazil", false}, {"Bulgaria", false}, {"Burkina Faso", false},
    {"Cameroon", false}, {"Canada", false}, {"Chile", false}, {"China", false},
    {"Colombia", false}, {"Costa Rica", false}, {"C\xF4te d'Ivoire", false}, {"Croatia", false},
    {"Cyprus", false}, {"Czech Republic", false}, {"Denmark", true}, {"Ecuador", false},
    {"Egypt", false}, {"England", true}, {"Estonia", false}, {"Faroe Islands", false},
    {"Finland", true}, {"France", true}, {"Georgia", false}, {"Germany", true},
    {"Ghana", false}, {"Greece", true}, {"Holland", true}, {"Honduras", false},
    {"Hungary", false}, {"Iceland", false}, {"Iran", false}, {"Israel", false},
    {"Italy", true}, {"Jamaica", false}, {"Japan", false}, {"Latvia", false},
    {"Liberia", false}, {"Liechtenstein", false}, {"Lithuania", false}, {"Luxembourg", true},
    {"Macedonia", false}, {"Mali", false}, {"Malta", false}, {"Mexico", false},
    {"Moldova", false}, {"Morocco", false}, {"Nigeria", false}, {"Northern Ireland", true},
    {"Norway", false}, {"Paraguay", false}, {"Peru", false}, {"Poland", false},
    {"Portugal", true}, {"Republic of Ireland", true}, {"Romania", false}, {"Russia", false},
    {"San Marino", false}, {"S\xE3o Tom\xE9 e Pr\xEDncipe", false}, {"Saudi Arabia", false},
    {"Scotland", true}, {"Senegal", false}, {"Slovakia", false}, {"Slovenia", false},
    {"South Africa", false}, {"South Korea", false}, {"Spain", true}, {"Sweden", true},
    {"Switzerland", false}, {"Trinidad & Tobago", false}, {"Tunisia", false}, {"Turkey", false},
    {"Ukraine", false}, {"United States", false}, {"Uruguay", false}, {"Wales", true},
    {"Yugoslavia", false}, {"Zambia", false}, {"Zimbabwe", false},
};
// clang-format on

std::vector<char> Record(std::size_t index, const SampleNation& nation)
{
    std::vector<char> record(NATION_RECORD_SIZE);
    std::uint32_t state = 0x9E3779B9u * static_cast<std::uint32_t>(index + 1);
    for (char& byte : record) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        byte = static_cast<char>(state & 0xFF);
    }
    for (std::size_t i = 0; i < NAME_LENGTH; ++i)
        record[NAME_OFFSET + i] = i < nation.name.size() ? nation.name[i] : '\0';
    record[MEMBER_OFFSET] = static_cast<char>(nation.member ? MEMBER_YES : MEMBER_NO);
    return record;
}

} // namespace

constexpr const char* kUsage = "usage: make-sample-nation PATH\n"
                               "Writes a sample nation file of %u nations to PATH, to try the editor on.\n";

int main(int argc, char* argv[])
{
    const std::string_view first = argc > 1 ? argv[1] : "";
    if (argc == 2 && (first == "--help" || first == "-h")) {
        std::printf(kUsage, static_cast<unsigned>(std::size(kNations)));
        return 0;
    }
    // Nothing is ever written under a name that looks like an option.
    if (argc != 2 || first.starts_with('-')) {
        std::fprintf(stderr, kUsage, static_cast<unsigned>(std::size(kNations)));
        return 2;
    }
    std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
    std::size_t index = 0;
    for (const SampleNation& nation : kNations) {
        const std::vector<char> record = Record(index++, nation);
        out.write(record.data(), static_cast<std::streamsize>(record.size()));
    }
    out.close();
    if (!out) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
