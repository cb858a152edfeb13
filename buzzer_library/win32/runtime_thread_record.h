#pragma once
// What the 32-bit runtime's thread library sets up at every load of the library and never
// gives back: a TLS slot and the loading thread's record in it. A process has 1088 TLS slots
// in all, and the runtime ends the process when it finds none free at a load, so a program
// that loads and frees the library per call would die after about a thousand calls.

namespace buzzer_library::win32 {

// At DLL_PROCESS_ATTACH, on the loading thread, before its thread data is released: notes the
// slot and the record the runtime's start made. Does nothing in the 64-bit build, whose start
// makes neither.
void note_runtime_thread_record();

// At DLL_PROCESS_DETACH on FreeLibrary only (nothing of the library runs afterwards that could
// use them), after the unloading thread's data is released: frees the noted record and slot.
void free_runtime_thread_record();

}  // namespace buzzer_library::win32
