// The end-to-end correction rig: simulator, service, pulses and measurements.
#include "bench/correction_accuracy/correction_rig.h"

#include "common/smem.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/process.h"
#include "src/correction/analiz.h"
#include "src/correction/nmea_delay.h"
#include "src/receiver/receiver_threads.h"
#include "src/gps/com_reader.h"
#include "tests/support/com_test_device.h"
#include "src/gps/gps_fix.h"
#include "src/gps/gpsd_link.h"
#include "src/gps/serial.h"
#include "src/settings/settings.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <time.h>
#include <unistd.h>
#include <utility>

namespace {

constexpr int64_t kMs = 1000000;
constexpr int64_t kSecond = 1000000000;

void sleep_ms(int ms)
{
    timespec pause{ms / 1000, long(ms % 1000) * kMs};
    nanosleep(&pause, nullptr);
}

template <class Cond>
bool wait_until(Cond cond, int timeout_ms)
{
    int64_t end = platform_monotonic_ns() + int64_t(timeout_ms) * kMs;
    while (!cond()) {
        if (platform_monotonic_ns() >= end)
            return false;
        sleep_ms(1);
    }
    return true;
}

// The text after "name": in a one-line JSON object (numbers and plain strings only).
std::string json_value(const std::string& line, const std::string& name)
{
    std::string key = "\"" + name + "\":";
    size_t at = line.find(key);
    if (at == std::string::npos)
        return "";
    at += key.size();
    if (at < line.size() && line[at] == '"') {
        size_t end = line.find('"', at + 1);
        return line.substr(at + 1, end == std::string::npos ? std::string::npos : end - at - 1);
    }
    size_t end = line.find_first_of(",}", at);
    return line.substr(at, end == std::string::npos ? std::string::npos : end - at);
}

int64_t json_number(const std::string& line, const std::string& name)
{
    return std::strtoll(json_value(line, name).c_str(), nullptr, 10);
}

bool end_child(pid_t& pid, int signal_number)
{
    if (pid <= 0)
        return true;
    kill(pid, signal_number);
    int status = process_wait(pid, 5000);
    if (status == -2) {
        kill(pid, SIGKILL);
        status = process_wait(pid, 5000);
    }
    pid = -1;
    return status != -2;
}

// Sleeps on the real clock until shortly before the moment, then spins to it,
// so the edge lands within microseconds of the true top of the second.
void wait_real_until(int64_t moment_ns, const std::atomic<bool>& stop)
{
    constexpr int64_t kSpinNs = 300000;
    while (!stop.load()) {
        int64_t left = moment_ns - rig_real_ns();
        if (left <= kSpinNs)
            break;
        int64_t nap = std::min(left - kSpinNs, 100 * kMs);
        timespec pause{time_t(nap / kSecond), long(nap % kSecond)};
        nanosleep(&pause, nullptr);
    }
    while (!stop.load() && rig_real_ns() < moment_ns) {
    }
}

// How long after the true top of its second the port's last pulse edge was
// stamped (the pulses come at the real clock's whole seconds).
int64_t last_edge_late_ns()
{
    unsigned long count = 0;
    int64_t edge_mono = 0;
    if (com_pps_last_edge(0, 1, &count, &edge_mono) != 1)
        return -1;
    int64_t edge_real = edge_mono + (rig_real_ns() - platform_monotonic_ns());
    return edge_real % kSecond;
}

}  // namespace

int64_t rig_real_ns()
{
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return int64_t(ts.tv_sec) * kSecond + ts.tv_nsec;
}

int64_t rig_clock_offset_ns() { return platform_clock_read_ns() - rig_real_ns(); }

bool rig_set_clock_offset(int64_t offset_ns, bool deny_after)
{
    platform_clock_sandbox_deny_set(false);
    int rc = platform_clock_set_ns(rig_real_ns() + offset_ns);
    platform_clock_sandbox_deny_set(deny_after);
    return rc == 0;
}

bool service_holds_channel() { return smem_peer_present() == 1; }

ServiceProcess::~ServiceProcess() { stop(); }

bool ServiceProcess::start(const std::string& bin_dir, const std::string& log_path, int timeout_ms)
{
    pid_ = process_spawn({"/bin/sh", "-c", "exec \"$0\" debug 2>>\"$1\"", bin_dir + "/clockkeeper", log_path});
    if (pid_ <= 0)
        return false;
    return wait_until([] { return service_holds_channel(); }, timeout_ms);
}

