// The settings file on disk: typed round trips, in-place edits, corrupt files,
// failed writes that must leave the old file, attributes, locales and two threads.
#include "src/settings/settings.h"

#include "tests/support/test_env.h"

#include <acl/libacl.h>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <cerrno>
#include <climits>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <signal.h>
#include <sstream>
#include <string>
#include <sys/acl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace std::string_literals;

const std::string kShipped =
    "# GPS info\r\n"
    "auto_update=\"TRUE\"\r\n"
    "schedule_value=\"12\"\r\n"
    "show_feets=\"FALSE\"\r\n"
    "# GPS configuration\r\n"
    "com_port=\"1\"\r\n"
    "baudrate=\"4800\"\r\n"
    "use_pps=\"FALSE\"\r\n"
    "use_cts=\"TRUE\"\r\n"
    "show_nmea_info=\"FALSE\"\r\n"
    "# Preferences\r\n"
    "auto_run=\"FALSE\"\r\n"
    "turn_to_tray=\"FALSE\"\r\n"
    "above_all=\"FALSE\"\r\n"
    "screen_no_show=\"FALSE\"\r\n";

std::string replaced(std::string text, const std::string& from, const std::string& to)
{
    size_t at = text.find(from);
    if (at != std::string::npos)
        text.replace(at, from.size(), to);
    return text;
}

void sleep_past_the_racy_margin() { std::this_thread::sleep_for(std::chrono::milliseconds(50)); }

// Runs body in a child process and returns its exit status (-1 when it died).
template <typename Body>
int in_child(Body body)
{
    fflush(nullptr);
    pid_t pid = fork();
    if (pid == 0)
        _exit(body());
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

class SettingsFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::filesystem::create_directory(sandbox_.path("appdata/satclock"));
        settings_init_path();
        path_ = settings_path();
    }

    void put(const std::string& bytes)
    {
        std::ofstream out(path_, std::ios::binary | std::ios::trunc);
        out << bytes;
    }

    std::string contents() const
    {
        std::ifstream in(path_, std::ios::binary);
        std::stringstream all;
        all << in.rdbuf();
        return all.str();
    }

    // Files in the settings folder other than the settings file: left-over temp files.
    int strays() const
    {
        int count = 0;
        for (const auto& entry : std::filesystem::directory_iterator(sandbox_.path("appdata/satclock")))
            count += entry.path() != path_;
        return count;
    }

    TestSandbox sandbox_;
    std::string path_;
};

TEST_F(SettingsFile, PathLiesUnderCommonAppData)
{
    EXPECT_EQ(path_, sandbox_.path("appdata/satclock/satclock.ini"));
}

TEST_F(SettingsFile, WritingAKnownKeyChangesOnlyItsLine)
{
    put(kShipped);
    EXPECT_EQ(settings_write_int("baudrate", 115200), 1);
    EXPECT_EQ(contents(), replaced(kShipped, "baudrate=\"4800\"", "baudrate=\"115200\""));
    EXPECT_EQ(strays(), 0);
}

TEST_F(SettingsFile, NewKeyIsAppended)
{
    put(kShipped);
    EXPECT_EQ(settings_write_double("correct_time_jd_prev", 6836.0091551), 1);
    EXPECT_EQ(contents(), kShipped + "correct_time_jd_prev=\"6836.009155\"\r\n");

    put("com_port=\"3\"");
    EXPECT_EQ(settings_write_bool("use_pps", true), 1);
    EXPECT_EQ(contents(), "com_port=\"3\"\r\nuse_pps=\"TRUE\"\r\n");
}

TEST_F(SettingsFile, ShippedValuesRead)
{
    put(kShipped);
    int schedule = -1;
    bool nmea = true, cts = false;
    EXPECT_EQ(settings_load(settings_keys::schedule_value, schedule), 1);
    EXPECT_EQ(schedule, 12);
    EXPECT_EQ(settings_load(settings_keys::show_nmea_info, nmea), 1);
    EXPECT_FALSE(nmea);
    EXPECT_EQ(settings_load(settings_keys::use_cts, cts), 1);
    EXPECT_TRUE(cts);
    double prev = 0;
    EXPECT_EQ(settings_load(settings_keys::correct_time_jd_prev, prev), 0);
    EXPECT_EQ(prev, -1.0);
}

