#pragma once

// The program's one window: a borderless dialog drawn from its background picture, whose
// pages are built from the UI kit's controls. It owns the records store, the device objects
// and the device watcher for its whole life.

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "device/DeviceCommandSession.h"
#include "device/DeviceSettings.h"
#include "device/DeviceWatcher.h"
#include "device/UlvexDevice.h"
#include "platform/win/Afx.h"
#include "platform/win/DeviceChangeNotifier.h"
#include "store/DateParts.h"
#include "store/GoalRecord.h"
#include "ui/MainDialogSeam.h"
#include "ui/PromptOwner.h"
#include "ui/UIButton.h"
#include "ui/UIDialog.h"
#include "ui/UnitsOwner.h"

class CCalendar;
class CModuleVersion;
class CDataGraph;
class UIEdit;
class CContinueCancelDlg2;
class KvtDatabase;
struct WorkoutProfile;
class UIDeviceSettingDlg;
class UIStatic;

// Progress towards the current goal, as the My Runs, home and My Goal pages and the share
// picture show it; filled by CKVTDlg::UpdateGoalSummary before each use.
struct GoalSummary
{
    // The current goal with its progress; its id is -1 when the user has none. Null when it
    // could not be read.
    std::unique_ptr<GoalRecord> goal;
    std::uint32_t kind = 0; // 0 distance, 1 time, 2 calories
    // Time goals: whole hours; calorie goals: calories; distance goals: metres.
    std::uint32_t target = 0;
    double targetDistance = 0.0; // in the user's distance unit
    CString unitText;
    std::uint32_t remaining = 0; // metres, whole hours or calories
    double remainingDistance = 0.0;
    std::uint32_t periodLength = 0; // whole days from the goal's first to its last date
    std::uint32_t periodUnit = 0;   // 1: days
    CString periodText;

    bool HasGoal() const { return goal && goal->goalId != -1; }
};

// One text of the share picture: its rectangle in picture pixels, its face (Arial, pixel sizes)
// and colour, and how it sits in the rectangle.
struct SharePictureText
{
    CString text;
    int x = 0, y = 0, width = 0, height = 0;
    int fontSize = 12;
    BOOL bold = FALSE;
    ARGB colour = 0xFF4D4948;
    int alignment = 0; // 0 left, 1 centred, 2 right
    BOOL top = FALSE;  // at the rectangle's top; otherwise centred from top to bottom
};

// The dialog's private messages. WM_KVT_DEVICE_ARRIVED (WM_USER + 104) and
// WM_KVT_DEVICE_REMOVED (WM_USER + 105) come from the device watcher.
constexpr UINT WM_KVT_CENTER_WINDOW = WM_USER + 106;
constexpr UINT WM_KVT_COINIT = WM_USER + 107;
constexpr UINT WM_KVT_COUNINIT = WM_USER + 108;
// Posted when a page is to be left while the Device Setting page has unsaved changes.
constexpr UINT WM_KVT_CONFIRM_VIEW_SWITCH = WM_USER + 109;
constexpr UINT WM_KVT_DEVICE_NOT_DETECTED = WM_USER + 110;
constexpr UINT WM_KVT_DONGLE_ONLY = WM_USER + 111;
constexpr UINT WM_KVT_DEVICE_NOT_READY = WM_USER + 112;
constexpr UINT WM_KVT_ASK_DATE = WM_USER + 113;
constexpr UINT WM_KVT_SHARE_TO_WEBAPP = WM_USER + 114;
constexpr UINT WM_KVT_OPEN_WEBAPP_PAGE = WM_USER + 115;
// Posted by the dialog to itself when it was started with a command-line log-in.
constexpr UINT WM_KVT_STARTUP = WM_USER + 116;
constexpr UINT WM_KVT_WEBAPP_UPDATE_FAILED = WM_USER + 117;
constexpr UINT WM_KVT_NO_INTERNET = WM_USER + 118;
constexpr UINT WM_KVT_OTHER_APP_RUNNING = WM_USER + 119;
// Sent by the run graph's and the calendar's callbacks, inside the control's click handling.
constexpr UINT WM_KVT_GRAPH_POINT = WM_USER + 1000;
constexpr UINT WM_KVT_GRAPH_PREV = WM_USER + 1001;
constexpr UINT WM_KVT_GRAPH_NEXT = WM_USER + 1002;
// lParam: a heap record of one 64-bit calendar date, which the handler frees.
constexpr UINT WM_KVT_DATE_SELECTED = WM_USER + 1500;

