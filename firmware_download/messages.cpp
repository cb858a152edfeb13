#include "firmware_download/messages.h"

namespace firmware_download {

namespace {

constexpr Messages english = {
    "Writing....",
    "Reading....",
    "Finish....",
    "The Firmware is downloaded, Is it OK ?",
    "The transmission of the file ended normally.",
    "The transmission of the file ended abnormally.",
    "File format error.",
    "The file cannot be read.",
    "The file is not found.",
    "Please input the file name.",
    "Dialogbox cannot be made.",
    "Fail in the renewal of the Download date stamp.",
    "Device is not found!",
    "The transmission of the file was canceled.",
    "Download Tool for firmware of the Keyboard",
    "Please set the file name and push the Run button if you want to rewrite the firmware of "
    "the Panel. \nPlease never turn off the power supply of the device while downloading the "
    "firmware",
    "Download data stamp renovation...",
    "Writing to the keyboard. Do not turn off the PC.",
};

constexpr Messages japanese = {
    "書き換え中....",
    "ファイル読み込み中....",
    "終了....",
    "ファームウェアをダウンロードします。\nよろしいですか？",
    "ファイル転送正常終了。",
    "ファイル転送異常終了。",
    "ファイルフォーマットエラー。",
    "ファイルを読み込むことができません。",
    "ファイルが見つかりません。",
    "ファイル名を入力してください。",
    "ダイアログボックスが作成できません。",
    "ダウンロードの日付の更新に失敗しました。",
    "デバイスを発見できませんでした。",
    "ファイル転送強制終了。",
    "Keyboard ファームウェア書き換えツール",
    "ファームウェアを書き換える場合は、ファイル名を指定して実行ボタンを押して下さい。\n"
    "ダウンロード中は、装置の電源を切らないでください。",
    "ダウンロード日付更新中...",
    "キーボードに書き込み中です。PCの電源を切らないでください。",
};

}  // namespace

const Messages& messages_for(bool japanese_flag) {
    return japanese_flag ? japanese : english;
}

}  // namespace firmware_download
