#pragma once
// A fresh folder per test, removed afterwards; named after the test and the moment, so runs
// in parallel (or from several build trees) never share one.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace keymap_download {

class TempFolder : public ::testing::Test {
  protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        const auto ticks = std::chrono::steady_clock::now().time_since_epoch().count();
        dir_ = std::filesystem::temp_directory_path() /
               (std::string("kmdl_") + info->test_suite_name() + "_" + info->name() + "_" +
                std::to_string(ticks));
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override {
        std::error_code ignored;
        if (!previous_.empty()) {
            std::filesystem::current_path(previous_, ignored);
        }
        std::filesystem::remove_all(dir_, ignored);
    }

    // Makes the folder the current one until the test ends: command texts cannot hold a
    // path with slashes, so batch runs name their files relative to it.
    void enter() {
        previous_ = std::filesystem::current_path();
        std::filesystem::current_path(dir_);
    }

    std::string path(const std::string& name) const { return (dir_ / name).string(); }

    static std::string contents(const std::string& file) {
        std::ifstream in(file, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    static void put(const std::string& file, const std::string& bytes) {
        std::ofstream out(file, std::ios::binary);
        out << bytes;
    }

    std::filesystem::path dir_;
    std::filesystem::path previous_;
};

}  // namespace keymap_download
