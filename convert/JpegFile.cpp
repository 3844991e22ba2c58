#include "convert/JpegFile.h"

#include "cad/model/ReplacingFile.h"

#include <QFile>
#include <QSysInfo>
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <climits>
#include <cstring>
#include <memory>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

// After <cstdio>, which it needs.
#include <jpeglib.h>

namespace lumicade {

namespace {

// libjpeg reports an error by calling error_exit, which must not return:
// it jumps back to the call that started the work, with the message.
struct ErrorJump {
    jpeg_error_mgr manager;
    std::jmp_buf back;
    char message[JMSG_LENGTH_MAX];
};

void jumpBack(j_common_ptr codec) {
    auto* jump = reinterpret_cast<ErrorJump*>(codec->err);
    codec->err->format_message(codec, jump->message);
    std::longjmp(jump->back, 1);
}

void samplingOf(ChromaSubsampling s, jpeg_compress_struct& codec) {
    const int h = s == ChromaSubsampling::Full444 ? 1 : 2, v = s == ChromaSubsampling::Quarter420 ? 2 : 1;
    codec.comp_info[0].h_samp_factor = h;
    codec.comp_info[0].v_samp_factor = v;
    for (int c = 1; c < 3; ++c) codec.comp_info[c].h_samp_factor = codec.comp_info[c].v_samp_factor = 1;
}

// Baseline JPEG, by default with Huffman tables made for the picture, which
// keep the pixels of the standard tables in fewer bytes. Only plain data lives here,
// as the error jump skips destructors. The buffer is libjpeg's, for the
// caller to free.
bool compress(const unsigned char* pixels, int width, int height, std::ptrdiff_t bytesPerLine, J_COLOR_SPACE space,
              int quality, ChromaSubsampling subsampling, HuffmanTables tables, unsigned char** buffer,
              unsigned long* size, ErrorJump& errors) {
    jpeg_compress_struct codec;
    codec.err = jpeg_std_error(&errors.manager);
    errors.manager.error_exit = jumpBack;
    if (setjmp(errors.back)) {
        jpeg_destroy_compress(&codec);
        return false;
    }
    jpeg_create_compress(&codec);
    jpeg_mem_dest(&codec, buffer, size);
    codec.image_width = static_cast<JDIMENSION>(width);
    codec.image_height = static_cast<JDIMENSION>(height);
    codec.input_components = space == JCS_EXT_RGB || space == JCS_EXT_BGR ? 3 : 4;
    codec.in_color_space = space;
    jpeg_set_defaults(&codec);
    jpeg_set_quality(&codec, quality, TRUE);
    samplingOf(subsampling, codec);
    codec.dct_method = JDCT_ISLOW;
    codec.optimize_coding = tables == HuffmanTables::Optimised;
    jpeg_start_compress(&codec, TRUE);
    while (codec.next_scanline < codec.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(pixels + bytesPerLine * static_cast<std::ptrdiff_t>(codec.next_scanline));
        jpeg_write_scanlines(&codec, &row, 1);
    }
    jpeg_finish_compress(&codec);
    jpeg_destroy_compress(&codec);
    return true;
}

}  // namespace

int encodeJpegPixels(const unsigned char* pixels, int width, int height, std::ptrdiff_t bytesPerLine, PixelLayout layout,
                     int quality, std::vector<unsigned char>& out, ChromaSubsampling subsampling, std::string* why,
                     HuffmanTables tables) {
    if (!pixels || width <= 0 || height <= 0 || bytesPerLine <= 0 || bytesPerLine > INT_MAX) {
        if (why) *why = "no picture";
        return JpegStatus::InvalidParameter;
    }
    const J_COLOR_SPACE space = layout == PixelLayout::Bgr888 ? JCS_EXT_BGR
                                : layout == PixelLayout::Rgb888 ? JCS_EXT_RGB
                                : QSysInfo::ByteOrder == QSysInfo::LittleEndian ? JCS_EXT_BGRX
                                                                                : JCS_EXT_XRGB;
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    ErrorJump errors{};
    const bool made = compress(pixels, width, height, bytesPerLine, space, quality, subsampling, tables, &buffer, &size,
                                 errors);
    const std::unique_ptr<unsigned char, void (*)(void*)> owned(buffer, &std::free);
    if (!made || !buffer || size == 0) {
        if (why) *why = errors.message;
        return JpegStatus::GenericError;
    }
    try {
        out.assign(buffer, buffer + size);
    } catch (const std::bad_alloc&) {
        return JpegStatus::OutOfMemory;
    }
    return JpegStatus::Ok;
}

int writeFileReplacing(const QString& path, const std::vector<unsigned char>& bytes, std::string* why) {
    return writeNativeFileReplacing(QFile::encodeName(path).toStdString(), bytes, why);
}

// Straight on the system calls rather than QSaveFile, which says "Unknown
// error" for a full disk or a file-size limit and, after a short write,
// still commits the truncated file.
int writeNativeFileReplacing(const std::string& path, const std::vector<unsigned char>& bytes, std::string* why) {
    auto fail = [&](int error) {
        if (why) *why = std::strerror(error);
        return JpegStatus::Win32Error;
    };
    if (path.empty()) return fail(ENOENT);
    // The rename replaces whatever is at the path. A symbolic link there is
    // replaced itself, never written through: a link planted in a shared
    // folder must not lead the picture onto a file elsewhere.
    struct stat existing {};
    const bool exists = ::lstat(path.c_str(), &existing) == 0 && S_ISREG(existing.st_mode);
    if (exists && ::access(path.c_str(), W_OK) != 0) return fail(errno);

    cad::ReplacingFile file;
    if (!file.open(path, ".tmp")) return fail(errno);
    if (exists && ::fchmod(file.fd(), existing.st_mode & 07777) != 0) return fail(errno);
    if (!file.write(bytes.data(), bytes.size()) || !file.commit(true)) return fail(errno);
    return JpegStatus::Ok;
}

}  // namespace lumicade
