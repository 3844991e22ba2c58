// Writes the sample drawings that ship in the Samples folder beside the
// program: a small apartment floor plan, a pipe flange with a section view,
// and a sheet that shows one of each kind of entity the program draws.
// They are plain ASCII DXF files (AutoCAD 2000 flavour) so users can open
// them anywhere and see what a conversion gives.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <initializer_list>
#include <iomanip>
#include <limits>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;

struct P {
    double x = 0, y = 0;
};
P operator+(P a, P b) { return {a.x + b.x, a.y + b.y}; }
P operator-(P a, P b) { return {a.x - b.x, a.y - b.y}; }
P operator*(P a, double s) { return {a.x * s, a.y * s}; }
P polar(P c, double r, double degrees)
{
    const double a = degrees * kPi / 180;
    return {c.x + r * std::cos(a), c.y + r * std::sin(a)};
}
double angleOf(P v) { return std::atan2(v.y, v.x) * 180 / kPi; }

struct Vertex {
    P p;
    double bulge = 0;
};

struct Linetype {
    std::string name, description;
    std::vector<double> dashes;
};

struct Layer {
    std::string name;
    int colour;
    std::string linetype = "CONTINUOUS";
};

// One DXF file: tables, blocks and model space, with the drawing's extents
// worked out from what is drawn.
class Dxf {
public:
    explicit Dxf(std::vector<Layer> layers) : layers_(std::move(layers)) {}

    // --- where entities go ---
    void beginBlock(const std::string& name)
    {
        blockName_ = name;
        out_ = &blockBody_;
        blockBody_.str({});
    }
    void endBlock()
    {
        blocks_.emplace_back(blockName_, blockBody_.str());
        out_ = &model_;
    }

    // --- entities ---
    void line(const std::string& layer, P a, P b, int colour = 256, const std::string& linetype = {})
    {
        head("LINE", layer, colour, linetype);
        sub("AcDbLine");
        pt(10, a);
        pt(11, b);
    }
    void circle(const std::string& layer, P c, double r, int colour = 256, const std::string& linetype = {})
    {
        head("CIRCLE", layer, colour, linetype);
        sub("AcDbCircle");
        pt(10, c);
        num(40, r);
        growSquare(c, r);
    }
    void arc(const std::string& layer, P c, double r, double from, double to, int colour = 256)
    {
        head("ARC", layer, colour);
        sub("AcDbCircle");
        pt(10, c);
        num(40, r);
        sub("AcDbArc");
        num(50, from);
        num(51, to);
        growSquare(c, r);
    }
    void polyline(const std::string& layer, const std::vector<Vertex>& vertices, bool closed, int colour = 256,
                  double width = 0, const std::string& linetype = {})
    {
        head("LWPOLYLINE", layer, colour, linetype);
        sub("AcDbPolyline");
        integer(90, static_cast<int>(vertices.size()));
        integer(70, closed ? 1 : 0);
        if (width > 0)
            num(43, width);
        for (const Vertex& v : vertices) {
            num(10, v.p.x);
            num(20, v.p.y);
            if (v.bulge != 0)
                num(42, v.bulge);
            grow(v.p);
        }
    }
    void rect(const std::string& layer, P a, P b, int colour = 256)
    {
        polyline(layer, {{a}, {{b.x, a.y}}, {b}, {{a.x, b.y}}}, true, colour);
    }
    // An old-style polyline with a width at each vertex.
    void heavyPolyline(const std::string& layer, const std::vector<std::pair<P, double>>& vertices, int colour)
    {
        head("POLYLINE", layer, colour);
        sub("AcDb2dPolyline");
        integer(66, 1);
        pt(10, {});
        integer(70, 0);
        for (const auto& [p, w] : vertices) {
            head("VERTEX", layer, colour);
            sub("AcDbVertex");
            sub("AcDb2dVertex");
            pt(10, p);
            num(40, w);
            num(41, w);
            grow(p);
        }
        head("SEQEND", layer, colour);
    }
    void text(const std::string& layer, P at, double height, const std::string& s, int colour = 256,
              double rotation = 0, int halign = 0, int valign = 0)
    {
        head("TEXT", layer, colour);
        sub("AcDbText");
        pt(10, at);
        num(40, height);
        str(1, s);
        if (rotation != 0)
            num(50, rotation);
        str(7, "STANDARD");
        if (halign || valign) {
            integer(72, halign);
            pt(11, at);
        }
        sub("AcDbText");
        if (valign)
            integer(73, valign);
        // A rough box for the extents: text is about 0.8 of its height wide per letter.
        const double w = 0.8 * height * static_cast<double>(s.size());
        grow(at);
        grow(at + P{halign == 1 ? w / 2 : w, height});
        if (halign == 1)
            grow(at - P{w / 2, height / 2});
    }
    void mtext(const std::string& layer, P topLeft, double height, double width, const std::string& s,
               int colour = 256)
    {
        head("MTEXT", layer, colour);
        sub("AcDbMText");
        pt(10, topLeft);
        num(40, height);
        num(41, width);
        integer(71, 1);
        integer(72, 1);
        str(1, s);
        str(7, "STANDARD");
        grow(topLeft);
        grow(topLeft + P{width, -height * 6});
    }
    void point(const std::string& layer, P p, int colour = 256)
    {
        head("POINT", layer, colour);
        sub("AcDbPoint");
        pt(10, p);
        grow(p);
    }
    // A filled triangle or quadrilateral (corner order as DXF keeps it: 1 2 4 3).
    void solid(const std::string& layer, P a, P b, P c, P d, int colour = 256)
    {
        head("SOLID", layer, colour);
        sub("AcDbTrace");
        pt(10, a);
        pt(11, b);
        pt(12, c);
        pt(13, d);
        for (P p : {a, b, c, d})
            grow(p);
    }
    void ellipse(const std::string& layer, P c, P majorAxis, double ratio, double from = 0, double to = 2 * kPi,
                 int colour = 256)
    {
        head("ELLIPSE", layer, colour);
        sub("AcDbEllipse");
        pt(10, c);
        pt(11, majorAxis);
        num(40, ratio);
        num(41, from);
        num(42, to);
        growSquare(c, std::hypot(majorAxis.x, majorAxis.y));
    }
    // A clamped cubic B-spline through the control polygon's ends.
    void spline(const std::string& layer, const std::vector<P>& control, int colour = 256)
    {
        head("SPLINE", layer, colour);
        sub("AcDbSpline");
        pt(210, {});
        num(230, 1);
        integer(70, 8);
        integer(71, 3);
        const int n = static_cast<int>(control.size());
        integer(72, n + 4);
        integer(73, n);
        integer(74, 0);
        for (int i = 0; i < n + 4; ++i)
            num(40, std::clamp(i - 3, 0, n - 3));
        for (P p : control) {
            pt(10, p);
            grow(p);
        }
    }
    // A solid or ANSI31 hatch bounded by closed polylines.
    void hatch(const std::string& layer, const std::vector<std::vector<Vertex>>& loops, bool solidFill,
               int colour = 256, double patternScale = 1)
    {
        head("HATCH", layer, colour);
        sub("AcDbHatch");
        pt(10, {});
        pt(210, {});
        num(230, 1);
        str(2, solidFill ? "SOLID" : "ANSI31");
        integer(70, solidFill ? 1 : 0);
        integer(71, 0);
        integer(91, static_cast<int>(loops.size()));
        bool outer = true;
        for (const auto& loop : loops) {
            integer(92, 2 | (outer ? 1 : 16));
            outer = false;
            const bool bulges = std::any_of(loop.begin(), loop.end(), [](const Vertex& v) { return v.bulge != 0; });
            integer(72, bulges ? 1 : 0);
            integer(73, 1);
            integer(93, static_cast<int>(loop.size()));
            for (const Vertex& v : loop) {
                num(10, v.p.x);
                num(20, v.p.y);
                if (bulges)
                    num(42, v.bulge);
                grow(v.p);
            }
            integer(97, 0);
        }
        integer(75, 0);
        integer(76, 1);
        if (!solidFill) {
            num(52, 0);
            num(41, patternScale);
            integer(77, 0);
            integer(78, 1);
            num(53, 45);
            num(43, 0);
            num(44, 0);
            num(45, -3.175 * patternScale * std::sqrt(0.5));
            num(46, 3.175 * patternScale * std::sqrt(0.5));
            integer(79, 0);
        }
        integer(98, 0);
    }
    void insert(const std::string& layer, const std::string& block, P at, double scale = 1, double rotation = 0,
                int columns = 1, int rows = 1, double columnSpacing = 0, double rowSpacing = 0)
    {
        head("INSERT", layer);
        sub("AcDbBlockReference");
        str(2, block);
        pt(10, at);
        num(41, scale);
        num(42, scale);
        num(43, scale);
        if (rotation != 0)
            num(50, rotation);
        if (columns > 1 || rows > 1) {
            integer(70, columns);
            integer(71, rows);
            num(44, columnSpacing);
            num(45, rowSpacing);
        }
        grow(at);
        grow(at + P{columnSpacing * (columns - 1), rowSpacing * (rows - 1)});
    }

