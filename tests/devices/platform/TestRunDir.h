// Test fixture support: a private run directory per test, and waiting on conditions with a deadline.
#pragma once

#include "tests/support/TempDir.h"
#include "tests/support/WaitUntil.h"

#include <cstdlib>
#include <filesystem>
#include <string>

namespace Vdapi::TestSupport {

/// A fresh directory that VDAPI_RUN_DIR points at while it exists.
class TempRunDir : public TempDir {
public:
    explicit TempRunDir(const std::string& base = std::filesystem::temp_directory_path().string())
        : TempDir(base)
    {
        ::setenv("VDAPI_RUN_DIR", path().c_str(), 1);
    }
    ~TempRunDir() { ::unsetenv("VDAPI_RUN_DIR"); }
};

using ::waitUntil;

} // namespace Vdapi::TestSupport
