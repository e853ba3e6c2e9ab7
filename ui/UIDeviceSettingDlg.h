#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "device/DeviceSettings.h"
#include "ui/UIButton.h"
#include "ui/UIEdit.h"
#include "ui/UIFactory.h"
#include "ui/UIStatic.h"

// The Device Setting page: the monitor's settings in two tabs, "General Setting" (placement, double
// tap, its speed, the walking and running step lengths) and "Voice Prompt" (what the monitor says
// after a workout, its volume and language). It edits copies of the main dialog's two settings
// records and never talks to the device: the main dialog's save handler reads them back.
//
// The page's own copies are the values last loaded into the controls; a choice or an edit that
// differs from them marks the page modified. Button callbacks are plain functions that reach the
// page through the current-page pointer, which the page sets at creation and clears when it goes.
class UIDeviceSettingDlg : public CWnd, public UIFactory
{
  public:
    static constexpr UINT kPageId = 115;
    static constexpr UINT kBackgroundImage = 509;

    // Control ids.
    static constexpr UINT kSaveId = 1151;
    static constexpr UINT kDefaultId = 1263;
    static constexpr UINT kGeneralTabId = 1266;
    static constexpr UINT kVoicePromptTabId = 1267;
    static constexpr UINT kPlacementLabelId = 1268;
    static constexpr UINT kWaistRadioId = 1272;
    static constexpr UINT kWaistLabelId = 1271;
    static constexpr UINT kArmbandRadioId = 1274;
    static constexpr UINT kArmbandLabelId = 1273;
    static constexpr UINT kDoubleTapLabelId = 1388;
    static constexpr UINT kTapOnRadioId = 1389;
    static constexpr UINT kTapOnLabelId = 1390;
    static constexpr UINT kTapOffRadioId = 1391;
    static constexpr UINT kTapOffLabelId = 1392;
    static constexpr UINT kSpeedLabelId = 1270;
    static constexpr UINT kNormalRadioId = 1278;
    static constexpr UINT kNormalLabelId = 1277;
    static constexpr UINT kFastRadioId = 1280;
    static constexpr UINT kFastLabelId = 1279;
    static constexpr UINT kWalkingLabelId = 1345;
    static constexpr UINT kWalkingMinusId = 1349;
    static constexpr UINT kWalkingEditId = 1346;
    static constexpr UINT kWalkingUnitId = 1364;
    static constexpr UINT kWalkingPlusId = 1348;
    static constexpr UINT kRunningLabelId = 1350;
    static constexpr UINT kRunningMinusId = 1354;
    static constexpr UINT kRunningEditId = 1351;
    static constexpr UINT kRunningUnitId = 1365;
    static constexpr UINT kRunningPlusId = 1353;
    static constexpr UINT kRecordLabelId = 1281;
    static constexpr UINT kShowTimeBoxId = 1167;
    static constexpr UINT kShowTimeLabelId = 1317;
    static constexpr UINT kShowDistanceBoxId = 1163;
    static constexpr UINT kShowDistanceLabelId = 1078;
    static constexpr UINT kShowStepsBoxId = 1318;
    static constexpr UINT kShowStepsLabelId = 1074;
    static constexpr UINT kShowCaloriesBoxId = 1169;
    static constexpr UINT kShowCaloriesLabelId = 1319;
    static constexpr UINT kVolumeLabelId = 1282;
    static constexpr UINT kLowRadioId = 1287;
    static constexpr UINT kLowLabelId = 1286;
    static constexpr UINT kMidRadioId = 1289;
    static constexpr UINT kMidLabelId = 1288;
    static constexpr UINT kHighRadioId = 1291;
    static constexpr UINT kHighLabelId = 1290;
    static constexpr UINT kLanguageLabelId = 1283;
    static constexpr UINT kFirstLanguageRadioId = 1366;
    static constexpr UINT kFirstLanguageLabelId = 1372;
    // The page offers at most this many languages of the device's list.
    static constexpr int kMaxLanguageRadios = 6;
    // Language code c is named by string kFirstLanguageName + c, for c up to kLastLanguageCode.
    static constexpr UINT kFirstLanguageName = 589;
    static constexpr int kLastLanguageCode = 116;

    explicit UIDeviceSettingDlg(WORD language);
    ~UIDeviceSettingDlg() override;

    void Draw(CDC *) override {}

