// A compressed payload (archive version 2) as the builder writes it. Every
// entry is compressed as a block of its own, on all cores, into spool files
// beside the output: the sizes of the blocks must be known before the archive's
// directory and the output's layout can be written, and memory stays flat
// however large the payload is. An entry that does not shrink is stored. The
// output does not depend on the number of threads. Portable.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <vector>

#include "builder/pe/payload_embedding.h"
#include "builder/product/payload_compression.h"
#include "builder/product/product_folder.h"
#include "payload/payload_archive.h"
#include "payload/payload_digest.h"

namespace zel {

class CompressedPayload {
public:
    // Compresses every item with method. Spool files are made next to
    // spoolBase (its name with a suffix each) and removed again with this
    // object. threads 0: one per core. progress (may be empty) is called on
    // the calling thread with the original bytes done so far and their total.
    // Throws std::runtime_error naming the file that cannot be read, or
    // changed while it was read, or a spool that cannot be written.
    CompressedPayload(const std::vector<ProductItem>& items, PayloadCompression method,
                      const std::filesystem::path& spoolBase, unsigned threads,
                      const std::function<void(std::uint64_t, std::uint64_t)>& progress);
    ~CompressedPayload();
    CompressedPayload(const CompressedPayload&) = delete;
    CompressedPayload& operator=(const CompressedPayload&) = delete;

    // The archive's header, block table and directory.
    const std::vector<std::uint8_t>& directory() const noexcept { return directory_; }
    const PayloadDigests& digests() const noexcept { return digests_; }
    const std::vector<PayloadBlock>& blocks() const noexcept { return blocks_; }
    // The whole archive's size: directory and every block's stored bytes.
    std::uint64_t size() const noexcept { return size_; }

    // Writes the whole archive; advance gets the bytes written as they go.
    void Write(ByteSink& out, const std::function<void(std::uint64_t)>& advance) const;

private:
    struct Spooled {
        std::size_t spool = 0;
        std::uint64_t at = 0;
    };
    class Spool;

    std::vector<std::unique_ptr<Spool>> spools_;
    std::vector<PayloadBlock> blocks_;
    std::vector<Spooled> spooled_;
    std::vector<std::uint8_t> directory_;
    PayloadDigests digests_;
    std::uint64_t size_ = 0;
};

}  // namespace zel
