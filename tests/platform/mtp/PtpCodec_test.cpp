#include "platform/mtp/PtpCodec.h"

#include <gtest/gtest.h>

using namespace vxmtp;
using Bytes = std::vector<std::uint8_t>;

TEST(PtpCodec, ParamContainerLayout)
{
    const std::uint32_t params[] = {0x11223344, 7};
    EXPECT_EQ(
        EncodeParamContainer(kContainerCommand, 0x9D03, 0x01020304, params),
        (Bytes{0x14, 0, 0, 0, 1, 0, 0x03, 0x9D, 0x04, 0x03, 0x02, 0x01, 0x44, 0x33, 0x22, 0x11, 7, 0, 0, 0}));
    // More than five parameters are cut to five.
    const std::uint32_t six[] = {1, 2, 3, 4, 5, 6};
    const Bytes c = EncodeParamContainer(kContainerResponse, kRespOk, 9, six);
    EXPECT_EQ(c.size(), 32u);
    EXPECT_EQ(DecodeParams(c), (std::vector<std::uint32_t>{1, 2, 3, 4, 5}));
}

TEST(PtpCodec, DataContainerAndHeader)
{
    const Bytes payload = {0xAA, 0xBB, 0xCC};
    const Bytes c = EncodeDataContainer(0x1009, 5, payload);
    EXPECT_EQ(c, (Bytes{15, 0, 0, 0, 2, 0, 0x09, 0x10, 5, 0, 0, 0, 0xAA, 0xBB, 0xCC}));
    ContainerHeader h;
    ASSERT_TRUE(DecodeHeader(c, h));
    EXPECT_EQ(h.length, 15u);
    EXPECT_EQ(h.type, kContainerData);
    EXPECT_EQ(h.code, 0x1009);
    EXPECT_EQ(h.transactionId, 5u);

    EXPECT_FALSE(DecodeHeader(Bytes(11, 0), h)) << "too short";
    EXPECT_FALSE(DecodeHeader(Bytes{11, 0, 0, 0, 3, 0, 1, 0x20, 0, 0, 0, 0}, h)) << "length below the header";
}

TEST(PtpCodec, StringsCountUnitsWithTerminator)
{
    struct Case
    {
        std::u16string text;
        Bytes wire;
    } cases[] = {
        {u"", {0}},
        {u"A", {2, 'A', 0, 0, 0}},
        {u"\u00E9\u6B65", {3, 0xE9, 0, 0x65, 0x6B, 0, 0}},
    };
    for (const Case &c : cases)
    {
        PtpWriter w;
        w.String(c.text);
        EXPECT_EQ(w.Data(), c.wire);
        PtpReader r(c.wire);
        std::u16string back = u"junk";
        EXPECT_TRUE(r.String(back));
        EXPECT_EQ(back, c.text);
        EXPECT_EQ(r.Remaining(), 0u);
    }
}

TEST(PtpCodec, LongStringsAreCutAndOddStringsStillRead)
{
    PtpWriter w;
    w.String(std::u16string(300, u'x'));
    ASSERT_EQ(w.Data().size(), 1u + 255 * 2);
    EXPECT_EQ(w.Data()[0], 255);
    PtpReader r(w.Data());
    std::u16string back;
    ASSERT_TRUE(r.String(back));
    EXPECT_EQ(back, std::u16string(254, u'x'));

    // A device that leaves out the terminator still gives its text.
    const Bytes noTerminator = {2, 'O', 0, 'K', 0};
    PtpReader r2(noTerminator);
    ASSERT_TRUE(r2.String(back));
    EXPECT_EQ(back, u"OK");

    // A count that runs past the data fails and the reader stays failed.
    const Bytes truncated = {4, 'a', 0, 'b'};
    PtpReader r3(truncated);
    EXPECT_FALSE(r3.String(back));
    std::uint8_t b = 0;
    EXPECT_FALSE(r3.U8(b));
    EXPECT_FALSE(r3.Ok());
}

TEST(PtpCodec, Arrays)
{
    PtpWriter w;
    const std::uint16_t ops[] = {0x1001, 0x9D03};
    const std::uint32_t ids[] = {0x00010001};
    w.U16Array(ops);
    w.U32Array(ids);
    w.U32Array({});
    EXPECT_EQ(w.Data(), (Bytes{2, 0, 0, 0, 0x01, 0x10, 0x03, 0x9D, 1, 0, 0, 0, 1, 0, 1, 0, 0, 0, 0, 0}));
    PtpReader r(w.Data());
    std::vector<std::uint16_t> a;
    std::vector<std::uint32_t> b, c = {9};
    EXPECT_TRUE(r.U16Array(a));
    EXPECT_TRUE(r.U32Array(b));
    EXPECT_TRUE(r.U32Array(c));
    EXPECT_EQ(a, (std::vector<std::uint16_t>{0x1001, 0x9D03}));
    EXPECT_EQ(b, (std::vector<std::uint32_t>{0x00010001}));
    EXPECT_TRUE(c.empty());

    // A count far beyond the data is refused without trying to allocate it.
    const Bytes huge = {0xFF, 0xFF, 0xFF, 0x7F, 1, 0, 0, 0};
    PtpReader r2(huge);
    EXPECT_FALSE(r2.U32Array(b));
    EXPECT_EQ(b, (std::vector<std::uint32_t>{0x00010001})) << "output untouched on failure";
}

