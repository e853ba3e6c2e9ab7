#include "sharing/XmlRpcValue.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <locale>
#include <locale.h>
#include <strings.h>
#include <sstream>

namespace
{
// Tags longer than this are cut: nothing the protocol uses comes near it.
constexpr std::size_t kMaxTagLength = 127;

const char kValueTag[] = "<value>";
const char kEndValueTag[] = "</value>";

bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

std::size_t SkipSpaces(const char *text, std::size_t offset)
{
    while (IsSpace(text[offset]))
        ++offset;
    return offset;
}

// The next tag, "<" through ">", after any whitespace. Without a tag there the result is
// empty and the cursor does not move.
std::string NextTag(const char *text, std::size_t *offset)
{
    const std::size_t start = SkipSpaces(text, *offset);
    if (text[start] != '<')
        return {};
    const char *close = std::strchr(text + start, '>');
    if (!close)
        return {};
    const std::size_t length = static_cast<std::size_t>(close - (text + start)) + 1;
    *offset = start + length;
    return std::string(text + start, std::min(length, kMaxTagLength));
}

void ExpectTag(const char *text, std::size_t *offset, const char *expected)
{
    if (NextTag(text, offset) != expected)
        throw XmlRpcException(std::string("Expecting tag: ") + expected);
}

bool StartsWith(const char *text, const char *prefix)
{
    return std::strncmp(text, prefix, std::strlen(prefix)) == 0;
}

void AppendEscaped(std::string &out, const std::string &text)
{
    for (const char c : text)
    {
        switch (c)
        {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&apos;"; break;
        default: out += c; break;
        }
    }
}

std::string Unescape(const char *begin, const char *end)
{
    static const struct
    {
        const char *entity;
        char byte;
    } kEntities[] = {{"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}, {"&#039;", '\''}};

    std::string out;
    out.reserve(static_cast<std::size_t>(end - begin));
    for (const char *p = begin; p < end;)
    {
        bool replaced = false;
        if (*p == '&')
        {
            for (const auto &entity : kEntities)
            {
                const std::size_t length = std::strlen(entity.entity);
                if (static_cast<std::size_t>(end - p) >= length && std::memcmp(p, entity.entity, length) == 0)
                {
                    out += entity.byte;
                    p += length;
                    replaced = true;
                    break;
                }
            }
        }
        if (!replaced)
            out += *p++;
    }
    return out;
}

// The text from the cursor up to the next "<", or null when no "<" is left.
const char *TextEnd(const char *text, std::size_t offset)
{
    return std::strchr(text + offset, '<');
}

const char kBase64Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

void AppendBase64(std::string &out, const XmlRpcValue::BinaryData &bytes)
{
    std::size_t column = 0;
    auto put = [&](char c) {
        out += c;
        if (++column == 72)
        {
            out += '\n';
            column = 0;
        }
    };
    for (std::size_t i = 0; i < bytes.size(); i += 3)
    {
        const std::size_t left = bytes.size() - i;
        const std::uint32_t group = (std::uint32_t{bytes[i]} << 16) | (left > 1 ? std::uint32_t{bytes[i + 1]} << 8 : 0) |
                                    (left > 2 ? std::uint32_t{bytes[i + 2]} : 0);
        put(kBase64Alphabet[(group >> 18) & 63]);
        put(kBase64Alphabet[(group >> 12) & 63]);
        put(left > 1 ? kBase64Alphabet[(group >> 6) & 63] : '=');
        put(left > 2 ? kBase64Alphabet[group & 63] : '=');
    }
}

XmlRpcValue::BinaryData DecodeBase64(const char *begin, const char *end)
{
    XmlRpcValue::BinaryData out;
    std::uint32_t bits = 0;
    int count = 0;
    for (const char *p = begin; p < end && *p != '='; ++p)
    {
        const char *found = std::strchr(kBase64Alphabet, *p);
        if (!found || *p == '\0')
            continue;
        bits = (bits << 6) | static_cast<std::uint32_t>(found - kBase64Alphabet);
        if (++count == 4)
        {
            out.push_back(static_cast<std::uint8_t>(bits >> 16));
            out.push_back(static_cast<std::uint8_t>(bits >> 8));
            out.push_back(static_cast<std::uint8_t>(bits));
            bits = 0;
            count = 0;
        }
    }
    if (count == 2)
        out.push_back(static_cast<std::uint8_t>(bits >> 4));
    else if (count == 3)
    {
        out.push_back(static_cast<std::uint8_t>(bits >> 10));
        out.push_back(static_cast<std::uint8_t>(bits >> 2));
    }
    return out;
}

// Numbers are read in the C locale whatever the process locale is.
locale_t CLocale()
{
    static const locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return locale;
}

std::string FormatDouble(double value)
{
    std::ostringstream stream;
    stream.imbue(std::locale::classic());
    stream << value;
    return stream.str();
}
} // namespace

XmlRpcValue::XmlRpcValue(bool value) : m_type(TypeBoolean)
{
    m_value.asBool = value;
}

XmlRpcValue::XmlRpcValue(int value) : m_type(TypeInt)
{
    m_value.asInt = value;
}

XmlRpcValue::XmlRpcValue(double value) : m_type(TypeDouble)
{
    m_value.asDouble = value;
}

XmlRpcValue::XmlRpcValue(const char *value) : XmlRpcValue(std::string(value ? value : ""))
{
}

XmlRpcValue::XmlRpcValue(const std::string &value)
{
    m_value.asString = new std::string(value);
    m_type = TypeString;
}

XmlRpcValue::XmlRpcValue(const XmlRpcTime &value)
{
    m_value.asTime = new XmlRpcTime(value);
    m_type = TypeDateTime;
}

XmlRpcValue::XmlRpcValue(const BinaryData &value)
{
    m_value.asBinary = new BinaryData(value);
    m_type = TypeBase64;
}

XmlRpcValue::XmlRpcValue(const XmlRpcValue &other)
{
    switch (other.m_type)
    {
    case TypeString: m_value.asString = new std::string(*other.m_value.asString); break;
    case TypeDateTime: m_value.asTime = new XmlRpcTime(*other.m_value.asTime); break;
    case TypeBase64: m_value.asBinary = new BinaryData(*other.m_value.asBinary); break;
    case TypeArray: m_value.asArray = new ValueArray(*other.m_value.asArray); break;
    case TypeStruct: m_value.asStruct = new ValueStruct(*other.m_value.asStruct); break;
    default: m_value = other.m_value; break;
    }
    m_type = other.m_type;
}

XmlRpcValue::XmlRpcValue(XmlRpcValue &&other) noexcept : m_type(other.m_type), m_value(other.m_value)
{
    other.m_type = TypeInvalid;
    other.m_value = {};
}

XmlRpcValue::~XmlRpcValue()
{
    clear();
}

XmlRpcValue &XmlRpcValue::operator=(const XmlRpcValue &other)
{
    // The copy is complete before this value lets go of anything, so other may live
    // inside this value.
    XmlRpcValue copy(other);
    swap(copy);
    return *this;
}

XmlRpcValue &XmlRpcValue::operator=(XmlRpcValue &&other) noexcept
{
    // Taken out first: swapping with other directly would leave other's slot, when it
    // lives inside this value, holding the container it is part of.
    XmlRpcValue taken(std::move(other));
    swap(taken);
    return *this;
}

XmlRpcValue &XmlRpcValue::operator=(bool value)
{
    return *this = XmlRpcValue(value);
}

XmlRpcValue &XmlRpcValue::operator=(int value)
{
    return *this = XmlRpcValue(value);
}

XmlRpcValue &XmlRpcValue::operator=(double value)
{
    return *this = XmlRpcValue(value);
}

XmlRpcValue &XmlRpcValue::operator=(const char *value)
{
    return *this = XmlRpcValue(value);
}

XmlRpcValue &XmlRpcValue::operator=(const std::string &value)
{
    return *this = XmlRpcValue(value);
}

void XmlRpcValue::swap(XmlRpcValue &other) noexcept
{
    std::swap(m_type, other.m_type);
    std::swap(m_value, other.m_value);
}

void XmlRpcValue::clear()
{
    switch (m_type)
    {
    case TypeString: delete m_value.asString; break;
    case TypeDateTime: delete m_value.asTime; break;
    case TypeBase64: delete m_value.asBinary; break;
    case TypeArray: delete m_value.asArray; break;
    case TypeStruct: delete m_value.asStruct; break;
    default: break;
    }
    m_type = TypeInvalid;
    m_value = {};
}

void XmlRpcValue::becomeEmpty(Type type)
{
    clear();
    switch (type)
    {
    case TypeString: m_value.asString = new std::string(); break;
    case TypeDateTime: m_value.asTime = new XmlRpcTime(); break;
    case TypeBase64: m_value.asBinary = new BinaryData(); break;
    case TypeArray: m_value.asArray = new ValueArray(); break;
    case TypeStruct: m_value.asStruct = new ValueStruct(); break;
    default: break;
    }
    m_type = type;
}

void XmlRpcValue::setNil()
{
    clear();
    m_type = TypeNil;
}

void XmlRpcValue::assertTypeOrInvalid(Type type)
{
    if (m_type == TypeInvalid)
        becomeEmpty(type);
    else if (m_type != type)
        throw XmlRpcException("type error");
}

void XmlRpcValue::setSize(int n)
{
    if (m_type == TypeInvalid)
        becomeEmpty(TypeArray);
    else if (m_type != TypeArray)
        throw XmlRpcException("type error: expected an array");
    if (n <= 0)
        return;
    ValueArray &array = *m_value.asArray;
    const std::size_t wanted = static_cast<std::size_t>(n);
    if (wanted <= array.size())
        return;
    if (wanted >= array.capacity())
    {
        std::size_t capacity = 1;
        while (capacity < wanted)
            capacity <<= 1;
        array.reserve(capacity);
    }
    array.resize(wanted);
}

int XmlRpcValue::size() const
{
    switch (m_type)
    {
    case TypeString: return static_cast<int>(m_value.asString->size());
    case TypeBase64: return static_cast<int>(m_value.asBinary->size());
    case TypeArray: return static_cast<int>(m_value.asArray->size());
    case TypeStruct: return static_cast<int>(m_value.asStruct->size());
    default: throw XmlRpcException("type error");
    }
}

XmlRpcValue &XmlRpcValue::operator[](int index)
{
    if (m_type != TypeArray)
        throw XmlRpcException("type error: expected an array");
    if (index < 0 || static_cast<std::size_t>(index) >= m_value.asArray->size())
        throw XmlRpcException("range error: array index too large");
    return (*m_value.asArray)[static_cast<std::size_t>(index)];
}

const XmlRpcValue &XmlRpcValue::operator[](int index) const
{
    return const_cast<XmlRpcValue &>(*this)[index];
}

XmlRpcValue &XmlRpcValue::operator[](const std::string &name)
{
    if (m_type == TypeInvalid)
        becomeEmpty(TypeStruct);
    else if (m_type != TypeStruct)
        throw XmlRpcException("type error: expected a struct");
    return (*m_value.asStruct)[name];
}

bool XmlRpcValue::hasMember(const std::string &name) const
{
    return m_type == TypeStruct && m_value.asStruct->count(name) != 0;
}

bool &XmlRpcValue::asBool()
{
    assertTypeOrInvalid(TypeBoolean);
    return m_value.asBool;
}

int &XmlRpcValue::asInt()
{
    assertTypeOrInvalid(TypeInt);
    return m_value.asInt;
}

double &XmlRpcValue::asDouble()
{
    assertTypeOrInvalid(TypeDouble);
    return m_value.asDouble;
}

std::string &XmlRpcValue::asString()
{
    assertTypeOrInvalid(TypeString);
    return *m_value.asString;
}

XmlRpcTime &XmlRpcValue::asTime()
{
    assertTypeOrInvalid(TypeDateTime);
    return *m_value.asTime;
}

XmlRpcValue::BinaryData &XmlRpcValue::asBinary()
{
    assertTypeOrInvalid(TypeBase64);
    return *m_value.asBinary;
}

XmlRpcValue::ValueArray &XmlRpcValue::asArray()
{
    assertTypeOrInvalid(TypeArray);
    return *m_value.asArray;
}

XmlRpcValue::ValueStruct &XmlRpcValue::asStruct()
{
    assertTypeOrInvalid(TypeStruct);
    return *m_value.asStruct;
}

std::string XmlRpcValue::toXml() const
{
    std::string out;
    toXml(out);
    return out;
}

void XmlRpcValue::toXml(std::string &out) const
{
    switch (m_type)
    {
    case TypeInvalid: return;
    case TypeBoolean:
        out += "<value><boolean>";
        out += m_value.asBool ? "1" : "0";
        out += "</boolean></value>";
        return;
    case TypeInt:
        out += "<value><i4>";
        out += std::to_string(m_value.asInt);
        out += "</i4></value>";
        return;
    case TypeDouble:
        out += "<value><double>";
        out += FormatDouble(m_value.asDouble);
        out += "</double></value>";
        return;
    case TypeString:
        if (m_value.asString->empty())
            out += "<value><string/></value>";
        else
        {
            out += kValueTag;
            AppendEscaped(out, *m_value.asString);
            out += kEndValueTag;
        }
        return;
    case TypeDateTime:
    {
        const XmlRpcTime &t = *m_value.asTime;
        char text[96];
        std::snprintf(text, sizeof text, "%4d%02d%02dT%02d:%02d:%02d", t.year, t.month + 1, t.day, t.hour, t.minute,
                      t.second);
        out += "<value><dateTime.iso8601>";
        out += text;
        out += "</dateTime.iso8601></value>";
        return;
    }
    case TypeBase64:
        out += "<value><base64>";
        AppendBase64(out, *m_value.asBinary);
        out += "</base64></value>";
        return;
    case TypeArray:
        out += "<value><array><data>";
        for (const XmlRpcValue &element : *m_value.asArray)
            element.toXml(out);
        out += "</data></array></value>";
        return;
    case TypeStruct:
        out += "<value><struct>";
        for (const auto &[name, member] : *m_value.asStruct)
        {
            out += "<member><name>";
            AppendEscaped(out, name);
            out += "</name>";
            member.toXml(out);
            out += "</member>";
        }
        out += "</struct></value>\n";
        return;
    case TypeNil: out += "<value><nil/></value>"; return;
    }
}

void XmlRpcValue::fromXml(const char *text, std::size_t *offset)
{
    fromXml(text, offset, 0);
}

void XmlRpcValue::fromXml(const char *text, std::size_t *offset, int depth)
{
    clear();
    ExpectTag(text, offset, kValueTag);
    const std::string tag = NextTag(text, offset);

    // String content: the bytes up to the next "<", unescaped.
    auto readText = [&](const char *error) {
        const char *end = TextEnd(text, *offset);
        if (!end)
            throw XmlRpcException(error);
        std::string content = Unescape(text + *offset, end);
        *offset = static_cast<std::size_t>(end - text);
        return content;
    };

    const char *closing = nullptr;
    if (tag.empty() || tag == "<string>")
    {
        std::string content = readText("Bad string");
        *this = XmlRpcValue(content);
        closing = tag.empty() ? nullptr : "</string>";
    }
    else if (tag == "<boolean>")
    {
        const char *p = text + *offset;
        if ((p[0] != '0' && p[0] != '1') || p[1] != '<')
            throw XmlRpcException("bad BOOL");
        *this = XmlRpcValue(p[0] == '1');
        *offset += 1;
        closing = "</boolean>";
    }
    else if (tag == "<i4>" || tag == "<int>")
    {
        const char *start = text + *offset;
        char *end = nullptr;
        const long long number = strtoll_l(start, &end, 10, CLocale());
        if (end == start)
            throw XmlRpcException("Bad double");
        *this = XmlRpcValue(static_cast<int>(std::clamp<long long>(number, INT32_MIN, INT32_MAX)));
        *offset = static_cast<std::size_t>(end - text);
        closing = tag == "<i4>" ? "</i4>" : "</int>";
    }
    else if (tag == "<double>")
    {
        const char *start = text + *offset;
        char *end = nullptr;
        const double number = strtod_l(start, &end, CLocale());
        if (end == start)
            throw XmlRpcException("Bad double");
        *this = XmlRpcValue(number);
        *offset = static_cast<std::size_t>(end - text);
        closing = "</double>";
    }
    else if (tag == "<dateTime.iso8601>")
    {
        const char *end = TextEnd(text, *offset);
        if (!end)
            throw XmlRpcException("Bad time value");
        const std::string content(text + *offset, end);
        XmlRpcTime time;
        if (std::sscanf(content.c_str(), "%4d%2d%2dT%2d:%2d:%2d", &time.year, &time.month, &time.day, &time.hour,
                        &time.minute, &time.second) != 6)
            throw XmlRpcException("Bad time value");
        time.month -= 1;
        time.daylight = -1;
        *this = XmlRpcValue(time);
        *offset = static_cast<std::size_t>(end - text);
        closing = "</dateTime.iso8601>";
    }
    else if (tag == "<base64>")
    {
        const char *end = TextEnd(text, *offset);
        if (!end)
            throw XmlRpcException("Bad base64");
        *this = XmlRpcValue(DecodeBase64(text + *offset, end));
        *offset = static_cast<std::size_t>(end - text);
        closing = "</base64>";
    }
    else if (tag == "<array>")
    {
        if (depth >= kMaxNesting)
            throw XmlRpcException("Bad nesting");
        becomeEmpty(TypeArray);
        const std::string dataTag = NextTag(text, offset);
        if (dataTag == "<data>")
        {
            while (!StartsWith(text + SkipSpaces(text, *offset), "</data>"))
            {
                XmlRpcValue element;
                element.fromXml(text, offset, depth + 1);
                m_value.asArray->push_back(std::move(element));
            }
            ExpectTag(text, offset, "</data>");
        }
        else if (dataTag != "<data/>")
            throw XmlRpcException("Expecting tag:  <data>");
        closing = "</array>";
    }
    else if (tag == "<struct>")
    {
        if (depth >= kMaxNesting)
            throw XmlRpcException("Bad nesting");
        becomeEmpty(TypeStruct);
        while (StartsWith(text + SkipSpaces(text, *offset), "<member>"))
        {
            ExpectTag(text, offset, "<member>");
            ExpectTag(text, offset, "<name>");
            std::string name = readText("Bad 'name' tag in struct");
            ExpectTag(text, offset, "</name>");
            XmlRpcValue member;
            member.fromXml(text, offset, depth + 1);
            (*m_value.asStruct)[name] = std::move(member);
            ExpectTag(text, offset, "</member>");
        }
        closing = "</struct>";
    }
    else if (tag == "<string/>")
    {
        becomeEmpty(TypeString);
    }
    else if (tag == "<nil/>")
    {
        setNil();
    }
    else if (tag == kEndValueTag)
    {
        return;
    }
    else
    {
        throw XmlRpcException("Unknown type tag: " + tag);
    }

    if (closing)
        ExpectTag(text, offset, closing);
    ExpectTag(text, offset, kEndValueTag);
}

std::string generateRequest(const char *methodName, const XmlRpcValue &params)
{
    std::string out = "<?xml version=\"1.0\"?>\r\n<methodCall><methodName>";
    out += methodName ? methodName : "";
    out += "</methodName>\r\n<params>";
    if (params.getType() == XmlRpcValue::TypeArray)
    {
        for (int i = 0; i < params.size(); ++i)
        {
            out += "<param>";
            params[i].toXml(out);
            out += "</param>";
        }
    }
    else
    {
        out += "<param>";
        params.toXml(out);
        out += "</param>";
    }
    out += "</params></methodCall>\r\n";
    return out;
}

bool parseResponse(XmlRpcValue &result, const char *reply)
{
    result.clear();
    if (!reply)
        reply = "";
    std::size_t offset = 0;
    const std::string declaration = NextTag(reply, &offset);
    if (strncasecmp(declaration.c_str(), "<?xml version", 13) != 0)
        throw XmlRpcException(reply + offset);
    if (NextTag(reply, &offset) != "<methodResponse>")
    {
        if (std::strstr(reply, "<title>Bad request!</title>"))
            throw XmlRpcException("Talking HTTP to a HTTPS server?");
        throw XmlRpcException("Expecting tag: <methodResponse>");
    }
    offset = SkipSpaces(reply, offset);
    if (StartsWith(reply + offset, "<fault>"))
    {
        ExpectTag(reply, &offset, "<fault>");
        result.fromXml(reply, &offset);
        ExpectTag(reply, &offset, "</fault>");
        return false;
    }
    ExpectTag(reply, &offset, "<params>");
    ExpectTag(reply, &offset, "<param>");
    result.fromXml(reply, &offset);
    return true;
}
