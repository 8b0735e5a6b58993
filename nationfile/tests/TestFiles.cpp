#include "TestFiles.h"

#include <QFile>

using namespace nationfile;

namespace testfiles {

QByteArray MakeRecord(const QByteArray& name, std::uint8_t member, std::uint32_t fill)
{
    QByteArray record(NATION_RECORD_SIZE, '\0');
    std::uint32_t state = fill * 2654435761u + 12345u;
    for (char& byte : record) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<char>(state >> 24);
    }
    QByteArray field = name.left(NAME_LENGTH);
    field.resize(NAME_LENGTH, '\0');
    record.replace(NAME_OFFSET, NAME_LENGTH, field);
    record[MEMBER_OFFSET] = static_cast<char>(member);
    return record;
}

QByteArray MakeNationFile(std::size_t count, std::uint32_t seed)
{
    QByteArray file;
    file.reserve(static_cast<qsizetype>(count * NATION_RECORD_SIZE));
    for (std::size_t i = 0; i < count; ++i)
        file += MakeRecord("Nation " + QByteArray::number(static_cast<qulonglong>(i)),
                           static_cast<std::uint8_t>(i), seed + static_cast<std::uint32_t>(i));
    return file;
}

std::vector<std::string> NamesOf(const std::vector<NationEntry>& entries)
{
    std::vector<std::string> names;
    names.reserve(entries.size());
    for (const NationEntry& entry : entries)
        names.push_back(entry.name);
    return names;
}

bool WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

QByteArray ReadFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

std::string Path(const QString& path)
{
    return QFile::encodeName(path).toStdString();
}

bool IsMemberOffset(qsizetype offset)
{
    return offset % static_cast<qsizetype>(NATION_RECORD_SIZE) == static_cast<qsizetype>(MEMBER_OFFSET);
}

} // namespace testfiles
