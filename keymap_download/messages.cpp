#include "keymap_download/messages.h"

namespace keymap_download {

namespace {

constexpr Messages english = {
    "Reading....",
    "Writing....",
    "Finish....",
    "The Keymap is downloaded, Is it OK ?",
    "The transmission of the file ended normally.",
    "The transmission of the file ended abnormally.",
    "File format error.",
    "The file cannot be read.",
    "The file is not found.",
    "Please input the file name.",
    "Dialogbox cannot be made.",
    "Fail in the renewal of the Download date stamp.",
    "Download Tool for keymap of the Keyboard",
    "Please set the file name and push the Run button if you want to rewrite the key map of the "
    "Panel. \nPlease never turn off the power supply of the device while downloading the key map",
    "Download data stamp renovation...",
    "The keyboard's key map was saved.",
    "The key map cannot be read from the keyboard.",
    "The key map file cannot be written.",
    "Writing to the keyboard. Do not turn off the PC.",
};

constexpr Messages japanese = {
    "ファイル読み込み中....",
    "書き換え中....",
    "終了....",
    "キーマップをダウンロードします。\nよろしいですか？",
    "ファイル転送正常終了。",
    "ファイル転送異常終了。",
    "ファイルフォーマットエラー。",
    "ファイルを読み込むことができません。",
    "ファイルが見つかりません。",
    "ファイル名を入力してください。",
    "ダイアログボックスが作成できません。",
    "ダウンロードの日付の更新に失敗しました。",
    "Keyboard キーマップダウンロードツール",
    "キーマップをダウンロードする場合は、ファイル名を指定して実行ボタンを押して下さい。\n"
    "ダウンロード中は、装置の電源を切らないでください。",
    "ダウンロード日付更新中...",
    "キーボードのキーマップを保存しました。",
    "キーボードからキーマップを読み込めません。",
    "キーマップファイルを書き込めません。",
    "キーボードに書き込み中です。PCの電源を切らないでください。",
};

}  // namespace

const Messages& messages_for(bool japanese_flag) {
    return japanese_flag ? japanese : english;
}

const char* const usage_texts[usage_text_count] = {
    "Usage: TAVmapDL [/1 | /2] [/C | /W | /F KeyMapFile] [/B BackupFile] [/L LogFile] [/T "
    "YYYY-MM-DD]",
    "Target Keyboard\n  /1 Sparrow POS Keyboard\n  /2 ReedKey PAD\n",
    "Function\n  /C Compare current keymap with the following KeyMapFile.\n  /W Write keymap, only "
    "when differ from the following KeyMapFile.\n  /F Forcibly (always) write keymap (no "
    "comparing)\n  /B Save the current keymap to the following BackupFile first (alone: only "
    "save; not with /C).\n",
    "Log (optional)\n  /L record Log with the following log filename.\n",
    "Time (Optional)\n  /T Define the flash date artificially, instead of the actual flash date.",
    "The date format is \"YYYY-MM-DD\". (\"-\" must be inserted.)",
    "e.g. TAVmapDL /1 /W xxxmap.tbl /L xxxlog.csv /T 2011-01-01",
};

}  // namespace keymap_download
