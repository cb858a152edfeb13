#!/usr/bin/env python3
"""Writes Lexmap.rc: the editor window (88 key buttons), menus, setting dialog and about box in
English and Japanese at their dialog-unit positions. Lexmap.rc is kept in the repository; run
this only to change the layout."""
import os

HERE = os.path.dirname(os.path.abspath(__file__))

LAYOUT = {
    "en": dict(
        size=(383, 279), font='10, "MS Sans Serif"', key=(24, 22),
        rows=[9, 33, 57, 81, 105, 129, 153, 177, 201],  # J, H, G, … A from the top
        keycode_label=(279, 7), list=(275, 20, 101, 54),
        attr_group=(275, 81, 101, 68), attr_y=[92, 103, 114, 125, 136],
        size_group=(275, 154, 101, 60), size_y=[164, 177, 188, 201],
        stamp_label=(279, 221), stamp=(275, 236, 101, 13),
        file=(8, 226, 260, 23), hint=(8, 251, 188, 23), guide=(195, 251, 183, 23)),
    "ja": dict(
        size=(385, 305), font='9, "ＭＳ Ｐゴシック"', key=(24, 24),
        rows=[10, 36, 62, 88, 114, 140, 166, 192, 218],
        keycode_label=(282, 6), list=(275, 19, 101, 58),
        attr_group=(275, 85, 101, 74), attr_y=[97, 109, 121, 133, 145],
        size_group=(275, 165, 101, 65), size_y=[176, 189, 202, 215],
        stamp_label=(279, 237), stamp=(275, 254, 101, 14),
        file=(8, 245, 260, 25), hint=(8, 272, 188, 25), guide=(195, 272, 183, 25)),
}

TEXT = {
    "en": dict(
        caption="Sparrow Keymap Edit", keycode="Keycode", attribute="Attribute", size="Size",
        stamp="Time stamp", new_file="[New File]", hint="Key select  : Shift + Arrow Key",
        attrs=["Ordinary Keycode", "Repeat*1 Keycode Value", "Shift code add", "Ctrl code add",
               "Alt code add"],
        sizes=["1x1 Single Key", "2x1 Horizontal", "1x2 Vertical", "2x2 Square"],
        file_menu="&File", file_items=["&New", "&Open", "&Save", "Save &As",
                                       "Output the &Key code file", "&Exit"],
        import_item="&Import key map table", read_item="&Read from keyboard",
        kb_menu="&Keyboard", kb_item="Keymap &Change", help_menu="&Help", help_item="&About...",
        setting="Setting Keymap now...", about="Version Information"),
    "ja": dict(
        caption="Sparrowキーマップ編集", keycode="キーコード", attribute="アトリビュート",
        size="サイズ", stamp="日付", new_file="[新規]", hint="キー選択　 ：　Shift + 矢印キー",
        attrs=["Ordinary Keycode", "Repeat*1 Keycode Value", "Shift code add", "Ctrl code add",
               "Alt code add"],
        sizes=["1x1 Single Key", "2x1 Horizontal", "1x2 Vertical", "2x2 Square"],
        file_menu="ファイル(&F)", file_items=["新規作成(&N)", "開く(&O)", "上書き保存(&S)",
                                             "名前をつけて保存(&A)", "キーコードファイル出力(&K)",
                                             "終了(&E)"],
        import_item="キーマップテーブルの読み込み(&I)", read_item="キーボードから読み込み(&R)",
        kb_menu="キーボード（&K)", kb_item="キーマップの変更(&C)", help_menu="ヘルプ（&H)",
        help_item="バージョン情報(&A)", setting="キーマップ設定中・・・", about="バージョン情報"),
}

MENU_IDS = ["IDM_NEW", "IDM_OPEN", "IDM_SAVE", "IDM_SAVE_AS", "IDM_EXPORT", "IDM_EXIT"]
ATTR_IDS = ["IDC_ATTR_ORDINARY", "IDC_ATTR_REPEAT", "IDC_ATTR_SHIFT", "IDC_ATTR_CTRL",
            "IDC_ATTR_ALT"]
