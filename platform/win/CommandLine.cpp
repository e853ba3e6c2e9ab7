#include "platform/win/CommandLine.h"

#include <cstring>
#include <string>
#include <vector>

#include "platform/sys/TextConvert.h"
#include "platform/win/App.h"

namespace
{
std::vector<std::string> g_arguments;
} // namespace

void CCommandLineInfo::ParseParam(LPCWSTR, BOOL, BOOL) {}

void ParseCommandLine(int argc, const char *const *argv, CCommandLineInfo &info)
{
    if (!argv)
        return;
    for (int i = 1; i < argc; ++i)
    {
        const char *arg = argv[i] ? argv[i] : "";
        const bool flag = arg[0] == '-' || arg[0] == '/';
        const std::u16string text = vxsys::Utf8ToUtf16(flag ? arg + 1 : arg);
        info.ParseParam(text.c_str(), flag ? TRUE : FALSE, i + 1 == argc ? TRUE : FALSE);
    }
}

namespace vxwin
{
void SetCommandLine(int argc, const char *const *argv)
{
    g_arguments.clear();
    for (int i = 0; argv && i < argc; ++i)
        g_arguments.emplace_back(argv[i] ? argv[i] : "");
}

void WipeParameterTexts(int argc, char **argv)
{
    for (int i = 1; argv && i < argc; ++i)
    {
        char *arg = argv[i];
        if (!arg || arg[0] == '-' || arg[0] == '/')
            continue;
        explicit_bzero(arg, std::strlen(arg));
    }
}
} // namespace vxwin

void CWinApp::ParseCommandLine(CCommandLineInfo &info)
{
    std::vector<const char *> argv;
    for (const std::string &arg : g_arguments)
        argv.push_back(arg.c_str());
    ::ParseCommandLine(static_cast<int>(argv.size()), argv.data(), info);
}
