// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary bytes to the card-file readers as a patient index and as a patient archive, then
// removes an entry and a patient and checks that what is left is consistent.
#include "cardfile/CardFile.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using namespace velkard::cardfile;

// One scratch folder per process, removed when the process ends.
struct ScratchFolder {
    fs::path path =
        fs::temp_directory_path() / ("velkard_fuzz_cardfile_" + std::to_string(getpid()));
    ScratchFolder() { fs::create_directories(path / kDataFolder); }
    ~ScratchFolder() {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
};

const fs::path& workDir() {
    static const ScratchFolder folder;
    return folder.path;
}

void put(const fs::path& p, const std::uint8_t* data, std::size_t size) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

void check(bool condition) {
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The first byte splits the input into an index part and an archive part.
    std::size_t split = size == 0 ? 0 : std::min<std::size_t>(size - 1, data[0] * 4u);
    const std::uint8_t* index = size ? data + 1 : data;
    std::size_t indexSize = split;
    const std::uint8_t* archive = index + indexSize;
    std::size_t archiveSize = size ? size - 1 - split : 0;

    CardFile cf(workDir());
    const std::string id = "4c2f9a10";
    put(cf.indexPath(), index, indexSize);
    put(cf.archivePath(id), archive, archiveSize);

    auto patients = cf.listPatients();
    check(patients.ok() && patients.value.size() == (indexSize + 1) / kPatientRecordBytes);
    for (std::size_t i = 0; i < patients.value.size(); ++i) {
        auto p = cf.readPatient(i);
        check(p.ok() && p.value == patients.value[i]);
        // Once stored within the widths, a record reads back as it was written.
        auto once = decodePatientRecord(encodePatientRecord(p.value));
        check(decodePatientRecord(encodePatientRecord(once)) == once);
    }

    auto entries = cf.listArchiveEntries(id);
    check(entries.ok() && entries.value.size() == (archiveSize + 1) / kArchiveEntryBytes);
    for (const auto& e : entries.value) {
        (void)e.recordNumber();
        (void)e.durationSeconds();
    }
    check(cf.nextRecordNumber(id) == static_cast<int>(archiveSize / kArchiveEntryBytes) + 1);

    std::size_t whole = archiveSize / kArchiveEntryBytes;
    if (!entries.value.empty() && whole <= 999) {
        auto s = cf.removeArchiveEntry(id, 0);
        check(s.ok());
        auto after = cf.listArchiveEntries(id);
        check(after.ok() && after.value.size() == (whole == 0 ? 0 : whole - 1));
        for (std::size_t k = 0; k < after.value.size(); ++k)
            check(after.value[k].recordNumber() == static_cast<int>(k) + 1);
    }

    if (!patients.value.empty()) {
        const auto& last = patients.value.back();
        std::size_t position = patients.value.size() - 1;
        auto s = cf.removePatient(position, last.id);
        // Whole records stay, but for the one removed; torn trailing bytes go.
        std::size_t whole = indexSize / kPatientRecordBytes;
        if (s.ok())
            check(cf.listPatients().value.size() == whole - (position < whole ? 1 : 0));
        else
            check(s.code == velkard::ErrorCode::InvalidArgument);
    }
    return 0;
}