SIZE_IDS = ["IDC_SIZE_1X1", "IDC_SIZE_2X1", "IDC_SIZE_1X2", "IDC_SIZE_2X2"]


def key_index(row, column):  # row 0 = A … 7 = H, 8 = J
    return 10 * row + column - 1 if row < 8 else 80 + column - 1


def editor(lang, dialog_id, menu_id):
    L, T = LAYOUT[lang], TEXT[lang]
    out = [f"{dialog_id} DIALOGEX 0, 0, {L['size'][0]}, {L['size'][1]}",
           "STYLE DS_CENTER | DS_SETFONT | WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | "
           "WS_MAXIMIZEBOX",
           f'CAPTION "{T["caption"]}"', f"MENU {menu_id}", f"FONT {L['font']}", "BEGIN"]
    w, h = L["key"]
    # Tab order: the list box first (it gets the focus), then the boxes, then the keys.
    lx, ly = L["keycode_label"]
    out.append(f'    LTEXT "{T["keycode"]}", IDC_LABEL_KEYCODE, {lx}, {ly}, 90, 10')
    x, y, cw, ch = L["list"]
    out.append(f"    LISTBOX IDC_KEYCODE_LIST, {x}, {y}, {cw}, {ch}, LBS_NOTIFY | "
               "LBS_NOINTEGRALHEIGHT | WS_VSCROLL | WS_TABSTOP | WS_BORDER")
    x, y, cw, ch = L["attr_group"]
    out.append(f'    GROUPBOX "{T["attribute"]}", IDC_GROUP_ATTRIBUTE, {x}, {y}, {cw}, {ch}')
    for text, ident, by in zip(T["attrs"], ATTR_IDS, L["attr_y"]):
        out.append(f'    AUTOCHECKBOX "{text}", {ident}, 280, {by}, 94, 10, WS_TABSTOP')
    x, y, cw, ch = L["size_group"]
    out.append(f'    GROUPBOX "{T["size"]}", IDC_GROUP_SIZE, {x}, {y}, {cw}, {ch}')
    for text, ident, by in zip(T["sizes"], SIZE_IDS, L["size_y"]):
        out.append(f'    AUTOCHECKBOX "{text}", {ident}, 280, {by}, 94, 10, WS_TABSTOP')
    sx, sy = L["stamp_label"]
    out.append(f'    LTEXT "{T["stamp"]}", IDC_LABEL_TIMESTAMP, {sx}, {sy}, 90, 10')
    x, y, cw, ch = L["stamp"]
    out.append(f"    EDITTEXT IDC_TIMESTAMP, {x}, {y}, {cw}, {ch}, ES_AUTOHSCROLL | WS_TABSTOP")
    for ident, key, text in (("IDC_FILENAME", "file", T["new_file"]),
                             ("IDC_HINT", "hint", T["hint"]), ("IDC_GUIDE", "guide", "")):
        x, y, cw, ch = L[key]
        out.append(f'    LTEXT "{text}", {ident}, {x}, {y}, {cw}, {ch}, '
                   "SS_SUNKEN | SS_CENTERIMAGE | SS_NOPREFIX")
    for r, top in enumerate(L["rows"]):
        row = 8 - r  # J first
        for column in range(1, (8 if row == 8 else 10) + 1):
            k = key_index(row, column)
            x = 8 + 26 * (column - 1)
            out.append(f'    PUSHBUTTON "", {1000 + k}, {x}, {top}, {w}, {h}, BS_MULTILINE')
    out.append("END")
    return out


