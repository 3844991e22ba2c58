#pragma once
// What a picture of a drawing lacks of the drawing: entities the readers
// could not decode, damaged records, graphics primitives of custom objects
// that are not drawn, referenced files that were not found, fonts drawn by a
// stand-in, work budgets reached. Readers add to the drawing's list, the
// renderer to its scene's; a drawing with any loss is reported incomplete,
// with the list, so that a loss is never silent.
#include <string>
#include <string_view>
#include <vector>

namespace cad {

struct Loss {
    enum class Kind {
        Entity,          // what: the entity's kind, which was not drawn
        Damaged,         // what: the kind of record that was left out
        ProxyPrimitive,  // what: the primitive's type in a custom object's graphics
        Xref,            // what: the referenced drawing's path as the drawing writes it
        Image,           // what: the picture's path as written
        Underlay,        // what: the underlay's path as written
        Font,            // what: the font asked for; text says what stood in for it
        Budget,          // what: the budget reached
    };
    Kind kind = Kind::Entity;
    std::string what;
    long long count = 1;
    std::string text;  // one line for people: what was lost and why
};

class Losses {
public:
    // Adds count to an entry of the same kind, what and text, or a new entry.
    void add(Loss::Kind kind, const std::string& what, const std::string& text, long long count = 1);
    void add(const Losses& other);
    bool contains(Loss::Kind kind, const std::string& what) const;
    const std::vector<Loss>& entries() const { return entries_; }
    bool empty() const { return entries_.empty(); }

private:
    std::vector<Loss> entries_;
};

// "entity", "damaged", "proxy-primitive", "xref", "image", "underlay", "font", "budget".
const char* lossKindWord(Loss::Kind kind);
// The loss's text, with its count when there is more than one.
std::string describeLoss(const Loss& loss);

// Entities that the CAD application itself shows nothing of in a picture
// (lights, cameras, the sun): not drawing them loses nothing.
bool drawsNothing(std::string_view entityKind);

}  // namespace cad
