// buzz_client.exe: a point-of-sale program as the buzzer library's integrators write one. It
// loads TVKBDCMD.dll by name at run time, binds the six exports through WINAPI pointers and
// runs commands given as arguments, then (with `repl`) one command per line of its standard
// input. Every command prints one line. Built for x86_64 and i686.
//
//   load[:<path>] | unload            LoadLibraryA("TVKBDCMD.dll", or that path) / FreeLibrary
//   call:<Export>[:<a>[:<b>]]         one call, e.g. call:BuzzOn:1:0
//   stack:<n>                         every export n times; on i686 the stack pointer is
//                                     compared around each call ("stack balanced calls=<k>")
//   threads:<t>:<n>                   t threads, each n calls of mixed exports at once
//   loadthreads:<t>:<n>               t threads, each loading and freeing the library n times,
//                                     all at once: "loadthreads loads=<t * n>"
//   cycle:<seconds>:<seed>            load, random calls, unload, again, for that long
//   devchange                         WM_DEVICECHANGE to the check tool's window (sent, so the
//                                     replay is over when the answer comes)
//   tool                              "tool count=<processes> window=yes|no handles=<n>|-
//                                     windows=<tool windows>"
//   shared                            the library's shared settings block, read directly
//   loadfree:<dll>:<n>[:<ms>]         loads and frees a DLL n times, waits: "handles <b> -> <a>"
//   growth:<n>                        loads and frees TVKBDCMD.dll n times; what the memory
//                                     grew per load after the first: "growth private=<bytes>
//                                     heap=<bytes> committed=<bytes> slots=<TLS slots lost
//                                     in all>" (see memory_now)
//   hold-event:<seconds>              keeps "BuzzeKeyStop" signalled (set every 10 ms)
//   cpu                               "cpu ms=<user + kernel time of this process>"
//   settle                            waits until the library's own thread that starts the
//                                     check tool has ended: "settled"
//   sleep:<ms> | bits | acp | repl    (acp: "acp <the ANSI code page>")
//
// A program that ends while the library's thread is starting the check tool may leave a copy
// of the tool that never gets going; the commands that load and free in bulk (loadthreads,
// loadfree, growth) therefore end only once that thread has.
#include <windows.h>
// After windows.h, whose types it uses.
#include <psapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

using PatternSound = void(WINAPI*)(int, int);
using OneArg = void(WINAPI*)(int);
using NoArg = void(WINAPI*)();

HMODULE library = nullptr;
struct Exports {
    PatternSound BuzzOn = nullptr;
    NoArg BuzzOff = nullptr;
    OneArg SetKEYClick = nullptr;
    NoArg DisKEYClick = nullptr;
    PatternSound WaveBuzzOn = nullptr;
    NoArg WaveBuzzOff = nullptr;
} exports;

const char* const export_names[] = {"BuzzOn",      "BuzzOff",    "SetKEYClick",
                                    "DisKEYClick", "WaveBuzzOn", "WaveBuzzOff"};
constexpr int export_args[] = {2, 0, 1, 0, 2, 0};

void* export_address(int index) {
    switch (index) {
        case 0:
            return reinterpret_cast<void*>(exports.BuzzOn);
        case 1:
            return reinterpret_cast<void*>(exports.BuzzOff);
        case 2:
            return reinterpret_cast<void*>(exports.SetKEYClick);
        case 3:
            return reinterpret_cast<void*>(exports.DisKEYClick);
        case 4:
            return reinterpret_cast<void*>(exports.WaveBuzzOn);
        default:
            return reinterpret_cast<void*>(exports.WaveBuzzOff);
    }
}

template <class T>
T bind(const char* name) {
    return reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(library, name)));
}

bool load(const char* path = "TVKBDCMD.dll") {
    library = LoadLibraryA(path);
    if (library == nullptr) {
        std::printf("load failed error=%lu\n", GetLastError());
        return false;
    }
    exports.BuzzOn = bind<PatternSound>("BuzzOn");
    exports.BuzzOff = bind<NoArg>("BuzzOff");
    exports.SetKEYClick = bind<OneArg>("SetKEYClick");
    exports.DisKEYClick = bind<NoArg>("DisKEYClick");
    exports.WaveBuzzOn = bind<PatternSound>("WaveBuzzOn");
    exports.WaveBuzzOff = bind<NoArg>("WaveBuzzOff");
    for (int i = 0; i < 6; ++i) {
        if (export_address(i) == nullptr) {
            std::printf("load missing %s\n", export_names[i]);
            return false;
        }
    }
    return true;
}

