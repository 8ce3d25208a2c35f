#include <gtest/gtest.h>

#include <unistd.h>

#include <climits>
#include <filesystem>
#include <stdexcept>

#include "runtime/errors.h"
#include "runtime/program.h"

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
    EXPECT_EQ(std::filesystem::current_path().string(), ProgramDirectory());
    EXPECT_TRUE(std::filesystem::exists(std::filesystem::current_path() / "test_runtime"));
    std::filesystem::current_path(before);
}

}  // namespace
