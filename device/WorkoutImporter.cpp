#include "device/WorkoutImporter.h"

#include "device/DeviceMutex.h"
#include "device/SupportedDevices.h"
#include "device/WmdmTransfer.h"
#include "device/WorkoutFileAccess.h"
#include "device/WorkoutHeader.h"
#include "platform/dev/Storage.h"
#include "platform/sys/Files.h"
#include "store/DateTime.h"
#include "store/KvtDatabase.h"
#include "store/RunRecord.h"

#include <algorithm>
#include <new>
#include <vector>

// The validation's results are handed on as the import's own.
static_assert(kWorkoutValid == kImportDone && kWorkoutMalformed == kImportMalformed &&
              kWorkoutDatesRejected == kImportDatesRejected && kWorkoutStoreFailed == kImportStoreFailed);

namespace
{
constexpr uint8_t kWeightUnitPounds = 6;

// "X:\FR.DAT" in the drive's root when it is there, else "X:\workout\FR.DAT".
std::string DriveWorkoutPath(char letter)
{
    std::u16string root = u"X:\\FR.DAT";
    root[0] = static_cast<char16_t>(static_cast<unsigned char>(letter));
    const std::string inRoot = vxdev::TranslateDrivePath(root);
    if (vxsys::IsRegularFile(inRoot))
        return inRoot;
    std::u16string folder = u"X:\\workout\\FR.DAT";
    folder[0] = root[0];
    return vxdev::TranslateDrivePath(folder);
}

// A record's day past its month's end counts on into the next month, as the validation took it.
DateParts CarriedOverDate(const WorkoutRecord &record)
{
    const DateParts asRecorded{record.day, record.month, record.year};
    const DateParts first{1, record.month, record.year};
    int64_t ticks = 0;
    if (record.day < 1 || !vxtime::LocalDateToFileTime(&first, &ticks))
        return asRecorded;
    DateParts carried{};
    vxtime::FileTimeToDate(ticks + static_cast<int64_t>(record.day - 1) * vxtime::kTicksPerDay, &carried);
    return carried;
}

RunRecord RunFromRecord(const WorkoutRecord &record)
{
    RunRecord run{};
    run.date = CarriedOverDate(record);
    run.time = TimeParts{record.hour, record.minute, record.second};
    run.duration = record.duration;
    run.walkSteps = record.walkingSteps;
    run.runSteps = record.runningSteps;
    run.runDistance = record.runningDistance;
    run.walkDistance = record.walkingDistance;
    run.calories = record.calories;
    run.temperature = 0;
    run.heartRateBefore = record.heartRateBefore;
    run.heartRateAfter = record.heartRateAfter;
    return run;
}

bool SameIds(const char *vendor, const char *product, const SupportedDeviceEntry &entry)
{
    return HexToU16(vendor) == HexToU16(entry.szVendorId) && HexToU16(product) == HexToU16(entry.szProductId);
}

class Import
{
  public:
    explicit Import(WorkoutImportContext &context) : m_c(context), m_db(*context.database) {}
    ~Import();
    Import(const Import &) = delete;
    Import &operator=(const Import &) = delete;

    // Runs the import; an allocation failure part-way ends it like a failed step.
    int Run();

  private:
    int Steps();
    bool FileBased() const
    {
        return m_c.deviceType == DeviceType::Mtp || m_c.deviceType == DeviceType::MassStorage;
    }
    int Fetch();
    int FetchFile();
    int FetchHid();
    void RefreshLanguages();
    int StoreRuns();
    std::vector<uint8_t> WriteBackImage() const;
    // Puts bytes where the monitor keeps its file (for HID: the header block). Over MTP the emptied
    // file replaces exactly the object that was read; the original goes back into the same folder
    // whatever became of that object.
    enum class Sending
    {
        Emptied,
        Original,
    };
    bool Send(const std::vector<uint8_t> &bytes, Sending what);
    // Reads the monitor's file afresh from the device and compares it with the one this import
    // started from.
    bool HoldsOriginal();
    int WriteBackFailed();
    void Finish();

