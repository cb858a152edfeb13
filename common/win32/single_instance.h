#pragma once
// The single-instance guard every program of the suite holds for its whole run: a named mutex,
// created and tested for "already exists" in one step, so two copies started at the same moment
// cannot both run.
#include <windows.h>

namespace common::win32 {

class SingleInstance {
  public:
    explicit SingleInstance(const char* mutex_name);
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // True when another process of the same session already holds the name. Then this guard
    // holds nothing and the program should end.
    bool another_instance_runs() const { return another_instance_; }
    // Gives the name up before the program ends (for shells that end through paths that skip
    // destructors).
    void release();

  private:
    HANDLE mutex_ = nullptr;
    bool another_instance_ = false;
};

}  // namespace common::win32
