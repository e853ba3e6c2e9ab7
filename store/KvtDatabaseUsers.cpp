#include "store/KvtDatabase.h"

#include "platform/sys/TextConvert.h"

#include <algorithm>
#include <vector>

namespace
{
// The password's UTF-16 bytes in little-endian order, as stored texts were made.
std::vector<uint8_t> PasswordBytes(const char16_t *password, bool withTerminator)
{
    std::vector<uint8_t> bytes;
    if (!password)
        return bytes;
    const std::size_t chars = vxsys::U16Length(password) + (withTerminator ? 1 : 0);
    bytes.reserve(chars * 2);
    for (std::size_t i = 0; i < chars; ++i)
    {
        bytes.push_back(static_cast<uint8_t>(password[i] & 0xFF));
        bytes.push_back(static_cast<uint8_t>(password[i] >> 8));
    }
    return bytes;
}

// Clears the buffer over its full size and copies in at most size - 1 characters.
void FillBuffer(char16_t *buffer, uint32_t size, std::u16string_view text)
{
    if (!buffer || size == 0)
        return;
    std::fill(buffer, buffer + size, u'\0');
    vxsys::U16CopyBounded(buffer, size, text);
}
} // namespace

std::u16string KvtDatabase::MakeStoredPassword(const void *bytes, std::size_t length)
{
    std::vector<uint8_t> cipher;
    if (!m_cipher.Encrypt(static_cast<const uint8_t *>(bytes), length, &cipher))
        return std::u16string();
    std::u16string text(cipher.size() * 2 + 1, u'\0');
    HexEncodeReversed(cipher.data(), cipher.size(), text.data(), text.size());
    text.resize(cipher.size() * 2);
    return text;
}

bool KvtDatabase::ReadStoredPassword(std::u16string_view stored, std::u16string *password)
{
    const std::size_t n = stored.size() / 2;
    std::vector<uint8_t> bytes(n, 0);
    HexDecodeReversed(stored.data(), stored.size(), bytes.data(), bytes.size());
    std::vector<uint8_t> plain;
    if (!m_cipher.Decrypt(bytes.data(), bytes.size(), &plain))
        return false;
    // The text ends at its first zero character, and never later than the
    // deciphered bytes (a stored text of whole blocks carries no terminator).
    password->clear();
    for (std::size_t i = 0; i + 1 < plain.size(); i += 2)
    {
        const char16_t ch = static_cast<char16_t>(plain[i] | (plain[i + 1] << 8));
        if (ch == u'\0')
            break;
        password->push_back(ch);
    }
    return true;
}

int KvtDatabase::CheckPassword(const char16_t *userId, const char16_t *password)
{
    if (!userId || !password)
        return 0;
    const std::vector<uint8_t> bytes = PasswordBytes(password, false);
    const std::u16string computed = MakeStoredPassword(bytes.data(), bytes.size());
    if (computed.empty())
        return 0;
    if (!Exec(u"Select Password from UserInfo where UserID = '%s'", {userId}))
        return 0;
    std::u16string stored;
    if (!m_table.GetText(0, 0, &stored))
        return 0;
    return stored == computed ? 1 : 0;
}

int KvtDatabase::AddUser(const char16_t *userId, const char16_t *password, const char16_t *firstName,
                         const char16_t *lastName, uint8_t gender, const DateParts *dateOfBirth, uint8_t age,
                         uint16_t height, uint8_t heightUnit, uint8_t weight, uint8_t weightUnit)
{
    if (!dateOfBirth || !Begin())
        return 0;
    if (!Exec(u"Select * from UserInfo where UserID = '%s'", {userId}) || m_table.GetRowCount() > 0)
    {
        Rollback();
        return 0;
    }
    const std::vector<uint8_t> bytes = PasswordBytes(password, false);
    const std::u16string stored = MakeStoredPassword(bytes.data(), bytes.size());
    if (stored.empty())
    {
        Rollback();
        return 0;
    }
    if (!Exec(
            u"Insert into UserInfo values( '%s', '%s', '%s', '%s', %i, %i, %i, %i, %i, %i, %i, %i, %i, NULL "
            u")",
            {userId, stored, firstName, lastName, height, heightUnit, weight, weightUnit, age,
             dateOfBirth->year, dateOfBirth->month, dateOfBirth->day, gender}))
    {
        Rollback();
        return 0;
    }
    return Commit();
}