    // Every pair of points grown here widens the drawing's extents (model space only).
    void grow(P p)
    {
        if (out_ != &model_)
            return;
        min_.x = std::min(min_.x, p.x);
        min_.y = std::min(min_.y, p.y);
        max_.x = std::max(max_.x, p.x);
        max_.y = std::max(max_.y, p.y);
    }
    // The square around a circle of radius r (covers any arc or ellipse on it).
    void growSquare(P centre, double r)
    {
        grow(centre - P{r, r});
        grow(centre + P{r, r});
    }

    bool write(const std::string& path, double ltscale) const
    {
        std::ostringstream f;
        auto g = [&](int code, const std::string& value) { f << std::setw(3) << code << "\n" << value << "\n"; };
        auto d = [&](int code, double v) { g(code, number(v)); };
        auto handle = [&]() { return hex(nextHandle_++); };

        g(999, "Lumicade sample drawing");
        g(0, "SECTION");
        g(2, "HEADER");
        g(9, "$ACADVER");
        g(1, "AC1015");
        g(9, "$DWGCODEPAGE");
        g(3, "ANSI_1252");
        g(9, "$INSUNITS");
        g(70, "4");
        for (const auto& [name, p] : {std::pair{"$EXTMIN", min_}, std::pair{"$EXTMAX", max_}}) {
            g(9, name);
            d(10, p.x);
            d(20, p.y);
            d(30, 0);
        }
        g(9, "$LTSCALE");
        d(40, ltscale);
        g(9, "$HANDSEED");
        g(5, "FFFF");
        g(0, "ENDSEC");

        g(0, "SECTION");
        g(2, "TABLES");
        const std::vector<Linetype> linetypes = {
            {"CONTINUOUS", "Solid line", {}},
            {"DASHED", "Dashed __ __ __", {12.7, -6.35}},
            {"CENTER", "Center ____ _ ____ _", {31.75, -6.35, 6.35, -6.35}},
            {"HIDDEN", "Hidden __ __ __", {6.35, -3.175}},
        };
        g(0, "TABLE");
        g(2, "LTYPE");
        g(5, handle());
        g(100, "AcDbSymbolTable");
        g(70, std::to_string(linetypes.size()));
        for (const Linetype& lt : linetypes) {
            g(0, "LTYPE");
            g(5, handle());
            g(100, "AcDbSymbolTableRecord");
            g(100, "AcDbLinetypeTableRecord");
            g(2, lt.name);
            g(70, "0");
            g(3, lt.description);
            g(72, "65");
            g(73, std::to_string(lt.dashes.size()));
            double total = 0;
            for (double dash : lt.dashes)
                total += std::fabs(dash);
            d(40, total);
            for (double dash : lt.dashes) {
                d(49, dash);
                g(74, "0");
            }
        }
        g(0, "ENDTAB");

        g(0, "TABLE");
        g(2, "LAYER");
        g(5, handle());
        g(100, "AcDbSymbolTable");
        g(70, std::to_string(layers_.size() + 1));
        std::vector<Layer> all = {{"0", 7}};
        all.insert(all.end(), layers_.begin(), layers_.end());
        for (const Layer& layer : all) {
            g(0, "LAYER");
            g(5, handle());
            g(100, "AcDbSymbolTableRecord");
            g(100, "AcDbLayerTableRecord");
            g(2, layer.name);
            g(70, "0");
            g(62, std::to_string(layer.colour));
            g(6, layer.linetype);
        }
        g(0, "ENDTAB");

        g(0, "TABLE");
        g(2, "STYLE");
        g(5, handle());
        g(100, "AcDbSymbolTable");
        g(70, "1");
        g(0, "STYLE");
        g(5, handle());
        g(100, "AcDbSymbolTableRecord");
        g(100, "AcDbTextStyleTableRecord");
        g(2, "STANDARD");
        g(70, "0");
        d(40, 0);
        d(41, 1);
        d(50, 0);
        g(71, "0");
        d(42, 2.5);
        g(3, "txt");
        g(4, "");
        g(0, "ENDTAB");

        g(0, "TABLE");
        g(2, "BLOCK_RECORD");
        g(5, handle());
        g(100, "AcDbSymbolTable");
        g(70, std::to_string(blocks_.size() + 2));
        std::vector<std::string> names = {"*Model_Space", "*Paper_Space"};
        for (const auto& block : blocks_)
            names.push_back(block.first);
        for (const std::string& name : names) {
            g(0, "BLOCK_RECORD");
            g(5, handle());
            g(100, "AcDbSymbolTableRecord");
            g(100, "AcDbBlockTableRecord");
            g(2, name);
        }
        g(0, "ENDTAB");
        g(0, "ENDSEC");

        g(0, "SECTION");
        g(2, "BLOCKS");
        std::vector<std::pair<std::string, std::string>> all_blocks = {{"*Model_Space", ""}, {"*Paper_Space", ""}};
        all_blocks.insert(all_blocks.end(), blocks_.begin(), blocks_.end());
        for (const auto& [name, body] : all_blocks) {
            g(0, "BLOCK");
            g(5, handle());
            g(100, "AcDbEntity");
            g(8, "0");
            g(100, "AcDbBlockBegin");
            g(2, name);
            g(70, "0");
            d(10, 0);
            d(20, 0);
            d(30, 0);
            g(3, name);
            g(1, "");
            f << body;
            g(0, "ENDBLK");
            g(5, handle());
            g(100, "AcDbEntity");
            g(8, "0");
            g(100, "AcDbBlockEnd");
        }
        g(0, "ENDSEC");

        g(0, "SECTION");
        g(2, "ENTITIES");
        f << model_.str();
        g(0, "ENDSEC");
        g(0, "SECTION");
        g(2, "OBJECTS");
        g(0, "DICTIONARY");
        g(5, handle());
        g(100, "AcDbDictionary");
        g(0, "ENDSEC");
        g(0, "EOF");

        std::ofstream file(path, std::ios::binary);
        file << f.str();
        return static_cast<bool>(file);
    }

private:
    static std::string number(double v)
    {
        if (std::fabs(v) < 1e-9)
            v = 0;
        std::ostringstream s;
        s << std::setprecision(12) << v;
        std::string t = s.str();
        if (t.find_first_of(".e") == std::string::npos)
            t += ".0";
        return t;
    }
    static std::string hex(unsigned v)
    {
        char buffer[16];
        std::snprintf(buffer, sizeof buffer, "%X", v);
        return buffer;
    }

