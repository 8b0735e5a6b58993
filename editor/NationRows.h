#pragma once

#include "NationFile.h"

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <vector>

// The nation list's rows, in file order: each nation's name, its tick, and
// its tick as the file held it at the last load or patch. Between a load and
// a patch these are the only store of the memberships; each window's list
// control shows them and changes them through this class alone.
class NationRows {
public:
    // A window's list control, told of each change so that it shows it.
    class Observer {
    public:
        virtual ~Observer() = default;
        virtual void NationsCleared() = 0;
        // One row more at the end. A control may show added rows in one
        // batch later: a load adds up to 32,767 of them one by one.
        virtual void NationAdded() = 0;
        // The ticks of these rows changed (in ascending order), in one pass.
        virtual void TicksChanged(std::span<const std::size_t> rows) = 0;
        // The file's ticks changed: any row's "changed" mark may differ.
        virtual void TicksInFileChanged() = 0;
    };

    void SetObserver(Observer* observer) { observer_ = observer; }

    void ClearNations();
    // A nation read from the file, ticked as the file has it.
    void AddNation(std::string name, bool member);
    // Room for `count` nations: a load adds them one by one.
    void ReserveNations(std::size_t count);
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
    bool IsChanged(std::size_t index) const { return ticks_.at(index) != inFile_.at(index); }
    bool IsTickedInFile(std::size_t index) const { return inFile_.at(index); }
    void TicksAsInFile() { SetNationTicks(inFile_); }
    // A patch wrote these ticks: they are the file's now.
    void MarkTicksInFile(const std::vector<bool>& written);

    // Whether `entries` (another file's, such as the backup's) hold the
    // listed nations in the same order.
    bool SameNations(std::span<const nationfile::NationEntry> entries) const;
    // The first row at or after `from`, going round past the end, whose
    // name starts with `typed`, both folded (letter case and accents
    // ignored, as the presets compare names).
    std::optional<std::size_t> FindNation(const std::string& typed, std::size_t from) const;

private:
    void Announce(std::span<const std::size_t> changed);

    std::vector<std::string> names_;
    std::vector<bool> ticks_;
    std::vector<bool> inFile_;
    // The folded names, made at the first search after a load.
    mutable std::vector<std::string> folded_;
    Observer* observer_ = nullptr;
};
