#pragma once
// The example and sample drawings beside the project, DXF and DWG, in name
// order, and the large drawings.
#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

inline std::vector<std::filesystem::path> exampleDrawings() {
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(LUMICADE_DRAWINGS_DIR)) {
        const auto name = entry.path().filename().string();
        const auto ext = entry.path().extension();
        if ((ext == ".dxf" || ext == ".dwg") && (name.rfind("example_", 0) == 0 || name.rfind("sample_", 0) == 0))
            files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

// The large drawings (a drawing of many dynamic blocks), in name order.
inline std::vector<std::filesystem::path> largeDrawings() {
    std::vector<std::filesystem::path> files;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(LUMICADE_LARGE_DRAWINGS_DIR, error)) {
        const auto ext = entry.path().extension();
        if (ext == ".dxf" || ext == ".dwg") files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}
