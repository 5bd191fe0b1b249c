// Helpers shared by the test programs: a temporary folder removed at the end of the test and
// fresh copies of the template databases that the build makes with zentra-mkdb.
#pragma once

#include <filesystem>
#include <string>

namespace zentra::testing {

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::string file(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

std::filesystem::path buildDir();
std::filesystem::path sourceDir();

// Copies build/testdata/<kind>.fdb ("empty" or "demo") to `dir`/<as> and returns the path.
std::string copyTemplateDatabase(const std::string& kind, const TempDir& dir,
                                 const std::string& as = "Zentra.fdb");

}  // namespace zentra::testing
