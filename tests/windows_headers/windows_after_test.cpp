// <windows.h> after the engine: the engine's declarations were read without
// the macros, its names are used with them.
#include <gtest/gtest.h>

#include <kelvora/kelvora.h>

#include <windows.h>

using namespace kelvora;

TEST(WindowsHeaders, EngineNamesWorkWithWindowsHeaderAfter)
{
    EXPECT_EQ(LoadImage("no such image.png"), nullptr);
    EXPECT_EQ(kelvora::LoadImage("no such image.png", 0), nullptr);
    EXPECT_EQ(PlaySound(nullptr, nullptr), nullptr);
    EXPECT_EQ(::LoadImage(nullptr, "no such image.bmp", IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE), nullptr);
    void (*draw)(const std::string&, float, float) = &kelvora::DrawText;
    EXPECT_NE(draw, nullptr);
}
