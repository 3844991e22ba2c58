#include "cad/dwg/R2007Container.h"

#include <algorithm>

#include "cad/dwg/DecompressR2007.h"
#include "cad/dwg/DwgContainers.h"
#include "cad/dwg/R2004Bytes.h"
#include "cad/model/Drawing.h"

namespace cad::dwg {

namespace r2007 {

namespace {

constexpr std::size_t kHeaderAddress = 0x80;
constexpr std::size_t kHeaderCodewords = 3;
constexpr std::uint64_t kPagesStart = 0x480;
constexpr std::size_t kCodeword = 255;
constexpr std::size_t kSystemK = 239;  // data bytes per codeword of system pages
constexpr std::size_t kDataK = 251;    // ... and of data pages
constexpr std::size_t kFileHeaderSize = 0x110;

std::uint64_t align8(std::uint64_t n) { return (n + 7) & ~std::uint64_t{7}; }

}  // namespace

std::vector<std::uint8_t> deinterleave(const std::uint8_t* raw, std::size_t blocks, std::size_t k)
{
    std::vector<std::uint8_t> data(blocks * k);
    for (std::size_t j = 0; j < blocks; ++j)
        for (std::size_t i = 0; i < k; ++i) data[j * k + i] = raw[i * blocks + j];
    return data;
}

FileHeader readFileHeader(const std::vector<std::uint8_t>& file)
{
    if (file.size() < kPagesStart) throw ReadError("the drawing is truncated: its file header is incomplete");
    std::vector<std::uint8_t> coded = deinterleave(file.data() + kHeaderAddress, kHeaderCodewords, kSystemK);

    // CRC, key and data CRC (8 bytes each), then the packed length: negative
    // when the header is stored unpacked.
    auto length = static_cast<std::int32_t>(bytes::le32(coded.data() + 0x18));
    const std::uint8_t* packed = coded.data() + 0x20;
    std::size_t room = coded.size() - 0x20;
    std::vector<std::uint8_t> h;
    if (length < 0) {
        std::uint64_t n = -static_cast<std::int64_t>(length);
        if (n > room) throw ReadError("the drawing's file header is damaged");
        h.assign(packed, packed + n);
    } else {
        if (static_cast<std::size_t>(length) > room) throw ReadError("the drawing's file header is damaged");
        h = decompressR2007(packed, static_cast<std::size_t>(length), kFileHeaderSize);
    }
    if (h.size() < kFileHeaderSize) throw ReadError("the drawing's file header is damaged");

    auto field = [&](std::size_t at) { return bytes::le64(h.data() + at); };
    FileHeader header;
    header.pageMapCorrection = field(0x18);
    header.pageMapOffset = field(0x38);
    header.pageMapSizeCompressed = field(0x50);
    header.pageMapSizeUncompressed = field(0x58);
    header.sectionMapSizeCompressed = field(0xB0);
    header.sectionMapId = field(0xC0);
    header.sectionMapSizeUncompressed = field(0xC8);
    header.sectionMapCorrection = field(0xD8);
    return header;
}

std::vector<std::uint8_t> readSystemPage(const std::vector<std::uint8_t>& file, std::uint64_t offset,
                                         std::uint64_t compressedSize, std::uint64_t uncompressedSize,
                                         std::uint64_t correction)
{
    auto damaged = [] { return ReadError("the drawing's page map or section map is damaged"); };
    if (compressedSize == 0 || compressedSize > file.size() || uncompressedSize > sectionSizeLimit(file.size()) ||
        correction == 0 || correction > file.size())
        throw damaged();
    if (file.size() < kPagesStart || offset > file.size() - kPagesStart)
        throw ReadError("the drawing's page map or section map lies outside the file");
    std::uint64_t address = kPagesStart + offset;

    // The page holds the data `correction` times over, coded in as many
    // codewords as that takes.
    std::uint64_t coded = align8(compressedSize) * correction;
    std::uint64_t blocks = (coded + kSystemK - 1) / kSystemK;
    if (blocks > (file.size() - address) / kCodeword) throw ReadError("the drawing is truncated");
    std::vector<std::uint8_t> data = deinterleave(file.data() + address, blocks, kSystemK);
    data.resize(compressedSize);
    if (compressedSize < uncompressedSize) return decompressR2007(data.data(), data.size(), uncompressedSize);
    data.resize(uncompressedSize);
    return data;
}

std::map<std::uint64_t, PageLocation> readPageMap(const std::vector<std::uint8_t>& file, const FileHeader& header)
{
    std::vector<std::uint8_t> map = readSystemPage(file, header.pageMapOffset, header.pageMapSizeCompressed,
                                                   header.pageMapSizeUncompressed, header.pageMapCorrection);
    std::map<std::uint64_t, PageLocation> pages;
    std::uint64_t offset = 0;
    for (std::size_t at = 0; map.size() - at >= 16; at += 16) {
        std::uint64_t size = bytes::le64(map.data() + at);
        auto id = static_cast<std::int64_t>(bytes::le64(map.data() + at + 8));
        if (size > file.size()) throw ReadError("the drawing's page map is damaged");
        std::uint64_t key = id < 0 ? 0 - static_cast<std::uint64_t>(id) : static_cast<std::uint64_t>(id);
        pages[key] = {kPagesStart + offset, size};
        offset += size;
    }
    return pages;
}

std::vector<SectionInfo> readSectionMap(const std::vector<std::uint8_t>& file, const FileHeader& header,
                                        const std::map<std::uint64_t, PageLocation>& pages)
{
    auto page = pages.find(header.sectionMapId);
    if (page == pages.end()) throw ReadError("the drawing's section map is missing");
    std::vector<std::uint8_t> map =
        readSystemPage(file, page->second.address - kPagesStart, header.sectionMapSizeCompressed,
                       header.sectionMapSizeUncompressed, header.sectionMapCorrection);

    auto damaged = [] { return ReadError("the drawing's section map is damaged"); };
    std::vector<SectionInfo> sections;
    std::size_t at = 0;
    while (map.size() - at >= 64) {
        const std::uint8_t* d = map.data() + at;
        SectionInfo s;
        s.size = bytes::le64(d);
        s.maxPageSize = bytes::le64(d + 0x08);
        s.encrypted = bytes::le64(d + 0x10);
        std::uint64_t nameBytes = bytes::le64(d + 0x20);
        s.encoding = bytes::le64(d + 0x30);
        std::uint64_t pageCount = bytes::le64(d + 0x38);
        at += 64;
        if (nameBytes > map.size() - at) throw damaged();
        // UTF-16 names; every section name is plain ASCII.
        for (std::uint64_t i = 0; i + 1 < nameBytes; i += 2) {
            char c = static_cast<char>(map[at + i]);
            if (c == 0) break;
            s.name.push_back(c);
        }
        at += nameBytes;
        if (pageCount > (map.size() - at) / 56) throw damaged();
        for (std::uint64_t k = 0; k < pageCount; ++k) {
            const std::uint8_t* e = map.data() + at;
            s.pages.push_back({bytes::le64(e), bytes::le64(e + 8), bytes::le64(e + 16), bytes::le64(e + 24),
                               bytes::le64(e + 32)});
            at += 56;  // then the page's checksum and CRC
        }
        sections.push_back(std::move(s));
    }
    return sections;
}

std::vector<std::uint8_t> readSection(const std::vector<std::uint8_t>& file,
                                      const std::map<std::uint64_t, PageLocation>& pages,
                                      const SectionInfo& section)
{
    auto damaged = [&](const char* why) {
        return ReadError("the drawing's section " + section.name + " " + why);
    };
    if (section.encrypted == 1) throw ReadError("the drawing is password protected");
    std::uint64_t limit = sectionSizeLimit(file.size());
    if (section.size > limit) throw damaged("declares an impossible size");

    // Pages of zeros are not stored, so whatever no page covers stays zero.
    std::vector<std::uint8_t> data(section.size);
    for (const SectionPage& entry : section.pages) {
        auto loc = pages.find(entry.id);
        if (loc == pages.end()) throw damaged("refers to a missing page");
        if (entry.offset >= data.size() || entry.uncompressedSize > limit || entry.compressedSize == 0 ||
            entry.compressedSize > file.size())
            throw damaged("is damaged");
        std::uint64_t address = loc->second.address;
        std::uint64_t blocks = (align8(entry.compressedSize) + kDataK - 1) / kDataK;
        if (address > file.size() || blocks > (file.size() - address) / kCodeword) throw damaged("is truncated");

        // Pages that are not interleaved are read where they lie.
        const std::uint8_t* coded = file.data() + address;
        std::vector<std::uint8_t> interleaved;
        if (section.encoding == 4) {
            interleaved = deinterleave(coded, blocks, kDataK);
            coded = interleaved.data();
        }
        std::vector<std::uint8_t> unpacked;
        if (entry.compressedSize < entry.uncompressedSize)
            unpacked = decompressR2007(coded, entry.compressedSize, entry.uncompressedSize);
        else
            unpacked.assign(coded, coded + std::min(entry.compressedSize, entry.uncompressedSize));
        std::size_t n = std::min<std::uint64_t>(unpacked.size(), data.size() - entry.offset);
        std::copy_n(unpacked.begin(), n, data.begin() + static_cast<std::ptrdiff_t>(entry.offset));
    }
    return data;
}

}  // namespace r2007

DwgSections readSectionsR2007(const std::vector<std::uint8_t>& file)
{
    using namespace r2007;
    DwgSections s = pagedSectionsStart(file, kPagesStart);
    FileHeader header = readFileHeader(file);
    auto pages = readPageMap(file, header);
    auto sections = readSectionMap(file, header, pages);
    takeDecoderSections(s, sections, [&](const SectionInfo& info) { return readSection(file, pages, info); });
    return s;
}

}  // namespace cad::dwg
