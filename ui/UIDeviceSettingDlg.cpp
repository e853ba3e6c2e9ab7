#include "ui/UIDeviceSettingDlg.h"

#include <algorithm>
#include <cmath>

#include "ui/UnitsOwner.h"

namespace
{
constexpr WORD kPictureLanguage = 1033;
constexpr UINT kChoiceImages[2] = {124, 123}; // unchecked, checked
constexpr UINT kTabImages[2] = {515, 514};    // unchecked, checked
constexpr UINT kPushImages[3] = {472, 471, 470};
constexpr UINT kMinusImages[3] = {556, 555, 554};
constexpr UINT kPlusImages[3] = {559, 558, 557};

constexpr UINT kSaveText = 419;
constexpr UINT kDefaultText = 510;
constexpr UINT kGeneralText = 518;
constexpr UINT kVoicePromptText = 519;
constexpr UINT kPlacementText = 520;
constexpr UINT kSpeedText = 522;
constexpr UINT kWaistText = 523;
constexpr UINT kArmbandText = 524;
constexpr UINT kNormalText = 526;
constexpr UINT kFastText = 527;
constexpr UINT kRecordText = 528;
constexpr UINT kVolumeText = 529;
constexpr UINT kLanguageText = 530;
constexpr UINT kLowText = 533;
constexpr UINT kMidText = 534;
constexpr UINT kHighText = 535;
constexpr UINT kWalkingText = 563;
constexpr UINT kRunningText = 564;
constexpr UINT kTimeText = 182;
constexpr UINT kDistanceText = 175;
constexpr UINT kStepsText = 173;
constexpr UINT kCaloriesText = 224;
constexpr UINT kDoubleTapText = 726;
constexpr UINT kOffText = 727;
constexpr UINT kOnText = 728;
constexpr UINT kCentimetresText = 469;
constexpr UINT kInchesText = 372;

constexpr ARGB kButtonText = 0xFF383431;
constexpr ARGB kButtonTextActive = 0xFFFFFFFF;
constexpr ARGB kLabelText = 0xFF838281;
constexpr ARGB kGreyText = 0xFFAAAAAA;
constexpr COLORREF kEditText = RGB(0x5C, 0x5D, 0x60);
constexpr int kEditPoints = 10;

// Columns: row labels end at 100; the first choice's button at 110, its label at 128; the next
// choices at 230 (General) or 200 and 300 (Voice Prompt).
constexpr int kRowLabelLeft = 20;
constexpr int kRowLabelRight = 100;
constexpr int kFirstChoice = 110;
constexpr int kGeneralSecond = 230;
constexpr int kVoiceColumns[3] = {110, 200, 300};
constexpr int kChoiceSize = 16;
constexpr int kChoiceLabelGap = 18;
constexpr int kRowHeight = 20;
constexpr int kPageRight = 460;

// Rows of the General group.
constexpr int kPlacementRow = 56;
constexpr int kDoubleTapRow = 88;
constexpr int kSpeedRow = 120;
constexpr int kWalkingRow = 158;
constexpr int kRunningRow = 204;
// Rows of the Voice Prompt group.
constexpr int kRecordRows[2] = {56, 80};
constexpr int kVolumeRow = 112;
constexpr int kLanguageRows[2] = {144, 168};

constexpr int kStepRead = 3; // characters of an edit that are read
constexpr int kStepMin = 10;
constexpr int kStepMax = 255;

// The number the first characters of a text start with (0 when none), cut to 16 bits.
std::uint16_t LeadingNumber16(std::u16string_view text)
{
    const unsigned long long n =
        UIEdit::LeadingNumber(text.substr(0, std::min<std::size_t>(text.size(), kStepRead)));
    return static_cast<std::uint16_t>(n);
}

std::uint16_t InchesToCm(std::uint16_t inches)
{
    return static_cast<std::uint16_t>(static_cast<int>(inches * 2.54 + 0.5));
}

std::u16string Decimal(int value)
{
    CString text;
    text.Format(u"%d", value);
    return text.str();
}
} // namespace

UIDeviceSettingDlg *UIDeviceSettingDlg::s_pCurrent = nullptr;

UIDeviceSettingDlg::UIDeviceSettingDlg(WORD language)
    : m_wLanguage(language), m_bBoldCaptions(language != 1028)
{
    m_profile.placement = 0;
    m_profile.metric = 1;
    m_profile.doubleTapOff = 0;
    m_profile.doubleTapSpeed = 1;
    m_profile.walkingStep = 75;
    m_profile.runningStep = 97;
    m_device.showTime = 1;
    m_device.showDistance = 1;
    m_device.showSteps = 1;
    m_device.showCalories = 1;
    m_device.volume = 1;
    m_device.language = 0;
    m_device.deviceValueA = 0;
    m_device.deviceValueB = 1;
}

