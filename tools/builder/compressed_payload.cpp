#include "builder/compressed_payload.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <exception>
#include <mutex>
#include <numeric>
#include <stdexcept>
#include <thread>

#include "builder/compression/deflate_encoder.h"
#include "builder/product/path_text.h"
#include "payload/xxh64.h"

namespace zel {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kReadChunk = 1 << 20;

[[noreturn]] void Fail(const std::string& what) { throw std::runtime_error(what); }

// Reads an item's original bytes in chunks: from memory, or from its file,
// whose size was taken when the folder was checked; any change is an error.
// Returns the digest of what was read.
std::uint64_t ReadItem(const ProductItem& item, std::vector<std::uint8_t>& buffer,
                       const std::function<void(std::span<const std::uint8_t>)>& consume) {
    Xxh64Stream digest;
    if (item.source.empty()) {
        for (std::size_t at = 0; at < item.data.size(); at += kReadChunk) {
            const std::span<const std::uint8_t> chunk =
                std::span(item.data).subspan(at, std::min(kReadChunk, item.data.size() - at));
            digest.Update(chunk);
            consume(chunk);
        }
        return digest.Digest();
    }
    std::ifstream in(item.source, std::ios::binary);
    if (!in) Fail("cannot open " + QuotedPath(item.source));
    for (std::uint64_t left = item.size; left > 0;) {
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(left, buffer.size()));
        in.read(reinterpret_cast<char*>(buffer.data()), static_cast<std::streamsize>(n));
        if (static_cast<std::size_t>(in.gcount()) != n)
            Fail(QuotedPath(item.source) + " became shorter while it was read");
        digest.Update({buffer.data(), n});
        consume({buffer.data(), n});
        left -= n;
    }
    if (in.peek() != std::ifstream::traits_type::eof()) Fail(QuotedPath(item.source) + " grew while it was read");
    return digest.Digest();
}

std::string SpoolName(const fs::path& base, std::size_t index) {
    char suffix[32];
    std::snprintf(suffix, sizeof(suffix), ".spool%zu", index);
    return PathToUtf8(base.filename()) + suffix;
}

}  // namespace

// One worker's file of stored bytes, written while compressing and read back
// when the output is written.
class CompressedPayload::Spool {
public:
    explicit Spool(fs::path path) : path_(std::move(path)) {
        file_.open(path_, std::ios::binary | std::ios::in | std::ios::out | std::ios::trunc);
        if (!file_) Fail("cannot create " + QuotedPath(path_) + " next to the output");
    }
    ~Spool() {
        file_.close();
        std::error_code ignored;
        fs::remove(path_, ignored);
    }
    Spool(const Spool&) = delete;
    Spool& operator=(const Spool&) = delete;

    std::uint64_t end() const noexcept { return end_; }
    // Goes back to `at`: what follows is written over what was there.
    void Rewind(std::uint64_t at) {
        file_.seekp(static_cast<std::streamoff>(at));
        end_ = at;
    }
    void Append(std::span<const std::uint8_t> bytes) {
        file_.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        if (!file_) Fail("cannot write " + QuotedPath(path_) + " (disk full?)");
        end_ += bytes.size();
    }
    void CopyTo(std::uint64_t at, std::uint64_t size, std::vector<std::uint8_t>& buffer, ByteSink& out,
                const std::function<void(std::uint64_t)>& advance) {
        file_.seekg(static_cast<std::streamoff>(at));
        for (std::uint64_t left = size; left > 0;) {
            const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(left, buffer.size()));
            file_.read(reinterpret_cast<char*>(buffer.data()), static_cast<std::streamsize>(n));
            if (static_cast<std::size_t>(file_.gcount()) != n) Fail("cannot read back " + QuotedPath(path_));
            out.Write({buffer.data(), n});
            if (advance) advance(n);
            left -= n;
        }
    }
    void Flush() {
        file_.flush();
        if (!file_) Fail("cannot write " + QuotedPath(path_) + " (disk full?)");
    }

private:
    fs::path path_;
    std::fstream file_;
    std::uint64_t end_ = 0;
};

