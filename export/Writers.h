// SPDX-License-Identifier: GPL-3.0-or-later
// The four writers behind writeExport. Each writes a complete file at `path` (a temporary name the
// caller renames into place) or fails with a message.
#pragma once

#include "export/EcgExport.h"
#include "signal/Status.h"

#include <algorithm>
#include <functional>
#include <optional>
#include <string>

namespace velkard::exporting::detail {

// The progress of one writer: its work counted in steps (samples of a lead written), told to the
// caller as seconds of the recording, about every second's worth. step() is false once the caller
// has cancelled.
class Progress {
public:
    Progress(const ExportProgress& report, std::size_t steps, std::size_t samples)
        : report_(report), steps_(std::max<std::size_t>(steps, 1)), seconds_(samples / kSampleRate),
          every_(std::max<std::size_t>(steps_ / std::max<std::size_t>(seconds_, 1), 1)) {}
    bool step(std::size_t done) {
        if (!report_ || cancelled_ || done < next_)
            return !cancelled_;
        next_ = done + every_;
        cancelled_ = !report_(seconds_ * std::min(done, steps_) / steps_, seconds_);
        return !cancelled_;
    }
    bool cancelled() const { return cancelled_; }

private:
    const ExportProgress& report_;
    std::size_t steps_;
    std::size_t seconds_;
    std::size_t every_;
    std::size_t next_ = 0;
    bool cancelled_ = false;
};

// The failure of a writer stopped by its caller.
inline Status cancelled() {
    return Status::failure(ErrorCode::Cancelled, "export cancelled");
}

// expectedSize receives the size the written header promises, to be checked before the rename.
Status writeEdf(const EcgExport& ecg, const std::filesystem::path& path,
                std::uint64_t& expectedSize, Progress& progress);
Status writeDicom(const EcgExport& ecg, const std::filesystem::path& path, Progress& progress);
// Whether SCP-ECG can hold a recording of this many samples of lead II and of the other leads.
Status scpCanHold(std::size_t samples, std::size_t twelveLeadSamples);
// SCP-ECG is built in memory (it holds 40 s at most).
Status encodeScp(const EcgExport& ecg, std::vector<std::uint8_t>& out);
// HL7 aECG is built in pieces of about a megabyte: whenever out has grown past that, drain(out)
// writes it away and empties it (false when it could not: the encoding stops with that failure);
// what is left at the end stays in out.
using Drain = std::function<Status(std::string& out)>;
Status encodeAecg(const EcgExport& ecg, std::string& out, Progress& progress,
                  const Drain& drain = {});

// "Cannot write <target>: <why>", the message of every failed export.
Status cannotWrite(const std::filesystem::path& target, const std::string& why);

} // namespace velkard::exporting::detail
