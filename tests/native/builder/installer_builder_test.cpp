#include "builder/installer_builder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>

#include "builder/pe/payload_embedding.h"
#include "builder/pe/pe_stub.h"
#include "builder/product/path_text.h"
#include "builder/product/product_folder.h"
#include "native/builder/test_support.h"
#include "payload/block_reader.h"
#include "payload/payload_archive.h"
#include "payload/payload_digest.h"
#include "payload/payload_resource.h"

namespace zel {
namespace {

namespace fs = std::filesystem;
using test::WriteFile;

class InstallerBuilderTest : public ::testing::Test {
protected:
    void SetUp() override {
        WriteFile(product() / "setup.ini",
                  "[Setup]\nAppName=製品\nLicenseFile=License.txt\n[Files]\nFile1=App.exe\nFile2=*\n");
        WriteFile(product() / "License.txt", "Terms.\n");
        WriteFile(product() / "files/App.exe", std::string(3 << 20, 'a'));  // spans several chunks
        WriteFile(product() / "files/Doc/説明.txt", "doc");
        WriteFile(product() / "files/empty.dat", "");
        test::WriteBytes(stub(), test::MakeTestPe(true));
        fs::create_directory(dir_.path() / "out");
    }
    fs::path product() const { return dir_.path() / "product"; }
    fs::path stub() const { return dir_.path() / "stub.exe"; }
    fs::path output() const { return dir_.path() / "out" / "setup.exe"; }
    BuildOptions Options() const {
        BuildOptions options;
        options.productFolder = product();
        options.output = output();
        options.stub = stub();
        return options;
    }
    std::vector<std::string> OutputFolder() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(output().parent_path())) {
            names.push_back(entry.path().filename().string());
        }
        return names;
    }

    test::ScratchFolder dir_{L"builder"};
};

std::vector<std::uint8_t> RcdataOf(const std::vector<std::uint8_t>& exe, std::uint32_t id) {
    const PeStub image(exe);
    for (const ResourceType& type : image.resources().types) {
        for (const ResourceName& name : type.names) {
            if (type.key.id == kRtRcdata && name.key.id == id) return name.languages.at(0).data;
        }
    }
    return {};
}

std::vector<std::uint8_t> PayloadOf(const std::vector<std::uint8_t>& exe) { return RcdataOf(exe, kPayloadResourceId); }

