// The installation worker's steps, the cancel and rollback, and the finish actions.
#include "satsetup/installation.h"

#include "common/install_text.h"
#include "common/listed_paths.h"
#include "common/smem_block.h"
#include "common/shell_folder.h"
#include "common/user_admin.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/user_accounts.h"
#include "satsetup/install_entries.h"
#include "satsetup/install_registrations.h"
#include "satsetup/install_state.h"
#include "satsetup/install_steps.h"
#include "satsetup/payload.h"
#include "satsetup/settings_backup.h"

#include <chrono>
#include <cerrno>
#include <climits>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>

namespace {

std::mutex cancel_lock;
std::condition_variable cancel_changed;
bool cancel_requested = false;  // under cancel_lock

// The files the worker writes out of its payload.
struct PayloadFiles {
    std::string tool = install_dir + "7za";
    std::string package = install_dir + "data.7z";
    std::string settings = data_dir + "settings.7z";
    std::string list = install_dir + "uninstall.txt";
};

int failed(int result, const std::string& detail)
{
    set_install_failure_detail(detail);
    return result;
}

// Replaces whatever lies at path (a planted link is replaced, not followed).
int write_resource(int id, const std::string& path, mode_t mode)
{
    std::span<const unsigned char> bytes = find_payload_resource(id);
    if (bytes.empty())
        return kResourceMissing;
    FileStep step = FileStep::none;
    int error = file_write_new(path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()),
                               mode, Existing::replace, &step);
    if (error == 0)
        return kInstalled;
    int result = step == FileStep::create ? kResourceCreateFailed
                 : error == ENOSPC        ? kResourceShort
                                          : kResourceWriteFailed;
    return failed(result, path + ": " + std::strerror(error));
}

int check_destination()
{
    std::string why = destination_refusal(install_dir);
    return why.empty() ? int(kInstalled) : failed(kDestinationRefused, why);
}

int prepare_folder(const std::string& dir, bool* existed)
{
    *existed = is_folder(dir);
    std::string why;
    if (*existed || make_folders(dir, 0755, &why))
        return kInstalled;
    return failed(kFolderFailed, why);
}

int write_payload(const PayloadFiles& files)
{
    const struct {
        int id;
        const std::string& path;
        mode_t mode;
    } parts[] = {
        {kExtractionTool, files.tool, 0700},
        {kPackageArchive, files.package, 0600},
        {kSettingsArchive, files.settings, 0600},
        {kUninstallList, files.list, 0644},
    };
    for (const auto& part : parts) {
        int result = write_resource(part.id, part.path, part.mode);
        if (result != kInstalled)
            return result;
    }
    return kInstalled;
}

int extract(const std::string& tool, const std::string& folder, const std::string& archive)
{
    // "<tool>" x -y -o"<folder>" "<archive>": full paths, yes to every question.
    int status = run_hidden_and_wait({tool, "x", "-y", "-o" + folder, archive});
    if (status != 0 && install_cancel_requested())
        return kInterrupted;
    return status == 0 ? kInstalled : kUnpackFailed;
}

int unpack(const PayloadFiles& files)
{
    int result = extract(files.tool, install_dir, files.package);
    if (result == kInstalled && !install_cancel_requested())
        result = extract(files.tool, data_dir, files.settings);
    return result;
}

// The last line the service program wrote: why it refused, as it logged it.
std::string last_line(const std::string& text)
{
    std::string trimmed = text.substr(0, text.find_last_not_of("\n") + 1);
    size_t start = trimmed.rfind('\n');
    return start == std::string::npos ? trimmed : trimmed.substr(start + 1);
}

// clockkeeper install: exit status 1 when the service is installed.
// Not a failure of the installation: the administrator can add the account
// later, and the line says how.
int allow_clock_user()
{
    if (clock_user.empty())
        return kInstalled;
    std::string why = add_account_to_group(clock_user, channel_group_name());
    if (why.empty())
        std::printf("[install] %s may set the clock from the next login on\n", clock_user.c_str());
    else
        std::printf("[install] %s was not added to the group %s (%s): sudo usermod -aG %s %s\n", clock_user.c_str(),
                    channel_group_name().c_str(), why.c_str(), channel_group_name().c_str(), clock_user.c_str());
    std::fflush(stdout);
    return kInstalled;
}

int install_service()
{
    service_install_started = true;
    std::string errors;
    int status = run_hidden_and_wait({install_dir + "bin/clockkeeper", "install"}, &errors);
    if (status == 1)
        return kInstalled;
    if (install_cancel_requested())
        return kInterrupted;
    std::string why = last_line(errors);
    return failed(kServiceRefused, why.empty() ? "clockkeeper install: " + std::to_string(status) : why);
}

