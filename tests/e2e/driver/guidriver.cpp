// guidriver.exe: drives the dialogs of another Win32 program in the same Wine prefix for the GUI
// tests. It finds windows, lists their controls, reads and sets texts, presses buttons, answers
// message boxes and closes windows, and prints what it saw on stdout, one fact per line, UTF-8.
//
// Every action that could open a modal window in the target (pressing Run opens a dialog) is
// posted, never sent, so the driver never blocks on the target's modal loops; messages that must
// return something (WM_GETTEXT, BM_GETCHECK) go through SendMessageTimeout so a target that is
// busy (sleeping on its main thread) costs a short wait, not a hang.
//
// Usage, one command:   guidriver.exe COMMAND [--option value]...
// Usage, a session:     guidriver.exe            (commands from stdin, one per line)
// See README.md beside this file for the commands and the output format.
#include <windows.h>
// windows.h first: the others depend on it.
#include <commctrl.h>
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <map>
#include <string>
#include <vector>

namespace {

// ---------------------------------------------------------------------------------------------
// Text conversion and output

std::wstring widen(const std::string& text) {
    if (text.empty()) {
        return {};
    }
    int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

std::string narrow(const std::wstring& text) {
    if (text.empty()) {
        return {};
    }
    int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                        nullptr, nullptr);
    return out;
}

// A value in double quotes; backslash, quote and control characters escaped so that one fact
// always stays on one line.
std::string quoted(const std::wstring& text) {
    std::string utf8 = narrow(text);
    std::string out = "\"";
    for (unsigned char c : utf8) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '"':
                out += "\\\"";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20 || c == 0x7F) {
                    char hex[8];
                    std::snprintf(hex, sizeof hex, "\\x%02X", c);
                    out += hex;
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    out += "\"";
    return out;
}

std::string hex_handle(HWND hwnd) {
    char text[32];
    std::snprintf(text, sizeof text, "0x%llX",
                  static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(hwnd)));
    return text;
}

void emit(const std::string& line) {
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

// ---------------------------------------------------------------------------------------------
// Commands and their options

struct Failure {
    std::string reason;
};

struct Command {
    std::string name;
    std::map<std::string, std::string> options;
    std::vector<std::string> positional;

    bool has(const std::string& key) const { return options.count(key) != 0; }
    std::string text(const std::string& key, const std::string& fallback = {}) const {
        auto it = options.find(key);
        return it == options.end() ? fallback : it->second;
    }
    long long number(const std::string& key, long long fallback) const {
        auto it = options.find(key);
        if (it == options.end()) {
            return fallback;
        }
        char* end = nullptr;
        long long value = std::strtoll(it->second.c_str(), &end, 0);
        if (end == it->second.c_str() || *end != '\0') {
            throw Failure{"option --" + key + " is not a number: " + it->second};
        }
        return value;
    }
};

Command parse_command(const std::vector<std::string>& tokens) {
    Command command;
    if (tokens.empty()) {
        return command;
    }
    command.name = tokens[0];
    for (size_t i = 1; i < tokens.size(); ++i) {
        const std::string& token = tokens[i];
        if (token.rfind("--", 0) == 0 && token.size() > 2) {
            if (i + 1 >= tokens.size()) {
                throw Failure{"option " + token + " needs a value"};
            }
            command.options[token.substr(2)] = tokens[i + 1];
            ++i;
        } else {
            command.positional.push_back(token);
        }
    }
    return command;
}

// Splits a session line into tokens: blanks separate, double quotes group, and inside quotes
// backslash escapes \" \\ \n \t.
std::vector<std::string> split_line(const std::string& line) {
    std::vector<std::string> tokens;
    std::string current;
    bool in_token = false;
    bool in_quotes = false;
    for (size_t i = 0; i < line.size(); ++i) {
        char c = line[i];
        if (in_quotes) {
            if (c == '"') {
                in_quotes = false;
            } else if (c == '\\' && i + 1 < line.size()) {
                char next = line[++i];
                current += next == 'n' ? '\n' : next == 't' ? '\t' : next == 'r' ? '\r' : next;
            } else {
                current += c;
            }
        } else if (c == '"') {
            in_quotes = true;
            in_token = true;
        } else if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            if (in_token) {
                tokens.push_back(current);
                current.clear();
                in_token = false;
            }
        } else {
            current += c;
            in_token = true;
        }
    }
    if (in_quotes) {
        throw Failure{"unterminated quote"};
    }
    if (in_token) {
        tokens.push_back(current);
    }
    return tokens;
}