    void raw(int code, const std::string& value) { *out_ << std::setw(3) << code << "\n" << value << "\n"; }
    void str(int code, const std::string& value) { raw(code, value); }
    void integer(int code, int value) { raw(code, std::to_string(value)); }
    void num(int code, double value) { raw(code, number(value)); }
    void pt(int code, P p)
    {
        num(code, p.x);
        num(code + 10, p.y);
        num(code + 20, 0);
    }
    void sub(const char* name) { raw(100, name); }
    void head(const char* kind, const std::string& layer, int colour = 256, const std::string& linetype = {})
    {
        raw(0, kind);
        raw(5, hex(nextEntityHandle_++));
        sub("AcDbEntity");
        raw(8, layer);
        if (colour != 256)
            integer(62, colour);
        if (!linetype.empty())
            raw(6, linetype);
    }

    std::vector<Layer> layers_;
    std::ostringstream model_, blockBody_;
    std::ostringstream* out_ = &model_;
    std::string blockName_;
    std::vector<std::pair<std::string, std::string>> blocks_;
    P min_{std::numeric_limits<double>::max(), std::numeric_limits<double>::max()};
    P max_{std::numeric_limits<double>::lowest(), std::numeric_limits<double>::lowest()};
    // Table and block handles count up from 1; entity handles from 0x100.
    mutable unsigned nextHandle_ = 1;
    unsigned nextEntityHandle_ = 0x100;
};

// ---------------------------------------------------------------- floor plan

struct Opening {
    double from, to;  // along the wall, from its start
    enum Kind { Door, Window, Gap } kind;
    int side = 1;      // the side a door swings to (+1 left of the wall's direction)
    bool hingeAtStart = true;
};

