#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace
{
// The device headers a source file includes, by base name.
std::vector<std::string> DeviceIncludes(const fs::path &file)
{
    static const std::regex include(R"(^\s*#\s*include\s*"device/([A-Za-z0-9_]+)\.h")");
    std::vector<std::string> names;
    std::ifstream in(file);
    std::string line;
    std::smatch m;
    while (std::getline(in, line))
        if (std::regex_search(line, m, include))
            names.push_back(m[1]);
    return names;
}

// The units of device/ (a header with the source files that implement it) and which units each
// one uses. A source file without a header of its own name belongs to the unit of the header it
// includes first (UlvexDeviceClock.cpp implements part of UlvexDevice).
std::map<std::string, std::set<std::string>> DeviceUnitGraph(const fs::path &folder)
{
    std::set<std::string> headers;
    for (const auto &entry : fs::directory_iterator(folder))
        if (entry.path().extension() == ".h")
            headers.insert(entry.path().stem().string());
    std::map<std::string, std::set<std::string>> uses;
    for (const auto &entry : fs::directory_iterator(folder))
    {
        const std::string ext = entry.path().extension().string();
        if (ext != ".h" && ext != ".cpp")
            continue;
        const std::vector<std::string> included = DeviceIncludes(entry.path());
        std::string unit = entry.path().stem().string();
        if (headers.count(unit) == 0 && !included.empty())
            unit = included.front();
        for (const std::string &name : included)
            if (name != unit)
                uses[unit].insert(name);
        uses[unit];
    }
    return uses;
}
} // namespace

// The device link's units depend on each other one way only: a unit that needs something of a
// unit that needs it back makes neither testable nor changeable alone.
TEST(DeviceIncludeGraph, UnitsDependOnEachOtherOneWayOnly)
{
    const fs::path folder = fs::path(VORMATIK_SOURCE_DIR) / "device";
    ASSERT_TRUE(fs::is_directory(folder)) << folder;
    const auto uses = DeviceUnitGraph(folder);
    ASSERT_TRUE(uses.count("DeviceClock") && uses.count("UlvexDevice") && uses.count("DeviceCommandSession"));

    std::map<std::string, int> state; // 0 unseen, 1 on the path, 2 done
    std::vector<std::string> path;
    std::vector<std::string> cycles;
    std::function<void(const std::string &)> visit = [&](const std::string &unit) {
        state[unit] = 1;
        path.push_back(unit);
        const auto it = uses.find(unit);
        if (it != uses.end())
        {
            for (const std::string &next : it->second)
            {
                if (state[next] == 1)
                {
                    std::string cycle;
                    for (auto p = std::find(path.begin(), path.end(), next); p != path.end(); ++p)
                        cycle += *p + " -> ";
                    cycles.push_back(cycle + next);
                }
                else if (state[next] == 0)
                {
                    visit(next);
                }
            }
        }
        path.pop_back();
        state[unit] = 2;
    };
    for (const auto &[unit, used] : uses)
        if (state[unit] == 0)
            visit(unit);
    for (const std::string &cycle : cycles)
        ADD_FAILURE() << "units that need each other: " << cycle;
}
