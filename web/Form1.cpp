#include "Form1.h"

#include "NationFile.h"
#include "PageWords.h"

#include <emscripten.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace {

// What the page shows of a row: its tick, and whether the tick differs
// from the file's.
constexpr unsigned char kTicked = 1;
constexpr unsigned char kChanged = 2;

// The browser scales its pixels itself: the design at 96 dots per inch.
int Pixels(int twips)
{
    return form::Pixels(twips, form::UNSCALED_DPI);
}

// A font as the page takes it: its faces, in order, each ended by a comma,
// which no face's name holds.
std::string Faces(const form::Font& font)
{
    std::string faces;
    for (const char* face : font.faces) {
        if (face != nullptr)
            faces = faces + face + ',';
    }
    return faces;
}

EM_JS(void, PageWindow, (const char* title, const char* application, int width, int height, int red, int green,
                         int blue, int textRed, int textGreen, int textBlue, const char* listName,
                         const char* helpName, const char* faces, int hundredthsOfPoint, int serif), {
    Module.page.window(UTF8ToString(title), UTF8ToString(application), width, height, [red, green, blue],
                       [textRed, textGreen, textBlue], UTF8ToString(listName), UTF8ToString(helpName), {
                           faces : UTF8ToString(faces).split(",").slice(0, -1),
                           points : hundredthsOfPoint / 100,
                           bold : false,
                           serif : serif != 0
                       });
});

EM_JS(void, PageControl, (int index, int kind, const char* name, const char* text, int left, int top, int width,
                          int height, const char* faces, int hundredthsOfPoint, int bold, int serif, int background,
                          int centred, int red, int redRed, int redGreen, int redBlue), {
    Module.page.control({
        index : index,
        kind : ["button", "list", "label", "help"][kind],
        name : UTF8ToString(name),
        text : UTF8ToString(text),
        left : left,
        top : top,
        width : width,
        height : height,
        font : {
            faces : UTF8ToString(faces).split(",").slice(0, -1),
            points : hundredthsOfPoint / 100,
            bold : bold != 0,
            serif : serif != 0
        },
        background : ["own", "window", "buttonFace"][background],
        centred : centred != 0,
        colour : red ? [redRed, redGreen, redBlue] : null
    });
});

// One of the page's own words, by the key the page knows it by.
EM_JS(void, PageWord, (const char* key, const char* text), {
    Module.page.word(UTF8ToString(key), UTF8ToString(text));
});

EM_JS(void, PageStatus, (const char* text), { Module.page.status(UTF8ToString(text)); });

EM_JS(void, PageFocus, (int index), { Module.page.focus(index); });

EM_JS(void, PageHelpText, (const char* text), { Module.page.helpText(UTF8ToString(text)); });

// The names one after another as UTF-8, and where each ends: the page
// decodes a name only when it draws its row, the few in view, rather than
// 32,767 strings at each load (Firefox takes longer to split them than to
// read the file).
EM_JS(void, PageNationsReplaced, (const char* names, const unsigned* ends, const unsigned char* marks, int count), {
    const bytes = HEAPU8.slice(names, names + (count ? HEAPU32[(ends >> 2) + count - 1] : 0));
    const end = HEAPU32.slice(ends >> 2, (ends >> 2) + count);
    const decoder = new TextDecoder();
    Module.page.nationsReplaced({
        length : count,
        at : (row) => decoder.decode(bytes.subarray(row > 0 ? end[row - 1] : 0, end[row]))
    }, HEAPU8.slice(marks, marks + count));
});

EM_JS(void, PageTicksChanged, (const unsigned* rows, const unsigned char* marks, int count), {
    Module.page.marksChanged(HEAPU32.slice(rows >> 2, (rows >> 2) + count), HEAPU8.slice(marks, marks + count));
});

EM_JS(void, PageAllMarks, (const unsigned char* marks, int count), {
    Module.page.allMarksChanged(HEAPU8.slice(marks, marks + count));
});

