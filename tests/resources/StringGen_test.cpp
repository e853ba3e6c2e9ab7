#include "tests/support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace
{
struct ToolRun
{
    int status;
    std::string output;
};

// Runs the string-table compiler on one English file with the given content.
ToolRun Compile(const std::string &content)
{
    const std::string dir = vxtest::MakeTempDir("strgen");
    {
        std::ofstream in(dir + "/1033.txt", std::ios::binary);
        in << content;
    }
    const std::string out = dir + "/out.cpp";
    const std::string command =
        std::string("'") + VX_STRING_GEN + "' '" + out + "' '1033=" + dir + "/1033.txt' 2>/dev/null";
    ToolRun run{std::system(command.c_str()), ""};
    std::ifstream result(out, std::ios::binary);
    std::ostringstream text;
    text << result.rdbuf();
    run.output = text.str();
    return run;
}
} // namespace

TEST(StringGen, EscapesBecomeControlCharactersAndTextBecomesUtf16)
{
    const ToolRun run = Compile(
        "# a comment\n\n100\tLine one\\nLine two\\tTab \\\\ \"q\"?\n101\tGr\xC3\xB6\xC3\x9F\xE6\x96\x87\n");
    ASSERT_EQ(run.status, 0);
    EXPECT_NE(run.output.find(
                  "{1033, 100, u\"Line one\\x000A\" u\"Line two\\x0009\" u\"Tab \\\\ \\\"q\\\"\\?\", 28}"),
              std::string::npos)
        << run.output;
    EXPECT_NE(run.output.find("{1033, 101, u\"Gr\\u00F6\\u00DF\\u6587\", 5}"), std::string::npos)
        << run.output;
    EXPECT_NE(run.output.find("kStringCount = 2;"), std::string::npos);
}

TEST(StringGen, CharactersBeyondTheBasicPlaneBecomeSurrogatePairs)
{
    const ToolRun run = Compile("7\t\xF0\x9F\x8F\x83\n");
    ASSERT_EQ(run.status, 0);
    EXPECT_NE(run.output.find("u\"\\xD83C\" u\"\\xDFC3\" u\"\", 2}"), std::string::npos) << run.output;
}

TEST(StringGen, MalformedTablesStopTheBuild)
{
    const char *bad[] = {
        "100 no tab\n",          // no tab
        "1x\ttext\n",            // id not a number
        "100\tone\n100\ttwo\n",  // id twice
        "100\tbad \\q escape\n", // unknown escape
        "100\tends in \\\n",     // lone backslash
        "100\t\xC3\n",           // cut UTF-8
        "100\t\xC0\xAF\n",       // overlong UTF-8
        "100\t\xED\xA0\x80\n",   // encoded surrogate
        "70000\ttoo big\n",      // id out of range
        "100\traw\ttab\n",       // raw tab inside the text
    };
    for (const char *content : bad)
        EXPECT_NE(Compile(content).status, 0) << content;
}
