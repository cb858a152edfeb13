#include "simulator/win32/pipe_server.h"

#include <algorithm>
#include <cstdio>
#include <mutex>

#include "simclient/listing.h"
#include "simclient/win32/pipes.h"
#include "simulator/input_report.h"

namespace simulator::win32 {

namespace {

DWORD WINAPI run_thread_body(void* parameter) {
    std::unique_ptr<std::function<void()>> body(static_cast<std::function<void()>*>(parameter));
    (*body)();
    return 0;
}

// Generous: a key map read answers one request with 9 frames at once.
constexpr DWORD pipe_buffer_bytes = 4096;
// Instances listening per pipe, so one is always there while another is being connected.
constexpr int listeners_per_pipe = 2;
constexpr int control_pipe = -1;  // listen()'s interface id for the control pipe
constexpr std::size_t max_request_bytes = 64 * 1024;
// An input report nobody reads for this long is dropped for that connection (a HID device's
// buffer overflows the same way); it never holds up the control request.
constexpr DWORD input_report_patience_ms = 1000;
// After the frame that unplugs an interface, the replies already written get this long to be
// read before the interface's pipes close.
constexpr DWORD unplug_grace_ms = 50;

HANDLE create_instance(const std::string& path) {
    return CreateNamedPipeA(path.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                            PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT,
                            PIPE_UNLIMITED_INSTANCES, pipe_buffer_bytes, pipe_buffer_bytes, 0,
                            nullptr);
}

// An unnamed event for one thread's overlapped I/O.
class IoEvent {
  public:
    IoEvent() : handle_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
    ~IoEvent() { CloseHandle(handle_); }
    IoEvent(const IoEvent&) = delete;
    IoEvent& operator=(const IoEvent&) = delete;
    HANDLE get() const { return handle_; }

