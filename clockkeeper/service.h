// The running side of clockkeeper: status reports to the service manager, the
// stop events, the supervisor and worker threads, and the diagnostic sink.
#pragma once

#include "clockkeeper/manual_event.h"

#include <atomic>
#include <cstdint>

inline constexpr char kServiceName[] = "clockkeeper_satclock";

// Service states, controls and the service type, in the service manager's numbering.
inline constexpr uint32_t kServiceStopped = 1;
inline constexpr uint32_t kServiceStartPending = 2;
inline constexpr uint32_t kServiceStopPending = 3;
inline constexpr uint32_t kServiceRunning = 4;
inline constexpr uint32_t kServiceAcceptStop = 1;
inline constexpr uint32_t kServiceControlStop = 1;
inline constexpr uint32_t kServiceControlInterrogate = 4;
inline constexpr uint32_t kServiceWin32OwnProcess = 0x10;

struct ServiceStatus {
    uint32_t service_type;
    uint32_t current_state;
    uint32_t controls_accepted;
    uint32_t win32_exit_code;
    uint32_t service_specific_exit_code;
    uint32_t checkpoint;
    uint32_t wait_hint;  // milliseconds
};

// The status last set for the service manager; read it through
// service_status_snapshot() from other threads.
extern ServiceStatus service_status;
// The next checkpoint to report; starts at 1.
extern std::atomic<uint32_t> status_checkpoint;

// The error service_main ended with (0 after an ordinary stop): a start that
// failed makes the process end with a failure status, for systemd to see.
extern std::atomic<int> service_main_error;

// Setting it ends the service's threads (manual reset).
extern ManualEvent service_stop_event;
// Setting it ends main_clockkeeper_thread (manual reset).
extern ManualEvent worker_stop_event;

// Diagnostic lines: formatted printf-style and written to standard error,
// where the journal keeps them. Quiet mode formats and drops them.
void service_log(const char* format, ...) __attribute__((format(printf, 1, 2)));
void service_log_set_quiet(bool quiet);

void service_main();
void service_control_handler(uint32_t control);
// Opens the channel, then starts the supervisor. False with errno set when
// either fails (nothing is left running then).
bool start_service_threads();
void stop_service_threads();
// Waits until the stop procedure has ended the supervisor and the worker of
// the last start_service_threads, so that STOPPED is reported after them.
void wait_service_threads_ended();
void service_supervisor_thread();
void main_clockkeeper_thread();

// Report service_status to systemd and the log. 0, or an errno value.
int report_service_status();
ServiceStatus service_status_snapshot();

// The service as started by systemd: SIGTERM is the stop control. Runs
// service_main on a thread of its own and returns when it has ended; false
// when the stop control could not be set up.
bool run_service_dispatcher();
