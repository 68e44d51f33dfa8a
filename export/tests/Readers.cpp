// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/tests/Readers.h"

#include "sim/SyntheticEcg.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <limits>
#include <sstream>
#include <sys/wait.h>

namespace velkard::exporting::test {

CommandOutput runCommand(const std::string& commandLine) {
    CommandOutput r;
    FILE* pipe = ::popen((commandLine + " 2>&1").c_str(), "r");
    if (!pipe)
        return r;
    char buf[65536];
    std::size_t n = 0;
    // A signal arriving while the tool writes interrupts the read; read on to its end.
    for (;;) {
        n = std::fread(buf, 1, sizeof buf, pipe);
        r.out.append(buf, n);
        if (n > 0)
            continue;
        if (std::ferror(pipe) && errno == EINTR) {
            std::clearerr(pipe);
            continue;
        }
        break;
    }
    const int st = ::pclose(pipe);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return r;
}

bool requireTool(const std::string& program, const std::string& package) {
    if (runCommand("command -v " + program).status == 0)
        return true;
    ADD_FAILURE() << program << " is not installed (Debian package " << package
                  << "; scripts/deps.sh installs it)";
    return false;
}

std::string quoted(const std::filesystem::path& path) {
    std::string out = "'";
    for (char c : path.string())
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

signal::RecordingBuffer syntheticRecording(std::size_t records, std::uint32_t seed) {
    // Longer recordings repeat the first minute, which keeps an hour quick to make.
    const std::size_t generated = std::min<std::size_t>(records, 60 * 800);
    const auto samples = sim::SyntheticEcg::records(seed, generated);
    std::vector<std::uint8_t> bytes(records * signal::kRecordBytes);
    for (std::size_t i = 0; i < samples.size(); ++i)
        for (int c = 0; c < signal::kChannels; ++c)
            signal::writeLe16(bytes.data() + i * signal::kRecordBytes + 2 * c,
                              samples[i].c[static_cast<std::size_t>(c)]);
    const std::size_t block = generated * signal::kRecordBytes;
    for (std::size_t at = block; at < bytes.size(); at += block)
        std::memcpy(bytes.data() + at, bytes.data(), std::min(block, bytes.size() - at));
    signal::RecordingBuffer buffer;
    buffer.assign(std::move(bytes));
    return buffer;
}

std::array<std::vector<std::int16_t>, 12> expectedLeads(const signal::RecordingBuffer& buffer,
                                                        std::size_t records) {
    std::array<std::vector<std::int16_t>, 12> out;
    for (auto& lead : out)
        lead.reserve(records);
    for (std::size_t i = 0; i < records; ++i) {
        const auto r = buffer.record(i);
        const int c0 = r.c[0], c1 = r.c[1];
        const int values[12] = {c1 - c0,
                                c1,
                                c0,
                                c0 / 2 - c1,
                                c1 / 2 - c0,
                                (c1 + c0) / 2,
                                (c1 + c0) / 3 - r.c[2],
                                (c1 + c0) / 3 - r.c[3],
                                (c1 + c0) / 3 - r.c[4],
                                (c1 + c0) / 3 - r.c[5],
                                (c1 + c0) / 3 - r.c[6],
                                (c1 + c0) / 3 - r.c[7]};
        for (std::size_t l = 0; l < 12; ++l)
            out[l].push_back(static_cast<std::int16_t>(values[l]));
    }
    return out;
}

std::vector<std::string> jsonValues(const std::string& json, const std::string& key) {
    std::vector<std::string> out;
    const std::string needle = "\"" + key + "\"";
    for (std::size_t at = json.find(needle); at != std::string::npos;
         at = json.find(needle, at + 1)) {
        std::size_t p = json.find(':', at + needle.size());
        if (p == std::string::npos)
            break;
        p = json.find_first_not_of(" \t", p + 1);
        if (p == std::string::npos)
            break;
        if (json[p] == '"') {
            const std::size_t end = json.find('"', p + 1);
            out.push_back(json.substr(p + 1, end - p - 1));
        } else {
            const std::size_t end = json.find_first_of(",\n}", p);
            out.push_back(json.substr(p, end - p));
        }
    }
    return out;
}

BioSigHeader bioSigHeader(const std::filesystem::path& file, bool withNames) {
    BioSigHeader h;
    auto r =
        runCommand(std::string("save2gdf ") + (withNames ? "-n " : "") + "-JSON " + quoted(file));
    h.json = r.out;
    h.labels = jsonValues(h.json, "Label");
    for (const auto& v : jsonValues(h.json, "Samplingrate"))
        h.rates.push_back(std::strtod(v.c_str(), nullptr));
    const auto samples = jsonValues(h.json, "NumberOfSamples");
    if (!samples.empty())
        h.samples = std::strtoll(samples.front().c_str(), nullptr, 10);
    return h;
}

std::vector<std::vector<double>> bioSigSamples(const std::filesystem::path& file,
                                               std::vector<std::string>& labels) {
    const std::filesystem::path csv = file.string() + ".csv";
    runCommand("save2gdf -CSV " + quoted(file) + " " + quoted(csv));
    std::ifstream in(csv);
    std::string line;
    std::vector<std::vector<double>> columns;
    labels.clear();
    if (!std::getline(in, line))
        return columns;
    std::stringstream header(line);
    for (std::string cell; std::getline(header, cell, ',');)
        labels.push_back(cell);
    columns.resize(labels.size());
    while (std::getline(in, line)) {
        if (line.empty())
            continue;
        const char* p = line.c_str();
        for (std::size_t c = 0; c < columns.size(); ++c) {
            char* end = nullptr;
            columns[c].push_back(std::strtod(p, &end));
            p = *end == ',' ? end + 1 : end;
        }
    }
    std::filesystem::remove(csv);
    return columns;
}

double worstMicrovolts(const std::vector<std::vector<double>>& read,
                       const std::array<std::vector<std::int16_t>, 12>& expected) {
    if (read.size() < expected.size())
        return std::numeric_limits<double>::infinity();
    double worst = 0;
    for (std::size_t l = 0; l < expected.size(); ++l) {
        if (read[l].size() != expected[l].size())
            return std::numeric_limits<double>::infinity();
        for (std::size_t i = 0; i < expected[l].size(); ++i) {
            const double d = std::fabs(read[l][i] - expected[l][i] * kMicrovoltsPerUnit);
            if (!(d <= worst))
                worst = std::isnan(d) ? std::numeric_limits<double>::infinity() : d;
        }
    }
    return worst;
}

} // namespace velkard::exporting::test
