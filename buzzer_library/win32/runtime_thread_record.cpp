#include "buzzer_library/win32/runtime_thread_record.h"

#include <windows.h>
// After windows.h, whose types it uses.
#include <pthread.h>

#include <cstdlib>

#if defined(__i386__)
// The thread library's own lookup from a thread's id to its record (declared in none of its
// public headers). The record is what it keeps in its TLS slot for each thread.
extern "C" void* __pth_gpointer_locked(pthread_t thread);
#endif

namespace buzzer_library::win32 {
namespace {

DWORD record_slot = TLS_OUT_OF_INDEXES;
void* record = nullptr;

}  // namespace

void note_runtime_thread_record() {
#if defined(__i386__)
    // The runtime's start registers this image's unwind tables under a pthread_once, which
    // gives the loading thread a record in a fresh slot. The slot's number is the runtime's
    // own; it is the one slot of this thread that holds the record.
    const DWORD error = GetLastError();
    void* mine = __pth_gpointer_locked(pthread_self());
    constexpr DWORD all_slots = TLS_MINIMUM_AVAILABLE + 1024;  // with the expansion slots
    int found = 0;
    for (DWORD slot = 0; mine != nullptr && slot < all_slots; ++slot) {
        if (TlsGetValue(slot) == mine) {
            record_slot = slot;
            ++found;
        }
    }
    if (found == 1) {
        record = mine;
    } else {
        record_slot = TLS_OUT_OF_INDEXES;  // not as expected: leave the runtime's things be
    }
    SetLastError(error);
#endif
}

void free_runtime_thread_record() {
    if (record_slot == TLS_OUT_OF_INDEXES) {
        return;
    }
    // Released thread data goes to the thread library's pool, which it never frees; pool and
    // slot go with the image now. Freeing the slot empties it in every thread still running.
    TlsFree(record_slot);
    std::free(record);
    record_slot = TLS_OUT_OF_INDEXES;
    record = nullptr;
}

}  // namespace buzzer_library::win32
