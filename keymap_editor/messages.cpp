#include "keymap_editor/messages.h"

namespace keymap_editor {

namespace {

const Messages english = {
    "Sparrow Keymap Edit",
    "Keymap change has success.",
    "Dialogbox cannot be made.",
    "Keymap change failed.",
    "Ganged Key won't fit.",
    "Can only gang Null Function key.",
    "Key for ganging already ganged.",
    "File open failed!",
    "File form is wrong!",
    "File create failed!",
    "Contents of editing are lost, Is it OK?",
    "Keymap change is started, Is it OK?",
    "Setting Keymap now...",
    "[New File]",
    "Keycode : Up/Down Arrow Key",
    "Attribute : Up/Down Arrow Key and Space Key",
    "Size : Up/Down Arrow Key and Space Key",
    "Keymap read failed.",
    "The key map holds attributes this editor cannot show.",
    "Writing to the keyboard. Do not turn off the PC.",
};

const Messages japanese = {
    "Sparrowキーマップ編集",
    "キーマップの変更が正常に終了しました。",
    "ダイアログボックスが作成できません。",
    "キーマップの変更が失敗しました。",
    "結合するキーがありません。",
    "Null Function keyのみ結合可能です。",
    "キーはすでに結合済みです。",
    "ファイルオープンに失敗しました。",
    "ファイル形式が違います。",
    "ファイル作成に失敗しました。",
    "編集内容は失われます。よろしいですか？",
    "キーマップの変更を開始します。よろしいですか？",
    "キーマップ設定中・・・",
    "[新規]",
    "キーコード : ↑/↓キー",
    "アトリビュート : ↑/↓キー and SPACEキー",
    "サイズ : ↑/↓キー and SPACEキー",
    "キーマップの読み込みに失敗しました。",
    "キーマップにこのエディタで表示できないアトリビュートがあります。",
    "キーボードに書き込み中です。PCの電源を切らないでください。",
};

}  // namespace

const Messages& messages_for(bool is_japanese) {
    return is_japanese ? japanese : english;
}

const char* guide_text(const Messages& messages, FocusKind focus) {
    switch (focus) {
        case FocusKind::keycode_list:
            return messages.guide_keycode;
        case FocusKind::attribute_box:
            return messages.guide_attribute;
        case FocusKind::size_box:
            return messages.guide_size;
        case FocusKind::other:
            break;
    }
    return nullptr;
}

}  // namespace keymap_editor
