// SPDX-License-Identifier: GPL-3.0-or-later
// Opening and searching a large card file: 10 000 patients with 100 000 recordings between them
// (5 to 15 each), made once per run in a temporary folder. The goal: the card-file window opens
// on it, and narrows its list to what is typed, each within 100 ms.
//
// The card file is written with the card file's own coding (encodePatientRecord,
// encodeArchiveEntry, the file names of CardFile) in one pass per file: appending 10 000 records
// and 100 000 entries one call at a time re-reads the growing index each time. One recording is
// then filed through CardFile::fileRecording, so the writer itself has accepted the files.
// The recordings are 32 bytes each: their contents are never read by opening or searching, but
// their names fill DATA_BASE as a real card file's do.
//
// BM_ListPatients       the index read under the lock (CardFile::listPatients)
// BM_OpenFinder         listing plus the search keys (what the window builds before its rows)
// BM_Find/...           one search over the 10 000, and an ordering by a column
// BM_WindowOpen         the card-file window made, its 10 000 rows listed (offscreen)
// BM_WindowType/...     one keystroke typed into the window's search field, the list refilled
// BM_WindowSelect       choosing a patient: the record read, the archive listed
#include "cardfile/CardFile.h"
#include "cardfile/Search.h"
#include "cardfile/ui/CardFileWindow.h"
#include "ui/Messages.h"
#include "ui/ViewState.h"

#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QTreeWidget>
#include <benchmark/benchmark.h>

#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <string>
#include <vector>

using namespace velkard;
using namespace velkard::cardfile;
namespace fs = std::filesystem;

namespace {

constexpr int kPatients = 10000;
constexpr int kRecordings = 100000;

const std::array<const char*, 24> kSurnames = {
    "Иванов",   "Петров",  "Сидоров", "Смирнов",  "Кузнецов", "Попов",    "Васильев", "Соколов",
    "Михайлов", "Новиков", "Фёдоров", "Морозов",  "Волков",   "Алексеев", "Лебедев",  "Семёнов",
    "Егоров",   "Павлов",  "Козлов",  "Степанов", "Николаев", "Орлов",    "Королёв",  "Ёлкин"};
const std::array<const char*, 12> kMen = {"Александр", "Пётр",   "Иван",  "Сергей",
                                          "Артём",     "Фёдор",  "Олег",  "Николай",
                                          "Семён",     "Михаил", "Павел", "Юрий"};
const std::array<const char*, 12> kWomen = {"Анна",     "Мария", "Ольга",   "Елена",
                                            "Татьяна",  "Алёна", "Наталья", "Ирина",
                                            "Светлана", "Юлия",  "Дарья",   "Ксения"};
const std::array<const char*, 6> kLatin = {"Smith", "Müller", "Schmidt", "Brown", "Novak", "Weber"};

void writeFile(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        std::abort();
}

struct BigCardFile {
    fs::path work;
    std::vector<PatientRecord> patients;

