#pragma once

#include <cstdint>

#include "platform/gdiplus/Gdiplus.h"
#include "platform/win/App.h"
#include "platform/win/CString.h"
#include "platform/win/CommandLine.h"

// The log-in given on the command line: the user id, then the stored password text.
// Nothing else on the command line has any effect.
class CTXCommandLineInfo : public CCommandLineInfo
{
  public:
    void ParseParam(LPCWSTR param, BOOL bFlag, BOOL bLast) override;

    CString m_strUserId;
    CString m_strPassword;
    UINT m_nParam = 0;
};

// The application object: one instance per user, one UI language for the whole run, and the
// main dialog run modally; the process ends when the dialog does.
class CKVTApp : public CWinApp
{
  public:
    CKVTApp();

    BOOL InitInstance() override;
    int ExitInstance() override;

    // 0 first instance, 1 another instance holds the lock, 2 the lock cannot be made.
    int CheckSingleInstance();
    // 1 when the running instance's main window was brought to the front, else 0.
    int ActivateRunningInstance();
    LANGID GetUILanguage();

    // The name of the single-instance lock.
    static constexpr const char16_t *kInstanceName = u"TX 7305 Vormatik is running now";

  private:
    Gdiplus::GdiplusStartupInput m_gdiplusStartupInput;
    std::uintptr_t m_gdiplusToken = 0;
};

// One of the four UI languages for a Windows language id: Chinese by its script, German,
// and English for everything else.
LANGID UILanguageOfLangId(LANGID langId);

// Restores this process's main window (titled string 258) when minimised and brings its last
// active pop-up to the front. A hidden window stays hidden: 0 then, and 0 without a window.
int ActivateOwnMainWindow();

// The first instance's socket (platform/win/InstanceChannel.h): activation by
// ActivateOwnMainWindow, copy-data requests and outside posts to the main window.
// false when it cannot be opened.
bool ListenForOtherInstances();
