#include "keymap_editor/win32/editor.h"

#include <commdlg.h>
#include <io.h>

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "common/clock.h"
#include "common/date_text.h"
#include "common/win32/file_chooser.h"
#include "common/win32/session_end_guard.h"
#include "common/win32/wide_text.h"
#include "hidlink/link.h"
#include "hidlink/win32/host_factory.h"
#include "keymap_editor/apply.h"
#include "keymap_editor/keymap_import.h"
#include "keymap_editor/listing.h"
#include "keymap_editor/model.h"
#include "keymap_editor/win32/resource.h"

namespace keymap_editor::win32 {

namespace {

using common::win32::choose_file_name;
using common::win32::FileChooser;
using common::win32::FileDialog;
using common::win32::from_ansi;
using common::win32::from_utf8;
using common::win32::to_ansi;

constexpr UINT reset_request = WM_APP + 1;
constexpr UINT result_message = WM_USER + result_message_offset;
constexpr UINT start_request = WM_USER + start_request_offset;
constexpr UINT stamp_request = WM_USER + stamp_request_offset;

constexpr int attribute_ids[] = {IDC_ATTR_ORDINARY, IDC_ATTR_REPEAT, IDC_ATTR_SHIFT, IDC_ATTR_CTRL,
                                 IDC_ATTR_ALT};
constexpr AttributeBox attribute_of_id[] = {AttributeBox::ordinary, AttributeBox::repeat,
                                            AttributeBox::shift, AttributeBox::ctrl,
                                            AttributeBox::alt};
constexpr int size_ids[] = {IDC_SIZE_1X1, IDC_SIZE_2X1, IDC_SIZE_1X2, IDC_SIZE_2X2};
constexpr SizeChoice size_of_id[] = {SizeChoice::single, SizeChoice::horizontal,
                                     SizeChoice::vertical, SizeChoice::square};

// What a key button shows now, so that only changes touch the window.
struct ButtonView {
    bool visible = true;
    RECT rect{};
    std::wstring caption;
    bool valid = false;
};

// The editor's module-wide state: one per run.
struct Editor {
    StartInfo start;
    const Messages* texts = nullptr;
    KeymapModel model;

    HWND main = nullptr;  // empty when no editor window exists: the hooks test it
    HHOOK keyboard_hook = nullptr;
    HHOOK filter_hook = nullptr;
    int last_edit = IDC_KEYCODE_LIST;
    std::array<HWND, key_count> buttons{};
    std::array<RECT, key_count> cells{};  // each position's own cell, in client coordinates
    std::array<ButtonView, key_count> views{};

    std::string file_path;                // the listing Save writes to (ANSI); empty: none
    wchar_t chooser_path[MAX_PATH] = {};  // the listing chooser keeps its last path