// ---------------------------------------------------------------------------------------------
// Windows

constexpr UINT send_timeout_ms = 1000;

std::wstring class_of(HWND hwnd) {
    wchar_t name[256] = {};
    GetClassNameW(hwnd, name, 256);
    return name;
}

// The text a window shows. Edit controls keep their text to themselves, so they are asked; every
// other window's text is read without a message, which works even while its thread is busy.
std::wstring text_of(HWND hwnd) {
    std::wstring cls = class_of(hwnd);
    if (_wcsicmp(cls.c_str(), L"Edit") == 0 || _wcsicmp(cls.c_str(), L"ComboBox") == 0) {
        DWORD_PTR length = 0;
        if (SendMessageTimeoutW(hwnd, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, send_timeout_ms,
                                &length)) {
            std::vector<wchar_t> buffer(length + 2, L'\0');
            DWORD_PTR copied = 0;
            if (SendMessageTimeoutW(hwnd, WM_GETTEXT, buffer.size(),
                                    reinterpret_cast<LPARAM>(buffer.data()), SMTO_ABORTIFHUNG,
                                    send_timeout_ms, &copied)) {
                return std::wstring(buffer.data(), copied);
            }
        }
    }
    std::vector<wchar_t> buffer(4096, L'\0');
    int n = InternalGetWindowText(hwnd, buffer.data(), static_cast<int>(buffer.size()));
    return std::wstring(buffer.data(), n > 0 ? static_cast<size_t>(n) : 0);
}

DWORD process_of(HWND hwnd) {
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    return pid;
}

std::vector<HWND> children_of(HWND parent) {
    std::vector<HWND> children;
    EnumChildWindows(
        parent,
        [](HWND hwnd, LPARAM param) -> BOOL {
            reinterpret_cast<std::vector<HWND>*>(param)->push_back(hwnd);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&children));
    return children;
}

bool has_control(HWND parent, int id) {
    for (HWND child : children_of(parent)) {
        if (GetDlgCtrlID(child) == id) {
            return true;
        }
    }
    return false;
}

// What a command's window options ask for.
struct WindowQuery {
    HWND handle = nullptr;
    bool by_title = false;
    std::wstring title;
    bool by_title_part = false;
    std::wstring title_part;
    bool by_class = false;
    std::wstring cls;
    DWORD pid = 0;
    int has_id = 0;  // a descendant control with this id must exist
    bool include_hidden = false;

    bool matches(HWND hwnd) const {
        if (handle != nullptr && hwnd != handle) {
            return false;
        }
        if (!include_hidden && !IsWindowVisible(hwnd)) {
            return false;
        }
        if (by_class && class_of(hwnd) != cls) {
            return false;
        }
        if (pid != 0 && process_of(hwnd) != pid) {
            return false;
        }
        if (has_id != 0 && !has_control(hwnd, has_id)) {
            return false;
        }
        if (by_title || by_title_part) {
            std::wstring text = text_of(hwnd);
            if (by_title && text != title) {
                return false;
            }
            if (by_title_part && text.find(title_part) == std::wstring::npos) {
                return false;
            }
        }
        return true;
    }
};

WindowQuery window_query(const Command& command) {
    WindowQuery query;
    if (command.has("hwnd")) {
        query.handle = reinterpret_cast<HWND>(static_cast<uintptr_t>(command.number("hwnd", 0)));
        query.include_hidden = true;
    }
    if (command.has("title")) {
        query.by_title = true;
        query.title = widen(command.text("title"));
    }
    if (command.has("title-has")) {
        query.by_title_part = true;
        query.title_part = widen(command.text("title-has"));
    }
    if (command.has("class")) {
        query.by_class = true;
        query.cls = widen(command.text("class"));
    }
    query.pid = static_cast<DWORD>(command.number("pid", 0));
    query.has_id = static_cast<int>(command.number("has-id", 0));
    if (command.text("hidden") == "1") {
        query.include_hidden = true;
    }
    return query;
}

std::vector<HWND> top_level_windows() {
    std::vector<HWND> windows;
    EnumWindows(
        [](HWND hwnd, LPARAM param) -> BOOL {
            reinterpret_cast<std::vector<HWND>*>(param)->push_back(hwnd);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&windows));
    return windows;
}

