// Splitting a path's text: within platform/ only.
#pragma once

#include <string>
#include <vector>

namespace path_text {

// The folder part ("." for a bare name, "/" for a name in the root).
inline std::string folder_part(const std::string& path)
{
    size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

inline std::string name_part(const std::string& path)
{
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The non-empty parts between slashes.
inline std::vector<std::string> parts_of(const std::string& relative)
{
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= relative.size()) {
        size_t slash = relative.find('/', start);
        if (slash == std::string::npos)
            slash = relative.size();
        if (slash > start)
            parts.push_back(relative.substr(start, slash - start));
        start = slash + 1;
    }
    return parts;
}

}  // namespace path_text
