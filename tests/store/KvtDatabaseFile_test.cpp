#include "store/KvtDatabase.h"

#include "tests/store/StoreTestSupport.h"
#include "tests/support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <vector>
#include <sys/stat.h>
#include <unistd.h>

using namespace storetest;

namespace
{
const char16_t *const kTableNames[] = {u"UserInfo", u"Goal",    u"GoalInfo",
                                       u"Run",      u"RunInfo", u"FacebookInfo"};

// The schema as the engine keeps it (it writes the leading keywords in capitals
// and leaves out "if not exists").
const char16_t *const kSchema[] = {
    u"CREATE TABLE UserInfo ( UserID TEXT, Password BLOB, FirstName TEXT, LastName TEXT, Height INTEGER, "
    u"HeightUnit "
    u"INTEGER, Weight INTEGER, WeightUnit INTEGER, Age INTEGER, DOB_Year INTEGER, DOB_Month INTEGER, DOB_Day "
    u"INTEGER, "
    u"Gender INTEGER, DeviceSerialNo TEXT NULL)",
    u"CREATE TABLE Goal( UserID TEXT, GoalID INTEGER )",
    u"CREATE TABLE GoalInfo( GoalID INTEGER, GoalDistance INTEGER NULL, GoalDistanceUnit INTEGER, GoalTime "
    u"INTEGER "
    u"NULL, GoalCalories INTEGER NULL, GoalTimeFrame INTEGER, GoalTimeFrameType INTEGER, GoalTimeFrameFrom "
    u"INTEGER, "
    u"GoalTimeFrameTo INTEGER, GoalStatus INTEGER )",
    u"CREATE TABLE Run( UserID TEXT, RunID INTEGER, RunGoalID INTEGER )",
    u"CREATE TABLE RunInfo( RunID INTEGER, RunDateTime INTEGER, RunDuration INTEGER, RunStepWalk INTEGER, "
    u"RunStepRun "
    u"INTEGER, RunDistanceRun INTEGER, RunDistanceWalk INTEGER, RunCalories INTEGER, RunTemperature INTEGER, "
    u"RunHeartBeatBeforeRun INTEGER, RunHeartBeatAfterRun INTEGER )",
    u"CREATE TABLE FacebookInfo( UserID TEXT, Email TEXT, Password BLOB )",
};

// The five tables of files written before the social-site credentials.
const char16_t *const kOlderSchema[] = {
    u"Create table UserInfo ( UserID TEXT, Password BLOB, FirstName TEXT, LastName TEXT, Height INTEGER, "
    u"HeightUnit "
    u"INTEGER, Weight INTEGER, WeightUnit INTEGER, Age INTEGER, DOB_Year INTEGER, DOB_Month INTEGER, DOB_Day "
    u"INTEGER, "
    u"Gender INTEGER, DeviceSerialNo TEXT NULL)",
    u"Create table Goal( UserID TEXT, GoalID INTEGER )",
    u"Create table GoalInfo( GoalID INTEGER, GoalDistance INTEGER NULL, GoalDistanceUnit INTEGER, GoalTime "
    u"INTEGER "
    u"NULL, GoalCalories INTEGER NULL, GoalTimeFrame INTEGER, GoalTimeFrameType INTEGER, GoalTimeFrameFrom "
    u"INTEGER, "
    u"GoalTimeFrameTo INTEGER, GoalStatus INTEGER )",
    u"Create table Run( UserID TEXT, RunID INTEGER, RunGoalID INTEGER )",
    u"Create table RunInfo( RunID INTEGER, RunDateTime INTEGER, RunDuration INTEGER, RunStepWalk INTEGER, "
    u"RunStepRun "
    u"INTEGER, RunDistanceRun INTEGER, RunDistanceWalk INTEGER, RunCalories INTEGER, RunTemperature INTEGER, "
    u"RunHeartBeatBeforeRun INTEGER, RunHeartBeatAfterRun INTEGER )",
};

// "abc" as a stored password text.
const char16_t kAbcStored[] = u"624D80920979D4E964A5174C9943AE35";

unsigned Mode(const std::string &path)
{
    struct stat st;
    EXPECT_EQ(0, ::stat(path.c_str(), &st)) << path;
    return st.st_mode & 07777;
}

void ExpectFullSchema(const std::u16string &path)
{
    Peek peek(path);
    for (std::size_t i = 0; i < 6; ++i)
    {
        const auto sql = peek.Text(u"select sql from sqlite_master where type='table' and name='" +
                                   std::u16string(kTableNames[i]) + u"'");
        ASSERT_TRUE(sql) << U8(kTableNames[i]);
        EXPECT_EQ(std::u16string(kSchema[i]), *sql);
    }
    EXPECT_EQ(6, peek.Count(u"select count(*) from sqlite_master where type='table'"));
    // Besides the tables only the run lookups, which change no table.
    EXPECT_EQ(3, peek.Count(u"select count(*) from sqlite_master where type='index'"));
    EXPECT_EQ(9, peek.Count(u"select count(*) from sqlite_master"));
    const auto encoding = peek.Text(u"pragma encoding");
    ASSERT_TRUE(encoding);
    EXPECT_EQ(u"UTF-16le", *encoding);
}

int64_t RowsInAllTables(const std::u16string &path)
{
    Peek peek(path);
    int64_t rows = 0;
    for (const char16_t *name : kTableNames)
        rows += peek.Count(u"select count(*) from " + std::u16string(name));
    return rows;
}

int AddAbc(KvtDatabase &db, const char16_t *user)
{
    const DateParts dob = {1, 2, 1980};
    return db.AddUser(user, u"abc", u"First", u"Last", 1, &dob, 30, 180, 3, 75, 5);
}

std::string ReadAll(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
} // namespace

TEST(KvtDatabaseFile, FirstStartCreatesTheFolderTreeAndAnEmptyDatabase)
{
    const std::string data = vxtest::MakeTempDir("first") + "/deep/er/share";
    ScopedEnv xdg("XDG_DATA_HOME", data.c_str());
    {
        KvtDatabase db;
        EXPECT_EQ(1, db.IsOpen());
        EXPECT_EQ(U16(data + "/Vormatik/KVTDB_NB.dat"), db.GetPath());
        EXPECT_EQ(0, db.InTransaction());
    }
    EXPECT_EQ(0700u, Mode(data + "/Vormatik"));
    EXPECT_EQ(0700u, Mode(data));
    EXPECT_EQ(0700u, Mode(data + "/../.."));
    EXPECT_EQ(0600u, Mode(data + "/Vormatik/KVTDB_NB.dat"));
    ExpectFullSchema(U16(data + "/Vormatik/KVTDB_NB.dat"));
    EXPECT_EQ(0, RowsInAllTables(U16(data + "/Vormatik/KVTDB_NB.dat")));
}

TEST(KvtDatabaseFile, DataFolderFallsBackToHome)
{
    const std::string home = vxtest::MakeTempDir("home");
    ScopedEnv homeEnv("HOME", home.c_str());
    for (const char *xdg : {static_cast<const char *>(nullptr), "", "relative/share"})
    {
        ScopedEnv xdgEnv("XDG_DATA_HOME", xdg);
        KvtDatabase db;
        EXPECT_EQ(U16(home + "/.local/share/Vormatik/KVTDB_NB.dat"), db.GetPath()) << (xdg ? xdg : "(unset)");
        EXPECT_EQ(1, db.IsOpen());
    }
}

TEST(KvtDatabaseFile, WithoutAnyDataFolderTheFileLiesInTheCurrentDirectory)
{
    const std::string dir = vxtest::MakeTempDir("cwd");
    const auto old = std::filesystem::current_path();
    std::filesystem::current_path(dir);
    {
        ScopedEnv xdg("XDG_DATA_HOME", nullptr);
        ScopedEnv home("HOME", nullptr);
        KvtDatabase db;
        EXPECT_EQ(u"KVTDB_NB.dat", db.GetPath());
        EXPECT_EQ(1, AddAbc(db, u"u"));
    }
    std::filesystem::current_path(old);
    EXPECT_TRUE(std::filesystem::exists(dir + "/KVTDB_NB.dat"));
}

TEST(KvtDatabaseFile, TestFolderConstructorUsesTheFolder)
{
    const std::string folder = vxtest::MakeTempDir("given") + "/a/b";
    KvtDatabase db(U16(folder + "/"));
    EXPECT_EQ(U16(folder + "/KVTDB_NB.dat"), db.GetPath());
    EXPECT_EQ(0700u, Mode(folder));
    ExpectFullSchema(db.GetPath());
}

TEST(KvtDatabaseFile, OlderFileGainsTheCredentialsTableAndKeepsItsRows)
{
    const std::string folder = vxtest::MakeTempDir("older");
    const std::u16string path = U16(folder + "/KVTDB_NB.dat");
    {
        Peek old(path);
        for (const char16_t *create : kOlderSchema)
            ASSERT_EQ(1, old.Run(create));
        ASSERT_EQ(1, old.Run(u"Insert into UserInfo values( 'old', '" + std::u16string(kAbcStored) +
                             u"', 'Ann', 'Lee', 170, 3, 60, 5, 40, 1970, 5, 6, 2, 'SER' )"));
        ASSERT_EQ(1, old.Run(u"Insert into Run values( 'old', 1, -1 )"));
    }
    {
        KvtDatabase db(U16(folder));
        ASSERT_EQ(1, db.Login(u"old", u"abc"));
        EXPECT_EQ(0, db.HasFacebookInfo());
        EXPECT_EQ(1, db.SaveFacebookInfo(u"ann@example.com", u"pw"));
        char16_t serial[33];
        ASSERT_EQ(1, db.GetDeviceSerialNo(serial, 33));
        EXPECT_EQ(u"SER", std::u16string(serial));
    }
    Peek peek(path);
    EXPECT_EQ(1, peek.Count(u"select count(*) from sqlite_master where name='FacebookInfo'"));
    const auto sql = peek.Text(u"select sql from sqlite_master where name='FacebookInfo'");
    ASSERT_TRUE(sql);
    EXPECT_EQ(std::u16string(kSchema[5]), *sql);
    EXPECT_EQ(1, peek.Count(u"select count(*) from Run"));
    EXPECT_EQ(1, peek.Count(u"select count(*) from FacebookInfo"));
}

TEST(KvtDatabaseFile, CompleteFileIsLeftAsItIs)
{
    const std::string folder = vxtest::MakeTempDir("complete");
    std::u16string path;
    {
        KvtDatabase db(U16(folder));
        path = db.GetPath();
        ASSERT_EQ(1, AddAbc(db, u"u"));
    }
    int64_t version = 0;
    {
        Peek peek(path);
        version = peek.Count(u"pragma schema_version");
    }
    {
        KvtDatabase db(U16(folder));
        EXPECT_EQ(1, db.Login(u"u", u"abc"));
    }
    Peek peek(path);
    EXPECT_EQ(version, peek.Count(u"pragma schema_version"));
    EXPECT_EQ(1, peek.Count(u"select count(*) from UserInfo"));
}

TEST(KvtDatabaseFile, EmptyFileLeftByAnInterruptedStartBecomesADatabase)
{
    const std::string folder = vxtest::MakeTempDir("empty");
    const std::string file = folder + "/KVTDB_NB.dat";
    {
        std::ofstream touch(file);
    }
    ::chmod(file.c_str(), 0644);
    {
        KvtDatabase db(U16(folder));
        EXPECT_EQ(1, AddAbc(db, u"u"));
        EXPECT_EQ(1, db.Login(u"u", u"abc"));
    }
    EXPECT_EQ(0600u, Mode(file));
    ExpectFullSchema(U16(file));
}

TEST(KvtDatabaseFile, MissingTablesAreCreatedWhateverTheyAre)
{
    const std::string folder = vxtest::MakeTempDir("partial");
    const std::u16string path = U16(folder + "/KVTDB_NB.dat");
    {
        Peek old(path);
        ASSERT_EQ(1, old.Run(kOlderSchema[0]));
        ASSERT_EQ(1, old.Run(kOlderSchema[3]));
    }
    {
        KvtDatabase db(U16(folder));
        EXPECT_EQ(0, db.InTransaction());
    }
    Peek peek(path);
    EXPECT_EQ(6, peek.Count(u"select count(*) from sqlite_master where type='table'"));
    const auto goal = peek.Text(u"select sql from sqlite_master where name='Goal'");
    ASSERT_TRUE(goal);
    EXPECT_EQ(std::u16string(kSchema[1]), *goal);
}

TEST(KvtDatabaseFile, FileThatIsNotADatabaseIsLeftAloneAndEveryOperationFails)
{
    const std::string folder = vxtest::MakeTempDir("garbage");
    const std::string file = folder + "/KVTDB_NB.dat";
    const std::string junk(4096, 'x');
    {
        std::ofstream out(file, std::ios::binary);
        out << junk;
    }
    {
        KvtDatabase db(U16(folder));
        EXPECT_EQ(0, AddAbc(db, u"u"));
        EXPECT_EQ(0, db.Login(u"u", u"abc"));
        EXPECT_EQ(0, db.InTransaction());
    }
    EXPECT_EQ(junk, ReadAll(file));
}

TEST(KvtDatabaseFile, UnusableFolderLeavesTheConnectionClosed)
{
    const std::string base = vxtest::MakeTempDir("blocked");
    {
        std::ofstream file(base + "/plain-file");
    }
    KvtDatabase db(U16(base + "/plain-file/sub"));
    EXPECT_EQ(0, db.IsOpen());
    EXPECT_EQ(0, AddAbc(db, u"u"));
    EXPECT_EQ(0, db.Login(u"u", u"abc"));
    EXPECT_EQ(0, db.Begin());
    EXPECT_EQ(0, db.Commit());
    EXPECT_EQ(0, db.Rollback());
    std::u16string password;
    // Deciphering needs no connection.
    EXPECT_EQ(1, db.DecryptPassword(kAbcStored, &password));
    EXPECT_EQ(u"abc", password);
}

TEST(KvtDatabaseFile, WhatCannotBeMadePrivateIsNotOpened)
{
    struct Case
    {
        const char *what;
        std::function<void(const std::string &file, const std::string &elsewhere)> make;
    };
    const Case cases[] = {
        {"link to a database",
         [](const std::string &file, const std::string &elsewhere) {
             {
                 KvtDatabase other(U16(elsewhere));
                 ASSERT_EQ(1, AddAbc(other, u"u"));
             }
             ::chmod((elsewhere + "/KVTDB_NB.dat").c_str(), 0644);
             ASSERT_EQ(0, ::symlink((elsewhere + "/KVTDB_NB.dat").c_str(), file.c_str()));
         }},
        {"link to an empty file",
         [](const std::string &file, const std::string &elsewhere) {
             std::ofstream(elsewhere + "/KVTDB_NB.dat");
             ::chmod((elsewhere + "/KVTDB_NB.dat").c_str(), 0644);
             ASSERT_EQ(0, ::symlink((elsewhere + "/KVTDB_NB.dat").c_str(), file.c_str()));
         }},
        {"dangling link",
         [](const std::string &file, const std::string &elsewhere) {
             ASSERT_EQ(0, ::symlink((elsewhere + "/KVTDB_NB.dat").c_str(), file.c_str()));
         }},
        {"FIFO", [](const std::string &file, const std::string &) { ASSERT_EQ(0, ::mkfifo(file.c_str(), 0600)); }},
        {"folder", [](const std::string &file, const std::string &) { ASSERT_EQ(0, ::mkdir(file.c_str(), 0700)); }},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.what);
        const std::string folder = vxtest::MakeTempDir("refused");
        const std::string elsewhere = vxtest::MakeTempDir("elsewhere");
        const std::string file = folder + "/KVTDB_NB.dat";
        const std::string target = elsewhere + "/KVTDB_NB.dat";
        c.make(file, elsewhere);
        const bool hadTarget = std::filesystem::exists(target);
        const std::string before = hadTarget ? ReadAll(target) : std::string();
        {
            KvtDatabase db(U16(folder));
            EXPECT_EQ(0, db.IsOpen());
            EXPECT_EQ(0, db.Login(u"u", u"abc"));
            EXPECT_EQ(0, AddAbc(db, u"v"));
            EXPECT_EQ(0, db.Begin());
        }
        // The link's target keeps its mode and content, and nothing new appears.
        EXPECT_EQ(hadTarget, std::filesystem::exists(target));
        if (hadTarget)
        {
            EXPECT_EQ(0644u, Mode(target));
            EXPECT_TRUE(before == ReadAll(target)) << "the target's content changed";
        }
        EXPECT_EQ(1, std::distance(std::filesystem::directory_iterator(folder),
                                   std::filesystem::directory_iterator()));
    }
}

