// SPDX-License-Identifier: GPL-3.0-or-later
// WFDB input of any bytes: the text up to the first zero byte is a header, the bytes after it the
// sample file every signal names; all of the input is also read as an annotation file. Nothing
// crashes; decoded samples stay within their format's range, and the signals of one file come
// out equally long, never longer than the bytes can hold.
#include "import/Wfdb.h"

#include <algorithm>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace velkard::import::wfdb;
    const std::span<const std::uint8_t> all(data, size);
    auto annotations = parseAnnotations(all);
    if (!annotations.ok() && annotations.message.empty())
        std::abort();
    if (annotations.ok() && annotations.value.size() > size / 2)
        std::abort();

    const auto* zero = std::find(data, data + size, std::uint8_t{0});
    const std::string_view text(reinterpret_cast<const char*>(data),
                                static_cast<std::size_t>(zero - data));
    auto header = parseHeader(text);
    if (!header.ok()) {
        if (header.message.empty())
            std::abort();
        return 0;
    }
    const std::span<const std::uint8_t> dat =
        zero == data + size ? std::span<const std::uint8_t>{}
                            : all.subspan(static_cast<std::size_t>(zero - data) + 1);
    for (const SignalSpec& s : header.value.signals) {
        std::vector<std::vector<int>> samples;
        if (!decodeSamples(header.value, s.file, dat, samples).ok())
            continue;
        std::size_t length = SIZE_MAX, group = 0;
        for (std::size_t k = 0; k < samples.size(); ++k) {
            const SignalSpec& sig = header.value.signals[k];
            if (sig.file != s.file) {
                if (!samples[k].empty())
                    std::abort();
                continue;
            }
            if (length != SIZE_MAX && samples[k].size() != length)
                std::abort();
            length = samples[k].size();
            ++group;
            const int limit = sig.format == 16 ? 32768 : sig.format == 212 ? 2048 : 128;
            for (int v : samples[k])
                if (v < -limit || v >= limit)
                    std::abort();
        }
        const std::size_t bits = s.format == 16 ? 16 : s.format == 212 ? 12 : 8;
        if (length * group * bits > dat.size() * 8)
            std::abort();
    }
    return 0;
}
