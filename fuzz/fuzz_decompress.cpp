// SPDX-License-Identifier: GPL-3.0-or-later
// Decompression of arbitrary ".ecx" bytes: never crashes; whatever it accepts is a device ECG file
// that compresses and decompresses back to itself (its body values are all multiples of 8).
#include "import/Decompress.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace velkard;
    std::vector<std::uint8_t> ecx(data, data + size);
    signal::BytesResult device = import::decompressEcxBytes(ecx, "fuzz.ecx");
    if (!device.ok()) {
        if (device.message.empty() || !device.value.empty())
            std::abort();
        return 0;
    }
    if (device.value.size() < signal::kDeviceHeaderBytes)
        std::abort();
    signal::BytesResult again = import::decompressEcxBytes(import::compressToEcx(device.value));
    if (!again.ok() || again.value != device.value)
        std::abort();
    return 0;
}
