// SPDX-License-Identifier: GPL-3.0-or-later
// An in-memory list and window for the scan, and a working directory and
// settings profile of the test's own.
#pragma once

#include <gtest/gtest.h>

#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "BatchMode.h"
#include "CScanList.h"
#include "CScanWindow.h"
#include "CSettingsStore.h"
#include "DisplayText.h"
#include "TestFiles.h"

// Keeps each cell's bytes (rows) and what a view shows of them (shown).
class MemoryList : public CScanList {
public:
    void DeleteAllRows() override {
        rows.clear();
        keys.clear();
        shown.clear();
    }
    void InsertRow(int index, const std::string &column0, const std::string &charset) override {
        ASSERT_GE(index, 0);
        ASSERT_LE(index, static_cast<int>(rows.size()));
        rows.insert(rows.begin() + index, std::vector<std::string>(6));
        keys.insert(keys.begin() + index, std::string());
        shown.insert(shown.begin() + index, std::vector<std::string>(6));
        SetCellText(index, 0, column0, charset);
    }
    void SetCellText(int row, int column, const std::string &bytes,
                     const std::string &charset) override {
        ASSERT_GE(row, 0);
        ASSERT_LT(row, static_cast<int>(rows.size())) << "cell written without its row";
        rows[static_cast<size_t>(row)][static_cast<size_t>(column)] = bytes;
        shown[static_cast<size_t>(row)][static_cast<size_t>(column)] =
            DisplayText(bytes, charset.c_str());
    }
    // Rows set up by a test, with the same bytes shown.
    void Fill(const std::vector<std::vector<std::string>> &table) {
        rows = shown = table;
        keys.assign(table.size(), std::string());
    }
    std::string CellText(int row, int column) const override {
        return rows.at(static_cast<size_t>(row)).at(static_cast<size_t>(column));
    }
    std::vector<int> SelectedRows() const override { return selected; }
    void SetRowKey(int row, const std::string &key) override {
        keys.at(static_cast<size_t>(row)) = key;
    }
    std::string RowKey(int row) const override { return keys.at(static_cast<size_t>(row)); }

    std::vector<std::vector<std::string>> rows;
    std::vector<std::vector<std::string>> shown;
    std::vector<std::string> keys;
    std::vector<int> selected;
};

class RecordingWindow : public CScanWindow {
public:
    void SetTitle(const std::string &title) override { titles.push_back(title); }
    void RepaintList() override { ++repaints; }
    // As the window does: no box in an unattended run.
    void ShowMessage(const std::string &text, const std::string &detail) override {
        if (!BatchMode) boxes.push_back(text), details.push_back(detail);
    }
    void RowFailed(const std::string &text, const std::string &detail) override {
        rowFailures.push_back(text + ": " + detail);
    }
    void Notice(const std::string &text) override { notices.push_back(text); }
    std::vector<std::string> titles;
    std::vector<std::string> notices;
    std::vector<std::string> boxes;
    std::vector<std::string> details;  // one per box
    std::vector<std::string> rowFailures;
    int repaints = 0;
};

// Points the profile at a server on loopback with this account.
inline void PointAt(CSettingsStore &settings, int port, const std::string &user,
                    const std::string &password) {
    settings.Write("HOST", "127.0.0.1:" + std::to_string(port));
    settings.Write("USER", user);
    settings.Write("PASS", CSettingsStore::ComplementPassword(password));
}

// A fresh working directory (for the pattern file and the backups) and
// profile folder; both go away after the test.
class ScanEnvironment {
public:
    ScanEnvironment() {
        char pattern[] = "/tmp/pelloru-scan-XXXXXX";
        dir_ = ::mkdtemp(pattern);
        old_ = std::filesystem::current_path();
        std::filesystem::current_path(dir_);
        const char *config = std::getenv("XDG_CONFIG_HOME");
        if (config != nullptr) oldConfig_ = config, hadConfig_ = true;
        ::setenv("XDG_CONFIG_HOME", (dir_ + "/config").c_str(), 1);
        const char *cache = std::getenv("XDG_CACHE_HOME");
        if (cache != nullptr) oldCache_ = cache, hadCache_ = true;
        ::setenv("XDG_CACHE_HOME", (dir_ + "/cache").c_str(), 1);
    }
    ~ScanEnvironment() {
        std::filesystem::current_path(old_);
        if (hadConfig_)
            ::setenv("XDG_CONFIG_HOME", oldConfig_.c_str(), 1);
        else
            ::unsetenv("XDG_CONFIG_HOME");
        if (hadCache_)
            ::setenv("XDG_CACHE_HOME", oldCache_.c_str(), 1);
        else
            ::unsetenv("XDG_CACHE_HOME");
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    const std::string &Dir() const { return dir_; }
    void Patterns(const std::string &text) const {
        std::ofstream(dir_ + "/loesche_direkt.txt", std::ios::binary) << text;
    }
    // Files in the working directory whose names begin with "msg_".
    std::vector<std::string> Backups() const {
        std::vector<std::string> names;
        for (auto &entry : std::filesystem::directory_iterator(dir_))
            if (entry.path().filename().string().rfind("msg_", 0) == 0)
                names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

private:
    std::string dir_;
    std::filesystem::path old_;
    std::string oldConfig_;
    bool hadConfig_ = false;
    std::string oldCache_;
    bool hadCache_ = false;
};