// The system menu's About item.
constexpr UINT IDM_ABOUTBOX = 0x0010;

// The main page the dialog shows (or showed last: the login, sign-up, error and prompt pages
// keep the value of the main page before them).
enum class KvtView : int
{
    Runs = 0,
    Goal = 1,
    Profile = 2,
    Support = 3,
    DeviceSetting = 4,
    LogOut = 5,
    Home = 6,
};

// The pages that draw the navigation bar, each with its own row of the bar's flags; Blocked stands for
// the log-out confirmation and the error pages, on which every button is disabled.
enum class NavigationPage
{
    Home,
    Runs,
    Goal,
    Profile,
    Support,
    DeviceSetting,
    RemoveAccount,
    Blocked,
};

// While it lives, the dialog is the main dialog the kit's prompts reach (MainDialogSeam).
class CKVTDlg : public UIDialog, public PromptOwner, public MainDialogSeam, public UnitsOwner
{
  public:
    // The page controls' Enter action.
    using EnterAction = void (*)(CKVTDlg *dialog);

    static constexpr int kTextSize = 260;
    static constexpr UINT kDialogTemplate = 102;
    static constexpr UINT kGreetingId = 1000;
    static constexpr UINT kCalendarId = 1011;
    static constexpr UINT kRunGraphId = 1012;
    static constexpr UINT kStatusLineId = 1187;
    static constexpr UINT kCloseButtonId = 1193;
    // The page-control array grows by this many entries at a time.
    static constexpr std::size_t kPageControlStep = 20;
    static constexpr UINT kLoginPasswordId = 1004;
    static constexpr UINT kLoginNameId = 1005;
    static constexpr UINT kDeviceSettingButtonId = 1261;
    // What the login fields take of what the person types.
    static constexpr int kLoginFieldLimit = 20;

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

    // Rewrites the header of the connected monitor's workout file with the user's name and profile
    // and the device settings, over the monitor's transport; with freshHeader a new header that counts
    // no records. Copies the units flag into the profile settings' metric field. False on any failure.
    // Nothing is written to a monitor whose identity differs from the user's stored one.
    virtual bool WriteDeviceSettings(bool freshHeader);
    // The found monitor carries another identity than the one stored for the logged-in user: it is
    // someone else's, and neither imported nor written.
    bool FoundMonitorIsAnothers() const;

    // ---- the device-arrival flow ----
    // The connected monitor's workout import for the logged-in user, with the results of the device
    // layer's ImportWorkouts, or kImportOtherMonitor (nothing read or written) for a monitor whose
    // identity differs from the user's stored one. A re-dating request is used up by the import,
    // whatever its result.
    virtual int ImportWorkouts();
    static constexpr int kImportOtherMonitor = -100;
    // The logged-in user as the monitor's file header carries it (import and settings write-back).
    WorkoutProfile OwnerProfile() const;
    // Sends the runs the on-line service lacks with the user's social-site credentials; 1 or 0.
    virtual int UploadRuns();
    // The upload prompt's Yes (also the error pages' Retry and the date prompt's Continue) and No.
    void OnUploadYes();
    void OnUploadNo();
    // "Add device to A/C" on the device-mismatch page.
    void OnAddDeviceToAccount();
    // Retry and Continue of the error pages; Retry of the settings save-error page.
    void OnErrorRetry();
    void OnContinueToHome();
    void OnSaveErrorRetry();
    // The abnormal-data page's Erase, and the erase-warning page's Cancel and Proceed.
    void OnErase();
    void OnEraseWarningCancel();
    void OnEraseProceed();
    // The units flag and the distance unit label ("km" or "miles").
    void SetDistanceUnit(BOOL metric);
    // The pages of the flow.
    void ShowAbnormalDataView();
    void ShowEraseWarningView();

