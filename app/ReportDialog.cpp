#include "app/ReportDialog.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QTextCursor>
#include <QVBoxLayout>
#include <memory>
#include <span>

#include "app/QtPrompt.h"
#include "app/ReportPainter.h"
#include "common/FileIO.h"
#include "common/MessageTexts.h"
#include "common/NameField.h"
#include "common/Paths.h"
#include "measurement/MeasurementDocument.h"
#include "report/CsvExport.h"

namespace {

// The remembered fields.
const QString SiteKey = QStringLiteral("Site");
const QString CableKey = QStringLiteral("Cable");
const QString OperatorKey = QStringLiteral("Operator");
const QString NoteKey = QStringLiteral("Note");
// A note this long fills a third of a page; the report never splits its fields block.
constexpr int NoteLimit = 1000;

// Beside the program's own settings, not in them: a settings file holding only these would
// read as damaged ("ComNumber" missing) at the next start if the program never got to close.
// On Linux ~/.config/Zemrik/Report.conf, on Windows the key Software\Zemrik\Report.
std::unique_ptr<QSettings> Store() {
    return std::make_unique<QSettings>(QStringLiteral("Zemrik"), QStringLiteral("Report"));
}

std::string Utf8(const QString& text) { return text.toUtf8().toStdString(); }

std::string DecimalSeparator() { return Utf8(QLocale().decimalPoint()); }

}  // namespace

zemrik::ReportDateTime ReportNow() {
    const QDateTime now = QDateTime::currentDateTime();
    return {now.date().year(), now.date().month(), now.date().day(), now.time().hour(), now.time().minute()};
}

ReportDialog::ReportDialog(const zemrik::MeasurementList& list, const std::vector<int>& selected,
                           const zemrik::ReportSource& source, QWidget* parent)
    : QDialog(parent),
      list_(list),
      selected_(zemrik::ReportLines(selected, list.count)),
      source_(source),
      ownPrompt_(std::make_unique<QtPrompt>(this, nullptr)),
      prompt_(ownPrompt_.get()) {
    setObjectName(QStringLiteral("ReportDialog"));
    setWindowTitle(QStringLiteral("Отчет"));

    const std::unique_ptr<QSettings> store = Store();
    auto lineEdit = [&](const QString& name, const QString& key) {
        auto* edit = new QLineEdit(store->value(key).toString(), this);
        edit->setObjectName(name);
        edit->setMaxLength(200);
        edit->setMinimumWidth(320);
        return edit;
    };
    siteEdit_ = lineEdit(QStringLiteral("SiteEdit"), SiteKey);
    cableEdit_ = lineEdit(QStringLiteral("CableEdit"), CableKey);
    operatorEdit_ = lineEdit(QStringLiteral("OperatorEdit"), OperatorKey);
    noteEdit_ = new QPlainTextEdit(store->value(NoteKey).toString(), this);
    noteEdit_->setObjectName(QStringLiteral("NoteEdit"));
    noteEdit_->setTabChangesFocus(true);
    noteEdit_->setFixedHeight(noteEdit_->fontMetrics().lineSpacing() * 4 + 12);
    connect(noteEdit_, &QPlainTextEdit::textChanged, this, [this] {
        if (noteEdit_->toPlainText().size() <= NoteLimit) return;
        noteEdit_->setPlainText(noteEdit_->toPlainText().left(NoteLimit));
        noteEdit_->moveCursor(QTextCursor::End);
    });

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("О&бъект:"), siteEdit_);
    form->addRow(QStringLiteral("&Кабель:"), cableEdit_);
    form->addRow(QStringLiteral("&Оператор:"), operatorEdit_);
    form->addRow(QStringLiteral("&Примечание:"), noteEdit_);

    auto* records = new QGroupBox(QStringLiteral("Записи"), this);
    allButton_ = new QRadioButton(QStringLiteral("&Все (%1)").arg(list.count), records);
    allButton_->setObjectName(QStringLiteral("AllButton"));
    selectedButton_ =
        new QRadioButton(QStringLiteral("В&ыделенные (%1)").arg(static_cast<int>(selected_.size())), records);
    selectedButton_->setObjectName(QStringLiteral("SelectedButton"));
    selectedButton_->setEnabled(!selected_.empty());
    // As DefaultReportLines: one highlighted line is only the list's cursor.
    (selected_.size() >= 2 ? selectedButton_ : allButton_)->setChecked(true);
    auto* recordsLayout = new QHBoxLayout(records);
    recordsLayout->addWidget(allButton_);
    recordsLayout->addWidget(selectedButton_);
    recordsLayout->addStretch();

    auto* buttons = new QDialogButtonBox(this);
    auto* pdf = buttons->addButton(QStringLiteral("Сохранить &PDF..."), QDialogButtonBox::ActionRole);
    pdf->setObjectName(QStringLiteral("PdfBtn"));
    auto* print = buttons->addButton(QStringLiteral("П&ечать..."), QDialogButtonBox::ActionRole);
    print->setObjectName(QStringLiteral("PrintBtn"));
    auto* preview = buttons->addButton(QStringLiteral("П&росмотр..."), QDialogButtonBox::ActionRole);
    preview->setObjectName(QStringLiteral("PreviewBtn"));
    auto* close = buttons->addButton(QDialogButtonBox::Close);
    close->setObjectName(QStringLiteral("CloseBtn"));
    connect(pdf, &QPushButton::clicked, this, [this] { SavePdf(); });
    connect(print, &QPushButton::clicked, this, [this] { Print(); });
    connect(preview, &QPushButton::clicked, this, [this] { Preview(); });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(records);
    layout->addWidget(buttons);
    pdf->setDefault(true);
}

