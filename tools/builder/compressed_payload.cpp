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
#include "builder/compression/lzma_block_encoder.h"
#include "builder/product/item_bytes.h"
#include "builder/product/path_text.h"
#include "payload/xxh64.h"

namespace zel {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kReadChunk = 1 << 20;

[[noreturn]] void Fail(const std::string& what) { throw std::runtime_error(what); }

std::string LowerExtension(const std::string& name) {
    const std::size_t slash = name.find_last_of("/\\");
    const std::size_t dot = name.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
    std::string extension = name.substr(dot + 1);
    for (char& c : extension) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return extension;
}

// A 32-bit x86 Windows program or library (its PE header names the i386
// machine): the branch filter turns its relative call and jump targets into
// absolute ones, which repeat and compress better. x64 code gains nothing
// from it (measured on Wine's x64 libraries: 0.3 % larger), so it goes
// without.
bool IsX86Program(const ProductItem& item) {
    std::uint8_t head[512] = {};
    std::size_t got = 0;
    if (item.source.empty()) {
        got = std::min(item.data.size(), sizeof(head));
        std::copy_n(item.data.begin(), got, head);
    } else {
        std::ifstream in(item.source, std::ios::binary);
        in.read(reinterpret_cast<char*>(head), sizeof(head));
        got = static_cast<std::size_t>(in.gcount());
    }
    if (got < 64 || head[0] != 'M' || head[1] != 'Z') return false;
    const std::size_t pe = head[0x3C] | head[0x3D] << 8 | head[0x3E] << 16 | static_cast<std::size_t>(head[0x3F]) << 24;
    if (pe > got - 6) return false;
    return head[pe] == 'P' && head[pe + 1] == 'E' && head[pe + 2] == 0 && head[pe + 3] == 0 && head[pe + 4] == 0x4C &&
           head[pe + 5] == 0x01;
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

std::vector<CompressedPayload::Planned> CompressedPayload::Plan(const std::vector<ProductItem>& items,
                                                                const CompressionSettings& settings) {
    std::vector<Planned> planned;
    if (settings.method != PayloadCompression::Lzma) {
        for (std::size_t i = 0; i < items.size(); ++i) planned.push_back({{i}, false});
        return planned;
    }
    // What start-up reads (setup.ini, the licence) gets a small block of its
    // own, so that the wizard appears without decoding any product file. The
    // product's files are grouped by kind: programs and libraries behind the
    // x86 filter, the rest without; within a kind by extension, then path, so
    // that alike files share a block. Each kind is cut into blocks of about
    // equal size, none larger than the limit unless one file is.
    Planned startup;
    std::vector<std::size_t> kinds[2];
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (settings.isStartup(items[i].name)) {
            startup.items.push_back(i);
        } else {
            kinds[IsX86Program(items[i]) ? 1 : 0].push_back(i);
        }
    }
    if (!startup.items.empty()) planned.push_back(std::move(startup));
    for (const bool x86 : {true, false}) {
        std::vector<std::size_t>& kind = kinds[x86 ? 1 : 0];
        std::stable_sort(kind.begin(), kind.end(), [&](std::size_t a, std::size_t b) {
            const std::string ea = LowerExtension(items[a].name), eb = LowerExtension(items[b].name);
            return ea != eb ? ea < eb : items[a].name < items[b].name;
        });
        std::uint64_t total = 0;
        for (const std::size_t i : kind) total += items[i].size;
        const std::uint64_t limit = std::max<std::uint64_t>(settings.blockSize, 1);
        const std::uint64_t count = std::max<std::uint64_t>((total + limit - 1) / limit, 1);
        const std::uint64_t target = (total + count - 1) / count;
        Planned block{{}, x86};
        std::uint64_t size = 0;
        for (const std::size_t i : kind) {
            if (!block.items.empty() && size + items[i].size > target) {
                planned.push_back(std::move(block));
                block = Planned{{}, x86};
                size = 0;
            }
            block.items.push_back(i);
            size += items[i].size;
        }
        if (!block.items.empty()) planned.push_back(std::move(block));
    }
    return planned;
}

CompressedPayload::CompressedPayload(const std::vector<ProductItem>& items, const CompressionSettings& settings,
                                     const fs::path& spoolBase, unsigned threads,
                                     const std::function<void(std::uint64_t, std::uint64_t)>& progress) {
    const std::vector<Planned> planned = Plan(items, settings);
    if (threads == 0) threads = std::max(1u, std::thread::hardware_concurrency());
    threads = static_cast<unsigned>(std::min<std::size_t>(threads, std::max<std::size_t>(planned.size(), 1)));
    for (unsigned i = 0; i < threads; ++i) {
        spools_.push_back(std::make_unique<Spool>(spoolBase.parent_path() / PathFromUtf8(SpoolName(spoolBase, i))));
    }
    blocks_.resize(planned.size());
    spooled_.resize(planned.size());
    digests_.version = kPayloadBlocksVersion;
    digests_.blocks.resize(planned.size());
    // Each entry's place follows from the plan: its block, and the sizes of
    // the entries before it there. sizes[b] is the block's original size.
    std::vector<PayloadEntry> entries(items.size());
    std::vector<std::uint64_t> sizes(planned.size(), 0);
    for (std::size_t b = 0; b < planned.size(); ++b) {
        for (const std::size_t i : planned[b].items) {
            entries[i] = {items[i].name, static_cast<std::uint32_t>(b), sizes[b], items[i].size};
            sizes[b] += items[i].size;
        }
    }

    // Largest first, so that the threads finish together; where a block is
    // spooled does not change the output.
    std::vector<std::size_t> order(planned.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return sizes[a] > sizes[b]; });
    const std::uint64_t total = std::accumulate(sizes.begin(), sizes.end(), std::uint64_t{0});

