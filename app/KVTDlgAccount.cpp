#include "app/KVTDlg.h"

#include <algorithm>
#include <climits>
#include <string>

#include "app/AccountForm.h"
#include "app/DialogText.h"
#include "device/WorkoutImporter.h"
#include "platform/sys/LocalTime.h"
#include "platform/sys/TextConvert.h"
#include "store/KvtDatabase.h"
#include "store/PackedDate.h"
#include "ui/UIButton.h"
#include "ui/UIEdit.h"
#include "ui/UIStatic.h"

// The New Account page with its sign-up step, and the My Profile page with its save step. Both pages
// show one form: personal information (names, gender, date of birth, age, units, height, weight) and
// login information.

namespace
{
// Form controls beyond the shared form (AccountForm.h).
using namespace accountform;
constexpr UINT kSignUpId = 1003;
constexpr UINT kSaveId = 1151;
constexpr UINT kClearId = 1162;
constexpr UINT kLogOutId = 1093;
constexpr UINT kNewAccountPictureId = 1154;
constexpr UINT kProfilePictureId = 1150;

// What the fields take.
constexpr int kNameChars = 49;
constexpr int kLoginChars = 20;

// Unit codes of the stored user.
constexpr int kHeightMetric = 3;
constexpr int kHeightImperial = 4;
constexpr int kWeightMetric = 5;
constexpr int kWeightImperial = 6;

// Texts.
constexpr UINT kNewAccountTitle = 157;
constexpr UINT kProfileTitle = 191;
constexpr UINT kSignUpText = 423;
constexpr UINT kSaveText = 419;
constexpr UINT kClearText = 341;
constexpr UINT kLogOutText = 378;
constexpr UINT kFillAllToSignUp = 262;
constexpr UINT kFillAllToSave = 263;
constexpr UINT kBadBirthDate = 246;
constexpr UINT kBadPassword = 247;
constexpr UINT kSignUpRefused = 158;
constexpr UINT kSaveProfileFailed = 236;

// Looks.
constexpr ARGB kBodyTextColour = 0xFF838281;
constexpr ARGB kAgeBackground = 0xFFDEDEDD;
constexpr COLORREF kFieldTextColour{0x605D5C};

// A label of the form: its string and its place; `colon` labels are followed by ":".
struct FormLabel
{
    UINT id;
    UINT textId;
    CRect rect;
    bool colon;
    int alignment;
};

// Rows of the left (personal) and right (login) columns.
constexpr int kRowTop = 150;
constexpr int kRowStep = 26;
constexpr int Row(int n)
{
    return kRowTop + n * kRowStep;
}

template <class T> T *Item(const CWnd *dialog, UINT id)
{
    return dynamic_cast<T *>(dialog->GetDlgItem(static_cast<int>(id)));
}

// A field's text as the window text gives it: up to its first zero character, and at most `chars`
// characters, never cutting a surrogate pair in two.
std::u16string FieldText(const CWnd *dialog, UINT id, std::size_t chars)
{
    CString text;
    if (CWnd *item = dialog->GetDlgItem(static_cast<int>(id)))
        item->GetWindowText(text);
    std::u16string value = text.str();
    if (const std::size_t zero = value.find(u'\0'); zero != std::u16string::npos)
        value.resize(zero);
    if (value.size() > chars)
    {
        std::size_t n = chars;
        if (n > 0 && value[n - 1] >= 0xD800 && value[n - 1] <= 0xDBFF)
            --n;
        value.resize(n);
    }
    return value;
}

// A name as the store can keep it: an unpaired surrogate (which the store refuses, since no other
// encoding can carry it) becomes U+FFFD, so the name is kept and shown back as it is stored.
std::u16string StorableName(std::u16string_view text)
{
    std::u16string name;
    for (std::size_t at = 0; at < text.size();)
    {
        const vxsys::Utf16Char ch = vxsys::Utf16CharAt(text, at);
        if (ch.lone)
            name += u'\uFFFD';
        else
            name.append(text.substr(at, ch.units));
        at += ch.units;
    }
    return name;
}

// The number a field begins with, at most INT_MAX.
int FieldNumber(const CWnd *dialog, UINT id)
{
    const unsigned long long value = UIEdit::LeadingNumber(FieldText(dialog, id, 260));
    return value > static_cast<unsigned long long>(INT_MAX) ? INT_MAX : static_cast<int>(value);
}

// To the nearest whole number (add 0.5 and cut), kept within int.
int Round(double value)
{
    const double rounded = value + 0.5;
    if (!(rounded > 0))
        return 0;
    return rounded >= static_cast<double>(INT_MAX) ? INT_MAX : static_cast<int>(rounded);
}

BOOL IsChecked(const CWnd *dialog, UINT id)
{
    auto *button = Item<UIButton>(dialog, id);
    return button && button->GetCheck();
}

void SetField(const CWnd *dialog, UINT id, const std::u16string &text)
{
    if (CWnd *item = dialog->GetDlgItem(static_cast<int>(id)))
        item->SetWindowText(text.c_str());
}

template <typename... Args> std::u16string Formatted(const char16_t *format, Args... args)
{
    CString text;
    text.Format(format, args...);
    return text.str();
}

int CurrentYear()
{
    vxsys::LocalFields now{};
    return vxsys::LocalFieldsFromTime(vxsys::CurrentTime(), &now) ? now.year : 0;
}

// The form as the sign-up and save steps read it: texts, the date of birth with a two-digit year
// completed, and height and weight in metric units with the unit codes of the user's choice.
struct AccountForm
{
    std::u16string firstName, lastName, loginName, newPassword, verifyPassword, oldPassword;
    bool dayEmpty = false, monthEmpty = false, yearEmpty = false, heightEmpty = false, weightEmpty = false;
    int gender = 0; // 1 female, 0 male
    int day = 0, month = 0, year = 0;
    bool imperial = false;
    int heightCm = 0;
    int totalInches = 0;
    int weightKg = 0;
    int heightUnit = kHeightMetric;
    int weightUnit = kWeightMetric;

