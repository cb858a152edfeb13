// The dialogs' decisions: which message, caption and icon each outcome gives, in both
// languages.
#include "firmware_download/dialog_logic.h"

#include <gtest/gtest.h>

#include <string>

namespace firmware_download {
namespace {

TEST(DialogLogic, FileNameChecks) {
    const Messages& en = messages_for(false);
    EXPECT_STREQ(check_file_name("", en).text, "Please input the file name.");
    EXPECT_FALSE(check_file_name(std::string(259, 'a'), en).show);
    const MessageBoxPlan too_long = check_file_name(std::string(260, 'a'), en);
    EXPECT_STREQ(too_long.text, "The file is not found.");
    EXPECT_STREQ(too_long.caption, "Download tool failure");
    EXPECT_EQ(too_long.icon, Icon::error);
}

TEST(DialogLogic, DownloadResultsAndTheirMessages) {
    struct Case {
        DownloadResult result;
        const char* english;  // nullptr: nothing shown
        const char* japanese;
    };
    const Case cases[] = {
        {DownloadResult::declined, nullptr, nullptr},
        {DownloadResult::ended_normally, nullptr, nullptr},
        {DownloadResult::cannot_read, "The file cannot be read.",
         "ファイルを読み込むことができません。"},
        {DownloadResult::format_error, "File format error.", "ファイルフォーマットエラー。"},
        {DownloadResult::ended_abnormally, "The transmission of the file ended abnormally.",
         "ファイル転送異常終了。"},
        {DownloadResult::canceled, "The transmission of the file was canceled.",
         "ファイル転送強制終了。"},
        {DownloadResult::not_found, "The file is not found.", "ファイルが見つかりません。"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.result));
        for (bool japanese : {false, true}) {
            MessageBoxPlan plan = message_for_download_result(c.result, messages_for(japanese));
            const char* want = japanese ? c.japanese : c.english;
            EXPECT_EQ(plan.show, want != nullptr);
            if (want != nullptr) {
                EXPECT_STREQ(plan.text, want);
                EXPECT_STREQ(plan.caption, "Download tool failure");
                EXPECT_EQ(plan.icon, Icon::error);
            }
        }
    }
    EXPECT_EQ(download_result_for(ParseOutcome::accepted), DownloadResult::declined);
    EXPECT_EQ(download_result_for(ParseOutcome::not_found), DownloadResult::not_found);
    EXPECT_EQ(download_result_for(ParseOutcome::cannot_read), DownloadResult::cannot_read);
    EXPECT_EQ(download_result_for(ParseOutcome::format_error), DownloadResult::format_error);
    EXPECT_EQ(download_result_for(DownloadOutcome::ended_normally), DownloadResult::ended_normally);
    EXPECT_EQ(download_result_for(DownloadOutcome::failed), DownloadResult::ended_abnormally);
    EXPECT_EQ(download_result_for(DownloadOutcome::canceled), DownloadResult::canceled);
    EXPECT_TRUE(starts_date_stamp(DownloadResult::ended_normally));
    EXPECT_FALSE(starts_date_stamp(DownloadResult::canceled));
}

TEST(DialogLogic, WorkerDateStampAndVersionMessages) {
    const Messages& ja = messages_for(true);
    MessageBoxPlan failed = worker_message(DownloadOutcome::failed);
    EXPECT_STREQ(failed.text, "TAVSendDownloadData FALSE");  // English in both languages
    EXPECT_EQ(failed.icon, Icon::error);
    EXPECT_FALSE(worker_message(DownloadOutcome::ended_normally).show);
    EXPECT_FALSE(worker_message(DownloadOutcome::canceled).show);

    MessageBoxPlan stamped = date_stamp_message(true, ja);
    EXPECT_STREQ(stamped.text, "ファイル転送正常終了。");
    EXPECT_STREQ(stamped.caption, "Download tool success");
    EXPECT_EQ(stamped.icon, Icon::information);
    MessageBoxPlan not_stamped = date_stamp_message(false, ja);
    EXPECT_STREQ(not_stamped.text, "ダウンロードの日付の更新に失敗しました。");
    EXPECT_STREQ(not_stamped.caption, "Download tool success");
    EXPECT_EQ(not_stamped.icon, Icon::error);

    VersionResult none;
    none.status = VersionStatus::no_device;
    MessageBoxPlan device = version_query_message(none, messages_for(false));
    EXPECT_STREQ(device.text, "Device is not found!");
    EXPECT_STREQ(device.caption, "Download tool failure");
    EXPECT_EQ(device.icon, Icon::none);
    EXPECT_FALSE(version_query_message(VersionResult{}, ja).show);  // failed: only "??.??"

    MessageBoxPlan question = confirm_message(ja);
    EXPECT_STREQ(question.text, "ファームウェアをダウンロードします。\nよろしいですか？");
    EXPECT_STREQ(question.caption, "Download tool");
    EXPECT_EQ(question.icon, Icon::warning);
}

}  // namespace
}  // namespace firmware_download