// Every entry read back through the installer's reader, for a stored payload
// (version 1, the bytes every builder wrote before compression existed) and a
// deflate one (version 2: a block per entry, stored where it does not shrink).
TEST_F(InstallerBuilderTest, ArchiveRoundTripsThroughTheReader) {
    test::WriteBytes(product() / "files/noise.bin", test::Pseudorandom(200000, 7));
    for (const PayloadCompression method :
         {PayloadCompression::None, PayloadCompression::Deflate, PayloadCompression::Lzma}) {
        SCOPED_TRACE(std::string(CompressionName(method)));
        BuildOptions options = Options();
        options.compression = method;
        const BuildResult result = BuildInstaller(options);
        EXPECT_EQ(result.entries, 6u);
        const std::vector<std::uint8_t> exe = test::ReadBytes(output());
        EXPECT_EQ(exe.size(), result.fileSize);
        const std::vector<std::uint8_t> bytes = PayloadOf(exe);
        EXPECT_EQ(bytes.size(), result.payloadSize);
        PayloadArchive archive;
        ASSERT_TRUE(ParsePayloadArchive(bytes, archive));
        EXPECT_EQ(archive.version, method == PayloadCompression::None ? 1u : 2u);
        std::vector<std::string> names;
        for (const PayloadEntry& entry : archive.entries) {
            names.push_back(entry.name);
            EXPECT_TRUE(IsSafeEntryName(entry.name)) << entry.name;
            std::string data;
            EXPECT_EQ(ReadBlockRange(bytes, archive.blocks[entry.block], entry.offset, entry.size,
                                     [&](std::span<const std::uint8_t> chunk) {
                                         data.append(chunk.begin(), chunk.end());
                                         return true;
                                     }),
                      BlockRead::Done);
            if (entry.name == "setup.ini") {
                EXPECT_EQ(data.substr(0, 4), std::string("\xFF\xFE[\0", 4));
            } else {
                const std::vector<std::uint8_t> source = test::ReadBytes(product() / PathFromUtf8(entry.name));
                EXPECT_EQ(data, std::string(source.begin(), source.end())) << entry.name;
            }
            // What does not shrink (noise, a few bytes) is stored even in a compressed payload.
            if (entry.name != "setup.ini" && method != PayloadCompression::Lzma) {
                const bool shrinks = method == PayloadCompression::Deflate && entry.name == "files/App.exe";
                EXPECT_EQ(archive.blocks[entry.block].method, shrinks ? BlockMethod::Deflate : BlockMethod::Stored)
                    << entry.name;
            }
        }
        EXPECT_THAT(names, ::testing::ElementsAre("License.txt", "files/App.exe", "files/Doc/説明.txt",
                                                  "files/empty.dat", "files/noise.bin", "setup.ini"));
        // Blocks follow the directory in order without gaps and end the archive.
        std::uint64_t at = archive.directorySize;
        for (const PayloadBlock& block : archive.blocks) {
            EXPECT_EQ(block.offset, at);
            at += block.storedSize;
        }
        EXPECT_EQ(at, bytes.size());
        if (method == PayloadCompression::Deflate) {
            EXPECT_LT(bytes.size(), 250000u) << "3 MiB of one letter compress to almost nothing";
        }
        if (method == PayloadCompression::Lzma) {
            // What start-up reads has a block of its own; the product's files share one solid block.
            ASSERT_EQ(archive.blocks.size(), 2u);
            auto blockOf = [&](const char* name) {
                for (const PayloadEntry& entry : archive.entries) {
                    if (entry.name == name) return entry.block;
                }
                return ~0u;
            };
            EXPECT_EQ(blockOf("setup.ini"), blockOf("License.txt"));
            EXPECT_EQ(blockOf("files/App.exe"), blockOf("files/noise.bin"));
            EXPECT_NE(blockOf("setup.ini"), blockOf("files/App.exe"));
            EXPECT_EQ(archive.blocks[blockOf("files/App.exe")].method, BlockMethod::Lzma2);
            EXPECT_EQ(archive.blocks[blockOf("files/App.exe")].filter, BlockFilter::None);
        }
    }
}

TEST_F(InstallerBuilderTest, DigestsBesideThePayloadMatchEveryBlock) {
    for (const PayloadCompression method : {PayloadCompression::None, PayloadCompression::Deflate}) {
        SCOPED_TRACE(std::string(CompressionName(method)));
        BuildOptions options = Options();
        options.compression = method;
        BuildInstaller(options);
        const std::vector<std::uint8_t> exe = test::ReadBytes(output());
        const std::vector<std::uint8_t> bytes = PayloadOf(exe);
        PayloadArchive archive;
        ASSERT_TRUE(ParsePayloadArchive(bytes, archive));
        PayloadDigests digests;
        ASSERT_TRUE(ParsePayloadDigests(RcdataOf(exe, kPayloadDigestsResourceId), archive, digests));
        EXPECT_TRUE(PayloadDirectoryIntact(bytes, archive, digests));
        for (std::size_t i = 0; i < archive.blocks.size(); ++i) {
            EXPECT_TRUE(PayloadBlockIntact(bytes, archive, &digests, i)) << i;
        }
    }
}

