#pragma once

#include <cstdint>
#include <string>

// A read-only registry over typed text files, one per hive:
//   <dir>/HKEY_LOCAL_MACHINE.reg, <dir>/HKEY_CURRENT_USER.reg, <dir>/HKEY_CLASSES_ROOT.reg
// where <dir> is $VORMATIK_REGISTRY_DIR when set, else $XDG_CONFIG_HOME/Tarvex/registry
// (XDG_CONFIG_HOME defaults to ~/.config). The files are read again on every open, so
// a change is seen by the next RegOpenKeyExW.
//
// File format (UTF-8, one item a line; ';' starts a comment line):
//   [Software\Tarvex\Vormatik]        a key, as a path below the hive; parents exist implicitly
//   "LanguageID"="0x0804"             REG_SZ; \\ and \" are the only escapes
//   @="text"                          the key's default value
//   "Count"=dword:0000002a            REG_DWORD
//   "Data"=hex:01,02,ff               REG_BINARY
//   "Path"=hex(2):25,00,41,00,00,00   raw bytes of any type (here REG_EXPAND_SZ)
//   "Path"=str(2):"%HOME%\bin"        text of any type, stored as UTF-16 with its terminator
// A line ending in '\' continues on the next line. Key and value names match without
// regard to ASCII case. Texts are stored as UTF-16LE bytes, exactly as they would be read.

typedef struct HKEY__ *HKEY;

#ifndef HKEY_CLASSES_ROOT
#define HKEY_CLASSES_ROOT (reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(0x80000000u)))
#define HKEY_CURRENT_USER (reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(0x80000001u)))
#define HKEY_LOCAL_MACHINE (reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(0x80000002u)))
#endif

#ifndef REG_NONE
#define REG_NONE 0u
#define REG_SZ 1u
#define REG_EXPAND_SZ 2u
#define REG_BINARY 3u
#define REG_DWORD 4u
#define REG_LINK 6u
#define REG_MULTI_SZ 7u
#define REG_QWORD 11u
#endif

#ifndef KEY_QUERY_VALUE
#define KEY_QUERY_VALUE 0x0001u
#define KEY_SET_VALUE 0x0002u
#define KEY_CREATE_SUB_KEY 0x0004u
#define KEY_ENUMERATE_SUB_KEYS 0x0008u
#define KEY_NOTIFY 0x0010u
#define KEY_CREATE_LINK 0x0020u
#define KEY_WOW64_64KEY 0x0100u
#define KEY_WOW64_32KEY 0x0200u
#define KEY_READ 0x20019u
#endif

#ifndef ERROR_SUCCESS
#define ERROR_SUCCESS 0L
#endif
#ifndef ERROR_FILE_NOT_FOUND
#define ERROR_FILE_NOT_FOUND 2L
#endif
#ifndef ERROR_ACCESS_DENIED
#define ERROR_ACCESS_DENIED 5L
#endif
#ifndef ERROR_INVALID_HANDLE
#define ERROR_INVALID_HANDLE 6L
#endif
#ifndef ERROR_INVALID_PARAMETER
#define ERROR_INVALID_PARAMETER 87L
#endif
#ifndef ERROR_MORE_DATA
#define ERROR_MORE_DATA 234L
#endif

// Opens subKey below key (a hive or a key opened before). A null or empty subKey opens
// key itself again. Access asking for anything beyond reading is refused
// (ERROR_ACCESS_DENIED); a missing key is ERROR_FILE_NOT_FOUND.
long RegOpenKeyExW(HKEY key, const char16_t *subKey, std::uint32_t options, std::uint32_t samDesired,
                   HKEY *result);

// A null or empty valueName reads the key's default value. With data null, only the size
// and type are reported; a buffer smaller than the value gives ERROR_MORE_DATA with the
// needed size in *dataSize and nothing copied.
long RegQueryValueExW(HKEY key, const char16_t *valueName, std::uint32_t *reserved, std::uint32_t *type,
                      std::uint8_t *data, std::uint32_t *dataSize);

long RegCloseKey(HKEY key);

namespace vxsys
{
// The folder that holds the hive files, as it stands now.
std::string RegistryDirectory();

// The file of a hive key (HKEY_LOCAL_MACHINE, ...); empty for any other key.
std::string RegistryHiveFile(HKEY hive);
} // namespace vxsys
