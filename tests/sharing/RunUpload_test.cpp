#include "sharing/RunUpload.h"
#include "sharing/WebService.h"

#include "tests/sharing/WebServiceTestSupport.h"
#include "tests/store/RunStoreTestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using storetest::At;
using storetest::Day;
using storetest::MakeRun;
using vxtest::FakeXmlRpcService;

namespace
{
using Strings = std::vector<std::string>;

std::string I4(long long value)
{
    return "<i4>" + std::to_string(value) + "</i4>";
}

// 2010-01-01 00:00:00 UTC in seconds since 1970.
constexpr long long k2010 = 1262304000;

// A store with runs of "ann" (logged in) and a fake service, in Central European time,
// whose standard bias is one hour and whose summer bias is two.
class RunUploadTest : public storetest::RunStoreTest
{
  protected:
    RunUploadTest()
    {
        wstest::SetServiceHost(m_service.Host());
        m_service.Script("Login", {FakeXmlRpcService::String("tok-7")});
        m_service.Script("GetLastRecordDateTime", {FakeXmlRpcService::Int(0)});
        m_service.Script("AddRunData", {FakeXmlRpcService::Bool(true)});
        m_service.Script("Logout", {FakeXmlRpcService::Bool(true)});
    }
    ~RunUploadTest() override { wstest::SetServiceHost(""); }

    int Upload() { return UploadRuns(&m_db, u"ann@example.com", u"secret"); }

    // The parameters of the one AddRunData call.
    Strings Sent()
    {
        for (const auto &call : m_service.Calls())
            if (call.method == "AddRunData")
                return call.params;
        ADD_FAILURE() << "no AddRunData call";
        return {};
    }

    static Strings Record(long long start, const RunRecord &run)
    {
        return {I4(start),           I4(run.duration),    I4(run.walkSteps),   I4(run.runSteps),
                I4(run.walkDistance), I4(run.runDistance), I4(run.calories),    I4(0),
                I4(run.heartRateBefore), I4(run.heartRateAfter)};
    }

    vxtest::ScopedTimeZone m_tz{"CET-1CEST,M3.5.0,M10.5.0/3"};
    vxtest::NoProxyEnvironment m_noProxy;
    FakeXmlRpcService m_service;
};
} // namespace

TEST_F(RunUploadTest, SendsEveryRunOldestFirstInOneCallBetweenLoginAndLogout)
{
    RunRecord later = MakeRun(Day(5, 1, 2010), At(10, 30), 4100, 510);
    later.heartRateBefore = 66;
    RunRecord earlier = MakeRun(Day(3, 1, 2010), At(8, 0), 3900, 490);
    earlier.calories = 199;
    Store(later);
    Store(earlier);

    EXPECT_EQ(1, Upload());

    EXPECT_EQ((Strings{"Login", "GetLastRecordDateTime", "AddRunData", "Logout"}), m_service.Methods());
    const auto calls = m_service.Calls();
    EXPECT_EQ((Strings{"ann@example.com", "IlqIp8Nk"}), calls[0].params);
    EXPECT_EQ(Strings{"tok-7"}, calls[1].params);
    EXPECT_EQ(Strings{"tok-7"}, calls[3].params);
    // Winter: local time less one hour. Index 7 is 0 though the runs hold a temperature.
    Strings expected{"tok-7", I4(2)};
    for (const std::string &v : Record(k2010 + 2 * 86400 + 7 * 3600, earlier))
        expected.push_back(v);
    for (const std::string &v : Record(k2010 + 4 * 86400 + 9 * 3600 + 30 * 60, later))
        expected.push_back(v);
    EXPECT_EQ(expected, Sent());
}

TEST_F(RunUploadTest, ServiceSecondsUseTheStandardBiasOnly)
{
    const RunRecord summer = MakeRun(Day(1, 7, 2010), At(12, 0));
    Store(summer);
    EXPECT_EQ(1, Upload());
    // 12:00 summer time is 10:00 UTC, but the service counts it as 11:00.
    const long long july1 = 1277942400;
    Strings expected{"tok-7", I4(1)};
    for (const std::string &v : Record(july1 + 11 * 3600, summer))
        expected.push_back(v);
    EXPECT_EQ(expected, Sent());
}