EM_ASYNC_JS(int, PageMessage, (const char* text, const char* title, int question), {
    return await Module.page.message(UTF8ToString(text), UTF8ToString(title), question != 0);
});

// The path chosen, held by the page until taken.
EM_ASYNC_JS(int, PageOpenDialog, (const char* title, const char* description, const char* pattern,
                                  const char* folder), {
    Module.page.chosenPath = await Module.page.openDialog(UTF8ToString(title), UTF8ToString(description),
                                                          UTF8ToString(pattern), UTF8ToString(folder));
    return lengthBytesUTF8(Module.page.chosenPath);
});

EM_JS(void, PageTakeChosenPath, (char* into, int size), {
    stringToUTF8(Module.page.chosenPath, into, size);
    Module.page.chosenPath = "";
});

EM_JS(void, PageMenuEntry, (int depth, const char* label, int enabled, int id), {
    Module.page.menuEntry(depth, UTF8ToString(label), enabled != 0, id);
});

EM_JS(void, PageLaunch, (const char* address), { Module.page.launch(UTF8ToString(address)); });

EM_JS(void, PageEnd, (), { Module.page.end(); });

// The page's own words, as the commands' design has them, by their keys
// in the page (page.js); the backup's name as the file library gives it,
// "{name}" the file's.
std::vector<std::pair<const char*, std::string>> PageWords()
{
    return {
        {"changed", form::CHANGED_DESCRIPTION},
        {"backupHandedOver", pagewords::BACKUP_HANDED_OVER},
        {"fileHandedOver", pagewords::FILE_HANDED_OVER},
        {"ended", pagewords::ENDED},
        {"stopped", pagewords::STOPPED},
        {"menuButton", pagewords::MENU_BUTTON},
        {"allowWrite", pagewords::ALLOW_WRITE},
        {"backupFolderAgain", pagewords::BACKUP_FOLDER_AGAIN},
        {"chooseBackupFolder", pagewords::CHOOSE_BACKUP_FOLDER},
        {"chooseBackupFolderNote", pagewords::CHOOSE_BACKUP_FOLDER_NOTE},
        {"ok", pagewords::OK},
        {"yes", pagewords::YES},
        {"no", pagewords::NO},
        {"backupName", nationfile::BackupPathOf("{name}")},
    };
}

} // namespace

Form1::Form1()
    : editor_(*this)
    // As long as Windows' own lists wait for the next key of a name: a
    // browser tells a page no such pause of its own.
    , find_(std::chrono::milliseconds(1000))
{
    nations_.SetObserver(this);
    createControls();
    editor_.Form_Load();
    PageFocus(form::cmdLoad);
}

Form1::~Form1()
{
    nations_.SetObserver(nullptr);
}

// The design as the page draws it: the frame, then the controls in tab
// order.
void Form1::createControls()
{
    // The page's own words come first: the files host names the backups
    // by them, and the page says them before the browser's prompts.
    for (const auto& [key, text] : PageWords())
        PageWord(key, text.c_str());
    // Menus and messages in the window's own font.
    const form::Font& windowFont = form::FontOf(form::FontKind::WindowDefault);
    PageWindow(form::TITLE, form::APPLICATION_TITLE, Pixels(form::CLIENT_WIDTH), Pixels(form::CLIENT_HEIGHT),
               form::BACKGROUND.red, form::BACKGROUND.green, form::BACKGROUND.blue, form::TEXT.red, form::TEXT.green,
               form::TEXT.blue, form::LIST_NAME, form::HELP_NAME, Faces(windowFont).c_str(),
               windowFont.hundredthsOfPoint, windowFont.serif);
    for (std::size_t i = 0; i < form::CONTROLS.size(); ++i) {
        const form::Control& design = form::CONTROLS[i];
        const form::Font& font = form::FontOf(design.font);
        PageControl(static_cast<int>(i), static_cast<int>(design.kind), design.name, design.text,
                    Pixels(design.left), Pixels(design.top), Pixels(design.width), Pixels(design.height), Faces(font).c_str(),
                    font.hundredthsOfPoint, font.bold, font.serif, static_cast<int>(design.background),
                    design.centred, design.red, form::RED.red, form::RED.green, form::RED.blue);
    }
}

