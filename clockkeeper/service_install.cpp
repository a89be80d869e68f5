// The service's unit file and its registration through systemctl.
#include "clockkeeper/service_install.h"

#include "clockkeeper/service.h"
#include "common/elevated_command.h"
#include "common/locale_language.h"
#include "common/user_admin.h"
#include "platform/env.h"
#include "platform/files.h"
#include "platform/process.h"

#include <cerrno>
#include <cstdio>
#include <glib.h>
#include <sstream>
#include <vector>

namespace {

constexpr char kUnitName[] = "clockkeeper_satclock.service";
constexpr char kDisplayName[] = "SetTime service Satclock";
constexpr char kDescription[] = "Setting the system time for Satclock";
constexpr char kDescriptionRussian[] = "Установка системного времени для Satclock";
constexpr int kStopPollMs = 500;

std::string env_or(const char* name, const char* fallback)
{
    std::string value = env_value(name);
    return value.empty() ? fallback : value;
}

// A question (is-active) is answered at once; a job (start, daemon-reload)
// waits for systemd, which gives a unit's start 90 s by default. Past its
// bound systemctl is killed and counts as failed.
constexpr int kSystemdJobBoundMs = 90000;

int systemctl(std::vector<std::string> args, std::string* out = nullptr)
{
    int bound = args.front() == "is-active" ? process_bound_ms : kSystemdJobBoundMs;
    args.insert(args.begin(), env_or("SATCLOCK_SYSTEMCTL", "systemctl"));
    return process_run_capture(args, out, bound);
}

// The service manager's state numbers for `systemctl is-active`. False when
// the question could not be asked or the answer is not one we know.
bool query_service_state(uint32_t* state)
{
    std::string out;
    systemctl({"is-active", kUnitName}, &out);
    std::istringstream words(out);
    std::string answer;
    words >> answer;
    if (answer == "active" || answer == "reloading")
        *state = kServiceRunning;
    else if (answer == "activating")
        *state = kServiceStartPending;
    else if (answer == "deactivating")
        *state = kServiceStopPending;
    else if (answer == "inactive" || answer == "failed")
        *state = kServiceStopped;
    else
        return false;
    return true;
}

// Opening the service manager for everything: writing its unit folder.
bool service_manager_writable() { return folder_writable(service_unit_dir()); }

// systemd splits ExecStart on blanks, takes quotes and C escapes, and expands
// '%' specifiers and '$' variables: a path holding any of them goes in double
// quotes with each escaped, so "/opt/My Programs" still names one program.
std::string exec_start_path(const std::string& path)
{
    bool plain = path.find_first_of(" \t\"\\%'$;") == std::string::npos;
    if (plain)
        return path;
    std::string quoted = "\"";
    for (char c : path) {
        if (c == '"' || c == '\\')
            quoted += '\\';
        else if (c == '%' || c == '$')
            quoted += c;
        quoted += c;
    }
    return quoted + "\"";
}

// The unit written beside its final name and linked into place: EEXIST when a
// unit exists already, and no reader ever sees half a file.
int create_unit_file(const std::string& text)
{
    return file_write_new(service_unit_path(), text, 0644, Existing::keep);
}

// Replace the unit whole: a reader sees the old file or the new one.
int replace_unit_file(const std::string& text) { return file_write_new(service_unit_path(), text, 0644); }

// The ExecStart= value of a unit's text, empty when it has none.
std::string unit_exec_start(const std::string& text)
{
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("ExecStart=", 0) == 0)
            return line.substr(10);
    }
    return {};
}

std::string read_text(const std::string& path)
{
    std::string text;
    file_read_whole(path, &text);
    return text;
}

void start_unit()
{
    int status = systemctl({"start", kUnitName});
    if (status != 0)
        service_log("Service start failed: systemctl start ended with %d\n", status);
}

// An earlier installation in another folder (or one since deleted) left the
// unit running another program: it is made to run this one.
bool repoint_unit(const std::string& self, const std::string& found)
{
    service_log("Service unit runs %s; rewriting it for %s\n", found.c_str(), self.c_str());
    if (replace_unit_file(service_unit_text(self, locale_is_russian_speaking())) != 0 ||
        systemctl({"daemon-reload"}) != 0 || systemctl({"enable", kUnitName}) != 0) {
        service_log("Can not CreateService\n");
        return false;
    }
    if (systemctl({"restart", kUnitName}) != 0)
        service_log("Service start failed: systemctl restart failed\n");
    return true;
}

bool register_unit()
{
    return systemctl({"daemon-reload"}) == 0 && systemctl({"enable", kUnitName}) == 0;
}

