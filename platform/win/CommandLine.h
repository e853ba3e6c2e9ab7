#pragma once

#include "platform/win/WinTypes.h"

// The framework's command-line record: the parser hands it each parameter in turn.
class CCommandLineInfo
{
  public:
    virtual ~CCommandLineInfo() = default;
    // param is the parameter's text, without its leading '-' or '/' when it is a flag.
    virtual void ParseParam(LPCWSTR param, BOOL bFlag, BOOL bLast);
};

// Hands every argument after argv[0] to info in order. An argument that starts with '-' or
// '/' is a flag; bLast is set on the last one. Arguments are read as UTF-8.
void ParseCommandLine(int argc, const char *const *argv, CCommandLineInfo &info);

namespace vxwin
{
// The process's arguments as given to AfxWinMain; CWinApp::ParseCommandLine reads them.
void SetCommandLine(int argc, const char *const *argv);

// Overwrites with zero bytes, in place, the text of every argument after the program name that is
// no flag (the user id and the stored password text among them), so that other local users no
// longer see it in the process's argument memory. Flags and the program name stay.
void WipeParameterTexts(int argc, char **argv);
} // namespace vxwin