    std::unique_ptr<hidlink::Host> host;
    common::SteadyClock clock;
    std::unique_ptr<hidlink::Link> link;
    std::unique_ptr<KeymapApply> apply;
};

Editor editor;

int show_message(HWND owner, const char* text, UINT flags) {
    return MessageBoxW(owner, from_utf8(text).c_str(), from_utf8(editor.texts->caption).c_str(),
                       flags);
}

// The question every command asks before it replaces or drops the edit; true on Yes.
bool edit_may_be_lost(HWND owner) {
    return show_message(owner, editor.texts->confirm_lost, MB_YESNO | MB_ICONWARNING) == IDYES;
}

HWND item(int id) {
    return GetDlgItem(editor.main, id);
}

void set_check(int id, bool checked) {
    SendMessageW(item(id), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

bool is_checked(int id) {
    return SendMessageW(item(id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void set_guide(const char* text) {
    if (text != nullptr) {
        SetDlgItemTextW(editor.main, IDC_GUIDE, from_utf8(text).c_str());
    }
}

// Shows every key button as the model has it: absorbed positions hidden, ganged keys over
// their block, each captioned with its key code's name.
void show_buttons() {
    for (int k = 0; k < key_count; ++k) {
        ButtonView want;
        want.visible = editor.model.selectable(k);
        const KeymapModel::Span span = editor.model.button_span(k);
        const RECT& top_left = editor.cells[span.top_left];
        const RECT& bottom_right = editor.cells[span.bottom_right];
        want.rect = {top_left.left, top_left.top, bottom_right.right, bottom_right.bottom};
        want.caption = from_ansi(editor.start.list->caption(editor.model.record(k).keycode));
        want.valid = true;
        ButtonView& have = editor.views[k];
        HWND button = editor.buttons[k];
        if (!have.valid || !EqualRect(&have.rect, &want.rect)) {
            SetWindowPos(button, nullptr, want.rect.left, want.rect.top,
                         want.rect.right - want.rect.left, want.rect.bottom - want.rect.top,
                         SWP_NOZORDER | SWP_NOACTIVATE);
        }
        if (!have.valid || have.caption != want.caption) {
            SetWindowTextW(button, want.caption.c_str());
        }
        if (!have.valid || have.visible != want.visible) {
            ShowWindow(button, want.visible ? SW_SHOWNA : SW_HIDE);
        }
        have = want;
    }
}

void highlight_current(bool on) {
    SendMessageW(editor.buttons[editor.model.current()], BM_SETSTATE, on ? TRUE : FALSE, 0);
}

void show_size_boxes(std::uint8_t size) {
    const SizeChoice shown = size_choice_of(size);
    for (int i = 0; i < 4; ++i) {
        set_check(size_ids[i], size_of_id[i] == shown);
    }
}

void show_attribute_boxes(AttributeBoxes boxes) {
    for (int i = 0; i < 5; ++i) {
        set_check(attribute_ids[i], boxes[attribute_of_id[i]]);
    }
}

AttributeBoxes read_attribute_boxes() {
    AttributeBoxes boxes;
    for (int i = 0; i < 5; ++i) {
        boxes[attribute_of_id[i]] = is_checked(attribute_ids[i]);
    }
    return boxes;
}

void select_list_entry(unsigned keycode) {
    // A code beyond the list shows no selection.
    const WPARAM index = editor.start.list->contains(keycode) ? keycode : static_cast<WPARAM>(-1);
    SendMessageW(item(IDC_KEYCODE_LIST), LB_SETCURSEL, index, 0);
}

void select_key(int k) {
    highlight_current(false);
    editor.model.select(k);
    highlight_current(true);
    const KeyRecord& key = editor.model.record(k);
    show_size_boxes(key.size);
    select_list_entry(key.keycode);
    show_attribute_boxes(attribute_boxes_of(key.attribute));
    Sleep(10);
    SetFocus(item(editor.last_edit));
}

// A loaded model replaces the edit: every button as it has it, then its current key selected
// with the key code list as the last edit control.
void show_model(const KeymapModel& loaded) {
    highlight_current(false);
    editor.model = loaded;
    show_buttons();
    set_guide(editor.texts->guide_keycode);
    editor.last_edit = IDC_KEYCODE_LIST;
    select_key(loaded.current());
}

void put_today() {
    const std::string today = common::date_text(common::local_now().date);
    SetDlgItemTextW(editor.main, IDC_TIMESTAMP, from_utf8(today).c_str());
}

// The listing Save writes to, shown by its name; an empty path for none (a new edit, or a key
// map imported or read from the keyboard).
void set_current_file(const std::string& path) {
    editor.file_path = path;
    const std::wstring label = path.empty()
                                   ? from_utf8(editor.texts->new_file)
                                   : from_ansi(common::file_name_of(path, editor.start.shift_jis));
    SetDlgItemTextW(editor.main, IDC_FILENAME, label.c_str());
}

// Reset of the model and of every control that shows it.
void reset_editor() {
    highlight_current(false);
    editor.model.reset();
    show_buttons();
    highlight_current(true);
    show_size_boxes(0);
    show_attribute_boxes(attribute_boxes_of(0));
    SendMessageW(item(IDC_KEYCODE_LIST), LB_SETCURSEL, 0, 0);
    set_guide(editor.texts->guide_keycode);
    editor.last_edit = IDC_KEYCODE_LIST;
    SetFocus(item(IDC_KEYCODE_LIST));
}

void on_keycode_list() {
    set_guide(editor.texts->guide_keycode);
    const LRESULT selection = SendMessageW(item(IDC_KEYCODE_LIST), LB_GETCURSEL, 0, 0);
    if (editor.model.set_keycode(static_cast<int>(selection), editor.start.list->size())) {
        show_buttons();
    }
    editor.last_edit = IDC_KEYCODE_LIST;
}

void on_attribute_box(int index) {
    set_guide(editor.texts->guide_attribute);
    AttributeBoxes boxes = read_attribute_boxes();
    const AttributeBox box = attribute_of_id[index];
    editor.model.toggle_attribute(box, boxes[box], boxes);
    show_attribute_boxes(boxes);
    // A refused Ordinary (unchecked again) does not become the last edit control.
    if (box != AttributeBox::ordinary || boxes.ordinary) {
        editor.last_edit = attribute_ids[index];
    }
}

void on_size_box(int index) {
    set_guide(editor.texts->guide_size);
    editor.last_edit = size_ids[index];
    for (int i = 0; i < 4; ++i) {
        set_check(size_ids[i], i == index);
    }
    const SizeOutcome outcome = editor.model.set_size(size_of_id[index]);
    if (outcome == SizeOutcome::done) {
        show_buttons();
        return;
    }
    const char* text = outcome == SizeOutcome::no_room             ? editor.texts->no_room
                       : outcome == SizeOutcome::not_null_function ? editor.texts->not_null_function
                                                                   : editor.texts->already_ganged;
    show_message(editor.main, text, MB_OK | MB_ICONERROR);
    show_size_boxes(editor.model.record(editor.model.current()).size);
}

// The listing and table choosers; false when the user cancelled. Saving asks before it
// replaces a file that exists, so a listing or table picked by mistake is not lost.
bool choose_file(bool save, bool table, std::string& path) {
    wchar_t table_path[MAX_PATH] = {};
    const FileChooser chooser = {
        save ? FileDialog::save : FileDialog::open,
        table ? L"KeyTable (*.TBL)\0*.TBL\0" : L"Files (*.DAT)\0*.DAT\0",
        table ? L"TBL" : L"DAT",
        static_cast<DWORD>(OFN_HIDEREADONLY | (save ? OFN_OVERWRITEPROMPT : OFN_CREATEPROMPT)),
    };
    wchar_t* const name = table ? table_path : editor.chooser_path;
    if (!choose_file_name(editor.main, chooser, name, MAX_PATH)) {
        return false;
    }
    path = to_ansi(name);
    return true;
}

// A path for the wide file functions; past MAX_PATH with the prefix that lifts the limit, so
// that the temporary file beside a target of up to 259 characters can be written.
std::wstring long_path(const std::string& path) {
    std::wstring wide = from_ansi(path);
    if (wide.size() < MAX_PATH) {
        return wide;
    }
    for (wchar_t& c : wide) {
        c = c == L'/' ? L'\\' : c;
    }
    if (wide.rfind(L"\\\\", 0) == 0) {
        return L"\\\\?\\UNC\\" + wide.substr(2);
    }
    return L"\\\\?\\" + wide;
}

std::FILE* create_new_file_win32(const std::string& path) {
    const HANDLE handle = CreateFileW(long_path(path).c_str(), GENERIC_WRITE, 0, nullptr,
                                      CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        errno = error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS ? EEXIST : EACCES;
        return nullptr;
    }
    const int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(handle), 0);
    if (descriptor == -1) {
        CloseHandle(handle);
        DeleteFileW(long_path(path).c_str());
        errno = EMFILE;
        return nullptr;
    }
    std::FILE* file = _fdopen(descriptor, "wb");
    if (file == nullptr) {
        _close(descriptor);
        DeleteFileW(long_path(path).c_str());
        errno = EMFILE;
    }
    return file;
}

const SafeWriteFiles safe_write_files = {
    create_new_file_win32,
    [](const std::string& from, const std::string& to) {
        return MoveFileExW(long_path(from).c_str(), long_path(to).c_str(),
                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
    },
    [](const std::string& path) { DeleteFileW(long_path(path).c_str()); },
};

void write_listing(const std::string& path) {
    if (!write_file_safely(path, listing_text(editor.model, *editor.start.list),
                           editor.start.shift_jis, safe_write_files)) {
        show_message(editor.main, editor.texts->create_failed, MB_OK | MB_ICONERROR);
        return;
    }
    set_current_file(path);
}

void on_open() {
    std::string path;
    if (!choose_file(false, false, path)) {
        return;
    }
    std::string bytes;
    if (!read_file(path, bytes)) {
        show_message(editor.main, editor.texts->open_failed, MB_OK | MB_ICONERROR);
        return;
    }
    KeymapModel loaded = editor.model;
    if (load_listing(bytes, loaded) != ListingResult::loaded) {
        show_message(editor.main, editor.texts->form_wrong, MB_OK | MB_ICONERROR);
        return;
    }
    // Asked only now, so that a file that cannot be taken asks nothing.
    if (!edit_may_be_lost(editor.main)) {
        return;
    }
    set_current_file(path);
    show_model(loaded);
}

// Import and Read from keyboard: the key map replaces the edit after the question New asks.
// It came from no listing, so there is no current file afterwards.
void take_keymap_model(ImportResult result, const KeymapModel& imported) {
    if (result != ImportResult::loaded) {
        const char* text = result == ImportResult::form_wrong ? editor.texts->form_wrong
                                                              : editor.texts->keymap_not_editable;
        show_message(editor.main, text, MB_OK | MB_ICONERROR);
        return;
    }
    if (!edit_may_be_lost(editor.main)) {
        return;
    }
    set_current_file("");
    show_model(imported);
}

void on_import_table() {
    std::string path;
    if (!choose_file(false, true, path)) {
        return;
    }
    std::string bytes;
    if (!read_file(path, bytes)) {
        show_message(editor.main, editor.texts->open_failed, MB_OK | MB_ICONERROR);
        return;
    }
    KeymapModel imported;
    const ImportResult result = import_table(bytes, imported);
    take_keymap_model(result, imported);
}

void on_read_keyboard() {
    Keymap keymap{};
    const HCURSOR cursor = SetCursor(LoadCursorA(nullptr, IDC_WAIT));
    const bool was_read = editor.apply->read_keymap(keymap);
    SetCursor(cursor);
    if (!was_read) {
        show_message(editor.main, editor.texts->read_failed, MB_OK | MB_ICONERROR);
        return;
    }
    KeymapModel imported;
    const ImportResult result = model_from_keymap(keymap, imported);
    take_keymap_model(result, imported);
}

void on_save_as() {
    std::string path;
    if (choose_file(true, false, path)) {
        write_listing(path);
    }
}

void on_export() {
    std::string path;
    if (!choose_file(true, true, path)) {
        return;
    }
    if (!write_file_safely(path, export_text(editor.model), editor.start.shift_jis,
                           safe_write_files)) {
        show_message(editor.main, editor.texts->create_failed, MB_OK | MB_ICONERROR);
    }
}

DWORD WINAPI apply_thread(LPVOID parameter) {
    HWND dialog = static_cast<HWND>(parameter);
    // The setting dialog is the window on screen while the keyboard is written.
    keymap_download::WriteHooks hooks;
    hooks.hold_interruptions =
        common::win32::session_end_hold(dialog, from_utf8(editor.texts->session_end_reason));
    const ApplyResult result = editor.apply->write_keymap(hooks);
    PostMessageW(dialog, result_message, result, 0);
    return 0;
}

INT_PTR CALLBACK setting_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    if (common::win32::answer_session_end(dialog, message, lparam)) {
        return TRUE;
    }
    switch (message) {
        case WM_INITDIALOG:
            PostMessageW(dialog, start_request, 0, 0);
            return TRUE;
        case start_request: {
            editor.apply->mark_started();
            HANDLE thread = CreateThread(nullptr, 0, apply_thread, dialog, 0, nullptr);
            if (thread == nullptr) {
                EndDialog(dialog, 0);
                return TRUE;
            }
            SetThreadPriority(thread, THREAD_PRIORITY_NORMAL);
            CloseHandle(thread);
            return TRUE;
        }
        case result_message:
            if (wparam == apply_success) {
                PostMessageW(dialog, stamp_request, 0, 0);
            } else {
                EndDialog(dialog, 0);
            }
            return TRUE;
        case stamp_request:
            editor.apply->send_date_stamp();
            EndDialog(dialog, 0);
            return TRUE;
        case WM_COMMAND:
            // Escape, Alt+F4 and the system menu end up here: nothing closes the dialog
            // before the result, so no second write can interleave with this one.
            return TRUE;
        case WM_CLOSE:
            return TRUE;
        default:
            return FALSE;
    }
}

void on_keymap_change() {
    const Keymap keymap = build_keymap(editor.model);
    wchar_t field[max_date_text + 1] = {};
    GetDlgItemTextW(editor.main, IDC_TIMESTAMP, field, static_cast<int>(std::size(field)));
    editor.apply->prepare(keymap, to_ansi(field));
    if (show_message(editor.main, editor.texts->confirm_apply, MB_YESNO | MB_ICONWARNING) !=
        IDYES) {
        return;
    }
    DialogBoxParamW(editor.start.instance,
                    MAKEINTRESOURCEW(editor.start.japanese ? IDD_SETTING_JA : IDD_SETTING_EN),
                    editor.main, setting_proc, 0);
    if (editor.apply->failed()) {
        show_message(editor.main, editor.texts->apply_failed, MB_OK | MB_ICONERROR);
    } else {
        show_message(editor.main, editor.texts->applied, MB_OK | MB_ICONINFORMATION);
    }
}

INT_PTR CALLBACK about_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            return TRUE;
        case WM_COMMAND:
            if (LOWORD(wparam) == IDOK || LOWORD(wparam) == IDCANCEL) {
                EndDialog(dialog, 0);
            }
            return TRUE;
        default:
            return FALSE;
    }
}

void on_exit(HWND dialog) {
    if (edit_may_be_lost(dialog)) {
        editor.main = nullptr;  // the hooks stop acting
        EndDialog(dialog, 0);
    }
}

// The hooks act only while the editor window itself takes input: not inside a message box,
// file chooser, setting dialog or about box, which run on the same thread.
bool editor_takes_input() {
    return editor.main != nullptr && IsWindowEnabled(editor.main) &&
           GetActiveWindow() == editor.main;
}

int key_of_button(HWND window) {
    for (int k = 0; k < key_count; ++k) {
        if (editor.buttons[k] == window) {
            return k;
        }
    }
    return -1;
}

void send_key_command(int k) {
    SendMessageW(editor.main, WM_COMMAND, MAKEWPARAM(IDC_KEY_FIRST + k, BN_CLICKED),
                 reinterpret_cast<LPARAM>(editor.buttons[k]));
}

LRESULT CALLBACK filter_hook(int code, WPARAM wparam, LPARAM lparam) {
    // Only the editor's own dialog loop: a click that ends a menu is the menu's.
    if (code == MSGF_DIALOGBOX && editor_takes_input()) {
        const MSG* msg = reinterpret_cast<const MSG*>(lparam);
        if (msg->message == WM_LBUTTONDOWN || msg->message == WM_LBUTTONDBLCLK) {
            const int k = key_of_button(msg->hwnd);
            if (k >= 0) {
                send_key_command(k);
                return TRUE;  // the button neither takes the focus nor shows a press
            }
        }
    }
    return CallNextHookEx(editor.filter_hook, code, wparam, lparam);
}

FocusKind focus_kind() {
    const int id = GetDlgCtrlID(GetFocus());
    if (GetParent(GetFocus()) != editor.main) {
        return FocusKind::other;
    }
    if (id == IDC_KEYCODE_LIST) {
        return FocusKind::keycode_list;
    }
    if (id >= IDC_ATTR_ORDINARY && id <= IDC_ATTR_ALT) {
        return FocusKind::attribute_box;
    }
    if (id >= IDC_SIZE_1X1 && id <= IDC_SIZE_2X2) {
        return FocusKind::size_box;
    }
    return FocusKind::other;
}

LRESULT CALLBACK keyboard_hook(int code, WPARAM wparam, LPARAM lparam) {
    if (code != HC_ACTION || !editor_takes_input()) {
        return CallNextHookEx(editor.keyboard_hook, code, wparam, lparam);
    }
    set_guide(guide_text(*editor.texts, focus_kind()));
    const bool release = (lparam & 0x80000000) != 0;
    const bool arrow =
        wparam == VK_LEFT || wparam == VK_RIGHT || wparam == VK_UP || wparam == VK_DOWN;
    if (release || !arrow || GetKeyState(VK_SHIFT) >= 0) {
        return CallNextHookEx(editor.keyboard_hook, code, wparam, lparam);
    }
    const Direction direction = wparam == VK_LEFT    ? Direction::left
                                : wparam == VK_RIGHT ? Direction::right
                                : wparam == VK_UP    ? Direction::up
                                                     : Direction::down;
    if (std::optional<int> k = editor.model.navigate(direction)) {
        send_key_command(*k);
    }
    return 1;  // navigation is not passed on
}

void init_editor(HWND dialog) {
    editor.main = dialog;
    for (int k = 0; k < key_count; ++k) {
        editor.buttons[k] = GetDlgItem(dialog, IDC_KEY_FIRST + k);
        RECT rect{};
        GetWindowRect(editor.buttons[k], &rect);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
        editor.cells[k] = rect;
        editor.views[k] = ButtonView{};
    }
    editor.model.reset();
    show_buttons();
    highlight_current(true);
    show_size_boxes(0);
    put_today();
    set_current_file("");
    editor.chooser_path[0] = L'\0';

    HWND list = item(IDC_KEYCODE_LIST);
    for (std::size_t code = 0; code < editor.start.list->size(); ++code) {
        SendMessageW(list, LB_INSERTSTRING, code,
                     reinterpret_cast<LPARAM>(
                         from_ansi(editor.start.list->name(static_cast<unsigned>(code))).c_str()));
    }
    show_attribute_boxes(attribute_boxes_of(0));

    if (editor.start.font != nullptr) {
        const WPARAM font = reinterpret_cast<WPARAM>(editor.start.font);
        for (HWND button : editor.buttons) {
            SendMessageW(button, WM_SETFONT, font, FALSE);
        }
        for (int id : {IDC_SIZE_1X1, IDC_SIZE_2X1, IDC_SIZE_1X2, IDC_SIZE_2X2, IDC_ATTR_ORDINARY,
                       IDC_ATTR_REPEAT, IDC_ATTR_SHIFT, IDC_ATTR_CTRL, IDC_ATTR_ALT,
                       IDC_LABEL_KEYCODE, IDC_GROUP_ATTRIBUTE, IDC_GROUP_SIZE, IDC_LABEL_TIMESTAMP,
                       IDC_KEYCODE_LIST, IDC_TIMESTAMP}) {
            SendMessageW(item(id), WM_SETFONT, font, FALSE);
        }
    }
    set_guide(editor.texts->guide_keycode);
    SendMessageW(list, LB_SETCURSEL, 0, 0);
    editor.last_edit = IDC_KEYCODE_LIST;
    SetFocus(list);

    editor.keyboard_hook =
        SetWindowsHookExW(WH_KEYBOARD, keyboard_hook, nullptr, GetCurrentThreadId());
    editor.filter_hook =
        SetWindowsHookExW(WH_MSGFILTER, filter_hook, nullptr, GetCurrentThreadId());
}

void on_command(HWND dialog, int id, int notification) {
    if (id >= IDC_KEY_FIRST && id <= IDC_KEY_LAST) {
        const int k = id - IDC_KEY_FIRST;
        if (editor.model.selectable(k)) {
            select_key(k);
        }
        return;
    }
    if (id == IDC_KEYCODE_LIST) {
        on_keycode_list();
        return;
    }
    for (int i = 0; i < 5; ++i) {
        if (id == attribute_ids[i] && notification == BN_CLICKED) {
            on_attribute_box(i);
            return;
        }
    }
    for (int i = 0; i < 4; ++i) {
        if (id == size_ids[i] && notification == BN_CLICKED) {
            on_size_box(i);
            return;
        }
    }
    switch (id) {
        case IDM_NEW:
            if (edit_may_be_lost(dialog)) {
                PostMessageW(dialog, reset_request, 0, 0);
                set_current_file("");
            }
            break;
        case IDM_OPEN:
            on_open();
            break;
        case IDM_SAVE:
            if (!editor.file_path.empty()) {
                write_listing(editor.file_path);
            } else {
                on_save_as();
            }
            break;
        case IDM_SAVE_AS:
            on_save_as();
            break;
        case IDM_EXPORT:
            on_export();
            break;
        case IDM_IMPORT_TABLE:
            on_import_table();
            break;
        case IDM_KEYMAP_CHANGE:
            on_keymap_change();
            break;
        case IDM_READ_KEYBOARD:
            on_read_keyboard();
            break;
        case IDM_ABOUT:
            DialogBoxParamW(editor.start.instance,
                            MAKEINTRESOURCEW(editor.start.japanese ? IDD_ABOUT_JA : IDD_ABOUT_EN),
                            dialog, about_proc, 0);
            break;
        case IDM_EXIT:
        case IDCANCEL:  // Esc
            on_exit(dialog);
            break;
        default:  // IDOK (Enter) does nothing
            break;
    }
}

INT_PTR CALLBACK editor_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            init_editor(dialog);
            return FALSE;  // the focus is set
        case WM_COMMAND:
            on_command(dialog, LOWORD(wparam), HIWORD(wparam));
            return TRUE;
        case reset_request:
            reset_editor();
            put_today();
            return TRUE;
        case WM_CLOSE:
            on_exit(dialog);
            return TRUE;
        default:
            return FALSE;
    }
}

}  // namespace

INT_PTR run_editor(const StartInfo& start) {
    editor.start = start;
    editor.texts = &messages_for(start.japanese);
    editor.host = hidlink::make_host();
    editor.link = std::make_unique<hidlink::Link>(*editor.host, editor.clock);
    // The model selector becomes 1: only the Sparrow POS Keyboard is looked for.
    editor.apply = std::make_unique<KeymapApply>(*editor.link, editor.clock);
    return DialogBoxParamW(start.instance,
                           MAKEINTRESOURCEW(start.japanese ? IDD_EDITOR_JA : IDD_EDITOR_EN),
                           nullptr, editor_proc, 0);
}

void remove_hooks() {
    if (editor.keyboard_hook != nullptr) {
        UnhookWindowsHookEx(editor.keyboard_hook);
        editor.keyboard_hook = nullptr;
    }
    if (editor.filter_hook != nullptr) {
        UnhookWindowsHookEx(editor.filter_hook);
        editor.filter_hook = nullptr;
    }
}

}  // namespace keymap_editor::win32
