#include "test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

namespace fs = std::filesystem;

namespace zentra::testing {

TempDir::TempDir() {
    std::random_device rd;
    const fs::path base = fs::temp_directory_path();
    for (int i = 0; i < 100; ++i) {
        fs::path p = base / ("zentra-test-" + std::to_string(rd()));
        if (fs::create_directory(p)) {
            path_ = p;
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary folder");
}

TempDir::~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
}

fs::path buildDir() {
    if (const char* d = std::getenv("ZENTRA_BUILD_DIR")) return d;
    return ZENTRA_DEFAULT_BUILD_DIR;
}

fs::path sourceDir() {
    if (const char* d = std::getenv("ZENTRA_SOURCE_DIR")) return d;
    return ZENTRA_DEFAULT_SOURCE_DIR;
}

std::string copyTemplateDatabase(const std::string& kind, const TempDir& dir,
                                 const std::string& as) {
    const fs::path from = buildDir() / "testdata" / (kind + ".fdb");
    if (!fs::exists(from)) {
        throw std::runtime_error("template database missing: " + from.string() +
                                 " (build the zentra_test_databases target)");
    }
    const fs::path to = dir.path() / as;
    fs::copy_file(from, to, fs::copy_options::overwrite_existing);
    return to.string();
}

}  // namespace zentra::testing