    // ---- what the kit's prompts ask of the main dialog ----
    WORD GetLanguage() const override { return m_nLanguage; }
    CContinueCancelDlg2 *GetOpenDatePrompt() const override { return m_pDateDlg; }
    void SetEnteredDate(DWORD date) override { m_nEnteredDate = date; }
    void GetLastRunKeys(DWORD *dateKey, DWORD *timeKey) const override;

    // Places the window in the middle of the screen's work area, on top, and shows it.
    void CenterOnScreen();
    // Tells the user for a moment that the monitor went; device arrivals wait meanwhile.
    void ShowConnectStatusDlg();
    // The message prompts: the web-app update failed, no internet connection, the maker's
    // other program runs. The last two hold device arrivals while they are up.
    void ShowWebAppUpdateFailed();
    void ShowNoInternetMessage();
    void ShowOtherAppRunningMessage();

    // The run graph's and the calendar's callbacks: each sends its message to the
    // application's main window.
    static void GraphPointCallback(UINT id, int point);
    static void GraphPrevCallback(UINT id);
    static void GraphNextCallback(UINT id);
    static void CalendarDateCallback(int id, int64_t date);

    // The main dialog as the callbacks reach it: the application's main window, or null.
    static CKVTDlg *FromMainWindow();

    // ---- the page container ----
    // Takes the control into the current page; the next DestroyPageControls deletes it. The
    // control, or null when there was no room (message 225 is shown and the control deleted).
    CWnd *AddPageControl(std::unique_ptr<CWnd> control);
    // Deletes the current page's controls; the array keeps its room.
    void DestroyPageControls();
    std::size_t PageControlCount() const { return m_aPageControls.size(); }
    std::size_t PageControlCapacity() const { return m_aPageControls.capacity(); }
    CWnd *PageControl(std::size_t index) const;

    // ---- steps every page builder shares ----
    // Saves the ignore flag and sets the page's own, deletes the previous page, hides the My Runs
    // graph and calendar, and shows the title (string id, size 18) in the greeting label, or
    // hides the label for 0.
    void BeginPage(BOOL ignoreDeviceArrival, UINT titleId);
    // A page label: caption from the string table (0: none), font style of the language.
    UIStatic *AddPageLabel(UINT textId, const CRect &rect, UINT id, ARGB colour, int size, int alignment = 0,
                           BOOL multiLine = FALSE);
    // A page picture (PNG, language 1033).
    UIStatic *AddPagePicture(UINT imageId, const CRect &rect, UINT id);
    // A push button with the common look: pictures (language 1033) normal, disabled, pressed,
    // hover; caption from the string table (0: none).
    UIButton *AddPageButton(UINT textId, const CRect &rect, UINT id, UINT normal, UINT disabled, UINT pressed,
                            UINT hover, ButtonClickCallback callback, int size = 11);
    // The close button every page has (1193, posts WM_CLOSE).
    void AddCloseButton();
    // Repaints the whole dialog once a page is built.
    void EndPage();
    // Bold, or regular in Traditional Chinese.
    int PageFontStyle() const { return m_bNotTraditionalChinese ? 1 : 0; }

    // ---- status line (control 1187) ----
    void ShowStatusText(UINT textId);
    void ShowStatusTextWide(UINT textId);
    void ShowStatusTextMultiLine(UINT textId);
    void ShowRegisterDeviceFailed();
    void ShowEraseAccountFailed();
    void ShowStatusString(LPCWSTR text);
    // The status line's text emptied and repainted, when the page has one.
    void ClearStatusLine();

