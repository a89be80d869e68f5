// The settings as the window shows them: a garbled file names its lines while
// the boxes show the values in force, a change that cannot be saved is said in
// the window (and saved once the file can be written again), and an empty
// file gives every value of the one table of defaults.
#include <gtest/gtest.h>  // before Xlib, whose None macro it would meet

#include "src/correction/analiz.h"
#include "src/settings/settings.h"
#include "src/ui/config_page.h"
#include "src/ui/info_page.h"
#include "src/ui/main_window.h"
#include "src/ui/settings_notice.h"
#include "tests/support/test_env.h"
#include "tests/ui/ui_test_support.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr auto npos = std::string::npos;

std::string active_text(GtkWidget* combo)
{
    gchar* text = gtk_combo_box_get_active_text(GTK_COMBO_BOX(combo));
    std::string out = text ? text : "";
    g_free(text);
    return out;
}

// What the notice says; "" while it is hidden.
std::string notice()
{
    GtkWidget* label = settings_notice_label();
    if (!label || !gtk_widget_get_visible(gtk_widget_get_parent(label)))
        return "";
    return gtk_label_get_text(GTK_LABEL(label));
}

// A file no write reaches: immutable for root (whom modes do not stop), read-only otherwise.
class Unwritable {
public:
    explicit Unwritable(const std::string& path) : path_(path) { ok_ = set(true); }
    ~Unwritable() { release(); }
    bool ok() const { return ok_; }
    void release()
    {
        if (ok_)
            set(false);
        ok_ = false;
    }

private:
    bool set(bool locked)
    {
        if (geteuid() != 0)
            return chmod(path_.c_str(), locked ? 0444 : 0644) == 0;
        int fd = open(path_.c_str(), O_RDONLY);
        int flags = 0;
        bool done = fd >= 0 && ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
        flags = locked ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
        done = done && ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
        if (fd >= 0)
            close(fd);
        return done;
    }

    std::string path_;
    bool ok_ = false;
};

class SettingsNoticeTest : public testing::Test {
protected:
    void TearDown() override
    {
        EXPECT_TRUE(settings_flush(10000));
        destroy_main_window();
        correct_time_request.store(0);
    }

    void build(const std::vector<std::string>& lines)
    {
        build_main_window_with_settings(sandbox.path("appdata/satclock"), lines);
    }

    TestSandbox sandbox;
};

TEST_F(SettingsNoticeTest, GarbledLinesAreNamedAndTheBoxesShowTheValuesInForce)
{
    build({"# GPS configuration", "com_port=\"x\"", "baudrate=fast", "show_feets=\"yes\"", "schedule_value=\"0\""});
    const std::string path = settings_path();
    const std::string text = notice();
    EXPECT_NE(text.find("Line 2 of " + path +
                        ", \"com_port=\"x\"\": the value is not a whole number from 1 to 32767. Satclock uses 1;"),
              npos)
        << text;
    EXPECT_NE(text.find("Line 3 of " + path + " cannot be read: \"baudrate=fast\"."), npos) << text;
    EXPECT_NE(text.find("Line 4 of " + path + ", \"show_feets=\"yes\"\": the value is not TRUE or FALSE. Satclock "
                                               "uses FALSE;"),
              npos)
        << text;
    EXPECT_EQ("1", active_text(config_widgets.port));
    EXPECT_EQ("4800", active_text(config_widgets.speed));
    EXPECT_EQ("meters", active_text(info_widgets.units));

    // Choosing the value writes its line anew: its notice goes, the others stay.
    gtk_combo_box_set_active(GTK_COMBO_BOX(info_widgets.units), 1);
    ASSERT_TRUE(settings_flush(10000));
    ASSERT_TRUE(pump_until([] { return notice().find("Line 4") == npos; })) << notice();
    EXPECT_NE(notice().find("Line 3"), npos);
}

TEST_F(SettingsNoticeTest, AChangeThatCannotBeSavedIsSaidAndSavedOnceTheFileTakesWrites)
{
    build({"show_feets=\"FALSE\"", "auto_update=\"TRUE\"", "schedule_value=\"0\""});
    Unwritable file(settings_path());
    if (!file.ok())
        GTEST_SKIP() << "the file system cannot make the file unwritable";
    gtk_combo_box_set_active(GTK_COMBO_BOX(info_widgets.units), 1);
    gtk_combo_box_set_active(GTK_COMBO_BOX(info_widgets.schedule), 3);
    ASSERT_TRUE(settings_flush(10000));
    // One short line for both settings, without their keys.
    ASSERT_TRUE(pump_until([] { return settings_problems().size() == 2; }));
    ASSERT_TRUE(pump_until([] {
        return notice().starts_with("Changes are not saved: this account may not write the settings");
    })) << notice();
    EXPECT_EQ(notice().find('\n'), npos) << notice();
    EXPECT_EQ(notice().find("show_feets"), npos) << notice();
    EXPECT_NE(notice().find("sudo usermod -a -G users"), npos) << notice();
    EXPECT_EQ("feets", active_text(info_widgets.units)) << "in force all the same";
    EXPECT_TRUE(app_settings.show_feets);

    file.release();
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(info_widgets.auto_update), FALSE);
    ASSERT_TRUE(settings_flush(10000));
    EXPECT_NE(read_file(settings_path()).find("show_feets=\"TRUE\""), npos) << "kept and saved with the next write";
    EXPECT_TRUE(pump_until([] { return notice().empty(); })) << notice();
}

TEST_F(SettingsNoticeTest, AnEmptyFileGivesEveryValueOfTheTable)
{
    // Values unlike the table's first, so that each one is seen to be loaded.
    for (const SettingRow& row : settings_rows::table) {
        if (row.boolean_member)
            app_settings.*row.boolean_member = row.value == 0;
        if (row.integer_member)
            app_settings.*row.integer_member = int(row.value) + 1;
        if (row.real_member)
            app_settings.*row.real_member = row.value + 1;
    }
    build({});
    for (const SettingRow& row : settings_rows::table) {
        SCOPED_TRACE(row.key);
        if (row.boolean_member) {
            EXPECT_EQ(app_settings.*row.boolean_member, row.value != 0);
        }
        if (row.integer_member) {
            EXPECT_EQ(app_settings.*row.integer_member, int(row.value));
        }
        if (row.real_member) {
            EXPECT_EQ(app_settings.*row.real_member, row.value);
        }
    }
    EXPECT_EQ("", notice());
}

}  // namespace