void Form1::ButtonClicked(form::Index button)
{
    editor_.Click(button);
}

void Form1::SetTicked(std::size_t row, bool ticked)
{
    if (row < nations_.NationCount())
        nations_.SetNationTicked(row, ticked);
}

std::optional<std::size_t> Form1::Key(const std::string& key, std::optional<std::size_t> current)
{
    return find_.Key(nations_, key, current);
}

void Form1::ShowTickMenu()
{
    showTickEntries(editor_.TickMenu(), 0);
}

void Form1::showTickEntries(const std::vector<TickMenuEntry>& entries, int depth)
{
    for (const TickMenuEntry& entry : entries) {
        PageMenuEntry(depth, entry.label.c_str(), entry.enabled, entry.id);
        showTickEntries(entry.submenu, depth + 1);
    }
}

void Form1::ChooseTickEntry(int id)
{
    editor_.ApplyTicks(id);
}

std::string Form1::ShowOpenDialog(const std::string& title, const form::FileFilter& filter, const std::string& folder)
{
    const int length = PageOpenDialog(title.c_str(), filter.description, filter.pattern, folder.c_str());
    std::string path(static_cast<std::size_t>(length), '\0');
    PageTakeChosenPath(path.data(), length + 1);
    return path;
}

MessageAnswer Form1::ShowMessage(const std::string& text, const std::string& title, MessageButtons buttons)
{
    const bool question = buttons == MessageButtons::YesNo;
    const int answer = PageMessage(text.c_str(), title.c_str(), question ? 1 : 0);
    if (!question)
        return MessageAnswer::Ok;
    return answer == 1 ? MessageAnswer::Yes : MessageAnswer::No;
}

void Form1::SetHelpText(const std::string& text)
{
    PageHelpText(text.c_str());
}

void Form1::ShowStatus(const std::string& text)
{
    PageStatus(text.c_str());
}

void Form1::Launch(const std::string& address)
{
    PageLaunch(address.c_str());
}

void Form1::End()
{
    PageEnd();
}

// Built with one allocation and plain copies: in the page, each call
// that may throw, made where something must be destroyed if it does, goes
// out to JavaScript and back (emscripten's exceptions), and at 32,767 names
// a call for each cost more than the names themselves.
void Form1::NationsReplaced(std::size_t count)
{
    const std::span<const std::string> all = nations_.Names();
    std::size_t total = 0;
    for (const std::string& name : all)
        total += name.size();
    std::string names(total, '\0');
    std::vector<unsigned> ends(all.size());
    std::size_t at = 0;
    for (std::size_t row = 0; row < all.size(); ++row) {
        std::memcpy(names.data() + at, all[row].data(), all[row].size());
        at += all[row].size();
        ends[row] = static_cast<unsigned>(at);
    }
    const std::vector<unsigned char> marks = AllMarks();
    PageNationsReplaced(names.data(), ends.data(), marks.data(), static_cast<int>(count));
}

void Form1::TicksChanged(std::span<const std::size_t> rows)
{
    std::vector<unsigned> changed(rows.begin(), rows.end());
    std::vector<unsigned char> marks(rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i)
        marks[i] = Marks(rows[i]);
    PageTicksChanged(changed.data(), marks.data(), static_cast<int>(changed.size()));
}

void Form1::TicksInFileChanged()
{
    const std::vector<unsigned char> marks = AllMarks();
    PageAllMarks(marks.data(), static_cast<int>(marks.size()));
}

std::vector<unsigned char> Form1::AllMarks() const
{
    std::vector<unsigned char> marks(nations_.NationCount());
    for (std::size_t row = 0; row < marks.size(); ++row)
        marks[row] = Marks(row);
    return marks;
}

unsigned char Form1::Marks(std::size_t row) const
{
    return (nations_.IsNationTicked(row) ? kTicked : 0) | (nations_.IsChanged(row) ? kChanged : 0);
}