std::vector<HWND> matching_windows(const WindowQuery& query) {
    std::vector<HWND> found;
    if (query.handle != nullptr) {
        if (IsWindow(query.handle) && query.matches(query.handle)) {
            found.push_back(query.handle);
        }
        return found;
    }
    for (HWND hwnd : top_level_windows()) {
        if (query.matches(hwnd)) {
            found.push_back(hwnd);
        }
    }
    return found;
}

DWORD timeout_of(const Command& command) {
    return static_cast<DWORD>(command.number("timeout", 10000));
}

// Waits until at least one window matches; fails after the command's time-out.
std::vector<HWND> wait_for_windows(const Command& command) {
    WindowQuery query = window_query(command);
    DWORD start = GetTickCount();
    for (;;) {
        std::vector<HWND> found = matching_windows(query);
        if (!found.empty()) {
            return found;
        }
        if (GetTickCount() - start >= timeout_of(command)) {
            throw Failure{"timeout: no window matches"};
        }
        Sleep(20);
    }
}

HWND wait_for_window(const Command& command) {
    return wait_for_windows(command).front();
}

std::string window_fact(HWND hwnd) {
    RECT r = {};
    GetWindowRect(hwnd, &r);
    char rect[96];
    std::snprintf(rect, sizeof rect, "%ld,%ld,%ld,%ld", r.left, r.top, r.right, r.bottom);
    return "window hwnd=" + hex_handle(hwnd) + " pid=" + std::to_string(process_of(hwnd)) +
           " class=" + quoted(class_of(hwnd)) + " title=" + quoted(text_of(hwnd)) +
           " visible=" + (IsWindowVisible(hwnd) ? "1" : "0") +
           " enabled=" + (IsWindowEnabled(hwnd) ? "1" : "0") + " rect=" + rect;
}

// The control with this id among a dialog's descendants (ids are unique within our dialogs;
// the first in window order wins otherwise).
HWND control_of(HWND parent, int id) {
    HWND direct = GetDlgItem(parent, id);
    if (direct != nullptr) {
        return direct;
    }
    for (HWND child : children_of(parent)) {
        if (GetDlgCtrlID(child) == id) {
            return child;
        }
    }
    throw Failure{"no control with id " + std::to_string(id)};
}

bool is_button(HWND hwnd) {
    return _wcsicmp(class_of(hwnd).c_str(), L"Button") == 0;
}

// BM_GETCHECK for buttons: -1 when the owner did not answer in time.
int check_state(HWND button) {
    DWORD_PTR state = 0;
    if (!SendMessageTimeoutW(button, BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, send_timeout_ms,
                             &state)) {
        return -1;
    }
    return static_cast<int>(state);
}

// The icon a static icon control shows, judged by the colours on screen: the standard error
// icon is red, the information icon blue, the warning icon yellow. Icon handles of another
// process cannot be inspected, so the screen is the only witness.
std::string icon_kind(HWND control) {
    RECT r = {};
    if (!GetWindowRect(control, &r) || r.right <= r.left || r.bottom <= r.top) {
        return "unknown";
    }
    HDC screen = GetDC(nullptr);
    int red = 0, blue = 0, yellow = 0;
    for (LONG y = r.top; y < r.bottom; y += 2) {
        for (LONG x = r.left; x < r.right; x += 2) {
            COLORREF c = GetPixel(screen, x, y);
            if (c == CLR_INVALID) {
                continue;
            }
            int R = GetRValue(c), G = GetGValue(c), B = GetBValue(c);
            if (R > 150 && G < 90 && B < 90) {
                ++red;
            } else if (B > 150 && R < 120 && B > G) {
                ++blue;
            } else if (R > 180 && G > 150 && B < 90) {
                ++yellow;
            }
        }
    }
    ReleaseDC(nullptr, screen);
    int most = red > blue ? red : blue;
    most = yellow > most ? yellow : most;
    if (most < 8) {
        return "unknown";
    }
    return most == red ? "error" : most == blue ? "information" : "warning";
}

