#include "common/win32/thread_data.h"

namespace common::win32 {

void release_thread_data_of_this_image(HINSTANCE instance) {
#if defined(__i386__)
    auto* base = reinterpret_cast<BYTE*>(instance);
    auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& entry = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_TLS];
    if (entry.VirtualAddress == 0) {
        return;
    }
    auto* tls = reinterpret_cast<IMAGE_TLS_DIRECTORY*>(base + entry.VirtualAddress);
    auto* callback = reinterpret_cast<PIMAGE_TLS_CALLBACK*>(tls->AddressOfCallBacks);
    for (; callback != nullptr && *callback != nullptr; ++callback) {
        (*callback)(instance, DLL_THREAD_DETACH, nullptr);
    }
#else
    (void)instance;  // the 64-bit runtime keeps nothing of the kind
#endif
}

}  // namespace common::win32
