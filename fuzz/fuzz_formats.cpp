// SPDX-License-Identifier: GPL-3.0-or-later
// ECG files of other systems from any bytes: the first byte picks how the rest is read — as a
// DICOM file from memory, or written to a temporary file read as EDF/BDF (the header checks of
// formats/ and EDFlib or the reader of its own). Nothing crashes; a refusal always says why, and
// what is read holds equally long leads within the bounds, whose conversion to 800 Hz never
// wraps a value.
#include "formats/EcgFile.h"
#include "formats/Instrument.h"

#include <cstdlib>
#include <string>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace velkard::formats;
    if (size < 1)
        return 0;
    const std::span<const std::uint8_t> rest(data + 1, size - 1);
    EcgResult r;
    if (data[0] % 2 == 0) {
        r = readDicom(rest);
    } else {
        char name[] = "/tmp/velkard-fuzz-formats-XXXXXX";
        const int fd = ::mkstemp(name);
        if (fd < 0)
            return 0;
        const bool written =
            ::write(fd, rest.data(), rest.size()) == static_cast<ssize_t>(rest.size());
        ::close(fd);
        if (written)
            r = readEdf(name);
        ::unlink(name);
        if (!written)
            return 0;
    }
    if (!r) {
        if (r.message.empty())
            std::abort();
        return 0;
    }
    if (!checkBounds(r.value, "input").ok())
        std::abort();
    if (r.value.samples() <= 100000) {
        auto inst = toInstrument(r.value);
        if (inst)
            for (const auto& rec : inst.value.records)
                for (auto c : rec.c)
                    if (c < -32767)
                        std::abort();
    }
    return 0;
}
