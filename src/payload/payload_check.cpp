#include "payload/payload_check.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <system_error>
#include <thread>

namespace zel {
namespace {

// Below this the threads cost more than they save.
constexpr std::uint64_t kBytesWorthAThread = 8ull << 20;
constexpr unsigned kMaxThreads = 8;

}  // namespace

std::size_t FirstDamagedEntry(const MappedPayload& payload, const std::vector<std::size_t>& entries) {
    if (!payload.digests) return entries.size();
    const std::vector<PayloadBlock>& blocks = payload.archive.blocks;
    // The blocks to check, each once.
    std::vector<std::uint8_t> wanted(blocks.size(), 0);
    std::vector<std::size_t> toCheck;
    std::uint64_t bytes = 0;
    for (const std::size_t index : entries) {
        if (index >= payload.entries().size()) continue;
        const std::uint32_t block = payload.entries()[index].block;
        if (wanted[block]) continue;
        wanted[block] = 1;
        toCheck.push_back(block);
        bytes += blocks[block].storedSize;
    }
    // Large blocks first, so that the threads finish together.
    std::stable_sort(toCheck.begin(), toCheck.end(),
                     [&](std::size_t a, std::size_t b) { return blocks[a].storedSize > blocks[b].storedSize; });

    std::vector<std::uint8_t> damaged(blocks.size(), 0);
    std::atomic<std::size_t> next{0};
    auto work = [&] {
        for (std::size_t i = next++; i < toCheck.size(); i = next++) {
            if (!payload.BlockIntact(toCheck[i])) damaged[toCheck[i]] = 1;
        }
    };
    const unsigned cores = std::max(1u, std::min(std::thread::hardware_concurrency(), kMaxThreads));
    const unsigned helpers = static_cast<unsigned>(
        std::min<std::uint64_t>({cores - 1, bytes / kBytesWorthAThread, toCheck.size() > 0 ? toCheck.size() - 1 : 0}));
    std::vector<std::thread> threads;
    for (unsigned i = 0; i < helpers; ++i) {
        try {
            threads.emplace_back(work);
        } catch (const std::system_error&) {
            break;  // fewer threads: this one checks the rest
        }
    }
    work();
    for (std::thread& thread : threads) thread.join();

    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (entries[i] >= payload.entries().size() || damaged[payload.entries()[entries[i]].block]) return i;
    }
    return entries.size();
}

}  // namespace zel
