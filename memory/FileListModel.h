// SPDX-License-Identifier: GPL-3.0-or-later
// A thread-safe model of the device file list: entries, selection, enabled flag and progress bar,
// answering the memory worker's queries at once. A window derives from it and overrides the
// notification hooks to forward each change to its widgets (queued, in order); the command line
// uses it directly.
#pragma once

#include "memory/MemoryProtocol.h"

#include <mutex>
#include <string>
#include <vector>

namespace velkard::memory {

class FileListModel : public FileListWindow {
public:
    std::size_t entryCount() override;
    std::string entryText(std::size_t i) override;
    bool isSelected(std::size_t i) override;
    void clearSelected(std::size_t i) override;
    void appendEntry(const std::string& text) override;
    void clearEntries() override;
    void setListEnabled(bool enabled) override;
    void setProgressRange(std::int64_t minimum, std::int64_t maximum) override;
    void setProgressPosition(std::int64_t position) override;

    // The user's side (window thread).
    void setSelected(std::size_t i, bool selected);
    void selectAll();
    void clearSelection();
    bool listEnabled();
    std::vector<std::string> entries();
    std::vector<std::string> selectedEntries();
    std::int64_t progressMinimum();
    std::int64_t progressMaximum();
    std::int64_t progressPosition();

protected:
    // Called with the model's lock held, in the order of the changes; must not block.
    virtual void entryAppended(const std::string& /*text*/) {}
    virtual void entriesCleared() {}
    virtual void selectionChanged(std::size_t /*i*/, bool /*selected*/) {}
    virtual void listEnabledChanged(bool /*enabled*/) {}
    virtual void progressChanged(std::int64_t /*min*/, std::int64_t /*max*/, std::int64_t /*pos*/) {
    }

private:
    struct Entry {
        std::string text;
        bool selected = false;
    };
    std::mutex mutex_;
    std::vector<Entry> entries_;
    bool enabled_ = true;
    std::int64_t min_ = 0;
    std::int64_t max_ = 100;
    std::int64_t pos_ = 0;
};

} // namespace velkard::memory
