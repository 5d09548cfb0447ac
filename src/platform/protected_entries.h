// Folders and files that the elevated run makes for SYSTEM to read get their final, protected access list in
// the call that creates them, and an existing folder that is not trusted is brought to it.
#pragma once

#include <windows.h>

#include <string>

#include "platform/win_handles.h"

// Owner Administrators; SYSTEM and administrators full access, everyone read and list; passed down to what is
// created inside; nothing inherited from above.
constexpr const wchar_t* kProtectedFolderSddl = L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FRFX;;;WD)";

// A self-relative descriptor made from SDDL text, with the attributes that carry it into a create call.
class ProtectedDescriptor {
public:
    // Throws SysError when the text cannot be converted.
    explicit ProtectedDescriptor(const std::wstring& sddl);
    PSECURITY_DESCRIPTOR get() const { return memory.get(); }
    // Not inheritable by child processes.
    SECURITY_ATTRIBUTES* attributes() { return &security; }

private:
    LocalMemory<PSECURITY_DESCRIPTOR> memory;
    SECURITY_ATTRIBUTES security{};
};

// Creates the folder with `descriptor`; ERROR_SUCCESS, ERROR_ALREADY_EXISTS (nothing changed) or the error.
DWORD createProtectedFolder(const std::wstring& path, ProtectedDescriptor& descriptor);

// Gives an open entry (opened with WRITE_DAC and WRITE_OWNER) the owner and protected access list of
// `descriptor`, dropping every inherited entry; the Win32 error code, 0 on success.
DWORD protectOpenEntry(HANDLE entry, const ProtectedDescriptor& descriptor);

// The owner, protection flag and access list of a descriptor as SDDL text (empty when it cannot be converted).
std::wstring descriptorSddl(PSECURITY_DESCRIPTOR descriptor);

// Tests put a recorder in front of the call that gives an existing entry its descriptor (owner and protected
// access list), since Wine keeps no access list to read back. Null restores the system's.
using EntryProtector = DWORD (*)(HANDLE entry, PSECURITY_DESCRIPTOR descriptor);
void setEntryProtector(EntryProtector protector);

// Tests put a recorder in front of CreateDirectoryW, since Wine keeps no access list to read back. Null
// restores CreateDirectoryW.
using CreateFolderFunction = BOOL(WINAPI*)(LPCWSTR, LPSECURITY_ATTRIBUTES);
void setFolderCreator(CreateFolderFunction create);
