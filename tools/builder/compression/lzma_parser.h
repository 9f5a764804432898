// Chooses how LZMA codes a block: from each position it prices every way to
// reach the positions ahead (literal, short rep, rep matches, matches of every
// length the match finder offers) under the coder's current probabilities and
// keeps the cheapest path, up to where a long match or the end of what any
// choice reaches ends the look-ahead.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "builder/compression/lzma_symbol_coder.h"
#include "builder/compression/match_finder.h"

namespace zel::lzma {

// One coded symbol: length 1 with kLiteral a literal; otherwise bytes copied
// from `distance + 1` back (length 1: a short rep of that distance).
struct ParsedOp {
    static constexpr std::uint32_t kLiteral = 0xFFFFFFFFu;
    std::uint32_t length;
    std::uint32_t distance;
};

class Parser {
public:
    Parser(std::span<const std::uint8_t> data, MatchFinder& finder, const SymbolCoder& coder, std::uint32_t niceLength);

    // The symbols that code the bytes from pos on (at least one byte). pos is
    // where the previous call's symbols ended.
    std::span<const ParsedOp> Next(std::size_t pos);

private:
    // A node is reached from `prev` by one symbol (`back`, `length` bytes),
    // which may be followed by a literal and a rep match of the same distance
    // as rep0: the pair that resumes a match after one changed byte.
    struct Node {
        std::uint32_t price;
        std::uint32_t prev;
        std::uint32_t back;  // kLiteral, a rep index (0..3), or 4 + distance
        std::uint32_t length;
        bool literalAfter;
        std::uint32_t rep0After;  // length of the rep match after it, 0 for none
        CoderState state;         // once the node is final
    };

    std::span<const Match> FindAt(std::size_t pos);
    std::uint32_t RepLength(std::size_t pos, std::uint32_t distance, std::uint32_t limit) const;
    void SetState(std::uint32_t index);
    // Takes the path if it is cheaper than the node's.
    void Set(std::uint32_t index, std::uint32_t price, std::uint32_t prev, std::uint32_t back, std::uint32_t length,
             bool literalAfter, std::uint32_t rep0After) {
        Node& n = nodes_[index];
        if (price < n.price) {
            n.price = price;
            n.prev = prev;
            n.back = back;
            n.length = length;
            n.literalAfter = literalAfter;
            n.rep0After = rep0After;
        }
    }
    void Offer(std::uint32_t index, std::uint32_t price, std::uint32_t prev, std::uint32_t back) {
        Set(index, price, prev, back, index - prev, false, 0);
    }
    // After a symbol of `length` bytes from node `cur` at position p (ending in
    // `stateAfter`, price `price`), a literal and then a rep0 match of `distance`.
    void OfferLiteralRep0(std::uint32_t cur, std::size_t p, std::uint32_t back, std::uint32_t length,
                          std::uint32_t stateAfter, std::uint32_t price, std::uint32_t distance, std::uint32_t& lenEnd);
    void Single(std::uint32_t length, std::uint32_t distance);

    std::span<const std::uint8_t> data_;
    MatchFinder& finder_;
    const SymbolCoder& coder_;
    std::uint32_t niceLength_;
    std::vector<Node> nodes_;
    std::vector<ParsedOp> ops_;
    // Matches found at the position where the previous look-ahead stopped.
    std::vector<Match> pending_;
    std::size_t pendingPos_ = SIZE_MAX;
};

}  // namespace zel::lzma
