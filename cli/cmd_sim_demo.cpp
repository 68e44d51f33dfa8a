// SPDX-License-Identifier: GPL-3.0-or-later
// make-demo: a ready working folder for trying the program on the simulated instrument — settings
// that select it, a card file with sample patients and recordings of every kind, a file to import
// and a memory-card folder.
#include "cardfile/CardFile.h"
#include "cli/Cli.h"
#include "filing/Store.h"
#include "import/Decompress.h"
#include "signal/FileIo.h"
#include "signal/Settings.h"
#include "sim/DeviceFiles.h"

#include <filesystem>
#include <iostream>
#include <random>

namespace velkard::cli {
namespace {

namespace fs = std::filesystem;

struct DemoPatient {
    const char* name;
    const char* sex;
    const char* birth;
    const char* birthplace;
    const char* address;
    const char* phone;
    const char* policy;
};

constexpr DemoPatient kPatients[] = {
    {"Иванов Иван Иванович", "Муж", "12.04.1961", "Москва", "ул. Ленина, 1", "123-45-67",
     "7700 0011 2233"},
    {"Петрова Мария Сергеевна", "Жен", "03.09.1975", "Казань", "пр. Мира, 15", "765-43-21",
     "1600 4455 6677"},
    {"Smith John", "men", "21.11.1988", "London", "221b Baker Street", "555-0100", "GB 998877"},
};

// One source file to file into a patient's card: its name decides the kind.
struct DemoRecording {
    int patient;
    std::string name;
    std::vector<std::uint8_t> bytes;
};

int runMakeDemo(const std::vector<std::string>& argv);

const Command kMakeDemo{
    "make-demo", "create a demo working folder for the simulated instrument",
    "Usage: velkard-cli make-demo DIR [--port P]\n\n"
    "Creates DIR as a working folder for velkard: the settings file selects the simulated\n"
    "instrument (port SIM; Russian interface and the default display choices otherwise), the\n"
    "card file holds three patients with plain, A2 and rhythmogram recordings, DIR/import holds\n"
    "a compressed .ecx file and a device ECG file to import, and DIR/card a memory-card folder.\n"
    "A folder that already holds a settings file or a card file is left alone.\n\n"
    "  --port P    port name written to the settings (default SIM; a tty path such as the one\n"
    "              velkard-instrument prints, or COM4 for the first FTDI device over USB)\n",
    runMakeDemo};

int runMakeDemo(const std::vector<std::string>& argv) {
    Args args(argv, {"port"}, {});
    if (!args.ok())
        return usage(kMakeDemo, args.error());
    if (args.positional().size() != 1)
        return usage(kMakeDemo, "expected one folder");
    const fs::path dir = args.positional()[0];
    std::error_code ec;
    if (fs::exists(dir / signal::kSettingsFileName, ec) || fs::exists(dir / "DATA_BASE", ec))
        return fail(std::string("'")
                        .append(dir.string())
                        .append("' already holds a working folder; nothing was changed"));
    fs::create_directories(dir / "temp", ec);
    if (ec)
        return fail("cannot create '" + dir.string() + "': " + ec.message());

    signal::Settings settings = signal::defaultSettings();
    settings.portName = args.valueOr("port", "SIM");
    if (auto s = signal::saveSettings(dir, settings); !s)
        return fail(s.message);

    cardfile::CardFile cardFile(dir);
    std::vector<std::string> ids;
    for (const auto& p : kPatients) {
        cardfile::NewPatientInput input{p.name,    p.sex,   p.birth, p.birthplace,
                                        p.address, p.phone, p.policy};
        auto created = cardfile::createNewPatient(cardFile, input, true);
        if (!created)
            return fail(created.message);
        ids.push_back(created.value.id);
    }

    const sim::RecordedAt morning{24, 5, 14, 9, 30, 0};
    const sim::RecordedAt noon{24, 5, 20, 12, 5, 41};
    const sim::RecordedAt evening{24, 6, 2, 18, 47, 9};
    std::vector<DemoRecording> recordings;
    recordings.push_back({0, "ECG_0001.DAT", sim::makeDeviceEcg(40, 1, morning)});
    recordings.push_back({0, "A2_0002.DAT", sim::makeA2(30, 2, noon)});
    recordings.push_back({1, "VSR_0003.DAT", sim::makeRhythmogram(600, 3, morning)});
    recordings.push_back(
        {1, "ECG_0004.ecx", import::compressToEcx(sim::makeDeviceEcg(25, 4, evening, true))});
    recordings.push_back({2, "ECG_0005.DAT", sim::makeDeviceEcg(40, 5, evening)});

    // The sources are written to a private folder, filed, and removed again.
    const fs::path scratch =
        fs::temp_directory_path() / ("velkard-demo-" + std::to_string(std::random_device{}()));
    fs::create_directories(scratch, ec);
    if (ec)
        return fail("cannot create a temporary folder: " + ec.message());
    int status = kOk;
    for (const auto& r : recordings) {
        const fs::path source = scratch / r.name;
        if (r.bytes.empty()) {
            status = fail("cannot make the sample file " + r.name);
            break;
        }
        if (auto w = signal::writeFileAtomically(source, r.bytes); !w) {
            status = fail(w.message);
            break;
        }
        auto stored = filing::storeDeviceFile(cardFile, ids[r.patient], source, true);
        if (!stored) {
            status = fail(stored.message);
            break;
        }
    }
    fs::remove_all(scratch, ec);
    if (status != kOk)
        return status;

    // Something to import and a memory card to download from.
    fs::create_directories(dir / "import", ec);
    const auto a2 = sim::makeDeviceEcg(20, 6, noon, true);
    if (auto w =
            signal::writeFileAtomically(dir / "import" / "ECG_0006.ecx", import::compressToEcx(a2));
        !w)
        return fail(w.message);
    if (auto w =
            signal::writeFileAtomically(dir / "import" / "A2_0007.DAT", sim::makeA2(15, 7, noon));
        !w)
        return fail(w.message);
    if (auto w = sim::makeCard(dir / "card"); !w)
        return fail(w.message);

    std::cout << "demo folder: " << dir.string() << "\n";
    for (std::size_t i = 0; i < ids.size(); ++i)
        std::cout << "patient " << ids[i] << "\t" << kPatients[i].name << "\n";
    std::cout << "start velkard in that folder (cd " << dir.string() << " && velkard)\n";
    return kOk;
}

const Registration regMakeDemo{kMakeDemo};

} // namespace
} // namespace velkard::cli
