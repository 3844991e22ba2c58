#pragma once
// The pieces of the 2007 layout: a Reed-Solomon coded file header, page map
// and section map (system pages), and data pages that are Reed-Solomon coded
// and compressed with 2007's own LZ77 variant. readSectionsR2007()
// (DwgContainers.h) puts them together; they are public so that tests can
// reach each step.
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace cad::dwg::r2007 {

// Reed-Solomon (255, k) codewords are stored interleaved: byte i of codeword
// j sits at raw[i * blocks + j]. Returns the k data bytes of each codeword,
// one codeword after the other; the parity bytes are dropped unchecked.
std::vector<std::uint8_t> deinterleave(const std::uint8_t* raw, std::size_t blocks, std::size_t k);

struct FileHeader {
    std::uint64_t pageMapOffset = 0;  // from the start of the pages (0x480)
    std::uint64_t pageMapSizeCompressed = 0;
    std::uint64_t pageMapSizeUncompressed = 0;
    std::uint64_t pageMapCorrection = 0;
    std::uint64_t sectionMapId = 0;
    std::uint64_t sectionMapSizeCompressed = 0;
    std::uint64_t sectionMapSizeUncompressed = 0;
    std::uint64_t sectionMapCorrection = 0;
};
FileHeader readFileHeader(const std::vector<std::uint8_t>& file);

// A page map or section map page at `offset` from the start of the pages.
std::vector<std::uint8_t> readSystemPage(const std::vector<std::uint8_t>& file, std::uint64_t offset,
                                         std::uint64_t compressedSize, std::uint64_t uncompressedSize,
                                         std::uint64_t correction);

struct PageLocation {
    std::uint64_t address = 0;  // absolute file offset
    std::uint64_t size = 0;
};
std::map<std::uint64_t, PageLocation> readPageMap(const std::vector<std::uint8_t>& file, const FileHeader& header);

struct SectionPage {
    std::uint64_t offset = 0;  // where its data goes in the section
    std::uint64_t size = 0;
    std::uint64_t id = 0;
    std::uint64_t uncompressedSize = 0;
    std::uint64_t compressedSize = 0;
};
struct SectionInfo {
    std::string name;
    std::uint64_t size = 0;
    std::uint64_t maxPageSize = 0;
    std::uint64_t encrypted = 0;
    std::uint64_t encoding = 0;  // 4: codewords interleaved, 1: one after the other
    std::vector<SectionPage> pages;
};
std::vector<SectionInfo> readSectionMap(const std::vector<std::uint8_t>& file, const FileHeader& header,
                                        const std::map<std::uint64_t, PageLocation>& pages);

std::vector<std::uint8_t> readSection(const std::vector<std::uint8_t>& file,
                                      const std::map<std::uint64_t, PageLocation>& pages,
                                      const SectionInfo& section);

}  // namespace cad::dwg::r2007
