#include "install/system_folder/pe_image.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>

#include "common/pe_image_cases.h"
#include "common/scratch_folder.h"

namespace zel {
namespace {

namespace fs = std::filesystem;

SystemFolderKind Expected(test::Folder folder) {
    switch (folder) {
        case test::Folder::Native:
            return SystemFolderKind::Native;
        case test::Folder::ThirtyTwoBit:
            return SystemFolderKind::ThirtyTwoBit;
        case test::Folder::Unsupported:
            break;
    }
    return SystemFolderKind::Unsupported;
}

class PeImageFiles : public ::testing::Test {
protected:
    fs::path Write(const std::string& name, const std::vector<std::uint8_t>& bytes) {
        const fs::path file = dir_ / name;
        std::ofstream out(file, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return file;
    }

    const test::ScratchFolder scratch_{L"pe_image"};
    const fs::path dir_ = scratch_.path();
};

// Each case is read twice: from a buffer and from a file, and both readings agree
// with the table.
TEST_F(PeImageFiles, TableOfImages) {
    const std::string libraries = ZEL_COMDLL_DIR;
    int index = 0;
    for (const test::PeImageCase& c : test::PeImageCases()) {
        SCOPED_TRACE(c.name);
        fs::path file;
        std::vector<std::uint8_t> bytes = c.crafted;
        if (c.realLibrary) {
            if (libraries.empty()) continue;  // no cross compiler on this host
            file = fs::path(libraries) / c.realLibrary;
            std::ifstream in(file, std::ios::binary);
            ASSERT_TRUE(in) << file;
            bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        } else {
            file = Write("case" + std::to_string(index++) + ".dll", bytes);
        }

        BufferImageSource buffer(bytes);
        std::uint16_t machine = 0;
        EXPECT_EQ(ReadPeMachine(buffer, machine), c.machineRead);
        if (c.machineRead) {
            EXPECT_EQ(machine, c.machine);
        }
        EXPECT_EQ(HasDllRegisterServerExport(buffer), c.exportFound);

        std::uint16_t fileMachine = 0;
        EXPECT_EQ(ReadPeMachine(file, fileMachine), c.machineRead);
        if (c.machineRead) {
            EXPECT_EQ(fileMachine, c.machine);
        }
        EXPECT_EQ(HasDllRegisterServerExport(file), c.exportFound);

        EXPECT_EQ(SystemFolderForImage(c.machineRead, machine), Expected(c.folder));
    }
}

TEST_F(PeImageFiles, MissingFileIsNotAnImage) {
    std::uint16_t machine = 0;
    EXPECT_FALSE(ReadPeMachine(dir_ / "missing.dll", machine));
    EXPECT_FALSE(HasDllRegisterServerExport(dir_ / "missing.dll"));
}

// A name count of four billion over a table that runs off the end of a large
// file must not walk every index.
TEST(PeImage, HugeNameCountEndsQuickly) {
    test::CraftedImage image;
    image.exportNames = {"DllGetClassObject"};
    image.nameCountOverride = 0xFFFFFFFF;
    std::vector<std::uint8_t> bytes = test::BuildImage(image);
    const auto start = std::chrono::steady_clock::now();
    BufferImageSource source(bytes);
    EXPECT_FALSE(HasDllRegisterServerExport(source));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
}

}  // namespace
}  // namespace zel
