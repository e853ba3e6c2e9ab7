#include "app/KVTApp.h"

#include <string>

#include "app/MainDialogRunner.h"
#include "app/Registry.h"
#include "platform/sys/InstanceLock.h"
#include "platform/sys/UserLanguage.h"
#include "platform/win/InstanceChannel.h"
#include "platform/win/Wnd.h"
#include "sharing/WebService.h"

namespace
{
constexpr UINT kIdsQuitOtherInstance = 257;
constexpr UINT kIdsMainTitle = 258;
constexpr LANGID kEnglish = 1033;

// The entry in that language, else the English one: an empty prompt tells the user nothing.
CString LoadStringOrEnglish(UINT id, LANGID language)
{
    CString text;
    if (!text.LoadString(AfxGetResourceHandle(), id, language))
        text.LoadString(AfxGetResourceHandle(), id, kEnglish);
    return text;
}
} // namespace

void CTXCommandLineInfo::ParseParam(LPCWSTR param, BOOL bFlag, BOOL)
{
    if (param && !bFlag)
    {
        if (m_nParam == 0)
            m_strUserId = param;
        else if (m_nParam == 1)
            m_strPassword = param;
    }
    ++m_nParam;
}

LANGID UILanguageOfLangId(LANGID langId)
{
    switch (langId & 0x3FF)
    {
    case 0x04:
        return (langId & 0xFC00) == 0x0800 ? 2052 : 1028;
    case 0x07:
        return 1031;
    default:
        return kEnglish;
    }
}

int ActivateOwnMainWindow()
{
    CWnd *main = AfxGetMainWnd();
    if (!main || !::IsWindow(main->GetSafeHwnd()) || !main->IsWindowVisible())
        return 0;
    CString title;
    main->GetWindowText(title);
    if (title.str() != LoadStringOrEnglish(kIdsMainTitle, kEnglish).str())
        return 0;
    if (main->IsIconic())
        main->ShowWindow(SW_RESTORE);
    vxwin::BringLastActivePopupToFront(main->GetSafeHwnd());
    return 1;
}

bool ListenForOtherInstances()
{
    // Copy-data requests and the messages other programs may post go to the main window of
    // the moment.
    return vxwin::ListenForActivation(vxsys::InstanceSocketPath(CKVTApp::kInstanceName),
                                      &ActivateOwnMainWindow, [] {
                                          CWnd *main = AfxGetMainWnd();
                                          return main ? main->GetSafeHwnd() : HWND{};
                                      });
}

CKVTApp::CKVTApp() = default;

BOOL CKVTApp::InitInstance()
{
    InitCommonControls();
    CWinApp::InitInstance();
    Gdiplus::GdiplusStartup(&m_gdiplusToken, &m_gdiplusStartupInput, nullptr);
    AfxEnableControlContainer();
    SetRegistryKey(u"Tarvex");

    const int instance = CheckSingleInstance();
    if (instance == 1 && ActivateRunningInstance() == 1)
        return FALSE;
    if (instance != 0)
    {
        // No UI language is chosen yet: the prompt speaks the user's own.
        const LANGID language = UILanguageOfLangId(GetUserDefaultLangID());
        const CString text = LoadStringOrEnglish(kIdsQuitOtherInstance, language);
        const CString caption = LoadStringOrEnglish(kIdsMainTitle, language);
        MessageBoxEx(nullptr, text, caption, MB_OK, language);
        return FALSE;
    }
    // Without the socket a second start cannot reach this instance and says so instead.
    ListenForOtherInstances();

    const LANGID language = GetUILanguage();
    // Texts for the on-line service travel in the code page of the language the person reads.
    WsSetLanguage(language);
    CTXCommandLineInfo cmdInfo;
    ParseCommandLine(cmdInfo);
    RunMainDialog(language, cmdInfo.m_strUserId, cmdInfo.m_strPassword);
    vxwin::StopListening();
    return FALSE;
}

int CKVTApp::ExitInstance()
{
    Gdiplus::GdiplusShutdown(m_gdiplusToken);
    m_gdiplusToken = 0;
    return CWinApp::ExitInstance();
}

int CKVTApp::CheckSingleInstance()
{
    switch (vxsys::AcquireInstanceLock(kInstanceName))
    {
    case vxsys::InstanceLockResult::First:
        return 0;
    case vxsys::InstanceLockResult::Another:
        return 1;
    default:
        return 2;
    }
}

int CKVTApp::ActivateRunningInstance()
{
    // Inside the first instance itself, a round trip through its own socket would wait on
    // the very thread that has to answer it.
    if (vxsys::HoldsInstanceLock(kInstanceName))
        return ActivateOwnMainWindow();
    const std::string socket = vxsys::InstanceSocketPath(kInstanceName);
    return socket.empty() ? 0 : vxwin::RequestActivation(socket);
}

LANGID CKVTApp::GetUILanguage()
{
    CRegistry registry(HKEY_LOCAL_MACHINE);
    std::u16string text;
    if (registry.GetString(u"Software\\Tarvex\\Vormatik", u"LanguageID", text))
    {
        if (text == u"0x0007")
            return 1031;
        if (text == u"0x0804")
            return 2052;
        if (text == u"0x0404")
            return 1028;
        return kEnglish;
    }
    return UILanguageOfLangId(GetUserDefaultLangID());
}
