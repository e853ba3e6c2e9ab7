#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// The PTP/MTP wire format: containers and the datasets the initiator reads and
// writes. Everything on the wire is little-endian.
namespace vxmtp
{
// Container types.
constexpr std::uint16_t kContainerCommand = 1;
constexpr std::uint16_t kContainerData = 2;
constexpr std::uint16_t kContainerResponse = 3;
constexpr std::uint16_t kContainerEvent = 4;

constexpr std::size_t kContainerHeaderSize = 12;
constexpr std::size_t kMaxParams = 5;

// Operation codes.
constexpr std::uint16_t kOpGetDeviceInfo = 0x1001;
constexpr std::uint16_t kOpOpenSession = 0x1002;
constexpr std::uint16_t kOpCloseSession = 0x1003;
constexpr std::uint16_t kOpGetStorageIds = 0x1004;
constexpr std::uint16_t kOpGetStorageInfo = 0x1005;
constexpr std::uint16_t kOpGetObjectHandles = 0x1007;
constexpr std::uint16_t kOpGetObjectInfo = 0x1008;
constexpr std::uint16_t kOpGetObject = 0x1009;
constexpr std::uint16_t kOpDeleteObject = 0x100B;
constexpr std::uint16_t kOpSendObjectInfo = 0x100C;
constexpr std::uint16_t kOpSendObject = 0x100D;
constexpr std::uint16_t kOpGetObjectPropDesc = 0x9802;
constexpr std::uint16_t kOpGetObjectPropValue = 0x9803;
constexpr std::uint16_t kOpSetObjectPropValue = 0x9804;

// Response codes.
constexpr std::uint16_t kRespOk = 0x2001;
constexpr std::uint16_t kRespGeneralError = 0x2002;
constexpr std::uint16_t kRespSessionNotOpen = 0x2003;
constexpr std::uint16_t kRespInvalidTransactionId = 0x2004;
constexpr std::uint16_t kRespOperationNotSupported = 0x2005;
constexpr std::uint16_t kRespParameterNotSupported = 0x2006;
constexpr std::uint16_t kRespIncompleteTransfer = 0x2007;
constexpr std::uint16_t kRespInvalidStorageId = 0x2008;
constexpr std::uint16_t kRespInvalidObjectHandle = 0x2009;
constexpr std::uint16_t kRespStoreFull = 0x200C;
constexpr std::uint16_t kRespAccessDenied = 0x200F;
constexpr std::uint16_t kRespNoValidObjectInfo = 0x2015;
constexpr std::uint16_t kRespDeviceBusy = 0x2019;
constexpr std::uint16_t kRespInvalidParentObject = 0x201A;
constexpr std::uint16_t kRespInvalidParameter = 0x201D;
constexpr std::uint16_t kRespSessionAlreadyOpen = 0x201E;
constexpr std::uint16_t kRespTransactionCancelled = 0x201F;
constexpr std::uint16_t kRespObjectPropNotSupported = 0xA80A;

// Object formats, association type and the one object property we use.
constexpr std::uint16_t kFormatUndefined = 0x3000;
constexpr std::uint16_t kFormatAssociation = 0x3001;
constexpr std::uint16_t kAssociationGenericFolder = 0x0001;
constexpr std::uint16_t kPropObjectFileName = 0xDC07;
constexpr std::uint16_t kPropHidden = 0xDC0D;

// Object handle and storage id wildcards.
constexpr std::uint32_t kHandleRoot = 0xFFFFFFFF;
constexpr std::uint32_t kStorageAll = 0xFFFFFFFF;

struct ContainerHeader
{
    std::uint32_t length = 0;
    std::uint16_t type = 0;
    std::uint16_t code = 0;
    std::uint32_t transactionId = 0;
};

// A command or response container: the header and up to five parameters.
std::vector<std::uint8_t> EncodeParamContainer(std::uint16_t type, std::uint16_t code,
                                               std::uint32_t transactionId,
                                               std::span<const std::uint32_t> params);
// A data container: the header and the payload.
std::vector<std::uint8_t> EncodeDataContainer(std::uint16_t code, std::uint32_t transactionId,
                                              std::span<const std::uint8_t> payload);
// Reads the 12-byte header; false when fewer bytes are given or the length is below 12.
bool DecodeHeader(std::span<const std::uint8_t> bytes, ContainerHeader &header);
// The parameters of a complete command or response container (at most five; trailing bytes that do
// not make a whole parameter are ignored).
std::vector<std::uint32_t> DecodeParams(std::span<const std::uint8_t> container);

// Little-endian builder of datasets.
class PtpWriter
{
  public:
    void U8(std::uint8_t v);
    void U16(std::uint16_t v);
    void U32(std::uint32_t v);
    void U64(std::uint64_t v);
    // A PTP string: a count byte of UTF-16 units including the terminator (0 for an empty text),
    // then the units. A text longer than 254 units is cut to 254.
    void String(std::u16string_view text);
    void U16Array(std::span<const std::uint16_t> values);
    void U32Array(std::span<const std::uint32_t> values);
    void Bytes(std::span<const std::uint8_t> bytes);

