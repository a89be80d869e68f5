// The installation worker's steps, the cancel and rollback, and the finish actions.
#include "satsetup/installation.h"

#include "common/install_text.h"
#include "common/listed_paths.h"
#include "common/shell_folder.h"
#include "platform/process.h"
#include "satsetup/install_state.h"
#include "satsetup/install_steps.h"
#include "satsetup/payload.h"

#include <cerrno>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <mutex>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

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

bool exists(const std::string& path)
{
    struct stat st{};
    return lstat(path.c_str(), &st) == 0;
}

// Replaces whatever lies at path (a planted link is replaced, not followed).
int write_resource(int id, const std::string& path, mode_t mode)
{
    std::span<const unsigned char> bytes = find_payload_resource(id);
    if (bytes.empty())
        return kResourceMissing;
    if (unlink(path.c_str()) != 0 && errno != ENOENT)
        return kResourceCreateFailed;
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd < 0)
        return kResourceCreateFailed;
    size_t done = 0;
    int result = kInstalled;
    while (done < bytes.size()) {
        ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            result = done == 0 ? kResourceWriteFailed : kResourceShort;
            break;
        }
        if (n == 0) {
            result = kResourceShort;
            break;
        }
        done += size_t(n);
    }
    if (close(fd) != 0 && result == kInstalled)
        result = kResourceWriteFailed;
    return result;
}

int prepare_folder(const std::string& dir, bool* existed)
{
    struct stat st{};
    if (stat(dir.c_str(), &st) == 0) {
        *existed = true;
        return kInstalled;
    }
    *existed = false;
    return make_dir_path(dir) ? kInstalled : kFolderFailed;
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

void install_service()
{
    service_install_started = true;
    run_hidden_and_wait({install_dir + "bin/clockkeeper", "install"});
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
    int result = kInstalled;
    std::string desktop = folder_of("Common Desktop", kDesktopFolderFailed, &result);
    if (result == kInstalled)
        create_shortcut(desktop + "Satclock.desktop", install_dir + "bin/satclock", bin_dir, program_description());
    return result;
}

int create_menu_shortcuts()
{
    int result = kInstalled;
    std::string programs = folder_of("Common Programs", kProgramsFolderFailed, &result);
    if (result != kInstalled)
        return result;
    std::string folder = programs + "Satclock";
    if (!make_dir_path(folder))
        return kMenuFolderFailed;
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
        if (unlink(path->c_str()) != 0 && exists(*path))
            return kTempDeleteFailed;
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

std::string read_list(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

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
    PayloadFiles files;
    Steps steps(status);
    steps.pause(500)
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
        .then([] {
            install_service();
            return int(kInstalled);
        })
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

void rollback_installation()
{
    if (install_dir.empty())
        return;
    PayloadFiles files;
    if (!exists(files.list) && write_resource(kUninstallList, files.list, 0644) != kInstalled)
        return;
    if (!exists(files.list))
        return;
    for (const std::string* path : {&files.tool, &files.package, &files.settings})
        unlink(path->c_str());
    std::string list = read_list(files.list);
    unlink(files.list.c_str());
    // The service goes before its program file does.
    if (service_install_started && exists(install_dir + "bin/clockkeeper"))
        run_hidden_and_wait({install_dir + "bin/clockkeeper", "remove"});
    if (registry_entries_written)
        delete_registry_entries();
    remove_listed_paths(list.data(), list.size(), install_dir);
    if (settings_backed_up)
        restore_settings(data_dir);
    if (!install_dir_existed)
        rmdir(install_dir.c_str());
    if (!data_dir_existed)
        rmdir(data_dir.c_str());
}

void recover_settings_after_failure()
{
    if (settings_backed_up && !data_dir.empty())
        restore_settings(data_dir);
}

namespace {

// An elevated copy writes into a file that the first copy made: only a plain
// file of that user's, never through a link.
bool write_handover(const std::string& path, const std::string& text)
{
    int fd = open(path.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st{};
    bool plain = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_nlink == 1;
    const char* invoker = std::getenv("PKEXEC_UID");
    if (!invoker)
        invoker = std::getenv("SUDO_UID");
    if (plain && invoker && std::to_string(st.st_uid) != invoker)
        plain = false;
    bool ok = plain && ftruncate(fd, 0) == 0 && write(fd, text.data(), text.size()) == ssize_t(text.size());
    return close(fd) == 0 && ok;
}

}  // namespace

void apply_finish_options(const std::string& destination, const FinishChoices& choices)
{
    form_install_paths(destination);
    std::string program = install_dir + "bin/satclock";
    if (settings_backed_up && choices.keep_previous_settings)
        restore_settings(data_dir);
    else if (install_result.load() == kInstalled)
        drop_settings_backups(data_dir);
    if (choices.run_at_startup) {
        set_autorun_value(program);
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
    default: return translate_text("Setup could not start the installation.");
    }
}