void unload() {
    if (library != nullptr) {
        FreeLibrary(library);
    }
    library = nullptr;
    exports = Exports{};
}

// How many entries of a Toolhelp snapshot of `kind` (walked with `first` and `next`) `wanted`
// takes; 0 when no snapshot could be made.
template <typename Entry, typename Wanted>
int count_snapshot_entries(DWORD kind, BOOL(WINAPI* first)(HANDLE, Entry*),
                           BOOL(WINAPI* next)(HANDLE, Entry*), Wanted wanted) {
    int count = 0;
    HANDLE snapshot = CreateToolhelp32Snapshot(kind, 0);
    if (snapshot != INVALID_HANDLE_VALUE) {
        Entry entry{};
        entry.dwSize = sizeof entry;
        for (BOOL more = first(snapshot, &entry); more; more = next(snapshot, &entry)) {
            count += wanted(entry);
        }
        CloseHandle(snapshot);
    }
    return count;
}

int thread_count() {
    return count_snapshot_entries(TH32CS_SNAPTHREAD, Thread32First, Thread32Next,
                                  [](const THREADENTRY32& entry) {
                                      return entry.th32OwnerProcessID == GetCurrentProcessId();
                                  });
}

int initial_threads = 1;

// The library stays loaded after FreeLibrary while its own thread that starts the check tool
// runs; true once it is gone from the process and this process has no more than `threads`
// threads (the library's thread has ended, its stack is given back).
bool wait_unloaded(DWORD ms, int threads) {
    const ULONGLONG end = GetTickCount64() + ms;
    while (GetModuleHandleA("TVKBDCMD.dll") != nullptr || thread_count() > threads) {
        if (GetTickCount64() > end) {
            return false;
        }
        Sleep(1);
    }
    return true;
}

void call(int index, int a, int b) {
    switch (index) {
        case 0:
            exports.BuzzOn(a, b);
            break;
        case 1:
            exports.BuzzOff();
            break;
        case 2:
            exports.SetKEYClick(a);
            break;
        case 3:
            exports.DisKEYClick();
            break;
        case 4:
            exports.WaveBuzzOn(a, b);
            break;
        default:
            exports.WaveBuzzOff();
            break;
    }
}

#if defined(__i386__)
// Calls a __stdcall function with `count` arguments pushed by hand and returns how far the
// stack pointer moved: 0 when the callee removed its arguments, as __stdcall requires.
extern "C" int __cdecl stack_drift(void* function, int count, const int* arguments);
asm(R"(
    .text
    .globl _stack_drift
_stack_drift:
    pushl %ebp
    movl %esp, %ebp
    pushl %ebx
    pushl %esi
    pushl %edi
    movl 12(%ebp), %ecx
    movl 16(%ebp), %edx
    movl %esp, %esi
1:  testl %ecx, %ecx
    jz 2f
    decl %ecx
    pushl (%edx,%ecx,4)
    jmp 1b
2:  call *8(%ebp)
    movl %esp, %eax
    subl %esi, %eax
    movl %esi, %esp
    popl %edi
    popl %esi
    popl %ebx
    popl %ebp
    ret
)");
#endif

// Arguments that exercise every path, most of them quick (bad values, replays of nothing).
int random_argument(std::mt19937& random) {
    static const int values[] = {0, 1, 2, 255, 3, -1, 256, 65535};
    return values[random() % 8];
}

// The handles a process holds: GetProcessHandleCount, or where that answers 0 (Wine) the
// entries of the system's handle list that belong to the process. -1 when neither works.
long handle_count(DWORD pid) {
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, pid);
    DWORD n = 0;
    bool counted = process != nullptr && GetProcessHandleCount(process, &n) && n > 0;
    if (process != nullptr) {
        CloseHandle(process);
    }
    if (counted) {
        return static_cast<long>(n);
    }
    struct Entry {
        ULONG owner_pid;
        BYTE object_type;
        BYTE flags;
        USHORT handle;
        PVOID object;
        ULONG access;
    };
    struct List {
        ULONG count;
        Entry entries[1];
    };
    using Query = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);
    auto query = reinterpret_cast<Query>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation")));
    if (query == nullptr) {
        return -1;
    }
    std::vector<BYTE> buffer(1 << 16);
    for (int attempt = 0; attempt < 12; ++attempt) {
        ULONG needed = 0;
        LONG status = query(16 /* SystemHandleInformation */, buffer.data(),
                            static_cast<ULONG>(buffer.size()), &needed);
        if (status == static_cast<LONG>(0xC0000004)) {  // STATUS_INFO_LENGTH_MISMATCH
            buffer.resize(std::max<std::size_t>(buffer.size() * 2, needed + 4096));
            continue;
        }
        if (status != 0) {
            return -1;
        }
        const auto* list = reinterpret_cast<const List*>(buffer.data());
        long mine = 0;
        for (ULONG i = 0; i < list->count; ++i) {
            mine += list->entries[i].owner_pid == pid;
        }
        return mine;
    }
    return -1;
}

