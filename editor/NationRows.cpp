#include "NationRows.h"

#include "EuMembers.h"

void NationRows::ClearNations()
{
    names_.clear();
    ticks_.clear();
    inFile_.clear();
    folded_.clear();
    if (observer_ != nullptr)
        observer_->NationsCleared();
}

void NationRows::ReserveNations(std::size_t count)
{
    names_.reserve(count);
    ticks_.reserve(count);
    inFile_.reserve(count);
}

void NationRows::AddNation(std::string name, bool member)
{
    names_.push_back(std::move(name));
    ticks_.push_back(member);
    inFile_.push_back(member);
    folded_.clear();
    if (observer_ != nullptr)
        observer_->NationAdded();
}

void NationRows::SetNationTicked(std::size_t index, bool ticked)
{
    if (ticks_.at(index) == ticked)
        return;
    ticks_[index] = ticked;
    Announce(std::span<const std::size_t>(&index, 1));
}

void NationRows::SetNationTicks(const std::vector<bool>& ticks)
{
    std::vector<std::size_t> changed;
    for (std::size_t i = 0; i < ticks.size() && i < ticks_.size(); ++i) {
        if (ticks_[i] == ticks[i])
            continue;
        ticks_[i] = ticks[i];
        changed.push_back(i);
    }
    Announce(changed);
}

void NationRows::Announce(std::span<const std::size_t> changed)
{
    if (observer_ != nullptr && !changed.empty())
        observer_->TicksChanged(changed);
}

void NationRows::MarkTicksInFile(const std::vector<bool>& written)
{
    for (std::size_t i = 0; i < written.size() && i < inFile_.size(); ++i)
        inFile_[i] = written[i];
    if (observer_ != nullptr)
        observer_->TicksInFileChanged();
}

bool NationRows::SameNations(std::span<const nationfile::NationEntry> entries) const
{
    if (entries.size() != names_.size())
        return false;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (entries[i].name != names_[i])
            return false;
    }
    return true;
}

std::optional<std::size_t> NationRows::FindNation(const std::string& typed, std::size_t from) const
{
    const std::string wanted = eu::Folded(typed);
    // Nothing to compare (a sign that is no letter): nothing found, rather
    // than every name.
    if (wanted.empty() || names_.empty())
        return std::nullopt;
    if (folded_.size() != names_.size()) {
        folded_.clear();
        folded_.reserve(names_.size());
        for (const std::string& name : names_)
            folded_.push_back(eu::Folded(name));
    }
    for (std::size_t step = 0; step < folded_.size(); ++step) {
        const std::size_t index = (from + step) % folded_.size();
        if (folded_[index].starts_with(wanted))
            return index;
    }
    return std::nullopt;
}
