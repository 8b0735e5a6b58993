#pragma once
// What a web page does with the files the player gave it, where a browser
// lets it in only with the player's leave: the decisions, in standard C++
// over the browser's calls (OsFileWeb.cpp makes them in the page, a fake
// browser in the tests). A place is one file the player gave the page, by
// its folder's path ("/1"); its backup is kept in a folder the player
// chooses for it, once, which this browser remembers for the file.
#include <map>
#include <optional>
#include <string>

namespace nationfile {

// The names a message or a failure tells: "name", "backup", "folder",
// "detail"; "words" for a failure in the browser's own words.
using Names = std::map<std::string, std::string>;

// A failure the library words by its code (OsFileWeb.cpp); code "" for the
// browser's own words, in the name "words".
struct BrowserFailure {
    std::string code;
    Names names;
};
using BrowserOutcome = std::optional<BrowserFailure>;

enum class Leave { Granted, Prompt, Denied, NeedsClick };
// The file itself, or the folder for its backup the browser offers
// (remembered or just chosen) before it is the place's.
enum class LeaveFor { File, OfferedFolder };

class Browser {
public:
    virtual ~Browser() = default;
    // The leave the browser gives now, or, with `request`, after its prompt;
    // NeedsClick where it prompts only straight after a click.
    virtual BrowserOutcome GetLeave(const std::string& place, LeaveFor what, bool request, Leave& leave) = 0;
    // Whether the place's backup already has its folder.
    virtual bool HasBackupFolder(const std::string& place) = 0;
    // The folder remembered for the file, offered by its name; none: false.
    virtual bool OfferRememberedFolder(const std::string& place, std::string& folder) = 0;
    virtual bool OfferedFolderStillThere(const std::string& place) = 0;
    virtual void ForgetOfferedFolder(const std::string& place) = 0;
    virtual bool CanPickFolder() = 0;
    // The browser's folder dialog; `picked` false where the player closed it.
    virtual BrowserOutcome PickFolder(const std::string& place, bool& picked, std::string& folder) = 0;
    // The offered folder becomes the place's, and remembered with `remember`.
    virtual void TakeOfferedFolder(const std::string& place, bool remember) = 0;
    // A message, which Escape declines where `declinable` (false); the
    // line under the window while a browser's dialog is up; the status.
    virtual bool Say(const std::string& key, const Names& names, bool declinable) = 0;
    virtual void Note(const std::string& key, const Names& names) = 0;
    virtual void Status(const std::string& key, const Names& names) = 0;
};

// Leave to write the file behind `place`, whose name is `name`.
BrowserOutcome LeaveToWrite(Browser& browser, const std::string& place, const std::string& name);

// The folder the backup of the file `name` goes in: the one chosen for it
// before, in this browser, or one the player chooses now.
BrowserOutcome ChooseBackupFolder(Browser& browser, const std::string& place, const std::string& name);

} // namespace nationfile
