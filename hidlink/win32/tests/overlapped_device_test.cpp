// The overlapped I/O both Windows backends share, on a message-mode pipe whose server end the
// test plays. Runs under Wine.
#include "hidlink/win32/overlapped_device.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

namespace hidlink::win32 {
namespace {

class PipeDevice : public OverlappedDevice {
  public:
    using OverlappedDevice::OverlappedDevice;
    bool load_preparsed_data() override { return true; }
    bool attributes(std::uint16_t&, std::uint16_t&) override { return false; }
    bool capabilities(Capabilities&) override { return false; }
    bool button_capabilities(ReportKind, std::vector<CapabilityRecord>&) override { return false; }
    bool value_capabilities(ReportKind, std::vector<CapabilityRecord>&) override { return false; }
    std::uint32_t max_usage_list_length(ReportKind, std::uint16_t) override { return 0; }
};

// A connected pipe: `server` is ours, `device` runs the code under test on the client end.
struct PipePair {
    PipePair() {
        static int count = 0;
        const std::string path = "\\\\.\\pipe\\kbd-overlapped-test-" +
                                 std::to_string(GetCurrentProcessId()) + "-" +
                                 std::to_string(++count);
        server = CreateNamedPipeA(path.c_str(), PIPE_ACCESS_DUPLEX,
                                  PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, 1, 4096,
                                  4096, 0, nullptr);
        HANDLE client = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
        DWORD mode = PIPE_READMODE_MESSAGE;
        SetNamedPipeHandleState(client, &mode, nullptr, nullptr);
        ConnectNamedPipe(server, nullptr);  // already connected: ERROR_PIPE_CONNECTED
        device = std::make_unique<PipeDevice>(client);
    }
    ~PipePair() {
        device.reset();
        if (server != INVALID_HANDLE_VALUE) {
            CloseHandle(server);
        }
    }
    void send(const Frame& frame) {
        DWORD written = 0;
        ASSERT_TRUE(WriteFile(server, frame.data(), frame.size(), &written, nullptr));
    }
    Frame receive() {
        Frame frame{};
        DWORD read = 0;
        ReadFile(server, frame.data(), frame.size(), &read, nullptr);
        return frame;
    }

