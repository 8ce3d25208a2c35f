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
    EXPECT_EQ(parse_ok({"--scores", "HTTPS://Table.example:8090/k3d//"}).scores, "https://Table.example:8090/k3d");
    EXPECT_EQ(parse_ok({"--sc=http://[::1]:80"}).scores, "http://[::1]:80");
    EXPECT_EQ(parse_ok({"--scores=off"}).scores, "off");
    EXPECT_EQ(parse_ok({"--name", "  Zoë Ann "}).name, "Zoë Ann");
    std::string twenty;
    for (int i = 0; i < 20; ++i)
        twenty += "ë";  // 40 bytes, 20 characters
    EXPECT_EQ(parse_ok({"--name=" + twenty}).name, twenty);
}

TEST(Options, BadFormsAreRefusedNamingTheCulprit)
{
    const std::vector<std::pair<std::vector<std::string>, std::string>> bad = {
        {{"--bogus"}, "--bogus"},       {{"--window=0"}, "'0'"},      {{"--window=17"}, "'17'"},
        {{"--window=2x"}, "'2x'"},      {{"--window="}, "''"},        {{"--mute=1"}, "--mute"},
        {{"--record"}, "--record"},     {{"--re", "f"}, "ambiguous"}, {{"-w"}, "'-w'"},
        {{"play"}, "'play'"},           {{"--record=a", "--replay=b"}, "together"},
        {{"--scores=ftp://h"}, "http:// or https://"}, {{"--scores=http://"}, "no host"},
        {{"--scores=http://h:0"}, "port"},     {{"--scores=http://h:99999/"}, "port"},
        {{"--scores=http://h/?a=1"}, "query"}, {{"--scores=http://me:pw@h"}, "password"},
        {{"--scores=http://h x"}, "spaces"},   {{"--scores=http://h\n"}, "'http://h?'"},
        {{"--name="}, "1 to 20"},              {{"--name=   "}, "1 to 20"},
        {{"--name=a\tb"}, "control"},          {{"--name=a\xc2\x85"}, "control"},
        {{"--name=\xc3"}, "UTF-8"},            {{"--name=\xc0\xaf"}, "UTF-8"},
        {{"--name=\xed\xa0\x80"}, "UTF-8"},   {{"--name=" + std::string(21, 'x')}, "1 to 20"},
        {{"--replay=a", "--scores=off"}, "replay"},
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
