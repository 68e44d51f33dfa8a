// SPDX-License-Identifier: GPL-3.0-or-later
// Display commands: render a review page, a rhythmogram page or a live sweep of a recording to PNG.
#include "cli/Cli.h"
#include "cli/FilterOptions.h"
#include "cli/GuiApplication.h"
#include "display/Display.h"
#include "signal/Recording.h"

#include <QGuiApplication>
#include <QSaveFile>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <memory>

namespace velkard::cli {
namespace {

using display::DeviceCaps;
using display::Display;
using display::WindowMetrics;

const char* const kGeometryHelp =
    "  --group 0-9         lead group (default 9, I..V6)\n"
    "  --scale 0-2         5, 10, 20 mm/mV (default 1)\n"
    "  --speed 0-3         5, 10, 25, 50 mm/s (default 2)\n"
    "  --screen WxH        screen pixels (default 1024x768)\n"
    "  --screen-mm WxH     screen size in millimetres (default 320x240)\n"
    "  --window WxH        client area: client right x client bottom (default 1024x700)\n"
    "  --outer WxH         the window's outer size (default: the --window size)\n"
    "  --panel N           tool panel height in pixels (default 30)\n"
    "  --mains 50|60|off   display filters, as in the program (default: all off)\n"
    "  --highpass 0.05|0.5|off\n"
    "  --lowpass 35|40|150|off\n";

const Command kRender{
    "render", "draw one review page of a recording to a PNG image",
    std::string(
        "Usage: velkard-cli render RECORDING OUT.png [options]\n"
        "Draws review page N, reached by N presses of Forvard from page 0 (with --back, by\n"
        "Back from page N+1), writes the window surface as PNG and prints\n"
        "  page=N samples_per_column=A seconds_per_screen=S forward=0|1 back=0|1\n"
        "Options:\n"
        "  --kind plain|A2|RT  recording kind (default: a card-file recording's own, else plain;\n"
        "                      RT draws a rhythmogram)\n"
        "  --page N            page number (default 0)\n"
        "  --back              reach the page by Back from the next page\n"
        "  --duration SECONDS  recording duration for the second labels (default: from its\n"
        "                      length at 800 records per second)\n") +
        kGeometryHelp,
    nullptr};

const Command kRenderLive{
    "render-live", "feed a recording's blocks through the live sweep and write the window as PNG",
    std::string("Usage: velkard-cli render-live RECORDING OUT.png [options]\n"
                "Prepares the live display, draws the first N blocks of 400 records as the\n"
                "instrument would deliver them, writes the window surface as PNG and prints\n"
                "  blocks=N strip=C sweep=X\n"
                "Options:\n"
                "  --blocks N          number of blocks (default: every whole block)\n") +
        kGeometryHelp,
    nullptr};

const std::vector<std::string> kGeometryOptions{"group",     "scale",    "speed",  "screen",
                                                "screen-mm", "window",   "outer",  "panel",
                                                "mains",     "highpass", "lowpass"};

std::optional<std::pair<int, int>> sizeValue(const std::string& text) {
    const auto x = text.find('x');
    if (x == std::string::npos)
        return std::nullopt;
    auto w = intValue(text.substr(0, x), 1, 100000);
    auto h = intValue(text.substr(x + 1), 1, 100000);
    if (!w || !h)
        return std::nullopt;
    return std::make_pair(static_cast<int>(*w), static_cast<int>(*h));
}

struct Setup {
    DeviceCaps caps;
    WindowMetrics window;
    int group = 9;
    int scale = 1;
    int speed = 2;
    filter::FilterSettings filters;
};

// Reads the shared geometry options; prints a usage line and returns nullopt on a bad value.
std::optional<Setup> readSetup(const Command& cmd, const Args& args) {
    Setup s;
    struct IntOpt {
        const char* name;
        int* target;
        long lo, hi;
    };
    int panel = 30;
    for (const IntOpt& o : {IntOpt{"group", &s.group, 0, 9}, IntOpt{"scale", &s.scale, 0, 2},
                            IntOpt{"speed", &s.speed, 0, 3}, IntOpt{"panel", &panel, 0, 10000}}) {
        if (auto text = args.value(o.name)) {
            auto v = intValue(*text, o.lo, o.hi);
            if (!v) {
                usage(cmd, std::string("--") + o.name + " expects a whole number from " +
                               std::to_string(o.lo) + " to " + std::to_string(o.hi));
                return std::nullopt;
            }
            *o.target = static_cast<int>(*v);
        }
    }
    auto sizeOpt = [&](const char* name, std::pair<int, int> fallback) {
        auto text = args.value(name);
        if (!text)
            return std::optional(fallback);
        auto v = sizeValue(*text);
        if (!v)
            usage(cmd, std::string("--") + name + " expects WIDTHxHEIGHT, e.g. 1024x768");
        return v;
    };
    auto screen = sizeOpt("screen", {1024, 768});
    auto screenMm = screen ? sizeOpt("screen-mm", {320, 240}) : std::nullopt;
    auto window = screenMm ? sizeOpt("window", {1024, 700}) : std::nullopt;
    auto outer = window ? sizeOpt("outer", *window) : std::nullopt;
    if (!outer)
        return std::nullopt;
    std::string filterError;
    const auto filters = filterOptions(args, filterError);
    if (!filters) {
        usage(cmd, filterError);
        return std::nullopt;
    }
    s.filters = *filters;
    s.caps = {screen->first, screenMm->first, screen->second, screenMm->second};
    s.window = {outer->first, outer->second, window->first, window->second, panel};
    return s;
}

// A whole number as it is, a fractional one with its decimals.
std::string samplesPerColumnText(float value) {
    if (value == std::floor(value))
        return std::to_string(static_cast<long>(value));
    char text[32];
    std::snprintf(text, sizeof text, "%.4f", double(value));
    return text;
}

// The image goes into a temporary file beside OUT and is renamed over it only when every byte
// was written: a full disk leaves OUT as it was (or absent), never an empty or cut-off PNG.
int writePng(const Display& d, const std::string& out) {
    QSaveFile file(QString::fromStdString(out));
    const bool written = file.open(QIODevice::WriteOnly) && d.surface().save(&file, "PNG") &&
                         file.flush() && file.error() == QFileDevice::NoError;
    if (!written || !file.commit()) {
        file.cancelWriting();
        return fail("cannot write the image '" + out + "'");
    }
    return kOk;
}

int runRender(const std::vector<std::string>& argv) {
    Args args(argv,
              [] {
                  auto v = kGeometryOptions;
                  v.insert(v.end(), {"kind", "page", "duration"});
                  return v;
              }(),
              {"back"});
    if (!args.ok())
        return usage(kRender, args.error());
    if (args.positional().size() != 2)
        return usage(kRender, "expects RECORDING and OUT.png");
    auto setup = readSetup(kRender, args);
    if (!setup)
        return kUsage;
    // Without --kind, a card-file recording is of the kind its archive entry says.
    const auto kind = kindOption(
        args, kindInCardFile(args.positional()[0]).value_or(signal::RecordingKind::Plain));
    if (!kind)
        return usage(kRender, "--kind expects plain, A2 or RT");
    auto page = intValue(args.valueOr("page", "0"), 0, 1000000);
    if (!page)
        return usage(kRender, "--page expects a page number from 0");
    std::optional<long> duration;
    if (auto text = args.value("duration")) {
        duration = intValue(*text, 0, 100000000);
        if (!duration)
            return usage(kRender, "--duration expects whole seconds");
    }
    const bool back = args.has("back");

    signal::RecordingBuffer buffer;
    if (auto st = signal::loadRecording(args.positional()[0], buffer); !st)
        return fail(st.message);

    auto app = guiApplication();
    Display d(setup->caps, setup->window);
    d.setChoices(setup->scale, setup->group, setup->speed);
    const velkard::View view{kind == signal::RecordingKind::Rhythmogram
                                 ? velkard::Shown::Rhythmogram
                                 : velkard::Shown::CardRecording,
                             kind == signal::RecordingKind::A2};
    d.setFilters(setup->filters, view);
    if (kind == signal::RecordingKind::Rhythmogram) {
        d.openRhythmogramBytes(buffer.bytes);
    } else {
        const long seconds =
            duration ? *duration
                     : static_cast<long>(buffer.bytes.size() /
                                         (signal::kRecordBytes * signal::kRecordsPerSecond));
        // A recording filed from a file lacking leads shows them as absent, as the window does.
        d.setLeadsShown(leadsBeside(args.positional()[0], buffer.bytes));
        d.openRecording(buffer, static_cast<int>(seconds), view);
    }

    const long presses = *page + (back ? 1 : 0);
    for (long i = 0; i < presses; ++i) {
        if (!d.forwardEnabled())
            return fail("page " + std::to_string(i + 1) + " is past the end of the recording");
        d.forward(view);
    }
    if (back)
        d.back(view);

    if (int rc = writePng(d, args.positional()[1]); rc != kOk)
        return rc;
    std::cout << "page=" << d.pageNumber()
              << " samples_per_column=" << samplesPerColumnText(d.geometry().screenSamplesPerColumn)
              << " seconds_per_screen=" << d.secondsPerScreen()
              << " forward=" << (d.forwardEnabled() ? 1 : 0)
              << " back=" << (d.backEnabled() ? 1 : 0) << '\n';
    return kOk;
}

int runRenderLive(const std::vector<std::string>& argv) {
    Args args(argv,
              [] {
                  auto v = kGeometryOptions;
                  v.push_back("blocks");
                  return v;
              }(),
              {});
    if (!args.ok())
        return usage(kRenderLive, args.error());
    if (args.positional().size() != 2)
        return usage(kRenderLive, "expects RECORDING and OUT.png");
    auto setup = readSetup(kRenderLive, args);
    if (!setup)
        return kUsage;
    std::optional<long> blocks;
    if (auto text = args.value("blocks")) {
        blocks = intValue(*text, 0, 100000000);
        if (!blocks)
            return usage(kRenderLive, "--blocks expects a whole number");
    }

    signal::RecordingBuffer buffer;
    if (auto st = signal::loadRecording(args.positional()[0], buffer); !st)
        return fail(st.message);
    const long available = static_cast<long>(buffer.bytes.size() / signal::kBlockBytes);
    const long count = blocks ? std::min(*blocks, available) : available;

    auto app = guiApplication();
    Display d(setup->caps, setup->window);
    d.setChoices(setup->scale, setup->group, setup->speed);
    d.setFilters(setup->filters, velkard::View{velkard::Shown::Live});
    d.prepareLiveDisplay();
    for (long b = 0; b < count; ++b)
        d.drawLiveBlock(buffer.bytes.data() + b * signal::kBlockBytes);

    if (int rc = writePng(d, args.positional()[1]); rc != kOk)
        return rc;
    std::cout << "blocks=" << count << " strip=" << d.lastStripWidth()
              << " sweep=" << d.sweepPosition() << '\n';
    return kOk;
}

const Registration regRender{[] {
    Command c = kRender;
    c.run = runRender;
    return c;
}()};
const Registration regRenderLive{[] {
    Command c = kRenderLive;
    c.run = runRenderLive;
    return c;
}()};

} // namespace
} // namespace velkard::cli