int KvtDatabase::UpdateUser(const char16_t *currentPassword, const char16_t *newPassword,
                            const char16_t *firstName, const char16_t *lastName, uint8_t gender,
                            const DateParts *dateOfBirth, uint8_t age, uint16_t height, uint8_t heightUnit,
                            uint8_t weight, uint8_t weightUnit)
{
    if (!dateOfBirth || !IsLoggedIn())
        return 0;
    // A copy: the check below must not depend on the member staying put.
    const std::u16string user = CurrentUser();
    if (!CheckPassword(user.c_str(), currentPassword) || !Begin())
        return 0;
    int ok;
    if (newPassword && newPassword[0] != u'\0')
    {
        const std::vector<uint8_t> bytes = PasswordBytes(newPassword, false);
        const std::u16string stored = MakeStoredPassword(bytes.data(), bytes.size());
        if (stored.empty())
        {
            End();
            return 0;
        }
        ok = Exec(
            u"Update UserInfo set Password='%s', FirstName='%s', LastName='%s', Gender=%i, DOB_Year=%i, "
            u"DOB_Month=%i, DOB_Day=%i, Age=%i, Height=%i, HeightUnit=%i, Weight=%i, WeightUnit=%i where "
            u"UserID='%s'",
            {stored, firstName, lastName, gender, dateOfBirth->year, dateOfBirth->month, dateOfBirth->day,
             age, height, heightUnit, weight, weightUnit, user});
    }
    else
    {
        ok = Exec(u"Update UserInfo set FirstName='%s', LastName='%s', Gender=%i, DOB_Year=%i, DOB_Month=%i, "
                  u"DOB_Day=%i, Age=%i, Height=%i, HeightUnit=%i, Weight=%i, WeightUnit=%i where UserID='%s'",
                  {firstName, lastName, gender, dateOfBirth->year, dateOfBirth->month, dateOfBirth->day, age,
                   height, heightUnit, weight, weightUnit, user});
    }
    if (!ok)
    {
        Rollback();
        return 0;
    }
    return Commit();
}

int KvtDatabase::GetUser(char16_t *firstName, uint32_t firstNameSize, char16_t *lastName,
                         uint32_t lastNameSize, uint8_t *gender, DateParts *dateOfBirth, uint8_t *age,
                         uint16_t *height, uint8_t *heightUnit, uint8_t *weight, uint8_t *weightUnit)
{
    if (!IsLoggedIn() || !firstName || !lastName || !dateOfBirth)
        return 0;
    if (!Exec(u"Select FirstName, LastName, Gender, DOB_Year, DOB_Month, DOB_Day, Age, Height, HeightUnit, "
              u"Weight, "
              u"WeightUnit from UserInfo where UserID = '%s'",
              {CurrentUser()}) ||
        m_table.GetRowCount() == 0)
        return 0;

    std::u16string text;
    FillBuffer(firstName, firstNameSize, m_table.GetText(0, 0, &text) ? std::u16string_view(text) : u"");
    FillBuffer(lastName, lastNameSize, m_table.GetText(0, 1, &text) ? std::u16string_view(text) : u"");

    // A cell that is not an integer gives the default; values keep their low bits.
    auto number = [this](uint32_t column, int64_t fallback) {
        int64_t value = fallback;
        m_table.GetInt64(0, column, &value);
        return value;
    };
    const uint8_t genderValue = static_cast<uint8_t>(number(2, 255));
    const DateParts date = {static_cast<uint8_t>(number(5, 0)), static_cast<uint8_t>(number(4, 0)),
                            static_cast<uint16_t>(number(3, 0))};
    const uint8_t ageValue = static_cast<uint8_t>(number(6, 0));
    const uint16_t heightValue = static_cast<uint16_t>(number(7, 0));
    const uint8_t heightUnitValue = static_cast<uint8_t>(number(8, 255));
    const uint8_t weightValue = static_cast<uint8_t>(number(9, 0));
    const uint8_t weightUnitValue = static_cast<uint8_t>(number(10, 255));

    *dateOfBirth = date;
    if (gender)
        *gender = genderValue;
    if (age)
        *age = ageValue;
    if (height)
        *height = heightValue;
    if (heightUnit)
        *heightUnit = heightUnitValue;
    if (weight)
        *weight = weightValue;
    if (weightUnit)
        *weightUnit = weightUnitValue;
    return 1;
}

