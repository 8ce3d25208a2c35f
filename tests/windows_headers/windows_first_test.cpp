// <windows.h> before the engine: its LoadImage, PlaySound and DrawText
// macros are in force while the engine's header is read and where it is used.
#include <windows.h>

#include <gtest/gtest.h>

#include <kelvora/kelvora.h>

using namespace kelvora;

TEST(WindowsHeaders, EngineNamesWorkWithWindowsHeaderFirst)
{
    EXPECT_EQ(LoadImage("no such image.png"), nullptr);
    EXPECT_EQ(kelvora::LoadImage("no such image.png", 0), nullptr);
    EXPECT_EQ(PlaySound(nullptr), nullptr);
    // Windows' own functions of those names are still there.
    EXPECT_EQ(::LoadImage(nullptr, "no such image.bmp", IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE), nullptr);
    void (*draw)(const std::string&, float, float) = &kelvora::DrawText;
    EXPECT_NE(draw, nullptr);
}
