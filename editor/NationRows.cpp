#include "NationRows.h"

#include "Text.h"

void NationRows::ReplaceNations(std::vector<std::string> names, std::vector<std::uint8_t> memberBytes)
{
    memberBytes.resize(names.size(), nationfile::MEMBER_NO);
    names_ = std::move(names);
    inFile_ = std::move(memberBytes);
    ticks_ = TicksInFile();
    folded_.clear();
    if (observer_ != nullptr)
        observer_->NationsReplaced(names_.size());
}

void NationRows::SetNationTicked(std::size_t index, bool ticked)
{
    if (ticks_.at(index) == ticked)
        return;
    ticks_[index] = ticked;
    NotifyTicks(std::span<const std::size_t>(&index, 1));
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
    NotifyTicks(changed);
}

std::vector<bool> NationRows::TicksInFile() const
{
    std::vector<bool> ticks(inFile_.size());
    for (std::size_t i = 0; i < ticks.size(); ++i)
        ticks[i] = IsTickedInFile(i);
    return ticks;
}

void NationRows::NotifyTicks(std::span<const std::size_t> changed)
{
    if (observer_ != nullptr && !changed.empty())
        observer_->TicksChanged(changed);
}

void NationRows::MarkWritten(std::vector<std::uint8_t> memberBytes)
{
    memberBytes.resize(names_.size(), nationfile::MEMBER_NO);
    inFile_ = std::move(memberBytes);
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
    const std::string wanted = text::Folded(typed);
    // Nothing to compare (a sign that is no letter): nothing found, rather
    // than every name.
    if (wanted.empty() || names_.empty())
        return std::nullopt;
    if (folded_.empty()) {
        folded_.reserve(names_.size());
        for (const std::string& name : names_)
            folded_.push_back(text::Folded(name));
    }
    for (std::size_t step = 0; step < folded_.size(); ++step) {
        const std::size_t index = (from + step) % folded_.size();
        if (folded_[index].starts_with(wanted))
            return index;
    }
    return std::nullopt;
}
