#include "builder/product/item_bytes.h"

#include <algorithm>
#include <fstream>
#include <stdexcept>

#include "builder/product/path_text.h"
#include "payload/xxh64.h"

namespace zel {

std::uint64_t ReadItemBytes(const ProductItem& item, std::vector<std::uint8_t>& buffer,
                            const std::function<void(std::span<const std::uint8_t>)>& consume) {
    if (item.source.empty()) {
        if (!item.data.empty()) consume(item.data);
        return Xxh64(item.data);
    }
    std::ifstream in(item.source, std::ios::binary);
    if (!in) throw std::runtime_error("cannot open " + QuotedPath(item.source));
    Xxh64Stream digest;
    for (std::uint64_t left = item.size; left > 0;) {
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(left, buffer.size()));
        in.read(reinterpret_cast<char*>(buffer.data()), static_cast<std::streamsize>(n));
        if (static_cast<std::size_t>(in.gcount()) != n) {
            throw std::runtime_error(QuotedPath(item.source) + " became shorter while it was read");
        }
        digest.Update({buffer.data(), n});
        consume({buffer.data(), n});
        left -= n;
    }
    if (in.peek() != std::ifstream::traits_type::eof()) {
        throw std::runtime_error(QuotedPath(item.source) + " grew while it was read");
    }
    return digest.Digest();
}

}  // namespace zel