std::string folder_of(const char* name, int failure, int* result)
{
    char folder[PATH_MAX];
    if (!get_shell_folder(folder, sizeof folder, name)) {
        *result = failure;
        return {};
    }
    *result = kInstalled;
    return add_trailing_slash(folder);
}

std::string versioned(const char* format)
{
    char text[512];
    std::snprintf(text, sizeof text, translate_text(format), program_version);
    return text;
}

std::string program_description()
{
    return std::string(translate_text("Satclock is time synchronizer by means GPS")) + " " + program_version;
}

int create_desktop_shortcut()
{
    std::string why = create_desktop_icon_entry(program_description());
    return why.empty() ? int(kInstalled) : failed(kUserFolderRefused, why);
}

int create_menu_shortcuts()
{
    int result = kInstalled;
    std::string programs = folder_of("Common Programs", kProgramsFolderFailed, &result);
    if (result != kInstalled)
        return result;
    std::string folder = programs + "Satclock";
    std::string why;
    if (!make_folders(folder, 0755, &why))
        return failed(kMenuFolderFailed, why);
    append_uninstall_entry(folder);
    folder += "/";
    const char* help = text_catalogue_is_russian() ? "share/help/ru/satclock.html" : "share/help/en/satclock.html";
    create_shortcut(folder + "Satclock.desktop", install_dir + "bin/satclock", bin_dir, program_description());
    create_shortcut(folder + "Satclock Help.desktop", install_dir + help, bin_dir, versioned("Satclock %s Help"));
    create_shortcut(folder + "Satclock Home Page.desktop", "https://satclock.example.org/", install_dir,
                    versioned("Satclock %s Home page"));
    return kInstalled;
}

int remove_temporary_files(const PayloadFiles& files)
{
    for (const std::string* path : {&files.tool, &files.package, &files.settings})
        if (!file_remove(*path))
            return failed(kTempDeleteFailed, *path);
    return kInstalled;
}

// One step after another; the first failure or a cancel ends the run.
class Steps {
public:
    explicit Steps(const InstallStatusSink& status) : status_(status) {}
    template <typename Step>
    Steps& then(Step step)
    {
        if (result_ == kInstalled && install_cancel_requested())
            result_ = kInterrupted;
        if (result_ == kInstalled)
            result_ = step();
        return *this;
    }
    Steps& status(const char* text)
    {
        return then([&] {
            status_(translate_text(text));
            return int(kInstalled);
        });
    }
    Steps& pause(int ms)
    {
        return then([ms] { return install_pause_ms(ms) ? int(kInstalled) : int(kInterrupted); });
    }
    int result() const { return result_; }

private:
    const InstallStatusSink& status_;
    int result_ = kInstalled;
};

}  // namespace

void request_install_cancel()
{
    {
        std::lock_guard<std::mutex> hold(cancel_lock);
        cancel_requested = true;
    }
    cancel_changed.notify_all();
    end_extraction_process();
}

bool install_cancel_requested()
{
    std::lock_guard<std::mutex> hold(cancel_lock);
    return cancel_requested;
}

void reset_install_cancel()
{
    std::lock_guard<std::mutex> hold(cancel_lock);
    cancel_requested = false;
}

bool install_pause_ms(int milliseconds)
{
    std::unique_lock<std::mutex> hold(cancel_lock);
    return !cancel_changed.wait_for(hold, std::chrono::milliseconds(milliseconds), [] { return cancel_requested; });
}

int run_installation(const InstallStatusSink& status)
{
    if (!status)
        return kNoRun;
    std::printf("START install \n");
    std::fflush(stdout);
    set_install_failure_detail("");
    PayloadFiles files;
    Steps steps(status);
    steps.then(check_destination)
        .pause(500)
        .then([] { return prepare_folder(install_dir, &install_dir_existed); })
        .then([] { return prepare_folder(data_dir, &data_dir_existed); })
        .then([&] { return write_payload(files); })
        .then([] {
            append_uninstall_entry("uninstall.txt");
            append_uninstall_entry(install_dir);
            append_uninstall_entry(data_dir);
            return int(kInstalled);
        })
        .status("Unpacking files...")
        .then([&] { return unpack(files); })
        .then([] {
            grant_users_access(data_dir + "satclock.ini");
            grant_users_access(data_dir + "satclock-inst.ini");
            return int(kInstalled);
        })
        .then(allow_clock_user)
        .then(install_service)
        .status("Creating shortcuts...")
        .pause(500)
        .then([] { return create_desktop_icon ? create_desktop_shortcut() : int(kInstalled); })
        .then([] { return create_menu_folder ? create_menu_shortcuts() : int(kInstalled); })
        .then([] {
            write_registry_entries();
            return int(kInstalled);
        })
        .status("Removing temporality files...")
        .then([&] { return remove_temporary_files(files); });
    return steps.result();
}

