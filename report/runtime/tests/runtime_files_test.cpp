// File routines of Runtime.lib: handles are the library's own, buffers are the machine's copies.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "runtime_loader.h"
#include "support/test_support.h"

using kelvo::testing::lastError;

namespace {

std::string contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(RuntimeFiles, CreateWriteSeekReadClose) {
    zentra::testing::TempDir dir;
    const std::string path = dir.file("out.txt");

    const int32_t h = RT(FileCreate)(path.c_str());
    ASSERT_GT(h, 0) << lastError();
    EXPECT_EQ(RT(FileWrite)(h, "hello", 3), 3);
    EXPECT_EQ(RT(FileWrite)(h, "ab", 10), 2) << "never more than the text holds";
    EXPECT_EQ(RT(FileSeek)(h, 0, 2), 5);
    EXPECT_EQ(RT(FileSeek)(h, 1, 0), 1);
    EXPECT_EQ(RT(FileSeek)(h, 1, 1), 2);

    // The machine's copy of a four-letter text sits in a larger block: reading must stop at the
    // text's length whatever Count says.
    char block[12] = {'x', 'x', 'x', 'x', '\0', 'Y', 'Y', 'Y', 'Y', 'Y', 'Y', '\0'};
    EXPECT_EQ(RT(FileSeek)(h, 0, 0), 0);
    EXPECT_EQ(RT(FileRead)(h, block, 100), 4);
    EXPECT_EQ(std::string(block, 4), "hela");
    EXPECT_EQ(std::string(block + 5, 6), "YYYYYY");
    RT(FileClose)(h);
    EXPECT_EQ(lastError(), "");
    EXPECT_EQ(contents(path), "helab");

    RT(FileWrite)(h, "late", 4);
    EXPECT_NE(lastError(), "") << "a closed handle is stale";
    RT(FileClose)(h);
    EXPECT_NE(lastError(), "");

    const int32_t r = RT(FileOpen)(path.c_str(), 0);
    ASSERT_GT(r, 0);
    EXPECT_EQ(RT(FileWrite)(r, "zz", 2), -1) << "opened for reading only";
    EXPECT_NE(lastError(), "");
    RT(FileClose)(r);
}

TEST(RuntimeFiles, HandlesTheLibraryDidNotOpenAreRefused) {
    RT(Kr_EndRun)();
    int own = ::open("/dev/null", O_RDONLY);
    ASSERT_GE(own, 0);
    for (int32_t handle : {0, 1, 2, own, 123456, -1}) {
        RT(FileClose)(handle);
        EXPECT_NE(lastError(), "") << handle;
        EXPECT_EQ(RT(FileSeek)(handle, 0, 0), -1) << handle;
    }
    EXPECT_NE(::fcntl(0, F_GETFD), -1) << "standard input is still open";
    EXPECT_NE(::fcntl(own, F_GETFD), -1) << "the program's own descriptor is still open";
    ::close(own);

    // Another routine family's handle is no file handle either.
    const int32_t visual = RT(StartVisual)("x");
    RT(FileClose)(visual);
    EXPECT_NE(lastError(), "");
    RT(StopVisual)(visual);
}

TEST(RuntimeFiles, ExistsDeleteAndMissingFiles) {
    zentra::testing::TempDir dir;
    const std::string path = dir.file("a.txt");
    EXPECT_EQ(RT(FileExists)(path.c_str()), 0);
    EXPECT_EQ(RT(FileOpen)(path.c_str(), 0), -1);
    EXPECT_NE(lastError().find("a.txt"), std::string::npos) << lastError();

    RT(FileClose)(RT(FileCreate)(path.c_str()));
    EXPECT_EQ(RT(FileExists)(path.c_str()), 1);
    EXPECT_EQ(RT(FileExists)(dir.path().string().c_str()), 0) << "a folder is no file";
    EXPECT_EQ(RT(FileDelete)(path.c_str()), 1);
    EXPECT_EQ(RT(FileDelete)(path.c_str()), 0);
    EXPECT_EQ(lastError(), "");

    // Names written with backslashes, as report files from the original platform have them.
    std::string windowsStyle = path;
    for (char& c : windowsStyle) {
        if (c == '/') c = '\\';
    }
    RT(FileClose)(RT(FileCreate)(path.c_str()));
    EXPECT_EQ(RT(FileExists)(windowsStyle.c_str()), 1);

    // Script texts are cp1251; the file system's names are UTF-8.
    const std::string cyrillic = kelvo::testing::cp(dir.file("отчёт.txt"));
    RT(FileClose)(RT(FileCreate)(cyrillic.c_str()));
    EXPECT_EQ(lastError(), "");
    EXPECT_TRUE(std::filesystem::exists(dir.path() / "отчёт.txt"));
    EXPECT_EQ(RT(FileExists)(cyrillic.c_str()), 1);
}

TEST(RuntimeFiles, EndRunClosesWhatTheScriptLeftOpen) {
    zentra::testing::TempDir dir;
    const int32_t h = RT(FileCreate)(dir.file("left.txt").c_str());
    ASSERT_GT(h, 0);
    RT(Kr_EndRun)();
    EXPECT_EQ(RT(FileWrite)(h, "x", 1), -1);
    EXPECT_NE(lastError(), "");
}

}  // namespace