ReportDialog::~ReportDialog() = default;

std::vector<int> ReportDialog::ChosenLines() const {
    if (selectedButton_->isChecked()) return selected_;
    std::vector<int> all;
    for (int i = 0; i < list_.count; ++i) all.push_back(i);
    return all;
}

zemrik::ReportContent ReportDialog::Content() const {
    zemrik::ReportFields fields{Utf8(siteEdit_->text().trimmed()), Utf8(cableEdit_->text().trimmed()),
                                Utf8(operatorEdit_->text().trimmed()),
                                Utf8(noteEdit_->toPlainText().trimmed())};
    zemrik::ReportSource source = source_;
    source.madeAt = ReportNow();
    source.version = Utf8(QCoreApplication::applicationVersion());
    source.decimalSeparator = DecimalSeparator();
    return zemrik::BuildReportContent(list_, ChosenLines(), fields, source);
}

void ReportDialog::StoreFields() const {
    const std::unique_ptr<QSettings> store = Store();
    store->setValue(SiteKey, siteEdit_->text());
    store->setValue(CableKey, cableEdit_->text());
    store->setValue(OperatorKey, operatorEdit_->text());
    store->setValue(NoteKey, noteEdit_->toPlainText());
}

void ReportDialog::done(int result) {
    StoreFields();
    QDialog::done(result);
}

bool ReportDialog::SavePdf() {
    StoreFields();
    zemrik::FileDialogRequest request;
    request.kind = zemrik::FileDialogRequest::Kind::Save;
    request.filter = "PDF (*.pdf)";
    request.defaultSuffix = "pdf";
    request.startFolder = startFolder_;
    request.confirmOverwrite = true;
    const std::optional<std::string> path = prompt_->ChooseFile(request);
    if (!path) return false;
    const QByteArray pdf = ReportPdf(Content());
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(pdf.constData());
    if (pdf.isEmpty() ||
        !zemrik::WriteFileAtomically(
            *path, std::span<const std::uint8_t>(bytes, static_cast<std::size_t>(pdf.size())))) {
        prompt_->Error(zemrik::WriteErrorText(*path), zemrik::WriteErrorCaption);
        return false;
    }
    return true;
}

void ReportDialog::PaintOn(QPrinter& printer) {
    if (PaintReport(printer, Content()) == 0) prompt_->Error("Не удалось напечатать отчет.", "Печать");
}

void ReportDialog::Print() {
    StoreFields();
    QPrinter printer(QPrinter::HighResolution);
    printer.setFullPage(true);
    printer.setDocName(QStringLiteral("Протокол измерений"));
    QPrintDialog dialog(&printer, this);
    if (dialog.exec() != QDialog::Accepted) return;
    PaintOn(printer);
}

void ReportDialog::Preview() {
    StoreFields();
    QPrinter printer(QPrinter::HighResolution);
    printer.setFullPage(true);
    QPrintPreviewDialog preview(&printer, this);
    preview.setWindowTitle(QStringLiteral("Просмотр отчета"));
    connect(&preview, &QPrintPreviewDialog::paintRequested, this, [this](QPrinter* p) { PaintOn(*p); });
    preview.exec();
}

void ShowReportDialog(const zemrik::MeasurementDocument& document, const std::vector<int>& selectedLines,
                      QWidget* parent) {
    zemrik::ReportSource source;
    source.fromInstrument = document.FromInstrument();
    source.fileName = zemrik::FileNamePart(document.FileName());
    ReportDialog dialog(document.List(), selectedLines, source, parent);
    dialog.SetStartFolder(document.SaveFolder());
    dialog.exec();
}

void ExportCsvFromWindow(const zemrik::MeasurementDocument& document, const std::vector<int>& selectedLines,
                         QWidget* parent) {
    QtPrompt prompt(parent, nullptr);
    zemrik::ExportCsv(document.List(), zemrik::DefaultReportLines(selectedLines, document.Count()),
                      DecimalSeparator(), prompt, document.SaveFolder());
}
