// lumicade-thumbnail: the small picture of a drawing that file managers show.
//
//   lumicade-thumbnail [-s SIZE] INPUT OUTPUT
//
// Writes OUTPUT as a PNG of at most SIZE pixels along each side. Exit status
// 0 on success, 1 when the drawing cannot be shown or the picture not
// written (nothing is written then), 2 for a usage error.
#include "cad/render/QtPictureDecoder.h"
#include <QString>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "cad/model/ReplacingFile.h"
#include "tools/thumbnail/Thumbnail.h"

namespace {

constexpr const char* kUsage =
    "Usage: lumicade-thumbnail [-s SIZE] INPUT OUTPUT\n"
    "Writes a PNG thumbnail of a CAD drawing (DWG, DXF) for file managers.\n"
    "Uses the preview picture stored in a DWG file when it is large enough,\n"
    "and draws the drawing otherwise.\n"
    "\n"
    "  -s, --size SIZE  largest width and height in pixels, 8..4096 (default 256)\n"
    "  -h, --help       show this text\n"
    "      --version    show the version\n";

constexpr int kSmallest = 8, kLargest = 4096;

int usage(const std::string& problem) {
    if (!problem.empty()) std::fprintf(stderr, "lumicade-thumbnail: %s\n", problem.c_str());
    std::fputs(kUsage, problem.empty() ? stdout : stderr);
    return problem.empty() ? 0 : 2;
}

bool parseSize(const char* text, int& size) {
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || value < kSmallest || value > kLargest) return false;
    size = static_cast<int>(value);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    cad::render::installPictureDecoder(cad::render::qtPictureDecoder());
    int size = 256;
    const char* paths[2] = {nullptr, nullptr};
    int pathCount = 0;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (!optionsEnded && arg == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && (arg == "-h" || arg == "--help")) {
            return usage("");
        } else if (!optionsEnded && arg == "--version") {
            std::printf("lumicade-thumbnail %s\n", LUMICADE_VERSION);
            return 0;
        } else if (!optionsEnded && (arg == "-s" || arg == "--size" || arg.rfind("--size=", 0) == 0)) {
            const char* value = nullptr;
            if (arg.rfind("--size=", 0) == 0) value = argv[i] + 7;
            else if (i + 1 < argc) value = argv[++i];
            if (!value || !parseSize(value, size))
                return usage("-s wants a size in pixels from " + std::to_string(kSmallest) + " to " +
                             std::to_string(kLargest));
        } else if (!optionsEnded && arg.size() > 1 && arg[0] == '-') {
            return usage("unknown option " + arg);
        } else if (pathCount < 2) {
            paths[pathCount++] = argv[i];
        } else {
            return usage("one INPUT and one OUTPUT, please");
        }
    }
    if (pathCount != 2) return usage("INPUT and OUTPUT are needed");

    // A file manager that gives up on a thumbnail stops us with a signal:
    // the picture half written goes with us. What a power cut left beside
    // the output a day or more ago goes too.
    cad::ReplacingFile::removeTemporaryFilesOnSignals();
    const std::string outputFolder = std::filesystem::path(paths[1]).parent_path().native();
    cad::ReplacingFile::removeStale(outputFolder, 24L * 60 * 60);
    const QString input = QString::fromLocal8Bit(paths[0]), output = QString::fromLocal8Bit(paths[1]);
    const lumicade::Thumbnail thumbnail = lumicade::MakeThumbnail(input, size);
    QString error = thumbnail.error;
    if (thumbnail.image.isNull() || !lumicade::WriteThumbnailPng(thumbnail.image, output, &error)) {
        std::fprintf(stderr, "lumicade-thumbnail: %s\n", error.toLocal8Bit().constData());
        return 1;
    }
    return 0;
}