    // The personal information is complete.
    bool PersonalComplete() const
    {
        return !firstName.empty() && !lastName.empty() && !dayEmpty && !monthEmpty && !yearEmpty && !heightEmpty &&
               !weightEmpty;
    }
    // The date of birth as a packed date; 0 for numbers that cannot be a date (too big for their part
    // of a packed date, where they would wrap into another date).
    std::uint32_t PackedBirthDate() const
    {
        if (year > 0xFFFF || month > 0xFF || day > 0xFF)
            return 0;
        return vxtime::PackDate(year, month, day);
    }
    // A real date before today that gives an age of 1 to 119.
    bool BirthDateAcceptable() const
    {
        const std::uint32_t date = PackedBirthDate();
        if (date == 0 || !vxtime::IsValidPackedDate(date) || vxtime::CompareWithToday(date) >= 0)
            return false;
        const int age = vxtime::AgeFromPackedDate(date);
        return age >= 1 && age <= 119;
    }
    DateParts BirthDate() const
    {
        return DateParts{static_cast<std::uint8_t>(day), static_cast<std::uint8_t>(month),
                         static_cast<std::uint16_t>(year)};
    }
};

AccountForm ReadAccountForm(const CWnd *dialog)
{
    AccountForm form;
    form.firstName = StorableName(FieldText(dialog, kFirstNameId, kNameChars));
    form.lastName = StorableName(FieldText(dialog, kLastNameId, kNameChars));
    form.loginName = FieldText(dialog, kAccountLoginId, kLoginChars);
    form.newPassword = FieldText(dialog, kNewPasswordId, kLoginChars);
    form.verifyPassword = FieldText(dialog, kVerifyPasswordId, kLoginChars);
    form.oldPassword = FieldText(dialog, kOldPasswordId, kLoginChars);
    form.gender = IsChecked(dialog, kFemaleId) ? 1 : 0;

    form.dayEmpty = FieldText(dialog, kDayId, 260).empty();
    form.monthEmpty = FieldText(dialog, kMonthId, 260).empty();
    form.yearEmpty = FieldText(dialog, kYearId, 260).empty();
    form.heightEmpty = FieldText(dialog, kHeightId, 260).empty();
    form.weightEmpty = FieldText(dialog, kWeightId, 260).empty();
    form.day = FieldNumber(dialog, kDayId);
    form.month = FieldNumber(dialog, kMonthId);
    form.year = FieldNumber(dialog, kYearId);
    if (form.year < 100)
    {
        // Two digits: this century while that gives a year already past, else the last one.
        const int century = CurrentYear() - 2000;
        form.year += form.year < century ? 2000 : 1900;
    }

    const int weight = FieldNumber(dialog, kWeightId);
    const int height = FieldNumber(dialog, kHeightId);
    form.imperial = !IsChecked(dialog, kMetricId);
    if (!form.imperial)
    {
        form.weightKg = weight;
        form.heightCm = height;
        form.heightUnit = kHeightMetric;
        form.weightUnit = kWeightMetric;
        return form;
    }
    form.heightUnit = kHeightImperial;
    form.weightUnit = kWeightImperial;
    form.weightKg = Round(weight / kPoundsPerKilogram);
    const int inches = FieldNumber(dialog, kInchesId);
    form.totalInches = static_cast<int>(
        std::min<long long>(static_cast<long long>(height) * 12 + inches, static_cast<long long>(INT_MAX)));
    form.heightCm = height != 0 ? static_cast<std::uint16_t>(Round(form.totalInches * kCentimetresPerInch)) : 0;
    return form;
}

void WithMainDialog(void (CKVTDlg::*action)())
{
    if (CKVTDlg *dlg = CKVTDlg::FromMainWindow())
        (dlg->*action)();
}

void EnterSignsUp(CKVTDlg *dialog)
{
    dialog->SignUp();
}
} // namespace

