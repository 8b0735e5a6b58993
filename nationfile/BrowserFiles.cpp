#include "BrowserFiles.h"

#include "GameFolder.h"
#include "NationFile.h"

namespace nationfile {
namespace {

BrowserFailure Failed(std::string code, Names names = {})
{
    return {std::move(code), std::move(names)};
}

// A browser's prompt opens only straight after a click, and each prompt
// uses that click up: after the file's own prompt, the message comes
// first, and its OK is the click the next prompt opens on. A remembered
// folder's prompt names a folder the player may not recall choosing, so
// its message always comes first. Escape on a message declines what the
// prompt would have asked.
BrowserOutcome Asked(Browser& browser, const std::string& place, LeaveFor what, const std::string& key,
                     const Names& names, Leave& leave)
{
    if (BrowserOutcome failed = browser.GetLeave(place, what, false, leave))
        return failed;
    if (leave != Leave::Prompt)
        return std::nullopt;
    if (what == LeaveFor::File) {
        if (BrowserOutcome failed = browser.GetLeave(place, what, true, leave))
            return failed;
        if (leave != Leave::NeedsClick)
            return std::nullopt;
    }
    if (!browser.Say(key, names, true)) {
        leave = Leave::Denied;
        return std::nullopt;
    }
    return browser.GetLeave(place, what, true, leave);
}

} // namespace

BrowserOutcome LeaveToWrite(Browser& browser, const std::string& place, const std::string& name)
{
    Leave leave = Leave::Denied;
    if (BrowserOutcome failed = Asked(browser, place, LeaveFor::File, "allowWrite", {{"name", name}}, leave)) {
        if (!failed->code.empty())
            return failed;
        return Failed("could-not-ask-to-write", {{"detail", failed->names["words"]}});
    }
    if (leave != Leave::Granted)
        return Failed("not-allowed-to-write");
    return std::nullopt;
}

// The browser's dialog shows no words of the page's: the message says
// first what the folder is for, and the line under the window while the
// dialog is up.
BrowserOutcome ChooseBackupFolder(Browser& browser, const std::string& place, const std::string& name)
{
    if (browser.HasBackupFolder(place))
        return std::nullopt;
    Names names{{"name", name}, {"backup", FileNameOf(BackupPathOf(name))}};
    std::string folder;
    Leave leave = Leave::Denied;
    if (browser.OfferRememberedFolder(place, folder)) {
        Names again = names;
        again["folder"] = folder;
        if (BrowserOutcome failed = Asked(browser, place, LeaveFor::OfferedFolder, "backupFolderAgain", again, leave))
            return failed;
        if (leave != Leave::Granted)
            return Failed("not-allowed-into-folder", {{"folder", folder}});
        // A folder chosen in an earlier visit may be gone since.
        if (browser.OfferedFolderStillThere(place)) {
            browser.TakeOfferedFolder(place, false);
            return std::nullopt;
        }
        browser.ForgetOfferedFolder(place);
    }
    if (!browser.CanPickFolder())
        return Failed("cannot-choose-folder");
    if (!browser.Say("chooseBackupFolder", names, true))
        return Failed("no-folder-chosen");
    bool picked = false;
    browser.Note("chooseBackupFolderNote", names);
    BrowserOutcome failed = browser.PickFolder(place, picked, folder);
    browser.Note("", {});
    if (failed)
        return failed;
    if (!picked)
        return Failed("no-folder-chosen");
    if ((failed = browser.GetLeave(place, LeaveFor::OfferedFolder, false, leave)))
        return failed;
    if (leave != Leave::Granted)
        return Failed("not-allowed-in-folder", {{"folder", folder}});
    browser.TakeOfferedFolder(place, true);
    return std::nullopt;
}

} // namespace nationfile