int KvtDatabase::DeleteUser()
{
    if (!IsLoggedIn() || !Begin())
        return 0;
    DropSummary();
    static const char16_t *const kStatements[] = {
        u"Delete from RunInfo where RunInfo.RunID in ( select Run.RunID from Run where Run.UserID = '%s' )",
        u"Delete from Run where UserID = '%s'",
        u"Delete from GoalInfo where GoalInfo.GoalID in ( Select Goal.GoalID from Goal where Goal.UserID = "
        u"'%s' )",
        u"Delete from Goal where UserID = '%s'",
        u"Delete from FacebookInfo where UserID='%s'",
        u"Delete from UserInfo where UserID = '%s'",
    };
    for (const char16_t *statement : kStatements)
    {
        if (!Exec(statement, {CurrentUser()}))
        {
            Rollback();
            return 0;
        }
    }
    // The account is gone only once the engine has stored its removal; until
    // then the user stays logged in.
    if (!Commit())
        return 0;
    Logout();
    return 1;
}

int KvtDatabase::SetDeviceSerialNo(const char16_t *serialNo)
{
    if (!IsLoggedIn() || !serialNo || !Begin())
        return 0;
    int ok;
    if (serialNo[0] != u'\0')
        ok =
            Exec(u"Update UserInfo set DeviceSerialNo = '%s' where UserID = '%s'", {serialNo, CurrentUser()});
    else
        ok = Exec(u"Update UserInfo set DeviceSerialNo = NULL where UserID = '%s'", {CurrentUser()});
    if (!ok)
    {
        Rollback();
        return 0;
    }
    return Commit();
}

int KvtDatabase::GetDeviceSerialNo(char16_t *buffer, uint32_t size)
{
    if (!IsLoggedIn() || !buffer || size == 0)
        return 0;
    if (!Exec(u"Select DeviceSerialNo from UserInfo where UserID = '%s'", {CurrentUser()}) ||
        m_table.GetRowCount() != 1)
        return 0;
    uint8_t type = CellNull;
    m_table.GetCell(0, 0, nullptr, &type, nullptr);
    std::u16string text;
    if (m_table.GetText(0, 0, &text))
        FillBuffer(buffer, size, text);
    else if (type == CellNull)
        buffer[0] = u'\0';
    return 1;
}

int KvtDatabase::HasFacebookInfo()
{
    if (!IsLoggedIn())
        return 0;
    int64_t count = 0;
    if (!Exec(u"Select count(*) from FacebookInfo where UserID='%s'", {CurrentUser()}) ||
        !m_table.GetInt64(0, 0, &count))
        return 0;
    return count > 0 ? 1 : 0;
}

int KvtDatabase::SaveFacebookInfo(const char16_t *email, const char16_t *password)
{
    if (!IsLoggedIn() || !email || !password || !Begin())
        return 0;
    // The terminating zero character is enciphered with the password.
    const std::vector<uint8_t> bytes = PasswordBytes(password, true);
    const std::u16string stored = MakeStoredPassword(bytes.data(), bytes.size());
    if (stored.empty())
    {
        End();
        return 0;
    }
    // One row per user: a new save replaces what an earlier one stored.
    if (!Exec(u"Delete from FacebookInfo where UserID='%s'", {CurrentUser()}) ||
        !Exec(u"Insert into FacebookInfo values ( '%s', '%s', '%s' )", {CurrentUser(), email, stored}))
    {
        Rollback();
        return 0;
    }
    return Commit();
}

int KvtDatabase::GetFacebookInfo(char16_t *email, uint32_t emailSize, char16_t *password,
                                 uint32_t passwordSize)
{
    if (!IsLoggedIn() || !email || emailSize == 0 || !password || passwordSize == 0)
        return 0;
    // Files written before saves replaced each other can hold several rows; the newest counts.
    if (!Exec(u"Select Email, Password from FacebookInfo where UserID='%s' order by rowid desc",
              {CurrentUser()}) ||
        m_table.GetRowCount() == 0)
        return 0;
    std::u16string text;
    FillBuffer(email, emailSize, m_table.GetText(0, 0, &text) ? std::u16string_view(text) : u"");
    FillBuffer(password, passwordSize, u"");
    std::u16string stored;
    if (!m_table.GetText(0, 1, &stored))
        return 0;
    std::u16string plain;
    if (!ReadStoredPassword(stored, &plain))
        return 0;
    FillBuffer(password, passwordSize, plain);
    return 1;
}

int KvtDatabase::DecryptPassword(const char16_t *stored, std::u16string *password)
{
    if (!stored || !password)
        return 0;
    return ReadStoredPassword(std::u16string_view(stored, vxsys::U16Length(stored)), password) ? 1 : 0;
}