    // A full page that ends the program: Exit and the close button.
    void ShowLogOutErrorView();

    // Stores the social-site credentials for the logged-in user; 1 when stored.
    int SaveWebAppCredentials(LPCWSTR email, LPCWSTR password);
    // 1 while the maker's other program ("TX Conduit") runs, else 0.
    int IsOtherAppRunning();

    // ---- social-site application ----
    // 1 when the social-site application page answers within the tries (any HTTP answer
    // counts), with the pause between tries; 0 otherwise. No try, or several with a negative
    // pause, is 0 at once.
    virtual int IsInternetReachable(int pauseMs, int tries);
    // WM_KVT_SHARE_TO_WEBAPP: asks for the credentials, checks and stores them and opens the
    // application page; a refusal leads to OpenWebAppPage.
    virtual void ShareToWebApp();
    // WM_KVT_OPEN_WEBAPP_PAGE: the re-entry dialog, then the application page when it succeeded.
    virtual void OpenWebAppPage();
    // Opens the address in the default browser; 1 when the browser was started.
    virtual int OpenUrlInBrowser(const std::u16string &address);

    // ---- shared callbacks of the pages ----
    static void OnCloseButton();
    static void OnRadioFirst();
    static void OnRadioSecond();
    static void OnUnitsMetric();
    static void OnUnitsImperial();
    static void OnBirthDateChange();
    static void OnGoalKindDistance();
    static void OnGoalKindTime();
    static void OnGoalKindCalories();
    static void OnGoalPeriodDays();
    static void OnGoalPeriodWeeks();
    static void OnGoalPeriodMonths();
    static void OnGoalEditChange();
    static void OnGoalListSelect(int index);
    static void OnSaveChangesDiscard();
    static void OnProfileClear();
    static void OnNavHome();
    static void OnNavDeviceSetting();
    static void OnRemoveAccountCancel();
    static void OnRegisterNow();
    static void OnRegisterLater();
    // Remove Account of the My Support page: the warning page, unless the maker's other program runs.
    static void OnRemoveAccount();
    // Proceed on the warning page: deletes the account with everything it owns.
    static void OnRemoveAccountProceed();
    // The share page's Ok: rebuilds the page, then hands the share picture to the mail program
    // with COM ended on this thread while the mail program's window is open.
    static void OnShareOk();

    // ---- navigation bar and page switching ----
    // The bar along the bottom edge of the main pages: home, Device Setting, My Runs, My Goal, (an
    // ignored flag), My Profile, My Support; a button whose flag is 0 is made disabled.
    virtual void BuildNavigationBar(BOOL home, BOOL deviceSetting, BOOL myRuns, BOOL myGoal, BOOL ignored,
                                    BOOL myProfile, BOOL mySupport);
    // The bar with the flags of the given page: its own button disabled, Device Setting as below.
    void BuildNavigationBarFor(NavigationPage page);
    // The bar's Device Setting flag on the pages that do not show that page: only once a monitor with
    // extended settings has had its workouts imported in this connection.
    BOOL DeviceSettingEnabled() const { return m_nDeviceTableFlag != 0 && m_bImported ? TRUE : FALSE; }
    static void OnNavMyRuns();
    static void OnNavMyGoal();
    static void OnNavMyProfile();
    static void OnNavMySupport();
    static void OnLogOut();
    static void OnShareCancel();
    // WM_KVT_CONFIRM_VIEW_SWITCH: asks about the Device Setting page's changes, then builds the page the
    // user asked for unless the user is to stay.
    virtual void OnConfirmViewSwitch();

    // ---- account pages: New Account and My Profile share one form ----
    // Sign up (and Enter on the New Account page): checks the form, stores and logs in the user, binds
    // the connected monitor and goes on to the upload prompt.
    static void OnSignUp();
    // My Profile's Save: checks the form, rewrites the user, writes an imported monitor's profile.
    static void OnProfileSave();
    void SignUp();
    void SaveProfile();

