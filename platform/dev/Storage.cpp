#include "platform/dev/Storage.h"

#include "platform/dev/DevRoots.h"
#include "platform/dev/Sysfs.h"
#include "platform/sys/TextConvert.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <linux/magic.h>
#include <linux/msdos_fs.h>
#include <map>
#include <mutex>
#include <sstream>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

// Gives letters to the mounted volumes: `blocks` holds major and minor of each, in device-number
// order, `letters` receives each one's letter (0 for none). A volume keeps the letter it was given
// while it stays mounted; a volume no longer listed frees its letter; a new one takes the lowest
// free letter, so one mounted later can never take the letter of another. Null roots forget every
// letter.
extern "C" __attribute__((visibility("default"))) void vxdev_KeepDriveLetters(const char *roots,
                                                                              const unsigned *blocks,
                                                                              std::size_t count, char *letters);

namespace vxdev
{
namespace
{
constexpr long kScsiTypeCdRom = 5;

bool ParseDevNumbers(const std::string &text, unsigned &major, unsigned &minor)
{
    char tail = 0;
    return std::sscanf(text.c_str(), "%u:%u%c", &major, &minor, &tail) == 2;
}

// The canonical sysfs directory of block device major:minor; nothing for a device that is
// not there or that is virtual (loop, device-mapper, RAM disks): those are no drives.
std::optional<std::string> BlockDir(unsigned major, unsigned minor)
{
    const auto dir =
        Canonical(SysfsRoot() + "/dev/block/" + std::to_string(major) + ":" + std::to_string(minor));
    if (!dir)
        return std::nullopt;
    return dir;
}

bool IsVirtualBlockDir(const std::string &dir)
{
    return RelativeToSysfs(dir).compare(0, 16, "devices/virtual/") == 0;
}

// The whole disk of a block directory: its parent for a partition, itself otherwise.
std::string WholeDiskDir(const std::string &blockDir)
{
    return HasEntry(blockDir, "partition") ? DirName(blockDir) : blockDir;
}

bool IsCdRom(const std::string &wholeDiskDir)
{
    return ReadDecAttr(wholeDiskDir + "/device", "type").value_or(-1) == kScsiTypeCdRom;
}

// Decodes the octal escapes ("\040" for a blank) the kernel writes into mountinfo fields.
std::string DecodeMountField(const std::string &field)
{
    std::string out;
    out.reserve(field.size());
    for (std::size_t i = 0; i < field.size(); ++i)
    {
        const auto isOctal = [](char c) { return c >= '0' && c <= '7'; };
        if (field[i] == '\\' && i + 3 < field.size() && isOctal(field[i + 1]) && isOctal(field[i + 2]) &&
            isOctal(field[i + 3]))
        {
            const int value = (field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0');
            if (value <= 0xFF)
            {
                out.push_back(static_cast<char>(value));
                i += 3;
                continue;
            }
        }
        out.push_back(field[i]);
    }
    return out;
}

struct MountLine
{
    unsigned major = 0;
    unsigned minor = 0;
    std::string root;
    std::string mountPoint;
    std::string fsType;
};

std::vector<MountLine> ReadMountInfo()
{
    std::ifstream in(ProcRoot() + "/self/mountinfo", std::ios::binary);
    std::vector<MountLine> lines;
    std::string line;
    while (std::getline(in, line))
    {
        std::istringstream fields(line);
        std::string id, parent, numbers, root, mountPoint, options, word;
        if (!(fields >> id >> parent >> numbers >> root >> mountPoint >> options))
            continue;
        // Optional fields run up to the lone "-"; the file system type follows it.
        bool separator = false;
        while (fields >> word)
        {
            if (word == "-")
            {
                separator = true;
                break;
            }
        }
        std::string fsType;
        if (!separator || !(fields >> fsType))
            continue;
        MountLine entry;
        if (!ParseDevNumbers(numbers, entry.major, entry.minor))
            continue;
        entry.root = DecodeMountField(root);
        entry.mountPoint = DecodeMountField(mountPoint);
        entry.fsType = DecodeMountField(fsType);
        // No path holds a zero byte (the kernel never writes one, raw or as "\000"); cut at it, the
        // mount point would name another folder.
        if (entry.root.find('\0') != std::string::npos || entry.mountPoint.find('\0') != std::string::npos)
            continue;
        lines.push_back(std::move(entry));
    }
    return lines;
}

bool SameNameIgnoringCase(const std::string &a, const std::string &b)
{
    return a.size() == b.size() && ToLowerAscii(a) == ToLowerAscii(b);
}

bool ExistsNoFollow(const std::string &path)
{
    struct stat st
    {
    };
    return lstat(path.c_str(), &st) == 0;
}

bool IsSymlink(const std::string &path)
{
    struct stat st
    {
    };
    return lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

std::string JoinPath(const std::string &dir, const std::string &name)
{
    return (!dir.empty() && dir.back() == '/') ? dir + name : dir + "/" + name;
}

// True when path is folder or lies below it.
bool IsAtOrBelow(const std::string &path, const std::string &folder)
{
    if (folder == "/" || path == folder)
        return true;
    return path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 &&
           path[folder.size()] == '/';
}

// A mount another one hides: its mount point leads to the other file system's files, so a
// letter for it would show (and write back into) the wrong volume.
bool IsCovered(const std::vector<MountLine> &lines, std::size_t index)
{
    const MountLine &line = lines[index];
    // Mounts on one path stack up; the last one listed lies on top.
    for (std::size_t later = index + 1; later < lines.size(); ++later)
    {
        if (lines[later].mountPoint == line.mountPoint)
            return true;
    }
    // What the path shows: a device other than the line's that is mounted on the path or a
    // folder above it covers the line (a mount over a parent folder, or one moved there). A path
    // that shows a device of no mount at all, or that cannot be reached, tells nothing.
    struct stat st
    {
    };
    if (stat(line.mountPoint.c_str(), &st) != 0)
        return false;
    const unsigned shownMajor = major(st.st_dev);
    const unsigned shownMinor = minor(st.st_dev);
    if (shownMajor == line.major && shownMinor == line.minor)
        return false;
    for (std::size_t other = 0; other < lines.size(); ++other)
    {
        if (other != index && lines[other].major == shownMajor && lines[other].minor == shownMinor &&
            IsAtOrBelow(line.mountPoint, lines[other].mountPoint))
            return true;
    }
    return false;
}

constexpr std::size_t kLetterCount = 'Z' - 'C' + 1;

// The letters given so far, for the life of the process. The roots they were given under are
// kept with them: other roots are another machine's view, whose volumes start afresh.
struct LetterMemory
{
    std::mutex mutex;
    std::string roots;
    std::map<std::pair<unsigned, unsigned>, char> letters; // block device -> letter
};

LetterMemory &Memory()
{
    static LetterMemory memory;
    return memory;
}

using KeepLettersFn = void (*)(const char *, const unsigned *, std::size_t, char *);

// The process's one keeper of letters. The program and the Ulvex library it loads each hold a
// copy of this code; the program's copy is exported under its C name, and every copy uses the
// one it finds there, so that a letter the library hands out names the same volume when the
// program uses it. Without one exported (the library in another host), a copy keeps its own.
KeepLettersFn LetterKeeper()
{
    static const KeepLettersFn keeper = [] {
        void *shared = ::dlsym(RTLD_DEFAULT, "vxdev_KeepDriveLetters");
        return shared ? reinterpret_cast<KeepLettersFn>(shared) : &vxdev_KeepDriveLetters;
    }();
    return keeper;
}
} // namespace

std::optional<StorageDeviceNumber> StorageNumberOfBlock(unsigned major, unsigned minor)
{
    const auto dir = BlockDir(major, minor);
    if (!dir)
        return std::nullopt;
    const std::string whole = WholeDiskDir(*dir);
    unsigned wholeMajor = 0;
    unsigned wholeMinor = 0;
    if (!ParseDevNumbers(ReadAttr(whole, "dev").value_or(""), wholeMajor, wholeMinor))
        return std::nullopt;
    StorageDeviceNumber number;
    number.deviceType = IsCdRom(whole) ? kStorageTypeCdRom : kStorageTypeDisk;
    number.deviceNumber = ((wholeMajor & 0xFFFu) << 20) | (wholeMinor & 0xFFFFFu);
    number.partitionNumber =
        whole == *dir ? 0u : static_cast<unsigned>(ReadDecAttr(*dir, "partition").value_or(0));
    return number;
}

std::optional<StorageDeviceNumber> StorageNumberOfNode(const std::string &nodePath)
{
    struct stat st
    {
    };
    if (stat(nodePath.c_str(), &st) != 0)
        return std::nullopt;
    if (S_ISBLK(st.st_mode))
        return StorageNumberOfBlock(major(st.st_rdev), minor(st.st_rdev));
    unsigned maj = 0;
    unsigned min = 0;
    const auto dev = ReadAttr(SysfsRoot() + "/class/block/" + BaseName(nodePath), "dev");
    if (!dev || !ParseDevNumbers(*dev, maj, min))
        return std::nullopt;
    return StorageNumberOfBlock(maj, min);
}

std::optional<StorageDeviceNumber> StorageNumberOfHandle(int fd)
{
    struct stat st
    {
    };
    if (fd < 0 || fstat(fd, &st) != 0)
        return std::nullopt;
    if (S_ISBLK(st.st_mode))
        return StorageNumberOfBlock(major(st.st_rdev), minor(st.st_rdev));
    char target[PATH_MAX];
    const std::string link = ProcRoot() + "/self/fd/" + std::to_string(fd);
    const ssize_t length = readlink(link.c_str(), target, sizeof target - 1);
    if (length <= 0)
        return std::nullopt;
    target[length] = '\0';
    return StorageNumberOfNode(target);
}

std::vector<DriveEntry> ReadDriveMap()
{
    const vxdev::SysfsCallScope scope;
    // One entry per block device, its first mount of the whole file system that no other mount
    // covers (a bind mount of a sub-folder shows another root and is no drive of its own).
    std::map<std::pair<unsigned, unsigned>, DriveEntry> devices;
    const std::vector<MountLine> lines = ReadMountInfo();
    for (std::size_t i = 0; i < lines.size(); ++i)
    {
        const MountLine &line = lines[i];
        if (line.root != "/")
            continue;
        const auto key = std::make_pair(line.major, line.minor);
        if (devices.count(key) != 0)
            continue;
        const auto dir = BlockDir(line.major, line.minor);
        if (!dir || IsVirtualBlockDir(*dir))
            continue;
        if (IsCovered(lines, i))
            continue;
        DriveEntry entry;
        entry.mountPoint = line.mountPoint;
        entry.major = line.major;
        entry.minor = line.minor;
        entry.fsType = line.fsType;
        const std::string whole = WholeDiskDir(*dir);
        if (IsCdRom(whole))
            entry.driveType = kDriveCdRom;
        else if (ReadDecAttr(whole, "removable").value_or(0) == 1)
            entry.driveType = kDriveRemovable;
        else
            entry.driveType = kDriveFixed;
        devices.emplace(key, std::move(entry));
    }

    std::vector<unsigned> blocks;
    for (const auto &[key, entry] : devices) // ordered by major, then minor
    {
        blocks.push_back(key.first);
        blocks.push_back(key.second);
    }
    std::vector<char> letters(devices.size(), 0);
    const std::string roots = SysfsRoot() + '\n' + ProcRoot();
    LetterKeeper()(roots.c_str(), blocks.data(), devices.size(), letters.data());

    std::vector<DriveEntry> drives;
    std::size_t index = 0;
    for (auto &[key, entry] : devices)
    {
        const char letter = letters[index++];
        if (letter < 'C' || letter > 'Z')
            continue; // all letters taken
        entry.letter = letter;
        drives.push_back(std::move(entry));
    }
    std::sort(drives.begin(), drives.end(),
              [](const DriveEntry &a, const DriveEntry &b) { return a.letter < b.letter; });
    return drives;
}

void ForgetDriveLetters()
{
    LetterKeeper()(nullptr, nullptr, 0, nullptr);
}

std::optional<DriveEntry> FindDrive(char letter)
{
    if (letter >= 'a' && letter <= 'z')
        letter = static_cast<char>(letter - 'a' + 'A');
    for (auto &drive : ReadDriveMap())
    {
        if (drive.letter == letter)
            return drive;
    }
    return std::nullopt;
}

std::optional<char> DriveLetterOfBlock(unsigned major, unsigned minor)
{
    for (const auto &drive : ReadDriveMap())
    {
        if (drive.major == major && drive.minor == minor)
            return drive.letter;
    }
    return std::nullopt;
}

std::string TranslateDrivePath(const std::u16string &drivePath)
{
    if (drivePath.size() < 2 || drivePath[1] != u':')
        return {};
    const char16_t l = drivePath[0];
    if (!((l >= u'A' && l <= u'Z') || (l >= u'a' && l <= u'z')))
        return {};

    std::vector<std::string> components;
    std::u16string part;
    const auto flush = [&]() -> bool {
        if (part.empty() || part == u".")
        {
            part.clear();
            return true;
        }
        if (part == u"..")
            return false;
        components.push_back(vxsys::Utf16ToUtf8(part));
        part.clear();
        return true;
    };
    for (std::size_t i = 2; i < drivePath.size(); ++i)
    {
        const char16_t c = drivePath[i];
        if (c == u'\0')
            return {};
        if (c == u'\\' || c == u'/')
        {
            if (!flush())
                return {};
        }
        else
        {
            part.push_back(c);
        }
    }
    if (!flush())
        return {};

    const auto drive = FindDrive(static_cast<char>(l));
    if (!drive)
        return {};
    std::string path = drive->mountPoint;
    bool matching = true;
    for (const std::string &name : components)
    {
        std::string next = JoinPath(path, name);
        if (matching && !ExistsNoFollow(next))
        {
            std::vector<std::string> entries = ListDir(path);
            std::sort(entries.begin(), entries.end());
            const auto found = std::find_if(entries.begin(), entries.end(), [&](const std::string &e) {
                return SameNameIgnoringCase(e, name);
            });
            if (found != entries.end())
                next = JoinPath(path, *found);
            else
                matching = false; // nothing below a missing folder can exist
        }
        // The monitor's FAT file system has no links; a link on a drive could lead the file we
        // read or write back anywhere outside it.
        if (matching && IsSymlink(next))
            return {};
        path = std::move(next);
    }
    return path;
}

bool SetHiddenAttribute(const std::string &path, bool hidden)
{
    const int probe = ::open(path.c_str(), O_PATH | O_CLOEXEC);
    if (probe < 0)
        return false;
    struct statfs fsInfo
    {
    };
    const bool ok = fstatfs(probe, &fsInfo) == 0;
    ::close(probe);
    if (!ok)
        return false;
    if (fsInfo.f_type != MSDOS_SUPER_MAGIC)
        return true;

    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return false;
    __u32 attributes = 0;
    bool done = ioctl(fd, FAT_IOCTL_GET_ATTRIBUTES, &attributes) == 0;
    if (done)
    {
        attributes = hidden ? (attributes | ATTR_HIDDEN) : (attributes & ~static_cast<__u32>(ATTR_HIDDEN));
        done = ioctl(fd, FAT_IOCTL_SET_ATTRIBUTES, &attributes) == 0;
    }
    ::close(fd);
    return done;
}
} // namespace vxdev

extern "C" void vxdev_KeepDriveLetters(const char *roots, const unsigned *blocks, std::size_t count, char *letters)
{
    vxdev::LetterMemory &memory = vxdev::Memory();
    std::lock_guard lock(memory.mutex);
    if (roots == nullptr || memory.roots != roots)
    {
        memory.letters.clear();
        memory.roots = roots ? roots : "";
    }
    if (roots == nullptr)
        return;
    std::map<std::pair<unsigned, unsigned>, char> kept;
    for (std::size_t i = 0; i < count; ++i)
    {
        const auto key = std::make_pair(blocks[2 * i], blocks[2 * i + 1]);
        const auto known = memory.letters.find(key);
        if (known != memory.letters.end())
            kept.emplace(key, known->second);
    }
    bool taken[vxdev::kLetterCount] = {};
    for (const auto &[key, letter] : kept)
        taken[letter - 'C'] = true;
    std::size_t next = 0;
    for (std::size_t i = 0; i < count; ++i)
    {
        const auto key = std::make_pair(blocks[2 * i], blocks[2 * i + 1]);
        auto found = kept.find(key);
        if (found == kept.end())
        {
            while (next < vxdev::kLetterCount && taken[next])
                ++next;
            if (next == vxdev::kLetterCount)
            {
                letters[i] = 0;
                continue;
            }
            taken[next] = true;
            found = kept.emplace(key, static_cast<char>('C' + next)).first;
        }
        letters[i] = found->second;
    }
    memory.letters = std::move(kept);
}
