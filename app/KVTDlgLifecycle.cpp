#include "app/KVTDlg.h"

#include "app/DialogText.h"
#include "platform/sys/DataFolder.h"
#include "platform/sys/LocalTime.h"
#include "platform/win/Com.h"
#include "resources/Resources.h"
#include "store/KvtDatabase.h"
#include "ui/Calendar.h"
#include "ui/DataGraph.h"
#include "ui/UIStatic.h"

namespace
{
constexpr LANGID kTraditionalChinese = 1028;
constexpr WORD kImageLanguage = 1033;
constexpr UINT kBackgroundImage = 106;
constexpr UINT kIcon = 103;
constexpr UINT kAboutText = 101;

// The program's icon, made once and shared, as an icon loaded from the program's resources is:
// it is never destroyed, so every window that was given it may keep it.
HICON ProgramIcon()
{
    static const HICON icon = [] {
        const unsigned char *bits = nullptr;
        std::size_t size = 0;
        if (!vxres::LookupImage(u"ICON", kIcon, kImageLanguage, &bits, &size))
            return HICON{};
        return CreateIconFromResourceEx(bits, static_cast<DWORD>(size), TRUE, 0x00030000, 0, 0,
                                        LR_DEFAULTCOLOR);
    }();
    return icon;
}

} // namespace

CKVTDlg::CKVTDlg(LANGID language, CWnd *parent)
    : UIDialog(kDialogTemplate, parent), m_nLanguage(language),
      m_bNotTraditionalChinese(language != kTraditionalChinese ? TRUE : FALSE)
{
    m_hIcon = ProgramIcon();
    vxui::SetMainDialogSeam(this);
    m_strDistanceUnit = LoadStringText(166);
    m_strDistanceUnitShort = LoadStringText(166);
    m_strTimeUnit = LoadStringText(226);
}

CKVTDlg::~CKVTDlg()
{
    m_DeviceChanges.Stop();
    StopDeviceWatcher();
    m_pRunGraph.reset();
    m_pCalendar.reset();
    m_pGreeting.reset();
    m_aPageControls.clear();
    m_pDatabase.reset();
    // A watcher that was let go holds its own references to the device objects (through its
    // views of them), so the last user frees them, never this destructor under its feet.
    m_pWatcher.reset();
    m_pDevice.reset();
    m_pUsbIds.reset();
    m_pCommandSession.reset();
    m_aPagesBuffer.clear();
    if (m_bComInitialized)
        CoUninitialize();
    if (vxui::GetMainDialogSeam() == this)
        vxui::SetMainDialogSeam(nullptr);
}

void CKVTDlg::SetUpDataPaths()
{
    const std::u16string base = vxsys::AppDataFolder();
    if (base.empty())
        return; // the records store finds its own folder
    const CString pictureName = LoadStringText(208);
    std::u16string folder = base;
    if (folder.back() != u'/')
        folder += u'/';
    folder += u"Vormatik/";
    m_strSharePicturePath = CString(folder + pictureName.str());
    CopyText(m_szDataFolder, folder);
}

void CKVTDlg::AddAboutToSystemMenu()
{
    CMenu *systemMenu = GetSystemMenu(FALSE);
    if (!systemMenu)
        return;
    const CString about = LoadStringText(kAboutText);
    if (about.IsEmpty())
        return;
    systemMenu->AppendMenu(MF_SEPARATOR);
    systemMenu->AppendMenu(MF_STRING, IDM_ABOUTBOX, about);
}

