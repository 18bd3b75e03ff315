// zemrik-make-samples DIR: writes DIR/demo.zmk (records of every kind, with sections) and
// DIR/demo.cbl (a few cable types) through the core's writers. The output is the same on
// every run, so it can serve as a fixture.
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "cables/CableTable.h"
#include "cables/CableTableFile.h"
#include "common/CodePage.h"
#include "common/MessageTexts.h"
#include "common/NameField.h"
#include "measurement/MeasurementFile.h"
#include "measurement/MeasurementRecord.h"

namespace {

using namespace zemrik;

struct CableType {
    std::string_view name;  // UTF-8 here, stored in 1251
    std::uint8_t material;  // 0 copper, 1 aluminium
    float c;                // nF/km
    float r;                // ohm/km
    std::uint8_t d;         // 0.01 mm
};

constexpr CableType Tpp10x2{"ТПП 10x2", 0, 45.0f, 278.0f, 40};
constexpr CableType Tpp20x2{"ТПП 20x2", 0, 45.0f, 174.0f, 50};
constexpr CableType Tg50x2{"ТГ 50x2", 0, 50.0f, 95.0f, 70};
constexpr CableType Kspp1x4{"КСПП 1x4x0,9", 0, 24.5f, 28.5f, 90};
constexpr CableType Tppa10x2{"ТППа 10x2", 1, 46.0f, 455.0f, 50};

void CopyName(std::uint8_t* field, std::string_view utf8) {
    NameField padded = PadName(Utf8ToAnsi(utf8));
    std::copy(padded.begin(), padded.end(), field);
}

struct Section {
    const CableType* cable;
    float length;  // metres
};

struct SampleRecord {
    std::string_view name;
    int kind;
    int celsius;
    std::vector<std::pair<std::size_t, float>> values;  // record offset, value
    std::vector<Section> sections;
};

MeasurementRecord BuildRecord(const SampleRecord& sample) {
    MeasurementRecord r{};
    RenameRecord(r, Utf8ToAnsi(sample.name));
    r[rec::KindSections] = static_cast<std::uint8_t>(sample.kind | (sample.sections.size() << 4));
    r[rec::TempCode] = static_cast<std::uint8_t>(sample.celsius + 20);
    for (const auto& [offset, value] : sample.values) SetRecordFloat(r, offset, value);
    for (std::size_t i = 0; i < sample.sections.size(); ++i) {
        const Section& s = sample.sections[i];
        std::size_t base = SectionOffset(static_cast<int>(i));
        CopyName(&r[base + rec::SecName], s.cable->name);
        r[base + rec::SecMaterial] = s.cable->material;
        SetRecordFloat(r, base + rec::SecC, s.cable->c);
        SetRecordFloat(r, base + rec::SecR, s.cable->r);
        SetRecordFloat(r, base + rec::SecLength, s.length);
        r[base + rec::SecD] = s.cable->d;
    }
    return r;
}

std::vector<SampleRecord> DemoRecords() {
    return {
        {"КАБЕЛЬ 1", KindRs, 18, {{rec::Rs, 287.4f}}, {{&Tpp10x2, 1034.5f}}},
        {"КАБЕЛЬ 2", KindDR, 18, {{rec::dR, -1.37f}}, {{&Tpp10x2, 1034.5f}}},
        {"МАГИСТРАЛЬ 3", KindCx, 21, {{rec::Cxab, 356.8f}}, {{&Tpp20x2, 5280.0f}, {&Tg50x2, 2650.5f}}},
        {"ОБРЫВ ЛИНИИ",
         KindLx,
         7,
         {{rec::Rs, 1523.6f}, {rec::Lx, 2456.7f}},
         {{&Tpp20x2, 1200.0f}, {&Tg50x2, 800.0f}, {&Tppa10x2, 456.7f}}},
        {"ИЗОЛЯЦИЯ 5", KindRi, -5, {{rec::Riab, 1500.0f}}, {}},
        {"РАЗРЫВ ПАРЫ", KindCl, 23, {{rec::K, 0.4567f}, {rec::LxCl, 2345.6f}}, {{&Kspp1x4, 12345.6f}}},
        {"ПАРА 7 ABC",
         KindCR,
         25,
         {{rec::Cxab, 45.2f},
          {rec::Cxbc, 44.8f},
          {rec::Cxac, 46.1f},
          {rec::Riab, 25000000.0f},
          {rec::Ribc, 15000000.0f},
          {rec::Riac, 999.0f}},
         {{&Tpp10x2, 350.0f}, {&Tpp20x2, 620.0f}}},
        {"ПЕРЕГРУЗКА", KindRs, 30, {{rec::Rs, 10000.0f}}, {}},
    };
}

CableTable DemoCables() {
    CableTable table;
    for (const CableType* type : {&Tpp10x2, &Tpp20x2, &Tg50x2, &Kspp1x4, &Tppa10x2}) {
        CableRecord& r = table.records[table.count++];
        CopyName(&r[cab::Name], type->name);
        r[cab::Material] = type->material;
        SetCableC(r, type->c);
        SetCableR(r, type->r);
        r[cab::D] = type->d;
    }
    return table;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: zemrik-make-samples DIR\n", stderr);
        return 2;
    }
    const std::filesystem::path dir = argv[1];
    std::error_code error;
    std::filesystem::create_directories(dir, error);
    if (error) {
        std::fprintf(stderr, "zemrik-make-samples: cannot create %s: %s\n", argv[1], error.message().c_str());
        return 1;
    }

    auto list = std::make_unique<MeasurementList>();
    for (const SampleRecord& sample : DemoRecords()) list->slots[list->count++] = BuildRecord(sample);
    FileHeader header{};
    const std::string zmk = (dir / "demo.zmk").string();
    if (!WriteMeasurementFile(zmk, *list, header)) {
        std::fprintf(stderr, "%s\n", WriteErrorText(zmk).c_str());
        return 1;
    }

    const std::string cbl = (dir / "demo.cbl").string();
    if (!SaveTableFile(cbl, DemoCables())) {
        std::fprintf(stderr, "%s\n", WriteErrorText(cbl).c_str());
        return 1;
    }
    std::printf("%s\n%s\n", zmk.c_str(), cbl.c_str());
    return std::fflush(stdout) == 0 ? 0 : 1;
}
