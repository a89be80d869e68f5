// Every product file includes only headers of its own folder and of the
// layers below it: platform, common, the receiver side (gps, settings,
// correction, receiver), the window, the copy without a window, then the
// programs' entries on top. Above the receiver layer nothing reaches past
// it into the receiver link.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Folder (relative to the sources) and its layer; a higher layer may include a lower one.
const std::map<std::string, int> kLayers = {
    {"platform", 0},        {"common", 1},        {"src/pictures", 1},
    {"src/gps", 2},         {"src/settings", 3},  {"src/correction", 4},
    {"src/receiver", 5},    {"src/ui", 6},        {"src/headless", 7},
    {"src/program", 8},     {"clockkeeper", 8},   {"satsetup", 8},
    {"uninstall", 8},       {"tools/gpssim", 8},  {"tools/nmea-decode", 8},
};

// Folders that reach a lower one only through a door between them: the
// window, the copy without a window and the program's entry reach the
// receiver link (src/gps) only through the receiver layer (src/receiver).
const std::multimap<std::string, std::string> kPastTheDoor = {
    {"src/ui", "src/gps"}, {"src/headless", "src/gps"}, {"src/program", "src/gps"}};

bool past_the_door(const std::string& folder, const std::string& target)
{
    auto [first, last] = kPastTheDoor.equal_range(folder);
    return std::any_of(first, last, [&](const auto& door) { return door.second == target; });
}

// The folder of a header named relative to the sources ("src/gps/nmea.h" ->
// "src/gps"), or empty when the header is no project header.
std::string folder_of(const std::string& include)
{
    std::string best;
    for (const auto& [folder, layer] : kLayers)
        if (include.rfind(folder + "/", 0) == 0 && folder.size() > best.size())
            best = folder;
    return best;
}

std::vector<std::string> forbidden_includes(const fs::path& top, const std::string& folder, int layer)
{
    static const std::regex include_line(R"(^\s*#\s*include\s+"([^"]+)\")");
    std::vector<std::string> found;
    const fs::path dir = top / folder;
    if (!fs::is_directory(dir))
        return found;
    for (const auto& entry : fs::directory_iterator(dir)) {
        const auto ext = entry.path().extension();
        if (ext != ".cpp" && ext != ".h")
            continue;
        std::ifstream in(entry.path());
        std::string line;
        for (int number = 1; std::getline(in, line); ++number) {
            std::smatch m;
            if (!std::regex_search(line, m, include_line))
                continue;
            const std::string target = folder_of(m[1]);
            if (target.empty() || target == folder)
                continue;
            if (kLayers.at(target) >= layer || past_the_door(folder, target))
                found.push_back(folder + "/" + entry.path().filename().string() + ":" +
                                std::to_string(number) + " includes " + m[1].str());
        }
    }
    return found;
}

TEST(Layering, NoFileIncludesAHeaderOfALayerAboveOrBesideOrPastADoor)
{
    const char* source = std::getenv("SATCLOCK_SOURCE_DIR");
    ASSERT_NE(source, nullptr);
    for (const auto& [folder, layer] : kLayers)
        for (const auto& line : forbidden_includes(source, folder, layer))
            ADD_FAILURE() << line;
    EXPECT_TRUE(fs::is_directory(fs::path(source) / "src/gps"));
}

}  // namespace