// ---- the form both pages show ---------------------------------------------------------------------

void CKVTDlg::AddAccountForm(bool profile, bool metric)
{
    // A form starts from what it shows: the profile form from the user's stored height, the new
    // account form from nothing. What an earlier form was switched through is forgotten.
    m_nHeightCm = profile ? m_nUserHeightCm : 0;
    m_nWeightLb = 0;
    const int passwordRow = profile ? 1 : 0;
    const FormLabel labels[] = {
        {1224, 406, CRect(40, 122, 340, 142), false, 0},
        {1225, 380, CRect(370, 122, 680, 142), false, 0},
        {1226, 363, CRect(30, Row(0), 145, Row(0) + 18), true, 2},
        {1227, 374, CRect(30, Row(1), 145, Row(1) + 18), true, 2},
        {1228, 365, CRect(30, Row(2), 145, Row(2) + 18), true, 2},
        {1229, 362, CRect(172, Row(2), 235, Row(2) + 18), false, 0},
        {1230, 382, CRect(262, Row(2), 340, Row(2) + 18), false, 0},
        {1231, 345, CRect(30, Row(3), 145, Row(3) + 18), true, 2},
        {1232, 346, CRect(150, Row(3) + 19, 185, Row(3) + 33), false, 1},
        {1233, 386, CRect(190, Row(3) + 19, 235, Row(3) + 33), false, 1},
        {1234, 451, CRect(240, Row(3) + 19, 290, Row(3) + 33), false, 1},
        {1235, 330, CRect(30, Row(4) + 14, 145, Row(4) + 32), true, 2},
        {1236, 521, CRect(30, Row(5) + 14, 145, Row(5) + 32), true, 2},
        {1237, 384, CRect(172, Row(5) + 14, 235, Row(5) + 32), false, 0},
        {1378, 588, CRect(262, Row(5) + 14, 340, Row(5) + 32), false, 0},
        {1239, 369, CRect(30, Row(6) + 14, 145, Row(6) + 32), true, 2},
        {1240, 448, CRect(30, Row(7) + 14, 145, Row(7) + 32), true, 2},
        {1241, 381, CRect(360, Row(0), 510, Row(0) + 18), true, 2},
        {1242, 398, CRect(360, Row(1 + passwordRow), 510, Row(1 + passwordRow) + 18), true, 2},
        {1243, 444, CRect(360, Row(2 + passwordRow), 510, Row(2 + passwordRow) + 18), true, 2},
    };
    for (const FormLabel &l : labels)
    {
        UIStatic *label = AddPageLabel(l.colon ? 0 : l.textId, l.rect, l.id, kBodyTextColour, 12, l.alignment);
        if (label && l.colon)
            label->SetText((LoadStringText(l.textId) + u":").GetString());
    }
    if (profile)
        if (UIStatic *label =
                AddPageLabel(0, CRect(360, Row(1), 510, Row(1) + 18), 1244, kBodyTextColour, 12, 2))
            label->SetText((LoadStringText(473) + u":").GetString());

    // The unit labels follow the units flag.
    AddPageLabel(metric ? 469 : 706, CRect(195, Row(6) + 14, 235, Row(6) + 32), kHeightUnitId, kBodyTextColour,
                 12);
    AddPageLabel(metric ? 0 : 372, CRect(275, Row(6) + 14, 335, Row(6) + 32), kInchesUnitId, kBodyTextColour,
                 12);
    AddPageLabel(metric ? 468 : 376, CRect(205, Row(7) + 14, 250, Row(7) + 32), kWeightUnitId, kBodyTextColour,
                 12);

    // The age: filled by the date fields' change handler.
    auto age = std::make_unique<UIStatic>();
    age->SetTransparent(FALSE);
    age->SetBkColor(kAgeBackground);
    age->SetTextColor(kBodyTextColour);
    age->SetFontSize(12);
    age->SetFontStyle(Gdiplus::FontStyleBold);
    age->SetAlignment(1);
    age->Create(u"", CRect(150, Row(4) + 14, 190, Row(4) + 32), this, kAgeId, WS_CHILD);
    age->ShowWindow(SW_SHOW);
    AddPageControl(std::move(age));

    struct Field
    {
        UINT id;
        CRect rect;
        int chars;     // 0: no character limit of its own
        UINT maxValue; // 0: not a number field
        bool noLeadingZero;
        bool password;
        bool visible;
    };
    const int yearLimit = CurrentYear();
    const Field fields[] = {
        {kFirstNameId, CRect(150, Row(0), 340, Row(0) + 18), kNameChars, 0, false, false, true},
        {kLastNameId, CRect(150, Row(1), 340, Row(1) + 18), kNameChars, 0, false, false, true},
        {kDayId, CRect(150, Row(3), 185, Row(3) + 18), 2, 31, true, false, true},
        {kMonthId, CRect(190, Row(3), 235, Row(3) + 18), 2, 12, true, false, true},
        {kYearId, CRect(240, Row(3), 290, Row(3) + 18), 4, static_cast<UINT>(yearLimit > 0 ? yearLimit : 9999),
         true, false, true},
        {kHeightId, CRect(150, Row(6) + 14, 190, Row(6) + 32), 3, metric ? 255u : 7u, true, false, true},
        {kInchesId, CRect(240, Row(6) + 14, 270, Row(6) + 32), 2, 11, false, false, !metric},
        {kWeightId, CRect(150, Row(7) + 14, 200, Row(7) + 32), 3, metric ? 255u : 561u, true, false, true},
        {kAccountLoginId, CRect(515, Row(0), 680, Row(0) + 18), kLoginChars, 0, false, false, true},
        {kNewPasswordId, CRect(515, Row(1 + passwordRow), 680, Row(1 + passwordRow) + 18), kLoginChars, 0, false,
         true, true},
        {kVerifyPasswordId, CRect(515, Row(2 + passwordRow), 680, Row(2 + passwordRow) + 18), kLoginChars, 0,
         false, true, true},
    };
    for (const Field &f : fields)
    {
        auto edit = std::make_unique<UIEdit>();
        edit->SetTextColor(kFieldTextColour);
        edit->SetFontSize(12);
        edit->SetRoundFrame(8, 8);
        edit->Create(WS_CHILD | ES_AUTOHSCROLL | (f.password ? ES_PASSWORD : 0), f.rect, this, f.id);
        edit->LimitText(f.chars);
        if (f.maxValue)
        {
            edit->SetNumericOnly(TRUE);
            edit->SetMaxValue(f.maxValue);
            edit->SetNoLeadingZero(f.noLeadingZero ? TRUE : FALSE);
        }
        edit->ShowWindow(f.visible ? SW_SHOW : SW_HIDE);
        AddPageControl(std::move(edit));
    }
    if (profile)
    {
        auto old = std::make_unique<UIEdit>();
        old->SetTextColor(kFieldTextColour);
        old->SetFontSize(12);
        old->SetRoundFrame(8, 8);
        old->Create(WS_CHILD | ES_AUTOHSCROLL | ES_PASSWORD | ES_READONLY, CRect(515, Row(1), 680, Row(1) + 18),
                    this, kOldPasswordId);
        old->LimitText(kLoginChars);
        old->ShowWindow(SW_SHOW);
        AddPageControl(std::move(old));
    }

    // The radio pairs: gender (male first chosen) and units (after the units flag).
    struct Radio
    {
        UINT id;
        int left;
        int top;
        ButtonClickCallback callback;
        bool checked;
    };
    const Radio radios[] = {
        {kFemaleId, 150, Row(2) + 1, &CKVTDlg::OnRadioFirst, false},
        {kMaleId, 240, Row(2) + 1, &CKVTDlg::OnRadioSecond, true},
        {kMetricId, 150, Row(5) + 15, &CKVTDlg::OnUnitsMetric, metric},
        {kImperialId, 240, Row(5) + 15, &CKVTDlg::OnUnitsImperial, !metric},
    };
    for (const Radio &r : radios)
    {
        auto button = std::make_unique<UIButton>();
        button->Create(u"", CRect(r.left, r.top, r.left + 16, r.top + 16), this, r.id);
        button->SetRadioMode(TRUE);
        button->SetImages(124, 124, 123, 124, 1033);
        button->SetClickCallback(r.callback);
        button->SetCheck(r.checked ? 1 : 0);
        button->ShowWindow(SW_SHOW);
        AddPageControl(std::move(button));
    }
}

