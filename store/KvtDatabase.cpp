#include "store/KvtDatabase.h"

#include "platform/sys/DataFolder.h"
#include "platform/sys/TextConvert.h"

#include <vector>

namespace
{
const char16_t kFileName[] = u"KVTDB_NB.dat";
const char16_t kFolderName[] = u"Vormatik";

// The fixed key of stored password texts; existing files depend on it.
const uint8_t kPasswordKey[16] = {'Q', 'w', 'E', 'r', 'T', 'Y', 'U', 'o',
                                  'P', 'L', 'K', '7', 'Z', 'X', 'C', 'v'};

struct TableDefinition
{
    const char16_t *name;
    const char16_t *create;
};

// The six tables in creation order. The texts are those that existing files
// hold in their schema.
const TableDefinition kTables[] = {
    {u"UserInfo",
     u"Create table UserInfo ( UserID TEXT, Password BLOB, FirstName TEXT, LastName TEXT, Height INTEGER, "
     u"HeightUnit INTEGER, Weight INTEGER, WeightUnit INTEGER, Age INTEGER, DOB_Year INTEGER, DOB_Month "
     u"INTEGER, "
     u"DOB_Day INTEGER, Gender INTEGER, DeviceSerialNo TEXT NULL)"},
    {u"Goal", u"Create table Goal( UserID TEXT, GoalID INTEGER )"},
    {u"GoalInfo", u"Create table GoalInfo( GoalID INTEGER, GoalDistance INTEGER NULL, GoalDistanceUnit "
                  u"INTEGER, GoalTime INTEGER "
                  u"NULL, GoalCalories INTEGER NULL, GoalTimeFrame INTEGER, GoalTimeFrameType INTEGER, "
                  u"GoalTimeFrameFrom INTEGER, "
                  u"GoalTimeFrameTo INTEGER, GoalStatus INTEGER )"},
    {u"Run", u"Create table Run( UserID TEXT, RunID INTEGER, RunGoalID INTEGER )"},
    {u"RunInfo",
     u"Create table RunInfo( RunID INTEGER, RunDateTime INTEGER, RunDuration INTEGER, RunStepWalk INTEGER, "
     u"RunStepRun INTEGER, RunDistanceRun INTEGER, RunDistanceWalk INTEGER, RunCalories INTEGER, "
     u"RunTemperature "
     u"INTEGER, RunHeartBeatBeforeRun INTEGER, RunHeartBeatAfterRun INTEGER )"},
    {u"FacebookInfo", u"Create table if not exists FacebookInfo( UserID TEXT, Email TEXT, Password BLOB )"},
};

// Lookups for the run statements: periods by start time, and the join between the two run tables by run
// number (with the owner, so the join never reads the Run rows themselves). They add no table and change
// no value; a file that lacks them gains them at its next open.
const char16_t *const kIndexes[] = {
    u"Create index if not exists RunInfoRunDateTime on RunInfo ( RunDateTime )",
    u"Create index if not exists RunInfoRunID on RunInfo ( RunID )",
    u"Create index if not exists RunRunIDUserID on Run ( RunID, UserID )",
};
} // namespace

KvtDatabase::KvtDatabase()
{
    const std::u16string base = vxsys::AppDataFolder();
    if (base.empty())
        OpenFile(std::u16string());
    else if (base.back() == u'/')
        OpenFile(base + kFolderName);
    else
        OpenFile(base + u'/' + kFolderName);
}

KvtDatabase::KvtDatabase(const std::u16string &folder)
{
    OpenFile(folder);
}

KvtDatabase::~KvtDatabase()
{
    m_db.Close();
}

void KvtDatabase::OpenFile(const std::u16string &folder)
{
    m_cipher.SetKey(kPasswordKey, sizeof(kPasswordKey));
    if (folder.empty())
    {
        // Without a data folder the file lies in the current directory.
        m_path = kFileName;
    }
    else
    {
        m_path = folder;
        if (m_path.back() != u'/')
            m_path += u'/';
        m_path += kFileName;
    }
    // The engine would read an unpaired surrogate of the path together with the
    // character after it, and a zero character would end the path early: either
    // way it would open another file than the one made private below.
    if (vxsys::HasUnpairedSurrogate(m_path) || m_path.find(u'\0') != std::u16string::npos)
        return;
    if (!folder.empty())
        vxsys::CreateFolderTree(folder, 0700);
    // The file holds enciphered passwords under a fixed key: only its owner may read it.
    // A file created here is empty; the engine takes it as a new database. What cannot
    // be made private (a symbolic link, whose target would stay as it is, or anything
    // but a regular file) is not opened: the store then fails every operation.
    if (!vxsys::EnsurePrivateFile(m_path, 0600))
        return;
    if (m_db.Open(m_path.c_str()))
    {
        EnsureSchema();
        EnsureIndexes();
    }
}

