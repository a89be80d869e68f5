// Start, restart and stop of the receiver threads, and the service probe.
#include "src/receiver/receiver_threads.h"

#include "src/correction/analiz.h"
#include "src/correction/chrony_feed.h"
#include "src/correction/nmea_delay.h"
#include "src/gps/com_reader.h"
#include "src/gps/gpsd_link.h"
#include "src/gps/receiver_view.h"
#include "src/gps/serial.h"
#include "src/receiver/chrony_sources.h"
#include "src/receiver/time_daemons.h"
#include "src/settings/settings.h"

#include <chrono>
#include <system_error>
#include <thread>

std::atomic<int> thread_analiz_id{0};
std::atomic<int> time_service_presence{-1};
std::atomic<unsigned> time_daemons_present{0};

namespace {

// The service is looked for this often: a started or stopped service shows
// within this time. A probe costs an open and a lock test of the channel.
constexpr auto kServiceProbePeriod = std::chrono::seconds(2);
// The time daemons every fifth probe: a look costs a systemctl run.
constexpr int kDaemonProbeEvery = 5;

std::atomic<bool> probe_started{false};

void probe_service_forever()
{
    for (int round = 0;; ++round) {
        int present = time_service_present();
        bool changed = time_service_presence.exchange(present) != present;
        if (round % kDaemonProbeEvery == 0) {
            unsigned daemons = time_daemons_running();
            changed = time_daemons_present.exchange(daemons) != daemons || changed;
            changed = kernel_pps_note(chrony_feed.load() ? kernel_pps_use_now() : KernelPpsState{}) || changed;
        }
        if (changed)
            receiver_view_changed();
        std::this_thread::sleep_for(kServiceProbePeriod);
    }
}

void start_service_probe()
{
    if (probe_started.exchange(true))
        return;
    try {
        std::thread(probe_service_forever).detach();
    } catch (const std::system_error&) {
        probe_started = false;
    }
}

// The source in force at start-up: the port, or gpsd (setting "gpsd_host").
void load_source_setting()
{
    std::string source;
    settings_load(settings_keys::gpsd_host, source);
    gpsd_link_choose(source);
}

}  // namespace

void receiver_init() { com_init(); }

int start_receiver_threads(int com_port, int baudrate)
{
    if (thread_analiz_id.load() == 0) {
        nmea_delay_load_settings();
        load_source_setting();
        thread_analiz_id = start_analiz_com_thread();
    }
    start_service_probe();
    return start_com_threads(com_port, baudrate);
}

void receiver_restart(int com_port, int baudrate) { com_reader_restart(com_port, baudrate); }

void receiver_use_gpsd(const std::string& source) { gpsd_link_choose(source); }

int receiver_running() { return com_read_running(); }

void receiver_check_pulse() { check_1PPS_request.store(1); }

void receiver_choose_pulse_line(bool cts)
{
    pps_use_cts.store(cts ? 1 : 0);
    buf_com_wake_analiz();
}

bool stop_receiver_threads(int timeout_ms) { return stop_com_read_thread(timeout_ms); }

int receiver_ring_read_view(uint8_t* destination, int max_count) { return buf_com_read_view(destination, max_count); }
RingOverrun receiver_ring_overrun_view() { return buf_com_overrun_view(); }
RingOverrun receiver_ring_overrun_analiz() { return buf_com_overrun_analiz(); }

void receiver_set_view_listener(void (*listener)()) { receiver_view_set_listener(listener); }
