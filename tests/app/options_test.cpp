// The command line: what each accepted form sets, and that every bad form is
// refused with a message naming it.
#include <gtest/gtest.h>

#include "app/options.h"

namespace {

game_options parse_ok(const std::vector<std::string>& args)
{
    game_options o;
    std::string error;
    EXPECT_TRUE(parse_game_options(args, o, error)) << error;
    return o;
}

TEST(Options, LongFormsValuesAndAbbreviations)
{
    EXPECT_FALSE(parse_ok({}).window);
    auto o = parse_ok({"--window"});
    EXPECT_TRUE(o.window);
    EXPECT_EQ(o.window_scale, 0);
    o = parse_ok({"--window=3", "--mute"});
    EXPECT_EQ(o.window_scale, 3);
    EXPECT_TRUE(o.mute);
    EXPECT_FALSE(parse_ok({"--window=2", "--fullscreen"}).window) << "the last one wins";
    EXPECT_EQ(parse_ok({"--rec", "run.txt"}).record, "run.txt");
    EXPECT_EQ(parse_ok({"--replay=a b"}).replay, "a b");
    EXPECT_TRUE(parse_ok({"--vers"}).version);
    EXPECT_EQ(parse_ok({"--", "--bogus"}).help, false) << "-- ends the options";
}

TEST(Options, BadFormsAreRefusedNamingTheCulprit)
{
    const std::vector<std::pair<std::vector<std::string>, std::string>> bad = {
        {{"--bogus"}, "--bogus"},       {{"--window=0"}, "'0'"},      {{"--window=17"}, "'17'"},
        {{"--window=2x"}, "'2x'"},      {{"--window="}, "''"},        {{"--mute=1"}, "--mute"},
        {{"--record"}, "--record"},     {{"--re", "f"}, "ambiguous"}, {{"-w"}, "'-w'"},
        {{"play"}, "'play'"},           {{"--record=a", "--replay=b"}, "together"},
    };
    for (const auto& [args, named] : bad) {
        game_options o;
        std::string error;
        EXPECT_FALSE(parse_game_options(args, o, error)) << args[0];
        EXPECT_NE(error.find(named), std::string::npos) << error;
        EXPECT_EQ(error.find('\n'), std::string::npos) << "one line: " << error;
    }
}

}  // namespace
