#pragma once

#include "NationRows.h"

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>

// The keys typed in the nation list, for every window: the keys typed
// within a moment of each other make one name, spaces included ("south
// korea"), compared without letter case or accents ("sao" finds "São
// Tomé"); a space on its own ticks.
class TypeToFind {
public:
    using Clock = std::chrono::steady_clock;

    // `pause`: how long after a key the next one still adds to the name,
    // as the platform has it.
    explicit TypeToFind(Clock::duration pause)
        : pause_(pause)
    {
    }

    // One key's text, typed with the list on row `current`. A space on its
    // own ticks or unticks that row, and the list stays there; a space
    // while a name is being typed belongs to the name and ticks nothing.
    // The row the list is on after the key, or nothing when no name starts
    // with what has been typed (or Space has no row to tick): the
    // platform's beep.
    std::optional<std::size_t> Key(NationRows& rows, const std::string& key, std::optional<std::size_t> current,
                                   Clock::time_point now = Clock::now());
    // The row to go to for a key, which ticks nothing, or nothing when no
    // name starts with what has been typed.
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
