#include "sharing/MapiMailSender.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/win/App.h"
#include "platform/win/CString.h"
#include "resources/Resources.h"
#include "tests/support/ProcessFixtures.h"
#include "tests/support/TestEnvironment.h"

namespace
{
using Args = std::vector<std::string>;

// A launcher that writes each argument it gets, ended by a zero byte, to <dir>/args and exits
// with the given code (or, for a negative code, is killed by that signal).
std::string WriteLauncher(const std::string &dir, int exitCode, const std::string &name = "mailer")
{
    const std::string script = dir + "/" + name;
    const std::string end = exitCode < 0 ? "kill -" + std::to_string(-exitCode) + " $$\n"
                                         : "exit " + std::to_string(exitCode) + "\n";
    vxtest::WriteScript(script, "for a in \"$@\"; do printf '%s\\000' \"$a\"; done > '" + dir + "/args'\n" + end);
    return script;
}

Args RecordedArgs(const std::string &dir)
{
    Args args;
    const std::string all = vxtest::ReadWholeFile(dir + "/args");
    std::size_t start = 0;
    for (std::size_t end; (end = all.find('\0', start)) != std::string::npos; start = end + 1)
        args.push_back(all.substr(start, end - start));
    return args;
}

class MailTest : public ::testing::Test
{
  protected:
    MailTest()
    {
        vxwin::SetStringTableLookup(&vxres::LookupString);
        vxwin::SetMessageBoxHook([this](const vxwin::MessageBoxRequest &request) {
            boxes.push_back(request);
            return IDOK;
        });
        vxwin::SetSleepHook([this](DWORD ms) { sleeps.push_back(ms); });
    }
    ~MailTest() override
    {
        MapiMailSender::SetLauncher(u"");
        vxwin::SetSleepHook({});
        vxwin::SetMessageBoxHook({});
        vxwin::SetStringTableLookup(m_previousLookup);
    }

    std::string Attachment(const std::string &name = "Vormatik.jpg")
    {
        const std::string path = dir + "/" + name;
        std::ofstream(path) << "jpeg";
        return path;
    }
    bool LauncherRan() const { return std::filesystem::exists(dir + "/args"); }

    vxwin::StringTableLookup m_previousLookup = vxwin::GetStringTableLookup();
    std::string dir = vxtest::MakeTempDir("mail");
    std::vector<vxwin::MessageBoxRequest> boxes;
    std::vector<DWORD> sleeps;
    const HWND owner = reinterpret_cast<HWND>(0x42);
};

std::u16string U16(const std::string &utf8)
{
    std::u16string out;
    for (std::size_t i = 0; i < utf8.size();)
    {
        // Only what these tests use: ASCII and the two- and three-byte forms.
        const unsigned char c = static_cast<unsigned char>(utf8[i]);
        if (c < 0x80)
            out.push_back(c), i += 1;
        else if (c < 0xE0)
            out.push_back(static_cast<char16_t>(((c & 0x1F) << 6) | (utf8[i + 1] & 0x3F))), i += 2;
        else
            out.push_back(static_cast<char16_t>(((c & 0x0F) << 12) | ((utf8[i + 1] & 0x3F) << 6) |
                                                (utf8[i + 2] & 0x3F))),
                i += 3;
    }
    return out;
}
} // namespace

TEST_F(MailTest, TheLauncherGetsTheAttachmentAsItsOwnArgumentAndNoTextsWhenNoneAreSet)
{
    const std::string launcher = WriteLauncher(dir, 0);
    MapiMailSender::SetLauncher(U16(launcher));
    const std::string picture = Attachment();
    MapiMailSender sender(owner, 1033);
    EXPECT_EQ(sender.SetRecipient(u""), 1);
    EXPECT_EQ(sender.SetSubject(nullptr), 1);
    EXPECT_EQ(sender.SetBody(u""), 1);
    EXPECT_EQ(sender.SetAttachment(U16(picture).c_str()), 1);
    EXPECT_EQ(sender.Send(), 1);
    EXPECT_EQ(RecordedArgs(dir), (Args{"--utf8", "--attach", picture}));
    EXPECT_TRUE(boxes.empty());
    // The constructor gives the mail program its moment, through the sleep hook.
    EXPECT_EQ(sleeps, std::vector<DWORD>{500});
}