BOOL CKVTDlg::OnInitDialog()
{
    UIDialog::OnInitDialog();

    AddAboutToSystemMenu();
    SetIcon(m_hIcon, TRUE);
    SetIcon(m_hIcon, FALSE);
    m_bComInitialized = SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED));

    SetUpDataPaths();
    SetWindowText(LoadStringText(258));

    SetBackgroundImage(kBackgroundImage, kImageLanguage);
    m_bEraseBackground = TRUE;

    m_pGreeting = std::make_unique<UIStatic>();
    m_pGreeting->SetFontStyle(Gdiplus::FontStyleBold);
    m_pGreeting->SetTextColor(0xFFFFFFFF);
    m_pGreeting->SetFontSize(18);
    m_pGreeting->Create(LoadStringText(156), CRect(35, 62, 225, 92), this, kGreetingId);

    for (std::size_t i = 0; i < m_strDayNames.size(); ++i)
        m_strDayNames[i] = LoadStringText(281 + static_cast<UINT>(i));

    m_pDatabase = std::make_unique<KvtDatabase>();
    m_pDevice = CreateDeviceWrapper();
    m_pUsbIds = std::make_shared<UsbIdPair>();
    m_pCommandSession = std::make_shared<DeviceCommandSession>();

    const bool watching = DeviceWorkerThread();
    m_DeviceChanges.Start(GetSafeHwnd());

    if (m_strCmdUser.IsEmpty() || m_strCmdPassword.IsEmpty())
    {
        ShowLoginView();
        ShowWindow(SW_SHOWNORMAL);
    }
    else
    {
        if (watching)
            WaitForFirstDeviceCheck();
        ShowWindow(SW_HIDE);
        PostMessage(WM_KVT_STARTUP);
    }
    return TRUE;
}

void CKVTDlg::OnOK()
{
    // Enter never closes the dialog.
    if (m_pfnEnterAction)
        m_pfnEnterAction(this);
}

void CKVTDlg::OnCancel()
{
    // Escape alone does nothing; only the close handling ends the dialog.
    if (m_bClosing)
        UIDialog::OnCancel();
}

void CKVTDlg::OnClose()
{
    m_bClosing = TRUE;
    m_DeviceChanges.Stop();
    if (m_pWatcher)
    {
        CWaitCursor wait;
        StopDeviceWatcher();
    }
    UIDialog::OnClose();
}

void CKVTDlg::CreateRunGraph()
{
    if (m_pRunGraph)
        m_pRunGraph->DestroyWindow();
    else
        m_pRunGraph = std::make_unique<CDataGraph>(&CKVTDlg::GraphPointCallback, &CKVTDlg::GraphPrevCallback,
                                                   &CKVTDlg::GraphNextCallback);
    m_pRunGraph->Create(u"", WS_CHILD | WS_VISIBLE | SS_NOTIFY, CRect(24, 115, 480, 307), this, kRunGraphId);
}

void CKVTDlg::ResetUserSession()
{
    CreateRunGraph();
    m_szUserId.fill(0);
    m_szDisplayName.fill(0);
    m_szFirstName.fill(0);
    m_szLastName.fill(0);
    m_szWebUser.fill(0);
    m_szWebPassword.fill(0);
    m_nHeightCm = 0;
    m_nWeightLb = 0;
    m_nUserHeightCm = 0;
    m_nWeightKg = 0;
    m_nAge = 0;
    m_nGender = 0;
    m_BirthDate = DateParts{};
    m_nHeightUnit = 0;
    m_nWeightUnit = 0;
    m_nStrideCm = 0;
    m_strDistanceUnit = CString();
    m_strDistanceUnitShort = CString();
    m_strTimeUnit = CString();
    // The container owns the pages' buffer: emptying it here leaves nothing for the
    // destructor to release a second time.
    m_aPagesBuffer.clear();
    m_aPagesBuffer.shrink_to_fit();
    // The next user starts on the first view of the graph, not on where the last one left it.
    m_nGraphPeriod = 0;
    m_nGraphMeasure = 0;
    m_nGraphForm = 0;
    m_bResetGraphScroll = FALSE;
    m_tGraphAnchor = 0;
    m_bHasHeartRate = FALSE;
    m_GoalSummary = GoalSummary{};
    m_nTotalDistance = 0;
    m_nTotalDuration = 0;
    m_nRunCount = 0;
    if (m_pRunGraph)
        m_pRunGraph->SetSelectedPoint(-1);
    if (m_pCalendar)
    {
        m_pCalendar->m_tSelected = vxsys::CurrentTime();
        m_pCalendar->m_tShown = m_pCalendar->m_tSelected;
        m_pCalendar->SetViewMode(0);
    }
    m_nCurrentView = KvtView::Home;
    m_szPassword.fill(0);
    m_bUserDateSet = FALSE;
    m_nWorkoutRecordCount = 0;
}
