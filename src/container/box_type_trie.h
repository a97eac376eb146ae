#pragma once
// The index of the four-character box types the reader knows. A box is taken for a container
// when its payload begins with the header of a known type; the same test ends the parse of a
// container. Lookups never allocate and are safe from any thread once the index is built.
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace ravir {

// The box-type table: entries 0..5 are the path of the frame-duration probe (moov, trak, mdia,
// minf, stbl, stts); entries 6..173 are the 168 known types ("xml " appears twice).
constexpr int kBoxTypeTableSize = 174;
constexpr int kBoxTypePathLength = 6;
extern const char* const kBoxTypeTable[kBoxTypeTableSize];

class BoxTypeTrie {
public:
    BoxTypeTrie() = default;

    // Adds one four-character name. A level holds at most 64 distinct characters; when a level
    // is full the rest of that name is not added.
    void insert(const char* type4);
    // True when the four bytes are a name that was added.
    bool contains(const uint8_t* type4) const;
    bool contains(const char* type4) const
    { return contains(reinterpret_cast<const uint8_t*>(type4)); }
    // Number of nodes on all four levels (for tests of the 64-per-level rule).
    size_t nodeCount() const { return nodes_.size(); }

    static constexpr int kMaxChildren = 64;

private:
    struct Node {
        uint8_t ch = 0;
        int32_t childCount = 0;
        std::array<int32_t, kMaxChildren> children{};  // indexes into nodes_
    };
    int32_t findChild(const int32_t* children, int32_t count, uint8_t ch) const;

    std::array<int32_t, kMaxChildren> roots_{};
    int32_t rootCount_ = 0;
    std::vector<Node> nodes_;
};

// Builds the process-wide index from table entries 6..173 (once; later calls do nothing).
void BuildBoxTypeTrie();
// The process-wide index (built on first use if BuildBoxTypeTrie was not called).
const BoxTypeTrie& KnownBoxTypes();
bool IsKnownBoxType(const uint8_t* type4);

}  // namespace ravir
