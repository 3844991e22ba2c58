#include "tools/convert/QtPictures.h"

#include <dlfcn.h>
#include <filesystem>
#include <mutex>

namespace lumicade::convert {

// The module is looked for where it is installed beside the running program
// (bin/../lib/lumicade, whatever the prefix), then where it was built.
PaintWithQt qtPainter(std::string* why) {
    static std::once_flag once;
    static PaintWithQt entry = nullptr;
    static std::string failure;
    std::call_once(once, [] {
        std::error_code error;
        const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
        const std::string installed =
            error ? std::string() : (program.parent_path().parent_path() / LUMICADE_QT_MODULE_INSTALLED).string();
        for (const std::string& file : {installed, std::string(LUMICADE_QT_MODULE_BUILT)}) {
            if (file.empty()) continue;
            void* module = ::dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
            if (!module) {
                if (failure.empty()) failure = ::dlerror();
                continue;
            }
            entry = reinterpret_cast<PaintWithQt>(::dlsym(module, kPaintWithQtSymbol));
            if (entry) return;
            failure = file + " has no " + kPaintWithQtSymbol;
        }
    });
    if (!entry && why) *why = failure;
    return entry;
}

}  // namespace lumicade::convert