  private:
    HANDLE handle_;
};

enum class Wait { done, more_data, failed, stopped };

// Ends an overlapped operation that `started` returned for: waits for it, or cancels it when
// `stop` is signalled first.
Wait finish(HANDLE pipe, OVERLAPPED& overlapped, BOOL started, HANDLE stop, DWORD& bytes) {
    if (!started) {
        DWORD error = GetLastError();
        if (error == ERROR_IO_PENDING) {
            HANDLE events[2] = {overlapped.hEvent, stop};
            if (WaitForMultipleObjects(2, events, FALSE, INFINITE) != WAIT_OBJECT_0) {
                CancelIo(pipe);
                GetOverlappedResult(pipe, &overlapped, &bytes, TRUE);
                return Wait::stopped;
            }
        } else if (error != ERROR_MORE_DATA) {
            return Wait::failed;
        }
    }
    if (GetOverlappedResult(pipe, &overlapped, &bytes, FALSE)) {
        return Wait::done;
    }
    return GetLastError() == ERROR_MORE_DATA ? Wait::more_data : Wait::failed;
}

// Reads one whole message, keeping at most `limit` bytes of it; `total` is its real length.
// False when the client has gone or `stop` was signalled.
bool read_message(HANDLE pipe, HANDLE event, HANDLE stop, std::size_t limit, std::string& message,
                  std::size_t& total) {
    message.clear();
    total = 0;
    for (;;) {
        char chunk[512];
        OVERLAPPED overlapped{};
        overlapped.hEvent = event;
        DWORD bytes = 0;
        BOOL started = ReadFile(pipe, chunk, sizeof chunk, &bytes, &overlapped);
        Wait result = finish(pipe, overlapped, started, stop, bytes);
        if (result == Wait::failed || result == Wait::stopped) {
            return false;
        }
        total += bytes;
        message.append(chunk, std::min<std::size_t>(bytes, limit - message.size()));
        if (result == Wait::done) {
            return true;
        }
    }
}

bool write_message(HANDLE pipe, HANDLE event, HANDLE stop, const void* data, DWORD size) {
    OVERLAPPED overlapped{};
    overlapped.hEvent = event;
    DWORD bytes = 0;
    BOOL started = WriteFile(pipe, data, size, &bytes, &overlapped);
    return finish(pipe, overlapped, started, stop, bytes) == Wait::done && bytes == size;
}

// A write that gives up after `patience_ms`, leaving no I/O outstanding.
bool write_bounded(HANDLE pipe, const void* data, DWORD size, DWORD patience_ms) {
    IoEvent event;
    OVERLAPPED overlapped{};
    overlapped.hEvent = event.get();
    DWORD bytes = 0;
    BOOL started = WriteFile(pipe, data, size, &bytes, &overlapped);
    if (!started && GetLastError() == ERROR_IO_PENDING &&
        WaitForSingleObject(overlapped.hEvent, patience_ms) != WAIT_OBJECT_0) {
        CancelIo(pipe);
        GetOverlappedResult(pipe, &overlapped, &bytes, TRUE);
        return false;
    }
    if (!started && GetLastError() != ERROR_IO_PENDING) {
        return false;
    }
    return GetOverlappedResult(pipe, &overlapped, &bytes, FALSE) && bytes == size;
}

bool signalled(HANDLE event) {
    return WaitForSingleObject(event, 0) == WAIT_OBJECT_0;
}

std::string trimmed(const std::string& text) {
    std::size_t begin = text.find_first_not_of(" \t\r\n");
    if (begin == std::string::npos) {
        return "";
    }
    std::size_t end = text.find_last_not_of(" \t\r\n");
    return text.substr(begin, end - begin + 1);
}

}  // namespace

bool start_thread(std::function<void()> body) {
    auto owned = std::make_unique<std::function<void()>>(std::move(body));
    HANDLE thread = CreateThread(nullptr, 0, run_thread_body, owned.get(), 0, nullptr);
    if (thread == nullptr) {
        return false;
    }
    (void)owned.release();  // the thread deletes it
    CloseHandle(thread);
    return true;
}

PipeServer::Session::Session() : stop(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}

PipeServer::Session::~Session() {
    CloseHandle(stop);
}

PipeServer::PipeServer(Simulation& simulation, std::string pipe_name)
    : simulation_(simulation),
      pipe_name_(std::move(pipe_name)),
      quit_event_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {
    QueryPerformanceFrequency(&frequency_);
    QueryPerformanceCounter(&start_time_);
    delay_execution_ = reinterpret_cast<DelayExecution>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtDelayExecution")));
    for (const InterfaceInfo& info : simulation_.interfaces()) {
        endpoints_.push_back(
            {info.id, simclient::win32::interface_pipe_path(pipe_name_, info.id), nullptr});
    }
}

std::uint64_t PipeServer::now_ms() const {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<std::uint64_t>((now.QuadPart - start_time_.QuadPart) * 1000 /
                                      frequency_.QuadPart);
}

void PipeServer::wait_turnaround() const {
    if (turnaround_us_ == 0) {
        return;
    }
    // Sleep() counts whole milliseconds; NtDelayExecution takes 100 ns units. Sleeping, not
    // spinning, leaves the processor to the client that is about to start its read.
    if (delay_execution_ == nullptr) {
        Sleep(1);
        return;
    }
    LARGE_INTEGER interval;
    interval.QuadPart = -10LL * turnaround_us_;  // negative: relative to now
    delay_execution_(FALSE, &interval);
}

bool PipeServer::start(std::string& error) {
    std::lock_guard<SlimLock> guard(lock_);
    // One simulator per name. A named mutex says so reliably (Wine does not enforce
    // FILE_FLAG_FIRST_PIPE_INSTANCE); it is released when the process ends.
    const std::string owner_name = "kbdsim pipe " + pipe_name_;
    HANDLE owner = CreateMutexA(nullptr, FALSE, owner_name.c_str());
    if (owner == nullptr || GetLastError() == ERROR_ALREADY_EXISTS) {
        error = "another simulator already serves pipe " + pipe_name_;
        return false;
    }
    const std::string control_path = simclient::win32::control_pipe_path(pipe_name_);
    control_session_ = std::make_shared<Session>();
    for (int i = 0; i < listeners_per_pipe; ++i) {
        HANDLE instance = create_instance(control_path);
        if (instance == INVALID_HANDLE_VALUE ||
            !start_listener(control_path, instance, control_session_, control_pipe)) {
            error = "cannot serve pipe " + control_path;
            return false;
        }
    }
    return sync_plug_state(error);
}

bool PipeServer::sync_plug_state(std::string& error) {
    bool ok = true;
    for (const InterfaceInfo& info : simulation_.interfaces()) {
        auto endpoint = std::find_if(endpoints_.begin(), endpoints_.end(),
                                     [&](const Endpoint& e) { return e.id == info.id; });
        if (endpoint == endpoints_.end()) {
            continue;  // interfaces are fixed at construction; nothing new can appear
        }
        if (!opens_for_read_write(info)) {
            continue;  // never served: an open of it fails, as Windows refuses it
        }
        if (info.plugged && !endpoint->session) {
            ok = start_serving(*endpoint, error) && ok;
        } else if (!info.plugged && endpoint->session) {
            // Unplugged: its listeners and connections close, so clients see it vanish.
            SetEvent(endpoint->session->stop);
            endpoint->session.reset();
        }
    }
    return ok;
}

bool PipeServer::start_serving(Endpoint& endpoint, std::string& error) {
    auto session = std::make_shared<Session>();
    for (int i = 0; i < listeners_per_pipe; ++i) {
        // Created here, not in the listener thread, so the pipe exists when we return.
        HANDLE instance = create_instance(endpoint.path);
        if (instance == INVALID_HANDLE_VALUE ||
            !start_listener(endpoint.path, instance, session, endpoint.id)) {
            SetEvent(session->stop);
            error = "cannot serve pipe " + endpoint.path;
            return false;
        }
    }
    endpoint.session = session;
    return true;
}

bool PipeServer::start_listener(const std::string& path, HANDLE first_instance,
                                const std::shared_ptr<Session>& session, int interface_id) {
    if (start_thread([this, path, first_instance, session, interface_id] {
            listen(path, first_instance, session, interface_id);
        })) {
        return true;
    }
    CloseHandle(first_instance);
    return false;
}

void PipeServer::listen(const std::string& path, HANDLE instance,
                        const std::shared_ptr<Session>& session, int interface_id) {
    IoEvent event;
    for (;;) {
        if (signalled(session->stop)) {
            if (instance != INVALID_HANDLE_VALUE) {
                CloseHandle(instance);
            }
            return;
        }
        if (instance == INVALID_HANDLE_VALUE) {
            instance = create_instance(path);
            if (instance == INVALID_HANDLE_VALUE) {
                WaitForSingleObject(session->stop, 100);  // out of resources: try again
                continue;
            }
        }
        OVERLAPPED overlapped{};
        overlapped.hEvent = event.get();
        DWORD bytes = 0;
        BOOL started = ConnectNamedPipe(instance, &overlapped);
        bool connected = (!started && GetLastError() == ERROR_PIPE_CONNECTED) ||
                         finish(instance, overlapped, started, session->stop, bytes) == Wait::done;
        // The next instance exists before this one is given up. Otherwise the pipe could be
        // left without any instance for a moment (a served connection ended, a client gone
        // before its connection was taken), and a client opening it then would be told that
        // no such pipe exists: "not found".
        HANDLE next = signalled(session->stop) ? INVALID_HANDLE_VALUE : create_instance(path);
        if (connected) {
            serve(instance, interface_id, session);
        } else {
            CloseHandle(instance);
        }
        instance = next;  // when it could not be created, the top of the loop tries again
    }
}

void PipeServer::serve(HANDLE pipe, int interface_id, const std::shared_ptr<Session>& session) {
    bool started = interface_id == control_pipe
                       ? start_thread([this, pipe, session] { serve_control(pipe, session); })
                       : start_thread([this, pipe, interface_id, session] {
                             serve_interface(pipe, interface_id, session);
                         });
    if (!started) {
        CloseHandle(pipe);  // the client sees the pipe break instead of waiting in vain
    }
}

void PipeServer::serve_interface(HANDLE pipe, int interface_id,
                                 const std::shared_ptr<Session>& session) {
    IoEvent event;
    std::string message;
    std::size_t total = 0;
    auto connection = std::make_shared<Connection>(pipe);
    {
        std::lock_guard<SlimLock> guard(lock_);
        connections_[interface_id].push_back(connection);
    }
    while (read_message(pipe, event.get(), session->stop, hidlink::frame_size, message, total)) {
        if (total != hidlink::frame_size) {
            // A HID device refuses a write of the wrong length; the client then waits in vain.
            std::fprintf(stderr, "kbdsim: interface %d ignored a write of %zu bytes\n",
                         interface_id, total);
            continue;
        }
        hidlink::Frame frame{};
        std::copy(message.begin(), message.end(), frame.begin());
        Response response;
        {
            std::lock_guard<SlimLock> guard(lock_);
            response = simulation_.on_frame(interface_id, frame, now_ms());
        }
        bool answered = true;
        if (!response.replies.empty()) {
            wait_turnaround();
        }
        for (const Reply& reply : response.replies) {
            if (reply.delay_ms > 0 &&
                WaitForSingleObject(session->stop, reply.delay_ms) != WAIT_TIMEOUT) {
                answered = false;
                break;
            }
            if (!write_message(pipe, event.get(), session->stop, reply.frame.data(),
                               hidlink::frame_size)) {
                answered = false;
                break;
            }
        }
        if (response.unplug) {
            Sleep(unplug_grace_ms);
            std::lock_guard<SlimLock> guard(lock_);
            std::string error;
            sync_plug_state(error);
        }
        if (!answered) {
            break;
        }
    }
    std::lock_guard<SlimLock> guard(lock_);
    auto& open = connections_[interface_id];
    open.erase(std::remove(open.begin(), open.end(), connection), open.end());
}  // the pipe closes with the last holder of `connection`

void PipeServer::serve_control(HANDLE pipe, const std::shared_ptr<Session>& session) {
    IoEvent event;
    std::string request;
    std::size_t total = 0;
    bool quit = false;
    while (read_message(pipe, event.get(), session->stop, max_request_bytes, request, total)) {
        std::string answer =
            total > max_request_bytes ? "error: request too long" : handle_request(request, quit);
        if (!write_message(pipe, event.get(), session->stop, answer.data(),
                           static_cast<DWORD>(answer.size()))) {
            break;
        }
    }
    // A "quit" takes effect once its client has read the answer and gone.
    CloseHandle(pipe);
    if (quit) {
        SetEvent(quit_event_);
    }
}

std::string PipeServer::handle_request(const std::string& text, bool& quit) {
    const std::string request = trimmed(text);
    if (request == "quit") {
        quit = true;
        return "ok";
    }
    if (is_input_report_command(request)) {
        return deliver_input_report(request);
    }
    std::lock_guard<SlimLock> guard(lock_);
    if (request == simclient::win32::list_request) {
        return listing();
    }
    std::string error;
    if (!simulation_.apply_command(request, error, now_ms())) {
        return "error: " + error;
    }
    if (!sync_plug_state(error)) {
        return "error: " + error;
    }
    return "ok";
}

std::string PipeServer::deliver_input_report(const std::string& request) {
    int model = 0;
    hidlink::Frame report{};
    std::string error;
    if (!parse_input_report(request, model, report, error)) {
        return "error: " + error;
    }
    std::vector<std::shared_ptr<Connection>> targets;
    {
        std::lock_guard<SlimLock> guard(lock_);
        if (!simulation_.input_report(model, report, now_ms(), error)) {
            return "error: " + error;
        }
        targets = connections_[model];  // a vendor interface's id is its model
    }
    for (const std::shared_ptr<Connection>& connection : targets) {
        write_bounded(connection->pipe, report.data(), hidlink::frame_size,
                      input_report_patience_ms);
    }
    return "ok";
}

std::string PipeServer::listing() {
    std::vector<simclient::ListedInterface> listed;
    for (const InterfaceInfo& info : simulation_.interfaces()) {
        if (!info.plugged) {
            continue;
        }
        simclient::ListedInterface entry;
        entry.id = info.id;
        entry.vendor_id = info.vendor_id;
        entry.product_id = info.product_id;
        entry.caps = capabilities_of(info);
        for (int k = 0; k < hidlink::report_kind_count; ++k) {
            const auto kind = static_cast<hidlink::ReportKind>(k);
            entry.button_records[k] = button_capabilities_of(info, kind);
            entry.value_records[k] = value_capabilities_of(info, kind);
        }
        listed.push_back(std::move(entry));
    }
    return simclient::format_listing(listed);
}

}  // namespace simulator::win32
