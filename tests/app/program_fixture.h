// The real druvex-setup program on a test device: a copy of it in the
// device's program folder, run as a child process with shell words, its
// output, status and logs; and a sound archive of a controller installer.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "../payload/payload_test_support.h"
#include "support/device_fixture.h"
#include "support/external_tool.h"

namespace druvex::test {

namespace fs = std::filesystem;

inline const std::string kSetupProgram = DRUVEX_SETUP_PROGRAM;

inline std::string quoted(const fs::path& path)
{
    return "'" + path.string() + "'";
}

inline std::string textOf(const Bytes& bytes)
{
    return std::string(bytes.begin(), bytes.end());
}

struct ProgramRun {
    int status = -1;
    std::string out;
    std::string err;
};

class InstallerApp : public DeviceFixture {
protected:
    void SetUp() override
    {
        DeviceFixture::SetUp();
        device().makeStandardFolders();
        fs::create_directories(programFolder());
        fs::copy_file(kSetupProgram, program());
    }

    fs::path programFolder() { return device().hostPath("Program Files/Druvex"); }
    fs::path program() { return programFolder() / "install.exe"; }

    // The program with `arguments` (shell words) on the device, standard
    // input not a terminal.
    ProgramRun run(const std::string& arguments, const std::string& environment = "")
    {
        const fs::path errors = device().directory() / "stderr.txt";
        const std::string command = "cd " + quoted(device().directory()) + " && " +
                                    (environment.empty() ? "DRUVEX_DEVICE=" + quoted(device().directory())
                                                         : environment) +
                                    " " + quoted(program()) + " " + arguments + " 2>" + quoted(errors);
        const ToolResult result = runTool(command);
        return ProgramRun{result.exitCode, textOf(result.output), textOf(readFileBytes(errors))};
    }
    // Every log the program wrote beside itself.
    std::string logs()
    {
        std::string all;
        for (const auto& entry : fs::directory_iterator(programFolder())) {
            if (entry.path().string().ends_with(".log.txt"))
                all += textOf(readFileBytes(entry.path()));
        }
        return all;
    }

    // An archive with the installer data of a controller installer.
    static Bytes soundArchive(std::uint64_t base = 0)
    {
        const std::string data =
            "<data><Version>3</Version><Variables><Variable Type=\"ProgramName\" Value=\"Survey\"/><Variable "
            "Type=\"ProgramUuid\" Value=\"{6F1A2B3C-4D5E-4F60-8A9B-0C1D2E3F4A5B}\"/></Variables></data>";
        const std::string info =
            "<InstallerConfiguration InstallerType=\"Full\" InstallerPlat=\"Controller\" TargetPlatMask=\"Qm40\"/>";
        return buildArchive({codedEntry(u"Data", kPayloadMethodLzma, toBytes(data)),
                             codedEntry(u"InstallerInfo", kPayloadMethodLzma, toBytes(info))},
                            base);
    }
    // Appends the archive to the program file, with a byte of its directory
    // flipped when asked.
    void appendArchive(bool damageDirectory = false)
    {
        Bytes archive = soundArchive(fs::file_size(program()));
        if (damageDirectory)
            archive[archive.size() - 60] ^= 0xFF;
        Bytes whole = readFileBytes(program());
        whole.insert(whole.end(), archive.begin(), archive.end());
        writeFileBytes(program(), whole);
    }
};

}  // namespace druvex::test