// A straight wall from a along direction d (a unit axis vector), thickness t,
// centred on its line, with its openings left out of the fill.
void wall(Dxf& dxf, P a, P d, double length, double t, std::vector<Opening> openings)
{
    const P n{-d.y, d.x};
    auto at = [&](double s, double off) { return a + d * s + n * off; };
    std::sort(openings.begin(), openings.end(), [](const Opening& x, const Opening& y) { return x.from < y.from; });
    double s = 0;
    auto piece = [&](double s0, double s1) {
        if (s1 - s0 < 1)
            return;
        std::vector<Vertex> loop = {{at(s0, -t / 2)}, {at(s1, -t / 2)}, {at(s1, t / 2)}, {at(s0, t / 2)}};
        dxf.hatch("WALLS", {loop}, true);
        dxf.polyline("WALLS", loop, true);
    };
    for (const Opening& o : openings) {
        piece(s, o.from);
        s = o.to;
        const double w = o.to - o.from;
        if (o.kind == Opening::Door) {
            const double hinge = o.hingeAtStart ? o.from : o.to;
            const double other = o.hingeAtStart ? o.to : o.from;
            const P h = at(hinge, o.side * t / 2);
            const P leafEnd = h + n * (o.side * w);
            const P closed = at(other, o.side * t / 2);
            dxf.line("DOORS", h, leafEnd);
            const double a1 = angleOf(closed - h), a2 = angleOf(leafEnd - h);
            const P u = closed - h, v = leafEnd - h;
            if (u.x * v.y - u.y * v.x > 0)
                dxf.arc("DOORS", h, w, a1, a2);
            else
                dxf.arc("DOORS", h, w, a2, a1);
            dxf.line("DOORS", at(o.from, -t / 2), at(o.from, t / 2));
            dxf.line("DOORS", at(o.to, -t / 2), at(o.to, t / 2));
        } else if (o.kind == Opening::Window) {
            for (double off : {-t / 2, -t / 10, t / 10, t / 2})
                dxf.line("WINDOWS", at(o.from, off), at(o.to, off));
            dxf.line("WINDOWS", at(o.from, -t / 2), at(o.from, t / 2));
            dxf.line("WINDOWS", at(o.to, -t / 2), at(o.to, t / 2));
        }
    }
    piece(s, length);
}

// A horizontal or vertical dimension with ticks and its measure written on it.
void dimension(Dxf& dxf, P a, P b, double offset, double textHeight)
{
    const bool horizontal = std::fabs(a.y - b.y) < std::fabs(a.x - b.x);
    const P n = horizontal ? P{0, offset > 0 ? 1.0 : -1.0} : P{offset > 0 ? -1.0 : 1.0, 0};
    const double o = std::fabs(offset);
    const P a2 = a + n * o, b2 = b + n * o;
    dxf.line("DIMENSIONS", a + n * (o * 0.15), a2 + n * (textHeight * 0.6));
    dxf.line("DIMENSIONS", b + n * (o * 0.15), b2 + n * (textHeight * 0.6));
    dxf.line("DIMENSIONS", a2, b2);
    const double tick = textHeight * 0.5;
    for (P p : {a2, b2})
        dxf.line("DIMENSIONS", p - P{tick, tick}, p + P{tick, tick});
    const double measure = horizontal ? std::fabs(b.x - a.x) : std::fabs(b.y - a.y);
    char label[32];
    std::snprintf(label, sizeof label, "%.0f", measure);
    const P mid = (a2 + b2) * 0.5 + n * (textHeight * 0.8);
    dxf.text("DIMENSIONS", mid, textHeight, label, 256, horizontal ? 0 : 90, 1, 2);
}