    const std::vector<std::uint8_t> &Data() const { return m_data; }
    std::vector<std::uint8_t> Take() { return std::move(m_data); }

  private:
    std::vector<std::uint8_t> m_data;
};

// Little-endian reader of datasets. Each read returns false (and leaves the reader failed) when
// the data runs out; the reader never reads past its span.
class PtpReader
{
  public:
    explicit PtpReader(std::span<const std::uint8_t> data) : m_data(data) {}

    bool U8(std::uint8_t &v);
    bool U16(std::uint16_t &v);
    bool U32(std::uint32_t &v);
    bool U64(std::uint64_t &v);
    bool String(std::u16string &text);
    bool U16Array(std::vector<std::uint16_t> &values);
    bool U32Array(std::vector<std::uint32_t> &values);

    bool Ok() const { return m_ok; }
    std::size_t Remaining() const { return m_data.size() - m_pos; }

  private:
    bool Take(std::size_t n, const std::uint8_t *&p);
    // A 32-bit count, then that many elements, each read with element.
    template <typename T> bool Array(std::vector<T> &values, bool (PtpReader::*element)(T &));

    std::span<const std::uint8_t> m_data;
    std::size_t m_pos = 0;
    bool m_ok = true;
};

struct DeviceInfo
{
    std::uint16_t standardVersion = 100;
    std::uint32_t vendorExtensionId = 6; // the MTP extension
    std::uint16_t vendorExtensionVersion = 100;
    std::u16string vendorExtensionDesc;
    std::uint16_t functionalMode = 0;
    std::vector<std::uint16_t> operationsSupported;
    std::vector<std::uint16_t> eventsSupported;
    std::vector<std::uint16_t> devicePropertiesSupported;
    std::vector<std::uint16_t> captureFormats;
    std::vector<std::uint16_t> playbackFormats;
    std::u16string manufacturer;
    std::u16string model;
    std::u16string deviceVersion;
    std::u16string serialNumber;
};

struct StorageInfo
{
    std::uint16_t storageType = 0;
    std::uint16_t filesystemType = 0;
    std::uint16_t accessCapability = 0;
    std::uint64_t maxCapacity = 0;
    std::uint64_t freeSpaceInBytes = 0;
    std::uint32_t freeSpaceInObjects = 0;
    std::u16string storageDescription;
    std::u16string volumeLabel;
};

struct ObjectInfo
{
    std::uint32_t storageId = 0;
    std::uint16_t objectFormat = kFormatUndefined;
    std::uint16_t protectionStatus = 0;
    std::uint32_t objectCompressedSize = 0;
    std::uint16_t thumbFormat = 0;
    std::uint32_t thumbCompressedSize = 0;
    std::uint32_t thumbPixWidth = 0;
    std::uint32_t thumbPixHeight = 0;
    std::uint32_t imagePixWidth = 0;
    std::uint32_t imagePixHeight = 0;
    std::uint32_t imageBitDepth = 0;
    std::uint32_t parentObject = 0;
    std::uint16_t associationType = 0;
    std::uint32_t associationDesc = 0;
    std::uint32_t sequenceNumber = 0;
    std::u16string filename;
    std::u16string dateCreated;
    std::u16string dateModified;
    std::u16string keywords;
};

std::vector<std::uint8_t> EncodeDeviceInfo(const DeviceInfo &info);
bool DecodeDeviceInfo(std::span<const std::uint8_t> data, DeviceInfo &info);
std::vector<std::uint8_t> EncodeStorageInfo(const StorageInfo &info);
bool DecodeStorageInfo(std::span<const std::uint8_t> data, StorageInfo &info);
std::vector<std::uint8_t> EncodeObjectInfo(const ObjectInfo &info);
bool DecodeObjectInfo(std::span<const std::uint8_t> data, ObjectInfo &info);

// The head of an ObjectPropDesc dataset: the property it describes and whether its value may be set.
struct ObjectPropDesc
{
    std::uint16_t propertyCode = 0;
    std::uint16_t dataType = 0;
    bool settable = false; // GetSet 1; 0 is get only, anything else is not trusted to mean "set"
};
std::vector<std::uint8_t> EncodeObjectPropDesc(const ObjectPropDesc &desc);
bool DecodeObjectPropDesc(std::span<const std::uint8_t> data, ObjectPropDesc &desc);

// The answer to the still-image class request Get Device Status: a length, a response code and the
// addresses of the endpoints the device has halted.
struct DeviceStatus
{
    std::uint16_t code = 0;
    std::vector<std::uint8_t> haltedEndpoints;
};
std::vector<std::uint8_t> EncodeDeviceStatus(const DeviceStatus &status);
// False when fewer than four bytes came or the length field is below four or beyond what came;
// parameters are 32-bit, and only whole ones inside the length count (at most eight are taken).
bool DecodeDeviceStatus(std::span<const std::uint8_t> data, DeviceStatus &status);
} // namespace vxmtp
