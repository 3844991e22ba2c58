#include "cad/model/CodePages.h"

namespace cad {

const std::uint16_t* codePageUpperHalf(int number) {
    for (const CodePageTable& table : kCodePages)
        if (table.number == number) return table.upper;
    return nullptr;
}

int codePageNumber(std::string_view name) {
    std::size_t i = 0;
    while (i < name.size() && !(name[i] >= '0' && name[i] <= '9')) ++i;
    int n = 0;
    for (; i < name.size() && name[i] >= '0' && name[i] <= '9' && n < 100000; ++i) n = n * 10 + (name[i] - '0');
    return n;
}

}  // namespace cad
