// Raster images and underlays: the file found beside the drawing, weighed,
// decoded once per process by the program's picture decoder, adjusted as the
// entity asks and placed on its frame.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <list>
#include <memory>
#include <mutex>

#include "cad/model/ReadableFile.h"
#include "cad/model/ReferencedFiles.h"
#include "cad/render/PictureDecoder.h"
#include "cad/render/SceneBuilder.h"

namespace cad::render {

namespace {
std::mutex decoderMutex;
std::shared_ptr<PictureDecoder> installedDecoder;
}  // namespace

void installPictureDecoder(std::shared_ptr<PictureDecoder> decoder) {
    const std::lock_guard<std::mutex> lock(decoderMutex);
    installedDecoder = std::move(decoder);
}

std::shared_ptr<PictureDecoder> pictureDecoder() {
    const std::lock_guard<std::mutex> lock(decoderMutex);
    return installedDecoder;
}

}  // namespace cad::render

namespace cad::render::frontend {

namespace {

constexpr std::uint64_t kMaxFileBytes = 1ULL << 30;
// Decoded pictures kept for the next entity or drawing that shows them.
constexpr std::size_t kCacheBytes = 512ULL * 1024 * 1024;
// PDF pages are drawn at most this many pixels along their long side.
constexpr double kMaxPagePixels = 4096;

std::size_t bytesOf(const DecodedPicture& p) { return p.pixels ? p.pixels->argb.size() * 4 : 0; }

// Decoded files by path, page, size and modification time; shared by the
// threads of a batch run.
class PictureCache {
public:
    static PictureCache& instance() {
        static PictureCache cache;
        return cache;
    }