TEST_F(SettingsFile, TypedRoundTrips)
{
    put(kShipped);
    for (bool flag : {true, false}) {
        bool back = !flag;
        ASSERT_EQ(settings_write_bool("use_pps", flag), 1);
        EXPECT_EQ(settings_read_bool("use_pps", !flag, back), 1);
        EXPECT_EQ(back, flag);
    }
    for (int number : {0, -1, 12, 4800, INT_MAX, INT_MIN}) {
        int back = 7;
        ASSERT_EQ(settings_write_int("com_port", number), 1);
        EXPECT_EQ(settings_read_int("com_port", 7, back), 1);
        EXPECT_EQ(back, number);
    }
    for (double number : {-1.0, 0.5, 6836.009155, -123456.25, 1e15}) {
        double back = 7;
        ASSERT_EQ(settings_write_double("correct_time_jd_start", number), 1);
        EXPECT_EQ(settings_read_double("correct_time_jd_start", 7, back), 1);
        EXPECT_EQ(back, number);
    }
    for (std::string text : {"", "plain", "say \"hi\"", "two\r\nlines", "UTF-8: \xd0\x9f\xd1\x80\xd0\xb8", "a\\b", "\x01\x7f\xff"}) {
        std::string back = "x";
        ASSERT_EQ(settings_write_string("note", text.c_str()), 1) << text;
        EXPECT_EQ(settings_read_string("note", nullptr, back), 1);
        EXPECT_EQ(back, text);
    }
    EXPECT_NE(contents().find("note=\"\x01\x7f\xff\"\r\n"), std::string::npos);
}

TEST_F(SettingsFile, QuoteIsStoredAsByte6)
{
    put("");
    ASSERT_EQ(settings_write_string("k", "a\"b"), 1);
    EXPECT_EQ(contents(), "k=\"a\x06" "b\"\r\n");
}

TEST_F(SettingsFile, ValueTextsAsTheReadersTakeThem)
{
    const struct {
        std::string text;
        int number;
    } ints[] = {{"12abc", 12}, {"", 0}, {"  -7", -7}, {"+3", 3}, {"abc", 0}, {"99999999999", INT_MAX}, {"-99999999999", INT_MIN}};
    for (const auto& c : ints) {
        put("com_port=\"" + c.text + "\"\r\n");
        int back = 99;
        EXPECT_EQ(settings_read_int("com_port", 1, back), 1);
        EXPECT_EQ(back, c.number) << c.text;
    }
    const char* flags[] = {"true", "True", "TRUE ", "1", ""};
    for (const char* text : flags) {
        put("show_nmea_info=\"" + std::string(text) + "\"\r\n");
        bool back = true;
        EXPECT_EQ(settings_read_bool("show_nmea_info", true, back), 1);
        EXPECT_FALSE(back) << text;
    }
    put("correct_time_jd_prev=\"6836.5junk\"\r\n");
    double jd = 0;
    EXPECT_EQ(settings_read_double("correct_time_jd_prev", -1, jd), 1);
    EXPECT_EQ(jd, 6836.5);
}

TEST_F(SettingsFile, FirstOfTwoLinesIsReadAndReplaced)
{
    put("com_port=\"4\"\r\ncom_port=\"5\"\r\n");
    int port = 0;
    EXPECT_EQ(settings_read_int("com_port", 1, port), 1);
    EXPECT_EQ(port, 4);
    ASSERT_EQ(settings_write_int("com_port", 6), 1);
    EXPECT_EQ(contents(), "com_port=\"6\"\r\ncom_port=\"5\"\r\n");
}

TEST_F(SettingsFile, UnterminatedLastLineOfTheKeyIsReplaced)
{
    put("baudrate=\"9600\"\r\ncom_port=\"4\"");
    int port = 0;
    EXPECT_EQ(settings_read_int("com_port", 1, port), 0);
    ASSERT_EQ(settings_write_int("com_port", 5), 1);
    EXPECT_EQ(settings_read_int("com_port", 1, port), 1);
    EXPECT_EQ(port, 5);
    EXPECT_EQ(contents(), "baudrate=\"9600\"\r\ncom_port=\"5\"\r\n");
}