UIDeviceSettingDlg::~UIDeviceSettingDlg()
{
    // Callbacks that come after the page is gone must not find it.
    if (s_pCurrent == this)
        s_pCurrent = nullptr;
    if (m_hWnd)
        DestroyWindow();
    m_controls.clear();
}

void UIDeviceSettingDlg::OnDestroy()
{
    if (s_pCurrent == this)
        s_pCurrent = nullptr;
    CWnd::OnDestroy();
}

// ---- creation ----

std::u16string UIDeviceSettingDlg::Text(UINT id) const
{
    CString text;
    text.LoadString(nullptr, id, m_wLanguage);
    return text.str();
}

std::u16string UIDeviceSettingDlg::LanguageName(std::uint8_t code) const
{
    // Beyond the table the next strings are other texts of the program: the code itself is shown.
    if (code > kLastLanguageCode)
        return Decimal(code);
    return Text(kFirstLanguageName + code);
}

UIStatic *UIDeviceSettingDlg::AddLabel(UINT id, Group group, const std::u16string &text, const CRect &rect,
                                       ARGB colour, int alignment)
{
    auto label = std::make_unique<UIStatic>();
    if (!label->Create(text.c_str(), rect, this, id))
        return nullptr;
    label->SetFontSize(11);
    label->SetTextColors(colour, colour, colour, colour);
    label->SetAlignment(alignment);
    label->m_bShowImage = FALSE;
    UIStatic *made = label.get();
    m_controls.push_back(Control{id, group, std::move(label)});
    return made;
}

UIButton *UIDeviceSettingDlg::AddChoice(UINT id, Group group, const CRect &at, ButtonClickCallback callback,
                                        bool checkBox)
{
    auto button = std::make_unique<UIButton>();
    if (!button->Create(u"", at, this, id))
        return nullptr;
    if (checkBox)
        button->SetCheckMode(TRUE);
    else
        button->SetRadioMode(TRUE);
    button->SetImages(kChoiceImages[0], kChoiceImages[0], kChoiceImages[1], kChoiceImages[0],
                      kPictureLanguage);
    button->SetClickCallback(callback);
    UIButton *made = button.get();
    m_controls.push_back(Control{id, group, std::move(button)});
    return made;
}

UIButton *UIDeviceSettingDlg::AddPushButton(UINT id, Group group, const std::u16string &text,
                                            const CRect &rect, UINT normal, UINT middle, UINT pressed,
                                            ButtonClickCallback callback, int fontSize)
{
    auto button = std::make_unique<UIButton>();
    if (!button->Create(text.c_str(), rect, this, id))
        return nullptr;
    button->SetFontSize(fontSize);
    if (m_bBoldCaptions)
        button->SetFontStyle(Gdiplus::FontStyleBold);
    button->SetAlignment(Gdiplus::StringAlignmentCenter);
    button->SetTextColors(kButtonText, kButtonTextActive, kButtonTextActive, kButtonText);
    button->SetImages(normal, middle, pressed, middle, kPictureLanguage);
    button->SetClickCallback(callback);
    UIButton *made = button.get();
    m_controls.push_back(Control{id, group, std::move(button)});
    return made;
}

UIEdit *UIDeviceSettingDlg::AddStepEdit(UINT id, const CRect &rect)
{
    auto edit = std::make_unique<UIEdit>();
    if (!edit->Create(WS_CHILD | ES_AUTOHSCROLL, rect, this, id))
        return nullptr;
    edit->SetNumericOnly(TRUE);
    edit->SetMinValue(kStepMin);
    edit->SetMaxValue(kStepMax);
    edit->SetFontSize(kEditPoints);
    edit->SetTextColor(kEditText);
    UIEdit *made = edit.get();
    m_controls.push_back(Control{id, Group::General, std::move(edit)});
    return made;
}

