// The report dialog: remembered fields, the records chosen, and the PDF read back as text.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPrintPreviewWidget>
#include <QRadioButton>
#include <iterator>
#include <sstream>

#include "app/ReportDialog.h"
#include "gui/GuiTestSupport.h"
#include "support/RecordBuilders.h"
#include "support/RunProcess.h"
#include "support/ScriptedPrompt.h"

namespace {

using zemrik::test::RecordBuilder;

std::string Output(const std::vector<std::string>& args) {
    const zemrik::test::ProcessResult result = zemrik::test::RunProcess(args);
    EXPECT_TRUE(result.Exited(0)) << args[0] << ": " << result.err;
    return result.out;
}

class ReportDialogTest : public ::testing::Test {
protected:
    ReportDialogTest() {
        QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
        list_.count = 200;
        for (int i = 0; i < 200; ++i)
            list_.slots[static_cast<std::size_t>(i)] = RecordBuilder("ПАРА " + std::to_string(i + 1))
                                                           .Kind(0)
                                                           .Value(zemrik::rec::Rs, 10 + i)
                                                           .Temp(45);
        list_.slots[0] = RecordBuilder("МАГИСТРАЛЬ")
                             .Kind(6)
                             .Value(zemrik::rec::Cxab, 123.4f)
                             .Value(zemrik::rec::Cxac, 3500)
                             .Value(zemrik::rec::Riab, 1500)
                             .Value(zemrik::rec::Ribc, 25000000)
                             .Temp(43)
                             .Sections(1)
                             .Section(0, "ТПП 10x2", 1, 45.6f, 90, 500, 40);
    }
    ~ReportDialogTest() override { QLocale::setDefault(QLocale::c()); }

    std::string SavePdf(ReportDialog& dialog) {
        zemrik::test::ScriptedPrompt prompt;
        const std::string path = folder_.File("report.pdf");
        prompt.files = {path};
        dialog.SetPrompt(prompt);
        EXPECT_TRUE(dialog.SavePdf());
        EXPECT_TRUE(prompt.messages.empty());
        return path;
    }

    zemrik::MeasurementList list_;
    zemrik::test::TempFolder folder_;
    const zemrik::ReportSource source_{"линия.zmk", false, {}, "", "."};
};

TEST_F(ReportDialogTest, PdfHoldsThePanelTextsAndFieldsWithEmbeddedFonts) {
    {
        ReportDialog dialog(list_, {2, 0}, source_);
        EXPECT_TRUE(dialog.SelectedButton()->isChecked());  // several lines selected: those
        EXPECT_EQ(dialog.SelectedButton()->text(), QStringLiteral("В&ыделенные (2)"));
        dialog.SiteEdit()->setText(QStringLiteral("ПС-110 Северная"));
        dialog.OperatorEdit()->setText(QStringLiteral("Иванов И. И."));
        dialog.NoteEdit()->setPlainText(QStringLiteral("после ремонта"));
        const std::string pdf = SavePdf(dialog);
        const std::string text = Output({"/usr/bin/pdftotext", "-layout", pdf, "-"});
        for (const char* expected : {"Протокол измерений",
                                     "ПС-110 Северная",
                                     "Иванов И. И.",
                                     "после ремонта",
                                     "линия.zmk",
                                     "МАГИСТРАЛЬ",
                                     "Cx(AB): 123,4 нФ",
                                     "Cx(AC): > 3000 нФ",
                                     "Ri(AB): 1,5 MОм",
                                     "Ri(BC): > 20 ГОм",
                                     "23°С",
                                     "ПАРА 3",
                                     "Rs: 12,0 Ом",
                                     "Запись № 1: МАГИСТРАЛЬ",
                                     "ТПП 10x2",
                                     "45,6 нФ/км",
                                     "0,40 мм",
                                     "Алюминий",
                                     "500,0 м",
                                     "Стр. 1 из 1"})
            EXPECT_NE(text.find(expected), std::string::npos) << expected << "\n" << text;
        EXPECT_EQ(text.find("ПАРА 2"), std::string::npos);  // not selected
        // Every font is embedded: the "emb" column, fifth from the end, says yes on each font line.
        std::istringstream fonts(Output({"/usr/bin/pdffonts", pdf}));
        int embedded = 0;
        for (std::string line; std::getline(fonts, line);) {
            std::istringstream words(line);
            std::vector<std::string> w{std::istream_iterator<std::string>(words), {}};
            if (w.size() < 8 || w[0] == "name" || w[0].starts_with("---")) continue;
            EXPECT_EQ(w[w.size() - 5], "yes") << line;
            embedded += w[0].starts_with("DejaVuSans") ? 1 : 0;
        }
        EXPECT_EQ(embedded, 2);  // regular and bold
        dialog.reject();
    }
    // The fields come back, and one selected line (the list's cursor) means all records.
    ReportDialog dialog(list_, {5}, source_);
    EXPECT_EQ(dialog.SiteEdit()->text(), QStringLiteral("ПС-110 Северная"));
    EXPECT_EQ(dialog.NoteEdit()->toPlainText(), QStringLiteral("после ремонта"));
    EXPECT_TRUE(dialog.AllButton()->isChecked());
    dialog.NoteEdit()->setPlainText(QString(1200, QLatin1Char('x')));
    EXPECT_EQ(dialog.NoteEdit()->toPlainText().size(), 1000);
    const std::string text = Output({"/usr/bin/pdftotext", "-layout", SavePdf(dialog), "-"});
    const std::string pages = Output({"/usr/bin/pdfinfo", folder_.File("report.pdf")});
    const std::size_t at = pages.find("Pages:");
    ASSERT_NE(at, std::string::npos);
    const int count = std::stoi(pages.substr(at + 6));
    EXPECT_GE(count, 4);  // 200 rows do not fit on a few pages
    for (int p = 1; p <= count; ++p)
        EXPECT_NE(text.find("Стр. " + std::to_string(p) + " из " + std::to_string(count)), std::string::npos)
            << p;
    EXPECT_NE(text.find("ПАРА 200"), std::string::npos);
    EXPECT_NE(text.find("Измерения выполнил:"), std::string::npos);

    // The preview paints the same pages on the printer.
    WhenModal([&](QWidget* preview) {
        auto* widget = preview->findChild<QPrintPreviewWidget*>();
        ASSERT_NE(widget, nullptr);
        EXPECT_EQ(widget->pageCount(), count);
        preview->close();
    });
    dialog.Preview();
}

}  // namespace