void furnitureBlocks(Dxf& dxf)
{
    dxf.beginBlock("BED");
    dxf.rect("0", {0, 0}, {1600, 2000});
    dxf.polyline("0", {{{100, 1550}, 0.2}, {{700, 1550}, 0.2}, {{700, 1900}, 0.2}, {{100, 1900}, 0.2}}, true);
    dxf.polyline("0", {{{900, 1550}, 0.2}, {{1500, 1550}, 0.2}, {{1500, 1900}, 0.2}, {{900, 1900}, 0.2}}, true);
    dxf.line("0", {0, 1400}, {1600, 1400});
    dxf.line("0", {0, 1400}, {300, 1200});
    dxf.line("0", {300, 1200}, {1600, 1200});
    dxf.endBlock();

    dxf.beginBlock("TABLE4");
    dxf.polyline("0", {{{-600, -450}, 0}, {{600, -450}, 0}, {{600, 450}, 0}, {{-600, 450}, 0}}, true);
    for (P c : {P{-300, -650}, P{300, -650}, P{-300, 650}, P{300, 650}}) {
        dxf.rect("0", c - P{200, 180}, c + P{200, 180});
        dxf.line("0", c + P{-200, c.y > 0 ? 130.0 : -130.0}, c + P{200, c.y > 0 ? 130.0 : -130.0});
    }
    dxf.endBlock();

    dxf.beginBlock("SOFA");
    dxf.polyline("0", {{{0, 0}}, {{2200, 0}}, {{2200, 900}}, {{0, 900}}}, true);
    dxf.rect("0", {0, 0}, {200, 900});
    dxf.rect("0", {2000, 0}, {2200, 900});
    dxf.rect("0", {200, 700}, {2000, 900});
    dxf.line("0", {800, 0}, {800, 700});
    dxf.line("0", {1400, 0}, {1400, 700});
    dxf.endBlock();

    dxf.beginBlock("ARMCHAIR");
    dxf.polyline("0", {{{0, 0}, 0}, {{800, 0}, 0}, {{800, 800}, 0}, {{0, 800}, 0}}, true);
    dxf.rect("0", {0, 600}, {800, 800});
    dxf.arc("0", {400, 300}, 250, 180, 360);
    dxf.endBlock();

    dxf.beginBlock("WC");
    dxf.rect("0", {-250, 0}, {250, 180});
    dxf.ellipse("0", {0, 420}, {0, 240}, 0.75);
    dxf.ellipse("0", {0, 430}, {0, 170}, 0.7);
    dxf.endBlock();

    dxf.beginBlock("BASIN");
    dxf.rect("0", {-300, 0}, {300, 450});
    dxf.ellipse("0", {0, 230}, {220, 0}, 0.7);
    dxf.circle("0", {0, 380}, 20);
    dxf.endBlock();

    dxf.beginBlock("BATH");
    dxf.rect("0", {0, 0}, {1700, 750});
    dxf.polyline("0", {{{150, 80}, 0}, {{1350, 80}, 1}, {{1350, 670}, 0}, {{150, 670}, 0.4142}, {{80, 600}, 0},
                       {{80, 150}, 0.4142}},
                 true);
    dxf.circle("0", {1450, 375}, 35);
    dxf.endBlock();

    dxf.beginBlock("STOVE");
    dxf.rect("0", {0, 0}, {600, 600});
    for (P c : {P{150, 150}, P{450, 150}, P{150, 450}, P{450, 450}}) {
        dxf.circle("0", c, 110);
        dxf.circle("0", c, 60);
    }
    dxf.endBlock();

    dxf.beginBlock("SINK");
    dxf.rect("0", {0, 0}, {900, 600});
    dxf.polyline("0", {{{60, 80}, 0}, {{520, 80}, 0}, {{520, 520}, 0}, {{60, 520}, 0}}, true);
    dxf.polyline("0", {{{580, 80}, 0}, {{840, 80}, 0}, {{840, 520}, 0}, {{580, 520}, 0}}, true);
    dxf.circle("0", {290, 300}, 30);
    dxf.circle("0", {710, 300}, 30);
    dxf.endBlock();

    dxf.beginBlock("PLANT");
    dxf.circle("0", {0, 0}, 250);
    for (int i = 0; i < 8; ++i)
        dxf.arc("0", polar({0, 0}, 180, i * 45), 110, i * 45 - 60, i * 45 + 60);
    dxf.endBlock();
}

bool floorPlan(const std::string& path)
{
    Dxf dxf({{"WALLS", 8},
             {"DOORS", 5},
             {"WINDOWS", 4},
             {"FURNITURE", 94},
             {"TEXT", 7},
             {"DIMENSIONS", 1},
             {"BORDER", 7}});
    furnitureBlocks(dxf);

    const double T = 250, t = 120;  // outer and inner wall thickness
    const P right{1, 0}, up{0, 1};
    // The outer walls: bottom and top run the full width, the sides fit between them.
    wall(dxf, {0, T / 2}, right, 12000, T,
         {{1500, 3500, Opening::Window}, {4500, 6500, Opening::Window}, {9000, 10800, Opening::Window}});
    wall(dxf, {0, 9000 - T / 2}, right, 12000, T,
         {{1200, 3200, Opening::Window}, {5500, 6500, Opening::Window}, {10000, 10900, Opening::Door, -1, true}});
    wall(dxf, {T / 2, T}, up, 9000 - 2 * T, T, {{1250, 3250, Opening::Window}, {6250, 7750, Opening::Window}});
    wall(dxf, {12000 - T / 2, T}, up, 9000 - 2 * T, T, {{1250, 3250, Opening::Window}});
    // Inside: one wall across at 5500, the bedroom/bath wall and the hall/kitchen line.
    wall(dxf, {T, 5500}, right, 7500 - T - t / 2, t,
         {{3200 - T, 4100 - T, Opening::Door, -1, false}, {6300 - T, 7100 - T, Opening::Door, -1, true}});
    wall(dxf, {7500 + t / 2, 5500}, right, 12000 - T - 7500 - t / 2, t, {{1500, 2500, Opening::Gap}});
    wall(dxf, {4500, 5500 + t / 2}, up, 9000 - T - 5500 - t / 2, t, {});
    wall(dxf, {7500, T}, up, 9000 - 2 * T, t, {{1750, 3250, Opening::Gap}});

    // Furniture.
    dxf.insert("FURNITURE", "SOFA", {900, 600});
    dxf.insert("FURNITURE", "ARMCHAIR", {3500, 700}, 1, 0);
    dxf.insert("FURNITURE", "TABLE4", {4800, 3300});
    dxf.insert("FURNITURE", "PLANT", {650, 4800});
    dxf.insert("FURNITURE", "BED", {700, 6800}, 1, 0);
    dxf.insert("FURNITURE", "PLANT", {3900, 8350});
    dxf.insert("FURNITURE", "BATH", {4700, 8050}, 1, 0);
    dxf.insert("FURNITURE", "WC", {7300, 6700}, 1, 90);
    dxf.insert("FURNITURE", "BASIN", {6100, 5650}, 1, 0);
    dxf.insert("FURNITURE", "STOVE", {11750, 2000}, 1, 90);
    dxf.insert("FURNITURE", "SINK", {11750, 3200}, 1, 90);
    dxf.polyline("FURNITURE", {{{11150, 300}}, {{11750, 300}}, {{11750, 5400}}, {{11150, 5400}}}, false);
    dxf.insert("FURNITURE", "TABLE4", {9300, 2300}, 0.8, 90);

    // Room names and areas.
    struct Room {
        const char* name;
        P centre;
        double area;
    };
    for (const Room& r : {Room{"LIVING ROOM", {3800, 2300}, 38.9}, Room{"KITCHEN", {9700, 4300}, 21.7},
                          Room{"BEDROOM", {2300, 6200}, 13.8}, Room{"BATH", {6000, 7200}, 9.4},
                          Room{"HALL", {9700, 7200}, 13.5}}) {
        dxf.text("TEXT", r.centre, 220, r.name, 256, 0, 1, 2);
        char area[32];
        std::snprintf(area, sizeof area, "%.1f m2", r.area);
        dxf.text("TEXT", r.centre - P{0, 330}, 150, area, 256, 0, 1, 2);
    }
    dxf.text("TEXT", {10450, 9500}, 180, "ENTRANCE", 256, 0, 1, 2);

    // Overall dimensions and the room widths along the bottom.
    dimension(dxf, {0, 0}, {12000, 0}, -1300, 180);
    dimension(dxf, {0, 0}, {7500, 0}, -700, 180);
    dimension(dxf, {7500, 0}, {12000, 0}, -700, 180);
    dimension(dxf, {0, 0}, {0, 9000}, 1300, 180);
    dimension(dxf, {0, 0}, {0, 5500}, 700, 180);
    dimension(dxf, {0, 5500}, {0, 9000}, 700, 180);

    // Sheet border and title.
    dxf.rect("BORDER", {-2200, -2400}, {13200, 10200});
    dxf.rect("BORDER", {8200, -2400}, {13200, -1500});
    dxf.text("TEXT", {8400, -1850}, 250, "APARTMENT - FLOOR PLAN");
    dxf.text("TEXT", {8400, -2200}, 150, "Scale 1:100   Units: mm   Lumicade sample");
    // North arrow.
    const P north{-1200, 8700};
    dxf.circle("BORDER", north, 400);
    dxf.solid("BORDER", north + P{0, 380}, north + P{-160, -250}, north + P{0, -120}, north + P{0, -120});
    dxf.text("TEXT", north + P{0, 650}, 200, "N", 256, 0, 1, 2);
    return dxf.write(path, 20);
}

