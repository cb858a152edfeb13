#include "common/win32/message_box.h"

#include "common/win32/wide_text.h"

namespace common::win32 {

int show_message(HWND owner, const MessageBoxPlan& plan, UINT buttons) {
    if (!plan.show) {
        return 0;
    }
    UINT icon = 0;
    switch (plan.icon) {
        case Icon::error:
            icon = MB_ICONERROR;
            break;
        case Icon::information:
            icon = MB_ICONINFORMATION;
            break;
        case Icon::warning:
            icon = MB_ICONWARNING;
            break;
        case Icon::none:
            break;
    }
    return MessageBoxW(owner, from_utf8(plan.text).c_str(), from_utf8(plan.caption).c_str(),
                       buttons | icon);
}

}  // namespace common::win32
