// SPDX-License-Identifier: GPL-3.0-or-later
// velkard-cli record against the simulated instrument, in-process and on a pseudo-terminal.
#include "cli/tests/RunCli.h"
#include "signal/SampleRecord.h"
#include "sim/Instrument.h"
#include "sim/PtyServer.h"
#include "sim/SyntheticEcg.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <thread>

namespace velkard::cli::test {
namespace {

std::vector<signal::SampleRecord> readRecords(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), {});
    std::vector<signal::SampleRecord> records(bytes.size() / signal::kRecordBytes);
    const auto* p = reinterpret_cast<const std::uint8_t*>(bytes.data());
    for (std::size_t i = 0; i < records.size(); ++i)
        for (std::size_t k = 0; k < 8; ++k)
            records[i].c[k] = signal::readLe16(p + i * 16 + k * 2);
    return records;
}

// Serves one simulated instrument on a pseudo-terminal for the life of the object.
class ServedInstrument {
public:
    ServedInstrument(std::uint32_t seed, sim::Faults faults)
        : instrument_(seed, faults), server_(instrument_) {
        const Status opened = server_.open();
        ok_ = opened.ok();
        EXPECT_TRUE(ok_) << opened.message;
        if (ok_)
            thread_ = std::thread([this] { server_.run(); });
    }
    ~ServedInstrument() {
        server_.stop();
        if (thread_.joinable())
            thread_.join();
    }
    const std::string& path() const { return server_.slavePath(); }

private:
    sim::Instrument instrument_;
    sim::PtyServer server_;
    std::thread thread_;
    bool ok_ = false;
};

TEST(DeviceRecordCli, WritesWholeBlocksOfTheInstrumentsSignal) {
    ServedInstrument instrument(21, {});
    TempDir dir;
    const auto out = dir / "rec.dat";
    std::ofstream(out) << "an older file of the same name";
    const CliResult r =
        runCli({"record", "--port", instrument.path(), "--seconds", "2", out.string()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "4\n");
    EXPECT_EQ(std::filesystem::file_size(out), 4u * signal::kBlockBytes);
    EXPECT_EQ(readRecords(out), sim::SyntheticEcg::records(21, 1600));
}

TEST(DeviceRecordCli, RecordsFromTheInProcessInstrument) {
    TempDir dir;
    const auto out = dir / "sim.dat";
    const CliResult r = runCli({"record", "--port", "SIM", "--seconds", "1", out.string()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "2\n");
    EXPECT_EQ(readRecords(out), sim::SyntheticEcg::records(1, 800));
}

TEST(DeviceRecordCli, FailuresEndWithTheInstrumentsMessage) {
    TempDir dir;
    const CliResult missing = runCli({"record", "--port", "/nonexistent/ttyVELKARD0", "--seconds",
                                      "1", (dir / "a.dat").string()});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("Прибор не найден"), std::string::npos) << missing.err;
    EXPECT_FALSE(std::filesystem::exists(dir / "a.dat"));

    sim::Faults silent;
    silent.silenceAfter = 1.2;
    ServedInstrument quiet(2, silent);
    const auto b = dir / "b.dat";
    const CliResult watchdog =
        runCli({"record", "--port", quiet.path(), "--seconds", "5", b.string()});
    EXPECT_EQ(watchdog.status, 1);
    EXPECT_NE(watchdog.err.find("Нет приема данных!"), std::string::npos) << watchdog.err;
    EXPECT_EQ(watchdog.out, "2\n");
    EXPECT_EQ(readRecords(b), sim::SyntheticEcg::records(2, 800));

    sim::Faults dropping;
    dropping.dropAfter = 1.2;
    ServedInstrument gone(3, dropping);
    const auto c = dir / "c.dat";
    const CliResult lost = runCli({"record", "--port", gone.path(), "--seconds", "5", c.string()});
    EXPECT_EQ(lost.status, 1);
    EXPECT_NE(lost.err.find("Прибор не включен!"), std::string::npos) << lost.err;
    EXPECT_EQ(std::filesystem::file_size(c), 2u * signal::kBlockBytes);
}

TEST(DeviceRecordCli, WrongUsageIsStatusTwo) {
    TempDir dir;
    EXPECT_EQ(runCli({"record", "--seconds", "1", (dir / "x.dat").string()}).status, 2);
    EXPECT_EQ(
        runCli({"record", "--port", "SIM", "--seconds", "0", (dir / "x.dat").string()}).status, 2);
    EXPECT_EQ(runCli({"record", "--port", "SIM", "--seconds", "1"}).status, 2);
    const CliResult unwritable =
        runCli({"record", "--port", "SIM", "--seconds", "1", "/nonexistent/dir/x.dat"});
    EXPECT_EQ(unwritable.status, 1);
    EXPECT_NE(unwritable.err.find("Ошибка создания файла для записи ЭКГ"), std::string::npos);
}

} // namespace
} // namespace velkard::cli::test
