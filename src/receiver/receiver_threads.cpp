// Start and stop of the receiver threads.
#include "src/receiver/receiver_threads.h"

#include "src/correction/analiz.h"
#include "src/correction/nmea_delay.h"
#include "src/gps/com_reader.h"

std::atomic<int> thread_analiz_id{0};

int start_receiver_threads(int com_port, int baudrate)
{
    if (thread_analiz_id.load() == 0) {
        nmea_delay_load_settings();
        thread_analiz_id = start_analiz_com_thread();
    }
    return start_com_threads(com_port, baudrate);
}

bool stop_receiver_threads(int timeout_ms) { return stop_com_read_thread(timeout_ms); }
