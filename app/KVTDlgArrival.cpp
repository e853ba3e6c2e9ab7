#include "app/KVTDlg.h"

#include <algorithm>
#include <string>

#include "app/DialogText.h"
#include "device/DeviceClock.h"
#include "device/DeviceMutex.h"
#include "device/WorkoutImporter.h"
#include "sharing/RunUpload.h"
#include "sharing/WebService.h"
#include "store/KvtDatabase.h"
#include "store/PackedDate.h"
#include "ui/ContinueCancelDlg2.h"
#include "ui/UIStatic.h"

// The road from a log-in or a connected monitor to the home page: the device check, the upload
// prompt, the import, the web sync, the date prompt and the pages that erase abnormal data.

namespace
{
constexpr int kDeviceWaitSleeps = 20;
constexpr DWORD kDeviceWaitStepMs = 500;
// The login fields are read up to this many characters.
constexpr int kLoginFieldChars = 20;
constexpr std::uint8_t kWeightUnitPounds = 6;
constexpr std::uint8_t kHidStateNotReady = 3;

// Texts.
constexpr UINT kKmText = 166;
constexpr UINT kMilesText = 179;
constexpr UINT kHelloText = 156;
constexpr UINT kUploadTitleText = 442;
constexpr UINT kUploadQuestionText = 443;
constexpr UINT kYesText = 452;
constexpr UINT kNoText = 399;
constexpr UINT kMismatchTitleText = 349;
constexpr UINT kMismatchText = 438;
constexpr UINT kReloginQuestionText = 487;
constexpr UINT kAddDeviceText = 328;
constexpr UINT kReloginText = 414;
constexpr UINT kExitText = 361;
constexpr UINT kAbnormalDataText = 255;
constexpr UINT kLogOutText = 378;
constexpr UINT kEraseText = 356;
constexpr UINT kWarningTitleText = 446;
constexpr UINT kEraseWarningText = 265;
constexpr UINT kProceedText = 412;
constexpr UINT kCancelText = 340;
constexpr UINT kWrongWebCredentialsText = 579;
constexpr UINT kDatePromptTitle = 709;
constexpr UINT kDatePromptText = 710;
constexpr UINT kEraseDisconnectedText = 272;
constexpr UINT kEraseFailedText = 273;

// Colours.
constexpr ARGB kStatusColour = 0xFFDA251D;
constexpr ARGB kBodyTextColour = 0xFF838281;
constexpr ARGB kTitleColour = 0xFF383431;

// Pictures (language 1033) and the button faces: normal, disabled, pressed, hover.
constexpr UINT kDevicePicture = 477;
constexpr UINT kSidePicture = 118;
constexpr UINT kWarningPicture = 488;
constexpr UINT kFaceNormal = 476;
constexpr UINT kFaceDisabled = 476;
constexpr UINT kFacePressed = 474;
constexpr UINT kFaceHover = 475;

// Controls of the flow's pages. The upload prompt's title and question have no fixed ids elsewhere;
// they take the two below its buttons.
constexpr UINT kUploadTitleId = 1041;
constexpr UINT kUploadQuestionId = 1042;
constexpr UINT kUploadYesId = 1043;
constexpr UINT kUploadNoId = 1044;
constexpr UINT kUploadPictureId = 1045;
constexpr UINT kMismatchPictureId = 1064;
constexpr UINT kMismatchTitleId = 1250;
constexpr UINT kMismatchTextId = 1251;
constexpr UINT kMismatchQuestionId = 1252;
constexpr UINT kSidePictureId = 1008;
constexpr UINT kLogOutId = 1093;
constexpr UINT kWarningPictureId = 1188;
constexpr UINT kProceedId = 1189;
constexpr UINT kCancelId = 1190;
constexpr UINT kEraseId = 1191;
constexpr UINT kReloginId = 1196;
constexpr UINT kAddDeviceId = 1197;
constexpr UINT kExitId = 1195;
constexpr UINT kEraseWarningTextId = 1200;
constexpr UINT kWarningTitleId = 1253;

// The stored identity is read into a buffer of this many characters.
constexpr std::uint32_t kStoredIdentitySize = 100;

void WithMainDialog(void (CKVTDlg::*action)())
{
    if (CKVTDlg *dlg = CKVTDlg::FromMainWindow())
        (dlg->*action)();
}
} // namespace

// ---- steps the flows share ------------------------------------------------------------------

void CKVTDlg::WaitWhileDeviceCheckPending()
{
    CWaitCursor wait;
    for (int sleeps = 0; PendingDeviceChecks() != 0 && sleeps < kDeviceWaitSleeps; ++sleeps)
        Sleep(kDeviceWaitStepMs);
}

