#pragma once

// The program's one window: a borderless dialog drawn from its background picture, whose
// pages are built from the UI kit's controls. It owns the records store, the device objects
// and the device watcher for its whole life.

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "device/DeviceCommandSession.h"
#include "device/DeviceSettings.h"
#include "device/DeviceWatcher.h"
#include "device/UlvexDevice.h"
#include "platform/win/Afx.h"
#include "ui/UIDialog.h"

class CCalendar;
class CDataGraph;
class CContinueCancelDlg2;
class KvtDatabase;
class UIStatic;

// Posted by the dialog to itself when it was started with a command-line log-in.
constexpr UINT WM_KVT_STARTUP = WM_USER + 116;

// The page the dialog shows.
enum class KvtView : int
{
    Login = 0,
    Home = 6,
};

class CKVTDlg : public UIDialog
{
  public:
    // The page controls' Enter action.
    using EnterAction = void (*)(CKVTDlg *dialog);

    static constexpr int kTextSize = 260;
    static constexpr UINT kDialogTemplate = 102;
    static constexpr UINT kGreetingId = 1000;
    static constexpr UINT kRunGraphId = 1012;

    explicit CKVTDlg(LANGID language, CWnd *parent = nullptr);
    ~CKVTDlg() override;

    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

    // (Re)creates the My Runs graph window.
    void CreateRunGraph();
    // Forgets the logged-in user's state (log-out, re-login, account removal).
    void ResetUserSession();

    // Device checks requested or running and not finished; 0 without a watcher.
    std::int32_t PendingDeviceChecks() const;

    // ---- command-line log-in, set before the dialog runs ----
    CString m_strCmdUser;
    CString m_strCmdPassword;

    // ---- language and texts ----
    LANGID m_nLanguage;
    BOOL m_bNotTraditionalChinese;
    HICON m_hIcon = nullptr;
    std::array<CString, 7> m_strDayNames;
    std::array<CString, 13> m_aPageTexts;
    CString m_strSharePicturePath;
    // The data folder with a closing separator.
    std::array<char16_t, kTextSize> m_szDataFolder{};

    // ---- owned controls and objects ----
    std::unique_ptr<CDataGraph> m_pRunGraph;
    std::unique_ptr<CCalendar> m_pCalendar;
    std::unique_ptr<UIStatic> m_pGreeting;
    std::unique_ptr<KvtDatabase> m_pDatabase;
    // Shared with the watcher's views of them, so that a watcher let go at closing keeps
    // what it may still use.
    std::shared_ptr<UlvexDevice> m_pDevice;
    std::shared_ptr<UsbIdPair> m_pUsbIds;
    std::shared_ptr<DeviceCommandSession> m_pCommandSession;

    // ---- the current page ----
    std::vector<std::unique_ptr<CWnd>> m_aPageControls;
    CWnd *m_pChildPage = nullptr;
    EnterAction m_pfnEnterAction = nullptr;
    KvtView m_nCurrentView = KvtView::Home;
    // The buffer the home and My Runs pages keep; released by log-out and by the destructor.
    std::vector<std::uint8_t> m_aPagesBuffer;

    // ---- modal prompts that are up, if any ----
    CDialog *m_pPromptDlg = nullptr;
    CContinueCancelDlg2 *m_pDateDlg = nullptr;
    CDialog *m_pMessageDlg = nullptr;
    CDialog *m_pSaveChangesDlg = nullptr;
    CDialog *m_pSocialSiteDlg = nullptr;
    CDialog *m_pSocialLoginDlg = nullptr;

    // ---- the logged-in user ----
    BOOL m_bLoggedIn = FALSE;
    BOOL m_bImported = FALSE;
    std::array<char16_t, kTextSize> m_szPassword{};
    std::array<char16_t, kTextSize> m_szUserId{};
    std::array<char16_t, kTextSize> m_szDisplayName{};
    std::array<char16_t, kTextSize> m_szFirstName{};
    std::array<char16_t, kTextSize> m_szLastName{};
    std::array<char16_t, kTextSize> m_szWebUser{};
    std::array<char16_t, kTextSize> m_szWebPassword{};
    // Profile values as the pages edit them.
    int m_nHeightCm = 0;
    int m_nWeightLb = 0;
    int m_nAge = 0;
    int m_nGender = 0;
    int m_nStrideCm = 0;
    // Totals and the goal summary of the home page.
    double m_dTotalDistance = 0;
    double m_dTotalCalories = 0;
    DWORD m_nTotalSteps = 0;
    DWORD m_nTotalSeconds = 0;
    CString m_strGoalSummary;
    // The monitor languages offered on the device settings page.
    std::vector<CString> m_aLanguageList;
    BOOL m_bMetric = FALSE;
    CString m_strDistanceUnit;
    CString m_strDistanceUnitShort;
    CString m_strTimeUnit;
    DWORD m_nEnteredDate = 0;

    // ---- what the device checks found (filled from the watcher on its messages) ----
    BOOL m_bIgnoreDeviceArrival = TRUE;
    BOOL m_bSavedIgnoreDeviceArrival = TRUE;
    BOOL m_bDeviceFound = FALSE;
    BOOL m_bHidAnswered = FALSE;
    std::uint8_t m_nHidState = 2;
    std::uint8_t m_chDriveLetter = kNoDriveLetter;
    std::array<char, kDeviceIdSize> m_szDeviceId{};
    std::uint32_t m_nDeviceTableFlag = 0;
    FirmwareVersion m_FirmwareVersion;

    // ---- workout import ----
    BOOL m_bUserDateSet = FALSE;
    int m_nWorkoutRecordCount = 0;
    UserProfileSettings m_ProfileSettings;
    DeviceSettings m_DeviceSettings;

    // ---- My Runs graph ----
    int m_nGraphPeriod = 0;
    BOOL m_bResetGraphScroll = FALSE;
    int m_nGraphAnchor = 0;
    int m_nGraphMeasure = 0;
    int m_nGraphForm = 0;

    // ---- window state ----
    BOOL m_bEraseBackground = TRUE;
    BOOL m_bRepaintOnActivate = FALSE;
    BOOL m_bClosing = FALSE;

  protected:
    void OnClose() override;
    void OnPaint() override;
    BOOL OnEraseBkgnd(CDC *dc) override;
    void OnActivate(UINT state, CWnd *other, BOOL minimized) override;
    HICON OnQueryDragIcon() override;

    // Shows the login page.
    virtual void ShowLoginView();
    // The command-line log-in, once the dialog has started hidden.
    virtual void OnStartupLogin();

    // The device wrapper (loads the Ulvex library).
    virtual std::shared_ptr<UlvexDevice> CreateDeviceWrapper();
    // The watcher's view of the device wrapper and the ID pair; it keeps both alive.
    virtual std::shared_ptr<DeviceWatcherBinding> CreateWatcherBinding();
    // Builds the device watcher over the owned device objects and starts its thread; false
    // when no thread could be started (device changes then request no check).
    bool DeviceWorkerThread();

    std::unique_ptr<DeviceWatcher> m_pWatcher;
    // How long closing waits for the watcher to end.
    DWORD m_nCloseWaitMs = 10000;
    // Set when the watcher did not end at closing and was let go.
    bool m_bWatcherLetGo = false;

  private:
    void SetUpDataPaths();
    void WaitForFirstDeviceCheck();
    void StopDeviceWatcher();
    LRESULT OnStartupMessage();

    static void OnGraphPoint(UINT id, int point);
    static void OnGraphPrevious(UINT id);
    static void OnGraphNext(UINT id);
};
