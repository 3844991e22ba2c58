#include "tools/convert/QtPictures.h"

#include <mutex>

#include "cad/render/Modules.h"

namespace lumicade::convert {

namespace {

struct Module {
    WriteWithQt write = nullptr;
    QtDecoder decoder = nullptr;
    std::string failure;
};

// Where the module is installed, beside the running program, or else built.
const Module& module() {
    static std::once_flag once;
    static Module m;
    std::call_once(once, [] {
        m.write = reinterpret_cast<WriteWithQt>(cad::render::moduleEntry(
            LUMICADE_QT_MODULE_INSTALLED, LUMICADE_QT_MODULE_BUILT, kWriteWithQtSymbol, &m.failure));
        if (m.write)
            m.decoder = reinterpret_cast<QtDecoder>(cad::render::moduleEntry(
                LUMICADE_QT_MODULE_INSTALLED, LUMICADE_QT_MODULE_BUILT, kQtDecoderSymbol, &m.failure));
    });
    return m;
}

class ModuleDecoder : public cad::render::PictureDecoder {
public:
    cad::render::DecodedPicture image(const std::string& file, const std::string& name,
                                      const std::string& suffix) override {
        if (cad::render::PictureDecoder* qt = decoder()) return qt->image(file, name, suffix);
        return failed("picture " + name);
    }
    cad::render::DecodedPicture pdfPage(const std::string& file, const std::string& name, const std::string& pageName,
                                        double maxPixels) override {
        if (cad::render::PictureDecoder* qt = decoder()) return qt->pdfPage(file, name, pageName, maxPixels);
        return failed("PDF " + name);
    }

private:
    static cad::render::PictureDecoder* decoder() {
        const Module& m = module();
        return m.decoder ? m.decoder() : nullptr;
    }
    static cad::render::DecodedPicture failed(const std::string& what) {
        cad::render::DecodedPicture out;
        out.problem = what + " is not drawn: the Qt module cannot be loaded (" + module().failure + ")";
        return out;
    }
};

}  // namespace

WriteWithQt qtWriter(std::string* why) {
    const Module& m = module();
    if (!m.write && why) *why = m.failure;
    return m.write;
}

std::shared_ptr<cad::render::PictureDecoder> moduleDecoder() { return std::make_shared<ModuleDecoder>(); }

}  // namespace lumicade::convert