void CKVTDlg::RequestDeviceCheckAndWait()
{
    if (!m_pWatcher)
        return;
    CWaitCursor wait;
    m_pWatcher->RequestCheck();
    WaitWhileDeviceCheckPending();
}

void CKVTDlg::PostNoDevicePrompt()
{
    UINT message = WM_KVT_DEVICE_NOT_DETECTED;
    if (m_bHidAnswered)
        message = m_nHidState == kHidStateNotReady ? WM_KVT_DEVICE_NOT_READY : WM_KVT_DONGLE_ONLY;
    PostMessage(message);
}

void CKVTDlg::SetClockByDeviceType()
{
    if (!m_pDevice || !m_pCommandSession)
        return;
    CWaitCursor wait;
    // A clock that could not be set is not worth telling the user about.
    SetDeviceClock(*m_pDevice, *m_pCommandSession);
}

void CKVTDlg::SetDisplayName(const char16_t *firstName, const char16_t *lastName)
{
    // Chinese names put the family name first.
    const bool familyFirst = m_nLanguage == 2052 || m_nLanguage == 1028;
    CString name;
    name.Format(u"%s %s", familyFirst ? lastName : firstName, familyFirst ? firstName : lastName);
    CopyText(m_szDisplayName, name.str());
}

void CKVTDlg::SetDistanceUnit(BOOL metric)
{
    m_bMetric = metric ? TRUE : FALSE;
    m_strDistanceUnit = LoadStringText(metric ? kKmText : kMilesText);
}

void CKVTDlg::LoadLoggedInUser()
{
    m_bLoggedIn = TRUE;
    std::array<char16_t, kTextSize> first{};
    std::array<char16_t, kTextSize> last{};
    std::uint8_t gender = 0, age = 0, heightUnit = 0, weight = 0, weightUnit = 0;
    std::uint16_t height = 0;
    DateParts birth{};
    if (m_pDatabase && m_pDatabase->GetUser(first.data(), kTextSize, last.data(), kTextSize, &gender, &birth,
                                            &age, &height, &heightUnit, &weight, &weightUnit))
    {
        first.back() = u'\0';
        last.back() = u'\0';
        m_szFirstName = first;
        m_szLastName = last;
        SetDisplayName(first.data(), last.data());
        m_nGender = gender;
        m_BirthDate = birth;
        m_nHeightUnit = heightUnit;
        m_nWeightUnit = weightUnit;
        m_nAge = vxtime::AgeFromPackedDate(vxtime::PackDate(birth));
        SetDistanceUnit(weightUnit != kWeightUnitPounds ? TRUE : FALSE);
        m_nUserHeightCm = height;
        m_nHeightCm = height;
        m_nWeightKg = weight;
    }
    else
    {
        m_szDisplayName = m_szUserId;
    }
    m_szPassword.back() = u'\0';
    m_szWebUser.fill(u'\0');
    m_szWebPassword.fill(u'\0');
    if (m_pDatabase && m_pDatabase->HasFacebookInfo() == 1)
    {
        if (!m_pDatabase->GetFacebookInfo(m_szWebUser.data(), kTextSize, m_szWebPassword.data(), kTextSize))
        {
            m_szWebUser.fill(u'\0');
            m_szWebPassword.fill(u'\0');
        }
        m_szWebUser.back() = u'\0';
        m_szWebPassword.back() = u'\0';
    }
}

void CKVTDlg::ShowImportFailure(int result)
{
    switch (result)
    {
    case kImportDatesRejected:
        PostMessage(WM_KVT_ASK_DATE);
        break;
    case kImportNoDevice:
        ShowUploadDisconnectedView();
        break;
    case kImportMalformed:
        ShowAbnormalDataView();
        break;
    case kImportOtherMonitor:
        ShowDeviceMismatchView();
        break;
    default:
        ShowRetrieveErrorView();
        break;
    }
}

void CKVTDlg::SyncRunsAndShowHome()
{
    if (m_pDatabase && m_pDatabase->HasFacebookInfo() == 1 && IsInternetReachable(0, 1) == 1)
    {
        const int accepted = WsCheckFacebookLogin(m_szWebUser.data(), m_szWebPassword.data());
        if (accepted == 0)
        {
            const std::weak_ptr<int> life = LifeToken();
            ShowProfileView();
            if (!life.expired())
                ShowStatusText(kWrongWebCredentialsText);
            return;
        }
        if (accepted > 0 && UploadRuns() == 0)
            PostMessage(WM_KVT_WEBAPP_UPDATE_FAILED);
    }
    ShowHomeView();
}

