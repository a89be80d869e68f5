// The autostart entry's Exec value for program paths a desktop session must
// start as they are, and the entry written and removed in a folder.
#include "platform/autostart.h"
#include "tests/support/test_env.h"

#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <unistd.h>

namespace {

TEST(Autostart, ExecValueStartsThePathAsItIs)
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
        EXPECT_EQ(c.exec, autostart_exec_value(c.program)) << c.program;
}

TEST(Autostart, EntryIsWrittenInANewFolderAndRemoved)
{
    TestSandbox sandbox;
    std::string file = sandbox.path("config/autostart/satclock.desktop");
    ASSERT_TRUE(autostart_entry_write(file, "Satclock", "/opt/Satclock/bin/satclock"));
    std::stringstream text;
    text << std::ifstream(file).rdbuf();
    EXPECT_EQ(autostart_entry_text("Satclock", "/opt/Satclock/bin/satclock"), text.str());
    EXPECT_NE(std::string::npos, text.str().find("\nExec=/opt/Satclock/bin/satclock\n"));
    EXPECT_TRUE(autostart_entry_remove(file));
    EXPECT_NE(0, access(file.c_str(), F_OK));
    EXPECT_FALSE(autostart_entry_remove(file)) << "nothing left to remove";
}

}  // namespace