std::string control_fact(HWND hwnd) {
    RECT r = {};
    GetWindowRect(hwnd, &r);
    char rect[96];
    std::snprintf(rect, sizeof rect, "%ld,%ld,%ld,%ld", r.left, r.top, r.right, r.bottom);
    char style[16];
    std::snprintf(style, sizeof style, "0x%08lX",
                  static_cast<unsigned long>(GetWindowLongPtrW(hwnd, GWL_STYLE)));
    std::string line =
        "control hwnd=" + hex_handle(hwnd) + " id=" + std::to_string(GetDlgCtrlID(hwnd)) +
        " class=" + quoted(class_of(hwnd)) + " text=" + quoted(text_of(hwnd)) +
        " visible=" + (IsWindowVisible(hwnd) ? "1" : "0") +
        " enabled=" + (IsWindowEnabled(hwnd) ? "1" : "0") + " style=" + style + " rect=" + rect;
    LONG_PTR type = GetWindowLongPtrW(hwnd, GWL_STYLE) & 0x0F;
    if (is_button(hwnd) && (type == BS_AUTORADIOBUTTON || type == BS_RADIOBUTTON ||
                            type == BS_CHECKBOX || type == BS_AUTOCHECKBOX)) {
        line += " checked=" + std::to_string(check_state(hwnd));
    }
    if (_wcsicmp(class_of(hwnd).c_str(), L"msctls_progress32") == 0) {
        DWORD_PTR pos = 0;
        if (SendMessageTimeoutW(hwnd, PBM_GETPOS, 0, 0, SMTO_ABORTIFHUNG, send_timeout_ms, &pos)) {
            line += " position=" + std::to_string(pos);
        }
    }
    return line;
}

// ---------------------------------------------------------------------------------------------
// Message boxes

struct ButtonName {
    const char* name;
    int id;
};
constexpr ButtonName button_names[] = {{"ok", IDOK},       {"cancel", IDCANCEL}, {"abort", IDABORT},
                                       {"retry", IDRETRY}, {"ignore", IDIGNORE}, {"yes", IDYES},
                                       {"no", IDNO}};

int button_id(const std::string& name) {
    for (const ButtonName& b : button_names) {
        if (name == b.name) {
            return b.id;
        }
    }
    char* end = nullptr;
    long id = std::strtol(name.c_str(), &end, 0);
    if (end == name.c_str() || *end != '\0') {
        throw Failure{"unknown button: " + name};
    }
    return static_cast<int>(id);
}

// The message of a dialog: a message box keeps it in static 0xFFFF; our own small dialogs
// have one or more static texts, joined by line feeds.
std::wstring message_text(HWND dialog) {
    HWND box_text = GetDlgItem(dialog, 0xFFFF);
    if (box_text != nullptr) {
        return text_of(box_text);
    }
    std::wstring text;
    for (HWND child : children_of(dialog)) {
        if (_wcsicmp(class_of(child).c_str(), L"Static") != 0) {
            continue;
        }
        if ((GetWindowLongPtrW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
            continue;
        }
        std::wstring part = text_of(child);
        if (part.empty()) {
            continue;
        }
        if (!text.empty()) {
            text += L"\n";
        }
        text += part;
    }
    return text;
}

std::string message_fact(HWND dialog) {
    std::string buttons;
    std::string icon = "none";
    for (HWND child : children_of(dialog)) {
        if (is_button(child)) {
            int id = GetDlgCtrlID(child);
            std::string name = std::to_string(id);
            for (const ButtonName& b : button_names) {
                if (b.id == id) {
                    name = b.name;
                }
            }
            buttons += (buttons.empty() ? "" : ",") + name;
        } else if (_wcsicmp(class_of(child).c_str(), L"Static") == 0 &&
                   (GetWindowLongPtrW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON &&
                   IsWindowVisible(child)) {
            // Wine leaves the icon control of a box without icon visible, with no icon set.
            DWORD_PTR shown = 1;
            SendMessageTimeoutW(child, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, send_timeout_ms,
                                &shown);
            icon = shown == 0 ? "none" : icon_kind(child);
        }
    }
    return "message hwnd=" + hex_handle(dialog) + " pid=" + std::to_string(process_of(dialog)) +
           " caption=" + quoted(text_of(dialog)) + " text=" + quoted(message_text(dialog)) +
           " buttons=" + (buttons.empty() ? "none" : buttons) + " icon=" + icon;
}

void press(HWND dialog, int id) {
    HWND button = control_of(dialog, id);
    if (!PostMessageW(button, BM_CLICK, 0, 0)) {
        throw Failure{"cannot post BM_CLICK"};
    }
}

// ---------------------------------------------------------------------------------------------
// The commands

void wait_until_gone(HWND hwnd, DWORD timeout) {
    DWORD start = GetTickCount();
    while (IsWindow(hwnd) && IsWindowVisible(hwnd)) {
        if (GetTickCount() - start >= timeout) {
            throw Failure{"timeout: window " + hex_handle(hwnd) + " still there"};
        }
        Sleep(20);
    }
}

// "select": chooses entry --index of list box or combo box --id, then tells the owner as a
// user's click would, with the selection-change notification.
void select_entry(const Command& c) {
    HWND hwnd = wait_for_window(c);
    const int id = static_cast<int>(c.number("id", 0));
    HWND list = control_of(hwnd, id);
    const long long index = c.number("index", 0);
    const bool combo = _wcsicmp(class_of(list).c_str(), L"ComboBox") == 0;
    const UINT set = combo ? CB_SETCURSEL : LB_SETCURSEL;
    const UINT get = combo ? CB_GETCURSEL : LB_GETCURSEL;
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(list, set, static_cast<WPARAM>(index), 0, SMTO_ABORTIFHUNG, 5000,
                             &result) ||
        !SendMessageTimeoutW(list, get, 0, 0, SMTO_ABORTIFHUNG, 5000, &result) ||
        static_cast<long long>(static_cast<LRESULT>(result)) != index) {
        throw Failure{"entry " + std::to_string(index) + " cannot be selected"};
    }
    const WORD notification = combo ? CBN_SELCHANGE : LBN_SELCHANGE;
    PostMessageW(GetParent(list), WM_COMMAND, MAKEWPARAM(id, notification),
                 reinterpret_cast<LPARAM>(list));
    emit("selected hwnd=" + hex_handle(list) + " id=" + std::to_string(id) +
         " index=" + std::to_string(index));
}

// ---------------------------------------------------------------------------------------------
// Real input and the queries that go with it: hooks of the target see only what arrives as
// input, so these commands act as a user would (SendInput after bringing the window forward).

// The window's top-level ancestor in front, so that input reaches it.
void bring_forward(HWND hwnd) {
    HWND top = GetAncestor(hwnd, GA_ROOT);
    SetForegroundWindow(top != nullptr ? top : hwnd);
    Sleep(50);
}

// The point a click goes to: the centre of control --id, or --x/--y in screen pixels.
POINT click_point(HWND hwnd, const Command& c) {
    if (c.has("x") && c.has("y")) {
        return {static_cast<LONG>(c.number("x", 0)), static_cast<LONG>(c.number("y", 0))};
    }
    HWND target = c.has("id") ? control_of(hwnd, static_cast<int>(c.number("id", 0))) : hwnd;
    RECT r = {};
    GetWindowRect(target, &r);
    return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

void send_inputs(std::vector<INPUT>& inputs) {
    if (SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT)) !=
        inputs.size()) {
        throw Failure{"SendInput refused the input"};
    }
}

