// A program for the start-up tests: it starts as the real one does, through AfxWinMain, and
// prints what became of its command line once it is running: its own argument memory as other
// users read it, the log-in parameters the program took, and whether Qt still saw its options.
#include "app/KVTApp.h"
#include "platform/sys/TextConvert.h"

#include <QGuiApplication>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

namespace
{
class CProbeApp : public CWinApp
{
  public:
    BOOL InitInstance() override
    {
        std::ifstream in("/proc/self/cmdline", std::ios::binary);
        std::string cmdline{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        for (char &c : cmdline)
            if (c == '\0')
                c = '|';
        CTXCommandLineInfo info;
        ParseCommandLine(info);
        std::printf("cmdline=%s\nuser=%s\npassword=%s\ncount=%u\nrtl=%d\n", cmdline.c_str(),
                    vxsys::Utf16ToUtf8(info.m_strUserId.str()).c_str(),
                    vxsys::Utf16ToUtf8(info.m_strPassword.str()).c_str(), info.m_nParam,
                    QGuiApplication::isRightToLeft() ? 1 : 0);
        std::fflush(stdout);
        return FALSE;
    }
};

CProbeApp theApp;
} // namespace

int main(int argc, char **argv)
{
    return AfxWinMain(argc, argv);
}