    // The languages the device offers; a count of 0 or no codes changes nothing. Called before the
    // window is made: the language radios are made with it.
    void SetOptionTable(std::uint8_t count, const std::uint8_t *codes);
    // Load a record into the page's copy and into the controls; null does nothing.
    void SetUserProfile(const UserProfileSettings *profile);
    void SetDeviceSettings(const DeviceSettings *settings);
    // Read the controls into the caller's record. The metric field and the device values A and B
    // are left as they are; step lengths are read in the unit the page shows.
    void GetUserProfile(UserProfileSettings *profile) const;
    void GetDeviceSettings(DeviceSettings *settings) const;
    // The PNG resource (language 1033) as the page's picture; the window takes its size, keeping its
    // top-left corner.
    void SetBackgroundImage(UINT id);
    void ShowGeneralGroup(BOOL show);
    void ShowVoicePromptGroup(BOOL show);
    // What the Save button calls; set before the window is made.
    void SetSaveCallback(ButtonClickCallback callback) { m_pfnSave = callback; }

    // Loads the default settings (the units of the main dialog) and marks the page modified; acts on
    // the current page.
    static void OnDefault();
    static UIDeviceSettingDlg *GetCurrentPage() { return s_pCurrent; }

    // A control of the page by its id; null when it was not made.
    CWnd *GetControl(UINT id) const;
    UIButton *GetButton(UINT id) const;
    const UserProfileSettings &GetProfileCopy() const { return m_profile; }
    const DeviceSettings &GetDeviceCopy() const { return m_device; }
    int GetLanguageRadioCount() const;
    std::size_t GetControlCount() const { return m_controls.size(); }

    // Set by the page when a choice differs from its copies; cleared by the main dialog.
    BOOL m_bModified = FALSE;

  protected:
    int OnCreate(LPCREATESTRUCT createStruct) override;
    void OnDestroy() override;
    void OnPaint() override;
    BOOL OnEraseBkgnd(CDC *dc) override;
    void OnLButtonDown(UINT flags, CPoint point) override;
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;

  private:
    enum class Group
    {
        Always,
        General,
        VoicePrompt,
    };
    struct Control
    {
        UINT id;
        Group group;
        std::unique_ptr<CWnd> window;
    };

    UIStatic *AddLabel(UINT id, Group group, const std::u16string &text, const CRect &rect, ARGB colour,
                       int alignment);
    UIButton *AddChoice(UINT id, Group group, const CRect &at, ButtonClickCallback callback, bool checkBox);
    UIButton *AddPushButton(UINT id, Group group, const std::u16string &text, const CRect &rect, UINT normal,
                            UINT middle, UINT pressed, ButtonClickCallback callback, int fontSize);
    UIEdit *AddStepEdit(UINT id, const CRect &rect);
    bool MakeControls();
    std::u16string Text(UINT id) const;
    std::u16string LanguageName(std::uint8_t code) const;

    // Shows a step length in the unit of the profile copy, remembering the exact centimetres of an inch
    // value.
    void ShowStep(UINT editId, std::uint16_t centimetres, std::uint16_t &remembered);
    // The step length an edit shows, in centimetres.
    std::uint16_t ReadStep(UINT editId, std::uint16_t remembered) const;
    int ReadShownNumber(UINT editId) const;
    void Step(UINT editId, bool up);
    void CheckStepChange(UINT editId);
    // Checks one radio of a group and unchecks the others.
    void CheckOnly(std::initializer_list<UINT> group, UINT checked);
    bool IsChecked(UINT id) const;
    void ShowGroup(Group group, BOOL show);
    void MarkIf(bool differs);

    // Button actions on the current page.
    static void OnSaveClicked();
    static void OnGeneralTab();
    static void OnVoicePromptTab();
    static void OnTapOn();
    static void OnTapOff();
    static void OnSpeedNormal();
    static void OnSpeedFast();
    static void OnWalkingMinus();
    static void OnWalkingPlus();
    static void OnRunningMinus();
    static void OnRunningPlus();
    static void OnShowTime();
    static void OnShowDistance();
    static void OnShowSteps();
    static void OnShowCalories();
    static void OnVolumeLow();
    static void OnVolumeMid();
    static void OnVolumeHigh();
    template <int Index> static void OnLanguage();
    void LanguageChosen(int index);

    static UIDeviceSettingDlg *s_pCurrent;

    CRect m_rcWindow;
    std::unique_ptr<Gdiplus::Image> m_pBackground;
    WORD m_wLanguage;
    BOOL m_bFirstErase = TRUE;
    UserProfileSettings m_profile;
    DeviceSettings m_device;
    std::vector<Control> m_controls;
    std::uint16_t m_nWalkingCm = 0; // the exact centimetres last shown as inches, 0 when none
    std::uint16_t m_nRunningCm = 0;
    std::vector<std::uint8_t> m_languages;
    ButtonClickCallback m_pfnSave = nullptr;
    BOOL m_bBoldCaptions;
};
