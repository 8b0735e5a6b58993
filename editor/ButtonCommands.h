#pragma once

#include "Editor.h"
#include "FormDesign.h"

#include <array>

// Which command each of the window's buttons runs, for both windows to
// connect their buttons from.
namespace form {

struct ButtonCommand {
    Index button;
    void (Editor::*command)();
};

inline constexpr std::array<ButtonCommand, 6> BUTTON_COMMANDS = {{
    {cmdLoad, &Editor::cmdLoad_Click},
    {cmdPatch, &Editor::cmdPatch_Click},
    {cmdAllEEC, &Editor::cmdAllEEC_Click},
    {cmdExit, &Editor::cmdExit_Click},
    {cmdEMail, &Editor::cmdEMail_Click},
    {cmdURL, &Editor::cmdURL_Click},
}};

} // namespace form