    BigCardFile() {
        // VELKARD_BENCH_CARDFILE names a folder that keeps the card file for the next runs (made
        // there when it holds none), so a profile does not wait for 100 000 files each time.
        if (const char* kept = std::getenv("VELKARD_BENCH_CARDFILE"); kept && *kept) {
            work = kept;
            keep_ = true;
            if (fs::exists(CardFile(work).indexPath())) {
                patients = CardFile(work).listPatients().value;
                if (patients.size() != kPatients)
                    std::abort();
                return;
            }
            fs::create_directories(work);
        } else {
            std::string tmpl =
                (fs::temp_directory_path() / "velkard-bench-cardfile-XXXXXX").string();
            if (!mkdtemp(tmpl.data()))
                std::abort();
            work = tmpl;
        }
        const CardFile cf(work);
        if (!cf.openPatientIndex())
            std::abort();
        std::mt19937 rng(23);
        std::string index;
        index.reserve(std::size_t(kPatients) * kPatientRecordBytes);
        const std::string body(32, '\x11');
        int filed = 0;
        for (int i = 0; i < kPatients; ++i) {
            PatientRecord r;
            const bool woman = rng() % 2 == 0;
            if (rng() % 20 == 0) {
                r.name =
                    std::string(kLatin[rng() % kLatin.size()]) + " " + (woman ? "Anna" : "John");
            } else {
                r.name = kSurnames[rng() % kSurnames.size()];
                if (woman)
                    r.name += "а";
                r.name += " ";
                r.name += woman ? kWomen[rng() % kWomen.size()] : kMen[rng() % kMen.size()];
            }
            r.sex = woman ? "Жен" : "Муж";
            r.birthDate =
                formatDate(int(1 + rng() % 28), int(1 + rng() % 12), int(1930 + rng() % 80));
            r.birthplace = "г. Москва";
            r.address = "ул. Ленина, д. " + std::to_string(1 + rng() % 200);
            r.telephone = "+7 495 " + std::to_string(1000000 + rng() % 9000000);
            r.policy = std::to_string(1000000000 + rng() % 900000000) +
                       std::to_string(100000 + rng() % 900000);
            r.id = formatPatientId(0x4c000000 + i);
            const PatientBytes bytes = encodePatientRecord(r);
            index.append(bytes.begin(), bytes.end());
            patients.push_back(decodePatientRecord(bytes));

            // Pairs of patients hold 10 ± d recordings each, 100 000 in all.
            const int d = static_cast<int>(rng() % 6);
            const int count = (i % 2 == 0) ? 10 + d : 20 - lastCount_;
            lastCount_ = count;
            std::string archive;
            for (int n = 1; n <= count; ++n) {
                const bool rhythm = rng() % 25 == 0;
                auto entry = encodeArchiveEntry(
                    n, formatDate(int(1 + rng() % 28), int(1 + rng() % 12), int(2005 + rng() % 20)),
                    formatTime(int(rng() % 24), int(rng() % 60), int(rng() % 60)),
                    rhythm ? EntryDuration::rhythm(true)
                           : EntryDuration::ofSeconds(long(10 + rng() % 600)),
                    rhythm ? kKindRhythm : (rng() % 10 == 0 ? kKindA2 : kKindPlain));
                if (!entry)
                    std::abort();
                archive.append(entry.value.begin(), entry.value.end());
                writeFile(cf.recordingPath(r.id, n), body);
            }
            writeFile(cf.archivePath(r.id), archive);
            filed += count;
        }
        writeFile(cf.indexPath(), index);
        if (filed != kRecordings)
            std::abort();
        // The card file's own writer takes the generated files: one more recording filed.
        const std::vector<std::uint8_t> recording(64, 0x22);
        auto number = cf.fileRecording(patients.back().id, recording, "08.12.2026", "12:00:00",
                                       EntryDuration::ofSeconds(10), kKindPlain);
        if (!number)
            std::abort();
        auto listed = cf.listPatients();
        if (!listed || listed.value.size() != patients.size() || listed.value != patients)
            std::abort();
    }
    ~BigCardFile() {
        std::error_code ec;
        if (!keep_)
            fs::remove_all(work, ec);
    }

private:
    int lastCount_ = 0;
    bool keep_ = false;
};

BigCardFile& cardFile() {
    static BigCardFile big;
    return big;
}

class SilentMessages : public velkard::ui::Messages {
public:
    void show(const QString&, const QString&, QWidget*) override { std::abort(); }
    bool ask(const QString&, const QString&, QWidget*, bool) override { return false; }
};

class NoDialogs : public velkard::ui::DialogRunner {
public:
    int run(QDialog&) override { return QDialog::Rejected; }
};

void BM_ListPatients(benchmark::State& state) {
    const CardFile cf(cardFile().work);
    for (auto _ : state) {
        auto listed = cf.listPatients();
        benchmark::DoNotOptimize(listed.value.data());
    }
    state.counters["patients"] = kPatients;
}
BENCHMARK(BM_ListPatients)->Unit(benchmark::kMillisecond);

void BM_OpenFinder(benchmark::State& state) {
    const CardFile cf(cardFile().work);
    for (auto _ : state) {
        PatientFinder finder(cf.listPatients().value);
        benchmark::DoNotOptimize(finder.size());
    }
}
BENCHMARK(BM_OpenFinder)->Unit(benchmark::kMillisecond);

// The searches: a single letter (thousands of matches), a surname typed with "е" for "ё", a name
// with a year, a policy's first digits, an ID; then the whole list ordered by name and by birth
// date.
const std::array<const char*, 5> kQueries = {"и", "королев", "ёлкина 1960", "1234", "4c0026"};

void BM_Find(benchmark::State& state) {
    const PatientFinder finder(cardFile().patients);
    const char* query = kQueries[std::size_t(state.range(0))];
    std::size_t found = 0;
    for (auto _ : state) {
        auto rows = finder.find(query);
        found = rows.size();
        benchmark::DoNotOptimize(rows.data());
    }
    state.SetLabel(query);
    state.counters["found"] = double(found);
}
BENCHMARK(BM_Find)->DenseRange(0, int(kQueries.size()) - 1)->Unit(benchmark::kMicrosecond);

void BM_FindOrdered(benchmark::State& state) {
    const PatientFinder finder(cardFile().patients);
    const PatientOrder order{static_cast<PatientColumn>(state.range(0)), true};
    for (auto _ : state) {
        auto rows = finder.find("", order);
        benchmark::DoNotOptimize(rows.data());
    }
    state.SetLabel(state.range(0) == 0 ? "by name" : "by birth date");
}
BENCHMARK(BM_FindOrdered)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

void BM_WindowOpen(benchmark::State& state) {
    velkard::ui::ViewState view;
    SilentMessages messages;
    NoDialogs dialogs;
    velkard::ui::Seams seams{messages, dialogs};
    std::optional<velkard::cardfile::ui::CardFileWindow> window;
    for (auto _ : state) {
        state.PauseTiming(); // the previous window's destruction is not this one's opening
        window.reset();
        state.ResumeTiming();
        window.emplace(view, seams, cardFile().work);
    }
    if (window->patientList->topLevelItemCount() != kPatients)
        std::abort();
}
BENCHMARK(BM_WindowOpen)->Unit(benchmark::kMillisecond);

// One keystroke: the field holds all but the last character of the text, and the last one is
// typed. "и" refills the whole list from empty, "иван" narrows "ива", "" is the backspace that
// brings all 10 000 back.
const std::array<const char*, 4> kTyped = {"и", "иван", "королёва", ""};

void BM_WindowType(benchmark::State& state) {
    velkard::ui::ViewState view;
    SilentMessages messages;
    NoDialogs dialogs;
    velkard::ui::Seams seams{messages, dialogs};
    velkard::cardfile::ui::CardFileWindow window(view, seams, cardFile().work);
    const QString typed = QString::fromUtf8(kTyped[std::size_t(state.range(0))]);
    const QString before = typed.isEmpty() ? QStringLiteral("и") : typed.chopped(1);
    int rows = 0;
    for (auto _ : state) {
        state.PauseTiming();
        window.searchEdit->setText(before);
        state.ResumeTiming();
        window.searchEdit->setText(typed);
        rows = window.patientList->topLevelItemCount();
    }
    state.SetLabel(typed.isEmpty() ? "backspace to all" : typed.toStdString());
    state.counters["rows"] = rows;
}
BENCHMARK(BM_WindowType)->DenseRange(0, int(kTyped.size()) - 1)->Unit(benchmark::kMillisecond);

void BM_WindowSelect(benchmark::State& state) {
    velkard::ui::ViewState view;
    SilentMessages messages;
    NoDialogs dialogs;
    velkard::ui::Seams seams{messages, dialogs};
    velkard::cardfile::ui::CardFileWindow window(view, seams, cardFile().work);
    int row = 0;
    for (auto _ : state) {
        row = (row + 997) % kPatients;
        window.patientList->setCurrentItem(window.patientList->topLevelItem(row));
        benchmark::DoNotOptimize(window.archiveList->topLevelItemCount());
    }
}
BENCHMARK(BM_WindowSelect)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
