// The product system file reader and its key rewrite, and the creation of a system file from
// registry values: no input may crash them, a rewritten key must read back as written, and a
// registry value may not add lines (keys) of its own to a created system file.
#include "FuzzSupport.h"
#include "environment/SystemFile.h"
#include "platform/base/RunTimeError.h"
#include "platform/files/SandboxPaths.h"
#include "platform/registry/RegistryStore.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>

using namespace pelvar;

namespace {

const SandboxPaths& sandbox() {
    static const SandboxPaths paths = [] {
        SandboxPaths p;
        p.root = fuzz::scratchFolder() + "/root";
        p.appFolder = fuzz::scratchFolder() + "/app";
        std::filesystem::create_directories(p.commonAppData() + "/Orken/Pelvar9");
        std::filesystem::create_directories(std::filesystem::path(p.registryFile()).parent_path());
        return p;
    }();
    return paths;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const SandboxPaths& paths = sandbox();
    const std::string pos = systemFilePath(paths, 1);
    const std::string ho = systemFilePath(paths, 2);
    fuzz::putFile(pos, input);
    fuzz::putFile(ho, input);

    SystemFileInfo info;
    LoadPelvarDatFileInfo(info, paths);
    FUZZ_REQUIRE(info.PosFileExists && info.HoFileExists);

    // Rewriting raises file errors to its caller; the properties hold when it did not.
    std::string key = " patchVer ";
    try {
        ReWritePelvarDatFileInfo(paths, key, "9.9.9.99", 2);
    } catch (const RunTimeError& e) {
        std::fprintf(stderr, "rewrite raised %s\n", e.what());
        return 0;
    }
    FUZZ_REQUIRE(key == "PATCHVER=");
    SystemFileInfo after;
    LoadPelvarDatFileInfo(after, paths);
    FUZZ_REQUIRE(after.Ho.PatchVer == "9.9.9.99");

    // The same bytes as the registry file: every value becomes one line of a new system file.
    std::filesystem::remove(pos);
    fuzz::putFile(paths.registryFile(), input);
    IniRegistryStore registry(paths.registryFile());
    SystemFileInfo created;
    try {
        CreateSystemFileFromRegistry(created, paths, registry, "1");
    } catch (const RunTimeError& e) {
        std::fprintf(stderr, "creation raised %s\n", e.what());
        return 0;
    }
    SystemFileInfo reread;
    LoadPelvarDatFileInfo(reread, paths);
    FUZZ_REQUIRE(reread.PosFileExists);
    // More lines than keys could only come from a value that carries a line break.
    std::size_t lines = 0;
    const std::string bytes = [&] {
        std::string all;
        FILE* f = std::fopen(pos.c_str(), "rb");
        char buffer[4096];
        std::size_t n = 0;
        while (f && (n = std::fread(buffer, 1, sizeof buffer, f)) > 0) {
            all.append(buffer, n);
        }
        if (f) {
            std::fclose(f);
        }
        return all;
    }();
    for (const char c : bytes) {
        lines += c == '\n';
    }
    FUZZ_REQUIRE(lines == 25); // the keys of a Point of Sale file, one line each
    return 0;
}

std::vector<std::string> fuzzSeeds() {
    return {
        "*comment=1\r\nSERVERTYPE=ACCESS\r\nUSER-INF1=1;sa\r\nPASSWORD=a=b\r\n"
        "LASTUPDATED=12/4/2026 4:15:02 PM\r\nHELP-KEY=true\r\nPATCHVER=9.0.1.05\r\n",
        "PELVARHOAST=x\nPELVARHOSERVER=y\nPELVARHOCLIENT=z\nPRODINSTALLDATE=not a date\n"
        "SERVERTYPE =blank before\nno equals\n",
        "[Software\\Pelvar\\POS]\nPASSWORD=a;b\nUSER-INF1=1,sa\nPatchVer=9.0.1.05\n"
        "[Software\\Pelvar\\NodeInfo]\nNodeId=7\n[Software\\Pelvar\\SetupType]\nSetupType=Server\n",
    };
}