bool UIDeviceSettingDlg::MakeControls()
{
    const int left = Gdiplus::StringAlignmentNear;
    const int right = Gdiplus::StringAlignmentFar;
    // A label of two lines is centred on its row, and so is its text: a translation that needs only
    // one line stands beside its own row, not half a row above it.
    auto rowLabel = [&](UINT id, Group group, UINT text, int y, int lines = 1, ARGB colour = kLabelText) {
        const int top = y - (lines - 1) * kRowHeight / 2;
        UIStatic *label =
            AddLabel(id, group, Text(text),
                     CRect(kRowLabelLeft, top, kRowLabelRight, top + kRowHeight * lines), colour, right);
        if (label && lines > 1)
        {
            label->SetMultiLine(TRUE);
            label->SetLineAlignment(Gdiplus::StringAlignmentCenter);
        }
        return label != nullptr;
    };
    auto choiceAt = [](int x, int y) { return CRect(x, y + 2, x + kChoiceSize, y + 2 + kChoiceSize); };
    auto choiceLabel = [&](UINT id, Group group, const std::u16string &text, int x, int y, int until,
                           ARGB colour = kLabelText) {
        return AddLabel(id, group, text, CRect(x + kChoiceLabelGap, y, until, y + kRowHeight), colour,
                        left) != nullptr;
    };

    const int bottom = 280;
    if (!AddPushButton(kSaveId, Group::Always, Text(kSaveText), CRect(365, bottom, 450, bottom + 23),
                       kPushImages[0], kPushImages[1], kPushImages[2], &UIDeviceSettingDlg::OnSaveClicked,
                       10) ||
        !AddPushButton(kDefaultId, Group::Always, Text(kDefaultText), CRect(270, bottom, 355, bottom + 23),
                       kPushImages[0], kPushImages[1], kPushImages[2], &UIDeviceSettingDlg::OnDefault, 10))
        return false;
    UIButton *general =
        AddPushButton(kGeneralTabId, Group::Always, Text(kGeneralText), CRect(20, 12, 140, 38), kTabImages[0],
                      kTabImages[0], kTabImages[1], &UIDeviceSettingDlg::OnGeneralTab, 12);
    UIButton *voice =
        AddPushButton(kVoicePromptTabId, Group::Always, Text(kVoicePromptText), CRect(145, 12, 265, 38),
                      kTabImages[0], kTabImages[0], kTabImages[1], &UIDeviceSettingDlg::OnVoicePromptTab, 12);
    if (!general || !voice)
        return false;
    general->SetRadioMode(TRUE);
    voice->SetRadioMode(TRUE);

    // General Setting.
    const Group g = Group::General;
    if (!rowLabel(kPlacementLabelId, g, kPlacementText, kPlacementRow, 1, kGreyText) ||
        !AddChoice(kWaistRadioId, g, choiceAt(kFirstChoice, kPlacementRow), nullptr, false) ||
        !choiceLabel(kWaistLabelId, g, Text(kWaistText), kFirstChoice, kPlacementRow, kGeneralSecond - 2,
                     kGreyText) ||
        !AddChoice(kArmbandRadioId, g, choiceAt(kGeneralSecond, kPlacementRow), nullptr, false) ||
        !choiceLabel(kArmbandLabelId, g, Text(kArmbandText), kGeneralSecond, kPlacementRow, kPageRight,
                     kGreyText))
        return false;
    if (!rowLabel(kDoubleTapLabelId, g, kDoubleTapText, kDoubleTapRow) ||
        !AddChoice(kTapOnRadioId, g, choiceAt(kFirstChoice, kDoubleTapRow), &UIDeviceSettingDlg::OnTapOn,
                   false) ||
        !choiceLabel(kTapOnLabelId, g, Text(kOnText), kFirstChoice, kDoubleTapRow, kGeneralSecond - 2) ||
        !AddChoice(kTapOffRadioId, g, choiceAt(kGeneralSecond, kDoubleTapRow), &UIDeviceSettingDlg::OnTapOff,
                   false) ||
        !choiceLabel(kTapOffLabelId, g, Text(kOffText), kGeneralSecond, kDoubleTapRow, kPageRight))
        return false;
    if (!rowLabel(kSpeedLabelId, g, kSpeedText, kSpeedRow, 2) ||
        !AddChoice(kNormalRadioId, g, choiceAt(kFirstChoice, kSpeedRow), &UIDeviceSettingDlg::OnSpeedNormal,
                   false) ||
        !choiceLabel(kNormalLabelId, g, Text(kNormalText), kFirstChoice, kSpeedRow, kGeneralSecond - 2) ||
        !AddChoice(kFastRadioId, g, choiceAt(kGeneralSecond, kSpeedRow), &UIDeviceSettingDlg::OnSpeedFast,
                   false) ||
        !choiceLabel(kFastLabelId, g, Text(kFastText), kGeneralSecond, kSpeedRow, kPageRight))
        return false;
    struct StepRow
    {
        UINT label, minus, edit, unit, plus, text;
        int y;
        ButtonClickCallback down, up;
    };
    const StepRow steps[2] = {
        {kWalkingLabelId, kWalkingMinusId, kWalkingEditId, kWalkingUnitId, kWalkingPlusId, kWalkingText,
         kWalkingRow, &UIDeviceSettingDlg::OnWalkingMinus, &UIDeviceSettingDlg::OnWalkingPlus},
        {kRunningLabelId, kRunningMinusId, kRunningEditId, kRunningUnitId, kRunningPlusId, kRunningText,
         kRunningRow, &UIDeviceSettingDlg::OnRunningMinus, &UIDeviceSettingDlg::OnRunningPlus},
    };
    for (const StepRow &row : steps)
    {
        // Two rows high, centred on the row of its buttons.
        UIStatic *label = AddLabel(
            row.label, g, Text(row.text),
            CRect(kRowLabelLeft, row.y - kRowHeight / 2, kRowLabelRight, row.y + 3 * kRowHeight / 2), kLabelText,
            right);
        if (!label)
            return false;
        label->SetMultiLine(TRUE);
        label->SetLineAlignment(Gdiplus::StringAlignmentCenter);
        const int y = row.y;
        if (!AddPushButton(row.minus, g, u"", CRect(kFirstChoice, y, kFirstChoice + 20, y + 20),
                           kMinusImages[0], kMinusImages[1], kMinusImages[2], row.down, 10) ||
            !AddStepEdit(row.edit, CRect(kFirstChoice + 24, y - 1, kFirstChoice + 66, y + 21)) ||
            !AddLabel(row.unit, g, u"", CRect(kFirstChoice + 96, y, kFirstChoice + 170, y + kRowHeight),
                      kLabelText, left) ||
            !AddPushButton(row.plus, g, u"", CRect(kFirstChoice + 70, y, kFirstChoice + 90, y + 20),
                           kPlusImages[0], kPlusImages[1], kPlusImages[2], row.up, 10))
            return false;
    }

    // Voice Prompt.
    const Group v = Group::VoicePrompt;
    struct Box
    {
        UINT box, label, text;
        ButtonClickCallback callback;
    };
    const Box boxes[4] = {
        {kShowTimeBoxId, kShowTimeLabelId, kTimeText, &UIDeviceSettingDlg::OnShowTime},
        {kShowDistanceBoxId, kShowDistanceLabelId, kDistanceText, &UIDeviceSettingDlg::OnShowDistance},
        {kShowStepsBoxId, kShowStepsLabelId, kStepsText, &UIDeviceSettingDlg::OnShowSteps},
        {kShowCaloriesBoxId, kShowCaloriesLabelId, kCaloriesText, &UIDeviceSettingDlg::OnShowCalories},
    };
    if (!rowLabel(kRecordLabelId, v, kRecordText, kRecordRows[0]))
        return false;
    for (int i = 0; i < 4; ++i)
    {
        const int x = kVoiceColumns[i % 2], y = kRecordRows[i / 2];
        if (!AddChoice(boxes[i].box, v, choiceAt(x, y), boxes[i].callback, true) ||
            !choiceLabel(boxes[i].label, v, Text(boxes[i].text), x, y, kVoiceColumns[i % 2 + 1] - 2))
            return false;
    }
    const Box volumes[3] = {
        {kLowRadioId, kLowLabelId, kLowText, &UIDeviceSettingDlg::OnVolumeLow},
        {kMidRadioId, kMidLabelId, kMidText, &UIDeviceSettingDlg::OnVolumeMid},
        {kHighRadioId, kHighLabelId, kHighText, &UIDeviceSettingDlg::OnVolumeHigh},
    };
    if (!rowLabel(kVolumeLabelId, v, kVolumeText, kVolumeRow))
        return false;
    for (int i = 0; i < 3; ++i)
    {
        const int x = kVoiceColumns[i];
        if (!AddChoice(volumes[i].box, v, choiceAt(x, kVolumeRow), volumes[i].callback, false) ||
            !choiceLabel(volumes[i].label, v, Text(volumes[i].text), x, kVolumeRow,
                         i < 2 ? kVoiceColumns[i + 1] - 2 : kPageRight))
            return false;
    }
    if (!rowLabel(kLanguageLabelId, v, kLanguageText, kLanguageRows[0]))
        return false;
    static constexpr ButtonClickCallback kLanguageActions[kMaxLanguageRadios] = {
        &UIDeviceSettingDlg::OnLanguage<0>, &UIDeviceSettingDlg::OnLanguage<1>,
        &UIDeviceSettingDlg::OnLanguage<2>, &UIDeviceSettingDlg::OnLanguage<3>,
        &UIDeviceSettingDlg::OnLanguage<4>, &UIDeviceSettingDlg::OnLanguage<5>,
    };
    const int radios = std::min<int>(static_cast<int>(m_languages.size()), kMaxLanguageRadios);
    const int perRow = radios == 4 ? 2 : 3;
    for (int i = 0; i < radios; ++i)
    {
        const int column = i % perRow;
        const int x = kVoiceColumns[column];
        const int y = kLanguageRows[0] + (i / perRow) * (kLanguageRows[1] - kLanguageRows[0]);
        const int until = column + 1 < perRow ? kVoiceColumns[column + 1] - 2 : kPageRight;
        if (!AddChoice(kFirstLanguageRadioId + static_cast<UINT>(i), v, choiceAt(x, y), kLanguageActions[i],
                       false) ||
            !choiceLabel(kFirstLanguageLabelId + static_cast<UINT>(i), v,
                         LanguageName(m_languages[static_cast<std::size_t>(i)]), x, y, until))
            return false;
    }
    return true;
}

