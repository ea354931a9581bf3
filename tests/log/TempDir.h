// A private temporary directory for one test (mkdtemp), removed with its contents afterwards.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

class TempDir {
public:
    /// Makes the directory below `base`; a failure fails the test and leaves path() empty.
    explicit TempDir(const std::string& base = std::filesystem::temp_directory_path().string())
    {
        std::string pattern = base + "/halvix-test-XXXXXX";
        if (::mkdtemp(pattern.data()) != nullptr)
            path_ = pattern;
        else
            ADD_FAILURE() << "mkdtemp failed in " << base;
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
