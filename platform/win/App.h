#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "platform/win/WinTypes.h"

class CWnd;
class CCommandLineInfo;

// The application object: the one CWinApp of the process registers itself on construction.
class CWinApp
{
  public:
    CWinApp();
    virtual ~CWinApp();
    CWinApp(const CWinApp &) = delete;
    CWinApp &operator=(const CWinApp &) = delete;

    virtual BOOL InitInstance();
    virtual int ExitInstance();
    // Hands the process's arguments (see vxwin::SetCommandLine) to info.
    void ParseCommandLine(CCommandLineInfo &info);
    // The per-user profile key's company name; nothing reads or writes below it.
    void SetRegistryKey(LPCWSTR company);
    const std::u16string &GetRegistryKey() const { return m_registryKey; }

    CWnd *m_pMainWnd = nullptr;
    HINSTANCE m_hInstance = nullptr;

  private:
    std::u16string m_registryKey;
};

CWinApp *AfxGetApp();
CWnd *AfxGetMainWnd();
HINSTANCE AfxGetInstanceHandle();
HINSTANCE AfxGetResourceHandle();

// Starts Qt, puts numbers back in the C locale, runs InitInstance and, when it returns
// FALSE (no message loop of the application's own), ExitInstance; the result is the exit code.
int AfxWinMain(int argc, char **argv);

// Control containment and the common controls need no setting up here; they are called where
// the program always called them.
void AfxEnableControlContainer();
BOOL InitCommonControls();

// ---- Message boxes ----------------------------------------------------------------------

int MessageBoxEx(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type, WORD language);
int MessageBox(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type);
int AfxMessageBox(LPCWSTR text, UINT type = MB_OK, UINT helpId = 0);

namespace vxwin
{
struct MessageBoxRequest
{
    HWND owner;
    std::u16string text;
    std::u16string caption;
    UINT type;
    WORD language;
};
// While a hook is set, message boxes are handed to it instead of being shown, and its result
// is the button pressed. An empty function removes the hook.
using MessageBoxHook = std::function<int(const MessageBoxRequest &)>;
void SetMessageBoxHook(MessageBoxHook hook);

// The language of the buttons of message boxes that do not name one (1033 until set).
void SetDefaultLanguage(WORD language);
WORD GetDefaultLanguage();

// The caption of a message-box button (IDOK, IDCANCEL, IDYES, IDNO) in one of the four
// interface languages; English for any other.
std::u16string ButtonText(int id, WORD language);

// ---- Sleep ----------------------------------------------------------------------------
// While a hook is set, Sleep hands the milliseconds to it instead of sleeping.
using SleepHook = std::function<void(DWORD milliseconds)>;
void SetSleepHook(SleepHook hook);

// ---- Clipboard ------------------------------------------------------------------------
// The clipboard's text; false when it holds none.
bool GetClipboardText(std::u16string &text);
bool SetClipboardText(std::u16string_view text);

// ---- Wait cursor ----------------------------------------------------------------------
// How many wait-cursor guards are active.
int WaitCursorDepth();
} // namespace vxwin

void Sleep(DWORD milliseconds);

constexpr UINT CF_TEXT = 1;
constexpr UINT CF_UNICODETEXT = 13;
// One owner at a time: opening fails while the clipboard is open.
BOOL OpenClipboard(HWND owner);
BOOL CloseClipboard();
BOOL IsClipboardFormatAvailable(UINT format);

// Shows the wait cursor for as long as it lives.
class CWaitCursor
{
  public:
    CWaitCursor();
    ~CWaitCursor();
    CWaitCursor(const CWaitCursor &) = delete;
    CWaitCursor &operator=(const CWaitCursor &) = delete;
    void Restore();

  private:
    bool m_active = false;
};