// ---------------------------------------------------------------- flange

bool flange(const std::string& path)
{
    Dxf dxf({{"OUTLINE", 7}, {"HIDDEN", 8, "HIDDEN"}, {"CENTER", 1, "CENTER"}, {"SECTION", 8},
             {"DIMENSIONS", 5}, {"TEXT", 7}, {"BORDER", 7}});
    const P c{160, 170};
    const double outer = 100, boltCircle = 80, hole = 9, hub = 55, bore = 30;

    // Front view.
    dxf.circle("OUTLINE", c, outer);
    dxf.circle("OUTLINE", c, hub);
    dxf.circle("CENTER", c, boltCircle);
    for (int i = 0; i < 8; ++i) {
        const P h = polar(c, boltCircle, 22.5 + i * 45);
        dxf.circle("OUTLINE", h, hole);
        dxf.line("CENTER", polar(h, 14, 22.5 + i * 45), polar(h, -14, 22.5 + i * 45));
    }
    // The bore with its keyway.
    const double key = 8, keyDepth = 34.5;
    const double a = std::asin(key / bore) * 180 / kPi;
    const P k1 = polar(c, bore, 90 - a), k2 = polar(c, bore, 90 + a);
    dxf.arc("OUTLINE", c, bore, 90 + a, 360 + 90 - a);
    dxf.polyline("OUTLINE", {{k1}, {{k1.x, c.y + keyDepth}}, {{k2.x, c.y + keyDepth}}, {k2}}, false);
    dxf.line("CENTER", c - P{outer + 12, 0}, c + P{outer + 12, 0});
    dxf.line("CENTER", c - P{0, outer + 12}, c + P{0, outer + 12});

    // Section A-A beside it: the flange disc and the hub, cut through the bolt holes.
    const double x0 = 320, disc = 22, hubLength = 60;
    auto section = [&](double sign) {
        // One half of the section, above (sign 1) or below (-1) the axis.
        auto y = [&](double r) { return c.y + sign * r; };
        std::vector<Vertex> disc1 = {{{x0, y(boltCircle + hole)}}, {{x0 + disc, y(boltCircle + hole)}},
                                     {{x0 + disc, y(outer)}}, {{x0, y(outer)}}};
        std::vector<Vertex> web = {{{x0, y(bore)}}, {{x0 + hubLength, y(bore)}}, {{x0 + hubLength, y(hub)}},
                                   {{x0 + disc, y(hub)}}, {{x0 + disc, y(boltCircle - hole)}},
                                   {{x0, y(boltCircle - hole)}}};
        for (const auto& loop : {disc1, web}) {
            dxf.hatch("SECTION", {loop}, false, 256, 1.2);
            dxf.polyline("OUTLINE", loop, true);
        }
        // The bolt hole seen from the side.
        dxf.line("OUTLINE", {x0, y(boltCircle - hole)}, {x0, y(boltCircle + hole)});
        dxf.line("OUTLINE", {x0 + disc, y(boltCircle - hole)}, {x0 + disc, y(boltCircle + hole)});
        dxf.line("CENTER", {x0 - 8, y(boltCircle)}, {x0 + disc + 8, y(boltCircle)});
    };
    section(1);
    section(-1);
    dxf.line("HIDDEN", {x0, c.y + keyDepth}, {x0 + hubLength, c.y + keyDepth});
    dxf.line("CENTER", {x0 - 12, c.y}, {x0 + hubLength + 12, c.y});
    // Chamfer lines on the hub end.
    dxf.line("OUTLINE", {x0 + hubLength - 3, c.y + hub}, {x0 + hubLength, c.y + hub - 3});
    dxf.line("OUTLINE", {x0 + hubLength - 3, c.y - hub}, {x0 + hubLength, c.y - hub + 3});

    // Section marks.
    for (double s : {1.0, -1.0}) {
        const P m = c + P{0, s * (outer + 22)};
        dxf.polyline("OUTLINE", {{m + P{0, -s * 6}}, {m}, {m + P{14, 0}}}, false, 256, 1.2);
        dxf.solid("OUTLINE", m + P{22, 0}, m + P{14, 3}, m + P{14, -3}, m + P{14, -3});
        dxf.text("TEXT", m + P{-8, s * 4}, 7, "A", 256, 0, 1, 2);
    }
    dxf.text("TEXT", {x0 + 30, c.y + outer + 14}, 7, "SECTION A-A", 256, 0, 1, 2);

    // Dimensions.
    auto arrow = [&](P tip, P dir) {
        const P n{-dir.y, dir.x};
        dxf.solid("DIMENSIONS", tip, tip - dir * 6 + n * 1.5, tip - dir * 6 - n * 1.5, tip - dir * 6 - n * 1.5);
    };
    auto diameter = [&](double r, double angle, const char* label) {
        const P a1 = polar(c, r, angle), a2 = polar(c, r, angle + 180);
        dxf.line("DIMENSIONS", a1, a2);
        const P d{std::cos(angle * kPi / 180), std::sin(angle * kPi / 180)};
        arrow(a1, d);
        arrow(a2, d * -1);
        // Keep the label readable: never upside down.
        const double reading = angle > 90 ? angle - 180 : angle;
        dxf.text("DIMENSIONS", polar(c, r * 0.55, angle + 180) + P{0, 3}, 5, label, 256, reading, 1, 0);
    };
    diameter(outer, 0, "%%c200");
    diameter(hub, 135, "%%c110");
    dxf.text("DIMENSIONS", polar(c, boltCircle + 14, 112), 5, "8x %%c18 EQ. SP. ON %%c160", 256, 0, 1, 2);
    const double dy = c.y - outer - 12;
    dxf.line("DIMENSIONS", {x0, dy}, {x0 + hubLength, dy});
    dxf.line("DIMENSIONS", {x0, c.y - outer + 20}, {x0, dy - 3});
    dxf.line("DIMENSIONS", {x0 + hubLength, c.y - hub}, {x0 + hubLength, dy - 3});
    arrow({x0, dy}, {-1, 0});
    arrow({x0 + hubLength, dy}, {1, 0});
    dxf.text("DIMENSIONS", {x0 + hubLength / 2, dy + 2}, 5, "60", 256, 0, 1, 0);

    // Border and title block.
    dxf.rect("BORDER", {10, 10}, {480, 330});
    dxf.rect("BORDER", {300, 10}, {480, 50});
    dxf.line("BORDER", {300, 30}, {480, 30});
    dxf.text("TEXT", {306, 36}, 8, "WELD NECK FLANGE DN100");
    dxf.text("TEXT", {306, 16}, 5, "Steel S235   Scale 1:2   Lumicade sample");
    dxf.mtext("TEXT", {20, 45}, 4.5, 150,
              "NOTES:\\P1. Break all sharp edges.\\P2. Bolt holes drilled through.\\P3. Unspecified chamfers 3x45%%d.");
    return dxf.write(path, 0.5);
}

