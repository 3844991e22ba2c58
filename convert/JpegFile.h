#pragma once
// JPEG encoding on libjpeg-turbo, and writing the result safely: the file is
// written beside its target under a temporary name and renamed over it only
// when complete, so a failed write never destroys an existing picture nor
// leaves a truncated one behind.
//
// Results are GDI+ status numbers, which the error report shows.
#include <QImage>
#include <QString>
#include <cstddef>
#include <string>
#include <vector>

namespace lumicade {

namespace JpegStatus {
constexpr int Ok = 0;
constexpr int GenericError = 1;      // the encoder failed
constexpr int InvalidParameter = 2;  // no usable picture
constexpr int OutOfMemory = 3;
constexpr int Win32Error = 7;        // the file could not be created, written or renamed
}  // namespace JpegStatus

// Chroma subsampling of the pictures we write. Drawings are thin coloured
// lines on a plain background: full-resolution colour keeps them crisp.
enum class ChromaSubsampling { Full444, Half422, Quarter420 };
constexpr ChromaSubsampling kDrawingSubsampling = ChromaSubsampling::Full444;

// How a picture's pixels lie in memory: 0xffRRGGBB words (QImage::Format_RGB32),
// or three bytes a pixel.
enum class PixelLayout { Rgb32, Bgr888, Rgb888 };

// Huffman tables made for each picture give the same pixels as the standard
// tables: for drawings, about 40 % fewer bytes for about 40 % more processor
// time over a whole conversion (a second pass over the picture).
enum class HuffmanTables { Optimised, Standard };

// Encodes rows of pixels as they lie in memory; see encodeJpeg.
int encodeJpegPixels(const unsigned char* pixels, int width, int height, std::ptrdiff_t bytesPerLine, PixelLayout layout,
                     int quality, std::vector<unsigned char>& out, ChromaSubsampling subsampling = kDrawingSubsampling,
                     std::string* why = nullptr, HuffmanTables tables = HuffmanTables::Optimised);

// Encodes the picture at its own pixel size. quality is handed to the
// encoder unchanged (0..100, 100 best). Returns a status; *why gets the
// encoder's own words on failure.
int encodeJpeg(const QImage& picture, int quality, std::vector<unsigned char>& out,
               ChromaSubsampling subsampling = kDrawingSubsampling, std::string* why = nullptr,
               HuffmanTables tables = HuffmanTables::Optimised);

// Writes already encoded bytes to path through a temporary file in the same
// folder. *why gets the system's reason on failure ("No space left on
// device", "File too large"). A path that is a symbolic link is replaced by
// the file, its target left alone, and an existing file keeps its permissions.
int writeFileReplacing(const QString& path, const std::vector<unsigned char>& bytes, std::string* why = nullptr);
// The same for a path in the file system's own bytes, which need not be
// UTF-8 and so may have no QString spelling.
int writeNativeFileReplacing(const std::string& path, const std::vector<unsigned char>& bytes, std::string* why = nullptr);

// encodeJpeg, then writeFileReplacing.
int writeJpegFile(const QImage& picture, const QString& path, int quality, std::string* why = nullptr);

}  // namespace lumicade
