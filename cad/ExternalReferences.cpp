#include "cad/ExternalReferences.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <new>
#include <set>
#include <system_error>

#include "cad/DrawingFile.h"
#include "cad/model/ReadableFile.h"
#include "cad/model/ReferencedFiles.h"

namespace cad {

namespace {

namespace fs = std::filesystem;

// References nested deeper than this are not followed: real drawings stop
// at a handful of levels.
constexpr int kMaxNesting = 16;
// Entities brought in from all references of one drawing together.
constexpr std::size_t kMaxReferencedEntities = 5'000'000;

std::string canonical(const std::string& path) {
    std::error_code ec;
    fs::path p = fs::weakly_canonical(fs::path(path), ec);
    return ec ? fs::path(path).lexically_normal().string() : p.string();
}

bool isSpace(const std::string& blockName) {
    const std::string up = upperName(blockName);
    return up == "*MODEL_SPACE" || up.rfind("*PAPER_SPACE", 0) == 0;
}

// The names a referenced drawing's entities use, as the host knows them.
class Renamer {
public:
    Renamer(std::string prefix, const std::string& referencePath, const ReferenceRules& rules)
        : prefix_(std::move(prefix)), path_(referencePath), rules_(rules) {}

    std::string layer(const std::string& name) const { return name == "0" || name.empty() ? name : prefix_ + name; }
    std::string linetype(const std::string& name) const {
        const std::string up = upperName(name);
        if (name.empty() || up == "BYLAYER" || up == "BYBLOCK" || up == "CONTINUOUS") return name;
        return prefix_ + name;
    }
    std::string named(const std::string& name) const { return name.empty() ? name : prefix_ + name; }

    void entity(Entity& e) const {
        e.common.layer = layer(e.common.layer);
        e.common.linetype = linetype(e.common.linetype);
        visitData(
            [&](auto& d) {
                using T = std::decay_t<decltype(d)>;
                if constexpr (std::is_same_v<T, TextData> || std::is_same_v<T, MTextData>) {
                    d.style = named(d.style);
                } else if constexpr (std::is_same_v<T, InsertData>) {
                    d.blockName = named(d.blockName);
                    for (Entity& a : d.attributes) entity(a);
                } else if constexpr (std::is_same_v<T, DimensionData> || std::is_same_v<T, TableData>) {
                    d.blockName = named(d.blockName);
                } else if constexpr (std::is_same_v<T, MLeaderData>) {
                    d.blockName = named(d.blockName);
                    d.textStyle = named(d.textStyle);
                } else if constexpr (std::is_same_v<T, ImageData>) {
                    // Pictures are named relative to the drawing that shows them.
                    if (const std::string found = findReferencedFile(d.filePath, path_);
                        !found.empty() && refusedReference(rules_, found).empty())
                        d.filePath = found;
                } else if constexpr (std::is_same_v<T, ViewportData>) {
                    for (std::string& n : d.frozenLayers) n = layer(n);
                }
            },
            e.data);
    }

private:
    std::string prefix_;
    std::string path_;
    const ReferenceRules& rules_;
};

class Attacher {
public:
    Attacher(std::vector<std::string>& problems, std::vector<std::string>& files, const ReferenceRules& rules,
             Losses& losses)
        : problems_(problems), files_(files), rules_(rules), losses_(losses) {}

    void attach(Drawing& host, const std::string& hostPath, int depth) {
        // Blocks are added while we go: walk by index, and only the ones
        // that were there before.
        const std::size_t count = host.blocks.size();
        bool changed = false;
        for (std::size_t i = 0; i < count; ++i) {
            const Block& b = host.blocks[i];
            if (!(b.flags & 4) || !b.entities.empty()) continue;
            if (depth > 0 && (b.flags & 8)) continue;  // an overlay inside a reference
            const std::string name = b.name;
            const std::string stored = b.xrefPath;
            if (stored.empty()) {
                note("external reference " + name + " names no file", name);
                continue;
            }
            const std::string found = findReferencedFile(stored, hostPath);
            if (found.empty()) {
                note("external reference " + name + " not found: " + portablePath(stored), stored);
                continue;
            }
            if (const std::string why = refusedReference(rules_, found); !why.empty()) {
                note("external reference " + name + " not drawn, " + why + ": " + portablePath(stored), stored);
                continue;
            }
            const std::string key = canonical(found);
            if (std::find(chain_.begin(), chain_.end(), key) != chain_.end()) {
                note("external reference " + name + " (" + portablePath(stored) +
                         ") refers back to a drawing that contains it; not drawn",
                     stored);
                continue;
            }
            if (depth + 1 > kMaxNesting) {
                note("external reference " + name + " is nested too deeply; not drawn", stored);
                continue;
            }
            const Drawing* ref = load(key, found, name, stored, depth);
            if (!ref) continue;
            if (merge(host, i, *ref, found, stored)) listed(found);
            changed = true;
        }
        if (changed) host.index();
    }

    // The pictures and underlays of the drawing and of what was brought in.
    void listPictures(const Drawing& host, const std::string& hostPath) {
        for (const Block& b : host.blocks)
            for (const Entity& e : b.entities)
                if (const auto* box = std::get_if<Boxed<ImageData>>(&e.data); box && !unbox(*box).filePath.empty())
                    if (const std::string found = findReferencedFile(unbox(*box).filePath, hostPath);
                        !found.empty() && refusedReference(rules_, found).empty())
                        listed(found);
    }