int UIDeviceSettingDlg::OnCreate(LPCREATESTRUCT createStruct)
{
    const std::weak_ptr<int> life = LifeToken();
    if (CWnd::OnCreate(createStruct) == -1 || life.expired())
        return -1;
    if (createStruct)
        m_rcWindow = CRect(createStruct->x, createStruct->y, createStruct->x + createStruct->cx,
                           createStruct->y + createStruct->cy);
    s_pCurrent = this;
    if (!MakeControls())
        return -1;

    ShowGroup(Group::Always, TRUE);
    ShowGroup(Group::General, TRUE);
    ShowGroup(Group::VoicePrompt, FALSE);
    GetButton(kGeneralTabId)->SetCheck(1);
    GetButton(kWaistRadioId)->EnableWindow(FALSE);
    GetButton(kArmbandRadioId)->EnableWindow(FALSE);
    SetUserProfile(&m_profile);
    SetDeviceSettings(&m_device);
    if (CWnd *running = GetControl(kRunningEditId))
        running->SetFocus();
    return 0;
}

// ---- records ----

void UIDeviceSettingDlg::SetOptionTable(std::uint8_t count, const std::uint8_t *codes)
{
    if (count == 0 || codes == nullptr)
        return;
    m_languages.assign(codes, codes + count);
}

