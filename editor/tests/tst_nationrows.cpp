// The nation list's rows, as every window's list shows them, and
// type-to-find over them.
#include "CommandsFixture.h"
#include "Text.h"
#include "TypeToFind.h"

#include <functional>
#include <optional>

using namespace nationfile;

namespace {

// What a window's list is told of each change.
struct Told : NationRows::Observer {
    std::vector<std::string> said;
    void NationsReplaced(std::size_t count) override { said.push_back("replaced " + std::to_string(count)); }
    void TicksChanged(std::span<const std::size_t> rows) override
    {
        std::string changed = "ticks";
        for (const std::size_t row : rows)
            changed += " " + std::to_string(row);
        said.push_back(changed);
    }
    void TicksInFileChanged() override { said.push_back("in file"); }
};

} // namespace

TEST_CASE("the list's rows: each change of a tick is told once, with the rows it changed, and marks what differs "
          "from the file")
{
    struct Row {
        std::string row;
        std::function<void(NationRows&)> change;
        std::vector<bool> ticks;
        std::vector<bool> changed;
        std::vector<std::string> told;
    };
    // Four nations, the first and the third members in the file.
    const std::vector<Row> rows = {
        {"one tick", [](NationRows& r) { r.SetNationTicked(1, true); }, {1, 1, 1, 0}, {0, 1, 0, 0}, {"ticks 1"}},
        {"a tick as it was tells nothing", [](NationRows& r) { r.SetNationTicked(0, true); }, {1, 0, 1, 0},
         {0, 0, 0, 0}, {}},
        {"a toggle", [](NationRows& r) { r.ToggleNation(2); }, {1, 0, 0, 0}, {0, 0, 1, 0}, {"ticks 2"}},
        {"many in one pass, only those that change",
         [](NationRows& r) { r.SetNationTicks({true, true, true, true}); }, {1, 1, 1, 1}, {0, 1, 0, 1},
         {"ticks 1 3"}},
        {"fewer ticks than rows leave the rest",
         [](NationRows& r) { r.SetNationTicks({false}); }, {0, 0, 1, 0}, {1, 0, 0, 0}, {"ticks 0"}},
        {"as in the file again",
         [](NationRows& r) {
             r.SetNationTicks({false, true, false, true});
             r.TicksAsInFile();
         },
         {1, 0, 1, 0}, {0, 0, 0, 0}, {"ticks 0 1 2 3", "ticks 0 1 2 3"}},
        {"a patch makes the ticks the file's",
         [](NationRows& r) {
             r.SetNationTicks({false, true, true, false});
             r.MarkWritten({MEMBER_NO, MEMBER_YES, MEMBER_YES, MEMBER_NO});
             r.TicksAsInFile();
         },
         {0, 1, 1, 0}, {0, 0, 0, 0}, {"ticks 0 1", "in file"}},
        {"a load replaces every row at once, told once with their count",
         [](NationRows& r) { r.ReplaceNations({"Estonia", "Fiji", "Gabon"}, {0, MEMBER_YES, 255}); }, {0, 1, 0},
         {0, 0, 0}, {"replaced 3"}},
        {"a load of no nations", [](NationRows& r) { r.ReplaceNations({}, {}); }, {}, {}, {"replaced 0"}},
    };
    for (const Row& row : rows) {
        INFO(row.row);
        NationRows nations;
        Replace(nations, {{"Austria", true}, {"Brazil", false}, {"Croatia", true}, {"Denmark", false}});
        Told told;
        nations.SetObserver(&told);
        row.change(nations);
        CHECK(nations.Ticks() == row.ticks);
        std::vector<bool> changed;
        for (std::size_t i = 0; i < nations.NationCount(); ++i)
            changed.push_back(nations.IsChanged(i));
        CHECK(changed == row.changed);
        CHECK(told.said == row.told);
    }
}