// The process's memory three ways: the private bytes the system charges it (PrivateUsage),
// the bytes in use in all its heaps (a heap walk), and its committed private pages (a walk of
// its address space). Each lets a different kind of leak show.
struct Memory {
    long long private_bytes = 0;
    long long heap_bytes = 0;
    long long committed_bytes = 0;
    int free_tls_slots = 0;
};

// A process has a fixed number of TLS slots (1088); a library that keeps one per load makes
// a later load fail.
int free_tls_slots() {
    static DWORD taken[2048];
    int count = 0;
    for (DWORD slot; count < 2048 && (slot = TlsAlloc()) != TLS_OUT_OF_INDEXES; ++count) {
        taken[count] = slot;
    }
    for (int i = 0; i < count; ++i) {
        TlsFree(taken[i]);
    }
    return count;
}

Memory memory_now() {
    Memory memory;
    memory.free_tls_slots = free_tls_slots();  // first: what counting takes is in every figure
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof counters;
    if (GetProcessMemoryInfo(GetCurrentProcess(),
                             reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                             sizeof counters)) {
        memory.private_bytes = static_cast<long long>(counters.PrivateUsage);
    }
    HANDLE heaps[64];
    DWORD count = std::min<DWORD>(GetProcessHeaps(64, heaps), 64);
    for (DWORD i = 0; i < count; ++i) {
        if (!HeapLock(heaps[i])) {
            continue;
        }
        PROCESS_HEAP_ENTRY entry{};
        while (HeapWalk(heaps[i], &entry)) {
            if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) {
                memory.heap_bytes += entry.cbData;
            }
        }
        HeapUnlock(heaps[i]);
    }
    MEMORY_BASIC_INFORMATION region{};
    for (const char* address = nullptr;
         VirtualQuery(address, &region, sizeof region) == sizeof region;
         address = static_cast<const char*>(region.BaseAddress) + region.RegionSize) {
        if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) {
            memory.committed_bytes += static_cast<long long>(region.RegionSize);
        }
    }
    return memory;
}

BOOL CALLBACK count_tool_window(HWND window, LPARAM count) {
    char name[64] = "";
    char window_class[64] = "";
    GetWindowTextA(window, name, sizeof name);
    GetClassNameA(window, window_class, sizeof window_class);
    if (lstrcmpA(name, "TAVBUZZERCHK") == 0 && lstrcmpA(window_class, "TAVBuzzerChk:MAIN") == 0) {
        ++*reinterpret_cast<int*>(count);
    }
    return TRUE;
}

std::string tool_line() {
    const int count = count_snapshot_entries(
        TH32CS_SNAPPROCESS, Process32First, Process32Next, [](const PROCESSENTRY32& entry) {
            return lstrcmpiA(entry.szExeFile, "TAVBuzzChk.exe") == 0;
        });
    std::string handles = "-";
    HWND window = FindWindowA("TAVBuzzerChk:MAIN", "TAVBUZZERCHK");
    DWORD pid = 0;
    if (window != nullptr && GetWindowThreadProcessId(window, &pid) != 0) {
        long n = handle_count(pid);
        if (n >= 0) {
            handles = std::to_string(n);
        }
    }
    int windows = 0;
    EnumWindows(count_tool_window, reinterpret_cast<LPARAM>(&windows));
    return "tool count=" + std::to_string(count) + " window=" + (window ? "yes" : "no") +
           " handles=" + handles + " windows=" + std::to_string(windows);
}

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        std::size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end - start));
        if (end == std::string::npos) {
            return parts;
        }
        start = end + 1;
    }
}

int number(const std::vector<std::string>& parts, std::size_t i, int fallback = 0) {
    return i < parts.size() ? std::atoi(parts[i].c_str()) : fallback;
}

bool run(const std::string& command);

// Sets "BuzzeKeyStop" again and again, as other clients' finished I/O would: a waiter that
// resets it must not get a quiet moment.
int hold_seconds = 0;
DWORD WINAPI keep_event_set(void*) {
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, "BuzzeKeyStop");
    const ULONGLONG end = GetTickCount64() + 1000ull * hold_seconds;
    while (event != nullptr && GetTickCount64() < end) {
        SetEvent(event);
        Sleep(10);
    }
    return 0;
}

