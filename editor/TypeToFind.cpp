#include "TypeToFind.h"

bool TypeToFind::Typing(Clock::time_point now) const
{
    return !typed_.empty() && now - last_ <= pause_;
}

std::optional<std::size_t> TypeToFind::Key(NationRows& rows, const std::string& key,
                                           std::optional<std::size_t> current, Clock::time_point now)
{
    if (key != " " || Typing(now))
        return Type(rows, key, current, now);
    if (!current || *current >= rows.NationCount())
        return std::nullopt;
    rows.ToggleNation(*current);
    return current;
}

std::optional<std::size_t> TypeToFind::Type(const NationRows& rows, const std::string& key,
                                            std::optional<std::size_t> current, Clock::time_point now)
{
    if (!Typing(now))
        typed_.clear();
    typed_ += key;
    last_ = now;
    // A first key goes on from the row after the current one, and so does
    // the same key typed again ("sss"): typing a letter again and again walks
    // through the nations it begins. Further keys keep the current row while
    // its name still starts with what has been typed.
    std::string wanted = typed_;
    bool walk = typed_.size() == key.size();
    if (!walk && !key.empty() && typed_.size() % key.size() == 0) {
        walk = true;
        for (std::size_t at = 0; walk && at < typed_.size(); at += key.size())
            walk = typed_.compare(at, key.size(), key) == 0;
        if (walk)
            wanted = key;
    }
    const std::size_t from = !current ? 0 : *current + (walk ? 1 : 0);
    return rows.FindNation(wanted, rows.NationCount() == 0 ? 0 : from % rows.NationCount());
}
