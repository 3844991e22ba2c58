#include "tools/convert/PaintWithoutQt.h"

#include <algorithm>
#include <stdexcept>

#include "cad/render/Frontend.h"
#include "cad/render/QtParts.h"
#include "convert/JpegFile.h"

namespace lumicade::convert {

bool paintWithoutQt(const cad::Drawing& drawing, const cad::render::RenderOptions& options, bool blackBackground,
                    int quality, std::vector<unsigned char>& bytes, std::string* simplified,
                    std::vector<std::string>* problems) {
    using namespace cad::render;
    try {
        const Scene scene = buildScene(drawing, options);
        (void)scene;
        (void)blackBackground;
        (void)quality;
        (void)bytes;
        (void)simplified;
        (void)problems;
        return false;
    } catch (const NeedsQt&) {
        return false;
    }
}

}  // namespace lumicade::convert