TEST_CASE("type-to-find: case, accents and signs ignored, spaces typed, on from the current nation, round past "
          "the end; a space on its own ticks")
{
    const std::vector<std::string> names = {"Samoa", "San Marino", "S\xC3\xA3o Tom\xC3\xA9 & Principe",
                                            "C\xC3\xB4te d'Ivoire", "South Africa", "South Korea", "Scotland",
                                            "Zimbabwe"};
    struct Row {
        std::string row;
        std::vector<std::string> keys; // "..." a pause longer than the platform's
        std::optional<std::size_t> current;
        std::optional<std::size_t> found;
        // Another file of as many nations was loaded and searched first.
        bool afterAnother = false;
        std::optional<std::size_t> ticked = std::nullopt; // the one nation ticked after the keys
    };
    const std::optional<std::size_t> none;
    const Row rows[] = {
        {"sao: S\xC3\xA3o Tom\xC3\xA9, not Samoa or San Marino", {"s", "a", "o"}, none, 2},
        {"SAO in capitals", {"S", "A", "O"}, none, 2},
        {"s\xC3\xA3o typed with its accent", {"s", "\xC3\xA3", "o"}, none, 2},
        {"cote: C\xC3\xB4te d'Ivoire", {"c", "o", "t", "e"}, none, 3},
        {"cote d'i, its space and apostrophe typed", {"c", "o", "t", "e", " ", "d", "'", "i"}, none, 3},
        {"south korea, its space typed", {"s", "o", "u", "t", "h", " ", "k"}, none, 5},
        {"a first letter goes on from the nation after the current one", {"s"}, 0, 1},
        {"and round past the end", {"s"}, 6, 0},
        {"a further letter keeps the current nation while it matches", {"s", "o"}, 3, 4},
        {"the same letter again walks on", {"s", "s", "s"}, none, 2},
        {"a pause starts a new name", {"s", "a", "...", "z"}, none, 7},
        {"no name starts so: nowhere", {"x"}, 2, none},
        {"a sign alone is no name", {"'"}, none, none},
        {"after another file of as many nations, this file's names", {"z"}, none, 7, true},
        {"a space on its own ticks the current nation, which stays current", {" "}, 4, 4, false, 4},
        {"a space after a pause ticks the nation found", {"z", "...", " "}, none, 7, false, 7},
        {"two spaces tick and untick", {" ", " "}, 4, 4},
        {"a space with no current nation ticks nothing: nowhere", {" "}, none, none},
    };
    for (const Row& row : rows) {
        INFO(row.row);
        NationRows nations;
        TypeToFind find(std::chrono::milliseconds(500));
        auto now = TypeToFind::Clock::now();
        if (row.afterAnother) {
            std::vector<std::pair<std::string, bool>> other(names.size(), {"Other", false});
            other[0].first = "Zaire";
            Replace(nations, other);
            REQUIRE(find.Type(nations, "z", std::nullopt, now) == 0u);
            now += std::chrono::seconds(1);
        }
        std::vector<std::pair<std::string, bool>> nationsOfFile;
        for (const std::string& name : names)
            nationsOfFile.emplace_back(name, false);
        Replace(nations, nationsOfFile);
        std::optional<std::size_t> current = row.current;
        std::optional<std::size_t> found;
        bool typing = false;
        for (const std::string& key : row.keys) {
            now += std::chrono::milliseconds(key == "..." ? 800 : 100);
            if (key == "...") {
                typing = false;
                continue;
            }
            CHECK(find.Typing(now) == typing);
            typing = key != " " || typing;
            found = find.Key(nations, key, current, now);
            current = found ? found : current;
        }
        CHECK(found == row.found);
        std::vector<bool> ticks(names.size(), false);
        if (row.ticked)
            ticks[*row.ticked] = true;
        CHECK(nations.Ticks() == ticks);
    }

    // Nothing to find in an empty list; the last of 32,767 nations by name.
    NationRows empty;
    CHECK(!TypeToFind(std::chrono::milliseconds(500)).Type(empty, "a", std::nullopt));
    NationRows most;
    std::vector<std::pair<std::string, bool>> numbered;
    for (std::size_t i = 0; i < MAX_NATION_RECORDS; ++i)
        numbered.emplace_back("Nation " + std::to_string(i), false);
    Replace(most, numbered);
    TypeToFind find(std::chrono::milliseconds(500));
    std::optional<std::size_t> found;
    for (const char key : std::string("nation 32766"))
        found = find.Type(most, std::string(1, key), found);
    CHECK(found == MAX_NATION_RECORDS - 1);
}

TEST_CASE("text: names folded as they are compared, and bytes that are not UTF-8 shown with replacement characters")
{
    struct Row {
        std::string row;
        std::string text;
        std::string folded;
        std::string readable; // "" when it is the text itself
    };
    const std::string kReplacement = "\xEF\xBF\xBD";
    const Row rows[] = {
        {"accents, capitals, signs and spaces", "C\xC3\xB4te d'Ivoire", "cotedivoire", ""},
        {"Windows-1252's other letters", "\xC5\xA0ibenik \xC5\x92uvre \xC5\xBD\xC5\xB8", "sibenikoeuvrezy", ""},
        {"digits stay", "Nation 32766", "nation32766", ""},
        {"a Latin-1 byte in a folder's name", "/games/caf\xE9/Nation.dat", "gamescafnationdat",
         "/games/caf" + kReplacement + "/Nation.dat"},
        {"a sequence cut short at the end", "ab\xC3", "ab", "ab" + kReplacement},
        {"a stray continuation byte", "\x80x", "x", kReplacement + "x"},
        {"an overlong slash", "\xC0\xAF", "", kReplacement + kReplacement},
        {"a surrogate", "\xED\xA0\x80", "", kReplacement + kReplacement + kReplacement},
        {"four bytes", "\xF0\x9F\x98\x80!", "", ""},
    };
    for (const Row& row : rows) {
        INFO(row.row);
        CHECK(text::Folded(row.text) == row.folded);
        CHECK(text::Readable(row.text) == (row.readable.empty() ? row.text : row.readable));
    }
}