TEST(PtpCodec, DeviceInfoRoundTripAndFieldOrder)
{
    DeviceInfo in;
    in.standardVersion = 100;
    in.vendorExtensionId = 6;
    in.vendorExtensionVersion = 100;
    in.vendorExtensionDesc = u"ext";
    in.functionalMode = 0;
    in.operationsSupported = {0x1001, 0x9D04};
    in.eventsSupported = {0x4002};
    in.playbackFormats = {0x3000};
    in.manufacturer = u"Maker";
    in.model = u"M1";
    in.deviceVersion = u"2.10";
    in.serialNumber = u"SER42";
    const Bytes wire = EncodeDeviceInfo(in);

    // Fixed head: standard version, extension id, extension version, then the description.
    EXPECT_EQ(Bytes(wire.begin(), wire.begin() + 9), (Bytes{100, 0, 6, 0, 0, 0, 100, 0, 4}));
    // The serial number is the last field.
    const Bytes serialTail = {6, 'S', 0, 'E', 0, 'R', 0, '4', 0, '2', 0, 0, 0};
    EXPECT_EQ(Bytes(wire.end() - static_cast<long>(serialTail.size()), wire.end()), serialTail);

    DeviceInfo out;
    ASSERT_TRUE(DecodeDeviceInfo(wire, out));
    EXPECT_EQ(out.vendorExtensionDesc, u"ext");
    EXPECT_EQ(out.operationsSupported, in.operationsSupported);
    EXPECT_EQ(out.eventsSupported, in.eventsSupported);
    EXPECT_EQ(out.playbackFormats, in.playbackFormats);
    EXPECT_EQ(out.manufacturer, u"Maker");
    EXPECT_EQ(out.model, u"M1");
    EXPECT_EQ(out.deviceVersion, u"2.10");
    EXPECT_EQ(out.serialNumber, u"SER42");

    EXPECT_FALSE(DecodeDeviceInfo(Bytes(wire.begin(), wire.end() - 1), out)) << "truncated";
}

TEST(PtpCodec, StorageInfoRoundTrip)
{
    StorageInfo in;
    in.storageType = 3;
    in.filesystemType = 2;
    in.accessCapability = 0;
    in.maxCapacity = 0x0000000100000002ull;
    in.freeSpaceInBytes = 12345;
    in.freeSpaceInObjects = 0xFFFFFFFF;
    in.storageDescription = u"Internal";
    in.volumeLabel = u"VOL";
    const Bytes wire = EncodeStorageInfo(in);
    EXPECT_EQ(Bytes(wire.begin(), wire.begin() + 14), (Bytes{3, 0, 2, 0, 0, 0, 2, 0, 0, 0, 1, 0, 0, 0}));
    StorageInfo out;
    ASSERT_TRUE(DecodeStorageInfo(wire, out));
    EXPECT_EQ(out.maxCapacity, in.maxCapacity);
    EXPECT_EQ(out.freeSpaceInBytes, 12345u);
    EXPECT_EQ(out.freeSpaceInObjects, 0xFFFFFFFFu);
    EXPECT_EQ(out.storageDescription, u"Internal");
    EXPECT_EQ(out.volumeLabel, u"VOL");
}

TEST(PtpCodec, ObjectInfoLayoutAndOptionalTail)
{
    ObjectInfo in;
    in.storageId = 0x00010001;
    in.objectFormat = kFormatAssociation;
    in.objectCompressedSize = 208;
    in.parentObject = 0x42;
    in.associationType = kAssociationGenericFolder;
    in.filename = u"FR.DAT";
    in.dateModified = u"20101231T235930";
    const Bytes wire = EncodeObjectInfo(in);
    // 52 bytes of fixed fields, then the file name.
    ASSERT_GT(wire.size(), 53u);
    EXPECT_EQ(Bytes(wire.begin(), wire.begin() + 12), (Bytes{1, 0, 1, 0, 0x01, 0x30, 0, 0, 208, 0, 0, 0}));
    EXPECT_EQ(Bytes(wire.begin() + 38, wire.begin() + 44), (Bytes{0x42, 0, 0, 0, 1, 0}));
    EXPECT_EQ(wire[52], 7) << "file name count";

    ObjectInfo out;
    ASSERT_TRUE(DecodeObjectInfo(wire, out));
    EXPECT_EQ(out.storageId, in.storageId);
    EXPECT_EQ(out.objectFormat, kFormatAssociation);
    EXPECT_EQ(out.objectCompressedSize, 208u);
    EXPECT_EQ(out.parentObject, 0x42u);
    EXPECT_EQ(out.associationType, kAssociationGenericFolder);
    EXPECT_EQ(out.filename, u"FR.DAT");
    EXPECT_EQ(out.dateModified, u"20101231T235930");

    // A responder that stops after the file name is still understood.
    const Bytes shortForm(wire.begin(), wire.begin() + 53 + 7 * 2);
    ASSERT_TRUE(DecodeObjectInfo(shortForm, out));
    EXPECT_EQ(out.filename, u"FR.DAT");
    EXPECT_TRUE(out.dateModified.empty());
    // One that stops inside the fixed fields is not.
    EXPECT_FALSE(DecodeObjectInfo(Bytes(wire.begin(), wire.begin() + 40), out));
}
