#include "store/SqlText.h"

#include "platform/sys/TextConvert.h"

#include <charconv>

bool IsSqlTextValue(std::u16string_view text)
{
    return text.find(u'\0') == std::u16string_view::npos && !vxsys::HasUnpairedSurrogate(text);
}

std::optional<std::u16string> SqlQuote(std::u16string_view text)
{
    if (!IsSqlTextValue(text))
        return std::nullopt;
    std::u16string out;
    out.reserve(text.size() + 2);
    for (char16_t ch : text)
    {
        out.push_back(ch);
        if (ch == u'\'')
            out.push_back(u'\'');
    }
    return out;
}

namespace
{
void AppendNumber(std::u16string &out, int64_t value)
{
    // to_chars never consults the locale.
    char digits[24];
    const auto result = std::to_chars(digits, digits + sizeof(digits), value);
    for (const char *p = digits; p != result.ptr; ++p)
        out.push_back(static_cast<char16_t>(*p));
}
} // namespace

std::optional<std::u16string> SqlFormat(std::u16string_view format, std::initializer_list<SqlArg> args)
{
    std::u16string out;
    out.reserve(format.size() + 64);
    auto next = args.begin();
    for (std::size_t i = 0; i < format.size(); ++i)
    {
        const char16_t ch = format[i];
        if (ch != u'%')
        {
            out.push_back(ch);
            continue;
        }
        const std::u16string_view rest = format.substr(i + 1);
        if (rest.starts_with(u"%"))
        {
            out.push_back(u'%');
            i += 1;
            continue;
        }
        if (next == args.end())
            return std::nullopt;
        const SqlArg &arg = *next++;
        if (rest.starts_with(u"s"))
        {
            const bool quoted = i > 0 && format[i - 1] == u'\'' && rest.size() > 1 && rest[1] == u'\'';
            if (!quoted || arg.GetKind() != SqlArg::Kind::Text)
                return std::nullopt;
            const std::optional<std::u16string> value = SqlQuote(arg.GetText());
            if (!value)
                return std::nullopt;
            out += *value;
            i += 1;
        }
        else if (rest.starts_with(u"I64i"))
        {
            if (arg.GetKind() != SqlArg::Kind::Int64)
                return std::nullopt;
            AppendNumber(out, arg.GetNumber());
            i += 4;
        }
        else if (rest.starts_with(u"i"))
        {
            if (arg.GetKind() != SqlArg::Kind::Int32)
                return std::nullopt;
            AppendNumber(out, arg.GetNumber());
            i += 1;
        }
        else
        {
            return std::nullopt;
        }
    }
    if (next != args.end())
        return std::nullopt;
    return out;
}

std::optional<SqlParameters> SqlParameterize(std::u16string_view format)
{
    SqlParameters out;
    out.statement.reserve(format.size());
    for (std::size_t i = 0; i < format.size(); ++i)
    {
        const char16_t ch = format[i];
        if (ch == u'?')
            return std::nullopt;
        if (ch != u'%')
        {
            out.statement.push_back(ch);
            continue;
        }
        const std::u16string_view rest = format.substr(i + 1);
        if (rest.starts_with(u"%"))
        {
            out.statement.push_back(u'%');
            i += 1;
        }
        else if (rest.starts_with(u"s"))
        {
            const bool quoted = i > 0 && format[i - 1] == u'\'' && rest.size() > 1 && rest[1] == u'\'';
            if (!quoted)
                return std::nullopt;
            // The opening quote is already written; the parameter stands in for the whole literal.
            out.statement.back() = u'?';
            out.kinds.push_back(SqlArg::Kind::Text);
            i += 2;
        }
        else if (rest.starts_with(u"I64i"))
        {
            out.statement.push_back(u'?');
            out.kinds.push_back(SqlArg::Kind::Int64);
            i += 4;
        }
        else if (rest.starts_with(u"i"))
        {
            out.statement.push_back(u'?');
            out.kinds.push_back(SqlArg::Kind::Int32);
            i += 1;
        }
        else
        {
            return std::nullopt;
        }
    }
    return out;
}

bool SqlArgsFit(const std::vector<SqlArg::Kind> &kinds, std::initializer_list<SqlArg> args)
{
    if (kinds.size() != args.size())
        return false;
    auto kind = kinds.begin();
    for (const SqlArg &arg : args)
    {
        if (arg.GetKind() != *kind++)
            return false;
        if (arg.GetKind() == SqlArg::Kind::Text && !IsSqlTextValue(arg.GetText()))
            return false;
    }
    return true;
}
