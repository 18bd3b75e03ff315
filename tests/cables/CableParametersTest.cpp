#include "cables/CableParameters.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "support/RecordBuilders.h"

namespace zemrik {
namespace {

using test::MakeCable;

// The grid's texts go back into the table: each must read to a value that shows the same.
TEST(CableTexts, EveryValueTextReadsBack) {
    for (float v : {0.0f, 12.34f, -1.25f, 99999.95f, -7.5e9f, 3.4e38f, 1e-3f, std::nanf(""),
                    std::numeric_limits<float>::infinity()}) {
        for (std::string_view sep : {",", "."}) {
            const std::string text = CableRText(MakeCable("x", 0, v, v, 0), sep);
            const auto back = ParseCableValue(text, sep);
            ASSERT_TRUE(back.has_value()) << text;
            EXPECT_EQ(CableRText(MakeCable("x", 0, 0, *back, 0), sep), text);
        }
    }
    for (const auto& [text, value] : {std::pair<const char*, std::optional<float>>{" -1E-3 ", -0.001f},
                                      {",5E1", 5.0f},
                                      {"1E", {}},
                                      {"1,2,3E5", {}},
                                      {"1.5E2", {}},
                                      {"1E39", {}}})
        EXPECT_EQ(ParseCableValue(text, ","), value) << text;
}

TEST(CableParameters, CheckValuesNamesTheFieldThatFails) {
    using F = CableField;
    using K = CheckFault;
    struct Case {
        const char *r, *c, *d;
        CableField field;
        CheckFault fault;
    };
    // clang-format off
    const Case cases[] = {
        {"0,1", "1", "0,02", F::None, K::None},      {"999,8", "999", "2,55", F::None, K::None},
        {"999,9", "1", "1", F::R, K::OutOfRange},    {"0,09", "1", "1", F::R, K::OutOfRange},
        {"1E39", "1", "1", F::R, K::OutOfRange},     {"", "1", "1", F::R, K::NotANumber},
        {"abc", "", "", F::R, K::NotANumber},        {"12.5", "1", "1", F::R, K::NotANumber},
        {"1", "999,5", "1", F::C, K::OutOfRange},    {"1", "", "abc", F::C, K::NotANumber},
        {"1", "1", "2,56", F::D, K::OutOfRange},     {"1", "1", "0,01", F::D, K::OutOfRange},
        {"1", "1", "abc", F::D, K::NotANumber},
    };
    // clang-format on
    for (const auto& c : cases) {
        const CheckResult got = CheckValues(c.r, c.c, c.d, ",");
        EXPECT_EQ(std::pair(got.field, got.fault), std::pair(c.field, c.fault))
            << c.r << '|' << c.c << '|' << c.d;
    }
    EXPECT_EQ(CheckValues("999.8", "999", "0.02", ".").field, CableField::None);
    EXPECT_EQ(CheckValues("999.9", "1", "1", ".").fault, CheckFault::OutOfRange);
    EXPECT_EQ(CheckValues("12,5", "1", "1", ".").fault, CheckFault::NotANumber);
    EXPECT_EQ(CheckValues("", "1", "1", ",").Message(), "Некорректные данные!");
    EXPECT_EQ(CheckValues("1", "1", "3", ",").Message(), "Значение вне диапазона!");
}

TEST(CableParameters, FillAndStoreKeepTheReservedBytes) {
    const CableRecord r = MakeCable("ТПП", 7, 45.6f, 278.0f, 40, 0xAB);
    const CableDialogTexts t = FillDialog(&r, ",");
    EXPECT_EQ(t.name + "|" + t.r + "|" + t.c + "|" + t.d, "ТПП|278,0|45|0,40");
    EXPECT_EQ(t.material, 1);  // any byte but 0 opens as "Алюминий"
    EXPECT_EQ(DialogCText(std::nanf(""), ","), "НД");

    CableRecord slot = r;
    ASSERT_TRUE(StoreDialog({"кабель длинный 1234", "12,34", "45", "0,53", 0}, ",", slot));
    EXPECT_EQ(CableNameText(slot), "кабель длинный");  // cut to 14
    EXPECT_EQ(slot[cab::Material], 0);
    EXPECT_EQ(slot[cab::D], 53);
    for (std::size_t at : {23u, 24u, 25u, 26u, 28u, 29u, 30u, 31u}) EXPECT_EQ(slot[at], 0xAB) << at;
    ASSERT_TRUE(StoreDialog({"X", "1", "1", "1", 1}, ",", slot));
    EXPECT_EQ(slot[cab::Material], 1);
    const CableRecord before = slot;
    EXPECT_FALSE(StoreDialog({"X", "1", "1", "3", 1}, ",", slot));
    EXPECT_EQ(slot, before);
    const CableDialogTexts fresh = FillDialog(nullptr, ",");
    EXPECT_EQ(fresh.name + fresh.r + fresh.c + fresh.d + std::to_string(fresh.material), "0");
}

TEST(CableParameters, NameKeyFilter) {
    const std::string full = std::string(13, 'A') + "Ж";
    struct Case {
        std::string current;
        const char* typed;
        std::optional<std::string> result;
    };
    const Case cases[] = {{"", "я", "Я"},  {"", "а", "А"},    {"", "b", "B"},
                          {"", "€", "€"},  {"", "中", {}},    {"ЖЖЖЖЖЖЖЖЖЖЖЖЖ", "д", "Д"},
                          {full, "b", {}}, {full, "\b", "\b"}};
    for (const auto& c : cases)
        EXPECT_EQ(FilterNameKey(c.current, c.typed), c.result) << c.current << c.typed;
    EXPECT_EQ(KeepCodePage1251("AБ中C😀"), "AБC");
}

}  // namespace
}  // namespace zemrik