void mouse_click(HWND hwnd, const Command& c) {
    bring_forward(hwnd);
    POINT p = click_point(hwnd, c);
    const int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
    std::vector<INPUT> inputs;
    INPUT move = {};
    move.type = INPUT_MOUSE;
    move.mi.dx = static_cast<LONG>((p.x * 65535LL) / (width > 1 ? width - 1 : 1));
    move.mi.dy = static_cast<LONG>((p.y * 65535LL) / (height > 1 ? height - 1 : 1));
    move.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    inputs.push_back(move);
    const int clicks = c.number("double", 0) != 0 ? 2 : 1;
    for (int i = 0; i < clicks; ++i) {
        for (DWORD flag : {MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP}) {
            INPUT button = {};
            button.type = INPUT_MOUSE;
            button.mi.dwFlags = flag;
            inputs.push_back(button);
        }
    }
    send_inputs(inputs);
    Sleep(static_cast<DWORD>(c.number("settle", 150)));
    emit("mouse-clicked x=" + std::to_string(p.x) + " y=" + std::to_string(p.y) +
         " clicks=" + std::to_string(clicks));
}

// "shift+left", "ctrl+s", "alt+f4", "space", "0x41": modifiers first, the last key pressed.
WORD virtual_key(const std::string& name) {
    static const std::map<std::string, WORD> names = {
        {"shift", VK_SHIFT}, {"ctrl", VK_CONTROL}, {"alt", VK_MENU},      {"left", VK_LEFT},
        {"right", VK_RIGHT}, {"up", VK_UP},        {"down", VK_DOWN},     {"space", VK_SPACE},
        {"tab", VK_TAB},     {"enter", VK_RETURN}, {"escape", VK_ESCAPE}, {"esc", VK_ESCAPE},
        {"f4", VK_F4},       {"f10", VK_F10},      {"home", VK_HOME},     {"end", VK_END},
        {"back", VK_BACK}};
    auto it = names.find(name);
    if (it != names.end()) {
        return it->second;
    }
    if (name.size() == 1 && std::isalnum(static_cast<unsigned char>(name[0]))) {
        return static_cast<WORD>(std::toupper(static_cast<unsigned char>(name[0])));
    }
    char* end = nullptr;
    long value = std::strtol(name.c_str(), &end, 0);
    if (end != name.c_str() && *end == '\0' && value > 0 && value < 256) {
        return static_cast<WORD>(value);
    }
    throw Failure{"unknown key: " + name};
}

