// Unattended removal for administrators.
#include "uninstall/unattended.h"

#include "common/install_text.h"
#include "common/process_list.h"
#include "common/user_admin.h"
#include "platform/process.h"
#include "uninstall/elevation.h"
#include "uninstall/uninstall_procedure.h"
#include "uninstall/uninstall_texts.h"

#include <cstdio>
#include <glib.h>

namespace {

void print_line(FILE* stream, const std::string& text)
{
    std::fprintf(stream, "%s\n", shown_text(text.c_str()).c_str());
    std::fflush(stream);
}

int incomplete()
{
    print_line(stdout, translate_text("The program is not removed completely!"));
    return kExitIncomplete;
}

// The exit code of the elevated copy, or -1 when none ran (declined, refused,
// not started): then the work is tried here.
int run_elevated_copy(const std::string& program)
{
    pid_t pid = start_elevated_copy(program, {"--unattended", "admin_20"});
    if (pid < 0)
        return -1;
    int code = process_wait(pid);
    return (code < 0 || code == kElevationDeclined || code == kElevationRefused) ? -1 : code;
}

}  // namespace

int run_unattended_uninstall(const std::string& program, bool elevated)
{
    if (!elevated && !is_user_admin() && !program.empty()) {
        int code = run_elevated_copy(program);
        if (code >= 0)
            return code;
    }
    if (is_program_running()) {
        print_line(stderr, translate_text(kRunningCopyText));
        return incomplete();
    }
    UninstallReport report;
    if (!run_uninstall(program, &report)) {
        char* text = report.refusal.empty()
                         ? g_strdup_printf(translate_text("Can not open file %s"), report.list_path.c_str())
                         : g_strdup_printf(translate_text("Nothing was removed: %s."), report.refusal.c_str());
        print_line(stderr, text);
        g_free(text);
        return incomplete();
    }
    for (const std::string& path : report.remaining)
        print_line(stderr, path);
    if (!report.remaining.empty())
        return incomplete();
    print_line(stdout, translate_text("The program is removed completely!"));
    return kExitRemoved;
}
