// lumicade-dump: what the drawing engine reads from a DWG or DXF file.
//
//   lumicade-dump --counts FILE    entity kinds of model and paper space, "KIND COUNT"
//   lumicade-dump --json FILE      the whole drawing model as JSON
//   lumicade-dump --skipped FILE   what the reader met but did not decode
//   lumicade-dump --version
//
// Exit status 0 on success, 1 when the file cannot be read (one line on
// standard error), 2 for a wrong command line.
#include <cstdio>
#include <iostream>
#include <map>
#include <string>

#include "cad/DrawingFile.h"
#include "tools/dump/ModelJson.h"

namespace {

constexpr const char* kUsage =
    "Usage: lumicade-dump --counts|--json|--skipped FILE\n"
    "Shows what the drawing engine reads from a CAD drawing (DWG, DXF).\n"
    "\n"
    "  --counts     entity kinds of model and paper space, one \"KIND COUNT\" a line\n"
    "  --json       the whole drawing model as JSON\n"
    "  --skipped    what the reader met but did not decode, and its warnings\n"
    "  -h, --help   show this text\n"
    "  --version    show the version\n";

int usage() {
    std::cerr << kUsage;
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && (std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h")) {
        std::cout << kUsage;
        return 0;
    }
    if (argc == 2 && std::string(argv[1]) == "--version") {
        std::cout << "lumicade-dump " << LUMICADE_VERSION << "\n";
        return 0;
    }
    if (argc != 3) return usage();
    std::string mode = argv[1], path = argv[2];
    if (mode != "--counts" && mode != "--json" && mode != "--skipped") return usage();

    cad::Drawing drawing;
    try {
        drawing = cad::readDrawingFile(path);
    } catch (const cad::ReadError& e) {
        std::cerr << path << ": " << e.what() << "\n";
        return 1;
    } catch (const std::bad_alloc&) {
        std::cerr << path << ": out of memory while reading\n";
        return 1;
    }

    if (mode == "--counts") {
        for (const auto& [kind, count] : cad::countEntityKinds(drawing)) std::cout << kind << ' ' << count << '\n';
    } else if (mode == "--skipped") {
        for (const auto& [what, count] : drawing.skipped) std::cout << what << ' ' << count << '\n';
        for (const std::string& w : drawing.warnings) std::cout << "warning: " << w << '\n';
    } else {
        lumicade::writeModelJson(std::cout, drawing);
    }
    std::cout.flush();
    return std::cout ? 0 : 1;
}
