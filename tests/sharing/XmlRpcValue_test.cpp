#include "sharing/XmlRpcValue.h"

#include <gtest/gtest.h>

#include <climits>
#include <clocale>
#include <locale>
#include <string>
#include <vector>

namespace
{
const std::string kRequestHead = "<?xml version=\"1.0\"?>\r\n<methodCall><methodName>";
const std::string kResponseHead = "<?xml version=\"1.0\"?>\r\n<methodResponse><params><param>";
const std::string kResponseTail = "</param></params></methodResponse>\r\n";

std::string Response(const std::string &value)
{
    return kResponseHead + value + kResponseTail;
}

// Parses a normal response holding one value; the exception's message when it fails.
std::string ParseError(const std::string &reply)
{
    XmlRpcValue result;
    try
    {
        parseResponse(result, reply.c_str());
    }
    catch (const XmlRpcException &e)
    {
        return e.getMessage();
    }
    return "(parsed)";
}

XmlRpcValue ParseValue(const std::string &value)
{
    XmlRpcValue result;
    EXPECT_TRUE(parseResponse(result, Response(value).c_str()));
    return result;
}

std::string Nested(const std::string &open, const std::string &close, int levels, const std::string &inner)
{
    std::string text;
    for (int i = 0; i < levels; ++i)
        text += open;
    text += inner;
    for (int i = 0; i < levels; ++i)
        text += close;
    return text;
}

XmlRpcValue Params(std::vector<XmlRpcValue> values)
{
    XmlRpcValue params;
    params.setSize(0);
    for (std::size_t i = 0; i < values.size(); ++i)
    {
        params.setSize(static_cast<int>(i + 1));
        params[static_cast<int>(i)] = values[i];
    }
    return params;
}
} // namespace

TEST(XmlRpcRequest, GoldenTexts)
{
    // Logout with its token.
    EXPECT_EQ(generateRequest("Logout", Params({XmlRpcValue("4f2a9c")})),
              kRequestHead + "Logout</methodName>\r\n<params><param><value>4f2a9c</value></param></params>"
                             "</methodCall>\r\n");

    // AddRunData: token, count, then ten integers per run, each its own param.
    std::vector<XmlRpcValue> values{XmlRpcValue("tok"), XmlRpcValue(1)};
    for (int i = 0; i < 10; ++i)
        values.emplace_back(i == 3 ? -7 : i * 100);
    std::string expected = kRequestHead + "AddRunData</methodName>\r\n<params>"
                                          "<param><value>tok</value></param><param><value><i4>1</i4></value></param>";
    for (int i = 0; i < 10; ++i)
        expected += "<param><value><i4>" + std::to_string(i == 3 ? -7 : i * 100) + "</i4></value></param>";
    expected += "</params></methodCall>\r\n";
    EXPECT_EQ(generateRequest("AddRunData", Params(values)), expected);

    // No parameters at all.
    EXPECT_EQ(generateRequest("GetLastRecordDateTime", Params({})),
              kRequestHead + "GetLastRecordDateTime</methodName>\r\n<params></params></methodCall>\r\n");

    // The empty text has its own tag; other text goes without a string tag.
    EXPECT_EQ(generateRequest("Login", Params({XmlRpcValue(""), XmlRpcValue(0)})),
              kRequestHead + "Login</methodName>\r\n<params><param><value><string/></value></param>"
                             "<param><value><i4>0</i4></value></param></params></methodCall>\r\n");

    // A value that is not an array is the one parameter.
    EXPECT_EQ(generateRequest("M", XmlRpcValue(5)),
              kRequestHead + "M</methodName>\r\n<params><param><value><i4>5</i4></value></param></params>"
                             "</methodCall>\r\n");
}

