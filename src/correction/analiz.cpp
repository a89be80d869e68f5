// Placeholder analysis thread: it only drains its cursor of the receive ring
// until the line assembly and correction engine take its place.
#include "src/correction/analiz.h"

#include "src/gps/com_reader.h"

#include <cstdint>
#include <system_error>
#include <thread>

void analiz_com_thread_func()
{
    uint8_t bytes[256];
    for (;;) {
        buf_com_wait_data(100);
        while (buf_com_read_analiz(bytes, sizeof bytes) > 0) {
        }
    }
}

int start_analiz_com_thread()
{
    try {
        std::thread(analiz_com_thread_func).detach();
    } catch (const std::system_error&) {
        return 0;
    }
    return 1;
}