    // ---- login pages ----
    virtual void ShowLoginErrorView();
    virtual void ShowReloginView();
    static void OnStartNewAccount();
    static void OnReloginContinue();
    // The Login button and Enter on the login pages.
    static void OnLoginButton();

    // ---- the Device Setting page ----
    // Its Save, and the Save of the save-changes prompt shown when that page is left modified: both
    // check the step lengths, write the settings to an imported monitor and clear the modified flag.
    static void OnDeviceSettingSave();
    static void OnSaveChangesSave();
    // Makes the page itself as a page control (id 115) with the device's languages and both settings
    // records, and keeps it as the Device Setting child; null when it could not be made.
    UIDeviceSettingDlg *CreateDeviceSettingPage();
    // The Device Setting page's modified flag (FALSE without that page).
    virtual BOOL IsChildPageModified() const;
    virtual void SetChildPageModified(BOOL modified);

    // ---- the My Runs page ----
    // Builds the page: totals, goal line, run graph, calendar, graph buttons; or "Sorry, no
    // data!" when the user has nothing to show.
    virtual void ShowRunsView();
    // Re-reads the current goal into m_GoalSummary.
    void UpdateGoalSummary();
    // The goal line of the My Runs page ("Goal:<5.0km/7days> 2.7km to go"); empty when no goal
    // line is shown.
    CString GoalLineText() const;
    // Redraws the run graph for the measure, period and form from the store.
    virtual void BuildRunGraph();
    // The graph buttons of the My Runs page.
    static void OnGraphDays();
    static void OnGraphWeeks();
    static void OnGraphMonths();
    static void OnGraphHeartRate();
    static void OnGraphMeasure2();
    static void OnGraphOptionOff();
    static void OnGraphOptionOn();
    // The Device Setting page (page state 4).
    virtual void ShowDeviceSettingView();
    // The title label with the user's first name (or user id), smaller for longer names; the My Runs
    // and My Goal pages show it.
    void ShowUserNameTitle();
    // Share with friend (1092) and Log Out (1093) of the My Runs and My Goal pages.
    void AddShareAndLogOutButtons();

    // ---- the My Goal page ----
    // Create New, Edit and Delete of the goal form, and the goal list's Delete (called with the goal's
    // id before the list removes its item).
    static void OnGoalCreateNew();
    static void OnGoalEdit();
    static void OnGoalDelete();
    static void OnGoalListDelete(int goalId);

    // ---- the log-in steps and the flow's pages that tests replace ----
    virtual void ShowUploadPromptView();
    virtual void ShowDeviceMismatchView();
    virtual void LoginWithPassword(const char16_t *userId, const char16_t *password);
    virtual void OnLogin();
    virtual void AskLastRunDate();

    // ---- the home, My Support and remove-account pages ----
    // Reads the logged-in user's run totals into the members below; nothing of an earlier read is left
    // when this one fails.
    void ReadRunTotals();
    // Where the progress marker of an unreached goal sits, from the bar's start of travel: the share done
    // of 162 pixels while something of the target is left, else 100.
    static int GoalMarkerOffset(std::uint32_t target, std::uint32_t remaining);
    // The version line of the My Support page: "<product> Version <version>", or the text that says it
    // is not available.
    CString VersionText();
    void ShowRemoveAccountView();
    void ShowAccountDeletedView();

