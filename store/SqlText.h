#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Statement texts of the records store.
//
// SqlFormat knows three directives, each taking one argument in order:
//   %s     a text value; it must stand between single quotes ('%s') and is
//          written through SqlQuote, so no value can end its literal early;
//   %i     a 32-bit integer;
//   %I64i  a 64-bit integer (date-time values);
// and "%%" for a percent sign. Numbers are written in the C locale. Any
// mismatch (unknown directive, wrong argument kind, too few or too many
// arguments, a null text, or a text that SqlQuote refuses) gives no statement
// at all, so the caller fails instead of running a statement it did not mean.

class SqlArg
{
  public:
    enum class Kind
    {
        Text,
        Int32,
        Int64,
        Missing
    };

    SqlArg(std::u16string_view text) : m_kind(Kind::Text), m_text(text) {}
    SqlArg(const std::u16string &text) : m_kind(Kind::Text), m_text(text) {}
    SqlArg(const char16_t *text) : m_kind(text ? Kind::Text : Kind::Missing), m_text(text ? text : u"") {}
    SqlArg(int32_t value) : m_kind(Kind::Int32), m_number(value) {}
    SqlArg(int64_t value) : m_kind(Kind::Int64), m_number(value) {}

    Kind GetKind() const { return m_kind; }
    std::u16string_view GetText() const { return m_text; }
    int64_t GetNumber() const { return m_number; }

  private:
    Kind m_kind;
    std::u16string_view m_text;
    int64_t m_number = 0;
};

// Whether a text value can reach the engine as it stands, quoted into a
// statement or bound to one: no U+0000 and no unpaired surrogate. The engine
// turns a statement into UTF-8 without checking surrogates, so an unpaired one
// takes the next character with it, the closing quote of a value included.
// Such text is refused rather than replaced: U+FFFD would store a value other
// than the one given and make distinct user ids compare equal.
bool IsSqlTextValue(std::u16string_view text);

// The text with every single quote doubled: the form a value takes between
// single quotes in a statement. The engine stores the value as it was given.
// None for a text that IsSqlTextValue refuses.
std::optional<std::u16string> SqlQuote(std::u16string_view text);

std::optional<std::u16string> SqlFormat(std::u16string_view format, std::initializer_list<SqlArg> args = {});

// The same format as a statement with parameters: each directive ('%s' with its quotes, %i, %I64i)
// becomes one "?", and kinds lists the argument kind each parameter takes, in order. A value bound
// there is stored and compared exactly as SqlFormat's literal would be (text as text, both integer
// kinds as integers). No statement for a format that SqlFormat refuses whatever its arguments, or one
// that already holds a "?".
struct SqlParameters
{
    std::u16string statement;
    std::vector<SqlArg::Kind> kinds;
};
std::optional<SqlParameters> SqlParameterize(std::u16string_view format);

// A hash for maps keyed by statement texts that are looked up by view, without a copy of the key.
struct SqlTextHash
{
    using is_transparent = void;
    std::size_t operator()(std::u16string_view text) const { return std::hash<std::u16string_view>()(text); }
};

// Whether the arguments fit the kinds, with the same refusals as SqlFormat (wrong kind or number, a
// null text, a text that IsSqlTextValue refuses).
bool SqlArgsFit(const std::vector<SqlArg::Kind> &kinds, std::initializer_list<SqlArg> args);
