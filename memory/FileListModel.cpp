// SPDX-License-Identifier: GPL-3.0-or-later
#include "memory/FileListModel.h"

namespace velkard::memory {

std::size_t FileListModel::entryCount() {
    std::lock_guard lock(mutex_);
    return entries_.size();
}

std::string FileListModel::entryText(std::size_t i) {
    std::lock_guard lock(mutex_);
    return i < entries_.size() ? entries_[i].text : std::string();
}

bool FileListModel::isSelected(std::size_t i) {
    std::lock_guard lock(mutex_);
    return i < entries_.size() && entries_[i].selected;
}

void FileListModel::clearSelected(std::size_t i) {
    setSelected(i, false);
}

void FileListModel::setSelected(std::size_t i, bool selected) {
    std::lock_guard lock(mutex_);
    if (i >= entries_.size() || entries_[i].selected == selected)
        return;
    entries_[i].selected = selected;
    selectionChanged(i, selected);
}

void FileListModel::selectAll() {
    std::lock_guard lock(mutex_);
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        if (!entries_[i].selected) {
            entries_[i].selected = true;
            selectionChanged(i, true);
        }
    }
}

void FileListModel::clearSelection() {
    std::lock_guard lock(mutex_);
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        if (entries_[i].selected) {
            entries_[i].selected = false;
            selectionChanged(i, false);
        }
    }
}

void FileListModel::appendEntry(const std::string& text) {
    std::lock_guard lock(mutex_);
    entries_.push_back({text, false});
    entryAppended(text);
}

void FileListModel::clearEntries() {
    std::lock_guard lock(mutex_);
    entries_.clear();
    entriesCleared();
}

void FileListModel::setListEnabled(bool enabled) {
    std::lock_guard lock(mutex_);
    enabled_ = enabled;
    listEnabledChanged(enabled);
}

void FileListModel::setProgressRange(std::int64_t minimum, std::int64_t maximum) {
    std::lock_guard lock(mutex_);
    min_ = minimum;
    max_ = maximum;
    progressChanged(min_, max_, pos_);
}

void FileListModel::setProgressPosition(std::int64_t position) {
    std::lock_guard lock(mutex_);
    pos_ = position;
    progressChanged(min_, max_, pos_);
}

bool FileListModel::listEnabled() {
    std::lock_guard lock(mutex_);
    return enabled_;
}

std::vector<std::string> FileListModel::entries() {
    std::lock_guard lock(mutex_);
    std::vector<std::string> out;
    for (const auto& e : entries_)
        out.push_back(e.text);
    return out;
}

std::vector<std::string> FileListModel::selectedEntries() {
    std::lock_guard lock(mutex_);
    std::vector<std::string> out;
    for (const auto& e : entries_)
        if (e.selected)
            out.push_back(e.text);
    return out;
}

std::int64_t FileListModel::progressMinimum() {
    std::lock_guard lock(mutex_);
    return min_;
}

std::int64_t FileListModel::progressMaximum() {
    std::lock_guard lock(mutex_);
    return max_;
}

std::int64_t FileListModel::progressPosition() {
    std::lock_guard lock(mutex_);
    return pos_;
}

} // namespace velkard::memory
