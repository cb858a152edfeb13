// The sim backend's side of kbdsim's pipes, against a pipe server the test plays: waiting for
// a busy pipe, no simulator, an answer longer than one read, and a server that never answers.
// Runs under Wine.
#include "simclient/win32/pipes.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

namespace simclient::win32 {
namespace {

std::string unique_name(const char* what) {
    static int count = 0;
    return std::string("kbd-sim-pipe-test-") + what + "-" + std::to_string(GetCurrentProcessId()) +
           "-" + std::to_string(++count);
}

HANDLE create_server(const std::string& path) {
    return CreateNamedPipeA(path.c_str(), PIPE_ACCESS_DUPLEX,
                            PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, 1, 4096, 4096, 0,
                            nullptr);
}

ULONGLONG elapsed_since(ULONGLONG start) {
    return GetTickCount64() - start;
}

TEST(SimPipe, ABusyPipeIsWaitedForUntilItsInstanceIsFree) {
    const std::string path = control_pipe_path(unique_name("busy"));
    HANDLE server = create_server(path);
    ASSERT_NE(server, INVALID_HANDLE_VALUE);
    HANDLE first = open_sim_pipe(path, 1000);
    ASSERT_NE(first, INVALID_HANDLE_VALUE);

    // The only instance is taken; it is free again once the first client has gone.
    std::thread release([&] {
        Sleep(300);
        CloseHandle(first);
        DisconnectNamedPipe(server);
        ConnectNamedPipe(server, nullptr);  // returns when the second client comes
    });
    const ULONGLONG start = GetTickCount64();
    HANDLE second = open_sim_pipe(path, 5000);
    const ULONGLONG waited = elapsed_since(start);
    release.join();
    EXPECT_NE(second, INVALID_HANDLE_VALUE);
    EXPECT_GE(waited, 250u);
    EXPECT_LT(waited, 4000u);
    CloseHandle(second);

    // Still taken when patience runs out: busy, not "no such pipe".
    HANDLE third = open_sim_pipe(path, 200);
    EXPECT_EQ(third, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PIPE_BUSY));
    CloseHandle(server);
}

TEST(SimPipe, NoSimulatorIsToldAtOnce) {
    std::string answer = "stale";
    const ULONGLONG start = GetTickCount64();
    EXPECT_EQ(control_request(unique_name("none"), "list", answer, 5000),
              ControlResult::no_simulator);
    EXPECT_LT(elapsed_since(start), 1000u);
    EXPECT_EQ(answer, "");
}

TEST(SimPipe, ControlAnswersLongerThanOneReadArriveWhole) {
    const std::string name = unique_name("long");
    HANDLE server = create_server(control_pipe_path(name));
    ASSERT_NE(server, INVALID_HANDLE_VALUE);
    std::string long_answer;
    for (int i = 0; long_answer.size() < 10000; ++i) {
        long_answer += "line " + std::to_string(i) + "\n";
    }
    std::string request;
    std::thread kbdsim([&] {
        ConnectNamedPipe(server, nullptr);
        char buffer[64];
        DWORD got = 0;
        if (ReadFile(server, buffer, sizeof buffer, &got, nullptr)) {
            request.assign(buffer, got);
        }
        DWORD written = 0;
        WriteFile(server, long_answer.data(), static_cast<DWORD>(long_answer.size()), &written,
                  nullptr);
        FlushFileBuffers(server);
    });
    std::string answer;
    EXPECT_EQ(control_request(name, "list", answer, 5000), ControlResult::answered);
    kbdsim.join();
    EXPECT_EQ(request, "list");
    EXPECT_EQ(answer, long_answer);
    CloseHandle(server);
}

TEST(SimPipe, AServerThatNeverAnswersCostsThePatienceNotAHang) {
    const std::string name = unique_name("silent");
    HANDLE server = create_server(control_pipe_path(name));
    ASSERT_NE(server, INVALID_HANDLE_VALUE);
    HANDLE done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::thread kbdsim([&] {
        ConnectNamedPipe(server, nullptr);
        WaitForSingleObject(done, 10000);  // takes the request and never answers
    });
    std::string answer;
    const ULONGLONG start = GetTickCount64();
    EXPECT_EQ(control_request(name, "list", answer, 500), ControlResult::failed);
    const ULONGLONG waited = elapsed_since(start);
    EXPECT_GE(waited, 400u);
    EXPECT_LT(waited, 3000u);
    SetEvent(done);
    kbdsim.join();
    CloseHandle(done);
    CloseHandle(server);
}

}  // namespace
}  // namespace simclient::win32
