// A fresh directory per test, removed afterwards.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "runtime/utf8_path.h"

using namespace kelvora;

class TempDirTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir_ = std::filesystem::temp_directory_path() /
               (std::string("kv_io_") + info->test_suite_name() + "_" + info->name() + "_" +
                std::to_string(::getpid()));
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    // Path below the temp dir as the engine takes it: UTF-8 (the temp dir
    // is in the user's folder, whose name may be any), "/" separators.
    std::string Path(const std::string& rel) const { return PathUtf8(dir_ / Utf8Path(rel)); }

    void WriteFile(const std::string& rel, const std::vector<unsigned char>& bytes) const
    {
        std::ofstream f(dir_ / Utf8Path(rel), std::ios::binary);
        f.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }

    std::vector<unsigned char> ReadFile(const std::string& rel) const
    {
        std::ifstream f(dir_ / Utf8Path(rel), std::ios::binary);
        return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
    }

    std::filesystem::path dir_;
};