TEST_F(SettingsFile, CommentedSettingIsNoSetting)
{
    put("  #com_port=\"9\"\r\n");
    int port = 0;
    EXPECT_EQ(settings_read_int("com_port", 1, port), 0);
    EXPECT_EQ(port, 1);
}

TEST_F(SettingsFile, MissingFileGivesDefaultsAndIsCreatedOnWrite)
{
    int port = 0;
    EXPECT_EQ(settings_read_int("com_port", 1, port), 0);
    EXPECT_EQ(port, 1);
    std::string text = "kept";
    EXPECT_EQ(settings_read_string("com_port", nullptr, text), -1);
    EXPECT_EQ(text, "kept");

    ASSERT_EQ(settings_write_int("com_port", 3), 1);
    EXPECT_EQ(contents(), "com_port=\"3\"\r\n");
}

// As the installer leaves it: every account reads it, the users group writes
// it, any other account cannot change it (and is told so, see the window tests).
TEST_F(SettingsFile, CreatedFileIsReadByEveryAccountAndWrittenByTheUsersGroup)
{
    ASSERT_EQ(settings_write_int("com_port", 3), 1);
    acl_t acl = acl_get_file(path_.c_str(), ACL_TYPE_ACCESS);
    ASSERT_NE(acl, nullptr);
    char* text = acl_to_any_text(acl, nullptr, ',', 0);
    EXPECT_NE(std::string(text).find("group:users:rw-"), std::string::npos) << text;
    EXPECT_NE(std::string(text).find("other::r--"), std::string::npos) << text;
    acl_free(text);
    acl_free(acl);

    if (geteuid() != 0)
        GTEST_SKIP() << "a second account needs root";
    struct passwd* nobody = getpwnam("nobody");
    ASSERT_NE(nobody, nullptr);
    for (const std::string& folder : {sandbox_.dir(), sandbox_.path("appdata"), sandbox_.path("appdata/satclock")})
        ASSERT_EQ(chmod(folder.c_str(), 0755), 0);
    uid_t uid = nobody->pw_uid;
    gid_t gid = nobody->pw_gid;
    int child = in_child([&] {
        if (setgroups(0, nullptr) != 0 || setgid(gid) != 0 || setuid(uid) != 0)
            return 10;
        int port = 0;
        if (settings_read_int("com_port", 1, port) != 1 || port != 3)
            return 11;
        return settings_write_int("com_port", 4) == -1 && errno == EACCES ? 0 : 12;
    });
    EXPECT_EQ(child, 0);
    EXPECT_EQ(contents(), "com_port=\"3\"\r\n");
}

TEST_F(SettingsFile, MissingKeyWithoutDefaultLeavesTheValue)
{
    put(kShipped);
    std::string text = "kept";
    EXPECT_EQ(settings_read_string("absent", nullptr, text), 0);
    EXPECT_EQ(text, "kept");
}

TEST_F(SettingsFile, MissingFolderFailsTheWrite)
{
    std::filesystem::remove_all(sandbox_.path("appdata/satclock"));
    EXPECT_EQ(settings_write_int("com_port", 3), -1);
}

TEST_F(SettingsFile, FileChangedBehindTheCacheIsReadAgain)
{
    put("com_port=\"4\"\r\n");
    int port = 0;
    ASSERT_EQ(settings_read_int("com_port", 1, port), 1);
    ASSERT_EQ(port, 4);
    // Same size, new content, put in place by another program.
    std::string other = sandbox_.path("other.ini");
    std::ofstream(other, std::ios::binary) << "com_port=\"8\"\r\n";
    ASSERT_EQ(rename(other.c_str(), path_.c_str()), 0);
    EXPECT_EQ(settings_read_int("com_port", 1, port), 1);
    EXPECT_EQ(port, 8);
}

