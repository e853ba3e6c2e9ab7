#pragma once

#include <cstdint>

// Modules are the program itself and the shared libraries loaded in the process. A handle
// is the address at which the module's image starts; it stays valid while the module is
// loaded.
typedef struct HINSTANCE__ *HINSTANCE;
typedef HINSTANCE HMODULE;

// Null: the program. A name with a '/' is compared with each module's full path (after
// resolving links); a plain name with the modules' file names ("libc.so.6", or the
// program's own file name). Nothing is loaded: a module not in the process gives null.
HMODULE GetModuleHandleW(const char16_t *moduleName);

// Writes the module's full path, terminated, and returns its length in characters. 0 for
// an unknown module, and when the path does not fit in size characters with its
// terminator (a cut-off path could name another file).
std::uint32_t GetModuleFileNameW(HMODULE module, char16_t *fileName, std::uint32_t size);

// Loads a shared library (a name without '/' goes through the library search) with every
// symbol bound at once and none offered to later loads, and returns its handle; null when
// it cannot be loaded. Each successful call must be matched by a FreeLibrary.
HMODULE LoadLibraryW(const char16_t *fileName);

// The address of an exported function or variable of a loaded module (null: the
// program); null when the module does not export the name.
void *GetProcAddress(HMODULE module, const char *procName);

// Gives back one load made by LoadLibraryW; the library goes when its last load does.
// False for a handle that LoadLibraryW did not hand out.
bool FreeLibrary(HMODULE module);