    // ---- pages and flows (virtual: a test of one flow stands in for the pages it reaches) ----
    virtual void ShowHomeView();
    virtual void ShowSupportView();
    virtual void ShowNewAccountView();
    virtual void ShowGoalView();
    virtual void ShowProfileView();
    virtual void ShowLogOutConfirmView();
    virtual void PromptDeviceNotDetected();
    virtual void PromptDongleOnly();
    virtual void PromptDeviceNotReady();
    virtual void ShowRetrieveErrorView();
    virtual void ShowUploadDisconnectedView();
    // The page shown when the user's data could not be written to the monitor after sign-up.
    virtual void ShowSaveErrorView();
    // Yes on the log-out confirmation; Log Out of the error, abnormal-data and erase-warning pages.
    virtual void DoLogOut();
    // No on the log-out confirmation: the page of the page state, else the home page.
    void OnLogOutCancel();
    // The detail panel of the My Runs page for the calendar's day, week or month.
    virtual void UpdateRunDetails();
    // The full name of month 1-12 in the dialog's language; empty for any other number.
    CString GetMonthName(int month) const;
    virtual void ShowShareConfirmView();
    static void OnShareWithFriend();

    // ---- the share picture ----
    // Draws the results picture (of the goal selected in the goal list, or of the My Runs page's
    // period) on image 490 into m_pSharePicture and saves it as JPEG at m_strSharePicturePath. No
    // picture is kept for heart rate over weeks or months, or without the background image. When
    // the save fails the file at the path is removed, so that no older picture can be mailed as
    // this one. Returns 1.
    virtual int RenderSharePicture(BOOL goalMode);
    // The texts the picture shows and where; FALSE when the picture is not to be drawn at all.
    BOOL BuildSharePictureTexts(BOOL goalMode, std::vector<SharePictureText> *texts) const;

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
    // The last share picture drawn (none when nothing was drawn), and whether it reached the file.
    std::unique_ptr<Gdiplus::Bitmap> m_pSharePicture;
    BOOL m_bSharePictureSaved = FALSE;
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
    // The save-changes question is posted and not yet answered (or dropped).
    bool m_bViewSwitchAsked = false;
    CDialog *m_pSocialSiteDlg = nullptr;
    CDialog *m_pSocialLoginDlg = nullptr;
    // The message prompt's button ends the prompt kept here.
    CDialog *GetOpenMessagePrompt() const override { return m_pMessageDlg; }

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
    // The account form's unit-conversion memory: the height in centimetres last entered or shown and
    // the weight in pounds last entered. Set afresh whenever a form page is built, and never the
    // user's own values: a unit switch on a form that is left unsaved changes nothing of the user.
    int m_nHeightCm = 0;
    int m_nWeightLb = 0;
    // The logged-in user's stored height in centimetres: what the monitor's header carries and
    // My Profile shows.
    int m_nUserHeightCm = 0;
    // The logged-in user's stored weight in kilograms: what the monitor's header carries.
    int m_nWeightKg = 0;
    int m_nAge = 0;
    int m_nGender = 0;
    // The rest of the logged-in user's stored profile: date of birth and the unit codes (height 3 cm,
    // 4 feet and inches; weight 5 kg, 6 lbs).
    DateParts m_BirthDate{};
    int m_nHeightUnit = 0;
    int m_nWeightUnit = 0;
    int m_nStrideCm = 0;
    // The run totals of the logged-in user as the home and My Runs pages last read them.
    // Lifetime sums outgrow 32 bits long before a page's figures do.
    std::uint64_t m_nTotalDistance = 0; // metres, running plus walking
    std::uint64_t m_nTotalDuration = 0; // seconds
    std::uint32_t m_nRunCount = 0;
    // The monitor languages offered on the device settings page, as the last import left them.
    DeviceLanguageList m_aLanguageList;
    BOOL m_bMetric = FALSE;
    // The device settings page's Default takes these units.
    BOOL IsMetricUnits() const override { return m_bMetric; }
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
    // The latest stored run as the workout validation last read it (all zero without runs).
    DateParts m_LastRunDate{};
    TimeParts m_LastRunTime{};
    UserProfileSettings m_ProfileSettings;
    DeviceSettings m_DeviceSettings;

