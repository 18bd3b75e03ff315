#pragma once

#include <QDialog>
#include <memory>
#include <vector>

#include "common/Prompt.h"
#include "measurement/MeasurementRecord.h"
#include "report/ReportContent.h"

class QLineEdit;
class QPlainTextEdit;
class QPrinter;
class QPushButton;
class QRadioButton;

namespace zemrik {
class MeasurementDocument;
}

// "Отчет...": the fields of the report (object/site, cable, operator, a free note of at most
// 1000 characters, each kept in the settings for next time), which records (all, or the list's selected
// lines), and the buttons that save it as PDF, print it or show the print preview. The report
// itself is BuildReportContent's; ReportPainter paints it.
class ReportDialog : public QDialog {
    Q_OBJECT
public:
    // `list` must outlive the dialog; `selected` are the list's selected lines.
    ReportDialog(const zemrik::MeasurementList& list, const std::vector<int>& selected,
                 const zemrik::ReportSource& source, QWidget* parent = nullptr);
    ~ReportDialog() override;

    // The PDF's file dialog and the failure messages go to `prompt` (tests script them).
    void SetPrompt(zemrik::Prompt& prompt) { prompt_ = &prompt; }
    void SetStartFolder(const std::string& folder) { startFolder_ = folder; }

    // The report as the buttons make it now: the fields as typed, the records chosen, this
    // minute as its date.
    zemrik::ReportContent Content() const;
    // The lines the report covers.
    std::vector<int> ChosenLines() const;

    // Asks for a file and writes the PDF there; false when cancelled or failed (then said).
    bool SavePdf();
    void Print();
    void Preview();

    QLineEdit* SiteEdit() const { return siteEdit_; }
    QLineEdit* CableEdit() const { return cableEdit_; }
    QLineEdit* OperatorEdit() const { return operatorEdit_; }
    QPlainTextEdit* NoteEdit() const { return noteEdit_; }
    QRadioButton* AllButton() const { return allButton_; }
    QRadioButton* SelectedButton() const { return selectedButton_; }

    void done(int result) override;

private:
    void StoreFields() const;
    void PaintOn(QPrinter& printer);

    const zemrik::MeasurementList& list_;
    std::vector<int> selected_;
    zemrik::ReportSource source_;
    std::string startFolder_;
    std::unique_ptr<zemrik::Prompt> ownPrompt_;
    zemrik::Prompt* prompt_;

    QLineEdit* siteEdit_;
    QLineEdit* cableEdit_;
    QLineEdit* operatorEdit_;
    QPlainTextEdit* noteEdit_;
    QRadioButton* allButton_;
    QRadioButton* selectedButton_;
};

// What the main window calls for "Измерения" -> "Отчет...": the dialog for the document's
// records, modal to `parent`; `selectedLines` are the list's selected lines.
void ShowReportDialog(const zemrik::MeasurementDocument& document, const std::vector<int>& selectedLines,
                      QWidget* parent);

// What the main window calls for "Измерения" -> "Экспорт CSV...": the save dialog, then the file.
// Two or more selected lines export those lines; otherwise every record. The numbers take the
// decimal separator of the user's locale.
void ExportCsvFromWindow(const zemrik::MeasurementDocument& document, const std::vector<int>& selectedLines,
                         QWidget* parent);

// The report's date as the clock shows it now.
zemrik::ReportDateTime ReportNow();