// [Setup] Compression chooses, the option overrides it; a stored payload of
// some size gets a note that compression would help, unless stored was asked for.
TEST_F(InstallerBuilderTest, CompressionComesFromSetupIniOrTheOption) {
    struct Case {
        const char* key;  // the Compression line, or empty
        std::optional<PayloadCompression> option;
        PayloadCompression used;
        bool note;
    };
    const Case cases[] = {
        {"Compression=none\n", std::nullopt, PayloadCompression::None, false},
        {"", std::nullopt, PayloadCompression::None, true},  // the last with the large file
        {"", std::nullopt, PayloadCompression::None, false},
        {"Compression=deflate\n", std::nullopt, PayloadCompression::Deflate, false},
        {"Compression=Deflate\n", PayloadCompression::None, PayloadCompression::None, false},
        {"", PayloadCompression::Deflate, PayloadCompression::Deflate, false},
    };
    WriteFile(product() / "files/big.dat", std::string(17 << 20, 'b'));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        WriteFile(product() / "setup.ini",
                  std::string("[Setup]\nAppName=製品\nLicenseFile=License.txt\n") + c.key + "[Files]\nFile1=*\n");
        BuildOptions options = Options();
        options.compression = c.option;
        const BuildResult result = BuildInstaller(options);
        EXPECT_EQ(result.compression, c.used);
        EXPECT_EQ(result.payloadSize < result.originalSize, c.used == PayloadCompression::Deflate);
        ASSERT_EQ(result.notes.size(), c.note ? 1u : 0u);
        if (c.note) {
            EXPECT_THAT(result.notes[0], ::testing::HasSubstr("Compression=deflate"));
        }
        for (const std::string& warning : result.warnings)
            EXPECT_THAT(warning, ::testing::Not(::testing::HasSubstr("Compression")));
        // The note is about large payloads only.
        if (c.note) fs::remove(product() / "files/big.dat");
    }
    WriteFile(product() / "setup.ini",
              "[Setup]\nAppName=製品\nLicenseFile=License.txt\nCompression=zip\n[Files]\nFile1=*\n");
    try {
        BuildInstaller(Options());
        ADD_FAILURE() << "Compression=zip was taken";
    } catch (const std::runtime_error& e) {
        EXPECT_THAT(e.what(), ::testing::HasSubstr("Compression=zip names no method; use one of none, deflate"));
    }
}

// The same input gives the same bytes however many threads compress it.
TEST_F(InstallerBuilderTest, CompressedOutputDoesNotDependOnTheThreads) {
    for (int i = 0; i < 12; ++i) {
        WriteFile(product() / ("files/part" + std::to_string(i) + ".txt"), std::string(1000 + 5000 * i, 'a' + i));
    }
    std::vector<std::uint8_t> first;
    for (const unsigned threads : {1u, 2u, 5u}) {
        BuildOptions options = Options();
        options.compression = PayloadCompression::Deflate;
        options.threads = threads;
        BuildInstaller(options);
        const std::vector<std::uint8_t> bytes = test::ReadBytes(output());
        if (first.empty()) first = bytes;
        EXPECT_TRUE(bytes == first) << threads << " threads";
    }
    EXPECT_THAT(OutputFolder(), ::testing::ElementsAre("setup.exe")) << "the spool files are gone";
}

TEST_F(InstallerBuilderTest, SameInputGivesByteIdenticalOutput) {
    BuildInstaller(Options());
    const std::vector<std::uint8_t> first = test::ReadBytes(output());
    fs::last_write_time(product() / "files/App.exe", fs::file_time_type::clock::now() - std::chrono::hours(5));
    BuildInstaller(Options());  // replaces the existing output
    EXPECT_EQ(test::ReadBytes(output()), first);
    EXPECT_THAT(OutputFolder(), ::testing::ElementsAre("setup.exe"));
}

// The header fields read back from the written file: the flags that make the
// loader read the whole image in when it is started from a share or a
// removable drive (the stub's other flags kept), and a checksum that still
// holds, summed here word by word.
TEST_F(InstallerBuilderTest, OutputRunsFromSwapOnNetworkAndRemovableMediaWithItsChecksum) {
    BuildInstaller(Options());
    const std::vector<std::uint8_t> stubBytes = test::ReadBytes(stub());
    std::vector<std::uint8_t> out = test::ReadBytes(output());
    const std::size_t characteristics = test::kPeOffset + 4 + 18;
    auto u16 = [](const std::vector<std::uint8_t>& b, std::size_t at) { return b[at] | b[at + 1] << 8; };
    ASSERT_EQ(u16(stubBytes, characteristics) & 0x0C00, 0);
    EXPECT_EQ(u16(out, characteristics), u16(stubBytes, characteristics) | 0x0400 | 0x0800);

    const std::size_t checksumAt = test::kPeOffset + 4 + 20 + 64;
    const std::uint32_t stored = out[checksumAt] | out[checksumAt + 1] << 8 | out[checksumAt + 2] << 16 |
                                 static_cast<std::uint32_t>(out[checksumAt + 3]) << 24;
    std::fill_n(out.begin() + static_cast<std::ptrdiff_t>(checksumAt), 4, 0);
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < out.size(); i += 2) {
        sum += out[i] | (i + 1 < out.size() ? out[i + 1] << 8 : 0);
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    EXPECT_EQ(stored, sum + static_cast<std::uint32_t>(out.size()));
    EXPECT_NE(stored, 0u);

    // Built again from its own output, the flags stay as they are.
    BuildOptions again = Options();
    again.stub = dir_.path() / "first.exe";
    fs::copy_file(output(), again.stub);
    again.output = dir_.path() / "out" / "again.exe";
    BuildInstaller(again);
    EXPECT_EQ(u16(test::ReadBytes(again.output), characteristics), u16(stubBytes, characteristics) | 0x0C00);
}

