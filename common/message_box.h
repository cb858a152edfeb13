#pragma once
// A message box as a dialog decides it: whether to show one, its text, caption and icon. The
// core's dialog decisions return it; the shell shows it (common/win32/message_box.h).
namespace common {

enum class Icon { none, error, information, warning };

struct MessageBoxPlan {
    bool show = false;
    const char* text = "";     // UTF-8
    const char* caption = "";  // UTF-8
    Icon icon = Icon::none;
};

}  // namespace common