// ---- New Account ------------------------------------------------------------------------------

void CKVTDlg::ShowNewAccountView()
{
    BeginPage(TRUE, kNewAccountTitle);
    // The units the dialog shows distances in.
    AddAccountForm(false, m_bMetric != FALSE);
    if (UIButton *signUp = AddPageButton(kSignUpText, CRect(595, 300, 680, 323), kSignUpId, 467, 467, 465, 466,
                                         &CKVTDlg::OnSignUp))
        signUp->SetText((LoadStringText(kSignUpText) + u" >").GetString());
    AddPagePicture(119, CRect(480, 330, 680, 460), kNewAccountPictureId);
    AddCloseButton();
    m_pfnEnterAction = &EnterSignsUp;
    EndPage();
}

void CKVTDlg::OnSignUp()
{
    WithMainDialog(&CKVTDlg::SignUp);
}

void CKVTDlg::SignUp()
{
    // Scoped: every way out below puts the cursor back.
    CWaitCursor wait;
    const AccountForm form = ReadAccountForm(this);
    if (!form.PersonalComplete() || form.loginName.empty() || form.newPassword.empty() ||
        form.verifyPassword.empty())
    {
        m_bLoggedIn = FALSE;
        ShowStatusTextWide(kFillAllToSignUp);
        return;
    }
    if (!form.BirthDateAcceptable())
    {
        m_bLoggedIn = FALSE;
        m_bImported = FALSE;
        ShowStatusTextWide(kBadBirthDate);
        return;
    }
    const DateParts birth = form.BirthDate();
    const auto age = static_cast<std::uint8_t>(vxtime::AgeFromPackedDate(form.PackedBirthDate()));
    if (form.newPassword != form.verifyPassword || !m_pDatabase ||
        m_pDatabase->AddUser(form.loginName.c_str(), form.newPassword.c_str(), form.firstName.c_str(),
                             form.lastName.c_str(), static_cast<std::uint8_t>(form.gender), &birth, age,
                             static_cast<std::uint16_t>(form.heightCm), static_cast<std::uint8_t>(form.heightUnit),
                             static_cast<std::uint8_t>(form.weightKg),
                             static_cast<std::uint8_t>(form.weightUnit)) != 1 ||
        m_pDatabase->Login(form.loginName.c_str(), form.newPassword.c_str()) != 1)
    {
        m_bLoggedIn = FALSE;
        m_bImported = FALSE;
        ShowStatusTextWide(kSignUpRefused);
        return;
    }

    CopyText(m_szUserId, form.loginName);
    CopyText(m_szPassword, form.newPassword);
    // The user just stored, read back as every log-in reads it: names, display name, profile, units.
    LoadLoggedInUser();

    if (!m_bDeviceFound)
    {
        PostNoDevicePrompt();
        return;
    }
    // The monitor plugged in now becomes the new user's.
    std::u16string identity = vxsys::Latin1ToUtf16(std::string_view(m_szDeviceId.data()));
    if (identity.size() > 99)
        identity.resize(99);
    m_pDatabase->SetDeviceSerialNo(identity.c_str());
    SetClockByDeviceType();

    if (ImportWorkouts() != kImportDone && !WriteDeviceSettings(false))
    {
        ShowSaveErrorView();
        return;
    }
    ShowUploadPromptView();
}