// ControlService(STOP): refused unless the service is running or starting.
bool send_stop_control()
{
    uint32_t state = 0;
    if (!query_service_state(&state) || (state != kServiceRunning && state != kServiceStartPending))
        return false;
    return systemctl({"stop", "--no-block", kUnitName}) == 0;
}

void wait_until_stopped()
{
    service_log("stopping...");
    uint32_t state = 0;
    for (;;) {
        g_usleep(gulong(kStopPollMs) * 1000);
        if (!query_service_state(&state) || state != kServiceStopPending)
            break;
        std::fputs(".", stdout);
        std::fflush(stdout);
    }
    std::fputs("\n", stdout);
    std::fflush(stdout);
    service_log(state == kServiceStopped ? "stopped\n" : "failed to stop\n");
}

bool delete_unit()
{
    systemctl({"disable", kUnitName});
    bool removed = file_remove(service_unit_path());
    systemctl({"daemon-reload"});
    return removed;
}

}  // namespace

std::string service_unit_dir() { return env_or("SATCLOCK_SYSTEMD_DIR", "/etc/systemd/system"); }

std::string service_unit_path() { return service_unit_dir() + "/" + kUnitName; }

std::string service_unit_text(const std::string& program_path, bool russian)
{
    std::string text = "# ";
    text += russian ? kDescriptionRussian : kDescription;
    text += "\n[Unit]\nDescription=";
    text += kDisplayName;
    text += "\n\n[Service]\nType=notify\nExecStart=" + exec_start_path(program_path) + "\n";
    // The service needs the clock (and the real-time priority around its set)
    // and its channel folder /run/satclock, which only it may change, nothing else.
    text += "Restart=on-failure\nRestartSec=1\n";
    text += "CapabilityBoundingSet=CAP_SYS_TIME CAP_SYS_NICE\nNoNewPrivileges=yes\n";
    text += "RuntimeDirectory=satclock\nRuntimeDirectoryMode=0755\n";
    text += "ProtectSystem=strict\nPrivateTmp=yes\n";
    text += "\n[Install]\nWantedBy=multi-user.target\n";
    return text;
}

bool install_service()
{
    std::string self = process_self_path();
    if (self.empty())
        return false;
    if (!service_manager_writable()) {
        service_log("install_service: OpenSCManager false!\n");
        return false;
    }
    // A line end in the path would end ExecStart's line, and what follows it
    // ("ExecStartPre=...") would be a line of the unit of its own.
    if (has_control_characters(self)) {
        service_log("install_service: refused: the program's path holds a control character (such as a line "
                    "end), which the unit cannot hold.\n");
        return false;
    }
    if (std::string why = path_only_root_can_change(self, true); !why.empty()) {
        service_log("install_service: refused: %s, so another account could replace what runs as root. "
                    "Install the program into a folder that only root may change.\n", why.c_str());
        return false;
    }
    int rc = create_unit_file(service_unit_text(self, locale_is_russian_speaking()));
    if (rc == EEXIST) {
        service_log("Service has been installed earlier\n");
        std::string found = unit_exec_start(read_text(service_unit_path()));
        if (found != exec_start_path(self))
            return repoint_unit(self, found);
        return true;
    }
    if (rc != 0 || !register_unit()) {
        // Leave no half registration behind: the next install starts afresh.
        if (rc == 0)
            file_remove(service_unit_path());
        service_log("Can not CreateService\n");
        return false;
    }
    service_log("Service has been installed\n");
    uint32_t state = 0;
    if (query_service_state(&state))
        service_log("Service status %d\n", int(state));
    else
        service_log("Service status can't get\n");
    start_unit();
    return true;
}

bool remove_service()
{
    if (!service_manager_writable()) {
        service_log("Can not OpenSCManager");
        return false;
    }
    if (!path_exists(service_unit_path())) {
        service_log("Service has been deleted earlier\n");
        return true;
    }
    if (send_stop_control())
        wait_until_stopped();
    if (delete_unit()) {
        service_log("service has been removed\n");
        return true;
    }
    service_log("install_service: DeleteService false");
    return false;
}

bool run_elevated(const char* command_word, int* exit_code)
{
    if (is_user_admin())
        return false;
    std::string self = process_self_path();
    if (self.empty())
        return false;
    std::vector<std::string> argv = elevation_prefix();
    argv.push_back(self);
    argv.push_back(command_word);
    pid_t pid = process_spawn(argv);
    if (pid < 0)
        return false;
    int status = process_wait(pid);
    // pkexec: 126 the user dismissed the prompt, 127 not authorized or no authority.
    if (status < 0 || status == 126 || status == 127)
        return false;
    *exit_code = status;
    return true;
}
