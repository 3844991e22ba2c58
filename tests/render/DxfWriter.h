#pragma once
// Small DXF files written by the tests: layers, blocks, paper space
// layouts with viewports, external references, images and underlays.
// Entities are group text ("0\nLINE\n..."), built by the helpers below.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

namespace dxfwriter {

inline std::string num(double v) {
    std::string s = std::to_string(v);
    return s;
}
inline std::string g(int code, const std::string& value) { return std::to_string(code) + "\n" + value + "\n"; }
inline std::string g(int code, double value) { return g(code, num(value)); }
inline std::string g(int code, int value) { return g(code, std::to_string(value)); }
inline std::string point(int code, double x, double y, double z = 0) {
    return g(code, x) + g(code + 10, y) + g(code + 20, z);
}

struct Common {
    std::string layer = "0";
    int color = 256;
    bool paper = false;
    std::string handle;
};
inline Common on(int color, const std::string& layer = "0", bool paper = false, const std::string& handle = {}) {
    Common c;
    c.color = color;
    c.layer = layer;
    c.paper = paper;
    c.handle = handle;
    return c;
}
inline std::string common(const char* type, const Common& c) {
    std::string s = g(0, std::string(type));
    if (!c.handle.empty()) s += g(5, c.handle);
    if (c.paper) s += g(67, 1);
    return s + g(8, c.layer) + g(62, c.color);
}

inline std::string line(double x0, double y0, double x1, double y1, Common c = {}) {
    return common("LINE", c) + point(10, x0, y0) + point(11, x1, y1);
}
// A filled rectangle.
inline std::string box(double x0, double y0, double x1, double y1, Common c = {}) {
    return common("SOLID", c) + point(10, x0, y0) + point(11, x1, y0) + point(12, x0, y1) + point(13, x1, y1);
}
inline std::string circle(double x, double y, double r, Common c = {}) {
    return common("CIRCLE", c) + point(10, x, y) + g(40, r);
}
inline std::string polygon(const std::vector<std::pair<double, double>>& pts, Common c = {}) {
    std::string s = common("LWPOLYLINE", c) + g(100, std::string("AcDbPolyline")) + g(90, static_cast<int>(pts.size())) + g(70, 1);
    for (auto [x, y] : pts) s += g(10, x) + g(20, y);
    return s;
}
inline std::string insert(const std::string& block, double x, double y, double scale = 1, double rotationDeg = 0,
                          Common c = {}) {
    return common("INSERT", c) + g(2, block) + point(10, x, y) + g(41, scale) + g(42, scale) + g(43, scale) +
           g(50, rotationDeg);
}

struct Viewport {
    double cx = 0, cy = 0, width = 0, height = 0;   // on paper
    double viewX = 0, viewY = 0, viewHeight = 0;     // what it looks at
    double targetX = 0, targetY = 0;
    double twistDeg = 0;
    int id = 0;
    int flags = 32800;
    std::vector<std::string> frozenLayerHandles;
    std::string clipBoundary;                        // handle of a paper space entity
};
inline std::string viewport(const Viewport& v, Common c = {}) {
    c.paper = true;
    std::string s = common("VIEWPORT", c) + g(100, std::string("AcDbViewport")) + point(10, v.cx, v.cy) +
                    g(40, v.width) + g(41, v.height) + g(68, v.id > 0 ? 1 : 0) + g(69, v.id) +
                    g(12, v.viewX) + g(22, v.viewY) + point(16, 0, 0, 1) + point(17, v.targetX, v.targetY) +
                    g(45, v.viewHeight) + g(51, v.twistDeg) + g(90, v.flags);
    for (const std::string& h : v.frozenLayerHandles) s += g(341, h);
    if (!v.clipBoundary.empty()) s += g(340, v.clipBoundary);
    return s;
}
// The viewport that is the sheet itself, first in every layout.
inline Viewport sheet(double width, double height) {
    Viewport v;
    v.cx = width / 2, v.cy = height / 2, v.width = width, v.height = height;
    v.viewX = v.cx, v.viewY = v.cy, v.viewHeight = height, v.id = 1;
    return v;
}

class File {
public:
    std::string header;     // "9\n$VAR\n..." groups
    std::string layers;     // LAYER records
    std::string viewports;  // VPORT records
    std::string styles;     // STYLE records
    std::string blocks;     // BLOCK ... ENDBLK records
    std::string entities;
    std::string objects;

