// The installer's process-wide state.
#include "satsetup/install_state.h"

#include "common/shell_folder.h"
#include "satsetup/install_steps.h"

#include <climits>
#include <mutex>

std::string install_dir;
std::string bin_dir;
std::string data_dir;
bool create_desktop_icon = true;
std::string clock_user;
bool create_menu_folder = true;
bool install_dir_existed = true;
bool data_dir_existed = true;
bool service_install_started = false;
bool registry_entries_written = false;
std::atomic<int> install_result{kNoRun};
bool settings_backed_up = false;

namespace {

std::mutex detail_lock;
std::string failure_detail;  // under detail_lock

}  // namespace

void set_install_failure_detail(const std::string& detail)
{
    std::lock_guard<std::mutex> hold(detail_lock);
    failure_detail = detail;
}

std::string install_failure_detail()
{
    std::lock_guard<std::mutex> hold(detail_lock);
    return failure_detail;
}
std::string handover_file;

void form_install_paths(const std::string& destination)
{
    install_dir = add_trailing_slash(destination);
    bin_dir = install_dir + "bin/";
    char folder[PATH_MAX];
    get_shell_folder(folder, sizeof folder, "Common AppData");
    data_dir = add_trailing_slash(folder) + "satclock/";
}
