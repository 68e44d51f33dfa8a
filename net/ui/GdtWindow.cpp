// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/ui/GdtWindow.h"

#include "interpret/Interpret.h"
#include "net/Orders.h"
#include "net/Send.h"
#include "net/ui/PickList.h"
#include "net/ui/ReportPdf.h"
#include "signal/FileIo.h"
#include "signal/Recording.h"

#include <QEvent>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <algorithm>
#include <ctime>

namespace velkard::net::ui {

namespace {

QString utf8(const std::string& s) {
    return QString::fromStdString(s);
}

} // namespace

Result<GdtRequest> findGdtRequest(const NetworkSettings& settings,
                                  const std::filesystem::path& file) {
    auto requests = readGdtRequests(settings.gdtFolder, settings.gdtOwnId);
    if (!requests)
        return Result<GdtRequest>::failure(requests);
    for (const auto& r : requests.value)
        if (r.file.filename() == file.filename())
            return Result<GdtRequest>::success(r);
    return Result<GdtRequest>::failure(ErrorCode::CannotOpen, "No 6302 request " +
                                                                  file.filename().string() +
                                                                  " in " + settings.gdtFolder);
}

Result<std::filesystem::path> answerGdtRequest(const cardfile::CardFile& cardFile,
                                               const NetworkSettings& settings,
                                               const GdtRequest& request,
                                               const cardfile::PatientRecord& patient,
                                               const cardfile::ArchiveEntry& entry, bool russian) {
    using R = Result<std::filesystem::path>;
    auto pdf = reportPdf(cardFile, patient, entry, russian);
    if (!pdf)
        return R::failure(pdf);
    const std::filesystem::path folder = settings.gdtFolder;
    const auto pdfPath = folder / (request.file.stem().string() + "-" + entry.date.substr(6, 4) +
                                   entry.date.substr(3, 2) + entry.date.substr(0, 2) + ".pdf");
    {
        signal::AtomicFileWriter out(pdfPath);
        Status s = out.open();
        if (s)
            s = out.write(pdf.value.data(), pdf.value.size());
        if (s)
            s = out.commit(true, pdf.value.size());
        if (!s)
            return R::failure(s);
    }
    signal::RecordingBuffer buffer;
    if (auto s =
            signal::loadRecording(cardFile.recordingPath(patient.id, entry.recordNumber()), buffer);
        !s)
        return R::failure(s);
    // The measurements of the first ten seconds, as the report shows them.
    const std::int64_t count =
        std::min<std::int64_t>(static_cast<std::int64_t>(buffer.records()), 8000);
    const auto leads = cardFile.readLeads(patient.id, entry.recordNumber());
    const auto it = interpret::interpretRecording(
        std::span<const std::uint8_t>(buffer.bytes.data(), buffer.bytes.size()), 0, count, {},
        leads && leads.value ? &*leads.value : nullptr);
    GdtResult r;
    r.receiverId = request.senderId;
    r.ownId = settings.gdtOwnId;
    r.version = request.version.empty() ? "02.10" : request.version;
    r.patientNumber = request.patientNumber;
    r.familyName = request.familyName;
    r.givenName = request.givenName;
    r.birthDate = request.birthDate;
    r.test = request.test;
    r.testDate = entry.date;
    r.testTime = entry.time;
    const auto& m = it.measurements;
    r.values = {{"HF", "Herzfrequenz", "/min", m.heartRateBpm},
                {"PQ", "PQ-Zeit", "ms", m.prMs},
                {"QRS", "QRS-Dauer", "ms", m.qrsMs},
                {"QT", "QT-Zeit", "ms", m.qtMs},
                {"QTC", "QTc (Bazett)", "ms", m.qtcBazettMs},
                {"PAX", "P-Achse", "Grad", m.pAxisDeg},
                {"QRSAX", "QRS-Achse", "Grad", m.qrsAxisDeg},
                {"TAX", "T-Achse", "Grad", m.tAxisDeg}};
    for (const auto& st : it.statements)
        r.statements.push_back(
            st.textIn(russian ? interpret::Language::Russian : interpret::Language::English));
    r.pdfPath = pdfPath.string();
    auto written = writeGdtResult(folder, r);
    if (!written)
        return written;
    std::error_code ec;
    std::filesystem::rename(request.file, request.file.string() + ".done", ec);
    if (ec)
        return R::failure(ErrorCode::CannotWrite,
                          "The result " + written.value.string() + " is written, but the request " +
                              request.file.string() + " cannot be renamed: " + ec.message());
    return written;
}

GdtWindow::GdtWindow(const velkard::ui::ViewState& state, velkard::ui::Seams seams,
                     std::filesystem::path workDir, QWidget* parent)
    : QDialog(parent), state_(state), seams_(seams), workDir_(std::move(workDir)) {
    setObjectName("GdtWindow");
    resize(820, 400);
    const PickListControls c = buildPickList(*this, "requestList", 6);
    requestList = c.list;
    statusLabel = c.status;
    refreshButton = c.refresh;
    takeButton = c.take;
    closeButton = c.close;

    connect(refreshButton, &QPushButton::clicked, this, &GdtWindow::query);
    connect(takeButton, &QPushButton::clicked, this, &GdtWindow::take);
    connect(closeButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(requestList, &QTreeWidget::itemDoubleClicked, this, [this] { take(); });
    applyLanguage(state_.interfaceLanguage());
}

QString GdtWindow::say(const char* source) const {
    return velkard::ui::translated<GdtWindow>(state_.interfaceLanguage(), source);
}

void GdtWindow::applyLanguage(velkard::ui::Language l) {
    const auto text = [l](const char* source) {
        return velkard::ui::translated<GdtWindow>(l, source);
    };
    setWindowTitle(text(QT_TR_NOOP("Запросы GDT")));
    requestList->setHeaderLabels({text(QT_TR_NOOP("Пациент")), text(QT_TR_NOOP("Дата рожд.")),
                                  text(QT_TR_NOOP("Пол")), text(QT_TR_NOOP("№ пациента GDT")),
                                  text(QT_TR_NOOP("Исследование")), text(QT_TR_NOOP("Файл"))});
    refreshButton->setText(text(QT_TR_NOOP("Обновить")));
    takeButton->setText(text(QT_TR_NOOP("Взять")));
    takeButton->setToolTip(
        text(QT_TR_NOOP("Найти или завести карту пациента по номеру GDT; результат следующей ЭКГ "
                        "будет записан в папку обмена")));
    closeButton->setText(text(QT_TR_NOOP("Закрыть")));
    // The columns after the name as wide as their headers in the language shown.
    for (int c = 1; c < requestList->columnCount(); ++c)
        requestList->setColumnWidth(c, requestList->header()->sectionSizeHint(c));
    fill();
}

void GdtWindow::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange)
        applyLanguage(velkard::ui::languageInUse());
    QDialog::changeEvent(event);
}

