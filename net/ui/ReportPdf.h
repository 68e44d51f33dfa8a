// SPDX-License-Identifier: GPL-3.0-or-later
// The report that goes with a sent recording: the one-page 12-lead report as Print makes it
// (print/Report.h), with the physician's stored report when there is one, as PDF bytes.
#pragma once

#include "cardfile/CardFile.h"
#include "signal/Status.h"

#include <cstdint>
#include <vector>

namespace velkard::net::ui {

// Needs a QGuiApplication (fonts). `russian`: the language of the report's header.
Result<std::vector<std::uint8_t>> reportPdf(const cardfile::CardFile& cardFile,
                                            const cardfile::PatientRecord& patient,
                                            const cardfile::ArchiveEntry& entry, bool russian);

} // namespace velkard::net::ui
