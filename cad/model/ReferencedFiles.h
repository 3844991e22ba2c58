#pragma once
// Where the files a drawing names are found: external references, raster
// images, underlays. The CAD application looks for them in this order, and
// so do we:
//   1. the path as stored, when it is a full path that exists here;
//   2. the stored path taken relative to the folder of the drawing that
//      names it ("\" and "/" both separate folders);
//   3. the file name alone in that folder (the names of files copied from
//      elsewhere match without regard to case, as on the system that wrote
//      them).
#include <cstdint>
#include <string>

namespace cad {

// The path of the file found, or "" when none of the places holds it.
// hostPath is the drawing that names the file ("" when it was not read
// from a file: then only a full stored path can be found).
std::string findReferencedFile(const std::string& storedPath, const std::string& hostPath);

// The stored path with "\" turned into "/", for messages and look-ups.
std::string portablePath(const std::string& storedPath);

// Which of the files found may be drawn. A drawing from elsewhere may name
// any file of this machine ("../../../home/x/secret.dwg", "/etc/..."), and
// the CAD application would draw it: Any does the same, Below only files in
// the folder tree of the drawing being drawn (links followed, so a link
// cannot lead out), None no file but the drawing itself.
enum class ReferenceScope { Any, Below, None };
struct ReferenceRules {
    ReferenceScope scope = ReferenceScope::Any;
    std::string root;  // Below: the folder of the drawing being drawn
    // Bytes read from all external references of one drawing together:
    // twenty references to files of 900 MB would otherwise take minutes.
    std::uint64_t byteBudget = 1ULL << 30;
};

// Why the rules refuse the file found at path; "" when they allow it.
std::string refusedReference(const ReferenceRules& rules, const std::string& path);

}  // namespace cad
