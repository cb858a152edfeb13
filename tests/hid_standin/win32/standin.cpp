#include "tests/hid_standin/win32/standin.h"

#include <cstdlib>
#include <cwchar>

#include "simclient/win32/pipes.h"

namespace hid_standin {

namespace {

std::string pipe_name() {
    char value[256];
    DWORD length = GetEnvironmentVariableA(pipe_variable, value, sizeof value);
    if (length == 0 || length >= sizeof value) {
        return {};
    }
    return std::string(value, length);
}

}  // namespace

std::vector<simclient::ListedInterface> current_listing() {
    std::vector<simclient::ListedInterface> listing;
    std::string name = pipe_name();
    if (name.empty() || !simclient::win32::fetch_listing(name, listing)) {
        listing.clear();
    }
    return listing;
}

std::string device_path(int interface_id) {
    return simclient::win32::interface_pipe_path(pipe_name(), interface_id);
}

int interface_of_handle(HANDLE handle) {
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) {
        return -1;
    }
    // FILE_NAME_INFO of a pipe client: the pipe's name below the pipe root, "\<name>.if<id>".
    alignas(FILE_NAME_INFO) unsigned char buffer[sizeof(FILE_NAME_INFO) + 512 * sizeof(WCHAR)];
    auto* info = reinterpret_cast<FILE_NAME_INFO*>(buffer);
    if (!GetFileInformationByHandleEx(handle, FileNameInfo, info, sizeof buffer)) {
        return -1;
    }
    std::wstring name(info->FileName, info->FileNameLength / sizeof(WCHAR));
    std::string pipe = pipe_name();
    std::wstring expected_prefix = L"\\" + std::wstring(pipe.begin(), pipe.end()) + L".if";
    if (pipe.empty() || name.size() <= expected_prefix.size() ||
        _wcsnicmp(name.c_str(), expected_prefix.c_str(), expected_prefix.size()) != 0) {
        return -1;
    }
    int id = 0;
    for (std::size_t i = expected_prefix.size(); i < name.size(); ++i) {
        if (name[i] < L'0' || name[i] > L'9' || id > 100000) {
            return -1;
        }
        id = id * 10 + (name[i] - L'0');
    }
    return id;
}

bool failing(const char* call) {
    char value[32];
    DWORD length = GetEnvironmentVariableA(fail_variable, value, sizeof value);
    return length > 0 && length < sizeof value && std::string(value, length) == call;
}

void append_report(const std::string& line) {
    char path[MAX_PATH];
    DWORD length = GetEnvironmentVariableA(report_variable, path, sizeof path);
    if (length == 0 || length >= sizeof path) {
        return;
    }
    char program[MAX_PATH] = {};
    DWORD n = GetModuleFileNameA(nullptr, program, sizeof program);
    const char* base = program;
    for (DWORD i = 0; i < n; ++i) {
        if (program[i] == '\\' || program[i] == '/') {
            base = program + i + 1;
        }
    }
    std::string text =
        line + " pid=" + std::to_string(GetCurrentProcessId()) + " exe=" + base + "\r\n";
    // Several processes may end at once: FILE_APPEND_DATA writes each line whole at the end.
    HANDLE file = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < 50 && file == INVALID_HANDLE_VALUE; ++attempt) {
        file = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            Sleep(10);
        }
    }
    if (file == INVALID_HANDLE_VALUE) {
        return;
    }
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
}

}  // namespace hid_standin
