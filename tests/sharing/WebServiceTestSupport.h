#pragma once

#include "platform/sys/Registry.h"
#include "sharing/WebService.h"
#include "tests/support/http_server/FakeXmlRpcService.h"
#include "tests/support/http_server/LoopbackHttpServer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace wstest
{
// Points the service host of the registry at host and the application page's host at appHost
// (each value removed when empty).
inline void SetServiceHost(const std::string &host, const std::string &appHost = "")
{
    const std::filesystem::path file = vxsys::RegistryHiveFile(HKEY_LOCAL_MACHINE);
    std::filesystem::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::trunc);
    out << "[Software\\Tarvex\\Vormatik]\n";
    if (!host.empty())
        out << "\"WebServiceHost\"=\"" << host << "\"\n";
    if (!appHost.empty())
        out << "\"WebAppHost\"=\"" << appHost << "\"\n";
}

// A fake service the Ws* functions reach through the registry's host value.
class WebServiceTest : public testing::Test
{
  protected:
    WebServiceTest()
    {
        SetServiceHost(m_service.Host());
        WsSetLanguage(1033);
    }
    ~WebServiceTest() override
    {
        SetServiceHost("");
        WsSetLanguage(1033);
    }

    vxtest::NoProxyEnvironment m_noProxy;
    vxtest::FakeXmlRpcService m_service;
};
} // namespace wstest
