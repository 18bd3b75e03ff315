// The detail panel's texts for any 256 bytes: the input is the record, padded with zeros.
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    zemrik::MeasurementRecord r{};
    std::copy_n(data, std::min(size, r.size()), r.begin());
    zemrik::fuzz::CheckMeasurementTexts(r);
    return 0;
}