    template <typename Decode>
    DecodedPicture get(const std::string& path, const std::string& page, Decode decode) {
        std::error_code error;
        const auto size = std::filesystem::file_size(path, error);
        const auto time = std::filesystem::last_write_time(path, error);
        const std::string key = path + '\n' + page + '\n' + std::to_string(time.time_since_epoch().count()) + '\n' +
                                std::to_string(error ? 0 : size);
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            for (auto it = entries_.begin(); it != entries_.end(); ++it)
                if (it->first == key) {
                    entries_.splice(entries_.begin(), entries_, it);
                    return it->second;
                }
        }
        DecodedPicture decoded = decode();
        const std::lock_guard<std::mutex> lock(mutex_);
        entries_.emplace_front(key, decoded);
        std::size_t bytes = 0;
        for (auto it = entries_.begin(); it != entries_.end();) {
            bytes += bytesOf(it->second);
            if (bytes > kCacheBytes && it != entries_.begin()) it = entries_.erase(it);
            else ++it;
        }
        return decoded;
    }

private:
    std::mutex mutex_;
    std::list<std::pair<std::string, DecodedPicture>> entries_;
};

std::string fileNameOf(const std::string& path) { return std::filesystem::path(path).filename().string(); }

DecodedPicture loadRaster(const std::string& path) {
    DecodedPicture out;
    const std::string name = fileNameOf(path);
    ReadableFile file;
    if (!file.open(path, kMaxFileBytes)) {
        out.problem = "picture " + name + " cannot be read: " + file.problem();
        return out;
    }
    const auto decoder = pictureDecoder();
    if (!decoder) {
        out.problem = "picture " + name + " is not drawn: this program decodes no pictures";
        return out;
    }
    std::string suffix = std::filesystem::path(path).extension().string();
    if (!suffix.empty()) suffix.erase(0, 1);
    std::transform(suffix.begin(), suffix.end(), suffix.begin(), [](unsigned char c) { return std::tolower(c); });
    // The decoder opens the file already weighed, not the name again.
    return decoder->image(file.descriptorPath(), name, suffix);
}

DecodedPicture loadPdfPage(const std::string& path, const std::string& pageName) {
    DecodedPicture out;
    const std::string name = fileNameOf(path);
    ReadableFile file;
    if (!file.open(path, kMaxFileBytes)) {
        out.problem = "PDF " + name + " cannot be read: " + file.problem();
        return out;
    }
    const auto decoder = pictureDecoder();
    if (!decoder) {
        out.problem = "PDF " + name + " is not drawn: this program draws no PDF pages";
        return out;
    }
    return decoder->pdfPage(file.descriptorPath(), name, pageName, kMaxPagePixels);
}

std::uint32_t red(std::uint32_t p) { return (p >> 16) & 0xFF; }
std::uint32_t green(std::uint32_t p) { return (p >> 8) & 0xFF; }
std::uint32_t blue(std::uint32_t p) { return p & 0xFF; }

// Brightness and contrast (0..100, 50 leaves the picture as it is) and fade
// (0..100 towards the background), as the CAD application adjusts images.
void adjust(Pixels& image, int brightness, int contrast, int fade, std::uint32_t background) {
    brightness = std::clamp(brightness, 0, 100);
    contrast = std::clamp(contrast, 0, 100);
    fade = std::clamp(fade, 0, 100);
    if (brightness == 50 && contrast == 50 && fade == 0) return;
    const double gain = contrast / 50.0, offset = (brightness - 50) * 2.55, f = fade / 100.0;
    std::uint32_t table[3][256];
    const std::uint32_t bg[3] = {red(background), green(background), blue(background)};
    for (int c = 0; c < 3; ++c)
        for (int v = 0; v < 256; ++v) {
            double x = (v - 127.5) * gain + 127.5 + offset;
            x = std::clamp(x, 0.0, 255.0);
            x += (bg[c] - x) * f;
            table[c][v] = static_cast<std::uint32_t>(std::lround(x));
        }
    for (std::uint32_t& p : image.argb)
        p = (p & 0xFF000000u) | table[0][red(p)] << 16 | table[1][green(p)] << 8 | table[2][blue(p)];
}

// Shades of grey, weighted as the eye weighs the three colours.
void toGrey(Pixels& image) {
    for (std::uint32_t& p : image.argb) {
        const std::uint32_t g = (red(p) * 11 + green(p) * 16 + blue(p) * 5) / 32;
        p = (p & 0xFF000000u) | g << 16 | g << 8 | g;
    }
}

// A bitonal picture shows its ink in the entity's colour; with transparency
// on, the paper lets what lies below show through.
void inkOnPaper(Pixels& image, std::uint32_t ink, std::uint32_t paper, bool transparent) {
    for (std::uint32_t& p : image.argb)
        p = (p & 0x00FFFFFFu) == 0 ? (ink | 0xFF000000u) : transparent ? 0u : (paper | 0xFF000000u);
}

// The pixels as the scene keeps them: premultiplied, so that the painters
// blend them without dividing by alpha again for each pixel.
void premultiply(Pixels& image) {
    for (std::uint32_t& p : image.argb) {
        const std::uint32_t a = p >> 24;
        if (a == 255) continue;
        auto times = [a](std::uint32_t c) { return (c * a + 127) / 255; };
        p = a << 24 | times(red(p)) << 16 | times(green(p)) << 8 | times(blue(p));
    }
}

// A copy of the decoded pixels, shown as the entity asks.
std::shared_ptr<Pixels> copyOf(const DecodedPicture& decoded) { return std::make_shared<Pixels>(*decoded.pixels); }

Path outlinePath(const std::vector<Vec3>& outline, const Xform& xf) {
    std::vector<QPointF> poly;
    for (const Vec3& p : outline) {
        const Vec2 q = xf.apply2(p);
        if (std::isfinite(q.x) && std::isfinite(q.y)) poly.emplace_back(q.x, q.y);
    }
    Path path;
    if (poly.size() >= 3) {
        path.addPolygon(poly);
        path.closeSubpath();
    }
    return path;
}

// Plane point (x, y) = origin + ux * x + vy * y, seen through xf, as a 2D map.
Affine planeMap(Vec3 origin, Vec3 ux, Vec3 vy, const Xform& xf) {
    const Vec2 o = xf.apply2(origin), a = xf.apply2(origin + ux), b = xf.apply2(origin + vy);
    return Affine(a.x - o.x, a.y - o.y, b.x - o.x, b.y - o.y, o.x, o.y);
}

// Inches of a page to the drawing's units.
double inchesToUnits(int insUnits) {
    switch (insUnits) {
    case 2: return 1.0 / 12;   // feet
    case 4: return 25.4;       // millimetres
    case 5: return 2.54;       // centimetres
    case 6: return 0.0254;     // metres
    case 14: return 0.254;     // decimetres
    default: return 1.0;
    }
}

}  // namespace