// ---------------------------------------------------------------- entity sheet

bool entitySheet(const std::string& path)
{
    Dxf dxf({{"LINES", 7}, {"CURVES", 5}, {"FILLS", 3}, {"TEXT", 7}, {"FRAME", 8}, {"LINETYPES", 7}});
    const double cell = 100;
    auto frame = [&](int col, int row, const char* title) {
        const P o{col * cell, -row * cell};
        dxf.rect("FRAME", o + P{2, -98}, o + P{98, -2});
        dxf.text("TEXT", o + P{50, -92}, 5, title, 256, 0, 1, 2);
        return o + P{50, -45};  // the cell's centre
    };

    // LINE: a burst of coloured rays.
    P m = frame(0, 0, "LINE");
    for (int i = 0; i < 24; ++i)
        dxf.line("LINES", m, polar(m, 38, i * 15), 1 + i % 6);

    // CIRCLE: concentric rings.
    m = frame(1, 0, "CIRCLE");
    for (int i = 1; i <= 7; ++i)
        dxf.circle("CURVES", m, i * 5.5, 10 * i);

    // ARC: a spiral of half turns.
    m = frame(2, 0, "ARC");
    for (int i = 0; i < 8; ++i) {
        const double r = 4 + i * 4.5;
        dxf.arc("CURVES", m + P{i % 2 ? -2.25 : 0, 0}, r, i % 2 ? 180 : 0, i % 2 ? 360 : 180, 5);
    }

    // LWPOLYLINE: a rounded star with width and bulged corners.
    m = frame(3, 0, "LWPOLYLINE");
    std::vector<Vertex> star;
    for (int i = 0; i < 10; ++i)
        star.push_back({polar(m, i % 2 ? 16 : 38, 90 + i * 36), i % 2 ? 0.0 : 0.3});
    dxf.polyline("LINES", star, true, 6, 1.2);

    // ELLIPSE: a flower of rotated ellipses and one open arc.
    m = frame(0, 1, "ELLIPSE");
    for (int i = 0; i < 6; ++i)
        dxf.ellipse("CURVES", m, polar({0, 0}, 36, i * 30), 0.3, 0, 2 * kPi, 140 + i * 10);
    dxf.ellipse("CURVES", m, {14, 0}, 0.6, 0, kPi, 1);

    // SPLINE: a wave through its control points.
    m = frame(1, 1, "SPLINE");
    std::vector<P> control;
    for (int i = 0; i <= 8; ++i)
        control.push_back(m + P{-40 + i * 10.0, (i % 2 ? 25.0 : -25.0) * (i == 0 || i == 8 ? 0 : 1)});
    dxf.spline("CURVES", control, 3);
    for (P p : control)
        dxf.circle("FRAME", p, 1);

    // TEXT: sizes and angles.
    m = frame(2, 1, "TEXT");
    dxf.text("TEXT", m + P{-40, 22}, 10, "Lumicade", 1);
    dxf.text("TEXT", m + P{-40, 8}, 6, "DWG to JPEG", 5);
    dxf.text("TEXT", m + P{-40, -4}, 4, "ABCDEFGHIJKLM 0123456789");
    dxf.text("TEXT", m + P{-30, -30}, 6, "rotated 30", 3, 30);
    dxf.text("TEXT", m + P{0, -38}, 5, "centred", 6, 0, 1, 0);

    // MTEXT: a paragraph that wraps.
    m = frame(3, 1, "MTEXT");
    dxf.mtext("TEXT", m + P{-42, 40}, 4.2, 84,
              "Multi-line text keeps its paragraphs:\\PFirst line\\PSecond line, which is long enough "
              "to wrap inside the box.\\PThird line.");

    // POINT: a grid of points.
    m = frame(0, 2, "POINT");
    for (int i = -4; i <= 4; ++i)
        for (int j = -4; j <= 4; ++j)
            dxf.point("LINES", m + P{i * 9.0, j * 9.0}, (i + j) % 2 ? 7 : 1);

    // SOLID: triangles and quadrilaterals.
    m = frame(1, 2, "SOLID");
    for (int i = 0; i < 6; ++i) {
        const P a = polar(m, 38, i * 60), b = polar(m, 38, i * 60 + 60);
        dxf.solid("FILLS", m, a, b, b, 1 + i);
    }
    dxf.solid("FILLS", m + P{-10, -10}, m + P{10, -10}, m + P{-10, 10}, m + P{10, 10}, 7);

    // HATCH: a solid ring and a pattern in a square.
    m = frame(2, 2, "HATCH");
    auto circleLoop = [&](P c, double r) {
        return std::vector<Vertex>{{c + P{r, 0}, 1}, {c - P{r, 0}, 1}};
    };
    dxf.hatch("FILLS", {circleLoop(m + P{-18, 0}, 20), circleLoop(m + P{-18, 0}, 9)}, true, 4);
    std::vector<Vertex> square = {{m + P{4, -20}}, {m + P{40, -20}}, {m + P{40, 20}}, {m + P{4, 20}}};
    dxf.hatch("FILLS", {square}, false, 1, 0.8);
    dxf.polyline("LINES", square, true);

    // POLYLINE: an old-style polyline that tapers.
    m = frame(3, 2, "POLYLINE");
    std::vector<std::pair<P, double>> taper;
    for (int i = 0; i <= 8; ++i)
        taper.push_back({m + P{-36 + i * 9.0, (i % 2 ? 14.0 : -14.0)}, 6 - i * 0.7});
    dxf.heavyPolyline("LINES", taper, 30);

    // INSERT: one block placed as a rotated array.
    dxf.beginBlock("GEAR");
    std::vector<Vertex> gear;
    for (int i = 0; i < 16; ++i) {
        gear.push_back({polar({0, 0}, i % 2 ? 6.5 : 8, i * 22.5 - 5)});
        gear.push_back({polar({0, 0}, i % 2 ? 6.5 : 8, i * 22.5 + 5)});
    }
    dxf.polyline("0", gear, true, 256);
    dxf.circle("0", {0, 0}, 2.5);
    dxf.endBlock();
    m = frame(0, 3, "INSERT");
    dxf.insert("CURVES", "GEAR", m + P{-27, -27}, 1, 0, 3, 3, 27, 27);

    // Linetypes.
    m = frame(1, 3, "LINETYPES");
    const char* types[] = {"CONTINUOUS", "DASHED", "CENTER", "HIDDEN"};
    for (int i = 0; i < 4; ++i) {
        const double y = 28 - i * 16;
        dxf.line("LINETYPES", m + P{-42, y}, m + P{42, y}, 256, types[i]);
        dxf.text("TEXT", m + P{-42, y + 2.5}, 3.5, types[i]);
    }

    // Colours: the first 63 of the palette.
    m = frame(2, 3, "COLOURS");
    for (int i = 0; i < 63; ++i) {
        const P o = m + P{-40 + (i % 9) * 9.0, 30 - (i / 9) * 9.0};
        dxf.solid("FILLS", o, o + P{8, 0}, o + P{0, -8}, o + P{8, -8}, 1 + i * 4);
    }

    // Everything together: a small logo.
    m = frame(3, 3, "TOGETHER");
    dxf.hatch("FILLS", {circleLoop(m, 30)}, true, 5);
    dxf.circle("LINES", m, 30);
    dxf.polyline("LINES", {{m + P{-14, -14}}, {m + P{-14, 16}}, {m + P{-6, 16}}, {m + P{-6, -6}}, {m + P{14, -6}},
                           {m + P{14, -14}}},
                 true, 7, 0);
    dxf.hatch("FILLS", {{{m + P{-14, -14}}, {m + P{-14, 16}}, {m + P{-6, 16}}, {m + P{-6, -6}}, {m + P{14, -6}},
                         {m + P{14, -14}}}},
              true, 7);

    dxf.text("TEXT", {0, 12}, 9, "LUMICADE - ONE OF EACH KIND");
    return dxf.write(path, 1);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output folder>\n", argv[0]);
        return 2;
    }
    const std::string folder = argv[1];
    const bool ok = floorPlan(folder + "/Floor Plan.dxf") && flange(folder + "/Flange.dxf")
        && entitySheet(folder + "/Entity Sheet.dxf");
    if (!ok)
        std::fprintf(stderr, "could not write the sample drawings into %s\n", folder.c_str());
    return ok ? 0 : 1;
}
