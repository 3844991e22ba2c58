#pragma once
// The JSON the command-line programs write: the dump's drawing model, the
// converter's report lines, the file names in both. One writer, so that a
// name or a text reads the same wherever it appears.
//
// Qt's JSON classes would not do: they take text as UTF-16, and a file name
// that is not UTF-8 would come out changed; the dump also links no Qt.
#include <ostream>
#include <string>
#include <string_view>

namespace lumicade::json {

// Length of the valid UTF-8 sequence at text[at] (its code point in *code),
// or 0 when there is none: a stray continuation byte, a cut sequence, an
// overlong form, a surrogate.
std::size_t utf8Length(std::string_view text, std::size_t at, char32_t* code);

// C0 and C1 control characters and DEL.
bool isControl(char32_t c);

// A quoted JSON string. Bytes that are not UTF-8 become the lone surrogates
// U+DC80..U+DCFF, the convention by which Python's os.fsencode() gets the
// exact bytes back, so that every file is named losslessly.
std::string quoted(std::string_view text);

// Values written as they come; commas and nesting are tracked here. A key
// is given inside objects and left null inside arrays.
class Writer {
public:
    explicit Writer(std::ostream& out) : out_(out) {}

    void beginObject(const char* key = nullptr) { open(key, '{'); }
    void endObject() { close('}'); }
    void beginArray(const char* key = nullptr) { open(key, '['); }
    void endArray() { close(']'); }

    // Shortest form that reads back the same; null for infinities and NaN.
    void value(const char* key, double v);
    void value(const char* key, int v) { value(key, static_cast<long long>(v)); }
    void value(const char* key, long long v);
    void value(const char* key, bool v);
    void value(const char* key, std::string_view v);
    void value(const char* key, const std::string& v) { value(key, std::string_view(v)); }
    void value(const char* key, const char* v) { value(key, std::string_view(v)); }
    void null(const char* key);
    // A string, or null when it is empty (an unknown value).
    void valueOrNull(const char* key, const std::string& v);

private:
    void prefix(const char* key);
    void open(const char* key, char c);
    void close(char c);

    std::ostream& out_;
    bool first_ = true;
};

}  // namespace lumicade::json
