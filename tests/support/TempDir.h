// A private temporary directory for one test, removed with its contents afterwards.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

class TempDir {
public:
    /// Makes the directory below `base`; a failure fails the test and leaves path() empty.
    explicit TempDir(const std::string& base = std::filesystem::temp_directory_path().string())
    {
        // A fresh name per try: create_directory fails on one that exists, so no two tests
        // (threads or processes) ever share a directory.
        std::random_device seed;
        std::mt19937_64 random(seed());
        for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
            const std::string candidate = base + "/halvix-test-" + std::to_string(random());
            std::error_code error;
            if (std::filesystem::create_directory(candidate, error))
                path_ = candidate;
            else if (error)
                break;
        }
        if (path_.empty())
            ADD_FAILURE() << "cannot create a directory in " << base;
    }
    ~TempDir()
    {
        std::error_code ignored;
        if (!path_.empty())
            std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    /// The path of `name` below the directory.
    std::string file(const std::string& name) const { return path_ + "/" + name; }
    /// Writes `text` to `name` below the directory and returns its path.
    std::string write(const std::string& name, const std::string& text) const
    {
        std::ofstream(file(name), std::ios::binary) << text;
        return file(name);
    }
    /// The whole content of a file ("" when it cannot be read).
    static std::string read(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

private:
    std::string path_;
};