// ---- My Profile -------------------------------------------------------------------------------

void CKVTDlg::ShowProfileView()
{
    BeginPage(FALSE, kProfileTitle);
    m_nCurrentView = KvtView::Profile;
    // The stored weight unit chooses the units; the stored kilograms and centimetres are shown in them.
    const bool imperial = m_nWeightUnit == kWeightImperial;
    AddAccountForm(true, !imperial);

    SetField(this, kFirstNameId, TextOf(m_szFirstName));
    SetField(this, kLastNameId, TextOf(m_szLastName));
    if (auto *female = Item<UIButton>(this, kFemaleId))
        female->SetCheck(m_nGender == 1 ? 1 : 0);
    if (auto *male = Item<UIButton>(this, kMaleId))
        male->SetCheck(m_nGender == 1 ? 0 : 1);
    SetField(this, kDayId, Formatted(u"%02d", m_BirthDate.day));
    SetField(this, kMonthId, Formatted(u"%02d", m_BirthDate.month));
    SetField(this, kYearId, Formatted(u"%02d", m_BirthDate.year));
    if (auto *age = Item<UIStatic>(this, kAgeId))
        age->SetText(Formatted(u"%d", m_nAge).c_str());

    if (imperial)
    {
        SetField(this, kWeightId, Formatted(u"%d", Round(m_nWeightKg * kPoundsPerKilogram)));
        if (m_nUserHeightCm != 0)
        {
            const int inches = Round(m_nUserHeightCm / kCentimetresPerInch);
            SetField(this, kHeightId, Formatted(u"%d", inches / 12));
            SetField(this, kInchesId, Formatted(u"%d", inches % 12));
        }
    }
    else
    {
        SetField(this, kWeightId, Formatted(u"%d", m_nWeightKg));
        if (m_nUserHeightCm != 0)
            SetField(this, kHeightId, Formatted(u"%d", m_nUserHeightCm));
    }

    if (auto *login = Item<UIEdit>(this, kAccountLoginId))
    {
        login->SetWindowText(TextOf(m_szUserId).c_str());
        login->SetReadOnly(TRUE);
        login->EnableWindow(FALSE);
    }
    if (auto *old = Item<UIEdit>(this, kOldPasswordId))
    {
        old->SetWindowText(TextOf(m_szPassword).c_str());
        old->EnableWindow(FALSE);
    }

    AddPageButton(kSaveText, CRect(420, 300, 505, 323), kSaveId, 472, 471, 470, 471, &CKVTDlg::OnProfileSave);
    AddPageButton(kClearText, CRect(515, 300, 600, 323), kClearId, 472, 471, 470, 471, &CKVTDlg::OnProfileClear);
    AddPageButton(kLogOutText, CRect(555, 66, 640, 89), kLogOutId, 472, 471, 470, 471, &CKVTDlg::OnLogOut, 10);
    AddPagePicture(146, CRect(480, 330, 680, 460), kProfilePictureId);
    BuildNavigationBarFor(NavigationPage::Profile);
    AddCloseButton();
    EndPage();
}

