#include <gtest/gtest.h>

#include <unistd.h>

#include <climits>
#include <filesystem>
#include <stdexcept>

#include "kelvora/runtime/errors.h"
#include "runtime/program.h"
#include "runtime/utf8_path.h"

using namespace kelvora;

namespace {

TEST(RunGuarded, AnUncaughtErrorPrintsItsTextAndExits255)
{
    testing::internal::CaptureStderr();
    int rc = RunGuarded([]() -> int { throw TRuntimeException("Stream is not readable"); });
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(rc, 255);
    EXPECT_EQ(err, "Stream is not readable\n");
}

TEST(RunGuarded, NormalResultPassesThrough)
{
    EXPECT_EQ(RunGuarded([] { return 3; }), 3);
}

TEST(ProgramDirectory, EnteringItMakesItTheWorkingDirectory)
{
    auto before = std::filesystem::current_path();
    ASSERT_TRUE(EnterProgramDirectory());
    // UTF-8 with "/" separators on every system, and the program file in it.
    EXPECT_EQ(PathUtf8(std::filesystem::current_path()), ProgramDirectory());
    const std::filesystem::path program = Utf8Path(ProgramPath());
    EXPECT_EQ(program.stem(), "test_runtime");
    EXPECT_EQ(PathUtf8(program.parent_path()), ProgramDirectory());
    EXPECT_TRUE(std::filesystem::exists(std::filesystem::current_path() / program.filename()));
    std::filesystem::current_path(before);
}

}  // namespace