    std::atomic<std::size_t> next{0};
    std::atomic<std::uint64_t> done{0};
    std::atomic<bool> stop{false};
    std::mutex mutex;
    std::condition_variable finished;
    unsigned running = threads;
    std::vector<std::exception_ptr> errors(planned.size());

    // One entry, deflated as it is read.
    auto deflateOne = [&](std::size_t b, Spool& spool, std::vector<std::uint8_t>& buffer) {
        const ProductItem& item = items[planned[b].items.front()];
        const std::uint64_t start = spool.end();
        Xxh64Stream stored;
        DeflateEncoder encoder([&](std::span<const std::uint8_t> bytes) {
            stored.Update(bytes);
            spool.Append(bytes);
        });
        const std::uint64_t original = ReadItemBytes(item, buffer, [&](std::span<const std::uint8_t> chunk) {
            encoder.Add(chunk);
            done += chunk.size();
        });
        encoder.Finish();
        PayloadBlock& block = blocks_[b];
        block.originalSize = item.size;
        block.storedSize = spool.end() - start;
        block.method = BlockMethod::Deflate;
        std::uint64_t digest = stored.Digest();
        if (block.storedSize >= item.size) {
            // It does not shrink: its original bytes are stored instead.
            spool.Rewind(start);
            digest = ReadItemBytes(item, buffer, [&](std::span<const std::uint8_t> chunk) { spool.Append(chunk); });
            if (digest != original) Fail(QuotedPath(item.source) + " changed while it was read");
            block.method = BlockMethod::Stored;
            block.storedSize = item.size;
        }
        digests_.blocks[b] = digest;
    };
    // Several entries back to back, compressed as one LZMA2 stream.
    auto lzmaBlock = [&](std::size_t b, Spool& spool, std::vector<std::uint8_t>& buffer) {
        std::vector<std::uint8_t> bytes;
        bytes.reserve(static_cast<std::size_t>(sizes[b]));
        for (const std::size_t i : planned[b].items) {
            ReadItemBytes(items[i], buffer, [&](std::span<const std::uint8_t> chunk) {
                bytes.insert(bytes.end(), chunk.begin(), chunk.end());
            });
        }
        PayloadBlock& block = blocks_[b];
        block.originalSize = bytes.size();
        const LzmaBlock packed = EncodeLzmaBlock(bytes, planned[b].x86);
        if (packed.stored.size() < bytes.size()) {
            block.method = BlockMethod::Lzma2;
            block.filter = planned[b].x86 ? BlockFilter::X86 : BlockFilter::None;
            block.property = packed.property;
            block.storedSize = packed.stored.size();
            spool.Append(packed.stored);
            digests_.blocks[b] = Xxh64(packed.stored);
        } else {
            // It does not shrink: the block is stored, and its files are read where they lie.
            block.method = BlockMethod::Stored;
            block.storedSize = bytes.size();
            spool.Append(bytes);
            digests_.blocks[b] = Xxh64(bytes);
        }
        done += bytes.size();
    };

    std::vector<std::thread> workers;
    auto work = [&](unsigned worker) {
        std::vector<std::uint8_t> buffer(kReadChunk);
        for (std::size_t i = next++; i < order.size() && !stop; i = next++) {
            const std::size_t b = order[i];
            try {
                Spool& spool = *spools_[worker];
                spooled_[b] = {worker, spool.end()};
                if (settings.method == PayloadCompression::Lzma) {
                    lzmaBlock(b, spool, buffer);
                } else {
                    deflateOne(b, spool, buffer);
                }
            } catch (...) {
                errors[b] = std::current_exception();
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
    // The first failing block in payload order, whichever thread met it first.
    for (const std::exception_ptr& error : errors) {
        if (error) std::rethrow_exception(error);
    }
    if (progress) progress(total, total);
    for (const std::unique_ptr<Spool>& spool : spools_) spool->Flush();

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
