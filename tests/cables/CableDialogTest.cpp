#include "cables/CableDialog.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "support/RecordBuilders.h"

namespace zemrik {
namespace {

using test::MakeCable;

TEST(CableTexts, EveryValueTextReadsBack) {
    // The grid's texts go back into the table: each must read to a value that shows the same.
    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (float v : {0.0f, 12.34f, -1.25f, 99999.94f, 99999.95f, 123456.0f, -7.5e9f, 3.4e38f, 1e-3f, nan,
                    std::numeric_limits<float>::infinity()}) {
        for (std::string_view sep : {",", "."}) {
            const CableRecord r = MakeCable("x", 0, v, v, 0);
            const std::string text = CableRText(r, sep);
            const auto back = ParseCableValue(text, sep);
            ASSERT_TRUE(back.has_value()) << text;
            EXPECT_EQ(CableRText(MakeCable("x", 0, 0, *back, 0), sep), text);
            EXPECT_EQ(std::isnan(*back), !std::isfinite(v)) << text;  // "НД" reads back as no data
        }
    }
    struct Case {
        const char* text;
        std::optional<float> value;
    };
    // clang-format off
    const Case cases[] = {{"1,2346E5", 123460.0f}, {" -1E-3 ", -0.001f}, {"1,5e+2", 150.0f}, {",5E1", 5.0f},
                          {"1E", {}}, {"E5", {}}, {"1,2,3E5", {}}, {"1 E5", {}}, {"1.5E2", {}}, {"1E39", {}},
                          {"1EE2", {}}, {"НДД", {}}};
    // clang-format on
    for (const auto& c : cases) EXPECT_EQ(ParseCableValue(c.text, ","), c.value) << c.text;
    EXPECT_EQ(ParseCableValueWide("1E39", ","), 1e39);  // a number, just not a float
}

TEST(CableDialog, CheckValues) {
    struct Case {
        const char *r, *c, *d, *sep;
        CableField field;
        CheckFault fault;
    };
    using F = CableField;
    using K = CheckFault;
    // clang-format off
    const Case cases[] = {
        {"0,1", "1", "0,02", ",", F::None, K::None},
        {"999,8", "999", "2,55", ",", F::None, K::None},
        {"999,9", "1", "1", ",", F::R, K::OutOfRange},      // its float lies above 999.9
        {"0,09", "1", "1", ",", F::R, K::OutOfRange},
        {"1,2346E5", "1", "1", ",", F::R, K::OutOfRange},
        {"1E39", "1", "1", ",", F::R, K::OutOfRange},       // too big for a float is still a number
        {"", "1", "1", ",", F::R, K::NotANumber},
        {"abc", "", "", ",", F::R, K::NotANumber},
        {"12.5", "1", "1", ",", F::R, K::NotANumber},       // a point on a comma locale
        {"НД", "1", "1", ",", F::R, K::NotANumber},
        {"1", "999,5", "1", ",", F::C, K::OutOfRange},
        {"1", "0,9", "1", ",", F::C, K::OutOfRange},
        {"1", "", "abc", ",", F::C, K::NotANumber},
        {"1", "1", "2,56", ",", F::D, K::OutOfRange},       // the d byte holds at most 2.55
        {"1", "1", "9,99", ",", F::D, K::OutOfRange},
        {"1", "1", "0,01", ",", F::D, K::OutOfRange},       // its float lies below 0.01
        {"1", "1", "0", ",", F::D, K::OutOfRange},
        {"1", "1", "2E-1", ",", F::D, K::NotANumber},
        {"1", "1", "abc", ",", F::D, K::NotANumber},
        {"999.8", "999", "0.02", ".", F::None, K::None},
        {"999.9", "1", "1", ".", F::R, K::OutOfRange},
        {"12,5", "1", "1", ".", F::R, K::NotANumber},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.r) + " | " + c.c + " | " + c.d);
        const CheckResult got = CheckValues(c.r, c.c, c.d, c.sep);
        EXPECT_EQ(got.field, c.field);
        EXPECT_EQ(got.fault, c.fault);
    }
    EXPECT_EQ(CheckValues("", "1", "1", ",").Message(), "Некорректные данные!");
    EXPECT_EQ(CheckValues("1", "1", "3", ",").Message(), "Значение вне диапазона!");
}

TEST(CableDialog, FillAndStore) {
    const CableDialogTexts empty = FillDialog(nullptr, ",");
    EXPECT_EQ(empty.name + empty.r + empty.c + empty.d, "");
    EXPECT_EQ(empty.material, 0);

    const CableRecord r = MakeCable("ТПП", 7, 45.6f, 278.0f, 40, 0xAB);
    const CableDialogTexts t = FillDialog(&r, ",");
    EXPECT_EQ(t.name, "ТПП");
    EXPECT_EQ(t.r, "278,0");
    EXPECT_EQ(t.c, "45");
    EXPECT_EQ(t.d, "0,40");
    EXPECT_EQ(t.material, 1);  // any byte but 0 opens as "Алюминий"

    EXPECT_EQ(DialogCText(-3.9f, ","), "-3");
    EXPECT_EQ(DialogCText(-0.5f, ","), "0");
    EXPECT_EQ(DialogCText(std::numeric_limits<float>::quiet_NaN(), ","), "НД");
    EXPECT_EQ(DialogCText(3.0e38f, ","), "300000000549775575777803994281145270272");

    CableRecord slot = r;
    ASSERT_TRUE(StoreDialog({"кабель длинный 1234", "12,34", "45", "0,53", 0}, ",", slot));
    EXPECT_EQ(CableNameText(slot), "кабель длинный");  // cut to 14
    EXPECT_EQ(slot[cab::Material], 0);
    EXPECT_EQ(CableR(slot), 12.34f);
    EXPECT_EQ(CableC(slot), 45.0f);
    EXPECT_EQ(slot[cab::D], 53);
    for (std::size_t at : {23u, 24u, 25u, 26u, 28u, 29u, 30u, 31u}) EXPECT_EQ(slot[at], 0xAB) << at;

    const CableRecord before = slot;
    EXPECT_FALSE(StoreDialog({"X", "1", "1", "3", 1}, ",", slot));
    EXPECT_EQ(slot, before);
}

TEST(CableDialog, NameKeyFilter) {
    const std::string thirteen(13, 'A');
    const std::string cyrillic13 = "ЖЖЖЖЖЖЖЖЖЖЖЖЖ";  // 26 bytes, 13 characters
    struct Case {
        std::string current;
        const char* typed;
        std::optional<std::string> result;
    };
    const Case cases[] = {
        {"", "a", "A"},
        {"", "я", "Я"},
        {"", "ё", "Ё"},
        {"", "ї", "Ї"},
        {"", "1", "1"},
        {"", " ", " "},
        {"", "€", "€"},
        {"", "中", {}},
        {"", "ß", {}},
        {thirteen, "b", "B"},
        {thirteen + "A", "b", {}},
        {thirteen + "A", "\b", "\b"},
        {cyrillic13, "д", "Д"},
        {cyrillic13 + "Ж", "1", {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FilterNameKey(c.current, c.typed), c.result) << c.current << c.typed;
    EXPECT_EQ(KeepCodePage1251("AБ中C😀"), "AБC");
}

}  // namespace
}  // namespace zemrik