void KvtDatabase::EnsureSchema()
{
    // Whatever table is missing is created, also in a file that an interrupted
    // first start left empty or a file from before the social-site tables.
    std::vector<const TableDefinition *> missing;
    for (const TableDefinition &table : kTables)
    {
        int64_t count = 0;
        if (!Exec(u"Select count(*) from sqlite_master where name='%s'", {table.name}) ||
            !m_table.GetInt64(0, 0, &count))
            return; // not a database the engine can read
        if (count <= 0)
            missing.push_back(&table);
    }
    if (missing.empty() || !Begin())
        return;
    for (const TableDefinition *table : missing)
    {
        if (!Exec(table->create))
        {
            Rollback();
            return;
        }
    }
    Commit();
}

void KvtDatabase::EnsureIndexes()
{
    // Each statement stands alone: an index that cannot be made (a read-only
    // file, a missing table) only costs speed.
    for (const char16_t *index : kIndexes)
        Exec(index);
}

const SqlParameters *KvtDatabase::Parameters(std::u16string_view format, std::initializer_list<SqlArg> args)
{
    // Values are bound, never written into the statement: each format compiles once per connection.
    auto found = m_statements.find(format);
    if (found == m_statements.end())
    {
        std::optional<SqlParameters> parameters = SqlParameterize(format);
        if (!parameters)
            return nullptr;
        found = m_statements.emplace(std::u16string(format), std::move(*parameters)).first;
    }
    return SqlArgsFit(found->second.kinds, args) ? &found->second : nullptr;
}

int KvtDatabase::Exec(std::u16string_view format, std::initializer_list<SqlArg> args)
{
    const SqlParameters *parameters = Parameters(format, args);
    if (!parameters)
    {
        m_table.Clear();
        return 0;
    }
    return m_db.QueryBound(parameters->statement, args, &m_table);
}

int KvtDatabase::ExecRows(std::u16string_view format, std::initializer_list<SqlArg> args,
                          const std::function<bool(const CellTable &)> &onRow)
{
    const SqlParameters *parameters = Parameters(format, args);
    if (!parameters)
    {
        m_table.Clear();
        return 0;
    }
    return m_db.QueryBoundRows(parameters->statement, args, &m_table, onRow);
}

int KvtDatabase::Login(const char16_t *userId, const char16_t *password)
{
    if (!CheckPassword(userId, password))
        return 0;
    m_currentUser = std::u16string(userId);
    m_loggedIn = 1;
    // The history pages read the summary next; reading it now keeps each of their reads short.
    DropSummary();
    SummaryReady();
    return 1;
}

int KvtDatabase::Logout()
{
    if (!m_loggedIn)
        return 0;
    m_currentUser.reset();
    m_loggedIn = 0;
    DropSummary();
    return 1;
}

int KvtDatabase::Begin()
{
    if (!m_db.IsOpen())
        return 0;
    // A transaction that a caller keeps open is joined, not refused.
    if (m_db.InTransaction())
        return 1;
    // Runs the summary holds from a transaction that ended without this object's COMMIT (the engine
    // rolls a whole transaction back on some failures) are gone from the file.
    if (m_summary.uncommitted)
        DropSummary();
    return Exec(u"BEGIN");
}

int KvtDatabase::Commit()
{
    if (!m_db.InTransaction())
        return 0;
    if (Exec(u"COMMIT"))
    {
        m_summary.uncommitted = false;
        return 1;
    }
    Rollback();
    return 0;
}

int KvtDatabase::End()
{
    if (!m_db.InTransaction())
        return 0;
    if (Exec(u"END"))
    {
        m_summary.uncommitted = false;
        return 1;
    }
    Rollback();
    return 0;
}

int KvtDatabase::Rollback()
{
    if (!m_db.IsOpen())
        return 0;
    // Runs the summary holds from this transaction are taken back with it, also when the engine has
    // already rolled it back.
    if (m_summary.uncommitted)
        DropSummary();
    if (!m_db.InTransaction())
        return 1;
    return Exec(u"ROLLBACK");
}