// ---- the import and the upload ----------------------------------------------------------------

WorkoutProfile CKVTDlg::OwnerProfile() const
{
    return WorkoutProfile{TextOf(m_szFirstName),
                          TextOf(m_szLastName),
                          static_cast<std::uint8_t>(m_nAge),
                          static_cast<std::uint8_t>(m_nGender),
                          static_cast<std::uint16_t>(m_nUserHeightCm),
                          static_cast<std::uint8_t>(m_nWeightKg)};
}

int CKVTDlg::ImportWorkouts()
{
    WorkoutImportContext context;
    {
        // The watcher writes the wrapper's fields and the ID pair under the device mutex.
        DeviceLock lock(DeviceMutex());
        if (m_pDevice)
            context.deviceType = m_pDevice->GetDeviceType();
        if (m_pUsbIds)
            context.usbIds = *m_pUsbIds;
    }
    context.deviceFound = m_bDeviceFound != FALSE;
    // The import ends by emptying the monitor's file: never on someone else's monitor, whichever
    // page or retry led here with whichever monitor plugged in since.
    if (FoundMonitorIsAnothers())
        return kImportOtherMonitor;
    context.driveLetter = static_cast<char>(m_chDriveLetter);
    context.extendedHeader = m_nDeviceTableFlag != 0;
    context.hidSession = m_pCommandSession.get();
    context.firmware = m_FirmwareVersion;
    context.loggedIn = m_bLoggedIn && m_pDatabase && m_pDatabase->IsLoggedIn();
    context.database = m_pDatabase.get();
    context.owner = OwnerProfile();
    context.dataFolder = TextOf(m_szDataFolder);
    context.profile = m_ProfileSettings;
    context.settings = m_DeviceSettings;
    context.languages = m_aLanguageList;
    context.validation.extendedHeader = context.extendedHeader;
    context.validation.userDateSet = m_bUserDateSet != FALSE;
    context.validation.userDate = vxtime::UnpackDate(m_nEnteredDate);
    // The entered date belongs to this one import: kept, it would re-date every later import of the
    // connection, and re-dated records pass no date check at all.
    m_bUserDateSet = FALSE;
    if (!context.database)
        return context.deviceFound ? kImportMalformed : kImportNoDevice;

    const int result = ::ImportWorkouts(context);
    m_ProfileSettings = context.profile;
    m_DeviceSettings = context.settings;
    m_aLanguageList = std::move(context.languages);
    m_FirmwareVersion = context.firmware;
    m_nWorkoutRecordCount = context.validation.recordCount;
    m_LastRunDate = context.validation.lastRunDate;
    m_LastRunTime = context.validation.lastRunTime;
    return result;
}

int CKVTDlg::UploadRuns()
{
    return ::UploadRuns(m_pDatabase.get(), m_szWebUser.data(), m_szWebPassword.data());
}

// ---- log-in ---------------------------------------------------------------------------------

void CKVTDlg::OnLogin()
{
    std::u16string user;
    std::u16string password;
    if (CWnd *field = GetDlgItem(kLoginNameId))
    {
        CString text;
        field->GetWindowText(text);
        user = text.str().substr(0, kLoginFieldChars);
    }
    if (CWnd *field = GetDlgItem(kLoginPasswordId))
    {
        CString text;
        field->GetWindowText(text);
        password = text.str().substr(0, kLoginFieldChars);
    }
    CopyText(m_szUserId, user);
    if (!m_pDatabase || m_pDatabase->Login(m_szUserId.data(), password.c_str()) != 1)
    {
        m_bLoggedIn = FALSE;
        m_bImported = FALSE;
        ShowLoginErrorView();
        return;
    }
    CopyText(m_szPassword, password);
    LoadLoggedInUser();

    RequestDeviceCheckAndWait();
    TakeFoundDevice();
    if (!m_bDeviceFound)
    {
        PostNoDevicePrompt();
        return;
    }
    bool unreadable = false;
    const bool matching = DeviceMatchesStoredIdentity(&unreadable);
    if (unreadable)
    {
        ShowHomeView();
        return;
    }
    SetClockByDeviceType();
    if (matching)
        ShowUploadPromptView();
    else
        ShowDeviceMismatchView();
}