void key_chord(HWND hwnd, const Command& c) {
    std::vector<WORD> keys;
    std::string chord = c.text("keys");
    size_t start = 0;
    while (start <= chord.size()) {
        size_t plus = chord.find('+', start);
        std::string part = chord.substr(start, plus == std::string::npos ? plus : plus - start);
        for (char& ch : part) {
            ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
        }
        keys.push_back(virtual_key(part));
        if (plus == std::string::npos) {
            break;
        }
        start = plus + 1;
    }
    bring_forward(hwnd);
    std::vector<INPUT> inputs;
    auto key = [&inputs](WORD vk, bool up) {
        INPUT input = {};
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = vk;
        input.ki.wScan = static_cast<WORD>(MapVirtualKeyW(vk, MAPVK_VK_TO_VSC));
        const bool extended = vk == VK_LEFT || vk == VK_RIGHT || vk == VK_UP || vk == VK_DOWN ||
                              vk == VK_HOME || vk == VK_END;
        input.ki.dwFlags = (up ? KEYEVENTF_KEYUP : 0) | (extended ? KEYEVENTF_EXTENDEDKEY : 0);
        inputs.push_back(input);
    };
    const long long repeat = c.number("repeat", 1);
    for (long long n = 0; n < repeat; ++n) {
        for (WORD vk : keys) {
            key(vk, false);
        }
        for (auto it = keys.rbegin(); it != keys.rend(); ++it) {
            key(*it, true);
        }
    }
    send_inputs(inputs);
    Sleep(static_cast<DWORD>(c.number("settle", 150)));
    emit("keys-sent keys=" + quoted(widen(chord)));
}

// Moves a top-level window; asynchronous, so a busy target cannot block the driver.
void move_window(HWND hwnd, const Command& c) {
    SetWindowPos(hwnd, nullptr, static_cast<int>(c.number("x", 0)),
                 static_cast<int>(c.number("y", 0)), 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_ASYNCWINDOWPOS);
    DWORD start = GetTickCount();
    RECT r = {};
    while (GetWindowRect(hwnd, &r) && (r.left != c.number("x", 0) || r.top != c.number("y", 0))) {
        if (GetTickCount() - start >= timeout_of(c)) {
            throw Failure{"timeout: window not moved"};
        }
        Sleep(20);
    }
    emit(window_fact(hwnd));
}

// BM_GETSTATE of a push button: pushed (the highlight a program sets or a press shows),
// checked and focus.
void button_state(HWND hwnd, const Command& c) {
    HWND button = control_of(hwnd, static_cast<int>(c.number("id", 0)));
    DWORD_PTR state = 0;
    if (!SendMessageTimeoutW(button, BM_GETSTATE, 0, 0, SMTO_ABORTIFHUNG, send_timeout_ms,
                             &state)) {
        throw Failure{"BM_GETSTATE was not answered"};
    }
    emit("button-state id=" + std::to_string(GetDlgCtrlID(button)) +
         " pushed=" + ((state & BST_PUSHED) ? "1" : "0") + " checked=" + std::to_string(state & 3) +
         " focus=" + ((state & BST_FOCUS) ? "1" : "0"));
}

// LB_GETCURSEL of a list box and the selected entry's text (-1 and "" without a selection).
void listbox_selection(HWND hwnd, const Command& c) {
    HWND list = control_of(hwnd, static_cast<int>(c.number("id", 0)));
    DWORD_PTR index = 0;
    if (!SendMessageTimeoutW(list, LB_GETCURSEL, 0, 0, SMTO_ABORTIFHUNG, send_timeout_ms, &index)) {
        throw Failure{"LB_GETCURSEL was not answered"};
    }
    const int selected = static_cast<int>(static_cast<LRESULT>(index));
    std::wstring text;
    DWORD_PTR length = 0;
    if (selected >= 0 &&
        SendMessageTimeoutW(list, LB_GETTEXTLEN, selected, 0, SMTO_ABORTIFHUNG, send_timeout_ms,
                            &length) &&
        static_cast<LRESULT>(length) > 0) {
        text.resize(length + 1);
        DWORD_PTR got = 0;
        SendMessageTimeoutW(list, LB_GETTEXT, selected, reinterpret_cast<LPARAM>(text.data()),
                            SMTO_ABORTIFHUNG, send_timeout_ms, &got);
        text.resize(got);
    }
    emit("listbox-selection index=" + std::to_string(selected) + " text=" + quoted(text));
}

