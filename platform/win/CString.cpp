#include "platform/win/CString.h"

#include <algorithm>
#include <atomic>

namespace vxwin
{
namespace
{
std::atomic<StringTableLookup> g_lookup{nullptr};
} // namespace

void SetStringTableLookup(StringTableLookup lookup)
{
    g_lookup.store(lookup);
}

StringTableLookup GetStringTableLookup()
{
    return g_lookup.load();
}
} // namespace vxwin

namespace
{
char16_t FoldCase(char16_t c)
{
    if (c >= u'A' && c <= u'Z')
        return static_cast<char16_t>(c - u'A' + u'a');
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7)
        return static_cast<char16_t>(c + 0x20);
    return c;
}
} // namespace

CString::CString(const char16_t *text, int length)
{
    if (text && length > 0)
        m_text.assign(text, static_cast<std::size_t>(length));
}

CString::CString(char16_t ch, int repeat)
{
    if (repeat > 0)
        m_text.assign(static_cast<std::size_t>(repeat), ch);
}

char16_t CString::GetAt(int index) const
{
    if (index < 0 || index >= GetLength())
        return 0;
    return m_text[static_cast<std::size_t>(index)];
}

void CString::SetAt(int index, char16_t ch)
{
    if (index >= 0 && index < GetLength())
        m_text[static_cast<std::size_t>(index)] = ch;
}

int CString::Compare(const char16_t *other) const
{
    const int r = m_text.compare(other ? other : u"");
    return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

int CString::CompareNoCase(const char16_t *other) const
{
    std::u16string_view b(other ? other : u"");
    const std::size_t n = std::min(m_text.size(), b.size());
    for (std::size_t i = 0; i < n; ++i)
    {
        const char16_t x = FoldCase(m_text[i]);
        const char16_t y = FoldCase(b[i]);
        if (x != y)
            return x < y ? -1 : 1;
    }
    if (m_text.size() == b.size())
        return 0;
    return m_text.size() < b.size() ? -1 : 1;
}

int CString::Find(const char16_t *sub, int start) const
{
    if (!sub || start < 0 || start > GetLength())
        return -1;
    const auto pos = m_text.find(sub, static_cast<std::size_t>(start));
    return pos == std::u16string::npos ? -1 : static_cast<int>(pos);
}

int CString::Find(char16_t ch, int start) const
{
    if (start < 0 || start > GetLength())
        return -1;
    const auto pos = m_text.find(ch, static_cast<std::size_t>(start));
    return pos == std::u16string::npos ? -1 : static_cast<int>(pos);
}

int CString::ReverseFind(char16_t ch) const
{
    const auto pos = m_text.rfind(ch);
    return pos == std::u16string::npos ? -1 : static_cast<int>(pos);
}

CString CString::Left(int count) const
{
    count = std::clamp(count, 0, GetLength());
    return CString(m_text.substr(0, static_cast<std::size_t>(count)));
}

CString CString::Right(int count) const
{
    count = std::clamp(count, 0, GetLength());
    return CString(m_text.substr(static_cast<std::size_t>(GetLength() - count)));
}

CString CString::Mid(int first) const
{
    return Mid(first, GetLength());
}

CString CString::Mid(int first, int count) const
{
    first = std::clamp(first, 0, GetLength());
    count = std::clamp(count, 0, GetLength() - first);
    return CString(m_text.substr(static_cast<std::size_t>(first), static_cast<std::size_t>(count)));
}

int CString::Replace(const char16_t *oldText, const char16_t *newText)
{
    if (!oldText || !*oldText)
        return 0;
    const std::u16string from(oldText);
    const std::u16string to(newText ? newText : u"");
    int count = 0;
    std::size_t pos = 0;
    while ((pos = m_text.find(from, pos)) != std::u16string::npos)
    {
        m_text.replace(pos, from.size(), to);
        pos += to.size();
        ++count;
    }
    return count;
}

CString &CString::Trim()
{
    auto isSpace = [](char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; };
    std::size_t b = 0;
    while (b < m_text.size() && isSpace(m_text[b]))
        ++b;
    std::size_t e = m_text.size();
    while (e > b && isSpace(m_text[e - 1]))
        --e;
    m_text = m_text.substr(b, e - b);
    return *this;
}

CString &CString::MakeUpper()
{
    for (auto &c : m_text)
        if (c >= u'a' && c <= u'z')
            c = static_cast<char16_t>(c - u'a' + u'A');
    return *this;
}

CString &CString::MakeLower()
{
    for (auto &c : m_text)
        if (c >= u'A' && c <= u'Z')
            c = static_cast<char16_t>(c - u'A' + u'a');
    return *this;
}

LPWSTR CString::GetBuffer(int minLength)
{
    if (minLength > GetLength())
        m_text.resize(static_cast<std::size_t>(minLength));
    return m_text.data();
}

void CString::ReleaseBuffer(int newLength)
{
    if (newLength < 0)
    {
        const auto zero = m_text.find(u'\0');
        if (zero != std::u16string::npos)
            m_text.resize(zero);
    }
    else if (newLength <= GetLength())
    {
        m_text.resize(static_cast<std::size_t>(newLength));
    }
}

BOOL CString::LoadString(HINSTANCE, UINT id, WORD language)
{
    const vxwin::StringTableLookup lookup = vxwin::GetStringTableLookup();
    if (!lookup)
        return FALSE;
    std::u16string text;
    // An empty entry counts as missing, as the resource loader does.
    if (!lookup(id, language, text) || text.empty())
        return FALSE;
    m_text = std::move(text);
    return TRUE;
}