void GdtWindow::tell(const QString& text, const QString& caption) {
    statusLabel->setText(text);
    seams_.messages.show(text, caption, this);
}

void GdtWindow::query() {
    const velkard::ui::Language l = state_.interfaceLanguage();
    requests_.clear();
    fill();
    auto settings = loadSettings(workDir_);
    if (!settings) {
        tell(utf8(settings.message), velkard::ui::errorCaption(l));
        return;
    }
    if (settings.value.gdtFolder.empty()) {
        tell(say(QT_TR_NOOP("Папка обмена GDT не настроена: Настройка → Параметры → Сеть")),
             say(QT_TR_NOOP("Запросы GDT")));
        return;
    }
    auto found = readGdtRequests(settings.value.gdtFolder, settings.value.gdtOwnId);
    if (!found) {
        tell(say(QT_TR_NOOP("Папка обмена GDT не читается: %1\n"))
                     .arg(utf8(settings.value.gdtFolder)) +
                 utf8(found.message),
             velkard::ui::errorCaption(l));
        return;
    }
    requests_ = std::move(found.value);
    fill();
    if (requests_.empty()) {
        tell(say(QT_TR_NOOP("В папке обмена GDT %1 нет запросов для %2"))
                 .arg(utf8(settings.value.gdtFolder), utf8(settings.value.gdtOwnId)),
             say(QT_TR_NOOP("Запросы GDT")));
        return;
    }
    statusLabel->setText(say(QT_TR_NOOP("Запросов: %1")).arg(requests_.size()));
}

void GdtWindow::fill() {
    requestList->clear();
    for (std::size_t i = 0; i < requests_.size(); ++i) {
        const GdtRequest& q = requests_[i];
        const QString sex = q.sex == "M"   ? say(QT_TR_NOOP("муж"))
                            : q.sex == "F" ? say(QT_TR_NOOP("жен"))
                                           : QString();
        const QString name =
            (utf8(q.familyName) + QStringLiteral(" ") + utf8(q.givenName)).trimmed();
        auto* row = new QTreeWidgetItem({name, utf8(q.birthDate), sex, utf8(q.patientNumber),
                                         utf8(q.test), utf8(q.file.filename().string())});
        row->setData(0, Qt::UserRole, static_cast<int>(i));
        requestList->addTopLevelItem(row);
    }
    if (requestList->topLevelItemCount() > 0)
        requestList->setCurrentItem(requestList->topLevelItem(0));
}

void GdtWindow::take() {
    const velkard::ui::Language l = state_.interfaceLanguage();
    const auto selected = requestList->selectedItems();
    if (selected.isEmpty()) {
        seams_.messages.show(say(QT_TR_NOOP("Выберите запрос")), velkard::ui::attentionCaption(l),
                             this);
        return;
    }
    const int index = selected.front()->data(0, Qt::UserRole).toInt();
    if (index < 0 || static_cast<std::size_t>(index) >= requests_.size())
        return;
    const GdtRequest& request = requests_[static_cast<std::size_t>(index)];
    cardfile::CardFile cardFile(workDir_);
    auto patient = patientForOrder(cardFile, itemOfGdtRequest(request), state_.inRussian());
    Status kept = patient ? setPendingGdtRequest(cardFile, patient.value.patient.id, request.file,
                                                 std::time(nullptr))
                          : Status(patient);
    if (!kept) {
        seams_.messages.show(say(QT_TR_NOOP("Запрос не принят\n")) + utf8(kept.message),
                             velkard::ui::errorCaption(l), this);
        return;
    }
    taken_ = patient.value.patient;
    created_ = patient.value.created;
    accept();
}

void offerGdt(cardfile::ui::CardFileWindow& window, velkard::ui::Seams seams,
              const velkard::ui::ViewState& state, std::filesystem::path workDir) {
    window.setGdtAction([seams, &state, workDir](QWidget* owner) -> std::optional<std::string> {
        GdtWindow gdt(state, seams, workDir, owner);
        gdt.query();
        if (seams.dialogs.run(gdt) == QDialog::Accepted && gdt.taken())
            return gdt.taken()->id;
        return std::nullopt;
    });
}

} // namespace velkard::net::ui
