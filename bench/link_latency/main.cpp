// Latency of the receiver link: a writer paces NMEA sentences into a pty at
// the baud rate, the real reader thread copies them into the ring, and a
// consumer waiting on the ring (at the analysis thread's priority) stamps each
// carriage return as it appears. The figure is that stamp minus the moment
// the carriage return was written.
//
// The floor is measured in the same run, in blocks taken in turn with the
// link's: the same sentences, paced the same, into a second pty read by a
// thread blocked in read() (pty_floor.h). The ratios say what the link adds.
//
// Usage: link_latency [--baud N] [--count N] [--gap-ms N]
//   a pair of sentences, then gap-ms of silence, so the reader also wakes
//   from its sleep as it does between seconds.
#include "bench/common/bench_common.h"
#include "common/program_options.h"
#include "platform/clock.h"
#include "platform/realtime.h"
#include "pty_floor.h"
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
constexpr int kBlockPairs = 25;  // pairs of sentences per block, link and floor in turn

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

// Stamps every carriage return when it can be taken from the ring; it stands
// in for the analysis thread, so it runs at its priority.
void consume(std::vector<int64_t>& arrivals, size_t expected, std::atomic<bool>& done)
{
    platform_thread_realtime();
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

std::vector<int64_t> differences(const std::vector<int64_t>& arrived, const std::vector<int64_t>& written)
{
    std::vector<int64_t> latency;
    for (size_t i = 0; i < arrived.size() && i < written.size(); ++i)
        latency.push_back(arrived[i] - written[i]);
    return latency;
}

}  // namespace

constexpr char kUsage[] =
    "Usage: link_latency [--baud B] [--count N] [--gap-ms MS]\n"
    "       link_latency --help | --version\n"
    "N sentences (default 1000) paced at B baud (default 4800) through a pty and\n"
    "the real reader, and the bare pty floor beside them.\n"
    "Its last line is one key=value line of the figures.\n";

int main(int argc, char** argv)
{
    if (answer_help_or_version(argc, argv, "link_latency", kUsage))
        return 0;
    Settings settings = parse(argc, argv);
    std::string folder = bench_temp_folder("satclock-link-latency");
    if (!folder.empty())
        bench_sandbox_environment(folder, "sclink_");
    int master = folder.empty() ? -1 : open_linked_pty(folder + "/ports");
    PtyFloor bare;
    if (master < 0 || !bare.ok()) {
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

    std::vector<int64_t> arrivals, written, floor_written;
    std::atomic<bool> done{false};
    std::thread consumer(consume, std::ref(arrivals), size_t(settings.count), std::ref(done));
    const std::string gga = "$GPGGA,123519.000,4807.0380,N,01131.0000,E,1,08,0.9,545.4,M,46.9,M,,*5A\r\n";
    const std::string rmc = "$GPRMC,123519.000,A,4807.0380,N,01131.0000,E,0.0,0.0,191218,,,A*6B\r\n";
    int64_t line_ns = platform_monotonic_ns();
    for (int i = 0; open_ok && i < settings.count; ++i) {
        bool floor_turn = (i / (2 * kBlockPairs)) % 2 == 1;
        std::vector<int64_t>& into = floor_turn ? floor_written : written;
        into.push_back(pty_send_paced(floor_turn ? bare.master() : master, i % 2 ? rmc : gga, settings.baud, line_ns));
        if (i % 2)
            line_ns += int64_t(settings.gap_ms) * 1000000;
    }
    std::vector<int64_t> floor_read = bare.cr_read_stamps(floor_written.size(), 1000);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    done = true;
    consumer.join();
    stop_com_read_thread();
    close(master);
    std::filesystem::remove_all(folder);
    dup2(figures, 1);

    if (!open_ok || written.empty() || arrivals.size() != written.size() || floor_read.size() != floor_written.size()) {
        std::fprintf(stderr, "link_latency: %zu sentences written, %zu arrived; floor %zu written, %zu read\n",
                     written.size(), arrivals.size(), floor_written.size(), floor_read.size());
        return 1;
    }
    std::vector<int64_t> latency = differences(arrivals, written);
    std::vector<int64_t> floor = differences(floor_read, floor_written);
    double p50 = percentile_ms(latency, 0.5), p99 = percentile_ms(latency, 0.99);
    double floor_p50 = percentile_ms(floor, 0.5), floor_p99 = percentile_ms(floor, 0.99);
    std::printf("sentences=%zu floor_sentences=%zu baud=%d gap_ms=%d\n", latency.size(), floor.size(), settings.baud,
                settings.gap_ms);
    std::printf("p50_ms=%.3f p99_ms=%.3f max_ms=%.3f floor_p50_ms=%.3f floor_p99_ms=%.3f floor_ratio_p50=%.2f "
                "floor_ratio_p99=%.2f\n",
                p50, p99, percentile_ms(latency, 1.0), floor_p50, floor_p99, p50 / floor_p50, p99 / floor_p99);
    return 0;
}