void CKVTDlg::OnProfileSave()
{
    WithMainDialog(&CKVTDlg::SaveProfile);
}

void CKVTDlg::SaveProfile()
{
    CWaitCursor wait;
    AccountForm form = ReadAccountForm(this);
    // Feet and inches do not give back every centimetre value: a height shown and left as it was
    // keeps the centimetres it was shown from.
    if (form.imperial && m_nHeightCm >= 1 && Round(m_nHeightCm / kCentimetresPerInch) == form.totalInches)
        form.heightCm = m_nHeightCm;

    // The new password may stay empty: the password is then kept.
    if (!form.PersonalComplete())
    {
        ShowStatusText(kFillAllToSave);
        return;
    }
    if (!form.BirthDateAcceptable())
    {
        ShowStatusText(kBadBirthDate);
        return;
    }
    const bool newPassword = !form.newPassword.empty() || !form.verifyPassword.empty();
    if (newPassword && form.newPassword != form.verifyPassword)
    {
        SetField(this, kNewPasswordId, u"");
        SetField(this, kVerifyPasswordId, u"");
        ShowStatusText(kBadPassword);
        return;
    }
    const DateParts birth = form.BirthDate();
    const int age = vxtime::AgeFromPackedDate(form.PackedBirthDate());
    if (!m_pDatabase ||
        m_pDatabase->UpdateUser(form.oldPassword.c_str(), newPassword ? form.newPassword.c_str() : u"",
                                form.firstName.c_str(), form.lastName.c_str(), static_cast<std::uint8_t>(form.gender),
                                &birth, static_cast<std::uint8_t>(age), static_cast<std::uint16_t>(form.heightCm),
                                static_cast<std::uint8_t>(form.heightUnit), static_cast<std::uint8_t>(form.weightKg),
                                static_cast<std::uint8_t>(form.weightUnit)) != 1)
    {
        ShowStatusText(kSaveProfileFailed);
        return;
    }

    CopyText(m_szFirstName, form.firstName);
    CopyText(m_szLastName, form.lastName);
    SetDisplayName(m_szFirstName.data(), m_szLastName.data());
    m_nGender = form.gender;
    m_BirthDate = birth;
    m_nAge = age;
    m_nHeightUnit = form.heightUnit;
    m_nUserHeightCm = static_cast<std::uint16_t>(form.heightCm);
    m_nHeightCm = m_nUserHeightCm;
    m_nWeightKg = static_cast<std::uint8_t>(form.weightKg);
    m_nWeightUnit = form.weightUnit;
    if (newPassword)
        CopyText(m_szPassword, form.newPassword);
    SetDistanceUnit(form.weightUnit != kWeightImperial ? TRUE : FALSE);

    if (m_bDeviceFound && m_bImported && !WriteDeviceSettings(false))
    {
        ShowStatusText(kSaveProfileFailed);
        return;
    }
    wait.Restore();
    ShowHomeView();
}