// The control that has the keyboard focus in the window's thread.
void focused_control(HWND hwnd) {
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(hwnd, nullptr), &info) ||
        info.hwndFocus == nullptr) {
        emit("focus none");
        return;
    }
    emit("focus " + control_fact(info.hwndFocus).substr(std::string("control ").size()));
}

// A control's rectangle on screen and in its parent's client area.
void control_rect(HWND hwnd, const Command& c) {
    HWND control = control_of(hwnd, static_cast<int>(c.number("id", 0)));
    RECT screen = {};
    GetWindowRect(control, &screen);
    RECT client = screen;
    MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&client), 2);
    char text[160];
    std::snprintf(text, sizeof text, "rect id=%d screen=%ld,%ld,%ld,%ld client=%ld,%ld,%ld,%ld",
                  GetDlgCtrlID(control), screen.left, screen.top, screen.right, screen.bottom,
                  client.left, client.top, client.right, client.bottom);
    emit(std::string(text) + " visible=" + (IsWindowVisible(control) ? "1" : "0"));
}

// The commands above; false for any other name.
bool run_input_command(const Command& c) {
    const std::string& name = c.name;
    if (name == "mouse-click") {
        mouse_click(wait_for_window(c), c);
    } else if (name == "key-chord") {
        key_chord(wait_for_window(c), c);
    } else if (name == "move") {
        move_window(wait_for_window(c), c);
    } else if (name == "button-state") {
        button_state(wait_for_window(c), c);
    } else if (name == "listbox-selection") {
        listbox_selection(wait_for_window(c), c);
    } else if (name == "focus") {
        focused_control(wait_for_window(c));
    } else if (name == "rect") {
        control_rect(wait_for_window(c), c);
    } else {
        return false;
    }
    return true;
}