int UIDeviceSettingDlg::GetLanguageRadioCount() const
{
    int n = 0;
    for (int i = 0; i < kMaxLanguageRadios; ++i)
        if (GetControl(kFirstLanguageRadioId + static_cast<UINT>(i)))
            ++n;
    return n;
}

void UIDeviceSettingDlg::ShowStep(UINT editId, std::uint16_t centimetres, std::uint16_t &remembered)
{
    CString text;
    if (m_profile.metric == 1)
    {
        remembered = 0;
        text.Format(u"%d", static_cast<int>(centimetres));
    }
    else
    {
        // Remembered before the text is set: the change check that the text sends reads it.
        remembered = centimetres;
        text.Format(u"%.0f", centimetres / 2.54);
    }
    if (CWnd *edit = GetControl(editId))
        edit->SetWindowText(text.str().c_str());
}

void UIDeviceSettingDlg::SetUserProfile(const UserProfileSettings *profile)
{
    if (!profile)
        return;
    m_profile = *profile;
    if (!m_hWnd)
        return;
    const std::u16string unit = Text(m_profile.metric == 1 ? kCentimetresText : kInchesText);
    for (UINT id : {kWalkingUnitId, kRunningUnitId})
        if (auto *label = dynamic_cast<UIStatic *>(GetControl(id)))
        {
            label->SetText(unit.c_str());
            label->Invalidate();
        }
    ShowStep(kWalkingEditId, m_profile.walkingStep, m_nWalkingCm);
    ShowStep(kRunningEditId, m_profile.runningStep, m_nRunningCm);
    CheckOnly({kWaistRadioId, kArmbandRadioId}, m_profile.placement == 1 ? kArmbandRadioId : kWaistRadioId);
    CheckOnly({kTapOnRadioId, kTapOffRadioId}, m_profile.doubleTapOff != 0 ? kTapOffRadioId : kTapOnRadioId);
    CheckOnly({kNormalRadioId, kFastRadioId}, m_profile.doubleTapSpeed == 2 ? kFastRadioId : kNormalRadioId);
}

void UIDeviceSettingDlg::SetDeviceSettings(const DeviceSettings *settings)
{
    if (!settings)
        return;
    m_device = *settings;
    if (!m_hWnd)
        return;
    const std::pair<UINT, std::uint32_t> boxes[] = {
        {kShowTimeBoxId, m_device.showTime},
        {kShowDistanceBoxId, m_device.showDistance},
        {kShowStepsBoxId, m_device.showSteps},
        {kShowCaloriesBoxId, m_device.showCalories},
    };
    for (const auto &[id, flag] : boxes)
        if (UIButton *box = GetButton(id))
            box->SetCheck(flag != 0 ? 1 : 0);
    CheckOnly({kLowRadioId, kMidRadioId, kHighRadioId}, m_device.volume == 2   ? kHighRadioId
                                                        : m_device.volume == 1 ? kMidRadioId
                                                                               : kLowRadioId);
    for (int i = 0; i < kMaxLanguageRadios; ++i)
        if (UIButton *radio = GetButton(kFirstLanguageRadioId + static_cast<UINT>(i)))
            radio->SetCheck(m_languages[static_cast<std::size_t>(i)] == m_device.language ? 1 : 0);
}

