#include "cad/dwg/R2004Container.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>

#include "cad/dwg/DecompressR2004.h"
#include "cad/dwg/DwgContainers.h"
#include "cad/dwg/R2004Bytes.h"
#include "cad/model/Drawing.h"

namespace cad::dwg {

namespace r2004 {

namespace {

constexpr std::size_t kHeaderAddress = 0x80;
constexpr std::size_t kHeaderSize = 0x6C;
constexpr std::uint64_t kPagesStart = 0x100;  // page addresses count from here
constexpr std::uint32_t kPageMapType = 0x41630E3B;
constexpr std::uint32_t kSectionMapType = 0x4163003B;
constexpr std::uint32_t kDataPageType = 0x4163043B;
constexpr std::uint32_t kDataPageMask = 0x4164536B;
constexpr std::size_t kSystemPageHeader = 20;
constexpr std::size_t kDataPageHeader = 32;

// Fuzzing builds read on past a checksum mismatch, so that mutated files
// reach the maps and pages behind the checksums.
#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
constexpr bool kEnforceChecksums = false;
#else
constexpr bool kEnforceChecksums = true;
#endif

std::uint32_t crc32(const std::uint8_t* data, std::size_t size)
{
    static const std::array<std::uint32_t, 256> table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t c = i;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < size; ++i) crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFu;
}

}  // namespace

FileHeader readFileHeader(const std::vector<std::uint8_t>& file)
{
    if (file.size() < kPagesStart) throw ReadError("the drawing is truncated: its file header is incomplete");

    // The header is XORed with a fixed pseudo-random byte sequence.
    std::array<std::uint8_t, kHeaderSize> h{};
    std::uint32_t seed = 1;
    for (std::size_t i = 0; i < kHeaderSize; ++i) {
        seed = seed * 0x343FDu + 0x269EC3u;
        h[i] = static_cast<std::uint8_t>(file[kHeaderAddress + i] ^ (seed >> 16));
    }
    if (std::memcmp(h.data(), "AcFssFcAJMB", 12) != 0) throw ReadError("the drawing's file header is damaged");

    std::uint32_t stored = bytes::le32(h.data() + 0x68);
    std::fill(h.begin() + 0x68, h.end(), std::uint8_t{0});
    if (kEnforceChecksums && crc32(h.data(), h.size()) != stored)
        throw ReadError("the drawing's file header is damaged (checksum mismatch)");

    FileHeader header;
    header.pageCount = bytes::le32(h.data() + 0x40);
    header.pageMapId = bytes::le32(h.data() + 0x50);
    std::uint64_t relative = bytes::le64(h.data() + 0x54);
    if (relative > file.size()) throw ReadError("the drawing's page map lies outside the file");
    header.pageMapAddress = relative + kPagesStart;
    header.sectionMapId = bytes::le32(h.data() + 0x5C);
    return header;
}

std::uint32_t pageChecksum(std::uint32_t seed, const std::uint8_t* data, std::size_t size)
{
    std::uint32_t sum1 = seed & 0xFFFF;
    std::uint32_t sum2 = seed >> 16;
    while (size > 0) {
        // 0x15B0 bytes is the most that cannot overflow 32 bits between
        // reductions.
        std::size_t chunk = std::min<std::size_t>(size, 0x15B0);
        for (std::size_t i = 0; i < chunk; ++i) {
            sum1 += data[i];
            sum2 += sum1;
        }
        sum1 %= 0xFFF1;
        sum2 %= 0xFFF1;
        data += chunk;
        size -= chunk;
    }
    return (sum2 << 16) | (sum1 & 0xFFFF);
}

std::vector<std::uint8_t> readSystemPage(const std::vector<std::uint8_t>& file, std::uint64_t address,
                                         std::uint32_t expectedType)
{
    const char* what = expectedType == kPageMapType ? "page map" : "section map";
    auto damaged = [&](const char* why) { return ReadError(std::string("the drawing's ") + what + " " + why); };

    if (address > file.size() || file.size() - address < kSystemPageHeader) throw damaged("lies outside the file");
    const std::uint8_t* p = file.data() + address;
    if (bytes::le32(p) != expectedType) throw damaged("is damaged");
    std::uint32_t decompressedSize = bytes::le32(p + 4);
    std::uint32_t compressedSize = bytes::le32(p + 8);
    std::uint32_t compression = bytes::le32(p + 12);
    std::uint32_t stored = bytes::le32(p + 16);
    if (compressedSize > file.size() - address - kSystemPageHeader) throw damaged("is truncated");
    if (decompressedSize > sectionSizeLimit(file.size())) throw damaged("is damaged");

    std::array<std::uint8_t, kSystemPageHeader> head{};
    std::copy(p, p + kSystemPageHeader, head.begin());
    std::fill(head.begin() + 16, head.end(), std::uint8_t{0});
    const std::uint8_t* data = p + kSystemPageHeader;
    std::uint32_t sum = pageChecksum(pageChecksum(0, head.data(), head.size()), data, compressedSize);
    if (kEnforceChecksums && sum != stored) throw damaged("is damaged (checksum mismatch)");

    if (compression == 2) return decompressR2004(data, compressedSize, decompressedSize);
    return {data, data + std::min(compressedSize, decompressedSize)};
}

std::map<std::uint32_t, PageLocation> readPageMap(const std::vector<std::uint8_t>& file, const FileHeader& header)
{
    std::vector<std::uint8_t> map = readSystemPage(file, header.pageMapAddress, kPageMapType);
    std::map<std::uint32_t, PageLocation> pages;
    std::uint64_t address = kPagesStart;
    std::size_t at = 0;
    while (map.size() - at >= 8) {
        auto number = static_cast<std::int32_t>(bytes::le32(map.data() + at));
        std::uint32_t size = bytes::le32(map.data() + at + 4);
        at += 8;
        if (number < 0) {
            // A gap left by a deleted page: parent, left, right and a zero.
            if (map.size() - at < 16) break;
            at += 16;
        } else {
            pages[static_cast<std::uint32_t>(number)] = {address, size};
        }
        address += size;
    }
    return pages;
}

std::vector<SectionInfo> readSectionMap(const std::vector<std::uint8_t>& file, const FileHeader& header,
                                        const std::map<std::uint32_t, PageLocation>& pages)
{
    auto page = pages.find(header.sectionMapId);
    if (page == pages.end()) throw ReadError("the drawing's section map is missing");
    std::vector<std::uint8_t> map = readSystemPage(file, page->second.address, kSectionMapType);

    auto damaged = [] { return ReadError("the drawing's section map is damaged"); };
    if (map.size() < 20) throw damaged();
    std::uint32_t count = bytes::le32(map.data());
    std::size_t at = 20;
    std::vector<SectionInfo> sections;
    for (std::uint32_t i = 0; i < count; ++i) {
        if (map.size() - at < 96) throw damaged();
        const std::uint8_t* d = map.data() + at;
        SectionInfo s;
        s.size = bytes::le64(d);
        std::uint32_t pageCount = bytes::le32(d + 8);
        s.maxPageSize = bytes::le32(d + 12);
        s.compressed = bytes::le32(d + 20) == 2;
        s.id = bytes::le32(d + 24);
        s.encrypted = bytes::le32(d + 28);
        const char* name = reinterpret_cast<const char*>(d + 32);
        s.name.assign(name, strnlen(name, 64));
        at += 96;
        if (pageCount > (map.size() - at) / 16) throw damaged();
        for (std::uint32_t k = 0; k < pageCount; ++k) {
            const std::uint8_t* e = map.data() + at;
            s.pages.push_back({bytes::le32(e), bytes::le32(e + 4), bytes::le64(e + 8)});
            at += 16;
        }
        sections.push_back(std::move(s));
    }
    return sections;
}

std::vector<std::uint8_t> readSection(const std::vector<std::uint8_t>& file,
                                      const std::map<std::uint32_t, PageLocation>& pages,
                                      const SectionInfo& section)
{
    auto damaged = [&](const char* why) {
        return ReadError("the drawing's section " + section.name + " " + why);
    };
    if (section.encrypted == 1) throw ReadError("the drawing is password protected");
    if (section.size > sectionSizeLimit(file.size()) || section.maxPageSize > sectionSizeLimit(file.size()))
        throw damaged("declares an impossible size");

    std::vector<std::uint8_t> data(section.size);
    for (const SectionPage& entry : section.pages) {
        auto loc = pages.find(entry.number);
        if (loc == pages.end()) throw damaged("refers to a missing page");
        std::uint64_t address = loc->second.address;
        if (address > file.size() || file.size() - address < kDataPageHeader) throw damaged("lies outside the file");

        // Each page header is XORed with a mask derived from its address.
        const std::uint8_t* p = file.data() + address;
        std::uint32_t mask = kDataPageMask ^ static_cast<std::uint32_t>(address);
        std::array<std::uint32_t, 8> head{};
        for (std::size_t k = 0; k < head.size(); ++k) head[k] = bytes::le32(p + 4 * k) ^ mask;
        if (head[0] != kDataPageType || head[1] != section.id) throw damaged("is damaged");
        std::uint32_t dataSize = head[2];
        if (dataSize > file.size() - address - kDataPageHeader) throw damaged("is truncated");
        const std::uint8_t* payload = p + kDataPageHeader;

        std::uint32_t dataSum = pageChecksum(0, payload, dataSize);
        std::array<std::uint8_t, kDataPageHeader> plain{};
        for (std::size_t k = 0; k < head.size(); ++k) bytes::putLe32(plain.data() + 4 * k, k == 6 ? 0 : head[k]);
        if (kEnforceChecksums &&
            (dataSum != head[7] || pageChecksum(dataSum, plain.data(), plain.size()) != head[6]))
            throw damaged("is damaged (checksum mismatch)");

        if (entry.offset >= data.size()) throw damaged("is damaged");
        std::vector<std::uint8_t> unpacked;
        // A page unpacks to at most a full page; the last one may run past
        // the section's end, and what lies beyond is padding.
        if (section.compressed)
            unpacked = decompressR2004(payload, dataSize, section.maxPageSize);
        else
            unpacked.assign(payload, payload + dataSize);
        std::size_t n = std::min<std::uint64_t>(unpacked.size(), data.size() - entry.offset);
        std::copy_n(unpacked.begin(), n, data.begin() + static_cast<std::ptrdiff_t>(entry.offset));
    }
    return data;
}

}  // namespace r2004

