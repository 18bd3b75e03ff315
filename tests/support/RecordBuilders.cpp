#include "RecordBuilders.h"

#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

#include "common/CodePage.h"
#include "common/NameField.h"

namespace zemrik::test {
namespace {

void PutName(std::uint8_t* field, std::string_view nameUtf8) {
    const NameField name = PadName(Utf8ToAnsi(nameUtf8));
    std::copy(name.begin(), name.end(), field);
}

}  // namespace

RecordBuilder::RecordBuilder(std::string_view nameUtf8) { PutName(record_.data() + rec::Name, nameUtf8); }

RecordBuilder& RecordBuilder::Filler(std::uint32_t seed) {
    const MeasurementRecord kept = record_;
    FillBytes(record_.data(), record_.size(), seed);
    std::copy_n(kept.begin(), rec::KindSections + 1, record_.begin());
    return *this;
}

RecordBuilder& RecordBuilder::Section(int i, std::string_view nameUtf8, std::uint8_t material, float c,
                                      float r, float length, std::uint8_t d) {
    std::uint8_t* s = record_.data() + SectionOffset(i);
    PutName(s + rec::SecName, nameUtf8);
    s[rec::SecMaterial] = material;
    WriteFloatLE(s + rec::SecC, c);
    WriteFloatLE(s + rec::SecR, r);
    WriteFloatLE(s + rec::SecLength, length);
    s[rec::SecD] = d;
    return *this;
}

CableRecord MakeCable(std::string_view nameUtf8, std::uint8_t material, float c, float r, std::uint8_t d,
                      std::uint8_t reservedFill) {
    CableRecord cable{};
    cable.fill(reservedFill);
    PutName(cable.data() + cab::Name, nameUtf8);
    cable[cab::Material] = material;
    SetCableC(cable, c);
    SetCableR(cable, r);
    cable[cab::D] = d;
    return cable;
}

void FillBytes(std::uint8_t* bytes, std::size_t size, std::uint32_t seed) {
    std::mt19937 gen(seed);
    std::uniform_int_distribution<int> dist(1, 255);
    std::generate_n(bytes, size, [&] { return static_cast<std::uint8_t>(dist(gen)); });
}

TempFolder::TempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "zemrik-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempFolder::~TempFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteWholeFile(const std::string& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}

}  // namespace zemrik::test
