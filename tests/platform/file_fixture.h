#pragma once
// The file tests' fixture: a private folder, made afresh for each case and
// removed after it.

#include <filesystem>
#include <gtest/gtest.h>
#include <random>
#include <string>

class FileTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::random_device random;
        for (int attempt = 0; attempt < 100 && dir_.empty(); ++attempt) {
            const auto candidate = std::filesystem::temp_directory_path() /
                                   ("velmora-file-" + std::to_string(random()));
            if (std::filesystem::create_directory(candidate)) dir_ = candidate;
        }
        ASSERT_FALSE(dir_.empty()) << "no private folder could be made";
    }
    void TearDown() override {
        std::error_code error;
        if (!dir_.empty()) std::filesystem::remove_all(dir_, error);
    }
    std::string path(const char* name) const { return (dir_ / name).string(); }
    std::filesystem::path dir_;
};
