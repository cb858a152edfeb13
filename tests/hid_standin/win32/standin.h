#pragma once
// What the stand-in setupapi.dll and hid.dll share: where kbdsim is, its listing, the mapping
// of an open handle back to its interface, and the report of what a process left behind.
//
// Test-only. The stand-ins replace the system's DLLs in a program's folder (with a Wine DLL
// override), so the program's real HID backend runs unchanged against kbdsim.exe: the device
// paths they hand out are kbdsim's interface pipes, and the program's own CreateFileA,
// ReadFile, WriteFile, GetOverlappedResult and CancelIo work on them.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "common/win32/thread_data.h"

#include "simclient/listing.h"

// libstdc++'s hook that frees its emergency exception pool (declared in none of its headers).
namespace __gnu_cxx {
void __freeres() noexcept;
}

namespace hid_standin {

// The stand-ins' own setting: the pipe name of the kbdsim they serve. KBDSIM_PIPE stays unset,
// so the program under test takes its real backend.
constexpr const char* pipe_variable = "KBD_STANDIN_PIPE";
// A file the stand-ins append one line to per DLL when a process ends (see report_line).
constexpr const char* report_variable = "KBD_STANDIN_REPORT";
// "preparsed" or "caps": HidD_GetPreparsedData or HidP_GetCaps fails for every device, as for
// one whose report descriptor cannot be read, so a program's handling of it can be seen.
constexpr const char* fail_variable = "KBD_STANDIN_FAIL";

// True when `call` is the one the fail setting names.
bool failing(const char* call);

// HID's interface class, as HidD_GetHidGuid gives it.
constexpr GUID hid_class = {
    0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};

// kbdsim's plugged interfaces now; empty when no kbdsim serves the pipe (a PC without HID
// devices).
std::vector<simclient::ListedInterface> current_listing();

// The device path of an interface: kbdsim's pipe for it.
std::string device_path(int interface_id);

// The interface id of an open handle, from the pipe's name; -1 when the handle is not one of
// kbdsim's interface pipes (or not open).
int interface_of_handle(HANDLE handle);

// Appends `line` and the process's program name to the report file, if one is set. Only
// kernel32 calls, so it may run while the process detaches.
void append_report(const std::string& line);

// A slim lock's hold, not std::mutex: the thread runtime behind that would leave handles behind
// each time a program loads and frees a library that pulls the stand-ins in.
class Hold {
  public:
    explicit Hold(SRWLOCK& lock) : lock_(lock) { AcquireSRWLockExclusive(&lock_); }
    ~Hold() { ReleaseSRWLockExclusive(&lock_); }
    Hold(const Hold&) = delete;
    Hold& operator=(const Hold&) = delete;

  private:
    SRWLOCK& lock_;
};

// DLL_PROCESS_ATTACH of a stand-in: the loading thread's thread data goes at once, since the
// unload may come on another thread (the buzzer library's own), which gives back only its own.
inline void at_attach(HINSTANCE instance) {
    common::win32::release_thread_data_of_this_image(instance);
}

// DLL_PROCESS_DETACH of a stand-in: appends the line `make_line` builds from the module's
// state, then, when the DLL is unloaded rather than the process ending, gives the image's
// thread data and the C++ runtime's emergency exception pool back (a client that loads and
// unloads the buzzer library again and again loads these with it).
template <typename MakeLine>
void report_at_detach(HINSTANCE instance, LPVOID reserved, SRWLOCK& lock, MakeLine make_line) {
    // A thread ended by the process's exit may have held the lock: report all the same.
    bool held = TryAcquireSRWLockExclusive(&lock);
    append_report(make_line());
    if (held) {
        ReleaseSRWLockExclusive(&lock);
    }
    if (reserved == nullptr) {
        common::win32::release_thread_data_of_this_image(instance);
        __gnu_cxx::__freeres();
    }
}

}  // namespace hid_standin
