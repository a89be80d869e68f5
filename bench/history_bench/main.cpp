// The offset history at its bounds (a year of hourly corrections, a day of
// minutes): the size of its file, and how long the writer thread takes to
// replace it and a start takes to read it back. Run by hand:
//   build/bin/history_bench [ROUNDS]
#include "bench/common/bench_common.h"
#include "common/program_options.h"
#include "src/correction/offset_history.h"

#include <chrono>
#include <cstdio>
#include <string>
#include <unistd.h>

namespace {

constexpr int64_t kMs = 1000000;
constexpr int64_t kNow = 1954000800000 * kMs;  // 2031-12-02T18:00:00Z

std::vector<HistoryRecord> full_history()
{
    std::vector<HistoryRecord> records;
    for (size_t i = kHistoryMaxCorrections; i > 0; --i)
        records.push_back({HistoryKind::correction, kNow - int64_t(i) * 3600000 * kMs, -4352123456 + int64_t(i),
                           OffsetSource::nmea_delay, 3});
    for (size_t i = kHistoryMaxLive; i > 0; --i)
        records.push_back({HistoryKind::live, kNow - int64_t(i) * 60000 * kMs, 123456 * int64_t(i), OffsetSource::pps, 1});
    offset_history_trim(records, kNow);
    return records;
}

double ms_since(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

constexpr char kUsage[] =
    "Usage: history_bench [ROUNDS]\n"
    "       history_bench --help | --version\n"
    "The offset history file at its bounds written and read ROUNDS times\n"
    "(default 50).\n"
    "Its last line is one key=value line of the figures.\n";

int main(int argc, char** argv)
{
    if (answer_help_or_version(argc, argv, "history_bench", kUsage))
        return 0;
    int rounds = bench_count_arg(argc, argv, 50);
    std::string folder = bench_temp_folder("history_bench");
    if (folder.empty())
        return 1;
    std::string path = folder + "/offset_history.txt";
    std::vector<HistoryRecord> records = full_history();
    double save_ms = 1e9, load_ms = 1e9;
    size_t loaded = 0;
    for (int round = 0; round < rounds; ++round) {
        auto start = std::chrono::steady_clock::now();
        if (offset_history_save(path, records, kNow) != 0)
            return 1;
        save_ms = std::min(save_ms, ms_since(start));
        start = std::chrono::steady_clock::now();
        loaded = offset_history_load(path, kNow).records.size();
        load_ms = std::min(load_ms, ms_since(start));
    }
    size_t bytes = offset_history_text(records).size();
    unlink(path.c_str());
    rmdir(folder.c_str());
    std::printf("records %zu (kept %zu after the bounds), file %zu bytes, best of %d rounds\n", loaded,
                records.size(), bytes, rounds);
    std::printf("history_records=%zu history_file_bytes=%zu history_save_ms=%.2f history_load_ms=%.2f\n", loaded,
                bytes, save_ms, load_ms);
    return 0;
}
