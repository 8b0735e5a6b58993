// The Linux build's commands given the steps the page's end-to-end test
// takes, so that it can compare the bytes each patch leaves: every message
// answered by its first button, as the test answers the page's.
// Usage: same-steps FILE STEP...   (tick:ROW, all, eu:YEAR, free:YEAR, patch)
//        same-steps --edition-0102 FILE   writes the 213-nation test file
#include "Editor.h"
#include "FakeView.h"
#include "TestFiles.h"

#include <cstdio>
#include <string>
#include <string_view>

namespace {

// The menu's entry for a preset, found by what it does.
bool ApplyPreset(Editor& editor, TickChoice choice, int year)
{
    for (const TickMenuEntry& entry : editor.TickMenu()) {
        for (const TickMenuEntry& command : entry.submenu) {
            if (command.choice == choice && command.year == year) {
                editor.ApplyTicks(command.id);
                return true;
            }
        }
    }
    return false;
}

bool Play(Editor& editor, FakeView& view, std::string_view step)
{
    const std::size_t colon = step.find(':');
    const std::string_view verb = step.substr(0, colon);
    const int number = colon == std::string_view::npos ? 0 : std::stoi(std::string(step.substr(colon + 1)));
    if (verb == "tick" && number >= 0 && static_cast<std::size_t>(number) < view.nations.NationCount()) {
        view.nations.ToggleNation(static_cast<std::size_t>(number));
        return true;
    }
    if (verb == "all") {
        editor.cmdAllEEC_Click();
        return true;
    }
    if (verb == "eu" || verb == "free")
        return ApplyPreset(editor, verb == "eu" ? TickChoice::EuMembers : TickChoice::FreeMovement, number);
    if (verb == "patch") {
        editor.cmdPatch_Click();
        return !view.messages.empty() && view.messages.back().text == "File Patched Succesfully";
    }
    return false;
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc == 3 && std::string_view(argv[1]) == "--edition-0102")
        return testfiles::WriteFile(argv[2], testfiles::MakeEdition0102File()) ? 0 : 1;
    if (argc < 2) {
        std::fprintf(stderr, "usage: same-steps FILE STEP... | same-steps --edition-0102 FILE\n");
        return 2;
    }
    FakeView view;
    Editor editor(view);
    editor.Form_Load();
    editor.LoadFile(argv[1]);
    if (editor.State().strFileName.empty()) {
        std::fprintf(stderr, "same-steps: %s does not load\n", argv[1]);
        return 1;
    }
    for (int i = 2; i < argc; ++i) {
        if (!Play(editor, view, argv[i])) {
            std::fprintf(stderr, "same-steps: the step %s failed\n", argv[i]);
            return 1;
        }
    }
    return 0;
}