void CKVTDlg::LoginWithPassword(const char16_t *userId, const char16_t *password)
{
    if (!userId || !password || !m_pDatabase || m_pDatabase->Login(userId, password) != 1)
    {
        ShowLoginView();
        return;
    }
    CopyText(m_szUserId, userId);
    CopyText(m_szPassword, password);
    LoadLoggedInUser();

    TakeFoundDevice();
    if (!m_bDeviceFound)
    {
        PostNoDevicePrompt();
        return;
    }
    // The import at once is for the user's own monitor only; one that is not (or cannot be told)
    // goes the way the Login button's does.
    bool unreadable = false;
    const bool matching = DeviceMatchesStoredIdentity(&unreadable);
    if (unreadable)
    {
        ShowUploadPromptView();
        return;
    }
    if (!matching)
    {
        ShowDeviceMismatchView();
        return;
    }
    int result = 0;
    {
        CWaitCursor wait;
        result = ImportWorkouts();
    }
    if (result != kImportDone)
    {
        ShowImportFailure(result);
        return;
    }
    m_bImported = TRUE;
    ShowHomeView();
}

// ---- the upload prompt and the date prompt -----------------------------------------------------

void CKVTDlg::OnUploadYes()
{
    CWaitCursor wait;
    const int result = ImportWorkouts();
    if (result != kImportDone)
    {
        wait.Restore();
        ShowImportFailure(result);
        return;
    }
    m_bImported = TRUE;
    SyncRunsAndShowHome();
}

void CKVTDlg::OnUploadNo()
{
    CWaitCursor wait;
    const std::weak_ptr<int> life = LifeToken();
    SyncRunsAndShowHome();
    if (!life.expired())
        m_bImported = FALSE;
}

void CKVTDlg::AskLastRunDate()
{
    const std::weak_ptr<int> life = LifeToken();
    INT_PTR result = IDCANCEL;
    {
        CContinueCancelDlg2 prompt(m_nLanguage, this);
        prompt.m_nTitleId = kDatePromptTitle;
        prompt.m_nTextId = kDatePromptText;
        m_pDateDlg = &prompt;
        result = prompt.DoModal();
        if (life.expired())
            return;
        m_pDateDlg = nullptr;
    }
    if (result != IDOK)
    {
        ShowUploadPromptView();
        return;
    }
    CWaitCursor wait;
    m_bUserDateSet = TRUE;
    OnUploadYes();
}

// ---- the error pages' actions -----------------------------------------------------------------

void CKVTDlg::OnErrorRetry()
{
    // A check already asked for (the monitor plugged in again) is waited for; no new one is asked.
    WaitWhileDeviceCheckPending();
    TakeFoundDevice();
    OnUploadYes();
}

void CKVTDlg::OnContinueToHome()
{
    if (m_pPromptDlg)
        m_pPromptDlg->EndDialog(IDOK);
    ShowHomeView();
}

void CKVTDlg::OnSaveErrorRetry()
{
    CWaitCursor wait;
    if (WriteDeviceSettings(false))
        ShowUploadPromptView();
}

void CKVTDlg::OnAddDeviceToAccount()
{
    CWaitCursor wait;
    char16_t stored[kStoredIdentitySize] = {};
    bool registered = false;
    if (m_bDeviceFound && m_pDatabase && m_pDatabase->GetDeviceSerialNo(stored, kStoredIdentitySize) &&
        stored[0] != u'\0')
    {
        registered = m_pDatabase->SetDeviceSerialNo(FoundIdentity().c_str()) == 1;
    }
    wait.Restore();
    if (registered)
        ShowUploadPromptView();
    else
        ShowRegisterDeviceFailed();
}

void CKVTDlg::OnErase()
{
    ShowEraseWarningView();
}

void CKVTDlg::OnEraseWarningCancel()
{
    ShowAbnormalDataView();
}

void CKVTDlg::OnEraseProceed()
{
    CWaitCursor wait;
    TakeFoundDevice();
    if (!m_bDeviceFound)
    {
        ShowStatusTextMultiLine(kEraseDisconnectedText);
        return;
    }
    if (!WriteDeviceSettings(true))
    {
        ShowStatusTextMultiLine(kEraseFailedText);
        return;
    }
    m_bImported = TRUE;
    wait.Restore();
    ShowHomeView();
}

// ---- the pages ------------------------------------------------------------------------------

