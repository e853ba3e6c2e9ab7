// Compiles the string-table files (one per language, "id<TAB>text" lines) into a
// C++ source with UTF-16 literals. Any malformed line stops the build.
//
// usage: vx_string_gen OUTPUT.cpp LANG=FILE [LANG=FILE ...]

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace
{
struct Failure
{
    std::string message;
};

[[noreturn]] void Fail(const std::string &file, int line, const std::string &what)
{
    throw Failure{file + ":" + std::to_string(line) + ": " + what};
}

// Decodes UTF-8 strictly (no overlongs, no surrogates, nothing above U+10FFFF).
std::u32string DecodeUtf8(const std::string &in, const std::string &file, int line)
{
    std::u32string out;
    for (std::size_t i = 0; i < in.size();)
    {
        const auto b = static_cast<unsigned char>(in[i]);
        int extra = 0;
        char32_t cp = 0;
        if (b < 0x80)
            cp = b;
        else if ((b & 0xE0) == 0xC0)
            extra = 1, cp = b & 0x1F;
        else if ((b & 0xF0) == 0xE0)
            extra = 2, cp = b & 0x0F;
        else if ((b & 0xF8) == 0xF0)
            extra = 3, cp = b & 0x07;
        else
            Fail(file, line, "invalid UTF-8");
        if (i + std::size_t(extra) >= in.size())
            Fail(file, line, "truncated UTF-8");
        for (int k = 1; k <= extra; ++k)
        {
            const auto c = static_cast<unsigned char>(in[i + k]);
            if ((c & 0xC0) != 0x80)
                Fail(file, line, "invalid UTF-8");
            cp = (cp << 6) | (c & 0x3F);
        }
        static const char32_t minimum[] = {0, 0x80, 0x800, 0x10000};
        if (cp < minimum[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            Fail(file, line, "invalid UTF-8");
        out.push_back(cp);
        i += std::size_t(extra) + 1;
    }
    return out;
}

std::u32string Unescape(const std::u32string &in, const std::string &file, int line)
{
    std::u32string out;
    for (std::size_t i = 0; i < in.size(); ++i)
    {
        if (in[i] != U'\\')
        {
            if (in[i] < 0x20)
                Fail(file, line, "control character in text (use an escape)");
            out.push_back(in[i]);
            continue;
        }
        if (++i == in.size())
            Fail(file, line, "backslash at the end of the text");
        switch (in[i])
        {
        case U'n':
            out.push_back(U'\n');
            break;
        case U't':
            out.push_back(U'\t');
            break;
        case U'r':
            out.push_back(U'\r');
            break;
        case U'\\':
            out.push_back(U'\\');
            break;
        default:
            Fail(file, line, "unknown escape");
        }
    }
    return out;
}

std::u16string ToUtf16(const std::u32string &in)
{
    std::u16string out;
    for (char32_t cp : in)
    {
        if (cp >= 0x10000)
        {
            cp -= 0x10000;
            out.push_back(char16_t(0xD800 + (cp >> 10)));
            out.push_back(char16_t(0xDC00 + (cp & 0x3FF)));
        }
        else
        {
            out.push_back(char16_t(cp));
        }
    }
    return out;
}

// A u"" literal: printable ASCII as it is, everything else as fixed-length escapes.
std::string Literal(const std::u16string &text)
{
    std::string out = "u\"";
    char buf[16];
    for (char16_t c : text)
    {
        if (c == u'"' || c == u'\\')
        {
            out += '\\';
            out += char(c);
        }
        else if (c >= 0x20 && c < 0x7F)
        {
            // '?' is escaped so that no trigraph can form.
            if (c == u'?')
                out += "\\?";
            else
                out += char(c);
        }
        else if (c < 0x20 || (c >= 0xD800 && c <= 0xDFFF))
        {
            // Control characters and surrogate halves cannot be universal character names.
            // The literal is closed and a new one opened (with a space: "x"u would be a literal suffix),
            // so that no hex digit that follows joins the escape.
            std::snprintf(buf, sizeof buf, "\\x%04X\" u\"", unsigned(c));
            out += buf;
        }
        else
        {
            std::snprintf(buf, sizeof buf, "\\u%04X", unsigned(c));
            out += buf;
        }
    }
    out += '"';
    return out;
}

std::map<unsigned, std::u16string> ReadTable(const std::string &file)
{
    std::ifstream in(file, std::ios::binary);
    if (!in)
        throw Failure{file + ": cannot open"};
    std::map<unsigned, std::u16string> table;
    std::string raw;
    int line = 0;
    while (std::getline(in, raw))
    {
        ++line;
        if (!raw.empty() && raw.back() == '\r')
            raw.pop_back();
        if (line == 1 && raw.rfind("\xEF\xBB\xBF", 0) == 0)
            raw.erase(0, 3);
        if (raw.empty() || raw[0] == '#')
            continue;
        const std::size_t tab = raw.find('\t');
        if (tab == std::string::npos || tab == 0)
            Fail(file, line, "expected id<TAB>text");
        const std::string idText = raw.substr(0, tab);
        if (idText.find_first_not_of("0123456789") != std::string::npos || idText.size() > 5)
            Fail(file, line, "the id is not a number");
        const unsigned long id = std::stoul(idText);
        if (id > 65535)
            Fail(file, line, "the id is out of range");
        const std::u16string text =
            ToUtf16(Unescape(DecodeUtf8(raw.substr(tab + 1), file, line), file, line));
        if (!table.emplace(unsigned(id), text).second)
            Fail(file, line, "the id appears twice");
    }
    return table;
}
} // namespace

int main(int argc, char **argv)
{
    if (argc < 3)
    {
        std::cerr << "usage: vx_string_gen OUTPUT.cpp LANG=FILE...\n";
        return 2;
    }
    try
    {
        std::map<unsigned, std::map<unsigned, std::u16string>> languages;
        for (int i = 2; i < argc; ++i)
        {
            const std::string arg = argv[i];
            const std::size_t eq = arg.find('=');
            if (eq == std::string::npos)
                throw Failure{"bad argument " + arg};
            const unsigned lang = unsigned(std::stoul(arg.substr(0, eq)));
            languages[lang] = ReadTable(arg.substr(eq + 1));
        }
        std::ostringstream out;
        out << "// Generated by vx_string_gen from resources/strings; edit those files instead.\n"
            << "#include \"resources/ResourceTables.h\"\n\n"
            << "namespace vxres::detail\n{\n"
            << "// Sorted by language, then id.\n"
            << "const StringEntry kStrings[] = {\n";
        std::size_t count = 0;
        for (const auto &[lang, table] : languages)
            for (const auto &[id, text] : table)
            {
                out << "    {" << lang << ", " << id << ", " << Literal(text) << ", " << text.size()
                    << "},\n";
                ++count;
            }
        if (count == 0)
            out << "    {0, 0, u\"\", 0},\n";
        out << "};\nconst std::size_t kStringCount = " << count << ";\n} // namespace vxres::detail\n";
        std::ofstream file(argv[1], std::ios::binary | std::ios::trunc);
        file << out.str();
        file.close();
        if (!file)
            throw Failure{std::string(argv[1]) + ": cannot write"};
    }
    catch (const Failure &f)
    {
        std::cerr << "vx_string_gen: " << f.message << "\n";
        return 1;
    }
    catch (const std::exception &e)
    {
        std::cerr << "vx_string_gen: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