TEST_F(SettingsFile, SameSizeRewriteWithTheOldModificationTimeIsReadAgain)
{
    put("com_port=\"4\"\r\n");
    struct stat old_times{};
    ASSERT_EQ(stat(path_.c_str(), &old_times), 0);
    sleep_past_the_racy_margin();
    int port = 0;
    ASSERT_EQ(settings_read_int("com_port", 1, port), 1);
    ASSERT_EQ(port, 4);
    // Rewritten in place by another program, its times put back as they were.
    put("com_port=\"8\"\r\n");
    const timespec times[2] = {old_times.st_atim, old_times.st_mtim};
    ASSERT_EQ(utimensat(AT_FDCWD, path_.c_str(), times, 0), 0);
    EXPECT_EQ(settings_read_int("com_port", 1, port), 1);
    EXPECT_EQ(port, 8);
}

TEST_F(SettingsFile, CorruptFileKeepsEveryUnreadByte)
{
    std::string junk;
    for (int i = 0; i < 4096; ++i)
        junk += char((i * 131 + 7) % 256);
    const std::string corrupt = junk + "\n" +
                                std::string(1 << 20, 'x') + "\r\n" +
                                "com_port=\"7\r\n" +
                                "baudrate=\"19200\"\r\n" +
                                "\0\0\0=\0\"\0\"\n"s +
                                "use_pps=\"TRUE\"";
    put(corrupt);

    int port = 0, baud = 0;
    bool pps = true;
    EXPECT_EQ(settings_read_int("com_port", 1, port), 0);
    EXPECT_EQ(port, 1);
    EXPECT_EQ(settings_read_int("baudrate", 4800, baud), 1);
    EXPECT_EQ(baud, 19200);
    EXPECT_EQ(settings_read_bool("use_pps", false, pps), 0);
    EXPECT_FALSE(pps);

    ASSERT_EQ(settings_write_int("baudrate", 9600), 1);
    const std::string with_baud = replaced(corrupt, "baudrate=\"19200\"", "baudrate=\"9600\"");
    EXPECT_EQ(contents(), with_baud);
    ASSERT_EQ(settings_write_int("com_port", 2), 1);
    EXPECT_EQ(contents(), with_baud + "\r\ncom_port=\"2\"\r\n");
}

// A file-size limit makes the write stop half-way, as a full disk would.
void limit_file_size(rlim_t bytes)
{
    signal(SIGXFSZ, SIG_IGN);
    struct rlimit limit{bytes, bytes};
    setrlimit(RLIMIT_FSIZE, &limit);
}

// Leaves exactly two free descriptors: the folder's lock and the settings
// file open, a temp file cannot.
void leave_one_descriptor()
{
    int lowest = dup(0);
    close(lowest);
    struct rlimit limit{rlim_t(lowest + 2), rlim_t(lowest + 2)};
    setrlimit(RLIMIT_NOFILE, &limit);
}

TEST_F(SettingsFile, WriteStoppedHalfWayLeavesTheOldFile)
{
    put(kShipped);
    const std::string long_value(200, 'v');
    int child = in_child([&] {
        limit_file_size(kShipped.size() + 20);
        return settings_write_string("baudrate", long_value.c_str()) == -1 ? 0 : 1;
    });
    EXPECT_EQ(child, 0);
    EXPECT_EQ(contents(), kShipped);
    EXPECT_EQ(strays(), 0);
}

