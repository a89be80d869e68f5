// The end-to-end correction rig: the simulated receiver on a pty, the real
// reader and analysis threads of this process, the real command channel and
// `clockkeeper debug` as a child process, all on one sandbox clock.
//
// The simulator plays the satellites: its time is the machine's real clock.
// The sandbox clock plays the PC clock being corrected. So the error of the
// PC clock against the truth is simply the sandbox offset (minus the time
// offset the simulator was told to report).
//
// The caller provides the environment: SATCLOCK_CLOCK_FILE,
// SATCLOCK_CHANNEL_DIR, SATCLOCK_PORT_DIR and SATCLOCK_COMMON_APPDATA
// pointing into a folder of its own (a TestSandbox in tests).
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <sys/types.h>
#include <thread>
#include <vector>

// `clockkeeper debug` from the build tree, its diagnostics into a file.
class ServiceProcess {
public:
    ~ServiceProcess();
    // Starts it and waits until it listens on the channel.
    bool start(const std::string& bin_dir, const std::string& log_path, int timeout_ms = 5000);
    // SIGTERM and wait; true when it ended.
    bool stop();
    bool running() const { return pid_ > 0; }
    // Halts it (SIGSTOP): it keeps the channel but answers nothing, as a hung
    // service would. stop() then ends it with SIGKILL.
    bool hang();

private:
    pid_t pid_ = -1;
    bool hung_ = false;
};

// Whether a service listens on the channel.
bool service_holds_channel();

// One sentence of the simulator's truth log (times in ns since 1970, real clock).
struct SimSentence {
    std::string type;  // "GGA", "RMC"
    int64_t second_ns = 0;
    int64_t reported_ns = 0;
    int64_t first_byte_ns = 0;
    int64_t cr_ns = 0;
};

// satclock-gpssim from the build tree, linked as COM<port> in the port folder.
class SimulatorProcess {
public:
    ~SimulatorProcess();
    bool start(const std::string& bin_dir, const std::string& port_dir, int port, int baud,
               const std::string& log_path, const std::vector<std::string>& extra = {});
    bool stop();
    std::vector<SimSentence> sentences() const;

private:
    pid_t pid_ = -1;
    std::string log_path_;
};

// Raises a CTS pulse of width_ms on the test device of a port, its leading
// edge at every true top of a second (the real clock), as a receiver's 1PPS
// output does.
class PulseSource {
public:
    ~PulseSource();
    void start(int port, int width_ms);
    void stop();

private:
    std::thread thread_;
    std::atomic<bool> stop_{false};
};

// Watches the sandbox clock file and stamps, on the real clock, the moment
// it is rewritten: the moment a clock set took effect.
class ClockSetWatch {
public:
    ~ClockSetWatch();
    bool open(const std::string& clock_file);
    void drain();
    // Real-clock ns of the next rewrite, or 0 after timeout_ms.
    int64_t next(int timeout_ms);

private:
    int fd_ = -1;
    std::string name_;
};

// gpsd (Debian's, unpacked, never installed) in the foreground on the
// simulator's pty, on a loopback port and control socket of its own.
class GpsdProcess {
public:
    ~GpsdProcess();
    // Starts it and waits until it answers with the device ("": with none,
    // until it listens).
    bool start(const std::string& program, const std::string& dir, const std::string& device);
    // Hands it a device through its control socket, as its udev hook does.
    bool add_device(const std::string& device);
    bool stop();
    // "localhost:<port>" it listens on (the same across restarts).
    std::string address() const { return "localhost:" + std::to_string(port_); }

private:
    pid_t pid_ = -1;
    int port_ = 0;
    std::string program_, dir_;
};

struct RigOptions {
    int port = 7;
    int baud = 4800;
    bool pps = false;           // 1PPS on CTS through the test device, aligned
    bool unprivileged = false;  // this process may not set the clock: shifts go to the service
    bool pulses = false;        // pulses on CTS without using them for corrections (to learn the delay)
    int compensate_ms = -1;     // >= 0: corrections without 1PPS add this output delay
    std::string gpsd_program;   // not empty: the receiver is read through this gpsd
    int pulse_width_ms = 100;   // the pulses' width
    bool pulse_inverted = false;  // CTS rests on and the pulse turns it off
    std::vector<std::string> sim_options;
};

// One correction's outcome.
struct CorrectionSample {
    bool done = false;
    int64_t clock_error_ns = 0;  // PC clock minus truth right after the correction
    int64_t set_latency_ns = 0;  // carriage return of the sentence to the service's clock set
    int64_t sentence_delay_ns = 0;  // top of the sentence's second to its carriage return
    int64_t edge_late_ns = 0;       // with 1PPS: the last edge's stamp after the true top of its second
    std::string failure;
};

class CorrectionRig {
public:
    // dir: a folder of the caller's for the logs.
    CorrectionRig(std::string bin_dir, std::string dir, RigOptions options);
    ~CorrectionRig();
    bool start(std::string* error);
    // Puts the PC clock clock_off_ns off the truth, requests a correction and
    // measures it.
    CorrectionSample correct_once(int64_t clock_off_ns, int timeout_ms = 6000);
    // Measures the receiver's output delay from the pulses (15 s), stores it
    // and compensates with it from then on. The delay in ms, or -1.
    int learn_delay(int timeout_ms = 25000);
    void stop();

    ServiceProcess& service() { return service_; }
    GpsdProcess& gpsd() { return gpsd_; }
    // Starts gpsd again on the simulator's pty (after gpsd().stop()).
    bool restart_gpsd();
    // The simulator's pty.
    std::string pty() const;

private:
    std::string bin_dir_;
    std::string dir_;
    RigOptions options_;
    ServiceProcess service_;
    SimulatorProcess sim_;
    PulseSource pulses_;
    ClockSetWatch watch_;
    GpsdProcess gpsd_;
    bool started_ = false;
};

// Real-clock nanoseconds since 1970 (the truth of the simulated receiver).
int64_t rig_real_ns();
// The PC (sandbox) clock minus the real clock.
int64_t rig_clock_offset_ns();
// Sets the PC clock to real time + offset_ns, even while sets are denied to
// this process; deny_after is the denial to leave in force.
bool rig_set_clock_offset(int64_t offset_ns, bool deny_after = false);