int UIDeviceSettingDlg::ReadShownNumber(UINT editId) const
{
    CWnd *edit = GetControl(editId);
    if (!edit)
        return 0;
    CString text;
    edit->GetWindowText(text);
    return LeadingNumber16(text.str());
}

std::uint16_t UIDeviceSettingDlg::ReadStep(UINT editId, std::uint16_t remembered) const
{
    const std::uint16_t shown = static_cast<std::uint16_t>(ReadShownNumber(editId));
    // The unit is the one the page shows, whatever record the caller reads into.
    if (m_profile.metric == 1)
        return shown;
    if (remembered != 0 && static_cast<int>(remembered / 2.54 + 0.5) == shown)
        return remembered; // an untouched inch value keeps the exact centimetres it stands for
    return InchesToCm(shown);
}

void UIDeviceSettingDlg::GetUserProfile(UserProfileSettings *profile) const
{
    if (!profile)
        return;
    profile->placement = IsChecked(kArmbandRadioId) ? 1 : 0;
    profile->doubleTapOff = IsChecked(kTapOnRadioId) ? 0 : 1;
    profile->doubleTapSpeed = IsChecked(kNormalRadioId) ? 1 : IsChecked(kFastRadioId) ? 2 : 1;
    profile->walkingStep = ReadStep(kWalkingEditId, m_nWalkingCm);
    profile->runningStep = ReadStep(kRunningEditId, m_nRunningCm);
}

void UIDeviceSettingDlg::GetDeviceSettings(DeviceSettings *settings) const
{
    if (!settings)
        return;
    settings->showTime = IsChecked(kShowTimeBoxId) ? 1 : 0;
    settings->showDistance = IsChecked(kShowDistanceBoxId) ? 1 : 0;
    settings->showSteps = IsChecked(kShowStepsBoxId) ? 1 : 0;
    settings->showCalories = IsChecked(kShowCaloriesBoxId) ? 1 : 0;
    settings->volume = IsChecked(kHighRadioId) ? 2 : IsChecked(kMidRadioId) ? 1 : 0;
    // A code the page offers no radio for stays the device's: reading 0 would turn the monitor to
    // English at the next save.
    settings->language = m_device.language;
    for (int i = 0; i < kMaxLanguageRadios; ++i)
        if (IsChecked(kFirstLanguageRadioId + static_cast<UINT>(i)))
        {
            settings->language = m_languages[static_cast<std::size_t>(i)];
            break;
        }
}

// ---- controls ----

CWnd *UIDeviceSettingDlg::GetControl(UINT id) const
{
    for (const Control &c : m_controls)
        if (c.id == id)
            return c.window.get();
    return nullptr;
}

UIButton *UIDeviceSettingDlg::GetButton(UINT id) const
{
    return dynamic_cast<UIButton *>(GetControl(id));
}

bool UIDeviceSettingDlg::IsChecked(UINT id) const
{
    const UIButton *button = GetButton(id);
    return button && button->GetCheck();
}

void UIDeviceSettingDlg::CheckOnly(std::initializer_list<UINT> group, UINT checked)
{
    for (UINT id : group)
        if (UIButton *button = GetButton(id))
        {
            button->SetCheck(id == checked ? 1 : 0);
            // A disabled radio keeps its disabled face, which is made from the choice it carries.
            if (!button->IsWindowEnabled())
            {
                button->EnableWindow(TRUE);
                button->EnableWindow(FALSE);
            }
        }
}

void UIDeviceSettingDlg::ShowGroup(Group group, BOOL show)
{
    for (Control &c : m_controls)
        if (c.group == group)
            c.window->ShowWindow(show ? SW_SHOW : SW_HIDE);
}

void UIDeviceSettingDlg::ShowGeneralGroup(BOOL show)
{
    ShowGroup(Group::General, show);
}

void UIDeviceSettingDlg::ShowVoicePromptGroup(BOOL show)
{
    ShowGroup(Group::VoicePrompt, show);
}

void UIDeviceSettingDlg::MarkIf(bool differs)
{
    if (differs)
        m_bModified = TRUE;
}

void UIDeviceSettingDlg::Step(UINT editId, bool up)
{
    const int n = ReadShownNumber(editId);
    int next = 0;
    if (up)
        next = n < kStepMin ? kStepMin : n < kStepMax ? n + 1 : kStepMax;
    else
        next = n > kStepMax ? kStepMax : n < kStepMin + 1 ? kStepMin : n - 1;
    if (CWnd *edit = GetControl(editId))
        edit->SetWindowText(Decimal(next).c_str());
}

void UIDeviceSettingDlg::CheckStepChange(UINT editId)
{
    if (editId == kWalkingEditId)
        MarkIf(ReadStep(kWalkingEditId, m_nWalkingCm) != m_profile.walkingStep);
    else if (editId == kRunningEditId)
        MarkIf(ReadStep(kRunningEditId, m_nRunningCm) != m_profile.runningStep);
}