bool ServiceProcess::stop() { return end_child(pid_, std::exchange(hung_, false) ? SIGKILL : SIGTERM); }

namespace {

// Every thread of the process has stopped ('T' in its /proc stat).
bool all_threads_stopped(pid_t pid)
{
    std::error_code failed;
    for (const auto& task : std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task", failed)) {
        std::ifstream stat(task.path() / "stat");
        std::string text((std::istreambuf_iterator<char>(stat)), {});
        size_t state = text.rfind(") ");
        if (state == std::string::npos || text.compare(state + 2, 1, "T") != 0)
            return false;
    }
    return !failed;
}

}  // namespace

bool ServiceProcess::hang()
{
    hung_ = pid_ > 0 && kill(pid_, SIGSTOP) == 0;
    return hung_ && wait_until([this] { return all_threads_stopped(pid_); }, 5000);
}

SimulatorProcess::~SimulatorProcess() { stop(); }

bool SimulatorProcess::start(const std::string& bin_dir, const std::string& port_dir, int port, int baud,
                             const std::string& log_path, const std::vector<std::string>& extra)
{
    log_path_ = log_path;
    std::vector<std::string> argv = {bin_dir + "/satclock-gpssim", "--port", std::to_string(port), "--port-dir",
                                     port_dir, "--baud", std::to_string(baud), "--log", log_path, "--replace",
                                     "--realtime"};
    argv.insert(argv.end(), extra.begin(), extra.end());
    pid_ = process_spawn(argv);
    if (pid_ <= 0)
        return false;
    std::string link = port_dir + "/COM" + std::to_string(port);
    return wait_until([&] {
        std::ifstream log(log_path_);
        std::string first;
        std::getline(log, first);
        return first.find("\"event\":\"start\"") != std::string::npos && std::filesystem::is_symlink(link);
    }, 5000);
}

bool SimulatorProcess::stop() { return end_child(pid_, SIGTERM); }

std::vector<SimSentence> SimulatorProcess::sentences() const
{
    std::vector<SimSentence> out;
    std::ifstream log(log_path_);
    for (std::string line; std::getline(log, line);) {
        if (json_value(line, "event") != "sentence")
            continue;
        SimSentence s;
        s.type = json_value(line, "type");
        s.second_ns = json_number(line, "second_ns");
        s.reported_ns = json_number(line, "reported_ns");
        s.first_byte_ns = json_number(line, "first_byte_ns");
        s.cr_ns = json_number(line, "cr_ns");
        out.push_back(s);
    }
    return out;
}

