#pragma once

#include <string>
#include <string_view>

#include "platform/win/WideFormat.h"
#include "platform/win/WinTypes.h"

// The string-table lookup that LoadString goes through: fills `out` with the entry `id` in
// exactly the language `language` and returns true, or returns false when that language has
// no such entry (no fall-back to another language). The string table installs its own lookup
// at start-up; tests install a small fake one.
namespace vxwin
{
using StringTableLookup = bool (*)(unsigned id, unsigned short language, std::u16string &out);
void SetStringTableLookup(StringTableLookup lookup);
StringTableLookup GetStringTableLookup();
} // namespace vxwin

// A UTF-16 text in the manner of the framework's string class.
class CString
{
  public:
    CString() = default;
    CString(const char16_t *text) : m_text(text ? text : u"") {}
    CString(const char16_t *text, int length);
    CString(std::u16string text) : m_text(std::move(text)) {}
    CString(std::u16string_view text) : m_text(text) {}
    CString(char16_t ch, int repeat = 1);

    operator LPCWSTR() const { return m_text.c_str(); }
    LPCWSTR GetString() const { return m_text.c_str(); }
    const std::u16string &str() const { return m_text; }
    int GetLength() const { return static_cast<int>(m_text.size()); }
    BOOL IsEmpty() const { return m_text.empty(); }
    void Empty() { m_text.clear(); }
    char16_t GetAt(int index) const;
    void SetAt(int index, char16_t ch);
    char16_t operator[](int index) const { return GetAt(index); }

    CString &operator=(const char16_t *text)
    {
        m_text = text ? text : u"";
        return *this;
    }
    CString &operator=(const std::u16string &text)
    {
        m_text = text;
        return *this;
    }
    CString &operator=(std::u16string_view text)
    {
        m_text = text;
        return *this;
    }
    CString &operator+=(const CString &other)
    {
        m_text += other.m_text;
        return *this;
    }
    CString &operator+=(const char16_t *text)
    {
        if (text)
            m_text += text;
        return *this;
    }
    CString &operator+=(char16_t ch)
    {
        m_text.push_back(ch);
        return *this;
    }
    friend CString operator+(const CString &a, const CString &b) { return CString(a.m_text + b.m_text); }
    friend CString operator+(const CString &a, const char16_t *b)
    {
        return CString(a.m_text + (b ? b : u""));
    }
    friend CString operator+(const char16_t *a, const CString &b)
    {
        return CString((a ? std::u16string(a) : std::u16string()) + b.m_text);
    }
    friend bool operator==(const CString &a, const CString &b) { return a.m_text == b.m_text; }
    friend bool operator==(const CString &a, const char16_t *b) { return a.m_text == (b ? b : u""); }
    friend bool operator<(const CString &a, const CString &b) { return a.m_text < b.m_text; }

    int Compare(const char16_t *other) const;
    int CompareNoCase(const char16_t *other) const;
    int Find(const char16_t *sub, int start = 0) const;
    int Find(char16_t ch, int start = 0) const;
    int ReverseFind(char16_t ch) const;
    CString Left(int count) const;
    CString Right(int count) const;
    CString Mid(int first) const;
    CString Mid(int first, int count) const;
    int Replace(const char16_t *oldText, const char16_t *newText);
    CString &Trim();
    CString &MakeUpper();
    CString &MakeLower();

    // A writable buffer of at least minLength characters; ReleaseBuffer(-1) takes the text
    // up to its first zero, ReleaseBuffer(n) keeps n characters.
    LPWSTR GetBuffer(int minLength = 0);
    void ReleaseBuffer(int newLength = -1);

    // The string-table entry `id` in exactly that language. FALSE, with the text left as it
    // was, when the language has no such entry.
    BOOL LoadString(HINSTANCE instance, UINT id, WORD language);

    template <typename... Args> void Format(const char16_t *format, const Args &...args)
    {
        m_text = vxwin::FormatW(format ? std::u16string_view(format) : std::u16string_view(), args...);
    }
    template <typename... Args> void AppendFormat(const char16_t *format, const Args &...args)
    {
        m_text += vxwin::FormatW(format ? std::u16string_view(format) : std::u16string_view(), args...);
    }

  private:
    std::u16string m_text;
};