CompressedPayload::CompressedPayload(const std::vector<ProductItem>& items, PayloadCompression method,
                                     const fs::path& spoolBase, unsigned threads,
                                     const std::function<void(std::uint64_t, std::uint64_t)>& progress) {
    if (threads == 0) threads = std::max(1u, std::thread::hardware_concurrency());
    threads = static_cast<unsigned>(std::min<std::size_t>(threads, std::max<std::size_t>(items.size(), 1)));
    for (unsigned i = 0; i < threads; ++i) {
        spools_.push_back(std::make_unique<Spool>(spoolBase.parent_path() / PathFromUtf8(SpoolName(spoolBase, i))));
    }
    blocks_.resize(items.size());
    spooled_.resize(items.size());
    digests_.version = kPayloadBlocksVersion;
    digests_.blocks.resize(items.size());

    // Largest first, so that the threads finish together; where a block is
    // spooled does not change the output.
    std::vector<std::size_t> order(items.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return items[a].size > items[b].size; });
    const std::uint64_t total =
        std::accumulate(items.begin(), items.end(), std::uint64_t{0},
                        [](std::uint64_t sum, const ProductItem& item) { return sum + item.size; });

    std::atomic<std::size_t> next{0};
    std::atomic<std::uint64_t> done{0};
    std::atomic<bool> stop{false};
    std::mutex mutex;
    std::condition_variable finished;
    unsigned running = threads;
    std::vector<std::exception_ptr> errors(items.size());

    auto compressOne = [&](std::size_t index, std::size_t spoolIndex, std::vector<std::uint8_t>& buffer) {
        Spool& spool = *spools_[spoolIndex];
        const ProductItem& item = items[index];
        const std::uint64_t start = spool.end();
        Xxh64Stream stored;
        DeflateEncoder encoder([&](std::span<const std::uint8_t> bytes) {
            stored.Update(bytes);
            spool.Append(bytes);
        });
        const std::uint64_t original = ReadItem(item, buffer, [&](std::span<const std::uint8_t> chunk) {
            encoder.Add(chunk);
            done += chunk.size();
        });
        encoder.Finish();
        PayloadBlock& block = blocks_[index];
        block.originalSize = item.size;
        block.storedSize = spool.end() - start;
        block.method = method == PayloadCompression::Deflate ? BlockMethod::Deflate : BlockMethod::Stored;
        std::uint64_t digest = stored.Digest();
        if (block.storedSize >= item.size) {
            // It does not shrink: its original bytes are stored instead.
            spool.Rewind(start);
            digest = ReadItem(item, buffer, [&](std::span<const std::uint8_t> chunk) { spool.Append(chunk); });
            if (digest != original) Fail(QuotedPath(item.source) + " changed while it was read");
            block.method = BlockMethod::Stored;
            block.storedSize = item.size;
        }
        digests_.blocks[index] = digest;
        spooled_[index] = {spoolIndex, start};
    };

    std::vector<std::thread> workers;
    auto work = [&](unsigned worker) {
        std::vector<std::uint8_t> buffer(kReadChunk);
        for (std::size_t i = next++; i < order.size() && !stop; i = next++) {
            try {
                compressOne(order[i], worker, buffer);
            } catch (...) {
                errors[order[i]] = std::current_exception();
                stop = true;
            }
        }
        std::lock_guard lock(mutex);
        --running;
        finished.notify_all();
    };
    for (unsigned i = 0; i < threads; ++i) workers.emplace_back(work, i);
    {
        std::unique_lock lock(mutex);
        while (!finished.wait_for(lock, std::chrono::milliseconds(100), [&] { return running == 0; })) {
            lock.unlock();
            if (progress) progress(done, total);
            lock.lock();
        }
    }
    for (std::thread& worker : workers) worker.join();
    // The first failing item in payload order, whichever thread met it first.
    for (const std::exception_ptr& error : errors) {
        if (error) std::rethrow_exception(error);
    }
    if (progress) progress(total, total);
    for (const std::unique_ptr<Spool>& spool : spools_) spool->Flush();

    std::vector<PayloadEntry> entries(items.size());
    for (std::size_t i = 0; i < items.size(); ++i) {
        entries[i].name = items[i].name;
        entries[i].block = static_cast<std::uint32_t>(i);
        entries[i].size = items[i].size;
    }
    directory_ = BuildBlockArchiveDirectory(blocks_, entries);
    digests_.directory = Xxh64(directory_);
    size_ = directory_.size();
    for (const PayloadBlock& block : blocks_) size_ += block.storedSize;
}

CompressedPayload::~CompressedPayload() = default;

void CompressedPayload::Write(ByteSink& out, const std::function<void(std::uint64_t)>& advance) const {
    out.Write(directory_);
    if (advance) advance(directory_.size());
    std::vector<std::uint8_t> buffer(kReadChunk);
    for (std::size_t i = 0; i < blocks_.size(); ++i) {
        spools_[spooled_[i].spool]->CopyTo(spooled_[i].at, blocks_[i].storedSize, buffer, out, advance);
    }
}

}  // namespace zel
