#include "app/KVTDlg.h"

#include <algorithm>

#include "app/DialogText.h"
#include "device/DeviceMutex.h"
#include "device/DeviceSettingsWriter.h"
#include "ui/PromptDialogs.h"
#include "ui/UIDeviceSettingDlg.h"

namespace
{
// Where the page lies in the dialog before its picture sizes it.
const CRect kDeviceSettingPageRect(79, 120, 579, 620);

constexpr UINT kStepDistanceText = 560;
constexpr UINT kSaveToDeviceFailedText = 552;

// The monitor takes step lengths of 10 to 255 cm; the same bounds as the inch values a user can type
// for them.
constexpr int kStepMinCm = 10;
constexpr int kStepMaxCm = 255;
constexpr int kStepMinInches = 4;
constexpr int kStepMaxInches = 100;

bool StepLengthAcceptable(std::uint16_t centimetres)
{
    return centimetres >= kStepMinCm && centimetres <= kStepMaxCm;
}

// The message prompt with a text of its own: string 560 with the bounds filled in.
class StepDistanceMessageDlg : public CMessageDlg
{
  public:
    StepDistanceMessageDlg(WORD language, CWnd *parent, CString text)
        : CMessageDlg(language, parent), m_strText(std::move(text))
    {
    }

    BOOL OnInitDialog() override
    {
        const BOOL result = CMessageDlg::OnInitDialog();
        if (UIStatic *message = GetMessageLabel())
            message->SetText(m_strText.GetString());
        return result;
    }

  private:
    CString m_strText;
};

} // namespace

bool CKVTDlg::WriteDeviceSettings(bool freshHeader)
{
    if (FoundMonitorIsAnothers())
        return false;
    DeviceSettingsWriteContext context;
    {
        // The watcher writes the wrapper's fields and the ID pair under the device mutex.
        DeviceLock lock(DeviceMutex());
        if (m_pDevice)
            context.deviceType = m_pDevice->GetDeviceType();
        if (m_pUsbIds)
            context.usbIds = *m_pUsbIds;
    }
    context.driveLetter = static_cast<char>(m_chDriveLetter);
    context.extendedHeader = m_nDeviceTableFlag != 0;
    context.hidSession = m_pCommandSession.get();
    context.firmware = m_FirmwareVersion;
    context.owner = OwnerProfile();
    context.dataFolder = TextOf(m_szDataFolder);
    context.metricUnits = m_bMetric != FALSE;
    context.profile = m_ProfileSettings;
    context.settings = m_DeviceSettings;
    const bool written = ::WriteDeviceSettings(context, freshHeader);
    m_ProfileSettings.metric = context.profile.metric;
    return written;
}

// ---- the Device Setting page ----------------------------------------------------------------

UIDeviceSettingDlg *CKVTDlg::CreateDeviceSettingPage()
{
    auto page = std::make_unique<UIDeviceSettingDlg>(m_nLanguage);
    page->SetSaveCallback(&CKVTDlg::OnDeviceSettingSave);
    // Never more codes than the list holds, whatever its count says.
    const auto languages =
        static_cast<std::uint8_t>(std::min<std::size_t>(m_aLanguageList.count, m_aLanguageList.codes.size()));
    page->SetOptionTable(languages, m_aLanguageList.codes.data());
    if (!page->Create(nullptr, nullptr, WS_CHILD, kDeviceSettingPageRect, this, UIDeviceSettingDlg::kPageId))
        return nullptr;
    page->SetUserProfile(&m_ProfileSettings);
    page->SetDeviceSettings(&m_DeviceSettings);
    page->SetBackgroundImage(UIDeviceSettingDlg::kBackgroundImage);
    page->ShowWindow(SW_SHOW);
    auto *made = static_cast<UIDeviceSettingDlg *>(AddPageControl(std::move(page)));
    m_pChildPage = made;
    Invalidate(TRUE);
    return made;
}

BOOL CKVTDlg::IsChildPageModified() const
{
    const auto *page = dynamic_cast<const UIDeviceSettingDlg *>(m_pChildPage);
    return page ? page->m_bModified : FALSE;
}

void CKVTDlg::SetChildPageModified(BOOL modified)
{
    if (auto *page = dynamic_cast<UIDeviceSettingDlg *>(m_pChildPage))
        page->m_bModified = modified;
}

void CKVTDlg::OnDeviceSettingSave()
{
    if (CKVTDlg *dlg = FromMainWindow())
        dlg->SaveDeviceSettingPage(false);
}

void CKVTDlg::OnSaveChangesSave()
{
    if (CKVTDlg *dlg = FromMainWindow())
        dlg->SaveDeviceSettingPage(true);
}

void CKVTDlg::SaveDeviceSettingPage(bool fromSavePrompt)
{
    auto *page = dynamic_cast<UIDeviceSettingDlg *>(m_pChildPage);
    if (!page)
        return;
    // Whichever way the save ends, the cursor goes back with it.
    CWaitCursor wait;
    const UserProfileSettings keptProfile = m_ProfileSettings;
    const DeviceSettings keptSettings = m_DeviceSettings;
    page->GetUserProfile(&m_ProfileSettings);
    page->GetDeviceSettings(&m_DeviceSettings);

    if (!StepLengthAcceptable(m_ProfileSettings.walkingStep) ||
        !StepLengthAcceptable(m_ProfileSettings.runningStep))
    {
        m_ProfileSettings = keptProfile;
        m_DeviceSettings = keptSettings;
        // The bounds in the unit the user typed the lengths in.
        const bool inches = page->GetProfileCopy().metric != 1;
        CString text;
        text.Format(LoadStringText(kStepDistanceText).GetString(), inches ? kStepMinInches : kStepMinCm,
                    inches ? kStepMaxInches : kStepMaxCm);
        StepDistanceMessageDlg prompt(m_nLanguage, this, text);
        CDialog *const previous = m_pMessageDlg;
        m_pMessageDlg = &prompt;
        const std::weak_ptr<int> life = LifeToken();
        prompt.DoModal();
        // The prompt's loop may have ended the dialog; nothing of it is touched then.
        if (!life.expired() && m_pMessageDlg == &prompt)
            m_pMessageDlg = previous;
        return;
    }

    if (m_bDeviceFound && m_bImported && !WriteDeviceSettings(false))
    {
        ShowStatusText(kSaveToDeviceFailedText);
        m_ProfileSettings = keptProfile;
        m_DeviceSettings = keptSettings;
        // The user stays on the page, with the error in its status line.
        if (fromSavePrompt)
            m_nCurrentView = KvtView::DeviceSetting;
        return;
    }

    ClearStatusLine();
    page->m_bModified = FALSE;
    // The save-changes prompt ends; the page the user asked for is built after it.
    if (fromSavePrompt && m_pSaveChangesDlg)
        m_pSaveChangesDlg->EndDialog(IDOK);
}