TEST_F(RunUploadTest, SendsOnlyRunsStrictlyAfterTheServicesLastTime)
{
    StoreAt(Day(3, 1, 2010), At(8, 0));
    const RunRecord later = MakeRun(Day(3, 1, 2010), At(8, 0, 1));
    Store(later);
    const long long first = k2010 + 2 * 86400 + 7 * 3600;
    m_service.Script("GetLastRecordDateTime", {FakeXmlRpcService::Int(static_cast<int>(first))});
    EXPECT_EQ(1, Upload());
    Strings expected{"tok-7", I4(1)};
    for (const std::string &v : Record(first + 1, later))
        expected.push_back(v);
    EXPECT_EQ(expected, Sent());
}

TEST_F(RunUploadTest, NothingNewMeansLoginQueryLogoutAndSuccess)
{
    StoreAt(Day(3, 1, 2010), At(8, 0));
    m_service.Script("GetLastRecordDateTime", {FakeXmlRpcService::Int(static_cast<int>(k2010 + 30 * 86400))});
    EXPECT_EQ(1, Upload());
    EXPECT_EQ((Strings{"Login", "GetLastRecordDateTime", "Logout"}), m_service.Methods());
}

TEST_F(RunUploadTest, NoRunsAtAllIsSuccessWithoutSending)
{
    EXPECT_EQ(1, Upload());
    EXPECT_EQ((Strings{"Login", "GetLastRecordDateTime", "Logout"}), m_service.Methods());
}

TEST_F(RunUploadTest, MissingCredentialsOrAFailedLoginCallNothingMore)
{
    StoreAt(Day(3, 1, 2010), At(8, 0));
    EXPECT_EQ(0, UploadRuns(&m_db, nullptr, u"secret"));
    EXPECT_EQ(0, UploadRuns(&m_db, u"ann@example.com", nullptr));
    EXPECT_TRUE(m_service.Calls().empty());

    for (const auto &answer : {FakeXmlRpcService::Fault(), FakeXmlRpcService::String(""), FakeXmlRpcService::Int(3),
                               FakeXmlRpcService::Drop()})
    {
        m_service.Script("Login", {answer});
        EXPECT_EQ(0, Upload());
    }
    EXPECT_EQ((Strings{"Login", "Login", "Login", "Login"}), m_service.Methods());
}

TEST_F(RunUploadTest, AFailedAddRunDataStillLogsOut)
{
    StoreAt(Day(3, 1, 2010), At(8, 0));
    for (const auto &answer : {FakeXmlRpcService::Bool(false), FakeXmlRpcService::Fault(), FakeXmlRpcService::Drop(),
                               FakeXmlRpcService::Int(1)})
    {
        m_service.Script("AddRunData", {answer});
        EXPECT_EQ(0, Upload());
    }
    const Strings one{"Login", "GetLastRecordDateTime", "AddRunData", "Logout"};
    Strings expected;
    for (int i = 0; i < 4; ++i)
        expected.insert(expected.end(), one.begin(), one.end());
    EXPECT_EQ(expected, m_service.Methods());
}

// Without the service's last time the upload cannot know what is new there: sending the
// whole history again would duplicate it.
TEST_F(RunUploadTest, AFailedLastTimeQuerySendsNothingAndLogsOut)
{
    StoreAt(Day(3, 1, 2010), At(8, 0));
    const FakeXmlRpcService::Answer answers[] = {FakeXmlRpcService::Fault(), FakeXmlRpcService::Drop(),
                              FakeXmlRpcService::String("1262304000"), FakeXmlRpcService::Bool(true),
                              FakeXmlRpcService::Value("")};
    for (const auto &answer : answers)
    {
        m_service.Script("GetLastRecordDateTime", {answer});
        EXPECT_EQ(0, Upload());
    }
    const Strings one{"Login", "GetLastRecordDateTime", "Logout"};
    Strings expected;
    for (std::size_t i = 0; i < std::size(answers); ++i)
        expected.insert(expected.end(), one.begin(), one.end());
    EXPECT_EQ(expected, m_service.Methods());
}

TEST_F(RunUploadTest, AFailedStoreQueryStillLogsOut)
{
    StoreAt(Day(3, 1, 2010), At(8, 0));
    ASSERT_EQ(1, m_db.Logout());
    EXPECT_EQ(0, Upload());
    EXPECT_EQ((Strings{"Login", "GetLastRecordDateTime", "Logout"}), m_service.Methods());
    EXPECT_EQ(0, UploadRuns(nullptr, u"ann@example.com", u"secret"));
}