BOOL UIDeviceSettingDlg::OnCommand(WPARAM wParam, LPARAM lParam)
{
    const UINT id = LOWORD(wParam);
    if (HIWORD(wParam) == EN_CHANGE && (id == kWalkingEditId || id == kRunningEditId))
    {
        CheckStepChange(id);
        return TRUE;
    }
    return CWnd::OnCommand(wParam, lParam);
}

// ---- button actions ----

void UIDeviceSettingDlg::OnSaveClicked()
{
    UIDeviceSettingDlg *page = s_pCurrent;
    ButtonClickCallback save = page ? page->m_pfnSave : nullptr;
    // The save handler may replace the page: nothing of it is touched afterwards.
    if (save)
        save();
}

void UIDeviceSettingDlg::OnDefault()
{
    UIDeviceSettingDlg *page = s_pCurrent;
    if (!page)
        return;
    // The units of the window the page lies on (the main dialog); centimetres without one.
    const auto *owner = dynamic_cast<const UnitsOwner *>(page->GetParent());
    UserProfileSettings profile;
    profile.placement = 0;
    profile.metric = !owner || owner->IsMetricUnits() ? 1 : 0;
    // Double tap goes back to On, the monitor's own default.
    profile.doubleTapOff = 0;
    profile.doubleTapSpeed = 1;
    profile.walkingStep = 75;
    profile.runningStep = 97;
    DeviceSettings settings = page->m_device; // the device values A and B are the monitor's
    settings.showTime = 1;
    settings.showDistance = 1;
    settings.showSteps = 1;
    settings.showCalories = 1;
    settings.volume = 1;
    settings.language = 0;
    page->SetUserProfile(&profile);
    page->SetDeviceSettings(&settings);
    page->m_bModified = TRUE;
}

void UIDeviceSettingDlg::OnGeneralTab()
{
    if (UIDeviceSettingDlg *page = s_pCurrent)
    {
        page->ShowGroup(Group::General, TRUE);
        page->ShowGroup(Group::VoicePrompt, FALSE);
        page->CheckOnly({kGeneralTabId, kVoicePromptTabId}, kGeneralTabId);
    }
}

void UIDeviceSettingDlg::OnVoicePromptTab()
{
    if (UIDeviceSettingDlg *page = s_pCurrent)
    {
        page->ShowGroup(Group::General, FALSE);
        page->ShowGroup(Group::VoicePrompt, TRUE);
        page->CheckOnly({kGeneralTabId, kVoicePromptTabId}, kVoicePromptTabId);
    }
}

void UIDeviceSettingDlg::OnTapOn()
{
    if (UIDeviceSettingDlg *page = s_pCurrent)
    {
        page->CheckOnly({kTapOnRadioId, kTapOffRadioId}, kTapOnRadioId);
        page->MarkIf(page->m_profile.doubleTapOff != 0);
    }
}

void UIDeviceSettingDlg::OnTapOff()
{
    if (UIDeviceSettingDlg *page = s_pCurrent)
    {
        page->CheckOnly({kTapOnRadioId, kTapOffRadioId}, kTapOffRadioId);
        page->MarkIf(page->m_profile.doubleTapOff != 1);
    }
}

void UIDeviceSettingDlg::OnSpeedNormal()
{
    if (UIDeviceSettingDlg *page = s_pCurrent)
    {
        page->CheckOnly({kNormalRadioId, kFastRadioId}, kNormalRadioId);
        page->MarkIf(page->m_profile.doubleTapSpeed != 1);
    }
}

void UIDeviceSettingDlg::OnSpeedFast()
{
    if (UIDeviceSettingDlg *page = s_pCurrent)
    {
        page->CheckOnly({kNormalRadioId, kFastRadioId}, kFastRadioId);
        page->MarkIf(page->m_profile.doubleTapSpeed != 2);
    }
}

void UIDeviceSettingDlg::OnWalkingMinus()
{
    if (UIDeviceSettingDlg *page = s_pCurrent)
        page->Step(kWalkingEditId, false);
}

void UIDeviceSettingDlg::OnWalkingPlus()
{
    if (UIDeviceSettingDlg *page = s_pCurrent)
        page->Step(kWalkingEditId, true);
}

void UIDeviceSettingDlg::OnRunningMinus()
{
    if (UIDeviceSettingDlg *page = s_pCurrent)
        page->Step(kRunningEditId, false);
}

void UIDeviceSettingDlg::OnRunningPlus()
{
    if (UIDeviceSettingDlg *page = s_pCurrent)
        page->Step(kRunningEditId, true);
}