void CKVTDlg::ShowUploadPromptView()
{
    BeginPage(TRUE, kHelloText);
    AddPageLabel(kUploadTitleText, CRect(160, 160, 600, 190), kUploadTitleId, kTitleColour, 18);
    AddPageLabel(kUploadQuestionText, CRect(160, 200, 600, 240), kUploadQuestionId, kBodyTextColour, 12, 0,
                 TRUE);
    AddPagePicture(kDevicePicture, CRect(80, 150, 144, 214), kUploadPictureId);
    AddPageButton(kYesText, CRect(210, 300, 295, 323), kUploadYesId, kFaceNormal, kFaceDisabled, kFacePressed,
                  kFaceHover, [] { WithMainDialog(&CKVTDlg::OnUploadYes); });
    AddPageButton(kNoText, CRect(310, 300, 395, 323), kUploadNoId, kFaceNormal, kFaceDisabled, kFacePressed,
                  kFaceHover, [] { WithMainDialog(&CKVTDlg::OnUploadNo); });
    AddPagePicture(kSidePicture, CRect(480, 330, 680, 460), kSidePictureId);
    AddCloseButton();
    EndPage();
}

void CKVTDlg::ShowDeviceMismatchView()
{
    BeginPage(TRUE, 0);
    AddPagePicture(kDevicePicture, CRect(80, 150, 144, 214), kMismatchPictureId);
    AddPageLabel(kMismatchTitleText, CRect(160, 160, 600, 190), kMismatchTitleId, kStatusColour, 18);
    AddPageLabel(kMismatchText, CRect(160, 200, 640, 220), kMismatchTextId, kBodyTextColour, 12);
    AddPageLabel(kReloginQuestionText, CRect(160, 225, 640, 245), kMismatchQuestionId, kBodyTextColour, 12);
    AddPageButton(kAddDeviceText, CRect(160, 300, 245, 323), kAddDeviceId, kFaceNormal, kFaceDisabled,
                  kFacePressed, kFaceHover, [] { WithMainDialog(&CKVTDlg::OnAddDeviceToAccount); });
    AddPageButton(kReloginText, CRect(260, 300, 345, 323), kReloginId, kFaceNormal, kFaceDisabled,
                  kFacePressed, kFaceHover, &CKVTDlg::OnReloginContinue);
    AddPageButton(kExitText, CRect(360, 300, 445, 323), kExitId, kFaceNormal, kFaceDisabled, kFacePressed,
                  kFaceHover, &CKVTDlg::OnCloseButton);
    AddCloseButton();
    EndPage();
}

void CKVTDlg::ShowAbnormalDataView()
{
    BeginPage(TRUE, 0);
    AddPageLabel(kAbnormalDataText, CRect(160, 150, 640, 210), kStatusLineId, kStatusColour, 12, 0, TRUE);
    AddPageButton(kLogOutText, CRect(210, 300, 295, 323), kLogOutId, kFaceNormal, kFaceDisabled, kFacePressed,
                  kFaceHover, [] { WithMainDialog(&CKVTDlg::DoLogOut); });
    AddPageButton(kEraseText, CRect(310, 300, 395, 323), kEraseId, kFaceNormal, kFaceDisabled, kFacePressed,
                  kFaceHover, [] { WithMainDialog(&CKVTDlg::OnErase); });
    AddPagePicture(kSidePicture, CRect(480, 330, 680, 460), kSidePictureId);
    // The bar is drawn, but no page may be left until the abnormal data is dealt with.
    BuildNavigationBarFor(NavigationPage::Blocked);
    AddCloseButton();
    EndPage();
}

void CKVTDlg::ShowEraseWarningView()
{
    BeginPage(TRUE, 0);
    AddPagePicture(kWarningPicture, CRect(80, 150, 144, 214), kWarningPictureId);
    AddPageLabel(kWarningTitleText, CRect(160, 150, 600, 180), kWarningTitleId, kStatusColour, 18);
    AddPageLabel(kEraseWarningText, CRect(160, 190, 640, 270), kEraseWarningTextId, kBodyTextColour, 12, 0,
                 TRUE);
    AddPageButton(kLogOutText, CRect(160, 300, 245, 323), kLogOutId, kFaceNormal, kFaceDisabled, kFacePressed,
                  kFaceHover, [] { WithMainDialog(&CKVTDlg::DoLogOut); });
    AddPageButton(kProceedText, CRect(260, 300, 345, 323), kProceedId, kFaceNormal, kFaceDisabled,
                  kFacePressed, kFaceHover, [] { WithMainDialog(&CKVTDlg::OnEraseProceed); });
    AddPageButton(kCancelText, CRect(360, 300, 445, 323), kCancelId, kFaceNormal, kFaceDisabled, kFacePressed,
                  kFaceHover, [] { WithMainDialog(&CKVTDlg::OnEraseWarningCancel); });
    BuildNavigationBarFor(NavigationPage::Blocked);
    AddCloseButton();
    EndPage();
}