TEST_F(InstallerBuilderTest, OutputPassesAnIndependentReader) {
    if (!test::HavePefile()) GTEST_SKIP() << "python3-pefile is not installed";
    BuildInstaller(Options());
    test::WriteBytes(dir_.path() / "payload.bin", PayloadOf(test::ReadBytes(output())));
    EXPECT_EQ(test::VerifyPe(stub(), output(), dir_.path() / "payload.bin"), 0);
}

// An independent reader of both archive versions (tests/native/builder/
// read_payload.py: pefile, its own parse of the layout, libxxhash, Python's
// zlib) extracts exactly the product's files and setup.ini as stored.
TEST_F(InstallerBuilderTest, EveryVersionPassesAnIndependentReader) {
    if (!test::HavePefile()) GTEST_SKIP() << "python3-pefile is not installed";
    test::WriteBytes(product() / "files/noise.bin", test::Pseudorandom(5000, 9));
    for (const PayloadCompression method : {PayloadCompression::None, PayloadCompression::Deflate}) {
        SCOPED_TRACE(std::string(CompressionName(method)));
        BuildOptions options = Options();
        options.compression = method;
        BuildInstaller(options);
        const fs::path extracted = dir_.path() / ("read-" + std::string(CompressionName(method)));
        const std::string command = test::Python3() + " " ZEL_SOURCE_DIR "/tests/native/builder/read_payload.py '" +
                                    output().string() + "' '" + extracted.string() + "' > '" +
                                    (dir_.path() / "read.txt").string() + "'";
        ASSERT_EQ(std::system(command.c_str()), 0);
        for (const char* name :
             {"License.txt", "files/App.exe", "files/Doc/説明.txt", "files/empty.dat", "files/noise.bin"}) {
            EXPECT_TRUE(test::ReadBytes(extracted / PathFromUtf8(name)) ==
                        test::ReadBytes(product() / PathFromUtf8(name)))
                << name;
        }
        const std::string listed = test::Bytes(test::ReadBytes(dir_.path() / "read.txt"));
        EXPECT_THAT(listed,
                    ::testing::HasSubstr(method == PayloadCompression::None ? "stored 3145728 3145728 files/App.exe"
                                                                            : "deflate "));
        EXPECT_THAT(listed, ::testing::HasSubstr("stored 5000 5000 files/noise.bin"));
    }
}

TEST_F(InstallerBuilderTest, RefusalLeavesAnExistingOutputUntouched) {
    WriteFile(output(), "previous build");
    WriteFile(product() / "setup.ini", "[Setup]\nLicenseFile=License.txt\n[Files]\nFile1=Nothing.exe\n");
    EXPECT_THROW(BuildInstaller(Options()), std::runtime_error);
    EXPECT_EQ(test::ReadBytes(output()),
              std::vector<std::uint8_t>({'p', 'r', 'e', 'v', 'i', 'o', 'u', 's', ' ', 'b', 'u', 'i', 'l', 'd'}));
    EXPECT_THAT(OutputFolder(), ::testing::ElementsAre("setup.exe"));
}

TEST_F(InstallerBuilderTest, FailureWhileWritingLeavesNoFileBehind) {
    // A file that shrinks after the check: the build stops half-way.
    BuildOptions options = Options();
    bool truncated = false;
    options.progress = [&](std::uint64_t, std::uint64_t) {
        if (!truncated) fs::resize_file(product() / "files/Doc/説明.txt", 1);
        truncated = true;
    };
    try {
        BuildInstaller(options);
        ADD_FAILURE() << "accepted";
    } catch (const std::runtime_error& e) {
        EXPECT_THAT(e.what(), ::testing::HasSubstr("became shorter while it was read"));
    }
    EXPECT_TRUE(OutputFolder().empty());
}