// One thread of `threads`: calls of every export with valid arguments.
struct Work {
    int n;
    int seed;
    std::atomic<int>* done;
};

// One thread of `loadthreads`: loads and frees the library n times.
DWORD WINAPI load_worker(void* parameter) {
    Work& work = *static_cast<Work*>(parameter);
    for (int i = 0; i < work.n; ++i) {
        if (HMODULE module = LoadLibraryA("TVKBDCMD.dll")) {
            FreeLibrary(module);
            ++*work.done;
        }
    }
    return 0;
}

DWORD WINAPI worker(void* parameter) {
    Work& work = *static_cast<Work*>(parameter);
    std::mt19937 random(work.seed);
    for (int i = 0; i < work.n; ++i) {
        call(static_cast<int>(random() % 6), static_cast<int>(random() % 3),
             static_cast<int>(random() % 3));
        ++*work.done;
    }
    return 0;
}

void repl() {
    char line[512];
    while (std::fgets(line, sizeof line, stdin) != nullptr) {
        std::string text(line);
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
            text.pop_back();
        }
        if (!text.empty() && !run(text)) {
            std::printf("failed %s\n", text.c_str());
        }
    }
    std::printf("end\n");
}

bool run(const std::string& command) {
    std::vector<std::string> parts = split(command, ':');
    const std::string& verb = parts[0];
    if (verb == "load") {
        // The path may hold a drive's colon: everything after "load:" is the path.
        if (!(command.size() > 5 ? load(command.c_str() + 5) : load())) {
            return false;
        }
        std::printf("loaded\n");
    } else if (verb == "unload") {
        unload();
        std::printf("unloaded\n");
    } else if (verb == "call") {
        int index = -1;
        for (int i = 0; i < 6; ++i) {
            if (parts.size() > 1 && parts[1] == export_names[i]) {
                index = i;
            }
        }
        if (index < 0 || library == nullptr) {
            return false;
        }
        call(index, number(parts, 2), number(parts, 3));
        std::printf("called %s\n", command.c_str() + 5);
    } else if (verb == "stack") {
        if (library == nullptr) {
            return false;
        }
        int calls = 0;
        int n = number(parts, 1, 1);
        for (int round = 0; round < n; ++round) {
            for (int i = 0; i < 6; ++i) {
                // Bad arguments keep the rounds quick; every tenth round does the real work.
                int arguments[2] = {round % 10 == 0 ? 1 : 7, round % 10 == 0 ? 255 : 9};
#if defined(__i386__)
                int drift = stack_drift(export_address(i), export_args[i], arguments);
                if (drift != 0) {
                    std::printf("stack drift %s %d\n", export_names[i], drift);
                    return true;
                }
#else
                call(i, arguments[0], arguments[1]);
#endif
                ++calls;
            }
        }
        std::printf("stack balanced calls=%d\n", calls);
    } else if (verb == "threads" || verb == "loadthreads") {
        if (library == nullptr && verb == "threads") {
            return false;
        }
        int count = number(parts, 1, 2);
        int n = number(parts, 2, 10);
        std::atomic<int> done = 0;
        std::vector<HANDLE> threads;
        std::vector<Work> work(count);
        for (int t = 0; t < count; ++t) {
            work[t] = Work{n, t, &done};
            threads.push_back(CreateThread(nullptr, 0, verb == "threads" ? worker : load_worker,
                                           &work[t], 0, nullptr));
        }
        WaitForMultipleObjects(static_cast<DWORD>(threads.size()), threads.data(), TRUE, INFINITE);
        for (HANDLE thread : threads) {
            CloseHandle(thread);
        }
        if (verb == "loadthreads") {
            wait_unloaded(10000, initial_threads);
        }
        std::printf(verb == "threads" ? "threads calls=%d\n" : "loadthreads loads=%d\n",
                    done.load());
    } else if (verb == "cycle") {
        const ULONGLONG end = GetTickCount64() + 1000ull * number(parts, 1, 1);
        std::mt19937 random(number(parts, 2, 1));
        int cycles = 0;
        int calls = 0;
        while (GetTickCount64() < end) {
            if (!load()) {
                return false;
            }
            ++cycles;
            int n = static_cast<int>(random() % 30);
            for (int i = 0; i < n && GetTickCount64() < end; ++i) {
                call(static_cast<int>(random() % 6), random_argument(random),
                     random_argument(random));
                ++calls;
            }
            unload();
            Sleep(200 + random() % 500);  // each load starts a copy of the check tool
        }
        std::printf("cycles=%d calls=%d\n", cycles, calls);
    } else if (verb == "devchange") {
        HWND window = FindWindowA("TAVBuzzerChk:MAIN", "TAVBUZZERCHK");
        if (window == nullptr) {
            std::printf("devchange no-tool\n");
            return true;
        }
        DWORD_PTR answer = 0;
        LRESULT sent =
            SendMessageTimeoutA(window, WM_DEVICECHANGE, 0x0007 /* DBT_DEVNODES_CHANGED */, 0,
                                SMTO_NORMAL, 60000, &answer);
        std::printf(sent ? "devchange sent\n" : "devchange timeout\n");
    } else if (verb == "shared") {
        // The library's shared block as another program sees it: the six fields in order.
        HANDLE mapping = OpenFileMappingA(FILE_MAP_READ, FALSE, "TVKBDCMD.SharedSettings");
        if (mapping == nullptr) {
            std::printf("shared none\n");
            return true;
        }
        const auto* fields =
            static_cast<const volatile LONG*>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 28));
        if (fields != nullptr) {
            std::printf("shared click=%ld buzz=%ld/%ld wave=%ld/%ld attach=%ld\n", fields[0],
                        fields[3], fields[1], fields[4], fields[2], fields[5]);
            UnmapViewOfFile(const_cast<LONG*>(fields));
        }
        CloseHandle(mapping);
    } else if (verb == "loadfree") {
        // Loads and frees a DLL n times; the handles this process holds before and after.
        long before = handle_count(GetCurrentProcessId());
        for (int i = 0; i < number(parts, 2, 10); ++i) {
            HMODULE module = LoadLibraryA(parts.size() > 1 ? parts[1].c_str() : "TVKBDCMD.dll");
            if (module != nullptr) {
                FreeLibrary(module);
            }
        }
        wait_unloaded(10000, initial_threads);
        Sleep(number(parts, 3, 0));  // lets what the loads started (tool copies) finish
        std::printf("handles %ld -> %ld\n", before, handle_count(GetCurrentProcessId()));
    } else if (verb == "growth") {
        // After the first cycle, whatever the first load sets up for good has been set up.
        // Every cycle waits until the library is really gone, so each load attaches anew.
        int n = std::max(2, number(parts, 1, 100));
        const int threads = thread_count();
        Memory first;
        for (int i = 0; i < n; ++i) {
            if (!load()) {
                return false;
            }
            unload();
            if (!wait_unloaded(10000, threads)) {
                std::printf("growth still-loaded\n");
                return true;
            }
            if (i == 0) {
                first = memory_now();
            }
        }
        Memory last = memory_now();
        std::printf("growth private=%lld heap=%lld committed=%lld slots=%d\n",
                    (last.private_bytes - first.private_bytes) / (n - 1),
                    (last.heap_bytes - first.heap_bytes) / (n - 1),
                    (last.committed_bytes - first.committed_bytes) / (n - 1),
                    first.free_tls_slots - last.free_tls_slots);
    } else if (verb == "tool") {
        std::printf("%s\n", tool_line().c_str());
    } else if (verb == "hold-event") {
        hold_seconds = number(parts, 1, 10);
        HANDLE setter = CreateThread(nullptr, 0, keep_event_set, nullptr, 0, nullptr);
        if (setter == nullptr) {
            return false;
        }
        CloseHandle(setter);
        std::printf("event set\n");
    } else if (verb == "cpu") {
        FILETIME created, ended, kernel, user;
        GetProcessTimes(GetCurrentProcess(), &created, &ended, &kernel, &user);
        auto ms = [](const FILETIME& t) {
            return ((static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 10000;
        };
        std::printf("cpu ms=%llu\n", ms(kernel) + ms(user));
    } else if (verb == "sleep") {
        Sleep(number(parts, 1));
        std::printf("slept\n");
    } else if (verb == "settle") {
        const ULONGLONG end = GetTickCount64() + 10000;
        while (thread_count() > initial_threads && GetTickCount64() < end) {
            Sleep(1);
        }
        std::printf("settled\n");
    } else if (verb == "acp") {
        std::printf("acp %u\n", GetACP());
    } else if (verb == "bits") {
        std::printf("bits %d\n", static_cast<int>(sizeof(void*) * 8));
    } else if (verb == "repl") {
        repl();
    } else {
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    initial_threads = thread_count();
    for (int i = 1; i < argc; ++i) {
        if (!run(argv[i])) {
            std::printf("failed %s\n", argv[i]);
            return 1;
        }
    }
    return 0;
}
