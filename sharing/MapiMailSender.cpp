#include "sharing/MapiMailSender.h"

#include <vector>

#include "platform/sys/Process.h"
#include "platform/sys/TextConvert.h"
#include "platform/win/App.h"
#include "platform/win/CString.h"

namespace
{
constexpr UINT kLauncherErrorText = 324;
constexpr DWORD kSettlePause = 500;

std::u16string &LauncherName()
{
    static std::u16string name = u"xdg-email";
    return name;
}

// The file system names files by bytes, which are UTF-8 here; text that UTF-8 cannot carry as it
// stands would name another file (or cut an argument short), so it is refused.
bool StoreUtf8(const char16_t *text, std::string &out)
{
    const std::u16string_view view = text ? std::u16string_view(text) : std::u16string_view();
    out = vxsys::Utf16ToUtf8(view);
    return !vxsys::HasUnpairedSurrogate(view);
}
} // namespace

void MapiMailSender::SetLauncher(const std::u16string &program)
{
    LauncherName() = program.empty() ? u"xdg-email" : program;
}

MapiMailSender::MapiMailSender(HWND owner, LANGID language)
{
    const std::u16string &name = LauncherName();
    if (!vxsys::HasUnpairedSurrogate(name))
        m_launcher = vxsys::FindProgram(vxsys::Utf16ToUtf8(name));
    if (m_launcher.empty())
    {
        CString text;
        text.LoadString(nullptr, kLauncherErrorText, language);
        ::MessageBoxEx(owner, text.GetString(), nullptr, MB_ICONERROR, language);
        return;
    }
    // The mail program is given a moment to settle before it is asked for anything.
    Sleep(kSettlePause);
}

MapiMailSender::~MapiMailSender() = default;

int MapiMailSender::SetRecipient(const char16_t *text)
{
    m_textsValid &= StoreUtf8(text, m_recipient);
    return 1;
}

int MapiMailSender::SetSubject(const char16_t *text)
{
    m_textsValid &= StoreUtf8(text, m_subject);
    return 1;
}

int MapiMailSender::SetBody(const char16_t *text)
{
    m_textsValid &= StoreUtf8(text, m_body);
    return 1;
}

int MapiMailSender::SetAttachment(const char16_t *text)
{
    m_textsValid &= StoreUtf8(text, m_attachment);
    return 1;
}

int MapiMailSender::Send()
{
    if (m_launcher.empty() || m_attachment.empty() || m_attachment.front() != '/' || !m_textsValid)
        return 0;
    // Every text follows its option as an argument of its own, so one starting with '-' is
    // never read as an option; the launcher is told that the texts are UTF-8 whatever the locale.
    std::vector<std::string> argv{m_launcher, "--utf8"};
    if (!m_recipient.empty())
        argv.insert(argv.end(), {"--to", m_recipient});
    if (!m_subject.empty())
        argv.insert(argv.end(), {"--subject", m_subject});
    if (!m_body.empty())
        argv.insert(argv.end(), {"--body", m_body});
    argv.insert(argv.end(), {"--attach", m_attachment});
    return vxsys::RunAndWait(argv) == 0 ? 1 : 0;
}
