#pragma once

#include "Version.h"

#include <array>
#include <cstddef>

// The editor's one window as designed, for every window to lay itself
// out from: its frame, and each control's kind, text, place, font and
// colours, in tab order. Places and sizes are in twips (1/1440 inch, 15 to
// a pixel at 96 dots per inch) from the client area's top-left corner.
namespace form {

// Twips as pixels at a resolution, rounded to the nearest: 15 twips a pixel
// at 96 dots per inch, the resolution a toolkit that scales its pixels
// itself lays out at.
inline constexpr int Pixels(int twips, int dotsPerInch)
{
    return (twips * dotsPerInch + 720) / 1440;
}
inline constexpr int UNSCALED_DPI = 96;

struct Colour {
    unsigned char red;
    unsigned char green;
    unsigned char blue;
};

inline constexpr const char* TITLE = "CM3 99/00 Tallowmere";
// Where a message box has no title of its own.
inline constexpr const char* APPLICATION_TITLE = "Cm3 Tallowmere";
inline constexpr int CLIENT_WIDTH = 9015;
inline constexpr int CLIENT_HEIGHT = 4935;
inline constexpr Colour BACKGROUND = {192, 192, 192};
// The text on that grey. The grey is fixed, so its text is too, whatever a
// desktop's theme gives its own text (light on a dark theme would be
// unreadable there). Where a control stands on the system's button face,
// its text is the system's button text.
inline constexpr Colour TEXT = {0, 0, 0};

// The designed faces. Each is followed by the faces that stand in for it
// where a system lacks it: the newer name Windows gives MS Sans Serif, then
// Debian's metric-compatible faces (Liberation Sans stands in for Tahoma
// too, the nearest the package brings); after those, any face of the same
// family, serif or sans-serif.
enum class FontKind { WindowDefault, Tahoma, Title, GameName };
struct Font {
    std::array<const char*, 3> faces; // the designed face first; unused ones null
    int hundredthsOfPoint;
    bool bold;
    bool serif;

    constexpr const char* Face() const { return faces[0]; }
};
inline constexpr std::array<Font, 4> FONTS = {{
    {{"MS Sans Serif", "Microsoft Sans Serif", "Liberation Sans"}, 825, false, false},
    {{"Tahoma", "Liberation Sans"}, 825, false, false},
    {{"Times New Roman", "Liberation Serif"}, 2625, false, true},
    {{"Arial", "Liberation Sans"}, 975, true, false},
}};
inline constexpr const Font& FontOf(FontKind kind)
{
    return FONTS[static_cast<std::size_t>(kind)];
}

enum class Kind { Button, NationList, Label, HelpBox };
// What shows behind a control: its own background, the window's grey
// through it, or the system's button face.
enum class Background { Own, Window, ButtonFace };

struct Control {
    const char* name;
    Kind kind;
    const char* text; // "&" marks the access key
    int left;
    int top;
    int width;
    int height;
    FontKind font;
    Background background = Background::Own;
    bool centred = false;
    bool red = false; // the game's name, red 192, 0, 0
};
inline constexpr Colour RED = {192, 0, 0};

// The controls in tab order; the labels never take the focus.
enum Index : std::size_t {
    cmdLoad,
    lstNations,
    cmdPatch,
    cmdAllEEC,
    Label1,
    RichTextBox1,
    Label2,
    cmdExit,
    cmdURL,
    cmdEMail,
    Label3,
    CONTROL_COUNT,
};
// What the open-file dialog (cdOpen) offers: one choice, files of this
// name, matched in any letter case as file names are on the game's own
// platform.
struct FileFilter {
    const char* description;
    const char* pattern;
};
inline constexpr FileFilter NATION_FILES = {"Nation Database", "Nation.dat"};

// The nation list and the help box show no name of their own: their names,
// for a screen reader.
inline constexpr const char* LIST_NAME = "Nations";
inline constexpr const char* HELP_NAME = "Help";
// How a screen reader describes a row whose tick differs from the file's,
// as the bold face shows it.
inline constexpr const char* CHANGED_DESCRIPTION = "changed, not yet patched";

inline constexpr std::array<Control, CONTROL_COUNT> CONTROLS = {{
    {"cmdLoad", Kind::Button, "&Load Nations", 120, 120, 1935, 375, FontKind::Tahoma},
    {"lstNations", Kind::NationList, "", 120, 600, 3975, 3885, FontKind::WindowDefault},
    {"cmdPatch", Kind::Button, "&Patch Nation.dat", 2160, 120, 1935, 375, FontKind::Tahoma},
    {"cmdAllEEC", Kind::Button, "&Make All Countries EEC Members", 120, 4560, 3975, 315, FontKind::Tahoma},
    {"Label1", Kind::Label, "Tallowmere", 4800, 480, 3615, 615, FontKind::Title, Background::Window, true},
    {"RichTextBox1", Kind::HelpBox, "RichTextBox1", 4320, 1320, 4455, 3015, FontKind::Tahoma,
     Background::ButtonFace},
    {"Label2", Kind::Label, "Championship Manager 99/00", 4440, 240, 3015, 255, FontKind::GameName,
     Background::Window, false, true},
    {"cmdExit", Kind::Button, "&Exit", 8160, 4560, 735, 315, FontKind::Tahoma},
    {"cmdURL", Kind::Button, "&Visit My Website", 6240, 4560, 1815, 315, FontKind::Tahoma},
    {"cmdEMail", Kind::Button, "E-M&ail Me", 4800, 4560, 1335, 315, FontKind::Tahoma},
    {"Label3", Kind::Label, version::LABEL, 8040, 840, 495, 255, FontKind::WindowDefault, Background::ButtonFace},
}};

} // namespace form