TEST(XmlRpcRequest, EscapesTextAndStructNamesButNotTheMethodName)
{
    // Quotes, CR, LF and bytes above 127 pass unchanged except the five markup bytes.
    EXPECT_EQ(generateRequest("A&B", Params({XmlRpcValue("a<b & \"c\" 'd'>\r\n\xE9\xFF")})),
              kRequestHead + "A&B</methodName>\r\n<params><param><value>"
                             "a&lt;b &amp; &quot;c&quot; &apos;d&apos;&gt;\r\n\xE9\xFF</value></param></params>"
                             "</methodCall>\r\n");

    XmlRpcValue s;
    s["b"] = 2;
    s["a<&"] = "x";
    s["B"] = XmlRpcValue(true);
    // Members in byte order of their names ("B" < "a<&" < "b"), a line feed after the struct.
    EXPECT_EQ(s.toXml(), "<value><struct>"
                         "<member><name>B</name><value><boolean>1</boolean></value></member>"
                         "<member><name>a&lt;&amp;</name><value>x</value></member>"
                         "<member><name>b</name><value><i4>2</i4></value></member>"
                         "</struct></value>\n");
}

TEST(XmlRpcValueWrite, Table)
{
    XmlRpcTime time;
    time.year = 2010;
    time.month = 0;
    time.day = 2;
    time.hour = 3;
    time.minute = 4;
    time.second = 5;
    XmlRpcTime early = time;
    early.year = 999;

    auto bytes = [](std::size_t n) {
        XmlRpcValue::BinaryData data(n);
        for (std::size_t i = 0; i < n; ++i)
            data[i] = static_cast<std::uint8_t>(i * 37);
        return XmlRpcValue(data);
    };
    const std::string line72 = "ACVKb5S53gMoTXKXvOEGK1B1mr/kCS5TeJ3C5wwxVnugxeoPNFl+o8jtEjdcgabL8BU6X4Sp";

    XmlRpcValue nil;
    nil.setNil();
    XmlRpcValue array;
    array.setSize(2);
    array[0] = 1;

    const struct
    {
        XmlRpcValue value;
        std::string xml;
    } cases[] = {
        {XmlRpcValue(true), "<value><boolean>1</boolean></value>"},
        {XmlRpcValue(false), "<value><boolean>0</boolean></value>"},
        {XmlRpcValue(0), "<value><i4>0</i4></value>"},
        {XmlRpcValue(INT_MIN), "<value><i4>-2147483648</i4></value>"},
        {XmlRpcValue(1.5), "<value><double>1.5</double></value>"},
        {XmlRpcValue(0.1), "<value><double>0.1</double></value>"},
        {XmlRpcValue(123456789.0), "<value><double>1.23457e+08</double></value>"},
        {XmlRpcValue(0.0001234), "<value><double>0.0001234</double></value>"},
        {XmlRpcValue(-2.0), "<value><double>-2</double></value>"},
        {XmlRpcValue(time), "<value><dateTime.iso8601>20100102T03:04:05</dateTime.iso8601></value>"},
        {XmlRpcValue(early), "<value><dateTime.iso8601> 9990102T03:04:05</dateTime.iso8601></value>"},
        {bytes(0), "<value><base64></base64></value>"},
        {XmlRpcValue(XmlRpcValue::BinaryData{'a', 'b', 'c', 'd'}), "<value><base64>YWJjZA==</base64></value>"},
        {XmlRpcValue(XmlRpcValue::BinaryData{'a', 'b', 'c', 'd', 'e'}), "<value><base64>YWJjZGU=</base64></value>"},
        // 54 bytes fill exactly one line of 72 characters, which still gets its line feed.
        {bytes(54), "<value><base64>" + line72 + "\n</base64></value>"},
        {bytes(55), "<value><base64>" + line72 + "\nzg==</base64></value>"},
        {nil, "<value><nil/></value>"},
        {XmlRpcValue(), ""},
        // An invalid element writes nothing.
        {array, "<value><array><data><value><i4>1</i4></value></data></array></value>"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(c.value.toXml(), c.xml);
}

TEST(XmlRpcValueWrite, NumbersIgnoreTheProcessLocale)
{
    struct CommaPoint : std::numpunct<char>
    {
        char do_decimal_point() const override { return ','; }
        std::string do_grouping() const override { return "\3"; }
        char do_thousands_sep() const override { return '.'; }
    };
    const std::locale oldGlobal = std::locale::global(std::locale(std::locale::classic(), new CommaPoint));
    const std::string oldC = std::setlocale(LC_NUMERIC, nullptr);
    for (const char *name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8"})
        if (std::setlocale(LC_NUMERIC, name))
            break;

    const std::string written = XmlRpcValue(12345.5).toXml() + XmlRpcValue(123456).toXml();
    XmlRpcValue read;
    const bool parsed = parseResponse(read, Response("<value><double>2.25</double></value>").c_str());

    std::setlocale(LC_NUMERIC, oldC.c_str());
    std::locale::global(oldGlobal);
    EXPECT_EQ(written, "<value><double>12345.5</double></value><value><i4>123456</i4></value>");
    ASSERT_TRUE(parsed);
    EXPECT_EQ(read.asDouble(), 2.25);
}

TEST(XmlRpcResponse, ReadsEveryType)
{
    EXPECT_EQ(ParseValue("<value><i4>42</i4></value>").asInt(), 42);
    EXPECT_EQ(ParseValue("<value><int>-3</int></value>").asInt(), -3);
    EXPECT_EQ(ParseValue("<value><int>+8</int></value>").asInt(), 8);
    // Integers beyond 32 bits saturate instead of wrapping.
    EXPECT_EQ(ParseValue("<value><i4>4294967297</i4></value>").asInt(), INT_MAX);
    EXPECT_EQ(ParseValue("<value><i4>-99999999999999999999</i4></value>").asInt(), INT_MIN);
    EXPECT_TRUE(ParseValue("<value><boolean>1</boolean></value>").asBool());
    EXPECT_FALSE(ParseValue("<value><boolean>0</boolean></value>").asBool());
    EXPECT_EQ(ParseValue("<value><double>-1.25e3</double></value>").asDouble(), -1250.0);
    EXPECT_EQ(ParseValue("<value>  plain &lt;text&gt; &amp;&quot;&apos;&#039;&nbsp;</value>").asString(),
              "  plain <text> &\"''&nbsp;");
    EXPECT_EQ(ParseValue("<value><string>tagged</string></value>").asString(), "tagged");
    EXPECT_EQ(ParseValue("<value><string></string></value>").asString(), "");
    EXPECT_EQ(ParseValue("<value><string/></value>").getType(), XmlRpcValue::TypeString);
    EXPECT_EQ(ParseValue("<value><nil/></value>").getType(), XmlRpcValue::TypeNil);

    const XmlRpcTime t = ParseValue("<value><dateTime.iso8601>20091231T23:59:58</dateTime.iso8601></value>").asTime();
    EXPECT_EQ(t.year, 2009);
    EXPECT_EQ(t.month, 11);
    EXPECT_EQ(t.day, 31);
    EXPECT_EQ(t.hour, 23);
    EXPECT_EQ(t.minute, 59);
    EXPECT_EQ(t.second, 58);
    EXPECT_EQ(t.daylight, -1);

    // Line breaks and other bytes outside the alphabet are skipped; "=" ends the data.
    EXPECT_EQ(ParseValue("<value><base64>YW Jj\r\nZA==ignored</base64></value>").asBinary(),
              (XmlRpcValue::BinaryData{'a', 'b', 'c', 'd'}));

    XmlRpcValue array = ParseValue("<value><array><data>\n <value><i4>1</i4></value>\n"
                                   " <value>two</value></data></array></value>");
    ASSERT_EQ(array.size(), 2);
    EXPECT_EQ(array[0].asInt(), 1);
    EXPECT_EQ(array[1].asString(), "two");
    EXPECT_EQ(ParseValue("<value><array><data/></array></value>").size(), 0);

    XmlRpcValue s = ParseValue("<value><struct>\n<member><name>a&amp;b</name><value><i4>1</i4></value></member>"
                               "<member><name>x</name><value>first</value></member>"
                               "<member><name>x</name><value>second</value></member></struct></value>");
    EXPECT_EQ(s.size(), 2);
    EXPECT_EQ(s["a&b"].asInt(), 1);
    EXPECT_EQ(s["x"].asString(), "second");
}

TEST(XmlRpcResponse, EmptyValueIsInvalidAndTypedReadsGiveEmptyContent)
{
    XmlRpcValue v = ParseValue("<value></value>");
    EXPECT_FALSE(v.valid());
    EXPECT_EQ(XmlRpcValue(v).asInt(), 0);
    EXPECT_FALSE(XmlRpcValue(v).asBool());
    EXPECT_EQ(XmlRpcValue(v).asString(), "");
    // Whitespace alone is no text: the closing tag is found as the type tag.
    EXPECT_FALSE(ParseValue("<value>   </value>").valid());
}

TEST(XmlRpcResponse, DeclarationAnyCaseButMethodResponseExact)
{
    XmlRpcValue result;
    EXPECT_TRUE(parseResponse(result, "<?XML VERSION=\"1.0\"?><methodResponse><params><param>"
                                      "<value><i4>7</i4></value></param></params></methodResponse>"));
    EXPECT_EQ(result.asInt(), 7);
    EXPECT_EQ(ParseError("<?xml version=\"1.0\"?><METHODRESPONSE><params><param><value><i4>7</i4></value>"),
              "Expecting tag: <methodResponse>");
}

TEST(XmlRpcResponse, EveryErrorMessage)
{
    const std::string decl = "<?xml version=\"1.0\"?>\r\n";
    // A reply that ends inside a value: no "<" is left.
    const std::string unfinished = decl + "<methodResponse><params><param>";
    const struct
    {
        std::string reply;
        std::string message;
    } cases[] = {
        // Not XML: the text behind the first tag.
        {"<html><body>Server error</body></html>", "<body>Server error</body></html>"},
        {"plain text", "plain text"},
        {decl + "<html><title>Bad request!</title></html>", "Talking HTTP to a HTTPS server?"},
        {decl + "<methodCall>", "Expecting tag: <methodResponse>"},
        {decl + "<methodResponse><param>", "Expecting tag: <params>"},
        {decl + "<methodResponse><params><value>", "Expecting tag: <param>"},
        {decl + "<methodResponse><params><param><i4>1</i4>", "Expecting tag: <value>"},
        {decl + "<methodResponse><fault><value><i4>1</i4></value><params>", "Expecting tag: </fault>"},
        {unfinished + "<value>no end", "Bad string"},
        {unfinished + "<value><string>no end", "Bad string"},
        {Response("<value><string>x</strong></value>"), "Expecting tag: </string>"},
        {Response("<value>x</values>"), "Expecting tag: </value>"},
        {Response("<value><boolean>true</boolean></value>"), "bad BOOL"},
        {Response("<value><boolean>1 </boolean></value>"), "bad BOOL"},
        {Response("<value><boolean>1</bool></value>"), "Expecting tag: </boolean>"},
        {Response("<value><i4>abc</i4></value>"), "Bad double"},
        {Response("<value><i4>12</int></value>"), "Expecting tag: </i4>"},
        {Response("<value><int>12</i4></value>"), "Expecting tag: </int>"},
        {Response("<value><double>x</double></value>"), "Bad double"},
        {Response("<value><double>1.5</dbl></value>"), "Expecting tag: </double>"},
        {Response("<value><dateTime.iso8601>2010</dateTime.iso8601></value>"), "Bad time value"},
        {unfinished + "<value><dateTime.iso8601>20100101T10:00:00", "Bad time value"},
        {unfinished + "<value><base64>YWJj", "Bad base64"},
        {Response("<value><array><value></value></array></value>"), "Expecting tag:  <data>"},
        {Response("<value><array><data></array></value>"), "Expecting tag: <value>"},
        {Response("<value><array><data/></value>"), "Expecting tag: </array>"},
        {Response("<value><struct><member><value>"), "Expecting tag: <name>"},
        {unfinished + "<value><struct><member><name>n", "Bad 'name' tag in struct"},
        {Response("<value><struct><member><name>n</nam>"), "Expecting tag: </name>"},
        {Response("<value><struct><member><name>n</name><value>1</value></struct>"), "Expecting tag: </member>"},
        {Response("<value><struct><foo></struct></value>"), "Expecting tag: </struct>"},
        {Response("<value><float>1</float></value>"), "Unknown type tag: <float>"},
        {Response(Nested("<value><array><data>", "</data></array></value>", 65, "")), "Bad nesting"},
        {"", ""},
    };
    for (const auto &c : cases)
        EXPECT_EQ(ParseError(c.reply), c.message) << c.reply;
}

TEST(XmlRpcResponse, FaultGivesFalseWithTheFaultStruct)
{
    XmlRpcValue result;
    EXPECT_FALSE(parseResponse(result, "<?xml version=\"1.0\"?>\n<methodResponse>\n <fault><value><struct>"
                                       "<member><name>faultCode</name><value><int>4</int></value></member>"
                                       "<member><name>faultString</name><value><string>Too many parameters."
                                       "</string></value></member></struct></value></fault></methodResponse>"));
    EXPECT_EQ(result["faultCode"].asInt(), 4);
    EXPECT_EQ(result["faultString"].asString(), "Too many parameters.");
}

TEST(XmlRpcResponse, NestingIsBoundedAt64Levels)
{
    for (const auto &[open, close] : {std::pair<std::string, std::string>{"<value><array><data>", "</data></array></value>"},
                                      {"<value><struct><member><name>m</name>", "</member></struct></value>"}})
    {
        XmlRpcValue result;
        EXPECT_TRUE(parseResponse(result, Response(Nested(open, close, 64, "<value><i4>1</i4></value>")).c_str()));
        EXPECT_EQ(ParseError(Response(Nested(open, close, 65, "<value><i4>1</i4></value>"))), "Bad nesting");
        // Far deeper than any stack would take without the bound.
        EXPECT_EQ(ParseError(Response(Nested(open, close, 20000, ""))), "Bad nesting");
    }
}

TEST(XmlRpcResponse, LongTagsAreCutAndAZeroByteEndsTheText)
{
    const std::string longTag = "<" + std::string(400, 't') + ">";
    EXPECT_EQ(ParseError(Response("<value>" + longTag + "</value>")), "Unknown type tag: " + longTag.substr(0, 127));
    EXPECT_EQ(ParseError("<?xml version=\"1.0\"?>" + longTag), "Expecting tag: <methodResponse>");

    // Everything after the zero byte is never looked at.
    std::string reply = Response("<value><i4>5</i4></value>");
    reply.insert(reply.find("5"), std::string(1, '\0'));
    EXPECT_EQ(ParseError(reply), "Bad double");
    std::string text = Response("<value>ab</value>");
    text[text.find("ab") + 1] = '\0';
    EXPECT_EQ(ParseError(text), "Bad string");
}

TEST(XmlRpcValue, TypedAccessAndItsErrors)
{
    XmlRpcValue v;
    v.assertTypeOrInvalid(XmlRpcValue::TypeStruct);
    EXPECT_EQ(v.getType(), XmlRpcValue::TypeStruct);
    EXPECT_EQ(v.size(), 0);

    const auto message = [](auto &&operation) {
        try
        {
            operation();
        }
        catch (const XmlRpcException &e)
        {
            return e.getMessage();
        }
        return std::string("(no error)");
    };
    XmlRpcValue number(3);
    XmlRpcValue text("abc");
    XmlRpcValue array;
    array.setSize(2);
    EXPECT_EQ(message([&] { number.assertTypeOrInvalid(XmlRpcValue::TypeString); }), "type error");
    EXPECT_EQ(message([&] { (void)number.size(); }), "type error");
    EXPECT_EQ(message([&] { number.setSize(1); }), "type error: expected an array");
    EXPECT_EQ(message([&] { (void)number[0]; }), "type error: expected an array");
    EXPECT_EQ(message([&] { (void)array[2]; }), "range error: array index too large");
    EXPECT_EQ(message([&] { (void)array[-1]; }), "range error: array index too large");
    EXPECT_EQ(message([&] { (void)number["m"]; }), "type error: expected a struct");
    EXPECT_EQ(message([&] { (void)text.asInt(); }), "type error");
    EXPECT_EQ(text.size(), 3);
    EXPECT_EQ(XmlRpcValue(XmlRpcValue::BinaryData(9)).size(), 9);

    // setSize grows but never shrinks; new elements are invalid.
    array.setSize(5);
    EXPECT_EQ(array.size(), 5);
    EXPECT_FALSE(array[4].valid());
    array.setSize(1);
    EXPECT_EQ(array.size(), 5);

    // A missing member is inserted as an invalid value.
    XmlRpcValue s;
    EXPECT_FALSE(s["missing"].valid());
    EXPECT_TRUE(s.hasMember("missing"));
}

TEST(XmlRpcValue, AssignmentKeepsTheSourceType)
{
    XmlRpcValue v;
    v = true;
    EXPECT_EQ(v.getType(), XmlRpcValue::TypeBoolean);
    v = 2.5;
    EXPECT_EQ(v.getType(), XmlRpcValue::TypeDouble);
    v = 7;
    EXPECT_EQ(v.getType(), XmlRpcValue::TypeInt);
    v = std::string("text");
    EXPECT_EQ(v.asString(), "text");
    v = "";
    EXPECT_EQ(v.toXml(), "<value><string/></value>");
}

TEST(XmlRpcValue, CopiesAreDeep)
{
    XmlRpcValue original;
    original["list"].setSize(1);
    original["list"][0] = "text";
    original["bytes"] = XmlRpcValue(XmlRpcValue::BinaryData{1, 2});
    original["time"] = XmlRpcValue(XmlRpcTime{});

    XmlRpcValue copy = original;
    copy["list"][0].asString() += " changed";
    copy["bytes"].asBinary().push_back(3);
    copy["time"].asTime().year = 2012;
    XmlRpcValue assigned;
    assigned = original;
    assigned["list"].setSize(3);

    EXPECT_EQ(original["list"][0].asString(), "text");
    EXPECT_EQ(original["list"].size(), 1);
    EXPECT_EQ(original["bytes"].size(), 2);
    EXPECT_EQ(original["time"].asTime().year, 0);
    EXPECT_EQ(copy["list"][0].asString(), "text changed");
}

TEST(XmlRpcValue, AssignmentFromItselfOrFromWhatItOwns)
{
    // Under AddressSanitizer each of these read freed memory when the target was
    // destroyed before its source was copied.
    XmlRpcValue v;
    v.setSize(2);
    v[0] = "first";
    v[1] = 2;
    const XmlRpcValue &alias = v;
    v = alias;
    EXPECT_EQ(v.size(), 2);
    v = v[0];
    EXPECT_EQ(v.asString(), "first");

    XmlRpcValue fault;
    fault["faultString"] = "Session expired";
    fault["faultCode"] = 3;
    fault = fault["faultString"];
    EXPECT_EQ(fault.asString(), "Session expired");

    XmlRpcValue nested;
    nested.setSize(1);
    nested[0].setSize(1);
    nested[0][0] = 9;
    nested = std::move(nested[0]);
    EXPECT_EQ(nested[0].asInt(), 9);
    nested = std::move(nested);
    EXPECT_EQ(nested[0].asInt(), 9);
}
