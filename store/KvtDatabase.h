#pragma once

#include "store/BlockCipher.h"
#include "store/CellTable.h"
#include "store/DateParts.h"
#include "store/SQLiteDatabase.h"
#include "store/SqlText.h"

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

// The records store: the one object through which the program reads and writes
// users, runs, goals and social-site credentials. Per-user operations act on the
// logged-in user. Results are 1 for success and 0 for failure unless noted.
//
// Writing operations follow one convention: Begin, their statements (Rollback
// and failure at the first that fails), then Commit, whose result counts.
// Begin inside an open transaction joins it, so a caller may hold one
// transaction across several operations (the workout import does).
class KvtDatabase
{
  public:
    // The file "KVTDB_NB.dat" in the folder "Vormatik" of the user's data folder.
    KvtDatabase();
    // The file "KVTDB_NB.dat" in the given folder (created when missing).
    explicit KvtDatabase(const std::u16string &folder);
    ~KvtDatabase();
    KvtDatabase(const KvtDatabase &) = delete;
    KvtDatabase &operator=(const KvtDatabase &) = delete;

    const std::u16string &GetPath() const { return m_path; }
    int IsOpen() const { return m_db.IsOpen(); }

    // ---- login state ----
    int Login(const char16_t *userId, const char16_t *password);
    int Logout();
    int IsLoggedIn() const { return m_loggedIn && m_currentUser ? 1 : 0; }

    // ---- transactions ----
    // 1 when a transaction is open afterwards: a new one, or the one already open.
    int Begin();
    // Ends the open transaction; when the engine refuses, rolls it back and
    // gives 0. Also 0 when no transaction is open (the engine has already
    // rolled it back, so nothing of it was stored).
    int Commit();
    // The same as Commit, for operations that give up without having written.
    int End();
    // Undoes the open transaction; 1 also when none is open (nothing to undo).
    int Rollback();
    int InTransaction() const { return m_db.InTransaction(); }

    // ---- user accounts ----
    int CheckPassword(const char16_t *userId, const char16_t *password);
    int AddUser(const char16_t *userId, const char16_t *password, const char16_t *firstName,
                const char16_t *lastName, uint8_t gender, const DateParts *dateOfBirth, uint8_t age,
                uint16_t height, uint8_t heightUnit, uint8_t weight, uint8_t weightUnit);
    int UpdateUser(const char16_t *currentPassword, const char16_t *newPassword, const char16_t *firstName,
                   const char16_t *lastName, uint8_t gender, const DateParts *dateOfBirth, uint8_t age,
                   uint16_t height, uint8_t heightUnit, uint8_t weight, uint8_t weightUnit);
    // Sizes are in characters; each name buffer ends with a zero character.
    int GetUser(char16_t *firstName, uint32_t firstNameSize, char16_t *lastName, uint32_t lastNameSize,
                uint8_t *gender, DateParts *dateOfBirth, uint8_t *age, uint16_t *height, uint8_t *heightUnit,
                uint8_t *weight, uint8_t *weightUnit);
    int DeleteUser();
    int SetDeviceSerialNo(const char16_t *serialNo);
    int GetDeviceSerialNo(char16_t *buffer, uint32_t size);

    // ---- social-site credentials ----
    int HasFacebookInfo();
    int SaveFacebookInfo(const char16_t *email, const char16_t *password);
    int GetFacebookInfo(char16_t *email, uint32_t emailSize, char16_t *password, uint32_t passwordSize);

    // Turns a stored password text back into the password.
    int DecryptPassword(const char16_t *stored, std::u16string *password);

  private:
    // Further table groups are members defined in their own .cpp files; they
    // build statements with Exec, read m_table, and check IsLoggedIn before
    // using CurrentUser.
    void OpenFile(const std::u16string &folder);
    void EnsureSchema();

    // Formats and runs one statement into m_table; 0 when it cannot be formatted.
    int Exec(std::u16string_view format, std::initializer_list<SqlArg> args = {});
    const std::u16string &CurrentUser() const { return *m_currentUser; }

    // The stored password text of the bytes; empty when the cipher gives nothing.
    std::u16string MakeStoredPassword(const void *bytes, std::size_t length);
    // Deciphers a stored password text; the text ends at the first zero
    // character or at the end of the deciphered bytes. false when the cipher
    // gives nothing.
    bool ReadStoredPassword(std::u16string_view stored, std::u16string *password);

    SQLiteDatabase m_db;
    CellTable m_table;
    std::optional<std::u16string> m_currentUser;
    int m_loggedIn = 0;
    std::u16string m_path;
    BlockCipher m_cipher;
};