    void variable(const std::string& name, int code, const std::string& value) { header += g(9, name) + g(code, value); }
    // The view model space was saved with.
    void activeView(double cx, double cy, double height, double aspect, double dx = 0, double dy = 0, double dz = 1) {
        viewports += g(0, std::string("VPORT")) + g(2, std::string("*ACTIVE")) + point(12, cx, cy) +
                     point(16, dx, dy, dz) + point(17, 0, 0) + g(40, height) + g(41, aspect);
    }
    void tileMode(bool model) { variable("$TILEMODE", 70, model ? "1" : "0"); }
    void layer(const std::string& name, int color, const std::string& handle, bool frozen = false) {
        layers += g(0, std::string("LAYER")) + g(5, handle) + g(2, name) + g(70, frozen ? 1 : 0) + g(62, color) +
                  g(6, std::string("Continuous"));
    }
    // flags 4: an external reference (path names its file), 8: an overlay.
    void block(const std::string& name, const std::string& content, int flags = 0, const std::string& path = {},
               const std::string& recordHandle = {}) {
        blocks += g(0, std::string("BLOCK"));
        if (!recordHandle.empty()) blocks += g(330, recordHandle);
        blocks += g(8, std::string("0")) + g(2, name) + g(70, flags) + point(10, 0, 0) + g(3, name);
        if (!path.empty()) blocks += g(1, path);
        blocks += content + g(0, std::string("ENDBLK")) + g(8, std::string("0"));
    }
    void style(const std::string& name, const std::string& fontFile) {
        styles += g(0, std::string("STYLE")) + g(2, name) + g(70, 0) + g(40, 0.0) + g(41, 1.0) + g(3, fontFile);
    }
    void layout(const std::string& name, int tabOrder, const std::string& recordHandle, const std::string& handle) {
        objects += g(0, std::string("LAYOUT")) + g(5, handle) + g(100, std::string("AcDbPlotSettings")) +
                   g(100, std::string("AcDbLayout")) + g(1, name) + g(70, 1) + g(71, tabOrder) + g(330, recordHandle);
    }

    std::string text() const {
        std::string s = g(0, std::string("SECTION")) + g(2, std::string("HEADER")) + g(9, std::string("$ACADVER")) +
                        g(1, std::string("AC1027")) + header + g(0, std::string("ENDSEC"));
        s += g(0, std::string("SECTION")) + g(2, std::string("TABLES")) + g(0, std::string("TABLE")) +
             g(2, std::string("LAYER")) + layers + g(0, std::string("ENDTAB"));
        if (!viewports.empty())
            s += g(0, std::string("TABLE")) + g(2, std::string("VPORT")) + viewports + g(0, std::string("ENDTAB"));
        if (!styles.empty())
            s += g(0, std::string("TABLE")) + g(2, std::string("STYLE")) + styles + g(0, std::string("ENDTAB"));
        s += g(0, std::string("ENDSEC"));
        s += g(0, std::string("SECTION")) + g(2, std::string("BLOCKS")) + blocks + g(0, std::string("ENDSEC"));
        s += g(0, std::string("SECTION")) + g(2, std::string("ENTITIES")) + entities + g(0, std::string("ENDSEC"));
        s += g(0, std::string("SECTION")) + g(2, std::string("OBJECTS")) + objects + g(0, std::string("ENDSEC"));
        return s + g(0, std::string("EOF"));
    }
    bool save(const QString& path) const {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly)) return false;
        const std::string t = text();
        return f.write(t.data(), static_cast<qint64>(t.size())) == static_cast<qint64>(t.size());
    }
};

}  // namespace dxfwriter