std::uint64_t sectionSizeLimit(std::size_t fileSize)
{
    // Drawings pack to a fraction of their size, but not to a 48th; a size
    // past this is a damaged field, and must not become a huge allocation.
    std::uint64_t limit = std::uint64_t{fileSize} * 48 + (8u << 20);
    return std::min<std::uint64_t>(limit, std::uint64_t{1} << 30);
}

int templateMeasurement(const std::vector<std::uint8_t>& data, Version v)
{
    if (data.size() < 2) return -1;
    std::size_t chars = data[0] | std::size_t{data[1]} << 8;
    std::size_t at = 2 + chars * (v >= Version::R2007 ? 2 : 1);
    if (at > data.size() || data.size() - at < 2) return -1;
    unsigned units = data[at] | unsigned{data[at + 1]} << 8;
    return units <= 1 ? static_cast<int>(units) : -1;
}

DwgSections pagedSectionsStart(const std::vector<std::uint8_t>& file, std::size_t pagesStart)
{
    if (file.size() < pagesStart) throw ReadError("the drawing is truncated: its file header is incomplete");
    DwgSections s;
    s.versionString.assign(file.begin(), file.begin() + 6);
    const std::optional<Version> version = versionFromString(s.versionString);
    if (!version || *version < Version::R2004)
        throw ReadError("DWG version " + shownVersion(s.versionString) + " is not a paged layout");
    s.version = *version;
    s.maintenanceVersion = file[0x0B];
    s.codePage = file[0x13] | (file[0x14] << 8);
    return s;
}

DwgSections readSectionsR2004(const std::vector<std::uint8_t>& file)
{
    using namespace r2004;
    DwgSections s = pagedSectionsStart(file, kPagesStart);
    FileHeader header = readFileHeader(file);
    auto pages = readPageMap(file, header);
    auto sections = readSectionMap(file, header, pages);
    takeDecoderSections(s, sections, [&](const SectionInfo& info) { return readSection(file, pages, info); });
    return s;
}

}  // namespace cad::dwg
