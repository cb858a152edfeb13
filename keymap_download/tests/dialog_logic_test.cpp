#include "keymap_download/dialog_logic.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "keymap_download/tests/temp_folder.h"

namespace keymap_download {
namespace {

// No keyboard at all: enough for the decisions that never reach the device.
class NoKeyboards : public hidlink::Host {
  public:
    bool open_interface_list() override { return false; }
    hidlink::InterfaceLookup interface_path(std::uint32_t, std::string&) override {
        return hidlink::InterfaceLookup::no_more;
    }
    void close_interface_list() override {}
    std::unique_ptr<hidlink::Device> open_device(const std::string&) override { return nullptr; }
};

TEST(KeymapDialogLogic, ModelChoice) {
    EXPECT_EQ(record_for_radio(id_radio_sparrow).model_selector, 1);
    EXPECT_EQ(record_for_radio(id_radio_sparrow).frame_count, 6u);
    EXPECT_EQ(record_for_radio(id_radio_reed).model_selector, 2);
    EXPECT_EQ(record_for_radio(id_radio_reed).line_count, 20);
    EXPECT_EQ(model_flag(1), 0);
    EXPECT_EQ(model_flag(2), 1);
    EXPECT_EQ(model_flag(0), 1);
}

TEST(KeymapDialogLogic, MessagesAlongTheRun) {
    const Messages& en = messages_for(false);
    const Messages& ja = messages_for(true);
    EXPECT_TRUE(japanese_from_code_page(932));
    EXPECT_FALSE(japanese_from_code_page(1252));
    EXPECT_STREQ(ja.format_error, "ファイルフォーマットエラー。");

    MessageBoxPlan m = check_file_name("", en);
    EXPECT_TRUE(m.show);
    EXPECT_STREQ(m.text, "Please input the file name.");
    EXPECT_STREQ(m.caption, "Download tool failure");
    EXPECT_EQ(m.icon, Icon::error);
    EXPECT_FALSE(check_file_name("a.tbl", en).show);
    EXPECT_STREQ(file_not_found_message(ja).text, "ファイルが見つかりません。");

    // The worker's outcome travels as a completion code into a download result.
    EXPECT_EQ(download_result_for(completion_code_for(WriteOutcome::ok)), DownloadResult::success);
    for (WriteOutcome failed : {WriteOutcome::start_failed, WriteOutcome::data_failed,
                                WriteOutcome::end_failed, WriteOutcome::device_not_selected}) {
        EXPECT_EQ(completion_code_for(failed), completion_failure);
        EXPECT_EQ(download_result_for(completion_code_for(failed)),
                  DownloadResult::transfer_failed);
    }
    m = write_outcome_message(WriteOutcome::device_not_selected);
    EXPECT_STREQ(m.text, "Device not Select!");
    EXPECT_STREQ(m.caption, "Download tool failure");
    EXPECT_FALSE(write_outcome_message(WriteOutcome::data_failed).show);

    EXPECT_FALSE(message_for_download_result(DownloadResult::declined, en).show);
    EXPECT_FALSE(message_for_download_result(DownloadResult::success, en).show);
    EXPECT_TRUE(starts_date_stamp(DownloadResult::success));
    EXPECT_FALSE(starts_date_stamp(DownloadResult::declined));
    EXPECT_STREQ(message_for_download_result(DownloadResult::not_loadable, en).text,
                 "The file cannot be read.");
    EXPECT_STREQ(message_for_download_result(DownloadResult::format_error, en).text,
                 "File format error.");
    EXPECT_STREQ(message_for_download_result(DownloadResult::transfer_failed, ja).text,
                 "ファイル転送異常終了。");

    m = date_stamp_message(true, en);
    EXPECT_STREQ(m.text, "The transmission of the file ended normally.");
    EXPECT_STREQ(m.caption, "Download tool success");
    EXPECT_EQ(m.icon, Icon::information);
    m = date_stamp_message(false, en);
    EXPECT_STREQ(m.text, "Fail in the renewal of the Download date stamp.");
    EXPECT_EQ(m.icon, Icon::error);
    m = confirm_message(en);
    EXPECT_STREQ(m.caption, "Download tool");
    EXPECT_EQ(m.icon, Icon::warning);

    EXPECT_FALSE(close_allowed(true));
    EXPECT_TRUE(close_allowed(false));
}

class KeymapPrepareDownload : public TempFolder {
  protected:
    NoKeyboards host_;
    common::FakeClock clock_;
    hidlink::Link link_{host_, clock_};
    KeymapSession session_{link_, clock_};
};

TEST_F(KeymapPrepareDownload, LoadPresetAndParse) {
    std::array<std::uint8_t, file_keymap_size> bytes{};
    ASSERT_TRUE(write_table_file(path("a.tbl"), bytes));

    // A good file for the ReedKey PAD fills 160 bytes; the preset leaves the rest untouched.
    session_.file_keymap.fill(0x55);
    TableFile file;
    ASSERT_TRUE(file.open(path("a.tbl")));
    EXPECT_EQ(prepare_download(file, session_), Preparation::ready);
    EXPECT_EQ(session_.file_keymap[159], 0x00);
    EXPECT_EQ(session_.file_keymap[160], 0x55);

    // The preset covers the key map length even when the parse fails early.
    put(path("bad.tbl"), "STARTTABLE\nT,0");
    session_.record = sparrow_record();
    session_.file_keymap.fill(0x55);
    ASSERT_TRUE(file.open(path("bad.tbl")));
    EXPECT_EQ(prepare_download(file, session_), Preparation::format_error);
    EXPECT_EQ(session_.file_keymap[191], 0xFF);
    EXPECT_EQ(download_result_for(Preparation::format_error), DownloadResult::format_error);

    ASSERT_TRUE(file.open(path("a.tbl")));
    EXPECT_EQ(prepare_download(file, session_, 10), Preparation::not_loadable);
    EXPECT_EQ(download_result_for(Preparation::not_loadable), DownloadResult::not_loadable);
}

}  // namespace
}  // namespace keymap_download