    void begin(const std::string& hostPath) {
        if (!hostPath.empty()) chain_.push_back(canonical(hostPath));
    }

private:
    // stored: the reference's path as the drawing writes it, which is what
    // its owner recognises.
    void note(const std::string& problem, const std::string& stored) {
        if (std::find(problems_.begin(), problems_.end(), problem) != problems_.end()) return;
        problems_.push_back(problem);
        losses_.add(Loss::Kind::Xref, stored, problem);
    }

    // Each file is read once, with its own references already brought in.
    const Drawing* load(const std::string& key, const std::string& path, const std::string& name,
                        const std::string& stored, int depth) {
        if (auto it = cache_.find(key); it != cache_.end()) {
            if (!it->second) note("external reference " + name + " cannot be read: " + path, stored);
            return it->second.get();
        }
        std::unique_ptr<Drawing> d;
        try {
            ReadableFile file;
            std::vector<std::uint8_t> bytes;
            const bool opened = file.open(path, kMaxDrawingBytes);
            // Each file is weighed before it is read; one that would pass the
            // budget of all references together is not read at all.
            if (opened && file.size() > rules_.byteBudget - std::min(bytesRead_, rules_.byteBudget)) {
                note("external reference " + name + " is not read: the drawing's references together pass " +
                     std::to_string(rules_.byteBudget >> 20) + " MB: " + path,
                     stored);
            } else if (!opened || !file.read(bytes)) {
                note("external reference " + name + " cannot be read: " + path + ": " + file.problem(), stored);
            } else {
                bytesRead_ += bytes.size();
                d = std::make_unique<Drawing>(readDrawingBytes(std::move(bytes), path));
            }
        } catch (const std::bad_alloc&) {
            note("external reference " + name + " is too large to read: " + path, stored);
        } catch (const std::exception& e) {
            note("external reference " + name + " cannot be read: " + e.what(), stored);
        }
        Drawing* raw = d.get();
        cache_[key] = std::move(d);
        if (raw) {
            chain_.push_back(key);
            attach(*raw, path, depth + 1);
            chain_.pop_back();
        }
        return raw;
    }

    void listed(const std::string& path) {
        if (std::find(files_.begin(), files_.end(), path) == files_.end()) files_.push_back(path);
    }

    // False when the reference was too large to bring in.
    bool merge(Drawing& host, std::size_t blockIndex, const Drawing& ref, const std::string& refPath,
               const std::string& stored) {
        const std::string blockName = host.blocks[blockIndex].name;
        std::size_t size = 0;
        for (const Block& b : ref.blocks)
            if (!isSpace(b.name) || upperName(b.name) == "*MODEL_SPACE") size += b.entities.size();
        if (merged_ + size > kMaxReferencedEntities) {
            note("external reference " + blockName + " is too large to draw: " + refPath, stored);
            return false;
        }
        merged_ += size;
        const Renamer rename(blockName + "|", refPath, rules_);
        // Dependent records the host already keeps hold the states it was
        // saved with; the others come as the referenced drawing has them.
        for (const Layer& l : ref.layers) {
            const std::string n = rename.layer(l.name);
            if (n == l.name || host.findLayer(n)) continue;
            Layer copy = l;
            copy.name = n;
            copy.linetype = rename.linetype(l.linetype);
            host.layers.push_back(std::move(copy));
        }
        for (const Linetype& lt : ref.linetypes) {
            const std::string n = rename.linetype(lt.name);
            if (n == lt.name || host.findLinetype(n)) continue;
            Linetype copy = lt;
            copy.name = n;
            host.linetypes.push_back(std::move(copy));
        }
        for (const TextStyle& s : ref.textStyles) {
            const std::string n = rename.named(s.name);
            if (host.findTextStyle(n)) continue;
            TextStyle copy = s;
            copy.name = n;
            host.textStyles.push_back(std::move(copy));
        }
        std::vector<Entity> content;
        for (const Block& b : ref.blocks) {
            if (upperName(b.name) == "*MODEL_SPACE") {
                content.reserve(b.entities.size());
                for (const Entity& e : b.entities) {
                    if (e.common.paperSpace) continue;
                    content.push_back(e);
                    rename.entity(content.back());
                }
                continue;
            }
            if (isSpace(b.name)) continue;
            const std::string n = rename.named(b.name);
            if (host.findBlock(n)) continue;
            Block copy = b;
            copy.name = n;
            copy.handle = 0;  // its handle belongs to the other drawing
            copy.layout = 0;
            for (Entity& e : copy.entities) rename.entity(e);
            host.blocks.push_back(std::move(copy));
        }
        host.blocks[blockIndex].entities = std::move(content);
        // What the referenced drawing lost to its reader is lost here too.
        for (const Loss& l : ref.losses.entries())
            losses_.add(l.kind, l.what, "external reference " + blockName + ": " + l.text, l.count);
        // The lookups above see what was added so far.
        host.index();
        return true;
    }

    std::vector<std::string>& problems_;
    std::vector<std::string>& files_;
    const ReferenceRules& rules_;
    Losses& losses_;
    std::vector<std::string> chain_;
    std::map<std::string, std::unique_ptr<Drawing>> cache_;
    std::size_t merged_ = 0;
    std::uint64_t bytesRead_ = 0;
};

}  // namespace

void attachExternalReferences(Drawing& host, const std::string& hostPath, const ReferenceRules& rules) {
    const std::string path = hostPath.empty() ? host.sourcePath : hostPath;
    Attacher attacher(host.referenceProblems, host.referencedFiles, rules, host.losses);
    attacher.begin(path);
    attacher.attach(host, path, 0);
    attacher.listPictures(host, path);
}

}  // namespace cad
