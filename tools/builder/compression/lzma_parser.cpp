#include "builder/compression/lzma_parser.h"

#include <algorithm>

namespace zel::lzma {

namespace {

constexpr std::uint32_t kLiteralBack = ParsedOp::kLiteral;
// How far one look-ahead reaches at most.
constexpr std::uint32_t kMaxLookAhead = 4096;
// Room after it: a symbol, a literal and a rep match.
constexpr std::uint32_t kNodeCount = kMaxLookAhead + 2 * kMatchLenMax + 2;

inline int PosState(std::size_t pos) { return static_cast<int>(pos & (kPosStates - 1)); }

}  // namespace

Parser::Parser(std::span<const std::uint8_t> data, MatchFinder& finder, const SymbolCoder& coder,
               std::uint32_t niceLength)
    : data_(data), finder_(finder), coder_(coder), niceLength_(niceLength) {
    nodes_.resize(kNodeCount);
    ops_.reserve(kMaxLookAhead);
}

std::span<const Match> Parser::FindAt(std::size_t pos) {
    if (pendingPos_ == pos) {
        pendingPos_ = SIZE_MAX;
        return pending_;
    }
    return finder_.Find();
}

std::uint32_t Parser::RepLength(std::size_t pos, std::uint32_t distance, std::uint32_t limit) const {
    if (distance >= pos || limit < kMatchLenMin) return 0;
    const std::uint8_t* cur = data_.data() + pos;
    const std::uint8_t* old = cur - distance - 1;
    if (cur[0] != old[0] || cur[1] != old[1]) return 0;
    return CommonLength(cur, old, 2, limit);
}

void Parser::Single(std::uint32_t length, std::uint32_t distance) {
    ops_.push_back({length, distance});
    if (length > 1) finder_.Skip(length - 1);
}

void Parser::SetState(std::uint32_t index) {
    Node& n = nodes_[index];
    const CoderState& from = nodes_[n.prev].state;
    n.state.reps = from.reps;
    if (n.back == kLiteralBack) {
        n.state.state = StateAfterLiteral(from.state);
    } else if (n.back < 4) {
        if (n.length == 1) {
            n.state.state = StateAfterShortRep(from.state);
        } else {
            n.state.state = StateAfterRep(from.state);
            for (std::uint32_t i = n.back; i > 0; --i) n.state.reps[i] = from.reps[i - 1];
            n.state.reps[0] = from.reps[n.back];
        }
    } else {
        n.state.state = StateAfterMatch(from.state);
        n.state.reps = {n.back - 4, from.reps[0], from.reps[1], from.reps[2]};
    }
    if (n.literalAfter) n.state.state = StateAfterLiteral(n.state.state);
    if (n.rep0After != 0) n.state.state = StateAfterRep(n.state.state);
}

void Parser::OfferLiteralRep0(std::uint32_t cur, std::size_t p, std::uint32_t back, std::uint32_t length,
                              std::uint32_t stateAfter, std::uint32_t price, std::uint32_t distance,
                              std::uint32_t& lenEnd) {
    const std::size_t at = p + length;  // the literal
    if (data_.size() - at < 1 + kMatchLenMin) return;
    const auto limit = static_cast<std::uint32_t>(std::min<std::size_t>(data_.size() - at - 1, niceLength_));
    const std::uint32_t repLen = RepLength(at + 1, distance, limit);
    if (repLen < kMatchLenMin) return;
    const std::uint8_t matchByte = data_[at - distance - 1];
    price += coder_.LiteralPrice(stateAfter, PosState(at), data_[at - 1], data_[at], matchByte);
    const int repPosState = PosState(at + 1);
    price +=
        coder_.RepPrice(0, StateAfterLiteral(stateAfter), repPosState) + coder_.RepLengthPrice(repLen, repPosState);
    const std::uint32_t index = cur + length + 1 + repLen;
    while (lenEnd < index) nodes_[++lenEnd].price = kInfinitePrice;
    Set(index, price, cur, back, length, true, repLen);
}

std::span<const ParsedOp> Parser::Next(std::size_t pos) {
    ops_.clear();
    const std::span<const Match> first = FindAt(pos);
    const std::size_t remaining = data_.size() - pos;
    const CoderState& start = coder_.State();
    if (remaining < kMatchLenMin) {
        ops_.push_back({1, ParsedOp::kLiteral});
        return ops_;
    }
    const auto avail = static_cast<std::uint32_t>(std::min<std::size_t>(remaining, kMatchLenMax));

    std::uint32_t repLens[4];
    int bestRep = 0;
    for (int i = 0; i < 4; ++i) {
        repLens[i] = RepLength(pos, start.reps[i], avail);
        if (repLens[i] > repLens[bestRep]) bestRep = i;
    }
    if (repLens[bestRep] >= niceLength_) {
        Single(repLens[bestRep], start.reps[bestRep]);
        return ops_;
    }
    const std::uint32_t mainLen = first.empty() ? 0 : first.back().length;
    if (mainLen >= niceLength_) {
        Single(mainLen, first.back().distance);
        return ops_;
    }

    const std::uint8_t curByte = data_[pos];
    const bool rep0Valid = start.reps[0] < pos;
    const std::uint8_t matchByte = rep0Valid ? data_[pos - start.reps[0] - 1] : 0;
    if (mainLen < kMatchLenMin && repLens[bestRep] < kMatchLenMin && !(rep0Valid && matchByte == curByte)) {
        ops_.push_back({1, ParsedOp::kLiteral});
        return ops_;
    }

    // The first position, priced from the coder's own state.
    nodes_[0].price = 0;
    nodes_[0].state = start;
    const int posState = PosState(pos);
    const std::uint8_t prevByte = pos > 0 ? data_[pos - 1] : 0;
    std::uint32_t lenEnd = std::max({mainLen, repLens[bestRep], 1u});
    for (std::uint32_t i = 1; i <= lenEnd; ++i) nodes_[i].price = kInfinitePrice;
    Offer(1, coder_.LiteralPrice(start.state, posState, prevByte, curByte, matchByte), 0, kLiteralBack);
    if (rep0Valid && matchByte == curByte) Offer(1, coder_.ShortRepPrice(start.state, posState), 0, 0);
    for (int i = 0; i < 4; ++i) {
        if (repLens[i] < kMatchLenMin) continue;
        const std::uint32_t base = coder_.RepPrice(i, start.state, posState);
        for (std::uint32_t len = kMatchLenMin; len <= repLens[i]; ++len) {
            Offer(len, base + coder_.RepLengthPrice(len, posState), 0, static_cast<std::uint32_t>(i));
        }
    }
    if (mainLen >= kMatchLenMin) {
        const std::uint32_t base = coder_.MatchFlagPrice(start.state, posState);
        std::size_t m = 0;
        for (std::uint32_t len = std::max(repLens[0] + 1, kMatchLenMin); len <= mainLen; ++len) {
            while (first[m].length < len) ++m;
            Offer(len, base + coder_.MatchLengthDistancePrice(first[m].distance, len, posState), 0,
                  4 + first[m].distance);
        }
    }

    std::uint32_t cur = 0;
    for (;;) {
        ++cur;
        if (cur >= lenEnd || cur >= kMaxLookAhead) break;
        SetState(cur);
        const std::size_t p = pos + cur;
        const std::span<const Match> matches = finder_.Find();
        const std::uint32_t longest = matches.empty() ? 0 : matches.back().length;
        if (longest >= niceLength_) {
            // A long match here is taken as it is; the next look-ahead starts with it.
            pending_.assign(matches.begin(), matches.end());
            pendingPos_ = p;
            break;
        }
        const Node& node = nodes_[cur];
        const CoderState st = node.state;
        const std::uint32_t price = node.price;
        const int ps = PosState(p);
        const std::uint8_t byte = data_[p];
        const bool validRep0 = st.reps[0] < p;
        const std::uint8_t mbyte = validRep0 ? data_[p - st.reps[0] - 1] : 0;

        const std::uint32_t literalPrice = price + coder_.LiteralPrice(st.state, ps, data_[p - 1], byte, mbyte);
        if (lenEnd < cur + 1) nodes_[++lenEnd].price = kInfinitePrice;
        Offer(cur + 1, literalPrice, cur, kLiteralBack);
        if (validRep0 && mbyte == byte) Offer(cur + 1, price + coder_.ShortRepPrice(st.state, ps), cur, 0);

        const std::size_t left = data_.size() - p;
        if (left < kMatchLenMin) continue;
        if (validRep0 && mbyte != byte && left >= 1 + kMatchLenMin) {
            // A literal, then rep0 again.
            const auto limit2 = static_cast<std::uint32_t>(std::min<std::size_t>(left - 1, niceLength_));
            const std::uint32_t repLen = RepLength(p + 1, st.reps[0], limit2);
            if (repLen >= kMatchLenMin) {
                const int ps2 = PosState(p + 1);
                const std::uint32_t total = literalPrice + coder_.RepPrice(0, StateAfterLiteral(st.state), ps2) +
                                            coder_.RepLengthPrice(repLen, ps2);
                const std::uint32_t index = cur + 1 + repLen;
                while (lenEnd < index) nodes_[++lenEnd].price = kInfinitePrice;
                Set(index, total, cur, kLiteralBack, 1, false, repLen);
            }
        }
        const auto limit = static_cast<std::uint32_t>(std::min<std::size_t>({left, kMatchLenMax, niceLength_}));
        std::uint32_t matchStart = kMatchLenMin;
        for (int i = 0; i < 4; ++i) {
            const std::uint32_t len = RepLength(p, st.reps[i], limit);
            if (len < kMatchLenMin) continue;
            while (lenEnd < cur + len) nodes_[++lenEnd].price = kInfinitePrice;
            const std::uint32_t base = price + coder_.RepPrice(i, st.state, ps);
            for (std::uint32_t l = kMatchLenMin; l <= len; ++l) {
                Offer(cur + l, base + coder_.RepLengthPrice(l, ps), cur, static_cast<std::uint32_t>(i));
            }
            if (i == 0) matchStart = len + 1;
            OfferLiteralRep0(cur, p, static_cast<std::uint32_t>(i), len, StateAfterRep(st.state),
                             base + coder_.RepLengthPrice(len, ps), st.reps[i], lenEnd);
        }
        if (longest >= matchStart) {
            while (lenEnd < cur + longest) nodes_[++lenEnd].price = kInfinitePrice;
            const std::uint32_t base = price + coder_.MatchFlagPrice(st.state, ps);
            std::uint32_t len = matchStart;
            for (const Match& match : matches) {
                if (match.length < len) continue;
                // Lengths of 5 and more share one distance price.
                const std::uint32_t farPrice = coder_.DistancePrice(match.distance, kMatchLenMin + 3);
                std::uint32_t matchPrice = 0;
                for (; len <= match.length; ++len) {
                    const std::uint32_t distancePrice =
                        len < kMatchLenMin + 3 ? coder_.DistancePrice(match.distance, len) : farPrice;
                    matchPrice = base + coder_.MatchLengthPrice(len, ps) + distancePrice;
                    Offer(cur + len, matchPrice, cur, 4 + match.distance);
                }
                // The longest match of this distance, then a changed byte, then more of it.
                OfferLiteralRep0(cur, p, 4 + match.distance, match.length, StateAfterMatch(st.state), matchPrice,
                                 match.distance, lenEnd);
            }
        }
    }

    // Walk back from where the look-ahead stopped.
    SetState(cur);
    std::uint32_t at = cur;
    while (at > 0) {
        const Node& n = nodes_[at];
        if (n.rep0After != 0) ops_.push_back({n.rep0After, n.state.reps[0]});
        if (n.literalAfter) ops_.push_back({1, ParsedOp::kLiteral});
        std::uint32_t distance = ParsedOp::kLiteral;
        if (n.back != kLiteralBack) distance = n.back < 4 ? nodes_[n.prev].state.reps[n.back] : n.back - 4;
        ops_.push_back({n.length, distance});
        at = n.prev;
    }
    std::reverse(ops_.begin(), ops_.end());
    return ops_;
}

}  // namespace zel::lzma