namespace {

// What the list names, each in its place: root's places as root, the desktop
// entry as its user; anything else named in the list stays.
void remove_listed(const std::string& list)
{
    ListedPlaces places = installed_places(install_dir);
    SortedList sorted = sort_listed_paths(list, places);
    for (const std::string& path : sorted.desktop_paths)
        remove_desktop_entry(path, places);
    remove_listed_paths(sorted.root_lines.data(), sorted.root_lines.size(), install_dir);
}

}  // namespace

void rollback_installation()
{
    // Nothing was placed where the destination was refused.
    if (install_dir.empty() || !destination_refusal(install_dir).empty())
        return;
    PayloadFiles files;
    if (!path_exists(files.list) && write_resource(kUninstallList, files.list, 0644) != kInstalled)
        return;
    std::string list;
    if (file_read_whole(files.list, &list) != 0)
        return;
    for (const std::string* path : {&files.tool, &files.package, &files.settings})
        file_remove(*path);
    file_remove(files.list);
    // The service goes before its program file does.
    if (service_install_started && path_exists(install_dir + "bin/clockkeeper"))
        run_hidden_and_wait({install_dir + "bin/clockkeeper", "remove"});
    if (registry_entries_written)
        delete_registry_entries();
    remove_listed(list);
    if (settings_backed_up)
        restore_settings(data_dir);
    if (!install_dir_existed)
        file_remove(install_dir);
    if (!data_dir_existed)
        file_remove(data_dir);
}

void recover_settings_after_failure()
{
    if (settings_backed_up && !data_dir.empty())
        restore_settings(data_dir);
}

namespace {

// An elevated copy writes into a file that the first copy made: only a plain
// file of the user it runs for, never through a link.
void write_handover(const std::string& path, const std::string& text)
{
    Account invoker;
    if (invoking_account(&invoker))
        file_rewrite_owned(path, text, invoker.uid);
}

}  // namespace

void apply_finish_options(const std::string& destination, const FinishChoices& choices)
{
    form_install_paths(destination);
    std::string program = install_dir + "bin/satclock";
    if (settings_backed_up && choices.keep_previous_settings)
        restore_settings_over_defaults(data_dir);
    else if (install_result.load() == kInstalled)
        drop_settings_backups(data_dir);
    // Only a finished installation has a program to start.
    if (install_result.load() != kInstalled || !is_program_file(program))
        return;
    if (choices.run_at_startup) {
        if (std::string why = set_autorun_value(program); !why.empty())
            std::fprintf(stderr, "satsetup: start at login: %s\n", why.c_str());
        patch_autorun_line(data_dir + "satclock.ini");
    }
    if (!choices.launch_now)
        return;
    if (!handover_file.empty())
        write_handover(handover_file, program);
    else
        process_spawn({program}, true);
}

const char* install_result_text(int result)
{
    switch (result) {
    case kInstalled: return "";
    case kInterrupted: return translate_text("The installation was interrupted.");
    case kFolderFailed: return translate_text("The install folder or the data folder cannot be created.");
    case kResourceMissing: return translate_text("A part of the package is missing from Setup.");
    case kResourceCreateFailed: return translate_text("A file cannot be created while writing the package.");
    case kResourceWriteFailed: return translate_text("Writing the package failed.");
    case kResourceShort: return translate_text("The package was written short.");
    case kTempDeleteFailed: return translate_text("A temporary file cannot be deleted.");
    case kUnpackFailed: return translate_text("The package could not be unpacked.");
    case kDesktopFolderFailed: return translate_text("The common desktop folder cannot be found.");
    case kProgramsFolderFailed: return translate_text("The common programs menu folder cannot be found.");
    case kMenuFolderFailed: return translate_text("The Start Menu folder cannot be created.");
    case kDestinationRefused: return translate_text("The destination folder is refused.");
    case kServiceRefused: return translate_text("The time service could not be installed.");
    case kUserFolderRefused: return translate_text("An entry in your own folders was refused.");
    default: return translate_text("Setup could not start the installation.");
    }
}

std::string install_failure_text(int result)
{
    std::string text = install_result_text(result);
    std::string detail = install_failure_detail();
    if (result < 0 && !detail.empty())
        text += "\n" + detail;
    // Without administrator rights nothing of root's can be written.
    if (result < 0 && !is_user_admin())
        text += std::string("\n") + translate_text("Setup needs administrator rights: start it again and give the "
                                                    "administrator's password when asked.");
    return text;
}
