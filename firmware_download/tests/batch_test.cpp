// Batch mode: the command line and the run's exit codes against the in-process keyboards.
#include "firmware_download/batch.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "firmware_download/tests/keyboard_fixture.h"

namespace firmware_download {
namespace {

TEST(BatchCommandLine, TailAfterTheProgramName) {
    EXPECT_EQ(command_tail("TAVFrmDL.exe 2 fw.mhx"), "2 fw.mhx");
    EXPECT_EQ(command_tail("\"C:\\Program Files\\TAVFrmDL.exe\"   4 C:\\a b.mhx "),
              "4 C:\\a b.mhx ");
    EXPECT_EQ(command_tail("TAVFrmDL.exe"), "");
    EXPECT_EQ(command_tail("TAVFrmDL.exe \t "), "");
    EXPECT_EQ(command_tail("\"unclosed 2 x"), "");
}

TEST(BatchCommandLine, DigitSeparatorAndPath) {
    const std::string folder = "C:\\work";
    struct Case {
        std::string text;
        bool valid;
        int model;
        std::string path;
    };
    const std::string long_name(255, 'a');
    const std::vector<Case> cases = {
        {"2 firmware.mhx", true, 2, "C:\\work\\firmware.mhx"},
        {"4 C:\\fw\\k.mhx", true, 4, "C:\\fw\\k.mhx"},
        {"1xsub\\k.mhx", true, 1, "C:\\work\\sub\\k.mhx"},  // the separator is not looked at
        {"3 \"C:\\my fw\\k.mhx\"", true, 3, "C:\\my fw\\k.mhx"},
        {"3 \"k.mhx", true, 3, "C:\\work\\k.mhx"},
        {"5 fw.mhx", false, 0, ""},
        {"0 fw.mhx", false, 0, ""},
        {"a fw.mhx", false, 0, ""},
        {"2 ", false, 0, ""},
        {"2", false, 0, ""},
        {"2 \"\"", false, 0, ""},
        {"2 x", true, 2, "C:\\work\\x"},
        {"2 C:" + std::string(255, 'b'), true, 2, "C:" + std::string(255, 'b')},
        {"2 C:" + std::string(256, 'b'), false, 0, ""},  // 260 characters
        // Joined: 7 + 1 + 251 = 259 fits, one more does not.
        {"2 " + std::string(251, 'c'), true, 2, "C:\\work\\" + std::string(251, 'c')},
        {"2 " + std::string(252, 'c'), false, 0, ""},
        {"2 " + long_name, false, 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 40));
        BatchCommand command = parse_command(c.text, folder);
        EXPECT_EQ(command.valid, c.valid);
        if (c.valid) {
            EXPECT_EQ(command.model_selector, c.model);
            EXPECT_EQ(command.path, c.path);
        }
    }
    // Without a current folder a relative path cannot be joined.
    EXPECT_FALSE(parse_command("2 fw.mhx", "").valid);
}

class BatchRun : public KeyboardFixture {
  protected:
    void SetUp() override {
        previous_ = std::filesystem::current_path();
        folder_ = std::filesystem::path(temp_file("dir", "")).string() + ".d";
        std::filesystem::create_directories(folder_);
        std::filesystem::current_path(folder_);
    }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::current_path(previous_, ignored);
        std::filesystem::remove_all(folder_, ignored);
    }
    // The run joins relative paths with "\": from the folder ".", the name ".\<name>" is one
    // file in the current folder on every platform.
    void put(const std::string& name, const std::string& text) {
        std::ofstream(".\\" + name, std::ios::binary) << text;
    }
    int run(const std::string& command_text, std::size_t max_size = default_max_firmware_file) {
        return run_batch(
            command_text, ".", session_,
            [this] {
                ++today_calls_;
                return std::string("2031-12-24");
            },
            max_size);
    }
    std::string firmware_date(int model) {
        const auto& date = keyboard(model).firmware_date;
        return std::string(date.begin(), date.end());
    }

    std::filesystem::path previous_;
    std::string folder_;
    int today_calls_ = 0;
};

TEST_F(BatchRun, DownloadThenDateStamp) {
    put("fw.mhx", s_record('2', 0xFB0020, {0xC3, 0x3C}) + "\n" + end_record + "\n");
    EXPECT_EQ(run("3 fw.mhx"), exit_success);
    EXPECT_EQ(keyboard(3).firmware_image[0x20], 0xC3);
    EXPECT_EQ(keyboard(3).firmware_image[0x21], 0x3C);
    EXPECT_EQ(firmware_date(3), "2031-12-24");
    EXPECT_EQ(today_calls_, 1);
    const hidlink::Frame& stamp = sent_.back().frame;
    EXPECT_EQ(hex(stamp, 4), "00 08 0C 05");
    // The date stamp waits 12 s after the end frame.
    EXPECT_GE(sent_.back().seconds - sent_[sent_.size() - 2].seconds, 12.0);
}

TEST_F(BatchRun, FailuresExitWithOne) {
    put("fw.mhx", s_record('2', 0xFB0000, {1}) + "\n" + end_record + "\n");
    put("bad.mhx", s_record('2', 0xFB0000, {1}) + "\n");
    put("s1.mhx", s_record('1', 0x0000, {1}) + "\n" + end_record + "\n");
    struct Case {
        const char* what;
        std::string command_text;
        const char* fault;
        bool sends;  // anything reaches the keyboard
    };
    const Case cases[] = {
        {"bad digit", "5 fw.mhx", nullptr, false},
        {"too short", "2 ", nullptr, false},
        {"missing file", "2 none.mhx", nullptr, false},
        {"format error", "2 bad.mhx", nullptr, false},
        {"nothing inside the window", "2 s1.mhx", nullptr, false},
        {"over the size limit", "2 fw.mhx", "size", false},
        // The download fails: no date stamp is sent after it.
        {"refused init frame", "2 fw.mhx", "fault 2 nak on 20:00:AA", true},
        {"refused data frame", "2 fw.mhx", "fault 2 nak on 20:00:01 at 9", true},
        {"refused date stamp", "2 fw.mhx", "fault 2 nak on 08", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        sent_.clear();
        today_calls_ = 0;
        command("clear-faults");
        const bool size_limit = c.fault != nullptr && std::string(c.fault) == "size";
        if (c.fault != nullptr && !size_limit) {
            command(c.fault);
        }
        EXPECT_EQ(run(c.command_text, size_limit ? 8 : default_max_firmware_file), exit_failure);
        EXPECT_EQ(!sent_.empty(), c.sends);
        const bool stamped = count_sent(0x08) > 0;
        EXPECT_EQ(stamped, std::string(c.what) == "refused date stamp");
        EXPECT_EQ(today_calls_, stamped ? 1 : 0);
        EXPECT_EQ(firmware_date(2), "2000-01-01");
    }
}

}  // namespace
}  // namespace firmware_download