    // ---- My Runs graph ----
    int m_nGraphPeriod = 0;
    BOOL m_bResetGraphScroll = FALSE;
    // Local calendar time (seconds since 1970) of the graph's newest point.
    std::int64_t m_tGraphAnchor = 0;
    int m_nGraphMeasure = 0;
    int m_nGraphForm = 0;
    BOOL m_bHasHeartRate = FALSE;
    GoalSummary m_GoalSummary;

    // ---- the run detail panel's texts, kept between builds ----
    CString m_strDetailTitle;
    CString m_strDetailEndTime;
    CString m_strDetailHeartRate;
    CString m_strDetailRunSteps;
    CString m_strDetailWalkSteps;
    CString m_strDetailDuration;
    CString m_strDetailRunDistance;
    CString m_strDetailWalkDistance;
    CString m_strDetailCalories;
    CString m_strDetailSpeed;
    CString m_strDetailRunCount;

    // ---- window state ----
    BOOL m_bEraseBackground = TRUE;
    BOOL m_bRepaintOnActivate = FALSE;
    BOOL m_bClosing = FALSE;
    // Set when the set-up started COM on the UI thread, so that only then does the end stop it.
    BOOL m_bComInitialized = FALSE;

  protected:
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
    void OnClose() override;
    void OnPaint() override;
    BOOL OnEraseBkgnd(CDC *dc) override;
    void OnActivate(UINT state, CWnd *other, BOOL minimized) override;
    HICON OnQueryDragIcon() override;
    void OnSysCommand(UINT id, LPARAM lParam) override;
    BOOL OnDeviceChange(UINT eventType, DWORD_PTR data) override;
    BOOL OnCopyData(CWnd *from, COPYDATASTRUCT *data) override;

    // Brings the program's window to the front (the application's activation).
    virtual void ActivateProgramWindow();
    // Reads the program's version block into `version`; 1 when it could be read.
    virtual int LoadProgramVersion(CModuleVersion *version);

    // Shows the login page.
    virtual void ShowLoginView();
    // The command-line log-in, once the dialog has started hidden.
    virtual void OnStartupLogin();

    // The device wrapper (loads the Ulvex library).
    virtual std::shared_ptr<UlvexDevice> CreateDeviceWrapper();
    // Makes room for `room` page controls; false when there is no memory for it.
    virtual bool ReservePageControls(std::size_t room);
    // Sizes the buffer of the goal list to `count` records; false when there is no memory for it.
    virtual bool AllocateGoalRecords(std::vector<GoalRecord> *records, std::size_t count);
    // The watcher's view of the device wrapper and the ID pair; it keeps both alive.
    virtual std::shared_ptr<DeviceWatcherBinding> CreateWatcherBinding();
    // Builds the device watcher over the owned device objects and starts its thread; false
    // when no thread could be started (device changes then request no check).
    bool DeviceWorkerThread();

    std::unique_ptr<DeviceWatcher> m_pWatcher;
    // Brings the system's device events to this window as WM_DEVICECHANGE while it lives.
    vxwin::DeviceChangeNotifier m_DeviceChanges;
    // How long closing waits for the watcher to end.
    DWORD m_nCloseWaitMs = 10000;
    // Set when the watcher did not end at closing and was let go.
    bool m_bWatcherLetGo = false;

