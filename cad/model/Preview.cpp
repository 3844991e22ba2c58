#include "cad/model/Preview.h"

namespace cad {

const char* previewKindName(Preview::Kind kind) {
    switch (kind) {
    case Preview::Kind::Bmp: return "bmp";
    case Preview::Kind::Wmf: return "wmf";
    case Preview::Kind::Png: return "png";
    case Preview::Kind::None: break;
    }
    return "none";
}

}  // namespace cad
