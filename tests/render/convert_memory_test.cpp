// Small files written to cost as much memory as they can: a shape font
// whose glyphs call subshapes, a polyline of bulges, a dense hatch, custom
// objects' graphics of many small records. Each is converted with a small
// memory budget, and the worker's peak memory, as the system measured it,
// stays within the budget and a constant; the drawing comes out incomplete
// and says why.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <cstdint>
#include <map>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "../fonts/ShxWriter.h"
#include "ConvertToolSupport.h"

namespace {

using namespace convert_tool;

std::string group(int code, const std::string& value) { return std::to_string(code) + "\n" + value + "\n"; }

std::string dxf(const std::string& entities, const std::string& tables = {}) {
    std::string s;
    if (!tables.empty()) s += "0\nSECTION\n2\nTABLES\n" + tables + "0\nENDSEC\n";
    return s + "0\nSECTION\n2\nENTITIES\n" + entities + "0\nENDSEC\n0\nEOF\n";
}

void put32(std::string& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

// A text font of under a kilobyte: each capital calls shape 200 four
// times, each of 200..206 calls the next four times, and 207 draws sixty
// circles.
QByteArray subshapeFont() {
    std::map<unsigned, fonts_test::Program> shapes{{0, {10, 2, 0}}};
    for (unsigned c = 'A'; c <= 'Z'; ++c) shapes[c] = {7, 200, 7, 200, 7, 200, 7, 200, 0};
    for (unsigned k = 200; k < 207; ++k)
        for (int i = 0; i < 4; ++i) shapes[k].insert(shapes[k].end(), {7, static_cast<std::uint8_t>(k + 1)});
    for (int i = 0; i < 60; ++i) shapes[207].insert(shapes[207].end(), {10, 5, 0});
    const auto bytes = fonts_test::shapesFile(shapes);
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
}

std::string subshapeText() {
    std::string letters;
    for (int i = 0; i < 77; ++i) letters += "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    const std::string style = "0\nTABLE\n2\nSTYLE\n0\nSTYLE\n2\nSUB\n70\n0\n40\n0\n3\nsub.shx\n0\nENDTAB\n";
    return dxf(group(0, "TEXT") + group(8, "0") + group(10, "0") + group(20, "0") + group(40, "5") + group(1, letters) +
                   group(7, "SUB"),
               style);
}

// Vertices a drawing apart, each segment nearly a whole circle.
std::string bulgePolyline() {
    const int n = 150000;
    std::string s = group(0, "LWPOLYLINE") + group(8, "0") + group(90, std::to_string(n)) + group(70, "0");
    for (int i = 0; i < n; ++i) s += group(10, i % 2 ? "1000" : "0") + group(20, "0") + group(42, "10");
    return dxf(s);
}

// A square of a thousand units crossed by two thousand lines of dashes a
// quarter long: within the hatch budget, four million strokes.
std::string denseHatch() {
    std::string h = group(0, "HATCH") + group(8, "0") + group(2, "DENSE") + group(70, "0") + group(71, "0") +
                    group(91, "1") + group(92, "2") + group(72, "0") + group(73, "1") + group(93, "4");
    for (const char* corner : {"0\n20\n0", "1000\n20\n0", "1000\n20\n1000", "0\n20\n1000"})
        h += std::string("10\n") + corner + "\n";
    h += group(97, "0") + group(75, "0") + group(76, "1") + group(52, "0") + group(41, "1") + group(77, "0") +
         group(78, "1") + group(53, "0") + group(43, "0") + group(44, "0") + group(45, "0") + group(46, "0.5") +
         group(79, "2") + group(49, "0.25") + group(49, "-0.25") + group(98, "0");
    return dxf(h);
}

// Graphics whose header claims four thousand million records, and which
// hold three hundred thousand colour records of twelve bytes.
std::string proxyClaim() {
    std::string records;
    for (int i = 0; i < 300000; ++i) {
        put32(records, 12);
        put32(records, 14);
        put32(records, 1);
    }
    std::string graphics;
    put32(graphics, static_cast<std::uint32_t>(8 + records.size()));
    put32(graphics, 0xFFFFFFFFu);
    graphics += records;
    std::string s = group(0, "ACAD_PROXY_ENTITY") + group(8, "0") + group(100, "AcDbProxyEntity") + group(90, "498") +
                    group(92, std::to_string(graphics.size()));
    const QByteArray hex = QByteArray::fromStdString(graphics).toHex().toUpper();
    for (qsizetype at = 0; at < hex.size(); at += 254) s += group(310, hex.mid(at, 254).toStdString());
    return dxf(s);
}

struct Measured {
    int status = -1;
    long peakKilobytes = 0;  // the most the converter and its workers held
    std::string messages;
};

// Runs the converter in a child of its own, so that the peak is its alone;
// within that much address space, when given.
Measured convertMeasured(const std::vector<std::string>& args, rlim_t addressSpace = RLIM_INFINITY) {
    int err[2];
    if (::pipe(err) != 0) return {};
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(err[1], STDERR_FILENO);
        ::close(err[0]);
        const rlimit limit{addressSpace, addressSpace};
        ::setrlimit(RLIMIT_AS, &limit);
        std::vector<char*> argv{const_cast<char*>(LUMICADE_CONVERT_PROGRAM)};
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(err[1]);
    Measured m;
    char buffer[4096];
    for (ssize_t n; (n = ::read(err[0], buffer, sizeof buffer)) > 0;) m.messages.append(buffer, static_cast<std::size_t>(n));
    ::close(err[0]);
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    m.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    m.peakKilobytes = usage.ru_maxrss;
    return m;
}

TEST(ConvertMemory, HostileFilesStayWithinTheBudget) {
    constexpr long kBudgetMB = 64;
    // What a worker holds besides its drawing's work: the program, its
    // libraries and fonts, the picture's pixels and the drawing as read.
    [[maybe_unused]] constexpr long kConstantMB = 120;
    const struct {
        const char* name;
        std::string (*content)();
    } cases[] = {
        {"subshape", subshapeText},
        {"bulge", bulgePolyline},
        {"hatch", denseHatch},
        {"proxy", proxyClaim},
    };
    QTemporaryDir dir;
    writeFile(dir.filePath("sub.shx"), subshapeFont());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString input = writeFile(dir.filePath(QString::fromLatin1(c.name) + ".dxf"), QByteArray::fromStdString(c.content()));
        const Measured m = convertMeasured({"-j", "1", "--memory-limit", std::to_string(kBudgetMB) + "M", "-o",
                                            dir.filePath("out").toStdString(), input.toStdString()});
        EXPECT_EQ(m.status, 0) << m.messages;
        EXPECT_NE(m.messages.find("incomplete"), std::string::npos) << m.messages;
        EXPECT_NE(m.messages.find("memory budget reached"), std::string::npos) << m.messages;
#ifndef LUMICADE_SANITIZED  // the sanitizer's shadow and quarantine are not the program's memory
        EXPECT_LT(m.peakKilobytes, (kBudgetMB + kConstantMB) * 1024) << m.messages;
#endif
    }
}

}  // namespace

TEST(ConvertMemory, WorkBeyondTheAddressSpaceFailsThatDrawingForMemory) {
#ifdef LUMICADE_SANITIZED
    GTEST_SKIP() << "the address sanitizer maps far more address space than any limit a test can set";
#endif
    // No budget, and less room than the polyline's points need: the
    // allocation that fails fails the drawing alone, and says why.
    QTemporaryDir dir;
    const QString input = writeFile(dir.filePath("bulge.dxf"), QByteArray::fromStdString(bulgePolyline()));
    const QString plain = writeFile(dir.filePath("plain.dxf"), kLineDxf);
    const Measured m = convertMeasured({"-j", "1", "--memory-limit", "0", "-o", dir.filePath("out").toStdString(),
                                        input.toStdString(), plain.toStdString()},
                                       rlim_t{600} << 20);
    EXPECT_EQ(m.status, 1) << m.messages;
    EXPECT_NE(m.messages.find("failed: " + input.toStdString() + ": it needs more memory than a worker may take"),
              std::string::npos)
        << m.messages;
    EXPECT_NE(m.messages.find("1 converted"), std::string::npos) << m.messages;
}