  private:
    void AddAboutToSystemMenu();
    void SetUpDataPaths();
    void WaitForFirstDeviceCheck();
    // With the wait cursor: waits while a device check is pending, at most 20 sleeps of 500 ms.
    void WaitWhileDeviceCheckPending();
    // Asks the watcher for one device check and waits for it as above.
    void RequestDeviceCheckAndWait();
    // Posts the prompt that tells why no device was found, chosen by the HID flags.
    void PostNoDevicePrompt();
    // Sets the monitor's clock over the transport of its type; a failure is not reported.
    void SetClockByDeviceType();
    // After a successful KvtDatabase::Login: the user's record, password and credentials.
    void LoadLoggedInUser();
    void SetDisplayName(const char16_t *firstName, const char16_t *lastName);
    // The page a failed import leads to.
    void ShowImportFailure(int result);
    // Probe, credential check and upload with stored social-site credentials; ends on the home page,
    // or on the profile page when the service refuses the credentials.
    void SyncRunsAndShowHome();
    void StopDeviceWatcher();
    LRESULT OnStartupMessage();
    void RunMessagePrompt(UINT messageId, bool holdDeviceArrivals);
    // A device prompt (title and two messages): Re-login logs out, Continue goes home.
    void RunDevicePrompt(UINT titleId, UINT firstMessageId, UINT secondMessageId);
    // The import and save error pages: the greeting, the text in the status control, Log Out, Retry
    // (with the given action), Continue, and a navigation bar with every button disabled.
    void ShowDeviceErrorPage(UINT textId, ButtonClickCallback retry);
    // The user's first name (the user id without one) in the title label, smaller as it grows.
    void ShowUserGreeting();
    void ShowStatusLine(LPCWSTR text, const CRect &rect, int alignment, BOOL multiLine);
    void ApplyMetricUnits();
    void ApplyImperialUnits();
    void FillGoalForm(int index);
    // The My Goal page's steps (KVTDlgGoal.cpp).
    struct GoalEntry;
    // Reads and checks the goal form; false, with the first failure in the status line, when it does
    // not make a goal.
    bool ReadGoalForm(GoalEntry *entry);
    // All the user's goals in the store's order; none when they cannot be read (message 225 when
    // there is no memory for them).
    std::vector<GoalRecord> ReadAllGoals();
    // Empties the goal list and fills it from the store again, keeping the selected goal selected.
    void ReloadGoalList();
    void CreateGoal();
    void EditSelectedGoal();
    void DeleteSelectedGoal();
    void DeleteListedGoal(int goalId);
    // Checks `pressed` of a radio group and makes its row the only enabled one, when it is checked.
    void SelectRadioRow(std::size_t pressed, const UINT (&buttons)[3], const UINT (&fields)[3],
                        const UINT (&labels)[3][2]);
    // A string of the table in the dialog's language.
    CString LoadStringText(UINT id) const;
    // The save step of the Device Setting page, from its Save or from the save-changes prompt.
    void SaveDeviceSettingPage(bool fromSavePrompt);
    // Copies what the watcher's checks found into the device members.
    void TakeFoundDevice();
    void OnDeviceArrived();
    void OnDeviceRemoved();
    // The device's identity matches the one stored for the user, storing it when none is.
    // False also when the stored one cannot be read (unreadable is set then).
    bool DeviceMatchesStoredIdentity(bool *unreadable);
    enum class StoredIdentityAnswer
    {
        Unreadable,
        NoneStored,
        Same,
        Another,
    };
    // The found device's identity against the one stored for the logged-in user; stores nothing.
    StoredIdentityAnswer CompareWithStoredIdentity() const;
    // The found device's identity as the store keeps it.
    std::u16string FoundIdentity() const;
    void OnGraphPoint(int point);
    void OnGraphArrow(bool next);
    void OnDateSelected(LPARAM record);

    // The graph buttons' common steps: a measure and period, or a chart form, chosen.
    static void ChooseGraph(int measure, int period, UINT pressed);
    static void ChooseForm(int form, UINT pressed, UINT other);
    // Builds the page of a page state (home, My Runs, My Goal, My Profile, My Support, the log-out
    // confirmation); false for any other state, which builds nothing.
    bool BuildPageOfView(KvtView view);
    // A navigation button: the target page at once, or, from a modified Device Setting page, the
    // target kept as the page state and the save-changes question posted.
    void NavigateTo(KvtView target);
    // The login pages' fields: 1005 the name, 1004 the password (hidden), both taking 20 characters.
    void AddLoginFields();
    // The form the New Account and My Profile pages share: personal and login information, unit radios
    // and limits after `metric`. The profile form adds the old-password field.
    void AddAccountForm(bool profile, bool metric);
};