    WorkoutImportContext &m_c;
    KvtDatabase &m_db;
    std::vector<uint8_t> m_image;
    std::vector<uint8_t> m_original;
    std::string m_path;          // the drive's file, or the local copy of an MTP monitor's file
    WmdmFileLocation m_readFrom; // MTP: the object the file was read from
    WorkoutFileAccess m_file;
    bool m_opened = false;
    bool m_runsAdded = false;
    int64_t m_lastRunId = -1;
    bool m_writeBackBegun = false;
    // MTP: the emptied file never reached the monitor (it was gone, or its file is no longer the
    // object that was read).
    bool m_emptiedNeverSent = false;
};

Import::~Import()
{
    Finish();
}

int Import::Run()
{
    try
    {
        return Steps();
    }
    catch (const std::bad_alloc &)
    {
        // Nothing was committed unless the write-back had begun; then the monitor's file is uncertain
        // and the stored runs stay.
        return m_writeBackBegun ? kImportWriteBackFailed : kImportMalformed;
    }
}

int Import::Steps()
{
    // Only the weight unit of the user's record is used: it decides the unit bit of the header.
    constexpr uint32_t kNameSize = 128;
    char16_t first[kNameSize]{}, last[kNameSize]{};
    uint8_t gender = 0, age = 0, heightUnit = 0, weight = 0, weightUnit = 0;
    uint16_t height = 0;
    DateParts birth{};
    const bool haveUser = m_db.GetUser(first, kNameSize, last, kNameSize, &gender, &birth, &age, &height,
                                       &heightUnit, &weight, &weightUnit) != 0;

    int result = Fetch();
    if (result != kImportDone)
        return result;
    m_original = m_image;

    m_c.validation.extendedHeader = m_c.extendedHeader;
    m_c.validation.readLastRun = [db = &m_db](DateParts *date, TimeParts *time) {
        return db->GetLastRunTime(date, time);
    };
    result = ValidateWorkoutFile(m_c.validation, m_image.data(), m_image.size());
    if (result != kWorkoutValid)
        return result; // the file stays on the monitor untouched; Finish ends the transaction

    if (m_c.extendedHeader)
        TakeWorkoutHeaderSettings(m_image, m_c.profile, m_c.settings, m_c.firmware);
    if (haveUser)
        m_c.profile.metric = weightUnit != kWeightUnitPounds ? 1 : 0;
    PatchWorkoutHeader(m_image, m_c.extendedHeader, m_c.owner, m_c.profile, m_c.settings, m_c.firmware);

    result = StoreRuns();
    if (result != kImportDone)
        return result;

    // The runs are stored for good before the monitor's records are erased.
    if (m_runsAdded)
    {
        if (!m_db.Commit())
            return kImportStoreFailed; // the monitor's file was not touched
    }
    else
    {
        m_db.Rollback(); // nothing was written
    }

    m_writeBackBegun = true;
    if (!Send(WriteBackImage(), Sending::Emptied))
        return WriteBackFailed();
    return kImportDone;
}

int Import::Fetch()
{
    if (FileBased())
        return FetchFile();
    return FetchHid();
}

int Import::FetchFile()
{
    if (m_c.deviceType == DeviceType::Mtp)
    {
        // Without a data folder the copy would land in whatever folder the program was started from.
        if (m_c.dataFolder.empty())
            return kImportReadFailed;
        m_path = WorkoutLocalCopyPath(m_c.dataFolder);
        vxsys::DeleteFile(m_path);
        m_opened = true; // from here on the local copy is removed at the end
        if (!WmdmReadFile(m_c.usbIds.VendorId(), m_c.usbIds.ProductId(), m_path, kWorkoutDeviceFileName,
                          &m_readFrom))
            return kImportReadFailed;
    }
    else
    {
        m_path = DriveWorkoutPath(m_c.driveLetter);
    }
    if (!m_file.Open(m_path))
        return kImportReadFailed;
    m_opened = true;
    try
    {
        switch (m_file.ReadAll(m_image, kWorkoutFileMaxLength))
        {
        case WorkoutFileAccess::ReadResult::Ok:
            return kImportDone;
        case WorkoutFileAccess::ReadResult::TooLong:
            // No monitor writes a file this long; the validation would reject it as malformed.
            return kImportMalformed;
        case WorkoutFileAccess::ReadResult::Failed:
            break;
        }
    }
    catch (const std::bad_alloc &)
    {
    }
    return kImportReadFailed;
}

int Import::FetchHid()
{
    if (!m_c.hidSession)
        return kImportNoDevice;
    std::size_t length = 0;
    if (!m_c.hidSession->ReadRecordBlock(m_image, length))
        return m_c.hidSession->GetState() == DeviceCommandSession::kBusy ? kImportNoDevice
                                                                         : kImportReadFailed;
    m_image.resize(length);
    RefreshLanguages();
    return kImportDone;
}

void Import::RefreshLanguages()
{
    char vendor[5]{}, product[5]{};
    if (m_c.hidSession->GetIds(vendor, product) && SameIds(vendor, product, kSupportedDevices[kHidEntry]) &&
        FirmwareListsLanguages(m_c.firmware))
    {
        DeviceLanguageList list;
        uint16_t state = 0;
        if (m_c.hidSession->ReadLanguageList(state, list) && list.count > 0)
        {
            m_c.languages = std::move(list);
            return;
        }
    }
    // English and Mandarin Chinese: what every monitor speaks.
    m_c.languages.codes = {0, 1};
    m_c.languages.count = 2;
}

int Import::StoreRuns()
{
    if (!m_db.GetLastRunId(&m_lastRunId))
        return kImportStoreFailed;
    const std::size_t header = WorkoutHeaderLength(m_c.extendedHeader);
    for (int i = 0; i < m_c.validation.recordCount; ++i)
    {
        WorkoutRecord record{};
        const std::size_t at = header + kWorkoutRecordSize * static_cast<std::size_t>(i);
        if (at + kWorkoutRecordSize > m_image.size() ||
            !ReadWorkoutRecord(std::span<const uint8_t>(m_image).subspan(at, kWorkoutRecordSize), &record))
            return kImportStoreFailed;
        const RunRecord run = RunFromRecord(record);
        if (!m_db.AddRun(&run))
            return kImportStoreFailed; // Finish rolls back what was added
        m_runsAdded = true;
    }
    return kImportDone;
}

// The header with the record count and the reserved byte cleared. A file-based monitor gets its whole
// file back at its length (the records stay as bytes behind the count of 0) with the check byte over
// all of it; the HID monitor takes the header block alone.
std::vector<uint8_t> Import::WriteBackImage() const
{
    std::vector<uint8_t> out = m_image;
    if (!FileBased())
        out.resize(DeviceCommandSession::kRecordBlockWriteLength, 0);
    out[WorkoutHeaderOffset::Reserved] = 0;
    out[WorkoutHeaderOffset::RecordCount] = 0;
    out[WorkoutHeaderOffset::CheckByte] = WorkoutChecksum(out.data() + 1, out.size() - 1);
    return out;
}

bool Import::Send(const std::vector<uint8_t> &bytes, Sending what)
{
    switch (m_c.deviceType)
    {
    case DeviceType::MassStorage: {
        if (m_file.IsOpen())
        {
            const bool written = m_file.WriteAll(bytes);
            return m_file.Close() && written;
        }
        return WriteWorkoutFileAt(m_path, bytes);
    }
    case DeviceType::Mtp: {
        bool local = false;
        if (m_file.IsOpen())
        {
            const bool written = m_file.WriteAll(bytes);
            local = m_file.Close() && written;
        }
        else
        {
            WorkoutFileAccess copy;
            local = copy.Create(m_path) && copy.WriteAll(bytes);
            local = copy.Close() && local;
        }
        const WmdmWriteOutcome outcome =
            local ? WmdmWriteFileAt(m_c.usbIds.VendorId(), m_c.usbIds.ProductId(), m_readFrom,
                                    what == Sending::Emptied ? WmdmReplace::ThatObject : WmdmReplace::ByName,
                                    kWorkoutDeviceFileName, m_path)
                  : WmdmWriteOutcome::Untouched;
        if (what == Sending::Emptied && outcome == WmdmWriteOutcome::Untouched)
            m_emptiedNeverSent = true;
        return outcome == WmdmWriteOutcome::Written;
    }
    default: {
        // The monitor takes the header block; a longer image is its header block and records.
        const std::size_t length = std::min(bytes.size(), DeviceCommandSession::kRecordBlockWriteLength);
        return m_c.hidSession && m_c.hidSession->WriteRecordBlock(bytes.data(), length);
    }
    }
}

bool Import::HoldsOriginal()
{
    std::vector<uint8_t> now;
    switch (m_c.deviceType)
    {
    case DeviceType::MassStorage:
        // Past the system's cache: the bytes just written are in memory whether or not the drive took them.
        return ReadWorkoutFileFromDevice(m_path, now, kWorkoutFileMaxLength) && now == m_original;
    case DeviceType::Mtp: {
        // The object the original was just put back as, in the folder it was read from.
        const bool read = WmdmReadFileAt(m_c.usbIds.VendorId(), m_c.usbIds.ProductId(), m_readFrom, m_path) &&
                          ReadWorkoutFileAt(m_path, now, kWorkoutFileMaxLength);
        vxsys::DeleteFile(m_path);
        return read && now == m_original;
    }
    default: {
        std::size_t length = 0;
        return m_c.hidSession && m_c.hidSession->ReadRecordBlock(now, length) && now == m_original;
    }
    }
}

// The monitor may hold part of the new file. Its own file goes back (for HID its original header
// block, whose record count makes the records count again), and the runs come out of the store only
// once the monitor is known to hold every record again: the restore went through whole (written,
// flushed, closed) and a fresh read from the device gives the original. Anything less keeps the runs:
// a record stored twice can be deleted, one lost from both places cannot be brought back.
int Import::WriteBackFailed()
{
    m_file.Close();
    // Nothing was changed on the monitor: whatever file it holds now stays, and so do the runs. Putting
    // the original back would overwrite a file this import never read.
    if (m_emptiedNeverSent)
        return kImportWriteBackFailed;
    const bool restored = Send(m_original, Sending::Original);
    if (m_runsAdded && restored && HoldsOriginal())
        m_db.DeleteRunsAbove(m_lastRunId);
    return kImportWriteBackFailed;
}

void Import::Finish()
{
    m_file.Close();
    if (m_opened && m_c.deviceType == DeviceType::MassStorage)
        vxdev::SetHiddenAttribute(m_path, true);
    if (m_opened && m_c.deviceType == DeviceType::Mtp)
        vxsys::DeleteFile(m_path);
    // Whatever ended the import, the transaction the validation opened ends with it; an import that did
    // not commit stores nothing.
    if (m_db.InTransaction())
        m_db.Rollback();
}
} // namespace

bool FirmwareListsLanguages(const FirmwareVersion &firmware)
{
    if (firmware.major != 2)
        return firmware.major > 2;
    if (firmware.minor != 2)
        return firmware.minor > 2;
    return firmware.build >= 7;
}

int ImportWorkouts(WorkoutImportContext &context)
{
    if (!context.deviceFound)
        return kImportNoDevice;
    if (!context.loggedIn || !context.database || !context.database->IsLoggedIn())
        return kImportMalformed;

    DeviceLock lock(DeviceMutex());
    Import import(context);
    return import.Run();
}
