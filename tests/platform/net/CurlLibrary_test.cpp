#include "platform/net/CurlLibrary.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "tests/support/TestEnvironment.h"

namespace
{
// The program's libcurl is found by its soname and gives every call; a file that is missing, is
// no shared object, or lacks the calls leaves the record empty, so that the on-line calls fail
// as an internal error instead of calling through a null pointer.
TEST(CurlLibrary, LoadsTheProgramsLibraryAndRefusesWhatIsNotIt)
{
    const CurlLibrary *curl = Curl();
    ASSERT_NE(curl, nullptr);
    EXPECT_TRUE(curl->globalInit && curl->easyInit && curl->easySetopt && curl->easyPerform && curl->easyGetinfo &&
                curl->easyCleanup && curl->slistAppend && curl->slistFreeAll);
    CURL *handle = curl->easyInit();
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(curl->easySetopt(handle, CURLOPT_URL, "http://127.0.0.1:1/"), CURLE_OK);
    curl->easyCleanup(handle);

    const std::string folder = vxtest::MakeTempDir("curl");
    const std::string notAnObject = folder + "/libcurl.so.4";
    std::ofstream(notAnObject) << "not a shared object";
    const std::string cases[] = {
        folder + "/missing.so",
        notAnObject,
        "libz.so.1", // a real shared object without libcurl's calls
    };
    for (const std::string &name : cases)
    {
        CurlLibrary library;
        library.easyInit = reinterpret_cast<CURL *(*)()>(1);
        EXPECT_FALSE(LoadCurlLibrary(name, &library)) << name;
        EXPECT_EQ(library.easyInit, reinterpret_cast<CURL *(*)()>(1)) << name << ": the record was touched";
    }
}
} // namespace
