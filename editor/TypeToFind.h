#pragma once

#include "NationRows.h"

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>

// Type-to-find in the nation list, for both windows: the keys typed within
// a moment of each other make one name, spaces included ("south korea"),
// compared without letter case or accents ("sao" finds "São Tomé").
class TypeToFind {
public:
    using Clock = std::chrono::steady_clock;

    // `pause`: how long after a key the next one still adds to the name,
    // as the platform has it.
    explicit TypeToFind(Clock::duration pause)
        : pause_(pause)
    {
    }

    // One key's text, typed with the list on row `current`: the row to go
    // to, or nothing when no name starts with what has been typed.
    std::optional<std::size_t> Type(const NationRows& rows, const std::string& key,
                                    std::optional<std::size_t> current, Clock::time_point now = Clock::now());
    // Whether a name is being typed: a space typed now belongs to it and
    // ticks nothing.
    bool Typing(Clock::time_point now = Clock::now()) const;

private:
    Clock::duration pause_;
    std::string typed_;
    Clock::time_point last_ {};
};
