#include "settings_tool/messages.h"

namespace settings_tool {

namespace {

constexpr Messages english = {
    "Device is not found!",        "MSR Data get Fail!",       "Key Lockout Data get Fail!",
    "Key Input setting get Fail!", "OP Key setting get Fail!", "Data set Fail!",
};

constexpr Messages japanese = {
    "デバイスを発見できませんでした。",      "MSRデータ取得に失敗しました。",
    "Key Lockoutデータ取得に失敗しました。", "キーボード入力設定取得に失敗しました。",
    "OP Keyの設定の取得に失敗しました。",    "設定に失敗しました。",
};

}  // namespace

const Messages& messages_for(bool japanese_texts) {
    return japanese_texts ? japanese : english;
}

}  // namespace settings_tool
