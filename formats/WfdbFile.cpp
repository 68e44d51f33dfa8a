// SPDX-License-Identifier: GPL-3.0-or-later
// A PhysioNet WFDB record (import/Wfdb.h reads it with every length checked) as an EcgFile:
// physical values by the header's gains and units (one scale for all where the gains contradict
// the limb leads' samples, as LUDB's do), the ".atr" beat labels beside it as annotations.
#include "formats/EcgFile.h"

#include "import/Wfdb.h"
#include "import/WfdbRecording.h"

#include <cmath>
#include <cstdio>

namespace velkard::formats {

EcgResult readWfdb(const std::filesystem::path& headerPath) {
    const std::string name = headerPath.filename().string();
    auto record = velkard::import::wfdb::readRecord(headerPath);
    if (!record)
        return EcgResult::failure(record.code == ErrorCode::None ? ErrorCode::BadData : record.code,
                                  record.message);
    const auto& h = record.value.header;
    EcgFile out;
    out.kind = Kind::Wfdb;
    out.rate = h.frequency;
    if (h.signals.size() > static_cast<std::size_t>(kMaxSignals))
        return EcgResult::failure(ErrorCode::BadData, name + ": more than 64 signals");
    // Gains that contradict the samples are not used: every signal is read at one scale.
    const bool sharedScale = velkard::import::wfdb::gainsContradictLimbLeads(record.value);
    out.gainsReplaced = sharedScale;
    if (sharedScale)
        out.notes.push_back(velkard::import::wfdb::sharedScaleNote());
    std::vector<SignalIn> signals;
    for (std::size_t s = 0; s < h.signals.size(); ++s) {
        const auto& sp = h.signals[s];
        const auto uv = microvoltsPerUnit(sp.units);
        if (!uv) {
            out.notes.push_back("signal \"" + sp.description + "\" left out: its unit \"" +
                                sp.units + "\" is no voltage");
            continue;
        }
        if (!std::isfinite(sp.gain) || sp.gain == 0)
            return EcgResult::failure(ErrorCode::BadData,
                                      name + ": signal \"" + sp.description +
                                          "\" has a gain that is zero or not a number");
        SignalIn in{sp.description,
                    std::vector<double>(static_cast<std::size_t>(record.value.length()))};
        for (std::int64_t t = 0; t < record.value.length(); ++t)
            in.microvolts[static_cast<std::size_t>(t)] =
                sharedScale ? (record.value.samples[s][static_cast<std::size_t>(t)] - sp.baseline) *
                                  (1000.0 / velkard::import::wfdb::kSharedScaleAdcPerMv)
                            : record.value.physical(s, t) * *uv;
        signals.push_back(std::move(in));
    }
    placeSignals(std::move(signals), out, true);
    std::filesystem::path atr = headerPath;
    atr.replace_extension(".atr");
    std::error_code ec;
    if (std::filesystem::exists(atr, ec)) {
        auto annotations = velkard::import::wfdb::readAnnotations(atr);
        if (annotations && out.rate > 0) {
            for (const auto& a : annotations.value)
                if (velkard::import::wfdb::isBeat(a.code) || !a.aux.empty())
                    out.annotations.push_back(
                        {static_cast<double>(a.sample) / out.rate, 0,
                         a.aux.empty() ? std::string(velkard::import::wfdb::mnemonic(a.code))
                                       : a.aux});
        } else if (!annotations) {
            out.notes.push_back(atr.filename().string() + " not read: " + annotations.message);
        }
    }
    char rate[32];
    std::snprintf(rate, sizeof rate, "%g Hz", out.rate);
    out.origin = "WFDB record " + h.name + " (" + name + "), " + std::to_string(h.signals.size()) +
                 " signal(s), " + rate;
    if (Status st = checkBounds(out, name); !st)
        return EcgResult::failure(st);
    return EcgResult::success(std::move(out));
}

} // namespace velkard::formats
