#pragma once

#include "NationFile.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

// The nation list's rows, in file order: each nation's name, its tick, and
// the membership byte the file holds for it as last loaded or patched. Between
// a load and a patch these are the only store of the memberships; each
// window's list control shows them and changes them through this class alone.
class NationRows {
public:
    // A window's list control, told of each change so that it shows it.
    class Observer {
    public:
        virtual ~Observer() = default;
        // Every row is new: a load put `count` nations in place of the last
        // file's, all at once.
        virtual void NationsReplaced(std::size_t count) = 0;
        // The ticks of these rows changed (in ascending order), in one pass.
        virtual void TicksChanged(std::span<const std::size_t> rows) = 0;
        // The file's membership bytes changed: any row's "changed" mark may
        // differ.
        virtual void TicksInFileChanged() = 0;
    };

    void SetObserver(Observer* observer) { observer_ = observer; }

    // The nations of a file just read, in file order, with the membership
    // byte of each; each is ticked as the file has it (the byte 2).
    void ReplaceNations(std::vector<std::string> names, std::vector<std::uint8_t> memberBytes);
    std::size_t NationCount() const { return names_.size(); }
    const std::string& Name(std::size_t index) const { return names_.at(index); }
    std::span<const std::string> Names() const { return names_; }

    bool IsNationTicked(std::size_t index) const { return ticks_.at(index); }
    void SetNationTicked(std::size_t index, bool ticked);
    void ToggleNation(std::size_t index) { SetNationTicked(index, !IsNationTicked(index)); }
    // The first ticks.size() ticks in one pass, shown at once: ticking
    // 32,767 rows one by one would repaint the list as often.
    void SetNationTicks(const std::vector<bool>& ticks);
    // The ticks as they are now, for a patch to write.
    std::vector<bool> Ticks() const { return ticks_; }

    // Whether a row's tick differs from the file's: such a row stands out.
    bool IsChanged(std::size_t index) const { return ticks_.at(index) != IsTickedInFile(index); }
    bool IsTickedInFile(std::size_t index) const { return inFile_.at(index) == nationfile::MEMBER_YES; }
    void TicksAsInFile() { SetNationTicks(TicksInFile()); }
    // The membership bytes the file holds as last loaded or patched: a patch
    // writes nothing unless the file still holds them.
    std::span<const std::uint8_t> MemberBytesInFile() const { return inFile_; }
    // A patch wrote these membership bytes: they are the file's now.
    void MarkWritten(std::vector<std::uint8_t> memberBytes);

    // Whether `entries` (another file's, such as the backup's) hold the
    // listed nations in the same order.
    bool SameNations(std::span<const nationfile::NationEntry> entries) const;
    // The first row at or after `from`, going round past the end, whose
    // name starts with `typed`, both folded (letter case and accents
    // ignored, as the presets compare names).
    std::optional<std::size_t> FindNation(const std::string& typed, std::size_t from) const;

private:
    void NotifyTicks(std::span<const std::size_t> changed);
    std::vector<bool> TicksInFile() const;

    std::vector<std::string> names_;
    std::vector<bool> ticks_;
    std::vector<std::uint8_t> inFile_;
    // The folded names, made at the first search after a load.
    mutable std::vector<std::string> folded_;
    Observer* observer_ = nullptr;
};
