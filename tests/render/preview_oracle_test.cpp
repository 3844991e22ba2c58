// The CAD application's own picture of each drawing: the preview it stores in
// every DWG is made from the view the drawing was saved with. Ours of that
// view, at the preview's size on its background, must put ink where it does.
//
// Agreement is the F-measure of the two pictures' ink, a pixel of ink
// counting as matched when the other picture has ink within one pixel, at the
// best shift of up to three pixels (the preview rounds its view to whole
// pixels). preview_agreement.txt holds each drawing's agreement as it was
// last accepted; a drawing may not fall more than kSlack below it. When a
// change is meant to move them, accept today's figures with
//   LUMICADE_PREVIEW_TABLE=$PWD/tests/render/preview_agreement.txt build/tests/render/test_preview_oracle
// and look at the drawings whose figure fell.
#include <gtest/gtest.h>

#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QTextStream>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "cad/DrawingFile.h"
#include "cad/render/Render.h"
#include "tools/thumbnail/Thumbnail.h"

namespace {

constexpr double kSlack = 0.02;
constexpr int kShift = 3;

// The colour the preview was drawn on: the commonest along its border.
QRgb backgroundOf(const QImage& image) {
    std::map<QRgb, int> seen;
    for (int x = 0; x < image.width(); ++x) ++seen[image.pixel(x, 0)], ++seen[image.pixel(x, image.height() - 1)];
    for (int y = 0; y < image.height(); ++y) ++seen[image.pixel(0, y)], ++seen[image.pixel(image.width() - 1, y)];
    return std::max_element(seen.begin(), seen.end(), [](auto& a, auto& b) { return a.second < b.second; })->first;
}

struct Ink {
    int width = 0, height = 0;
    std::vector<char> at;  // row by row
    int count = 0;
    bool operator()(int x, int y) const { return x >= 0 && y >= 0 && x < width && y < height && at[y * width + x]; }
    // Ink here or on a neighbouring pixel.
    bool near(int x, int y) const {
        for (int j = -1; j <= 1; ++j)
            for (int i = -1; i <= 1; ++i)
                if ((*this)(x + i, y + j)) return true;
        return false;
    }
};

Ink inkOf(const QImage& image, QRgb background) {
    Ink ink{image.width(), image.height(), std::vector<char>(static_cast<std::size_t>(image.width()) * image.height())};
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb c = image.pixel(x, y);
            const int d = std::max({std::abs(qRed(c) - qRed(background)), std::abs(qGreen(c) - qGreen(background)),
                                    std::abs(qBlue(c) - qBlue(background))});
            if (d > 48) ink.at[y * ink.width + x] = 1, ++ink.count;
        }
    return ink;
}

// The F-measure of ours against theirs with ours moved by (dx, dy).
double agreementAt(const Ink& theirs, const Ink& ours, int dx, int dy) {
    if (theirs.count == 0 && ours.count == 0) return 1;
    if (theirs.count == 0 || ours.count == 0) return 0;
    int oursMatched = 0, theirsMatched = 0;
    for (int y = 0; y < ours.height; ++y)
        for (int x = 0; x < ours.width; ++x)
            if (ours(x, y) && theirs.near(x + dx, y + dy)) ++oursMatched;
    for (int y = 0; y < theirs.height; ++y)
        for (int x = 0; x < theirs.width; ++x)
            if (theirs(x, y) && ours.near(x - dx, y - dy)) ++theirsMatched;
    const double precision = double(oursMatched) / ours.count, recall = double(theirsMatched) / theirs.count;
    return precision + recall > 0 ? 2 * precision * recall / (precision + recall) : 0;
}

double bestAgreement(const Ink& theirs, const Ink& ours) {
    double best = 0;
    for (int dy = -kShift; dy <= kShift; ++dy)
        for (int dx = -kShift; dx <= kShift; ++dx) best = std::max(best, agreementAt(theirs, ours, dx, dy));
    return best;
}

// Our picture of the saved view, centred on a canvas of the preview's size.
QImage oursAtPreviewSize(const cad::Drawing& drawing, QSize size, QRgb background) {
    cad::render::RenderOptions options;
    options.view = cad::render::ViewChoice::Saved;
    options.background = background;
    options.longSide = std::max(size.width(), size.height());
    const QImage drawn = cad::render::renderDrawing(drawing, options);
    // The picture keeps the view's shape; the preview may be a little wider
    // or taller: scale ours to fit within it.
    const QImage fitted = drawn.size() == size ? drawn : drawn.scaled(size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    QImage canvas(size, QImage::Format_RGB32);
    canvas.fill(background);
    QPainter p(&canvas);
    p.drawImage((size.width() - fitted.width()) / 2, (size.height() - fitted.height()) / 2, fitted);
    return canvas;
}

std::map<std::string, double> acceptedAgreement() {
    std::map<std::string, double> out;
    QFile file(QStringLiteral(LUMICADE_PREVIEW_AGREEMENT));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) return out;
    QTextStream in(&file);
    while (!in.atEnd()) {
        const QString line = in.readLine().trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#'))) continue;
        const int space = line.lastIndexOf(QLatin1Char(' '));
        out[line.left(space).trimmed().toStdString()] = line.mid(space + 1).toDouble();
    }
    return out;
}

TEST(StoredPreview, OurPictureOfTheSavedViewPutsInkWhereTheCadApplicationDid) {
    const QString root = QStringLiteral(LUMICADE_SHARED_DATA_DIR);
    std::vector<QString> files;
    for (QDirIterator it(root, {QStringLiteral("*.dwg"), QStringLiteral("*.DWG")}, QDir::Files,
                         QDirIterator::Subdirectories);
         it.hasNext();)
        files.push_back(it.next());
    std::sort(files.begin(), files.end());
    if (files.empty()) GTEST_SKIP() << "no shared drawings at " << qPrintable(root);

    const std::map<std::string, double> accepted = acceptedAgreement();
    std::string table;
    int compared = 0;
    for (const QString& file : files) {
        const std::string name = QDir(root).relativeFilePath(file).toStdString();
        cad::Drawing drawing;
        try {
            drawing = cad::openDrawing(file.toStdString());
        } catch (const std::exception&) {
            continue;  // the readers' own tests hold which drawings must read
        }
        const QImage preview = lumicade::DecodeStoredPreview(drawing.preview).convertToFormat(QImage::Format_RGB32);
        if (preview.isNull() || preview.width() < 16 || preview.height() < 16) continue;
        const QRgb background = backgroundOf(preview);
        const QImage ours = oursAtPreviewSize(drawing, preview.size(), background);
        const double value = bestAgreement(inkOf(preview, background), inkOf(ours, background));
        ++compared;
        char line[512];
        std::snprintf(line, sizeof line, "%s %.3f\n", name.c_str(), value);
        table += line;
        if (auto it = accepted.find(name); it != accepted.end()) {
            EXPECT_GE(value, it->second - kSlack) << name << " agreed " << it->second << " with its stored preview";
        }
    }
    std::printf("drawing agreement\n%s", table.c_str());
    if (const char* out = std::getenv("LUMICADE_PREVIEW_TABLE")) {
        QFile f(QString::fromLocal8Bit(out));
        if (f.open(QIODevice::WriteOnly | QIODevice::Text))
            f.write(("# drawing, agreement of our picture of its saved view with its stored preview\n" + table).c_str());
    }
    EXPECT_GT(compared, 0) << "no shared drawing has a preview we can read";
}

}  // namespace
