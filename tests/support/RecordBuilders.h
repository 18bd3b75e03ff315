#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "cables/CableTable.h"
#include "measurement/MeasurementRecord.h"

// Builders for test records and a scratch folder for file tests. Names are given in UTF-8 and
// stored in code page 1251, as the program holds them.
namespace zemrik::test {

// A record of the given kind and section count; every other byte is 0 unless filled.
class RecordBuilder {
public:
    explicit RecordBuilder(std::string_view nameUtf8 = "Test");

    // Fills every byte after the name and byte 14 with pseudo-random non-zero bytes from `seed`;
    // later calls overwrite only what they name, so the filler shows which bytes must travel
    // unchanged.
    RecordBuilder& Filler(std::uint32_t seed);
    RecordBuilder& Kind(int kindCode);
    RecordBuilder& Sections(int storedCount);
    RecordBuilder& Value(std::size_t offset, float value);
    RecordBuilder& Temp(std::uint8_t tempCode);
    RecordBuilder& Section(int i, std::string_view nameUtf8, std::uint8_t material, float c, float r,
                           float length, std::uint8_t d);

    MeasurementRecord Build() const { return record_; }
    operator MeasurementRecord() const { return record_; }

private:
    MeasurementRecord record_{};
};

// A cable record; the reserved bytes 23..26 and 28..31 take `reservedFill`.
CableRecord MakeCable(std::string_view nameUtf8, std::uint8_t material, float c, float r, std::uint8_t d,
                      std::uint8_t reservedFill = 0);

// Bytes from a fixed-seed generator, never 0 (so a lost byte cannot hide as a zero).
void FillBytes(std::uint8_t* bytes, std::size_t size, std::uint32_t seed);

// A fresh folder under the system's temporary folder, removed with everything in it at the end.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& Path() const { return path_; }
    std::string File(std::string_view name) const { return path_ + "/" + std::string(name); }
    // Names of the entries in the folder, sorted.
    std::vector<std::string> Entries() const;

private:
    std::string path_;
};

std::string ReadWholeFile(const std::string& path);
void WriteWholeFile(const std::string& path, std::string_view bytes);

}  // namespace zemrik::test
