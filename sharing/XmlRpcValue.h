#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

// The error of the XML-RPC code: every malformed reply and every wrong typed access
// raises it; the client's execute catches it and keeps its message as the error text.
class XmlRpcException
{
  public:
    explicit XmlRpcException(std::string message) : m_message(std::move(message)) {}
    const std::string &getMessage() const { return m_message; }

  private:
    std::string m_message;
};

// Date and time as the service exchanges them. Only the first six fields travel; the
// month counts from 0 and the year is the full year (2010, not an offset).
struct XmlRpcTime
{
    std::int32_t second = 0;
    std::int32_t minute = 0;
    std::int32_t hour = 0;
    std::int32_t day = 0;
    std::int32_t month = 0;
    std::int32_t year = 0;
    std::int32_t weekDay = 0;
    std::int32_t yearDay = 0;
    std::int32_t daylight = 0; // -1 when read from XML
};

// One XML-RPC value. Text is narrow (bytes of the service's code page). Owned contents
// (text, time, bytes, array elements, struct members) are deep-copied on copy and
// assignment; struct members are kept ordered by name, byte-wise.
class XmlRpcValue
{
  public:
    enum Type
    {
        TypeInvalid = 0,
        TypeBoolean = 1,
        TypeInt = 2,
        TypeDouble = 3,
        TypeString = 4,
        TypeDateTime = 5,
        TypeBase64 = 6,
        TypeArray = 7,
        TypeStruct = 8,
        TypeNil = 9,
    };

    using BinaryData = std::vector<std::uint8_t>;
    using ValueArray = std::vector<XmlRpcValue>;
    using ValueStruct = std::map<std::string, XmlRpcValue>;

    // Arrays and structs nested deeper than this are refused when read ("Bad nesting"),
    // so a hostile reply cannot exhaust the stack.
    static constexpr int kMaxNesting = 64;

    XmlRpcValue() = default;
    XmlRpcValue(bool value);
    XmlRpcValue(int value);
    XmlRpcValue(double value);
    XmlRpcValue(const char *value);
    XmlRpcValue(const std::string &value);
    XmlRpcValue(const XmlRpcTime &value);
    XmlRpcValue(const BinaryData &value);
    XmlRpcValue(const XmlRpcValue &other);
    XmlRpcValue(XmlRpcValue &&other) noexcept;
    ~XmlRpcValue();

    // Both copy the source before the target lets go of its contents, so a value may be
    // assigned from itself or from something it owns (v = v[0]).
    XmlRpcValue &operator=(const XmlRpcValue &other);
    XmlRpcValue &operator=(XmlRpcValue &&other) noexcept;
    // One for each type, so that a bool or a double is never taken for an int.
    XmlRpcValue &operator=(bool value);
    XmlRpcValue &operator=(int value);
    XmlRpcValue &operator=(double value);
    XmlRpcValue &operator=(const char *value);
    XmlRpcValue &operator=(const std::string &value);

    void swap(XmlRpcValue &other) noexcept;

    // Releases what the value owns and leaves it invalid.
    void clear();

    Type getType() const { return m_type; }
    bool valid() const { return m_type != TypeInvalid; }

    // The typed read: an invalid value becomes the given type with empty content; a value
    // of another type raises "type error".
    void assertTypeOrInvalid(Type type);

    // Arrays: an invalid value becomes an empty array; grows to n elements (never shrinks).
    void setSize(int n);
    // Text length, byte count, element count or member count; other types raise.
    int size() const;

    // Element access with an index check.
    XmlRpcValue &operator[](int index);
    const XmlRpcValue &operator[](int index) const;
    // Member access: an invalid value becomes an empty struct, a missing member is
    // inserted as an invalid value.
    XmlRpcValue &operator[](const std::string &name);
    bool hasMember(const std::string &name) const;

    // Typed reads (through assertTypeOrInvalid).
    bool &asBool();
    int &asInt();
    double &asDouble();
    std::string &asString();
    XmlRpcTime &asTime();
    BinaryData &asBinary();
    ValueArray &asArray();
    ValueStruct &asStruct();

    // Appends the value's XML; an invalid value writes nothing. Writing never fails.
    std::string toXml() const;
    void toXml(std::string &out) const;

    // Reads one "<value>...</value>" from text at *offset and moves *offset past it.
    // The text ends at its first zero byte. Raises XmlRpcException on malformed input.
    void fromXml(const char *text, std::size_t *offset);

    void setNil();

  private:
    void fromXml(const char *text, std::size_t *offset, int depth);
    void becomeEmpty(Type type);

    Type m_type = TypeInvalid;
    union
    {
        bool asBool;
        std::int32_t asInt;
        double asDouble;
        std::string *asString;
        XmlRpcTime *asTime;
        BinaryData *asBinary;
        ValueArray *asArray;
        ValueStruct *asStruct;
    } m_value{};
};

// The method call's text. A parameters value that is an array gives one param per
// element; anything else is the one parameter.
std::string generateRequest(const char *methodName, const XmlRpcValue &params);

// Reads a methodResponse from the zero-terminated reply. True for a normal response,
// false for a fault; the value found is left in result either way.
bool parseResponse(XmlRpcValue &result, const char *reply);
