// The single steps of an installation: folders, the list, child processes,
// the settings' access and the destination's test.
#include "satsetup/install_steps.h"

#include "common/install_text.h"
#include "platform/file_access.h"
#include "platform/files.h"
#include "platform/hidden_process.h"
#include "satsetup/install_state.h"

#include <atomic>

namespace {

std::atomic<pid_t> extraction_process{-1};

}  // namespace

std::string add_trailing_slash(const std::string& text)
{
    if (text.empty() || text.back() == '/' || text.back() == '\\')
        return text;
    return text + "/";
}

bool make_dir_path(const std::string& path) { return make_folders(path, 0755); }

void append_uninstall_entry(const std::string& text) { file_append(install_dir + "uninstall.txt", text + "\n"); }

int run_hidden_and_wait(const std::vector<std::string>& argv, std::string* errors)
{
    return process_run_hidden(argv, &extraction_process, errors);
}

void end_extraction_process() { process_end(extraction_process.load()); }

bool grant_users_access(const std::string& path) { return path_exists(path) && file_grant_users_rw(path); }

std::string destination_refusal(const std::string& destination)
{
    if (destination.empty() || destination[0] != '/')
        return "\"" + destination + "\": " + translate_text("the destination must be an absolute path.");
    if (has_control_characters(destination))
        return translate_text("The destination holds a control character (such as a line end).");
    for (const std::string& folder : {destination, data_dir})
        if (std::string why = path_only_root_can_change(folder); !why.empty())
            return why + ". " + translate_text("Choose a folder that only the administrator may change.");
    return {};
}
