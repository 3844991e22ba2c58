#pragma once
// Parts of the programs that live in modules of their own, loaded the first
// time they are needed rather than at every start.
#include <string>

namespace cad::render {

// The entry point symbol of a module, looked for where the module is
// installed beside the running program (installed is relative to the
// prefix: bin/../installed, whatever the prefix), then where it was built.
// Null, with *why set, when neither loads or has the entry point.
void* moduleEntry(const std::string& installed, const std::string& built, const char* symbol, std::string* why);

}  // namespace cad::render
