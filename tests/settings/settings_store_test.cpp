// The settings store: changes posted from two threads are written by the
// writer thread, the latest value of each key last, and read back at once
// whether written yet or not; what is wrong with the
// file is found and reported to the listener.
#include "src/settings/settings.h"

#include "tests/support/test_env.h"

#include <atomic>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <thread>

namespace {

std::atomic<int> reports{0};

void count_report() { ++reports; }

std::string contents(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream all;
    all << in.rdbuf();
    return all.str();
}

TEST(SettingsStore, PostedChangesLandInOrderAndTheFilesProblemsAreReported)
{
    TestSandbox sandbox;
    std::filesystem::create_directory(sandbox.path("appdata/satclock"));
    std::ofstream(sandbox.path("appdata/satclock/satclock.ini"), std::ios::binary)
        << "baudrate=fast\r\nshow_feets=\"FALSE\"\r\n";
    settings_init_path();
    settings_on_problems_changed(count_report);
    settings_scan();
    std::vector<SettingsProblem> problems = settings_problems();
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(problems[0].kind, SettingsProblem::Kind::unreadable_line);
    EXPECT_EQ(problems[0].line, 1);
    EXPECT_EQ(problems[0].text, "baudrate=fast");

    // Two threads, as the GUI and another poster; each key ends at its last value.
    std::thread other([] {
        for (int i = 0; i <= 200; ++i)
            settings_post_int(settings_keys::com_port, i);
    });
    int stale_reads = 0;
    for (int i = 0; i <= 200; ++i) {
        settings_post_bool(settings_keys::show_feets, i % 2 == 0);
        bool read = i % 2 != 0;
        settings_load(settings_keys::show_feets, read);
        stale_reads += read != (i % 2 == 0);
    }
    other.join();
    EXPECT_EQ(stale_reads, 0) << "a posted change is read at once, written or not";
    ASSERT_TRUE(settings_flush(20000));
    std::string file = contents(settings_path());
    EXPECT_NE(file.find("com_port=\"200\"\r\n"), std::string::npos) << file;
    EXPECT_NE(file.find("show_feets=\"TRUE\"\r\n"), std::string::npos) << file;

    // A bad value written from outside shows after the next write.
    reports = 0;
    std::ofstream(settings_path(), std::ios::binary | std::ios::app) << "use_cts=\"maybe\"\r\n";
    settings_post_int(settings_keys::baudrate, 9600);
    ASSERT_TRUE(settings_flush(20000));
    problems = settings_problems();
    ASSERT_EQ(problems.size(), 2u);
    EXPECT_EQ(problems[1].kind, SettingsProblem::Kind::bad_value);
    EXPECT_EQ(problems[1].key, "use_cts");
    EXPECT_EQ(problems[1].in_force, "FALSE");
    EXPECT_GE(reports.load(), 1);
    settings_on_problems_changed(nullptr);
}

// The first bytes of a file that may be gigabytes long.
std::string head_of(const std::string& path)
{
    char bytes[32] = {};
    std::ifstream(path, std::ios::binary).read(bytes, sizeof bytes - 1);
    return bytes;
}

// A file far larger than settings ever are (another account's 20 MB line, a
// sparse file of gigabytes) is neither read nor written: the defaults stay in
// force, a change is kept unsaved with the reason, the file keeps every byte,
// and the problem says so. A long bad line under the cap is quoted cut short.
TEST(SettingsStore, AFileOverTheCapIsNeitherReadNorOverwritten)
{
    TestSandbox sandbox;
    std::filesystem::create_directory(sandbox.path("appdata/satclock"));
    settings_init_path();
    const std::string path = settings_path();
    const struct {
        const char* what;
        std::string bytes;
        uintmax_t sparse_size;  // 0: as written
    } cases[] = {
        {"a 20 MB line", "show_feets=\"TRUE\"\r\n" + std::string(20 << 20, 'x') + "\r\n", 0},
        {"an 8 GB sparse file", "show_feets=\"TRUE\"\r\n", uintmax_t(8) << 30},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::ofstream(path, std::ios::binary | std::ios::trunc) << c.bytes;
        if (c.sparse_size)
            std::filesystem::resize_file(path, c.sparse_size);
        uintmax_t size = std::filesystem::file_size(path);
        settings_scan();
        ASSERT_FALSE(settings_problems().empty());
        EXPECT_EQ(settings_problems()[0].kind, SettingsProblem::Kind::too_large);
        bool feets = false;
        EXPECT_EQ(settings_read_bool(settings_keys::show_feets, false, feets), -1);
        EXPECT_FALSE(feets);
        settings_post_int(settings_keys::baudrate, 9600);
        ASSERT_TRUE(settings_flush(20000));
        bool kept = false;
        for (const SettingsProblem& problem : settings_problems())
            kept = kept || (problem.kind == SettingsProblem::Kind::not_saved && problem.key == "baudrate" &&
                            problem.error == EFBIG);
        EXPECT_TRUE(kept);
        EXPECT_EQ(std::filesystem::file_size(path), size);
        EXPECT_EQ(head_of(path), c.bytes.substr(0, 31));
    }
    std::ofstream(path, std::ios::binary | std::ios::trunc) << std::string(100000, 'y') << "\r\n";
    settings_scan();
    ASSERT_FALSE(settings_problems().empty());
    EXPECT_EQ(settings_problems()[0].kind, SettingsProblem::Kind::unreadable_line);
    EXPECT_EQ(settings_problems()[0].text, std::string(settings_notice_line_max, 'y') + "...");
}

}  // namespace