TEST_F(SettingsFile, WithoutATempFileTheFileIsRewrittenInPlace)
{
    put(kShipped);
    struct stat before{};
    ASSERT_EQ(stat(path_.c_str(), &before), 0);
    int child = in_child([] {
        leave_one_descriptor();
        return settings_write_int("baudrate", 115200) == 1 ? 0 : 1;
    });
    EXPECT_EQ(child, 0);
    EXPECT_EQ(contents(), replaced(kShipped, "baudrate=\"4800\"", "baudrate=\"115200\""));
    EXPECT_EQ(strays(), 0);
    struct stat after{};
    ASSERT_EQ(stat(path_.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
}

TEST_F(SettingsFile, InPlaceRewriteStoppedHalfWayPutsTheOldBytesBack)
{
    put(kShipped);
    const std::string long_value(200, 'v');
    int child = in_child([&] {
        leave_one_descriptor();
        limit_file_size(kShipped.size() + 20);
        return settings_write_string("baudrate", long_value.c_str()) == -1 ? 0 : 1;
    });
    EXPECT_EQ(child, 0);
    EXPECT_EQ(contents(), kShipped);
}

TEST_F(SettingsFile, ReplacementKeepsOwnerModeAndAccessList)
{
    put(kShipped);
    ASSERT_EQ(chmod(path_.c_str(), 0640), 0);
    bool root = geteuid() == 0;
    if (root) {
        ASSERT_EQ(chown(path_.c_str(), 1234, 2345), 0);
    }
    acl_t acl = acl_from_text("user::rw-,group::r--,group:users:rw-,mask::rw-,other::---");
    ASSERT_NE(acl, nullptr);
    ASSERT_EQ(acl_set_file(path_.c_str(), ACL_TYPE_ACCESS, acl), 0) << std::strerror(errno);
    acl_free(acl);
    struct stat before{};
    ASSERT_EQ(stat(path_.c_str(), &before), 0);

    ASSERT_EQ(settings_write_int("baudrate", 9600), 1);

    struct stat after{};
    ASSERT_EQ(stat(path_.c_str(), &after), 0);
    EXPECT_NE(after.st_ino, before.st_ino);  // replaced, not rewritten
    EXPECT_EQ(after.st_mode, before.st_mode);
    if (root) {
        EXPECT_EQ(after.st_uid, 1234u);
        EXPECT_EQ(after.st_gid, 2345u);
    }
    acl_t now = acl_get_file(path_.c_str(), ACL_TYPE_ACCESS);
    ASSERT_NE(now, nullptr);
    char* text = acl_to_any_text(now, nullptr, ',', 0);
    EXPECT_NE(std::string(text).find("group:users:rw-"), std::string::npos) << text;
    acl_free(text);
    acl_free(now);
}

TEST_F(SettingsFile, LinkedSettingsFileStaysALink)
{
    std::string real = sandbox_.path("real.ini");
    std::ofstream(real, std::ios::binary) << kShipped;
    ASSERT_EQ(symlink(real.c_str(), path_.c_str()), 0);
    ASSERT_EQ(settings_write_int("com_port", 5), 1);
    EXPECT_TRUE(std::filesystem::is_symlink(path_));
    EXPECT_EQ(contents(), replaced(kShipped, "com_port=\"1\"", "com_port=\"5\""));
}

TEST_F(SettingsFile, ValueEndingInBackslashIsRefused)
{
    put(kShipped);
    EXPECT_EQ(settings_write_string("com_port", "C:\\"), -1);
    EXPECT_EQ(contents(), kShipped);
}

// A locale with a decimal comma, built into the sandbox (the machine has only C).
class CommaLocale {
public:
    explicit CommaLocale(const std::string& folder)
    {
        std::string command = "localedef -i de_DE -f UTF-8 '" + folder + "/de_DE.UTF-8' >/dev/null 2>&1";
        if (std::system(command.c_str()) > 1)  // 1: warnings only
            return;
        setenv("LOCPATH", folder.c_str(), 1);
        ok_ = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;
    }
    ~CommaLocale()
    {
        std::setlocale(LC_NUMERIC, "C");
        unsetenv("LOCPATH");
    }
    bool ok() const { return ok_; }

private:
    bool ok_ = false;
};

TEST_F(SettingsFile, DecimalCommaLocaleKeepsThePointInTheFile)
{
    CommaLocale comma(sandbox_.dir());
    if (!comma.ok())
        GTEST_SKIP() << "no de_DE locale could be built";
    ASSERT_STREQ(std::localeconv()->decimal_point, ",");

    put("correct_time_jd_prev=\"6836.009155\"\r\n");
    double jd = 0;
    EXPECT_EQ(settings_read_double("correct_time_jd_prev", -1, jd), 1);
    EXPECT_EQ(jd, 6836.009155);

    ASSERT_EQ(settings_write_double("correct_time_jd_prev", 1234.5), 1);
    EXPECT_EQ(contents(), "correct_time_jd_prev=\"1234.500000\"\r\n");
    EXPECT_EQ(settings_read_double("correct_time_jd_prev", -1, jd), 1);
    EXPECT_EQ(jd, 1234.5);

    double fallback = 0;
    EXPECT_EQ(settings_read_double("correct_time_jd_start", 0.25, fallback), 0);
    EXPECT_EQ(fallback, 0.25);
}

TEST_F(SettingsFile, TwoProcessesWritingAThousandKeysEachLoseNone)
{
    // In memory, so that the 2000 synced replacements take no disk time.
    char folder[] = "/dev/shm/satclock-settings.XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    setenv("SATCLOCK_COMMON_APPDATA", folder, 1);
    std::filesystem::create_directory(std::string(folder) + "/satclock");
    settings_init_path();
    constexpr int kKeys = 1000;
    auto writer = [](char prefix) {
        return [prefix] {
            int failures = 0;
            for (int i = 0; i < kKeys; ++i)
                failures += settings_write_int((prefix + std::to_string(i)).c_str(), i) != 1;
            return failures == 0 ? 0 : 1;
        };
    };
    fflush(nullptr);
    pid_t a = fork();
    if (a == 0)
        _exit(writer('a')());
    pid_t b = fork();
    if (b == 0)
        _exit(writer('b')());
    int status_a = -1, status_b = -1;
    waitpid(a, &status_a, 0);
    waitpid(b, &status_b, 0);
    EXPECT_EQ(status_a, 0);
    EXPECT_EQ(status_b, 0);
    int lost = 0;
    for (char prefix : {'a', 'b'}) {
        for (int i = 0; i < kKeys; ++i) {
            int value = -1;
            lost += settings_read_int((prefix + std::to_string(i)).c_str(), -1, value) != 1 || value != i;
        }
    }
    EXPECT_EQ(lost, 0);
    std::filesystem::remove_all(folder);
    setenv("SATCLOCK_COMMON_APPDATA", sandbox_.path("appdata").c_str(), 1);
    settings_init_path();
}

TEST_F(SettingsFile, FolderLockedForEverByAnotherProcessDelaysAWriteOnly)
{
    put(kShipped);
    std::string folder = sandbox_.path("appdata/satclock");
    fflush(nullptr);
    pid_t holder = fork();
    if (holder == 0) {
        execl("/bin/sh", "sh", "-c", "exec 9<\"$0\" && flock -x 9 && exec sleep 30", folder.c_str(), nullptr);
        _exit(127);
    }
    ASSERT_GT(holder, 0);
    int probe = open(folder.c_str(), O_RDONLY | O_DIRECTORY);
    for (int i = 0; i < 500 && flock(probe, LOCK_EX | LOCK_NB) == 0; ++i) {
        flock(probe, LOCK_UN);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    close(probe);
    EXPECT_EQ(settings_write_int("baudrate", 9600), 1);
    kill(holder, SIGKILL);
    waitpid(holder, nullptr, 0);
    EXPECT_EQ(contents(), replaced(kShipped, "baudrate=\"4800\"", "baudrate=\"9600\""));
}

TEST_F(SettingsFile, TwoThreadsWritingDifferentKeysLoseNothing)
{
    put(kShipped);
    constexpr int kRounds = 150;
    auto writer = [](const char* key, int* errors) {
        for (int i = 0; i < kRounds; ++i) {
            int back = -1;
            if (settings_write_int(key, i) != 1 || settings_read_int(key, -1, back) != 1 || back != i)
                ++*errors;
        }
    };
    int errors_a = 0, errors_b = 0;
    std::thread a(writer, "schedule_value", &errors_a);
    std::thread b(writer, "new_key", &errors_b);
    a.join();
    b.join();
    EXPECT_EQ(errors_a, 0);
    EXPECT_EQ(errors_b, 0);
    EXPECT_EQ(contents(), replaced(kShipped, "schedule_value=\"12\"", "schedule_value=\"149\"") + "new_key=\"149\"\r\n");
}

}  // namespace