void UIDeviceSettingDlg::OnShowTime()
{
    if (UIDeviceSettingDlg *page = s_pCurrent)
        page->MarkIf(page->IsChecked(kShowTimeBoxId) != (page->m_device.showTime != 0));
}

void UIDeviceSettingDlg::OnShowDistance()
{
    if (UIDeviceSettingDlg *page = s_pCurrent)
        page->MarkIf(page->IsChecked(kShowDistanceBoxId) != (page->m_device.showDistance != 0));
}

void UIDeviceSettingDlg::OnShowSteps()
{
    if (UIDeviceSettingDlg *page = s_pCurrent)
        page->MarkIf(page->IsChecked(kShowStepsBoxId) != (page->m_device.showSteps != 0));
}

void UIDeviceSettingDlg::OnShowCalories()
{
    if (UIDeviceSettingDlg *page = s_pCurrent)
        page->MarkIf(page->IsChecked(kShowCaloriesBoxId) != (page->m_device.showCalories != 0));
}

void UIDeviceSettingDlg::OnVolumeLow()
{
    if (UIDeviceSettingDlg *page = s_pCurrent)
    {
        page->CheckOnly({kLowRadioId, kMidRadioId, kHighRadioId}, kLowRadioId);
        page->MarkIf(page->m_device.volume != 0);
    }
}

void UIDeviceSettingDlg::OnVolumeMid()
{
    if (UIDeviceSettingDlg *page = s_pCurrent)
    {
        page->CheckOnly({kLowRadioId, kMidRadioId, kHighRadioId}, kMidRadioId);
        page->MarkIf(page->m_device.volume != 1);
    }
}

void UIDeviceSettingDlg::OnVolumeHigh()
{
    if (UIDeviceSettingDlg *page = s_pCurrent)
    {
        page->CheckOnly({kLowRadioId, kMidRadioId, kHighRadioId}, kHighRadioId);
        page->MarkIf(page->m_device.volume != 2);
    }
}

template <int Index> void UIDeviceSettingDlg::OnLanguage()
{
    if (UIDeviceSettingDlg *page = s_pCurrent)
        page->LanguageChosen(Index);
}

void UIDeviceSettingDlg::LanguageChosen(int index)
{
    if (index < 0 || static_cast<std::size_t>(index) >= m_languages.size())
        return;
    for (int i = 0; i < kMaxLanguageRadios; ++i)
        if (UIButton *radio = GetButton(kFirstLanguageRadioId + static_cast<UINT>(i)))
            radio->SetCheck(i == index ? 1 : 0);
    MarkIf(m_device.language != m_languages[static_cast<std::size_t>(index)]);
}

// ---- picture, painting, presses ----

void UIDeviceSettingDlg::SetBackgroundImage(UINT id)
{
    Gdiplus::Image *picture = nullptr;
    if (!LoadImageFromResource(id, u"PNG", &picture, kPictureLanguage))
        return;
    m_pBackground.reset(picture);
    m_rcWindow.right = m_rcWindow.left + static_cast<int>(picture->GetWidth());
    m_rcWindow.bottom = m_rcWindow.top + static_cast<int>(picture->GetHeight());
    if (m_hWnd)
        MoveWindow(&m_rcWindow, TRUE);
}

BOOL UIDeviceSettingDlg::OnEraseBkgnd(CDC *dc)
{
    if (m_bFirstErase)
    {
        m_bFirstErase = FALSE;
        CWnd::OnEraseBkgnd(dc);
    }
    return TRUE;
}

void UIDeviceSettingDlg::OnPaint()
{
    CPaintDC dc(this);
    CRect client;
    GetClientRect(&client);
    CDC mem;
    CBitmap bitmap;
    if (!mem.CreateCompatibleDC(&dc) || !bitmap.CreateCompatibleBitmap(&dc, client.Width(), client.Height()))
        return;
    CBitmap *old = mem.SelectObject(&bitmap);
    mem.BitBlt(0, 0, client.Width(), client.Height(), &dc, 0, 0, SRCCOPY);
    if (m_pBackground)
    {
        Gdiplus::Graphics g(mem.Painter());
        g.DrawImage(m_pBackground.get(), 0, 0, static_cast<int>(m_pBackground->GetWidth()),
                    static_cast<int>(m_pBackground->GetHeight()));
    }
    dc.BitBlt(0, 0, client.Width(), client.Height(), &mem, 0, 0, SRCCOPY);
    mem.SelectObject(old);
}

void UIDeviceSettingDlg::OnLButtonDown(UINT flags, CPoint point)
{
    // The main dialog is dragged by its page.
    if (CWnd *parent = GetParent())
    {
        parent->SendMessage(WM_LBUTTONDOWN, flags, MAKELPARAM(point.x, point.y));
        return;
    }
    Default();
}
