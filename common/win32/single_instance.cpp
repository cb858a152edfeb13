#include "common/win32/single_instance.h"

namespace common::win32 {

SingleInstance::SingleInstance(const char* mutex_name) {
    // Not owned: the mutex only marks that an instance runs. CreateMutexA opens the existing
    // object and reports ERROR_ALREADY_EXISTS in the same call, so there is no window between
    // the test and the creation. ERROR_ACCESS_DENIED: the mutex exists but belongs to a copy
    // run by someone this process may not open it for; that copy runs all the same.
    SetLastError(ERROR_SUCCESS);
    mutex_ = CreateMutexA(nullptr, FALSE, mutex_name);
    DWORD error = GetLastError();
    if (mutex_ != nullptr && error == ERROR_ALREADY_EXISTS) {
        CloseHandle(mutex_);
        mutex_ = nullptr;
        another_instance_ = true;
    } else if (mutex_ == nullptr && error == ERROR_ACCESS_DENIED) {
        another_instance_ = true;
    }
}

SingleInstance::~SingleInstance() {
    release();
}

void SingleInstance::release() {
    if (mutex_ != nullptr) {
        CloseHandle(mutex_);
        mutex_ = nullptr;
    }
}

}  // namespace common::win32