namespace {

// A loopback TCP port free now.
int free_loopback_port()
{
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (fd >= 0 && bind(fd, reinterpret_cast<sockaddr*>(&address), length) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    if (fd >= 0)
        close(fd);
    return port;
}

}  // namespace

GpsdProcess::~GpsdProcess() { stop(); }

bool GpsdProcess::start(const std::string& program, const std::string& dir, const std::string& device)
{
    if (port_ == 0)
        port_ = free_loopback_port();
    program_ = program;
    dir_ = dir;
    std::string control = dir + "/gpsd.sock";
    std::filesystem::remove(control);
    // -N foreground, -n read the device without waiting for a client, -b
    // never write to it (the simulator plays a receiver that takes nothing).
    pid_ = process_spawn({"/bin/sh", "-c", "exec \"$0\" -N -n -b -S \"$1\" -F \"$2\" $3 2>>\"$4\"", program,
                          std::to_string(port_), control, device, dir + "/gpsd.log"});
    if (pid_ <= 0)
        return false;
    std::string at = address();
    if (device.empty())
        return wait_until([&] { return std::filesystem::exists(control); }, 5000);
    return wait_until([&] { return !gpsd_list_devices(at, 200).empty(); }, 5000);
}

bool GpsdProcess::add_device(const std::string& device)
{
    // gpsd opens a device handed over later with the rights it dropped to
    // (as root it keeps only the device's group): a receiver's port is in
    // that group, the simulator's pty is root's.
    std::filesystem::permissions(device, std::filesystem::perms::others_read | std::filesystem::perms::others_write,
                                 std::filesystem::perm_options::add);
    std::string gpsdctl = std::filesystem::path(program_).parent_path() / "gpsdctl";
    pid_t pid = process_spawn({"/bin/sh", "-c", "GPSD_SOCKET=\"$0\" exec \"$1\" add \"$2\"", dir_ + "/gpsd.sock",
                               gpsdctl, device});
    return pid > 0 && process_wait(pid, 5000) == 0;
}

bool GpsdProcess::stop() { return end_child(pid_, SIGTERM); }

PulseSource::~PulseSource() { stop(); }

void PulseSource::start(int port, int width_ms)
{
    stop_.store(false);
    thread_ = std::thread([this, port, width_ms] {
        // It plays the receiver's hardware: keep it on time on a busy machine.
        platform_realtime_priority_enter();
        while (!stop_.load()) {
            int64_t top = (rig_real_ns() / kSecond + 1) * kSecond;
            wait_real_until(top, stop_);
            if (!stop_.load())
                com_test_device_raise_pulse(port, TIOCM_CTS, width_ms);
        }
    });
}

void PulseSource::stop()
{
    stop_.store(true);
    if (thread_.joinable())
        thread_.join();
}

ClockSetWatch::~ClockSetWatch()
{
    if (fd_ >= 0)
        close(fd_);
}

bool ClockSetWatch::open(const std::string& clock_file)
{
    std::filesystem::path path(clock_file);
    name_ = path.filename().string();
    fd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    return fd_ >= 0 && inotify_add_watch(fd_, path.parent_path().c_str(), IN_MOVED_TO) >= 0;
}

void ClockSetWatch::drain()
{
    alignas(inotify_event) char buffer[4096];
    while (read(fd_, buffer, sizeof buffer) > 0) {
    }
}

int64_t ClockSetWatch::next(int timeout_ms)
{
    int64_t end = platform_monotonic_ns() + int64_t(timeout_ms) * kMs;
    alignas(inotify_event) char buffer[4096];
    for (;;) {
        int left = int((end - platform_monotonic_ns()) / kMs);
        if (left <= 0)
            return 0;
        pollfd in{fd_, POLLIN, 0};
        if (poll(&in, 1, left) <= 0)
            continue;
        int64_t stamp = rig_real_ns();
        ssize_t n = read(fd_, buffer, sizeof buffer);
        for (ssize_t at = 0; at < n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            if (event->len > 0 && name_ == event->name)
                return stamp;
            at += ssize_t(sizeof(inotify_event) + event->len);
        }
    }
}

CorrectionRig::CorrectionRig(std::string bin_dir, std::string dir, RigOptions options)
    : bin_dir_(std::move(bin_dir)), dir_(std::move(dir)), options_(std::move(options))
{
}

CorrectionRig::~CorrectionRig() { stop(); }

bool CorrectionRig::start(std::string* error)
{
    auto fail = [&](const char* what) {
        *error = what;
        stop();
        return false;
    };
    started_ = true;
    settings_init_path();
    std::error_code ignored;
    std::filesystem::create_directories(std::filesystem::path(settings_path()).parent_path(), ignored);
    const char* clock_file = std::getenv("SATCLOCK_CLOCK_FILE");
    const char* port_dir = std::getenv("SATCLOCK_PORT_DIR");
    if (!clock_file || !port_dir)
        return fail("SATCLOCK_CLOCK_FILE and SATCLOCK_PORT_DIR must name sandbox paths");
    if (!watch_.open(clock_file))
        return fail("inotify on the clock folder failed");
    if (!service_.start(bin_dir_, dir_ + "/clockkeeper.log"))
        return fail("clockkeeper debug did not take the channel");
    com_test_device_register(options_.port, options_.pulse_inverted ? TIOCM_CTS : 0);
    if (!sim_.start(bin_dir_, port_dir, options_.port, options_.baud, dir_ + "/gpssim.log", options_.sim_options))
        return fail("satclock-gpssim did not start");
    if (!options_.gpsd_program.empty()) {
        if (!restart_gpsd())
            return fail("gpsd did not answer with the simulator's pty");
        settings_write_string(settings_keys::gpsd_host, gpsd_.address().c_str());
        receiver_use_gpsd(gpsd_.address());
    }
    com_init();
    use_pps.store(options_.pps ? 1 : 0);
    pps_use_cts.store(1);
    pps_inverted.store(options_.pulse_inverted ? 1 : 0);
    nmea_compensate.store(options_.compensate_ms >= 0 ? 1 : 0);
    nmea_delay_ms.store(std::max(options_.compensate_ms, 0));
    platform_clock_sandbox_deny_set(options_.unprivileged);
    if (start_receiver_threads(options_.port, options_.baud) != 1)
        return fail("the reader did not start");
    if (!wait_until([] { return gps_fix_copy().fix_quality > 0; }, 5000))
        return fail("no fix decoded from the simulator");
    if (options_.pps || options_.pulses)
        pulses_.start(options_.port, options_.pulse_width_ms);
    return true;
}

std::string CorrectionRig::pty() const { return resolved_path(com_port_device(options_.port)); }

bool CorrectionRig::restart_gpsd()
{
    std::string device = pty();
    return !device.empty() && gpsd_.start(options_.gpsd_program, dir_, device);
}

int CorrectionRig::learn_delay(int timeout_ms)
{
    nmea_delay_measure_state.store(0);
    nmea_delay_measure_request.store(1);
    if (!wait_until([] { return nmea_delay_measure_request.load() == 0; }, timeout_ms))
        return -1;
    if (nmea_delay_measure_state.load() != 2)
        return -1;
    nmea_compensate.store(1);
    return nmea_delay_ms.load();
}

CorrectionSample CorrectionRig::correct_once(int64_t clock_off_ns, int timeout_ms)
{
    CorrectionSample sample;
    if (!rig_set_clock_offset(clock_off_ns, options_.unprivileged)) {
        sample.failure = "the sandbox clock could not be set";
        return sample;
    }
    watch_.drain();
    correct_time_request.store(1);
    // The stamp is only as good as this thread's wake: keep it on time.
    platform_realtime_priority_enter();
    int64_t set_ns = watch_.next(timeout_ms);
    platform_realtime_priority_leave();
    if (set_ns == 0) {
        sample.failure = "the service never set the clock";
        return sample;
    }
    if (!wait_until([] { return correct_time_request.load() == 0; }, timeout_ms)) {
        sample.failure = "the request was never cleared";
        return sample;
    }
    // The alignment's shift posted to the service: its set shows as the next
    // rewrite of the clock file (already queued when it came first).
    if (options_.pps && options_.unprivileged)
        watch_.next(timeout_ms);
    sample.clock_error_ns = rig_clock_offset_ns();
    if (options_.pps)
        sample.edge_late_ns = last_edge_late_ns();
    // The simulator logs a sentence a moment after sending it: wait until its
    // log runs past the set. The first sentence of a second is the one that
    // gives a correction; the others of that second repeat its time.
    // The simulator stamps a sentence right after its write returned: on a
    // busy machine the stamp may come a little after the set it caused.
    constexpr int64_t kStampSlackNs = 100 * kMs;
    std::vector<SimSentence> sentences;
    if (!wait_until([&] {
            sentences = sim_.sentences();
            return !sentences.empty() && sentences.back().cr_ns > set_ns + kStampSlackNs;
        }, timeout_ms)) {
        sample.failure = "the simulator's log never ran past the set";
        return sample;
    }
    const SimSentence* source = nullptr;
    for (size_t i = 0; i < sentences.size() && sentences[i].cr_ns <= set_ns + kStampSlackNs; ++i)
        if (i == 0 || sentences[i].second_ns != sentences[i - 1].second_ns)
            source = &sentences[i];
    if (!source) {
        sample.failure = "no sentence before the set in the simulator's log";
        return sample;
    }
    sample.set_latency_ns = set_ns - source->cr_ns;
    sample.sentence_delay_ns = source->cr_ns - source->second_ns;
    sample.done = true;
    return sample;
}

void CorrectionRig::stop()
{
    if (!started_)
        return;
    started_ = false;
    pulses_.stop();
    stop_com_read_thread();
    sim_.stop();
    gpsd_.stop();
    receiver_use_gpsd("");
    service_.stop();
    com_test_device_unregister(options_.port);
    use_pps.store(0);
    pps_inverted.store(0);
    nmea_compensate.store(0);
    nmea_delay_ms.store(0);
    nmea_delay_measure_request.store(0);
    correct_time_request.store(0);
    platform_clock_sandbox_deny_set(false);
}
