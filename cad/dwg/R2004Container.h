#pragma once
// The pieces of the 2004-family layout (2004, 2010, 2013, 2018): the
// encrypted file header, the page map, the section map and the data pages.
// readSectionsR2004() (DwgContainers.h) puts them together; they are public
// so that tests can reach each step.
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace cad::dwg::r2004 {

// The 0x6C bytes at 0x80, decrypted and checked (id string and CRC).
struct FileHeader {
    std::uint32_t pageMapId = 0;
    std::uint64_t pageMapAddress = 0;  // absolute file offset
    std::uint32_t sectionMapId = 0;
    std::uint32_t pageCount = 0;
};
FileHeader readFileHeader(const std::vector<std::uint8_t>& file);

// The running checksum of the page headers (Adler-32 like, modulo 0xFFF1,
// summed in 0x15B0-byte rounds).
std::uint32_t pageChecksum(std::uint32_t seed, const std::uint8_t* data, std::size_t size);

// A system page (page map or section map): checks its type and checksum and
// unpacks it.
std::vector<std::uint8_t> readSystemPage(const std::vector<std::uint8_t>& file, std::uint64_t address,
                                         std::uint32_t expectedType);

struct PageLocation {
    std::uint64_t address = 0;  // absolute file offset
    std::uint64_t size = 0;
};
// Page number -> where the page sits; gaps are left out.
std::map<std::uint32_t, PageLocation> readPageMap(const std::vector<std::uint8_t>& file, const FileHeader& header);

struct SectionPage {
    std::uint32_t number = 0;
    std::uint32_t dataSize = 0;  // compressed size
    std::uint64_t offset = 0;    // where its data goes in the section
};
struct SectionInfo {
    std::string name;
    std::uint64_t size = 0;
    std::uint32_t maxPageSize = 0;  // decompressed size of a full page
    bool compressed = false;
    std::uint32_t id = 0;
    std::uint32_t encrypted = 0;
    std::vector<SectionPage> pages;
};
std::vector<SectionInfo> readSectionMap(const std::vector<std::uint8_t>& file, const FileHeader& header,
                                        const std::map<std::uint32_t, PageLocation>& pages);

// Reads, checks and unpacks every page of one section into its data.
std::vector<std::uint8_t> readSection(const std::vector<std::uint8_t>& file,
                                      const std::map<std::uint32_t, PageLocation>& pages,
                                      const SectionInfo& section);

}  // namespace cad::dwg::r2004
