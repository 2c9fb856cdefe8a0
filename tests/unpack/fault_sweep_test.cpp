// Every host operation of a representative run failed in turn, each way it can
// fail, on the real file system: the status and message are those of the failing
// step, nothing lands outside the output directory, and nothing is reported
// done that was not.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>

#include "support/fault_host.h"
#include "support/memory_host.h"
#include "support/scratch.h"
#include "unpack/unpack.h"

namespace quill {
namespace {

using testing::FaultHost;
using testing::FaultKind;
using testing::Operation;
using testing::ScratchDirectory;

struct SweepArchive {
    const char* what;
    std::string list;
    bool subdirectoryExists;  // data/SFX made before the run
};

std::string resourceBytes() {
    std::string bytes(3000, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>((i * 7 + 3) & 0xff);
    return bytes;
}

std::string unscrambled(const std::string& samples) {
    std::string out = samples;
    for (std::size_t k = 0; k < out.size(); k += 3) out[k] = static_cast<char>((static_cast<unsigned char>(out[k]) + k) & 0xff);
    return out;
}

// The file each output name must hold after a complete run (later entries replace earlier ones).
std::map<std::string, std::string> expectedFiles(const std::string& list, const std::string& resource) {
    std::map<std::string, std::string> files;
    char name[16];
    int length = 0;
    int offset = 0;
    int used = 0;
    for (const char* at = list.c_str(); std::sscanf(at, "%d %d %12s%n", &length, &offset, name, &used) == 3; at += used) {
        std::string path = name;
        std::replace(path.begin(), path.end(), '\\', '/');
        const std::string bytes = resource.substr(static_cast<std::size_t>(offset), static_cast<std::size_t>(length));
        files["data/" + path] = bytes;
        if (path.ends_with(".DIG")) files["data/" + path.substr(0, path.size() - 4) + ".WAV"] = "";  // checked apart
    }
    return files;
}

struct Expected {
    int status;
    std::string message;
};

// The status a failure of this operation must give; -1 when it may pass unnoticed.
Expected expectedFor(const testing::OperationRecord& op, FaultKind kind) {
    const bool list = op.path.ends_with(".RD");
    const bool wav = op.path.ends_with(".WAV");
    switch (op.operation) {
        case Operation::openForReading:
            return list ? Expected{2, "Error - can't open list file *.RD!\n\n"}
                        : Expected{4, "Error - can't open resource file *.RES!\n\n"};
        case Operation::read:
            if (list) return kind == FaultKind::refuse ? Expected{2, "Error - can't open list file *.RD!\n\n"} : Expected{-1, ""};
            return {4, "Error - can't open resource file *.RES!\n\n"};
        case Operation::measure: return {4, "Error - can't open resource file *.RES!\n\n"};
        case Operation::allocate: return {4, "Error - can't allocate memory!\n\n"};
        case Operation::makeDirectory: return {-1, ""};
        case Operation::createForWriting:
        case Operation::write:
        case Operation::close:
            return wav ? Expected{7, "\nError - can't create destination file (*.WAV)!\n\n"}
                       : Expected{6, "\nError - can't create destination file!\n\n"};
        // The packer's operations: the unpacker asks for none of them.
        case Operation::openForAppending:
        case Operation::makeDurable:
        case Operation::replaceFile:
        case Operation::lockExclusive:
        case Operation::cutBack:
        case Operation::readModificationTime:
        case Operation::removeFile: return {-1, ""};
        case Operation::lookUp: return {-1, ""};
    }
    return {-1, ""};
}

struct RunResult {
    ExitCode code;
    std::string console;
    std::vector<testing::OperationRecord> operations;
    const testing::OperationRecord* injected;
};

class FaultSweep : public ::testing::TestWithParam<SweepArchive> {
protected:
    const std::string resource = resourceBytes();

    void prepare(const ScratchDirectory& scratch) const {
        testing::writeFile(scratch.path() / "game/S.RD", GetParam().list);
        testing::writeFile(scratch.path() / "game/S.RES", resource);
        if (GetParam().subdirectoryExists) std::filesystem::create_directories(scratch.path() / "game/data/SFX");
    }
};

void PrintTo(const SweepArchive& archive, std::ostream* out) { *out << archive.what; }

TEST_P(FaultSweep, EveryFailingOperationGivesItsOwnStatus) {
    const std::string listPath = "game/S.RD";
    const auto expected = expectedFiles(GetParam().list, resource);
    int injectedFaults = 0;

    for (const FaultKind kind : {FaultKind::refuse, FaultKind::cutShort}) {
        for (int armed = 1;; ++armed) {
            ScratchDirectory scratch;
            prepare(scratch);
            FaultHost host(systemHost(), armed, kind);
            testing::CapturedConsole console;
            const std::string list = (scratch.path() / listPath).string();
            const char* arguments[] = {"quillfane", list.c_str(), "-dig2wav"};
            const ExitCode code = run(3, arguments, host, console);
            const int status = static_cast<int>(code);
            const auto* injected = host.injected();
            if (injected == nullptr) {
                // The run needed fewer operations than armed: a clean run ends the sweep.
                EXPECT_EQ(status, 0) << console.text;
                break;
            }
            const bool shortable = injected->operation == Operation::read || injected->operation == Operation::write;
            if (kind == FaultKind::cutShort && !shortable) continue;  // same as a refusal
            ++injectedFaults;
            const std::string where = std::string(operationName(injected->operation)) + " of '" + injected->path +
                                      "' (operation " + std::to_string(armed) + ")";

            const Expected want = expectedFor(*injected, kind);
            const bool allDone = console.text.find("All done!") != std::string::npos;
            EXPECT_EQ(allDone, status == 0) << where;
            if (want.status >= 0) {
                EXPECT_EQ(status, want.status) << where;
                EXPECT_TRUE(console.text.ends_with(want.message)) << where << "\n" << console.text;
            } else {
                EXPECT_TRUE(status == 0 || status == 6) << where << " gave " << status;
            }

            // Nothing outside the output directory; every complete file exact.
            for (const auto& file : testing::filesBelow(scratch.path())) {
                if (file == "game/S.RD" || file == "game/S.RES") continue;
                ASSERT_TRUE(file.starts_with("game/data/")) << where << ": " << file;
                const std::string name = file.substr(5);
                ASSERT_EQ(expected.count(name), 1u) << where << ": unexpected " << file;
                std::string failingPath = injected->path;
                std::replace(failingPath.begin(), failingPath.end(), '\\', '/');
                const bool beingWritten = failingPath.ends_with(file.substr(10));
                if (status == 0 || !beingWritten) {
                    const std::string content = testing::readFile(scratch.path() / file);
                    if (!name.ends_with(".WAV")) EXPECT_EQ(content, expected.at(name)) << where << ": " << file;
                    else EXPECT_EQ(content.substr(44), unscrambled(expected.at(name.substr(0, name.size() - 4) + ".DIG")))
                             << where << ": " << file;
                }
            }
        }
    }
    EXPECT_GT(injectedFaults, 10);
    std::printf("fault sweep (%s): %d faults injected\n", GetParam().what, injectedFaults);
}

INSTANTIATE_TEST_SUITE_P(
    Archives, FaultSweep,
    ::testing::Values(SweepArchive{"fresh output directory", "100 0 A.BIN\n900 50 SHOT.DIG\n7 2990 C.BIN\n", false},
                      SweepArchive{"subdirectory entry", "100 0 A.BIN\n600 10 SFX\\BANG.DIG\n2000 1000 C.BIN\n", true}));

}  // namespace
}  // namespace quill
