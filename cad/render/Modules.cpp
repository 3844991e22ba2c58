#include "cad/render/Modules.h"

#include <dlfcn.h>
#include <filesystem>

namespace cad::render {

void* moduleEntry(const std::string& installed, const std::string& built, const char* symbol, std::string* why) {
    std::error_code error;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    const std::string beside = error ? std::string() : (program.parent_path().parent_path() / installed).string();
    std::string failure;
    for (const std::string& file : {beside, built}) {
        if (file.empty()) continue;
        void* module = ::dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!module) {
            if (failure.empty()) failure = ::dlerror();
            continue;
        }
        if (void* entry = ::dlsym(module, symbol)) return entry;
        failure = file + " has no " + symbol;
    }
    if (why) *why = failure;
    return nullptr;
}

}  // namespace cad::render