    HANDLE server = INVALID_HANDLE_VALUE;
    std::unique_ptr<PipeDevice> device;
};

Frame numbered_frame(std::uint8_t n) {
    const std::uint8_t payload[] = {n, n, n};
    return make_frame(0x42, payload);
}

TEST(OverlappedDevice, PhaseEventIsOneNamedEventPerNameEvenWhenTheNameIsTaken) {
    HANDLE first = phase_event("KbdOverlappedTestEvent");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(phase_event("KbdOverlappedTestEvent"), first);
    HANDLE opened = OpenEventA(SYNCHRONIZE, FALSE, "KbdOverlappedTestEvent");
    EXPECT_NE(opened, nullptr);
    CloseHandle(opened);

    // A mutex holds the name: waits must still be bounded by an event of our own.
    HANDLE mutex = CreateMutexA(nullptr, FALSE, "KbdOverlappedTestTaken");
    HANDLE fallback = phase_event("KbdOverlappedTestTaken");
    ASSERT_NE(fallback, nullptr);
    EXPECT_EQ(WaitForSingleObject(fallback, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    CloseHandle(mutex);
}

TEST(OverlappedDevice, WriteThenPendingReadCompletesIntoTheCallersBuffer) {
    PipePair pipe;
    pipe.device->begin_phase("KbdOverlappedTestPhase");
    EXPECT_EQ(pipe.device->start_write(numbered_frame(1)), IoStatus::done);
    EXPECT_EQ(pipe.receive(), numbered_frame(1));

    Frame reply;
    reply.fill(0xEE);
    ASSERT_EQ(pipe.device->start_read(reply), IoStatus::pending);
    EXPECT_EQ(reply, Frame{});  // zero-filled at the start of the read
    EXPECT_FALSE(pipe.device->io_complete());
    pipe.send(numbered_frame(2));
    pipe.device->wait_event(1000);
    ASSERT_TRUE(pipe.device->io_complete());
    EXPECT_EQ(reply, numbered_frame(2));
    EXPECT_FALSE(pipe.device->io_complete());  // nothing outstanding any more

    pipe.send(numbered_frame(3));  // already waiting: the read completes at once
    EXPECT_EQ(pipe.device->start_read(reply), IoStatus::done);
    EXPECT_EQ(reply, numbered_frame(3));
}

TEST(OverlappedDevice, CancelledReadNeverWritesIntoTheCallersBuffer) {
    PipePair pipe;
    pipe.device->begin_phase("KbdOverlappedTestPhase");
    Frame abandoned{};
    ASSERT_EQ(pipe.device->start_read(abandoned), IoStatus::pending);
    pipe.device->cancel_io();
    EXPECT_FALSE(pipe.device->io_complete());
    // The event is left reset, so the next wait really waits.
    EXPECT_EQ(WaitForSingleObject(phase_event("KbdOverlappedTestPhase"), 0),
              static_cast<DWORD>(WAIT_TIMEOUT));

    pipe.send(numbered_frame(4));
    Sleep(20);
    EXPECT_EQ(abandoned, Frame{});
    // The late reply was not swallowed by the cancelled read: the next read gets it.
    Frame next{};
    EXPECT_EQ(pipe.device->start_read(next), IoStatus::done);
    EXPECT_EQ(next, numbered_frame(4));
}

TEST(OverlappedDevice, ClosingWithAReadPendingCancelsItAndClosesTheHandle) {
    PipePair pipe;
    pipe.device->begin_phase("KbdOverlappedTestPhase");
    Frame reply{};
    ASSERT_EQ(pipe.device->start_read(reply), IoStatus::pending);
    pipe.device.reset();
    // The client end is gone: the server sees the pipe broken, not a client still waiting.
    DWORD written = 0;
    Frame frame = numbered_frame(5);
    EXPECT_FALSE(WriteFile(pipe.server, frame.data(), frame.size(), &written, nullptr));
    EXPECT_EQ(reply, Frame{});
}

TEST(OverlappedDevice, ReadThatFailedDoesNotTurnTheWaitIntoASpin) {
    PipePair pipe;
    pipe.device->begin_phase("KbdOverlappedTestPhase");
    Frame reply{};
    ASSERT_EQ(pipe.device->start_read(reply), IoStatus::pending);
    CloseHandle(pipe.server);  // the keyboard vanishes: the read ends with an error
    pipe.server = INVALID_HANDLE_VALUE;
    Sleep(20);

    EXPECT_FALSE(pipe.device->io_complete());  // an error is not a reply
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 5; ++i) {
        pipe.device->wait_event(8);
    }
    // A spin would take no time at all; sleeps take about 40 ms.
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(20));
    pipe.device->cancel_io();
    EXPECT_EQ(pipe.device->start_read(reply), IoStatus::failed);
}

TEST(OverlappedDevice, EventLeftSignalledByAnotherProcessDoesNotTurnTheWaitIntoASpin) {
    PipePair pipe;
    pipe.device->begin_phase("KbdOverlappedTestShared");
    Frame reply{};
    ASSERT_EQ(pipe.device->start_read(reply), IoStatus::pending);
    // Another holder of the name sets the event and leaves it set.
    HANDLE other = OpenEventA(EVENT_MODIFY_STATE, FALSE, "KbdOverlappedTestShared");
    ASSERT_NE(other, nullptr);
    SetEvent(other);

    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 5; ++i) {
        pipe.device->wait_event(8);
    }
    // A spin returns at once each time; sleeping out the slices takes about 40 ms.
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(25));
    EXPECT_FALSE(pipe.device->io_complete());

    // Our own completion still ends the wait and is taken.
    pipe.send(numbered_frame(6));
    pipe.device->wait_event(1000);
    EXPECT_TRUE(pipe.device->io_complete());
    EXPECT_EQ(reply, numbered_frame(6));
    CloseHandle(other);
}

TEST(OverlappedDevice, ClosedPhaseEventsAreCreatedAnewOnNextUse) {
    HANDLE first = phase_event("KbdOverlappedTestClosed");
    ASSERT_NE(first, nullptr);
    close_phase_events();
    // The handle is gone: nothing else holds the name, so the event no longer exists.
    EXPECT_EQ(OpenEventA(SYNCHRONIZE, FALSE, "KbdOverlappedTestClosed"), nullptr);
    HANDLE again = phase_event("KbdOverlappedTestClosed");
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(WaitForSingleObject(again, 0), static_cast<DWORD>(WAIT_TIMEOUT));
}

}  // namespace
}  // namespace hidlink::win32
