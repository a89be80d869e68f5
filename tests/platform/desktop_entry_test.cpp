// The one desktop-entry writer: Exec values a session must start as they are,
// the kinds of entry Satclock writes, and the program's own autostart entry
// written and removed in a folder.
#include "platform/desktop_entry.h"
#include "tests/support/test_env.h"

#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <unistd.h>

namespace {

TEST(DesktopEntry, ExecValueStartsThePathAsItIs)
{
    struct Case {
        const char* program;
        const char* exec;
    } const cases[] = {
        {"/opt/Satclock/bin/satclock", "/opt/Satclock/bin/satclock"},
        {"/opt/My Programs/satclock", "\"/opt/My Programs/satclock\""},
        {"/opt/100%/satclock", "/opt/100%%/satclock"},
        {"/opt/a$b\"c/satclock", "\"/opt/a\\\\$b\\\\\"c/satclock\""},
        {"/opt/back\\slash", "\"/opt/back\\\\\\\\slash\""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.exec, desktop_exec_value(c.program)) << c.program;
}

TEST(DesktopEntry, EachKindHasItsKeys)
{
    DesktopEntry menu;
    menu.name = "Satclock";
    menu.comment = "a\\b";
    menu.program = "/opt/S/bin/satclock";
    menu.working_dir = "/opt/S/bin/";
    menu.icon = "/opt/S/icon.png";
    menu.in_menu = true;
    DesktopEntry link;
    link.type = DesktopEntry::Type::link;
    link.name = "Home";
    link.localized_names = {{"ru", "Дом"}};
    link.url = "https://satclock.example.org/";
    link.extra = {{"X-Satclock-HelpLink", "h"}};
    const struct {
        const DesktopEntry& entry;
        const char* text;
    } cases[] = {
        {menu, "[Desktop Entry]\nVersion=1.0\nType=Application\nName=Satclock\nComment=a\\\\b\n"
               "Exec=/opt/S/bin/satclock\nPath=/opt/S/bin/\nIcon=/opt/S/icon.png\nTerminal=false\n"
               "Categories=Utility;\n"},
        {link, "[Desktop Entry]\nVersion=1.0\nType=Link\nName=Home\nName[ru]=Дом\n"
               "URL=https://satclock.example.org/\nX-Satclock-HelpLink=h\n"},
        {autostart_entry("Satclock", "/opt/S/bin/satclock"),
         "[Desktop Entry]\nVersion=1.0\nType=Application\nName=Satclock\nExec=/opt/S/bin/satclock\n"
         "Terminal=false\nX-GNOME-Autostart-enabled=true\n"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.text, desktop_entry_text(c.entry));
}

TEST(DesktopEntry, TheProgramsAutostartEntryIsWrittenInANewFolderAndRemoved)
{
    TestSandbox sandbox;
    std::string file = sandbox.path("config/autostart/satclock.desktop");
    ASSERT_TRUE(autostart_entry_write(file, "Satclock", "/opt/Satclock/bin/satclock"));
    std::stringstream text;
    text << std::ifstream(file).rdbuf();
    EXPECT_EQ(desktop_entry_text(autostart_entry("Satclock", "/opt/Satclock/bin/satclock")), text.str());
    EXPECT_TRUE(autostart_entry_remove(file));
    EXPECT_NE(0, access(file.c_str(), F_OK));
    EXPECT_FALSE(autostart_entry_remove(file)) << "nothing left to remove";
}

}  // namespace