void Builder::picture(const ImageData& d, const Look& l, const Xform& xf, const std::vector<Vec3>& clipOutline) {
    if (d.displayFlags != 0 && !(d.displayFlags & 1)) return;  // switched off: the frame alone
    if (d.filePath.empty() || !(d.size.x > 0) || !(d.size.y > 0)) return;
    const std::string found = findReferencedFile(d.filePath, drawing_.sourcePath);
    if (found.empty()) {
        scene_.problems.push_back("picture not found: " + portablePath(d.filePath));
        scene_.losses.add(Loss::Kind::Image, d.filePath, scene_.problems.back());
        return;
    }
    if (const std::string why = refusedReference(options_.references, found); !why.empty()) {
        scene_.problems.push_back("picture not drawn, " + why + ": " + portablePath(d.filePath));
        return;
    }
    const DecodedPicture decoded = PictureCache::instance().get(found, {}, [&] { return loadRaster(found); });
    if (!decoded.pixels || decoded.pixels->argb.empty()) {
        scene_.problems.push_back(decoded.problem);
        scene_.losses.add(Loss::Kind::Image, d.filePath, decoded.problem);
        return;
    }
    const std::shared_ptr<Pixels> image = copyOf(decoded);
    if (decoded.bitonal) {
        const std::uint32_t ink = l.color.foreground ? foregroundFor(options_.background) : l.color.rgb;
        inkOnPaper(*image, ink, options_.background, d.displayFlags & 8);
    } else {
        adjust(*image, d.brightness, d.contrast, d.fade, options_.background);
    }
    premultiply(*image);
    // The entity's pixel size stands for the whole file, whatever
    // resolution it was decoded at.
    const double sx = d.size.x / image->width, sy = d.size.y / image->height;
    RasterPicture r;
    r.placement = Affine::fromScale(sx, sy) *
                  planeMap(d.insertion + d.vVector * d.size.y, d.uVector, d.vVector * -1.0, xf);
    r.clip = clipOutline.empty() ? Path() : outlinePath(clipOutline, xf);
    r.clipInverted = d.clipInverted && !r.clip.isEmpty();
    r.width = image->width;
    r.height = image->height;
    r.image = image;
    scene_.add(std::move(r));
}

void Builder::underlay(const Entity& e, const ImageData& d, const Look& l, const Xform& ocs) {
    if (!l.visible) return;
    const double unit = inchesToUnits(drawing_.header.insUnits);
    DecodedPicture page;
    std::string problem;
    const std::string found = d.filePath.empty() ? std::string() : findReferencedFile(d.filePath, drawing_.sourcePath);
    const bool shown = d.displayFlags == 0 || (d.displayFlags & 2);
    if (e.type != "PDFUNDERLAY") {
        // DWF and DGN pages need their own readers; the frame marks the place.
        if (shown)
            scene_.losses.add(Loss::Kind::Underlay, d.filePath,
                              e.type + " shown by its frame only: " + portablePath(d.filePath));
    } else if (found.empty()) {
        problem = "PDF not found: " + portablePath(d.filePath);
    } else if (const std::string why = refusedReference(options_.references, found); !why.empty()) {
        problem = "PDF not drawn, " + why + ": " + portablePath(d.filePath);
    } else if (shown) {
        page = PictureCache::instance().get(found, d.page, [&] { return loadPdfPage(found, d.page); });
        problem = page.problem;
    }
    if (!problem.empty()) {
        scene_.problems.push_back(problem);
        scene_.losses.add(Loss::Kind::Underlay, d.filePath, problem);
    }
    const bool drawn = page.pixels && !page.pixels->argb.empty() && page.dotsPerInch > 0;

    // The page in drawing units: its size in inches, converted, then the
    // underlay's own scale and rotation (u and v).
    std::vector<Vec3> frameOutline;
    auto at = [&](double x, double y) { return d.insertion + d.uVector * x + d.vVector * y; };
    double w = 0, h = 0;
    if (drawn) {
        w = page.pixels->width / page.dotsPerInch * unit;
        h = page.pixels->height / page.dotsPerInch * unit;
    }
    std::vector<Vec3> clip;
    if (d.clip.size() >= 3) {
        for (const Vec2& p : d.clip) clip.push_back(at(p.x, p.y));
    } else if (d.clip.size() == 2) {
        const Vec2 a = d.clip[0], b = d.clip[1];
        clip = {at(a.x, a.y), at(b.x, a.y), at(b.x, b.y), at(a.x, b.y)};
    }
    const bool clipped = (d.displayFlags & 1) && !clip.empty();
    if (drawn) {
        const std::shared_ptr<Pixels> image = copyOf(page);
        if (d.displayFlags & 4) toGrey(*image);
        adjust(*image, 50, 50, std::clamp(d.fade, 0, 80), options_.background);
        premultiply(*image);
        RasterPicture r;
        r.placement = Affine::fromScale(w / image->width, h / image->height) *
                      planeMap(at(0, h), d.uVector, d.vVector * -1.0, ocs);
        r.clip = clipped ? outlinePath(clip, ocs) : Path();
        r.clipInverted = clipped && d.clipInverted;
        r.width = image->width;
        r.height = image->height;
        r.image = image;
        scene_.add(std::move(r));
        frameOutline = {at(0, 0), at(w, 0), at(w, h), at(0, h)};
    }
    if (clipped && !d.clipInverted) frameOutline = clip;
    if (frameOutline.empty() && !clip.empty()) frameOutline = clip;
    // Without a page or a boundary there is nothing to say where it lies.
    if (frameOutline.size() >= 3) stroke(frameOutline, true, l, ocs, false);
}

}  // namespace cad::render::frontend
