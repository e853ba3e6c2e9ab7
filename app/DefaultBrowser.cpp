#include "app/DefaultBrowser.h"

#include "app/Registry.h"
#include "platform/sys/Environment.h"
#include "platform/sys/Process.h"

#include <string_view>

namespace
{
constexpr std::uint32_t kCommandCapacity = 260;

void ReplaceAll(std::u16string &text, std::u16string_view from, std::u16string_view to)
{
    std::size_t at = 0;
    while ((at = text.find(from, at)) != std::u16string::npos)
    {
        text.replace(at, from.size(), to);
        at += to.size();
    }
}
} // namespace

std::u16string GetDefaultBrowserCommand()
{
    CRegistry registry(HKEY_CLASSES_ROOT);
    CRegistryValue value;
    std::u16string registered;
    if (registry.QueryValue(u"HTTP\\shell\\open\\command", u"", value, HKEY_CLASSES_ROOT))
    {
        const int isText = registry.ValueToString(value, registered);
        registry.FreeValue(value);
        if (!isText)
            return {};
    }
    if (registered.empty())
        registered = u"xdg-open";

    char16_t expanded[kCommandCapacity];
    const std::uint32_t needed = ExpandEnvironmentStringsW(registered.c_str(), expanded, kCommandCapacity);
    if (needed == 0 || needed > kCommandCapacity)
        return {}; // a cut-off command could start something else

    std::u16string command(expanded);
    ReplaceAll(command, u" \"%1\"", u" ");
    ReplaceAll(command, u" %1", u" ");
    return command;
}

int OpenUrlInBrowser(const std::u16string &address)
{
    if (address.empty())
        return 0;
    const std::u16string command = GetDefaultBrowserCommand();
    if (command.empty())
        return 0;
    std::vector<std::u16string> argv = vxsys::SplitCommandLine(command);
    if (argv.empty())
        return 0;
    argv.push_back(address);
    return vxsys::SpawnDetached(argv) > 0 ? 1 : 0;
}
