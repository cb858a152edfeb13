#pragma once
// For the suite's DLLs: what a library must do when it is unloaded while the thread that
// loaded it lives on.
#include <windows.h>

namespace common::win32 {

// The 32-bit runtime keeps per-thread data (a duplicated thread handle and an event) for the
// thread that loaded the library, and frees it only when that thread ends. A library that is
// unloaded while the thread lives on (the buzzer check tool does so on every device change)
// must give it back itself: this tells the image's own TLS callbacks that the unloading thread
// is done. Call it from DllMain's DLL_PROCESS_DETACH on FreeLibrary (reserved == nullptr), or
// at the end of DLL_PROCESS_ATTACH for a loading thread that may not be the unloading one.
void release_thread_data_of_this_image(HINSTANCE instance);

}  // namespace common::win32