TEST(KvtDatabaseFile, ExistingDataFolderIsNarrowedToTheOwner)
{
    for (const unsigned mode : {0755u, 0777u, 0711u, 0700u})
    {
        const std::string data = vxtest::MakeTempDir("wide");
        ::chmod(data.c_str(), 0755);
        ASSERT_EQ(0, ::mkdir((data + "/Vormatik").c_str(), 0700));
        ASSERT_EQ(0, ::chmod((data + "/Vormatik").c_str(), mode));
        ScopedEnv xdg("XDG_DATA_HOME", data.c_str());
        {
            KvtDatabase db;
            EXPECT_EQ(1, db.IsOpen());
        }
        EXPECT_EQ(0700u, Mode(data + "/Vormatik")) << std::oct << mode;
        EXPECT_EQ(0755u, Mode(data)) << "a parent is not ours to change";
    }
}

TEST(KvtDatabaseFile, FolderNameTheEngineWouldReadOtherwiseIsNeitherMadeNorOpened)
{
    const std::string base = vxtest::MakeTempDir("surrogate");
    std::vector<std::u16string> names;
    for (const char16_t s : {char16_t(0xD800), char16_t(0xDBFF), char16_t(0xDC00)})
    {
        names.push_back(std::u16string{s});
        names.push_back(u"a" + std::u16string{s});
        names.push_back(std::u16string{s} + u"'");
    }
    // A zero character would end the engine's path at the folder itself.
    names.push_back(std::u16string(u"db\0x", 4));
    for (const std::u16string &name : names)
    {
        KvtDatabase db(U16(base) + u"/" + name);
        EXPECT_EQ(0, db.IsOpen()) << U8(name);
        EXPECT_EQ(0, AddAbc(db, u"u"));
    }
    EXPECT_TRUE(std::filesystem::is_empty(base));
}
