// Sonder.exe: the HID report test tool. One window of class "Palpo_1" built from a dialog
// template, a window thread and a reader thread. The reader never touches the window: it
// queues each report it receives, and the window thread decodes and shows them on a timer, so
// Close can always wait for the reader without either waiting for the other. A timer, not a
// posted message: posted messages are taken before keyboard and mouse input, so a keyboard
// that streams reports would hold up Esc and every click.
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <vector>

#include "report_tester/script_file.h"
#include "report_tester/send_syntax.h"
#include "report_tester/test_frame.h"
#include "report_tester/tool.h"
#include "report_tester/win32/device_search.h"
#include "report_tester/win32/resource.h"

namespace {

using namespace report_tester;

constexpr wchar_t window_class[] = L"Palpo_1";
// While the reader runs, the window takes the queued reports this often.
constexpr UINT_PTR report_timer = 1;
constexpr UINT report_timer_ms = 20;
// Reports kept for the window at most; a window that falls this far behind loses the newest.
constexpr std::size_t max_queued_reports = 4096;
// The continuous sender advanced the sequence counter: show it.
constexpr UINT wm_sequence = WM_APP + 2;

std::wstring widen(const std::string& text, UINT code_page) {
    if (text.empty()) {
        return {};
    }
    int n =
        MultiByteToWideChar(code_page, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(code_page, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
    return wide;
}

std::wstring utf8(const std::string& text) {
    return widen(text, CP_UTF8);
}

std::wstring ansi(const std::string& text) {
    return widen(text, CP_ACP);
}

// The script file through the platform's private-profile reader.
class ProfileFile : public ProfileSource {
  public:
    explicit ProfileFile(std::string path) : path_(std::move(path)) {}

    bool open_or_create(std::uint64_t& size) override {
        HANDLE file = CreateFileA(path_.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            return false;
        }
        LARGE_INTEGER length{};
        bool ok = GetFileSizeEx(file, &length) != 0;
        CloseHandle(file);
        size = ok ? static_cast<std::uint64_t>(length.QuadPart) : 0;
        return ok;
    }

    std::string read(const std::string& section, const char* key, std::size_t limit) override {
        std::vector<char> value(limit + 1, '\0');
        DWORD n = GetPrivateProfileStringA(section.c_str(), key, "", value.data(),
                                           static_cast<DWORD>(value.size()), path_.c_str());
        return std::string(value.data(), n);
    }

  private:
    std::string path_;
};

// Everything the window and its reader share. The reader gets its handle and lengths as
// arguments and reads only the stop flag from here.
struct Tool {
    HWND window = nullptr;
    Script script;
    DevicePathList paths;
    win32::DeviceSearch search;
    HANDLE device = INVALID_HANDLE_VALUE;
    std::uint16_t input_length = 0;
    std::uint16_t output_length = 0;
    // Advanced by Send on the window thread and by the continuous sender.
    std::atomic<int> sequence{1};
    std::atomic<bool> reader_stop{true};
    HANDLE reader = nullptr;
    std::atomic<bool> sender_stop{true};
    HANDLE sender = nullptr;
    ReportDecoder decoder;
    // From the reader to the window thread.
    CRITICAL_SECTION queue_lock;
    std::vector<std::vector<std::uint8_t>> queue;
    int queue_dropped = 0;
};

Tool tool;

struct ReaderStart {
    HANDLE device;
    std::uint16_t input_length;
};

void set_text(int id, const std::wstring& text) {
    SetDlgItemTextW(tool.window, id, text.c_str());
}

void append_state(const std::wstring& text) {
    HWND box = GetDlgItem(tool.window, IDC_STATE);
    const int end = GetWindowTextLengthW(box);
    SendMessageW(box, EM_SETSEL, static_cast<WPARAM>(end), static_cast<LPARAM>(end));
    SendMessageW(box, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
}

void append_state(const std::string& utf8_text) {
    append_state(utf8(utf8_text));
}

// A control that is disabled while it has the focus (OPEN and Close disable themselves) first
// hands the focus on to the next control: left on a disabled control, or on none, the focus
// would leave the window deaf to Esc and Tab.
void enable(int id, bool on) {
    HWND control = GetDlgItem(tool.window, id);
    if (!on && GetFocus() == control) {
        SendMessageW(tool.window, WM_NEXTDLGCTL, 0, FALSE);
    }
    EnableWindow(control, on ? TRUE : FALSE);
}

// The counter's next value, taken in one step so both senders never use the same one.
int advance_sequence() {
    int current = tool.sequence.load();
    while (!tool.sequence.compare_exchange_weak(current, next_sequence(current))) {
    }
    return next_sequence(current);
}

void show_sequence() {
    set_text(IDC_SEQNO, utf8(sequence_text(tool.sequence)));
}

DWORD WINAPI reader_main(void* parameter) {
    const ReaderStart start = *static_cast<ReaderStart*>(parameter);
    delete static_cast<ReaderStart*>(parameter);
    Sleep(100);
    const DWORD length = static_cast<DWORD>(read_length(start.input_length));
    std::vector<std::uint8_t> buffer(read_buffer_size(start.input_length));
    while (!tool.reader_stop.load()) {
        HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        if (event == nullptr) {
            Sleep(1);  // out of handles for now: try again without spinning
            continue;
        }
        OVERLAPPED overlapped{};
        overlapped.hEvent = event;
        std::fill(buffer.begin(), buffer.end(), 0);
        DWORD got = 0;
        bool completed = false;
        if (ReadFile(start.device, buffer.data(), length, &got, &overlapped)) {
            completed = true;
        } else if (GetLastError() == ERROR_IO_PENDING || GetLastError() == ERROR_MORE_DATA) {
            for (;;) {
                if (GetOverlappedResult(start.device, &overlapped, &got, FALSE) ||
                    GetLastError() == ERROR_MORE_DATA) {
                    completed = true;
                    break;
                }
                if (GetLastError() != ERROR_IO_INCOMPLETE) {
                    break;  // the read failed (keyboard unplugged)
                }
                if (tool.reader_stop.load()) {
                    // The read is this thread's: cancel it and wait until the system has let
                    // go of the buffer and the record.
                    CancelIo(start.device);
                    GetOverlappedResult(start.device, &overlapped, &got, TRUE);
                    break;
                }
                WaitForSingleObject(event, 1);
            }
        }
        if (completed) {
            EnterCriticalSection(&tool.queue_lock);
            if (tool.queue.size() < max_queued_reports) {
                tool.queue.emplace_back(buffer.begin(), buffer.begin() + got);
            } else {
                ++tool.queue_dropped;
            }
            LeaveCriticalSection(&tool.queue_lock);
        } else {
            Sleep(1);  // a read that fails at once must not spin
        }
        CloseHandle(event);
    }
    return 0;
}

// Sets `stop` and waits for `thread` as Close does: rounds of a 100 ms wait and a 100 ms
// sleep, ending it after about 20 s.
void stop_thread(std::atomic<bool>& stop, HANDLE& thread) {
    stop.store(true);
    if (thread == nullptr) {
        return;
    }
    int rounds = 0;
    while (WaitForSingleObject(thread, reader_stop_wait_ms) != WAIT_OBJECT_0) {
        if (++rounds > reader_stop_rounds) {
            TerminateThread(thread, 1);
            CancelIoEx(tool.device, nullptr);
            break;
        }
        Sleep(reader_stop_wait_ms);
    }
    CloseHandle(thread);
    thread = nullptr;
}

void stop_continuity() {
    stop_thread(tool.sender_stop, tool.sender);
    set_text(IDC_CONTINUITY, utf8(continuity_start_caption));
}

void show_reports();

// Close steps 1 and 2: stop the reader (and the continuous sender), forget the handle.
void stop_reader_and_close(bool clear_lengths) {
    stop_continuity();
    stop_thread(tool.reader_stop, tool.reader);
    KillTimer(tool.window, report_timer);
    show_reports();  // what came in before the reader stopped
    if (clear_lengths) {
        tool.input_length = 0;
        tool.output_length = 0;
    }
    if (tool.device != INVALID_HANDLE_VALUE) {
        CloseHandle(tool.device);
        tool.device = INVALID_HANDLE_VALUE;  // a later Send must not write to a reused handle
    }
}

void close_device() {
    stop_reader_and_close(true);
    enable(IDC_OPEN, true);
    enable(IDC_CLOSE, false);
    enable(IDC_CONTINUITY, false);
}

void open_device() {
    if (tool.device != INVALID_HANDLE_VALUE) {
        return;  // already open ("OPEN" is disabled; a stray command changes nothing)
    }
    if (!tool.search.bound()) {
        append_state(messages::hid_unbound);
        return;
    }
    const int choice =
        static_cast<int>(SendDlgItemMessageW(tool.window, IDC_MODEL, CB_GETCURSEL, 0, 0));
    const std::uint16_t product_id = product_id_for_model_choice(choice);
    if (tool.search.search(configured_vendor_id(), product_id, tool.paths) ==
        win32::DeviceSearch::SearchResult::no_interface_set) {
        append_state(messages::invalid_interface_set);
        return;
    }
    if (!tool.paths.paths().empty()) {
        append_state(messages::destination_found);
    } else {
        append_state(messages::no_destination);
        MessageBoxW(tool.window, utf8(messages::no_target_box).c_str(), nullptr, MB_OK);
    }
    if (tool.paths.skipped() > 0) {
        char text[64];
        std::snprintf(text, sizeof text, messages::paths_skipped, tool.paths.skipped());
        append_state(text);
    }
    const std::string path = tool.paths.first();
    append_state(messages::open_device);
    append_state(ansi(path + "\r\n"));
    HANDLE device = path.empty() ? INVALID_HANDLE_VALUE : tool.search.open(path);
    if (device == INVALID_HANDLE_VALUE) {
        append_state(messages::invalid_handle);
        append_state(ansi(path + "\r\n"));
        return;
    }
    std::string log;
    tool.search.report_lengths(device, path, tool.input_length, tool.output_length, log);
    append_state(log);
    append_state(report_lengths_text(tool.input_length, tool.output_length));
    tool.device = device;

    tool.reader_stop.store(false);
    auto* start = new ReaderStart{device, tool.input_length};
    tool.reader = CreateThread(nullptr, 0, reader_main, start, 0, nullptr);
    if (tool.reader == nullptr) {
        delete start;
    } else {
        SetTimer(tool.window, report_timer, report_timer_ms, nullptr);
    }
    enable(IDC_CLOSE, true);
    enable(IDC_OPEN, false);
    enable(IDC_CONTINUITY, true);
    Sleep(500);
    tool.sequence = 1;
    show_sequence();
}

// Write steps 1 to 4: true when the report was written. A write still pending when its
// steps have run out is cancelled and waited for, so its buffer outlives it.
bool write_report(HANDLE device, const std::vector<std::uint8_t>& buffer, std::size_t length) {
    HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (event == nullptr) {
        return false;
    }
    OVERLAPPED overlapped{};
    overlapped.hEvent = event;
    DWORD written = 0;
    bool ok = false;
    if (WriteFile(device, buffer.data(), static_cast<DWORD>(length), &written, &overlapped)) {
        ok = true;
    } else if (GetLastError() == ERROR_IO_PENDING) {
        const std::uint32_t steps = write_wait_steps(length);
        for (std::uint32_t step = 0; step < steps && !ok; ++step) {
            WaitForSingleObject(event, 10);
            ok = GetOverlappedResult(device, &overlapped, &written, FALSE) != 0;
        }
        if (!ok) {
            CancelIo(device);  // this thread's write only
            GetOverlappedResult(device, &overlapped, &written, TRUE);
        }
    }
    CloseHandle(event);
    return ok;
}

std::string command_text(bool& fits) {
    HWND box = GetDlgItem(tool.window, IDC_COMMAND);
    const int length = GetWindowTextLengthW(box);
    fits = length >= 0 && static_cast<std::size_t>(length) <= max_send_text;
    if (!fits) {
        return {};
    }
    std::wstring wide(static_cast<std::size_t>(length) + 1, L'\0');
    GetWindowTextW(box, wide.data(), length + 1);
    wide.resize(static_cast<std::size_t>(length));
    // The notation is ASCII: anything else becomes a character it refuses.
    std::string text;
    for (wchar_t c : wide) {
        text += c < 0x80 ? static_cast<char>(c) : '\x7F';
    }
    return text;
}

void send_command() {
    bool fits = false;
    const std::string text = command_text(fits);
    SendBuffer bytes;
    std::size_t count = 0;
    if (!fits || !convert_send_text(text, static_cast<std::uint8_t>(tool.sequence), bytes, count)) {
        append_state(messages::syntax_error);
        return;
    }
    const std::size_t length = write_length(tool.output_length, count);
    std::vector<std::uint8_t> buffer(send_buffer_size_for(tool.output_length), 0);
    std::copy(bytes.begin(), bytes.begin() + static_cast<long>(count), buffer.begin());
    const bool ok = write_report(tool.device, buffer, length);
    set_text(IDC_WRITEDATA, utf8(write_data_text(buffer, tool.output_length)));
    advance_sequence();
    show_sequence();
    append_state(ok ? messages::write_ok : messages::write_error);
}

struct SenderStart {
    HWND window;
    HANDLE device;
    std::uint16_t output_length;
};

DWORD WINAPI sender_main(void* parameter) {
    const SenderStart start = *static_cast<SenderStart*>(parameter);
    delete static_cast<SenderStart*>(parameter);
    std::vector<std::uint8_t> buffer(send_buffer_size_for(start.output_length));
    for (int step = 0; !tool.sender_stop.load(); step = (step + 1) % continuity_steps) {
        const auto frame = continuity_frame(step, advance_sequence());
        std::fill(buffer.begin(), buffer.end(), 0);
        std::copy(frame.begin(), frame.end(), buffer.begin());
        write_report(start.device, buffer, write_length(start.output_length, frame.size()));
        PostMessageW(start.window, wm_sequence, 0, 0);
        for (std::uint32_t waited = 0; waited < continuity_interval_ms && !tool.sender_stop.load();
             waited += 10) {
            Sleep(10);
        }
    }
    return 0;
}

void toggle_continuity() {
    if (tool.sender != nullptr) {
        stop_continuity();
        return;
    }
    if (tool.device == INVALID_HANDLE_VALUE) {
        return;  // only while a keyboard is open
    }
    tool.sender_stop.store(false);
    auto* start = new SenderStart{tool.window, tool.device, tool.output_length};
    tool.sender = CreateThread(nullptr, 0, sender_main, start, 0, nullptr);
    if (tool.sender == nullptr) {
        delete start;
        return;
    }
    set_text(IDC_CONTINUITY, utf8(continuity_stop_caption));
}

// Decodes every waiting report, then shows what they leave in the boxes.
void show_reports() {
    std::vector<std::vector<std::uint8_t>> reports;
    EnterCriticalSection(&tool.queue_lock);
    reports.swap(tool.queue);
    const int dropped = tool.queue_dropped;
    tool.queue_dropped = 0;
    LeaveCriticalSection(&tool.queue_lock);
    if (dropped > 0) {
        char text[64];
        std::snprintf(text, sizeof text, "Reports not shown: %d\r\n", dropped);
        append_state(text);
    }
    WindowView view;
    for (const std::vector<std::uint8_t>& report : reports) {
        merge_into(view, tool.decoder.decode(report));
    }
    if (!view.last) {
        return;
    }
    if (view.key_coordinate) {
        set_text(IDC_KEY, utf8(*view.key_coordinate));
    }
    if (view.touch_coordinate) {
        set_text(IDC_TOUCH, utf8(*view.touch_coordinate));
    }
    for (const std::optional<TrackRead>& track : view.tracks) {
        if (track) {
            set_text(IDC_TRACK1 + track->track - 1, utf8(track->data_text));
            set_text(IDC_RESULT1 + track->track - 1, utf8(match_text(track->match)));
        }
    }
    const DecodedReport& d = *view.last;
    set_text(IDC_HDR_ID, utf8(d.id));
    set_text(IDC_HDR_SIZE, utf8(d.size));
    set_text(IDC_HDR_DEVICENO, utf8(d.device_no));
    set_text(IDC_HDR_SEQNO, utf8(d.seq_no));
    set_text(IDC_HDR_DATAFIELD, utf8(d.data_field));
    set_text(IDC_HDR_CHECKSUM, utf8(d.checksum));
}

void select_entry() {
    const LRESULT index = SendDlgItemMessageW(tool.window, IDC_NAME_LIST, LB_GETCURSEL, 0, 0);
    if (index < 0 || static_cast<std::size_t>(index) >= tool.script.entries.size()) {
        return;  // nothing listed or nothing chosen
    }
    set_text(IDC_COMMAND, ansi(tool.script.entries[static_cast<std::size_t>(index)].data));
}

void load_script() {
    char directory[1024];
    const DWORD n = GetCurrentDirectoryA(sizeof directory, directory);
    std::string path;
    ScriptStatus status = ScriptStatus::open_error;
    if (n > 0 && n < sizeof directory && script_path(directory, path)) {
        ProfileFile file(path);
        status = report_tester::load_script(file, tool.script);
    }
    if (status != ScriptStatus::loaded) {
        append_state(script_message(status));
        return;
    }
    const Script& s = tool.script;
    set_text(IDC_EQUIPMENT,
             ansi(s.equipment_name + "  VID " + s.equipment_vid + "  PID " + s.equipment_pid));
    for (const SendEntry& entry : s.entries) {
        SendDlgItemMessageW(tool.window, IDC_NAME_LIST, LB_ADDSTRING, 0,
                            reinterpret_cast<LPARAM>(ansi(entry.name).c_str()));
    }
    if (!s.entries.empty()) {
        set_text(IDC_COMMAND, ansi(s.entries[0].data));
        SendDlgItemMessageW(tool.window, IDC_NAME_LIST, LB_SETCURSEL, 0, 0);
    }
    std::string message;
    if (!tool.search.bind(message)) {
        append_state(message);
    }
}

// The "コマンド" group and the "State" box show Japanese on every code page: they get the
// window's font in the Japanese character set, so the font mapper picks one with its glyphs.
void use_japanese_font(HWND window) {
    LOGFONTW lf{};
    HFONT base = reinterpret_cast<HFONT>(SendMessageW(window, WM_GETFONT, 0, 0));
    if (base == nullptr || GetObjectW(base, sizeof lf, &lf) == 0) {
        return;
    }
    lf.lfCharSet = SHIFTJIS_CHARSET;
    lstrcpynW(lf.lfFaceName, L"MS UI Gothic", LF_FACESIZE);
    HFONT japanese = CreateFontIndirectW(&lf);  // lives as long as the window
    if (japanese == nullptr) {
        return;
    }
    for (int id : {IDC_COMMAND_GROUP, IDC_STATE}) {
        SendDlgItemMessageW(window, id, WM_SETFONT, reinterpret_cast<WPARAM>(japanese), TRUE);
    }
}

void initialise(HWND window) {
    tool.window = window;
    use_japanese_font(window);
    tool.paths.clear();
    for (const wchar_t* model : {L"ReedKeyBoard", L"LarchKeyBoard"}) {
        SendDlgItemMessageW(window, IDC_MODEL, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(model));
    }
    enable(IDC_CLOSE, false);
    SendDlgItemMessageW(window, IDC_COMMAND, EM_LIMITTEXT, max_send_text, 0);
    SendDlgItemMessageW(window, IDC_STATE, EM_LIMITTEXT, 0, 0);  // the log keeps everything
    show_sequence();
    load_script();
}

LRESULT CALLBACK window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_COMMAND:
            switch (LOWORD(wparam)) {
                case IDC_OPEN:
                    open_device();
                    return 0;
                case IDC_CLOSE:
                    close_device();
                    return 0;
                case IDC_SEND:
                    send_command();
                    return 0;
                case IDC_CONTINUITY:
                    toggle_continuity();
                    return 0;
                case IDC_SEQNO_RESET:
                    tool.sequence = 1;
                    show_sequence();
                    return 0;
                case IDC_MSR_CLEAR:
                    for (int t = 0; t < track_count; ++t) {
                        set_text(IDC_TRACK1 + t, L"");
                    }
                    return 0;
                case IDC_NAME_LIST:
                    if (HIWORD(wparam) == LBN_SELCHANGE) {
                        select_entry();
                    }
                    return 0;
                case IDCANCEL:
                    PostMessageW(window, WM_CLOSE, 0, 0);
                    return 0;
                default:
                    break;
            }
            break;
        case wm_sequence:
            show_sequence();
            return 0;
        case WM_TIMER:
            if (wparam == report_timer) {
                show_reports();
                return 0;
            }
            break;
        case WM_CLOSE:
            if (tool.reader != nullptr || tool.device != INVALID_HANDLE_VALUE) {
                stop_reader_and_close(false);
                enable(IDC_CLOSE, false);
                enable(IDC_CONTINUITY, false);
            }
            DestroyWindow(window);
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        default:
            break;
    }
    return DefDlgProcW(window, message, wparam, lparam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
    InitializeCriticalSection(&tool.queue_lock);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = window_proc;
    wc.cbWndExtra = DLGWINDOWEXTRA;
    wc.hInstance = instance;
    wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_SONDER));
    wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = window_class;
    if (RegisterClassExW(&wc) == 0) {
        return 0;
    }
    HWND window = CreateDialogW(instance, MAKEINTRESOURCEW(IDD_MAIN), nullptr, nullptr);
    if (window == nullptr) {
        MessageBoxW(nullptr, utf8(messages::cant_create_window).c_str(), window_class,
                    MB_OK | MB_ICONERROR);
        return 0;
    }
    initialise(window);
    ShowWindow(window, show);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (!IsDialogMessageW(window, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    return static_cast<int>(msg.wParam);
}
