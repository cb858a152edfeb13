#pragma once
// kbdsim.exe's server: a Simulation served on named pipes (see simclient/win32/pipes.h for
// the names). Message-mode pipes, one 38-byte report per message. Every plugged interface and
// the control pipe keep instances listening at all times; each connection is served by its own
// thread, so a delayed reply holds up only the connection it answers. One lock guards the
// Simulation and the table of served interfaces.
#include <windows.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "simulator/simulation.h"

namespace simulator::win32 {

// Runs `body` on a new plain Win32 thread that nobody joins; false when none could be started.
// kbdsim starts a thread per connection, many short-lived ones. MinGW's detached std::thread
// (winpthreads) does not stand that under Wine: some threads never run and others start
// without their arguments (a null dereference in the thread start), so kbdsim never uses it.
bool start_thread(std::function<void()> body);

// A Win32 slim lock: owned by no thread library, and `lock` may be called from any thread.
class SlimLock {
  public:
    void lock() { AcquireSRWLockExclusive(&lock_); }
    void unlock() { ReleaseSRWLockExclusive(&lock_); }

  private:
    SRWLOCK lock_ = SRWLOCK_INIT;
};

class PipeServer {
  public:
    PipeServer(Simulation& simulation, std::string pipe_name);

    // Creates the control pipe's first instances and those of every plugged interface, so
    // clients can connect as soon as this returns. False (with a message) when the name is
    // already served or the pipes cannot be created.
    bool start(std::string& error);

    // A control request from the control pipe or from standard input: "list" gives the
    // interface listing, "quit" sets `quit` (the caller stops the server once the answer is
    // out), anything else is a control command of the Simulation. Answers "ok",
    // "error: <why>" or the listing.
    std::string handle_request(const std::string& request, bool& quit);

    // Signalled once a "quit" from the control pipe has been answered; set it to stop.
    HANDLE quit_event() const { return quit_event_; }

    // Holds the lock for good: for ending the process without a thread inside the Simulation
    // or writing the frame log.
    void freeze() { lock_.lock(); }

    std::uint64_t now_ms() const;

    // How long the keyboard takes to answer a frame before its first reply, in microseconds
    // (0: at once). A real keyboard needs at least a USB frame; the link benchmark uses this
    // so that the PC is already waiting when the reply comes.
    void set_turnaround_us(std::uint32_t us) { turnaround_us_ = us; }

  private:
    // One serving period of an interface (plug to unplug): its listeners and connections end
    // when `stop` is signalled.
    struct Session {
        Session();
        ~Session();
        HANDLE stop;
    };
    // One client's handle on an interface pipe; closed when the last holder lets go, so an
    // input report being delivered never writes to a handle that was closed and reused.
    struct Connection {
        explicit Connection(HANDLE p) : pipe(p) {}
        ~Connection() { CloseHandle(pipe); }
        Connection(const Connection&) = delete;
        Connection& operator=(const Connection&) = delete;
        HANDLE pipe;
    };
    struct Endpoint {
        int id = 0;
        std::string path;
        std::shared_ptr<Session> session;  // null while unplugged
    };

    // Starts or stops serving interfaces to match their plug state; lock held.
    bool sync_plug_state(std::string& error);
    bool start_serving(Endpoint& endpoint, std::string& error);
    std::string listing();  // lock held
    // "report <model> <bytes>": logs the report and writes it to every open connection of the
    // model's vendor interface.
    std::string deliver_input_report(const std::string& request);
    void wait_turnaround() const;

    // Starts a listener thread on `first_instance`; false (instance closed) when it cannot.
    bool start_listener(const std::string& path, HANDLE first_instance,
                        const std::shared_ptr<Session>& session, int interface_id);
    void listen(const std::string& path, HANDLE instance, const std::shared_ptr<Session>& session,
                int interface_id);
    // Hands a connected instance to a thread of its own; closes it when none can be started.
    void serve(HANDLE pipe, int interface_id, const std::shared_ptr<Session>& session);
    void serve_interface(HANDLE pipe, int interface_id, const std::shared_ptr<Session>& session);
    void serve_control(HANDLE pipe, const std::shared_ptr<Session>& session);

    Simulation& simulation_;
    std::string pipe_name_;
    SlimLock lock_;
    std::vector<Endpoint> endpoints_;
    std::map<int, std::vector<std::shared_ptr<Connection>>> connections_;  // by interface id
    std::shared_ptr<Session> control_session_;  // never stopped: the control pipe lives on
    HANDLE quit_event_;
    std::uint32_t turnaround_us_ = 0;
    using DelayExecution = LONG(NTAPI*)(BOOLEAN alertable, PLARGE_INTEGER interval);
    DelayExecution delay_execution_ = nullptr;  // ntdll's, for sub-millisecond turnarounds
    LARGE_INTEGER start_time_{};
    LARGE_INTEGER frequency_{};
};

}  // namespace simulator::win32