def menu(lang, menu_id):
    T = TEXT[lang]
    out = [f"{menu_id} MENU", "BEGIN", f'    POPUP "{T["file_menu"]}"', "    BEGIN"]
    for text, ident in zip(T["file_items"], MENU_IDS):
        if ident == "IDM_EXIT":
            out.append(f'        MENUITEM "{T["import_item"]}", IDM_IMPORT_TABLE')
            out.append("        MENUITEM SEPARATOR")
        out.append(f'        MENUITEM "{text}", {ident}')
    out += ["    END", f'    POPUP "{T["kb_menu"]}"', "    BEGIN",
            f'        MENUITEM "{T["kb_item"]}", IDM_KEYMAP_CHANGE',
            f'        MENUITEM "{T["read_item"]}", IDM_READ_KEYBOARD', "    END",
            f'    POPUP "{T["help_menu"]}"', "    BEGIN",
            f'        MENUITEM "{T["help_item"]}", IDM_ABOUT', "    END", "END"]
    return out


def setting(lang, dialog_id):
    L, T = LAYOUT[lang], TEXT[lang]
    # No system menu and no buttons: the dialog closes only with the result.
    return [f"{dialog_id} DIALOGEX 0, 0, 160, 44",
            "STYLE DS_CENTER | DS_MODALFRAME | DS_SETFONT | WS_POPUP | WS_CAPTION",
            f'CAPTION "{T["caption"]}"', f"FONT {L['font']}", "BEGIN",
            f'    CTEXT "{T["setting"]}", IDC_SETTING_TEXT, 10, 16, 140, 12', "END"]


def about(lang, dialog_id):
    L, T = LAYOUT[lang], TEXT[lang]
    return [f"{dialog_id} DIALOGEX 0, 0, 170, 70",
            "STYLE DS_CENTER | DS_MODALFRAME | DS_SETFONT | WS_POPUP | WS_CAPTION | WS_SYSMENU",
            f'CAPTION "{T["about"]}"', f"FONT {L['font']}", "BEGIN",
            "    ICON IDI_LEXMAP, IDC_ABOUT_ICON, 12, 12, 20, 20",
            '    LTEXT "Keymap Edit Utility", IDC_ABOUT_NAME, 46, 12, 110, 10',
            '    LTEXT "Version V1.0L01", IDC_ABOUT_VERSION, 46, 26, 110, 10',
            '    DEFPUSHBUTTON "OK", IDOK, 60, 48, 50, 14', "END"]


HEADER = r'''// Lexmap's resources: the editor window with its menu, the setting dialog and the about box
// in English and Japanese, the icon and the manifest. UTF-8. Written by
// make_rc.py.
#pragma code_page(65001)
#include <windows.h>
#include "resource.h"

LANGUAGE LANG_NEUTRAL, SUBLANG_NEUTRAL

IDI_LEXMAP ICON "Lexmap.ico"
CREATEPROCESS_MANIFEST_RESOURCE_ID RT_MANIFEST "Lexmap.manifest"

'''

lines = [HEADER]
for lang, ids in (("en", ("IDD_EDITOR_EN", "IDR_MENU_EN", "IDD_SETTING_EN", "IDD_ABOUT_EN")),
                  ("ja", ("IDD_EDITOR_JA", "IDR_MENU_JA", "IDD_SETTING_JA", "IDD_ABOUT_JA"))):
    lines.append("// " + "-" * 93)
    lines.append("// " + ("English" if lang == "en" else "Japanese"))
    lines.append("")
    lines.append("LANGUAGE LANG_ENGLISH, SUBLANG_ENGLISH_US" if lang == "en"
                 else "LANGUAGE LANG_JAPANESE, SUBLANG_DEFAULT")
    lines.append("")
    for block in (editor(lang, ids[0], ids[1]), menu(lang, ids[1]), setting(lang, ids[2]),
                  about(lang, ids[3])):
        lines += block
        lines.append("")
with open(os.path.join(HERE, "Lexmap.rc"), "w", encoding="utf-8", newline="\n") as f:
    f.write("\n".join(lines))
