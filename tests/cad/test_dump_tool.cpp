// lumicade-dump as a user runs it: output and exit status.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "DxfTestFiles.h"

namespace {

struct DumpRun {
    int status = -1;
    std::string out, err;
};

DumpRun dump(const std::string& args) {
    // Tests may run side by side: each run has files of its own.
    static int runs = 0;
    std::string stem = "lumicade-dump-" + std::to_string(getpid()) + "-" + std::to_string(++runs);
    auto dir = std::filesystem::temp_directory_path();
    std::string outFile = (dir / (stem + ".out")).string();
    std::string errFile = (dir / (stem + ".err")).string();
    std::string command = std::string("'") + LUMICADE_DUMP_TOOL + "' " + args + " >'" + outFile + "' 2>'" + errFile + "'";
    DumpRun r;
    int raw = std::system(command.c_str());
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.out = dxftest::loadFile(outFile);
    r.err = dxftest::loadFile(errFile);
    std::filesystem::remove(outFile);
    std::filesystem::remove(errFile);
    return r;
}

std::string quoted(const std::string& path) { return "'" + path + "'"; }

}  // namespace

TEST(DumpTool, CountsJsonAndSkipped) {
    DumpRun counts = dump("--counts " + quoted(dxftest::drawing("sample_2018.dxf")));
    EXPECT_EQ(counts.status, 0);
    EXPECT_EQ(counts.out, "CIRCLE 1\nLINE 3\nLWPOLYLINE 1\nTEXT 1\n");
    EXPECT_EQ(counts.err, "");

    DumpRun json = dump("--json " + quoted(dxftest::drawing("sample_2018.dxf")));
    EXPECT_EQ(json.status, 0);
    EXPECT_EQ(json.out.substr(0, 11), "{\"header\":{");
    EXPECT_NE(json.out.find("\"type\":\"LWPOLYLINE\""), std::string::npos);
    EXPECT_EQ(json.out.back(), '\n');

    DumpRun skipped = dump("--skipped " + quoted(dxftest::drawing("example_2018.dxf")));
    EXPECT_EQ(skipped.status, 0);
    EXPECT_EQ(skipped.out, "");
    // A custom object's primitives we do not draw are skipped, and lost to its picture.
    DumpRun proxies = dump("--skipped " + quoted(dxftest::drawing("example_r14.dxf")));
    EXPECT_NE(proxies.out.find("proxy graphics primitive 51 3\n"), std::string::npos) << proxies.out;
    DumpRun lost = dump("--json " + quoted(dxftest::drawing("example_r14.dxf")));
    EXPECT_NE(lost.out.find("\"losses\":[{\"kind\":\"proxy-primitive\",\"what\":\"type 51\",\"count\":3,"),
              std::string::npos);

    // The preview a DWG stores is described, not copied out.
    DumpRun preview = dump("--json " + quoted(dxftest::drawing("example_2013.dwg")));
    EXPECT_EQ(preview.status, 0);
    EXPECT_NE(preview.out.find("\"preview\":{\"kind\":\"png\",\"width\":670,\"height\":448,\"bytes\":"),
              std::string::npos);
    EXPECT_NE(json.out.find("\"preview\":{\"kind\":\"none\"}"), std::string::npos);

    DumpRun version = dump("--version");
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "lumicade-dump " LUMICADE_VERSION "\n");
    DumpRun help = dump("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("Usage: lumicade-dump", 0), 0u);
}

TEST(DumpTool, FailuresGiveOneLineAndStatusOne) {
    auto dir = std::filesystem::temp_directory_path() / ("lumicade-dump-test-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    auto write = [&](const char* name, const std::string& bytes) {
        std::ofstream(dir / name, std::ios::binary) << bytes;
        return quoted((dir / name).string());
    };

    DumpRun missing = dump(quoted("--counts") + " " + quoted((dir / "absent.dxf").string()));
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(std::count(missing.err.begin(), missing.err.end(), '\n'), 1);
    EXPECT_EQ(missing.out, "");

    DumpRun garbage = dump("--counts " + write("garbage.dxf", "\x89PNG\r\n\x1a\n"));
    EXPECT_EQ(garbage.status, 1);
    EXPECT_NE(garbage.err.find("not a DXF or DWG drawing"), std::string::npos);

    DumpRun truncated = dump("--counts " + write("cut.dxf", "0\nSECTION\n2\nENTITIES\n0\nLINE\n"));
    EXPECT_EQ(truncated.status, 1);
    EXPECT_EQ(std::count(truncated.err.begin(), truncated.err.end(), '\n'), 1);

    // A DWG version we do not read is named.
    DumpRun old = dump("--counts " + write("old.dwg", std::string("AC1040") + std::string(200, '\0')));
    EXPECT_EQ(old.status, 1);
    EXPECT_NE(old.err.find("AC1040"), std::string::npos) << old.err;
    // The first releases are DWG files too: one cut short is said to be.
    for (const char* version : {"AC1.40", "AC2.10"}) {
        DumpRun cut = dump("--counts " + write("cut.dwg", std::string(version) + std::string(200, '\0')));
        EXPECT_EQ(cut.status, 1) << version;
        EXPECT_NE(cut.err.find("DWG file is truncated"), std::string::npos) << version << ": " << cut.err;
    }

    // A pipe with no writer, a device and a folder are refused at once, not waited on or read.
    const std::string pipe = (dir / "pipe.dxf").string();
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0644), 0);
    for (const auto& [path, words] : {std::pair<std::string, const char*>{pipe, "a pipe"},
                                      {"/dev/zero", "a device"}, {dir.string(), "Is a directory"}}) {
        DumpRun refused = dump("--counts " + quoted(path));
        EXPECT_EQ(refused.status, 1) << path;
        EXPECT_NE(refused.err.find(words), std::string::npos) << refused.err;
    }

    EXPECT_EQ(dump("").status, 2);
    EXPECT_EQ(dump("--frobnicate " + quoted(dxftest::drawing("sample_2018.dxf"))).status, 2);
    std::filesystem::remove_all(dir);
}
