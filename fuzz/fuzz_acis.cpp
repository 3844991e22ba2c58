// Any bytes as modeler data, in the text, stored-text and binary forms: edges
// or an error, nothing else.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "cad/acis/Acis.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    (void)cad::acis::readBody(bytes);
    (void)cad::acis::readBody(cad::acis::decodeStoredText(bytes));
    (void)cad::acis::readBody(std::string("ACIS BinaryFile") + std::string(bytes));
    return 0;
}
