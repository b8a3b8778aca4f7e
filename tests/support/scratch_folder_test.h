// A test fixture with a scratch folder of its own, made with the standard
// library (independently of the file service some tests examine) and
// removed after each test. Names are UTF-8 and may hold "/" between folders.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <system_error>

namespace qb::testsupport {

class ScratchFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::random_device random;
        root_ = std::filesystem::temp_directory_path() /
                ("qb-scratch-" + std::to_string(random()) + std::to_string(random()));
        std::filesystem::create_directories(root_);
    }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }

    // The UTF-8 path of an entry (path::string() would be the ANSI code
    // page on Windows).
    std::string Path(const std::string& name) const {
        const std::u8string text = (root_ / std::filesystem::u8path(name)).u8string();
        return std::string(text.begin(), text.end());
    }
    // Writes a file and returns its path.
    std::string Put(const std::string& name, const std::string& bytes) const {
        std::ofstream(root_ / std::filesystem::u8path(name), std::ios::binary) << bytes;
        return Path(name);
    }
    std::string Get(const std::string& name) const {
        std::ifstream in(root_ / std::filesystem::u8path(name), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    bool Exists(const std::string& name) const { return std::filesystem::exists(root_ / std::filesystem::u8path(name)); }

    std::filesystem::path root_;
};

}  // namespace qb::testsupport
