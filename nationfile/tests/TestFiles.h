#pragma once

#include "NationFile.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <string>
#include <vector>

namespace testfiles {

// One record as the game stores it: `name` is the raw name field (padded
// with zeros, cut at NAME_LENGTH), `fill` seeds the bytes around it so that a
// write touching a wrong byte shows.
QByteArray MakeRecord(const QByteArray& name, std::uint8_t member, std::uint32_t fill = 0);

// `count` records with deterministic, varied bytes everywhere, names
// "Nation <i>", and membership bytes cycling through all 256 values.
QByteArray MakeNationFile(std::size_t count, std::uint32_t seed = 1);

// The names of entries, as a write expects them.
std::vector<std::string> NamesOf(const std::vector<nationfile::NationEntry>& entries);

bool WriteFile(const QString& path, const QByteArray& bytes);
QByteArray ReadFile(const QString& path);

std::string Path(const QString& path);

// Offsets where a write may legitimately differ from the original.
bool IsMemberOffset(qsizetype offset);

} // namespace testfiles