void run_command(const Command& c) {
    const std::string& name = c.name;
    if (name == "find") {
        for (HWND hwnd : wait_for_windows(c)) {
            emit(window_fact(hwnd));
        }
    } else if (name == "windows") {
        WindowQuery query = window_query(c);
        for (HWND hwnd : matching_windows(query)) {
            emit(window_fact(hwnd));
        }
    } else if (name == "controls") {
        HWND hwnd = wait_for_window(c);
        emit(window_fact(hwnd));
        for (HWND child : children_of(hwnd)) {
            emit(control_fact(child));
        }
    } else if (name == "get-text") {
        HWND hwnd = wait_for_window(c);
        HWND target = c.has("id") ? control_of(hwnd, static_cast<int>(c.number("id", 0))) : hwnd;
        emit("text value=" + quoted(text_of(target)));
    } else if (name == "set-text") {
        HWND hwnd = wait_for_window(c);
        HWND target = control_of(hwnd, static_cast<int>(c.number("id", 0)));
        std::wstring text = widen(c.text("text"));
        DWORD_PTR result = 0;
        if (!SendMessageTimeoutW(target, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()),
                                 SMTO_ABORTIFHUNG, 5000, &result) ||
            !result) {
            throw Failure{"WM_SETTEXT was not accepted"};
        }
        emit("text value=" + quoted(text_of(target)));
    } else if (name == "click") {
        HWND hwnd = wait_for_window(c);
        int id = static_cast<int>(c.number("id", 0));
        if (c.text("via") == "command") {
            HWND control = GetDlgItem(hwnd, id);
            PostMessageW(hwnd, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                         reinterpret_cast<LPARAM>(control));
        } else {
            press(hwnd, id);
        }
        emit("clicked hwnd=" + hex_handle(hwnd) + " id=" + std::to_string(id));
    } else if (name == "check") {
        HWND hwnd = wait_for_window(c);
        HWND button = control_of(hwnd, static_cast<int>(c.number("id", 0)));
        PostMessageW(button, BM_CLICK, 0, 0);
        DWORD start = GetTickCount();
        while (check_state(button) != BST_CHECKED) {
            if (GetTickCount() - start >= timeout_of(c)) {
                throw Failure{"timeout: button not checked"};
            }
            Sleep(20);
        }
        emit(control_fact(button));
    } else if (name == "message") {
        Command query = c;
        if (!query.has("class")) {
            query.options["class"] = "#32770";
        }
        HWND dialog = wait_for_window(query);
        // Let the box finish painting before its icon is judged from the screen.
        Sleep(static_cast<DWORD>(c.number("settle", 150)));
        emit(message_fact(dialog));
        std::string button = c.text("button", "none");
        if (button != "none") {
            press(dialog, button_id(button));
            wait_until_gone(dialog, timeout_of(c));
            emit("pressed button=" + button);
        }
    } else if (name == "close") {
        HWND hwnd = wait_for_window(c);
        PostMessageW(hwnd, WM_CLOSE, 0, 0);
        emit("closed hwnd=" + hex_handle(hwnd));
    } else if (name == "post") {
        HWND hwnd = wait_for_window(c);
        HWND target = c.has("id") ? control_of(hwnd, static_cast<int>(c.number("id", 0))) : hwnd;
        PostMessageW(target, static_cast<UINT>(c.number("msg", 0)),
                     static_cast<WPARAM>(c.number("wparam", 0)),
                     static_cast<LPARAM>(c.number("lparam", 0)));
        emit("posted hwnd=" + hex_handle(target));
    } else if (name == "send") {
        HWND hwnd = wait_for_window(c);
        DWORD_PTR result = 0;
        if (!SendMessageTimeoutW(hwnd, static_cast<UINT>(c.number("msg", 0)),
                                 static_cast<WPARAM>(c.number("wparam", 0)),
                                 static_cast<LPARAM>(c.number("lparam", 0)), SMTO_ABORTIFHUNG,
                                 send_timeout_ms, &result)) {
            throw Failure{"no answer to the message"};
        }
        emit("sent hwnd=" + hex_handle(hwnd) + " result=" + std::to_string(result));
    } else if (name == "wait-gone") {
        WindowQuery query = window_query(c);
        DWORD start = GetTickCount();
        while (!matching_windows(query).empty()) {
            if (GetTickCount() - start >= timeout_of(c)) {
                throw Failure{"timeout: window still there"};
            }
            Sleep(20);
        }
        emit("gone");
    } else if (name == "absent") {
        // Checks that no window matches now (no waiting).
        WindowQuery query = window_query(c);
        std::vector<HWND> found = matching_windows(query);
        if (!found.empty()) {
            throw Failure{"window present: " + window_fact(found.front())};
        }
        emit("absent");
    } else if (name == "select") {
        select_entry(c);
    } else if (run_input_command(c)) {
        // real input and its queries
    } else if (name == "sleep") {
        Sleep(static_cast<DWORD>(c.positional.empty() ? c.number("ms", 0)
                                                      : std::atoll(c.positional[0].c_str())));
        emit("slept");
    } else {
        throw Failure{"unknown command: " + name};
    }
}

// Runs one command and ends its answer with "ok" or "error <reason>".
bool answer(const std::vector<std::string>& tokens) {
    try {
        Command command = parse_command(tokens);
        if (command.name.empty()) {
            throw Failure{"empty command"};
        }
        run_command(command);
        emit("ok");
        return true;
    } catch (const Failure& failure) {
        emit("error " + failure.reason);
        return false;
    }
}

std::vector<std::string> arguments() {
    std::vector<std::string> args;
    int count = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
    for (int i = 1; argv != nullptr && i < count; ++i) {
        args.push_back(narrow(argv[i]));
    }
    LocalFree(argv);
    return args;
}

}  // namespace

int main() {
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stdin), _O_BINARY);
    std::vector<std::string> args = arguments();
    if (!args.empty()) {
        return answer(args) ? 0 : 1;
    }
    // Session: one command per line until "quit" or the end of stdin.
    std::string line;
    int c;
    while ((c = std::fgetc(stdin)) != EOF) {
        if (c != '\n') {
            line += static_cast<char>(c);
            continue;
        }
        std::vector<std::string> tokens;
        try {
            tokens = split_line(line);
        } catch (const Failure& failure) {
            emit("error " + failure.reason);
            line.clear();
            continue;
        }
        line.clear();
        if (tokens.empty()) {
            continue;
        }
        if (tokens[0] == "quit") {
            emit("ok");
            break;
        }
        answer(tokens);
    }
    return 0;
}
