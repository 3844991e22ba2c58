#pragma once
// A name that many entities share: the kind of an entity, its layer, its
// linetype. Each distinct spelling is kept once, for the life of the
// process, and a Name is a pointer to it: copying one costs nothing, two
// names compare equal when they point at the same text, and a million
// entities on layer "WALLS" hold that word once.
//
// A Name reads as the std::string it stands for (it converts to
// const std::string&), so code that takes a layer name as a string takes a
// Name too.
#include <compare>
#include <cstddef>
#include <iosfwd>
#include <string>
#include <string_view>

namespace cad {

class Name {
public:
    Name() : text_(&none()) {}
    Name(std::string_view text) : text_(text.empty() ? &none() : &intern(text)) {}
    Name(const std::string& text) : Name(std::string_view(text)) {}
    Name(const char* text) : text_(&spelled(text)) {}

    const std::string& str() const { return *text_; }
    operator const std::string&() const { return *text_; }
    std::string_view view() const { return *text_; }
    const char* c_str() const { return text_->c_str(); }
    std::size_t size() const { return text_->size(); }
    bool empty() const { return text_->empty(); }

    // The same spelling is the same pointer.
    friend bool operator==(Name a, Name b) { return a.text_ == b.text_; }
    friend bool operator==(Name a, std::string_view b) { return a.view() == b; }
    friend bool operator==(Name a, const std::string& b) { return a.view() == b; }
    friend bool operator==(Name a, const char* b) { return a.view() == b; }
    friend std::strong_ordering operator<=>(Name a, Name b) { return a.view() <=> b.view(); }

    friend std::string operator+(Name a, std::string_view b) { return std::string(a.view()).append(b); }
    friend std::string operator+(std::string_view a, Name b) { return std::string(a).append(b.view()); }
    friend std::string operator+(const std::string& a, Name b) { return a + b.str(); }
    friend std::string operator+(const char* a, Name b) { return a + b.str(); }
    friend std::string operator+(Name a, const std::string& b) { return a.str() + b; }
    friend std::string operator+(Name a, const char* b) { return a.str() + b; }

private:
    static const std::string& none();
    static const std::string& intern(std::string_view text);
    // The same for a C string, which readers mostly give as a literal.
    static const std::string& spelled(const char* text);

    const std::string* text_;
};

std::ostream& operator<<(std::ostream& out, Name name);

}  // namespace cad

template <>
struct std::hash<cad::Name> {
    std::size_t operator()(cad::Name n) const noexcept { return std::hash<std::string_view>{}(n.view()); }
};