TEST_F(InstallerBuilderTest, RefusesAPayloadBeyondTheImageLimit) {
    // A sparse file: nothing is read, the size alone is refused before writing.
    { std::ofstream(product() / "files/huge.bin"); }
    fs::resize_file(product() / "files/huge.bin", kMaxImageSize);
    try {
        BuildInstaller(Options());
        ADD_FAILURE() << "accepted";
    } catch (const std::runtime_error& e) {
        EXPECT_THAT(e.what(), ::testing::HasSubstr("the payload is too large"));
        EXPECT_THAT(e.what(), ::testing::HasSubstr("over the limit of 1536.0 MiB"));
    }
    EXPECT_TRUE(OutputFolder().empty());
}

TEST_F(InstallerBuilderTest, RefusesAMissingOrUnusableStub) {
    BuildOptions options = Options();
    options.stub = dir_.path() / "missing.exe";
    EXPECT_THAT([&] { BuildInstaller(options); },
                ::testing::ThrowsMessage<std::runtime_error>(::testing::HasSubstr("cannot open the stub")));
    WriteFile(dir_.path() / "text.exe", "not a program");
    options.stub = dir_.path() / "text.exe";
    EXPECT_THAT(
        [&] { BuildInstaller(options); },
        ::testing::ThrowsMessage<std::runtime_error>(::testing::HasSubstr("cannot be used: not a Windows executable")));
    EXPECT_TRUE(OutputFolder().empty());
}

TEST_F(InstallerBuilderTest, RealStubBuildLoadsInAnIndependentReader) {
    const char* stubPath = std::getenv("ZEL_STUB_EXE");
    if (stubPath == nullptr) GTEST_SKIP() << "ZEL_STUB_EXE is not set";
    if (!test::HavePefile()) GTEST_SKIP() << "python3-pefile is not installed";
    BuildOptions options = Options();
    options.stub = stubPath;
    BuildInstaller(options);
    test::WriteBytes(dir_.path() / "payload.bin", PayloadOf(test::ReadBytes(output())));
    EXPECT_EQ(test::VerifyPe(stubPath, output(), dir_.path() / "payload.bin"), 0);
}

// The command line: exit codes and where the messages go.
class InstallerBuilderCliTest : public InstallerBuilderTest {
protected:
    int Run(const std::string& args) { return test::RunBuilder(args, dir_.path() / "stdout", dir_.path() / "stderr"); }
    std::string Stderr() const {
        const std::vector<std::uint8_t> bytes = test::ReadBytes(dir_.path() / "stderr");
        return std::string(bytes.begin(), bytes.end());
    }
    std::string Args() const {
        return "'" + product().string() + "' -o '" + output().string() + "' --stub '" + stub().string() + "'";
    }
};

TEST_F(InstallerBuilderCliTest, ExitCodes) {
    EXPECT_EQ(Run("--help"), 0);
    EXPECT_EQ(Run(""), 2);
    EXPECT_THAT(Stderr(), ::testing::HasSubstr("error: no product folder given"));
    EXPECT_EQ(Run("'" + product().string() + "'"), 2);
    EXPECT_THAT(Stderr(), ::testing::HasSubstr("error: no output given"));
    EXPECT_EQ(Run(Args() + " --frobnicate"), 2);
    EXPECT_THAT(Stderr(), ::testing::HasSubstr("error: unknown option --frobnicate"));
    EXPECT_EQ(Run(Args() + " -o"), 2);

    fs::remove(product() / "License.txt");
    EXPECT_EQ(Run(Args()), 1);
    EXPECT_THAT(Stderr(), ::testing::StartsWith("error: the licence file \"License.txt\""));
    EXPECT_FALSE(fs::exists(output()));

    WriteFile(product() / "License.txt", "Terms.");
    EXPECT_EQ(Run(Args()), 0);
    EXPECT_EQ(Stderr(), "");  // no progress when stderr is not a terminal
    EXPECT_TRUE(fs::exists(output()));

    // Without --stub the stub is looked for next to the program, then in
    // ../share/zelsetup/; this tree has neither.
    EXPECT_EQ(Run("'" + product().string() + "' -o '" + output().string() + "'"), 1);
    EXPECT_THAT(Stderr(), ::testing::HasSubstr("builder/InstallerCore.exe\": not there"));
    EXPECT_THAT(Stderr(), ::testing::HasSubstr("share/zelsetup/InstallerCore.exe\": not there"));
    EXPECT_THAT(Stderr(), ::testing::HasSubstr("pass it with --stub"));
}

}  // namespace
}  // namespace zel