TEST_F(MailTest, HostileTextsAndPathsArriveWholeAsUtf8AndNeverAsOptions)
{
    const struct
    {
        const char *name;
        std::string recipient, subject, body, file;
    } cases[] = {
        {"spaces and quotes", "a b@example.org", "it's \"ours\"", "$(touch pwned) `id` ;|&", "my picture 'x'.jpg"},
        {"leading dashes", "--cc", "-x", "--attach", "-Vormatik.jpg"},
        {"new lines and tabs", "a\n@b", "line\nnext", "\tbody\r\n", "two\nlines.jpg"},
        {"outside every ANSI code page", "j\xC3\xBCrgen@example.org", "\xE8\xB7\x91\xE6\xAD\xA5",
         "\xC3\xA9\xE2\x82\xAC", "\xD0\x91\xE8\xB7\x91 \xC3\xBC.jpg"},
    };
    for (const auto &c : cases)
    {
        SCOPED_TRACE(c.name);
        std::filesystem::remove(dir + "/args");
        MapiMailSender::SetLauncher(U16(WriteLauncher(dir, 0, "mail launcher")));
        const std::string picture = Attachment(c.file);
        MapiMailSender sender(owner, 1033);
        sender.SetRecipient(U16(c.recipient).c_str());
        sender.SetSubject(U16(c.subject).c_str());
        sender.SetBody(U16(c.body).c_str());
        sender.SetAttachment(U16(picture).c_str());
        EXPECT_EQ(sender.Send(), 1);
        EXPECT_EQ(RecordedArgs(dir), (Args{"--utf8", "--to", c.recipient, "--subject", c.subject, "--body", c.body,
                                           "--attach", picture}));
    }
    EXPECT_FALSE(std::filesystem::exists(dir + "/pwned"));
}

TEST_F(MailTest, OnlyAnExitCodeOfZeroIsSuccess)
{
    // 1 and 3 were MAPI's "cancelled" and "logon failed", which counted as success there; the
    // launcher's codes mean other things.
    const struct
    {
        int code;
        int expected;
    } cases[] = {{0, 1}, {1, 0}, {2, 0}, {3, 0}, {4, 0}, {5, 0}, {255, 0}, {-9, 0}, {-15, 0}};
    const std::string picture = Attachment();
    for (const auto &c : cases)
    {
        SCOPED_TRACE(c.code);
        std::filesystem::remove(dir + "/args");
        MapiMailSender::SetLauncher(U16(WriteLauncher(dir, c.code)));
        MapiMailSender sender(owner, 1033);
        sender.SetAttachment(U16(picture).c_str());
        EXPECT_EQ(sender.Send(), c.expected);
        EXPECT_TRUE(LauncherRan());
    }
}

TEST_F(MailTest, WithoutARunnableLauncherMessage324IsShownAndNothingIsStarted)
{
    const std::string notExecutable = dir + "/plain";
    std::ofstream(notExecutable) << "#!/bin/sh\ntouch '" << dir << "/args'\n";
    std::filesystem::permissions(notExecutable, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    const std::string folder = vxtest::MakeTempDir("mail-folder");
    std::filesystem::permissions(folder, std::filesystem::perms::owner_all);
    const struct
    {
        const char *name;
        std::u16string launcher;
        LANGID language;
        std::u16string text;
    } cases[] = {
        {"no such name on PATH", u"vormatik-no-such-mailer", 1033, u"Error in MAPI32.DLL"},
        {"no such file", U16(dir + "/missing"), 1031, u"Fehler in MAPI32.DLL"},
        {"not executable", U16(notExecutable), 2052, u"MAPI32.DLL \u51FA\u9519"},
        {"a folder", U16(folder), 1028, u"MAPI32.DLL \u767C\u751F\u932F\u8AA4"},
        {"an unpaired surrogate in its name", std::u16string(u"mail") + char16_t(0xD800), 1033,
         u"Error in MAPI32.DLL"},
    };
    const std::string picture = Attachment();
    for (const auto &c : cases)
    {
        SCOPED_TRACE(c.name);
        boxes.clear();
        sleeps.clear();
        MapiMailSender::SetLauncher(c.launcher);
        MapiMailSender sender(owner, c.language);
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].owner, owner);
        EXPECT_EQ(boxes[0].text, c.text);
        EXPECT_EQ(boxes[0].caption, u"");
        EXPECT_EQ(boxes[0].type, static_cast<UINT>(MB_ICONERROR));
        EXPECT_EQ(boxes[0].language, c.language);
        EXPECT_TRUE(sleeps.empty());
        sender.SetAttachment(U16(picture).c_str());
        EXPECT_EQ(sender.Send(), 0);
        EXPECT_FALSE(LauncherRan());
    }
}

TEST_F(MailTest, AnAttachmentThatCannotNameTheFileStartsNothing)
{
    MapiMailSender::SetLauncher(U16(WriteLauncher(dir, 0)));
    const std::u16string absolute = U16(Attachment());
    const struct
    {
        const char *name;
        std::u16string attachment;
        std::u16string subject;
    } cases[] = {
        {"none", u"", u""},
        {"relative", u"Vormatik.jpg", u""},
        {"relative with a leading dash", u"--help", u""},
        {"an unpaired surrogate in the path", absolute + char16_t(0xDC00), u""},
        {"an unpaired surrogate in another text", absolute, std::u16string(u"s") + char16_t(0xD801)},
    };
    for (const auto &c : cases)
    {
        SCOPED_TRACE(c.name);
        MapiMailSender sender(owner, 1033);
        sender.SetSubject(c.subject.c_str());
        sender.SetAttachment(c.attachment.c_str());
        EXPECT_EQ(sender.Send(), 0);
        EXPECT_FALSE(LauncherRan());
    }
    EXPECT_TRUE(boxes.empty());
}
