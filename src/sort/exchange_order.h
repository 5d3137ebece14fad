// Where the chunk's exchange sort puts each entry. The sort is replayed on
// integer ranks of the keys, which is all that decides its moves: equal keys
// are never exchanged with each other, yet an entry can be carried past an
// equal one by an exchange with a smaller key.
#pragma once

#include <cstdint>

namespace kelm {

// `rank[i]` is the rank of the key of the chunk's i-th entry in input order
// (equal keys, equal ranks; count <= ENTRIES_PER_CHUNK). Fills `order[p]` with
// the input index of the entry that the exchange sort leaves at position p.
void exchange_order(const std::uint32_t* rank, std::uint32_t count, std::uint16_t* order);

}  // namespace kelm
