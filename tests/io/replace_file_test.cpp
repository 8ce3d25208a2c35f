// What other programs do to a saved file on Windows while the game replaces
// it: a scanner holding it, a file left under a name the new content might
// have used. (Wine replaces a read-only file as if it were not, so that case
// is left to real Windows.)
#ifdef _WIN32
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#include "kelvora/io/filesystem.h"
#include "runtime/win/wide.h"
#include "temp_dir.h"

using namespace kelvora;

namespace {

class ReplaceOnWindows : public TempDirTest {
protected:
    std::vector<std::string> Names() const
    {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(dir_)) names.push_back(PathUtf8(e.path().filename()));
        std::sort(names.begin(), names.end());
        return names;
    }
};

const std::vector<unsigned char> kOld = {1, 0, 0, 0}, kNew = {0x39, 0x30, 0, 0};

// Held as an indexer holds it: readers and writers welcome, no delete or
// rename until it lets go.
TEST_F(ReplaceOnWindows, WaitsForAnotherProgramToLetGoOfTheFile)
{
    WriteFile("hiscore.dat", kOld);
    HANDLE held = CreateFileW(Widen(Path("hiscore.dat")).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    // Let go once the replace has its new file ready and is trying to move
    // it in (or after 10 s, when it gave up at once).
    std::atomic<bool> released{false};
    std::thread holder([&] {
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        const auto entries = [&] {
            std::error_code ec;
            auto it = std::filesystem::directory_iterator(dir_, ec);
            return ec ? 0 : std::distance(it, std::filesystem::directory_iterator());
        };
        while (entries() < 2 && std::chrono::steady_clock::now() < until)
            std::this_thread::yield();
        released = true;
        CloseHandle(held);
    });
    std::string error;
    const bool replaced = ReplaceFileContents(Path("hiscore.dat"), kNew.data(), 4, &error);
    const bool waited = released;
    holder.join();
    EXPECT_TRUE(replaced) << error;
    EXPECT_TRUE(waited) << "done while the file was still held";
    EXPECT_EQ(ReadFile("hiscore.dat"), kNew);
    EXPECT_EQ(Names(), (std::vector<std::string>{"hiscore.dat"})) << "no temporary file is left";
}

// Files someone left under names the new content could be written to are
// neither written nor removed, and a replace leaves no file of its own.
TEST_F(ReplaceOnWindows, WritesNothingButTheFile)
{
    const std::vector<unsigned char> planted = {'m', 'i', 'n', 'e'};
    const std::string pid = std::to_string(GetCurrentProcessId());
    // The names this process would use first, and the obvious one.
    std::vector<std::string> squatted = {"hiscore.dat.tmp"};
    for (int i = 0; i < 16; ++i) squatted.push_back("hiscore.dat." + pid + "-" + std::to_string(i) + ".tmp");
    for (const auto& name : squatted) WriteFile(name, planted);
    std::string error;
    for (int round = 0; round < 3; ++round) {
        ASSERT_TRUE(ReplaceFileContents(Path("hiscore.dat"), round == 1 ? kOld.data() : kNew.data(), 4, &error))
            << error;
    }
    EXPECT_EQ(ReadFile("hiscore.dat"), kNew);
    for (const auto& name : squatted) EXPECT_EQ(ReadFile(name), planted) << name;

    std::vector<std::string> expected = squatted;
    expected.push_back("hiscore.dat");
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(Names(), expected);
}

}  // namespace
#endif
