#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "cables/CableTable.h"
#include "common/ByteAccess.h"
#include "measurement/MeasurementRecord.h"

// Test records (names in UTF-8, stored in 1251) and files.
namespace zemrik::test {

// A record of zeros; Filler puts noise after byte 14; later calls overwrite what they name.
class RecordBuilder {
public:
    explicit RecordBuilder(std::string_view nameUtf8 = "Test");
    RecordBuilder& Filler(std::uint32_t seed);
    RecordBuilder& Kind(int kind) { return Byte14(0xF0, kind & 0x0F); }
    RecordBuilder& Sections(int storedCount) { return Byte14(0x0F, (storedCount & 0x0F) << 4); }
    RecordBuilder& Value(std::size_t offset, float value) {
        return WriteFloatLE(record_.data() + offset, value), *this;
    }
    RecordBuilder& Temp(std::uint8_t tempCode) { return record_[rec::TempCode] = tempCode, *this; }
    RecordBuilder& Section(int i, std::string_view nameUtf8, std::uint8_t material, float c, float r,
                           float length, std::uint8_t d);
    MeasurementRecord Build() const { return record_; }
    operator MeasurementRecord() const { return record_; }

private:
    RecordBuilder& Byte14(int keep, int set) {
        std::uint8_t& b = record_[rec::KindSections];
        return b = static_cast<std::uint8_t>((b & keep) | set), *this;
    }
    MeasurementRecord record_{};
};

// A cable record; the reserved bytes 23..26 and 28..31 take `reservedFill`.
CableRecord MakeCable(std::string_view nameUtf8, std::uint8_t material, float c, float r, std::uint8_t d,
                      std::uint8_t reservedFill = 0);

// Seeded noise, never 0 (a lost byte cannot hide as a zero).
void FillBytes(std::uint8_t* bytes, std::size_t size, std::uint32_t seed);

// A fresh temporary folder, removed with its contents.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::string& Path() const { return path_; }
    std::string File(std::string_view name) const { return path_ + "/" + std::string(name); }

private:
    std::string path_;
};

std::string ReadWholeFile(const std::string& path);
void WriteWholeFile(const std::string& path, std::string_view bytes);

}  // namespace zemrik::test
