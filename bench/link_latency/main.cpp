// Latency of the receiver link: a writer paces NMEA sentences into a pty at
// the baud rate, the real reader thread copies them into the ring, and a
// consumer waiting on the ring stamps each carriage return as it appears.
// The figure is that stamp minus the moment the carriage return was written.
//
// Usage: link_latency [--baud N] [--count N] [--gap-ms N]
//   a pair of sentences, then gap-ms of silence, so the reader also wakes
//   from its empty-read pause as it does between seconds.
#include "platform/clock.h"
#include "src/gps/com_reader.h"
#include "src/gps/serial.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kPort = 1;

struct Settings {
    int baud = 4800;
    int count = 1000;
    int gap_ms = 120;
};

Settings parse(int argc, char** argv)
{
    Settings s;
    for (int i = 1; i + 1 < argc; i += 2) {
        int value = std::atoi(argv[i + 1]);
        if (!std::strcmp(argv[i], "--baud"))
            s.baud = value;
        else if (!std::strcmp(argv[i], "--count"))
            s.count = value;
        else if (!std::strcmp(argv[i], "--gap-ms"))
            s.gap_ms = value;
    }
    return s;
}

void sleep_until(int64_t monotonic_ns)
{
    timespec at {static_cast<time_t>(monotonic_ns / 1000000000), static_cast<long>(monotonic_ns % 1000000000)};
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &at, nullptr) == EINTR) {
    }
}

// Writes one sentence a byte at a time at the baud rate; returns the
// moment the write of its carriage return returned.
int64_t send_paced(int master, const std::string& sentence, int baud, int64_t& line_ns)
{
    const int64_t byte_ns = 10LL * 1000000000 / baud;
    int64_t cr_ns = 0;
    for (char byte : sentence) {
        sleep_until(line_ns);
        if (write(master, &byte, 1) != 1)
            std::perror("link_latency: write");
        if (byte == '\r')
            cr_ns = platform_monotonic_ns();
        line_ns += byte_ns;
    }
    return cr_ns;
}

// Stamps every carriage return when it can be taken from the ring.
void consume(std::vector<int64_t>& arrivals, size_t expected, std::atomic<bool>& done)
{
    uint8_t bytes[512];
    while (arrivals.size() < expected && !done) {
        buf_com_wait_data(100);
        int n = buf_com_read_analiz(bytes, sizeof bytes);
        int64_t now = platform_monotonic_ns();
        for (int i = 0; i < n; ++i)
            if (bytes[i] == '\r')
                arrivals.push_back(now);
    }
}

int open_linked_pty(const std::string& folder)
{
    int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || grantpt(master) || unlockpt(master))
        return -1;
    std::filesystem::create_directories(folder);
    symlink(ptsname(master), (folder + "/COM" + std::to_string(kPort)).c_str());
    return master;
}

// Waits for the receiver commands, which show the reader has the port open.
bool wait_port_open(int master)
{
    size_t got = 0;
    for (int tries = 0; tries < 300 && got < 50; ++tries) {
        pollfd in {master, POLLIN, 0};
        if (poll(&in, 1, 10) > 0) {
            char bytes[128];
            ssize_t n = read(master, bytes, sizeof bytes);
            if (n > 0)
                got += size_t(n);
        }
    }
    return got >= 50;
}

double percentile_ms(std::vector<int64_t> sorted, double p)
{
    size_t index = static_cast<size_t>(p * double(sorted.size()) + 0.999999);
    index = std::clamp<size_t>(index, 1, sorted.size()) - 1;
    return double(sorted[index]) / 1e6;
}

}  // namespace

int main(int argc, char** argv)
{
    Settings settings = parse(argc, argv);
    std::string folder = std::filesystem::temp_directory_path() / ("satclock-link-latency." + std::to_string(getpid()));
    setenv("SATCLOCK_PORT_DIR", (folder + "/ports").c_str(), 1);
    setenv("SATCLOCK_CLOCK_FILE", (folder + "/clock").c_str(), 1);
    int master = open_linked_pty(folder + "/ports");
    if (master < 0) {
        std::perror("link_latency: pty");
        return 1;
    }
    // The reader's diagnostic lines would mix with the figures.
    int figures = dup(1);
    int quiet = open("/dev/null", O_WRONLY);
    dup2(quiet, 1);

    com_init();
    start_com_threads(kPort, settings.baud);
    bool open_ok = wait_port_open(master);

    std::vector<int64_t> arrivals, written;
    std::atomic<bool> done{false};
    std::thread consumer(consume, std::ref(arrivals), size_t(settings.count), std::ref(done));
    const std::string gga = "$GPGGA,123519.000,4807.0380,N,01131.0000,E,1,08,0.9,545.4,M,46.9,M,,*5A\r\n";
    const std::string rmc = "$GPRMC,123519.000,A,4807.0380,N,01131.0000,E,0.0,0.0,191218,,,A*6B\r\n";
    int64_t line_ns = platform_monotonic_ns();
    for (int i = 0; open_ok && i < settings.count; ++i) {
        written.push_back(send_paced(master, i % 2 ? rmc : gga, settings.baud, line_ns));
        if (i % 2)
            line_ns += int64_t(settings.gap_ms) * 1000000;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    done = true;
    consumer.join();
    stop_com_read_thread();
    close(master);
    std::filesystem::remove_all(folder);
    dup2(figures, 1);

    size_t n = std::min(arrivals.size(), written.size());
    if (!open_ok || n == 0 || arrivals.size() != written.size()) {
        std::fprintf(stderr, "link_latency: %zu sentences written, %zu arrived\n", written.size(), arrivals.size());
        return 1;
    }
    std::vector<int64_t> latency(n);
    for (size_t i = 0; i < n; ++i)
        latency[i] = arrivals[i] - written[i];
    std::sort(latency.begin(), latency.end());
    std::printf("sentences=%zu baud=%d gap_ms=%d\n", n, settings.baud, settings.gap_ms);
    std::printf("p50_ms=%.3f p99_ms=%.3f max_ms=%.3f\n", percentile_ms(latency, 0.5), percentile_ms(latency, 0.99),
                double(latency.back()) / 1e6);
    return 0;
}
