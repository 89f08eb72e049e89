#include "image/DeflateJoin.h"

#include <bit>
#include <cstring>
#include <optional>

namespace {

// Bits read least significant first, as deflate stores them, through a 64-bit
// buffer; reading past the end gives zeros, and Overrun() tells.
class CBitReader {
public:
    CBitReader(const uint8_t* data, size_t size)
        : m_data(data)
        , m_size(size)
    {
    }
    // At least 56 bits in the buffer.
    void Refill()
    {
        if constexpr (std::endian::native == std::endian::little) {
            if (m_pos + 8 <= m_size) {
                uint64_t word;
                std::memcpy(&word, m_data + m_pos, 8);
                m_buffer |= word << m_count;
                m_pos += (63 - m_count) >> 3;
                m_count |= 56;
                return;
            }
        }
        for (; m_count <= 56; m_count += 8, ++m_pos)
            m_buffer |= uint64_t{m_pos < m_size ? m_data[m_pos] : uint8_t{0}} << m_count;
    }
    // The next bits without taking them; count at most what the buffer holds.
    uint32_t Peek(unsigned count) const { return static_cast<uint32_t>(m_buffer & ((uint64_t{1} << count) - 1)); }
    void Drop(unsigned count)
    {
        m_buffer >>= count;
        m_count -= count;
    }
    uint32_t Bits(unsigned count)
    {
        if (m_count < count)
            Refill();
        const uint32_t value = Peek(count);
        Drop(count);
        return value;
    }
    unsigned Buffered() const { return m_count; }
    void SkipToByte() { Drop(m_count % 8); }
    void SkipBytes(uint64_t count)
    {
        if (count * 8 <= m_count) {
            Drop(static_cast<unsigned>(count * 8));
            return;
        }
        m_pos += count - m_count / 8;
        m_buffer = 0;
        m_count = 0;
    }
    uint64_t Position() const { return 8 * uint64_t{m_pos} - m_count; }
    bool Overrun() const { return Position() > 8 * uint64_t{m_size}; }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_pos = 0;  // bytes taken into the buffer, those past the end included
    uint64_t m_buffer = 0;
    unsigned m_count = 0;
};

constexpr unsigned kMaxBits = 15;
constexpr unsigned kTableBits = 10;

// A canonical Huffman code: a table indexed by the next kTableBits bits of
// the stream, each entry the symbol (above) and its code length (the low 4
// bits; 0 where the code is longer, or none matches), and for the longer codes
// how many codes there are of each length and the symbols in code order.
struct Code {
    uint16_t entry[1u << kTableBits];
    uint16_t count[kMaxBits + 1];
    uint16_t symbol[288];
};

// False for lengths that no code has (over-subscribed).
bool BuildCode(Code& code, const uint8_t* lengths, unsigned n)
{
    std::memset(code.count, 0, sizeof code.count);
    for (unsigned i = 0; i < n; ++i)
        ++code.count[lengths[i]];
    code.count[0] = 0;
    int left = 1;
    uint32_t next[kMaxBits + 2] = {};
    uint16_t offsets[kMaxBits + 2] = {};
    for (unsigned len = 1; len <= kMaxBits; ++len) {
        left = 2 * left - code.count[len];
        if (left < 0)
            return false;
        next[len + 1] = (next[len] + code.count[len]) << 1;
        offsets[len + 1] = static_cast<uint16_t>(offsets[len] + code.count[len]);
    }
    std::memset(code.entry, 0, sizeof code.entry);
    for (unsigned symbol = 0; symbol < n; ++symbol) {
        const unsigned len = lengths[symbol];
        if (len == 0)
            continue;
        code.symbol[offsets[len]++] = static_cast<uint16_t>(symbol);
        const uint32_t canonical = next[len]++;
        if (len > kTableBits)
            continue;
        // Codes are stored first bit first: the table is indexed by the code reversed.
        uint32_t reversed = 0;
        for (unsigned b = 0; b < len; ++b)
            reversed |= ((canonical >> b) & 1u) << (len - 1 - b);
        for (uint32_t i = reversed; i < (1u << kTableBits); i += 1u << len)
            code.entry[i] = static_cast<uint16_t>(symbol << 4 | len);
    }
    return true;
}

// The next symbol; -1 for a code the table does not have. The buffer must
// hold kMaxBits bits.
inline int Decode(CBitReader& in, const Code& code)
{
    const uint32_t bits = in.Peek(kMaxBits);
    const uint16_t entry = code.entry[bits & ((1u << kTableBits) - 1)];
    if ((entry & 15) != 0) {
        in.Drop(entry & 15);
        return entry >> 4;
    }
    // A long code: bit by bit, in canonical order.
    int value = 0, first = 0, index = 0;
    for (unsigned len = 1; len <= kMaxBits; ++len) {
        value |= static_cast<int>((bits >> (len - 1)) & 1u);
        const int count = code.count[len];
        if (value - count < first) {
            in.Drop(len);
            return code.symbol[index + (value - first)];
        }
        index += count;
        first = (first + count) << 1;
        value <<= 1;
    }
    return -1;
}

constexpr uint8_t kLengthExtra[29] = {
    0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr uint8_t kDistanceExtra[30] = {
    0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

// Reads the symbols of a block up to its end code.
bool SkipCodes(CBitReader& in, const Code& lengths, const Code& distances)
{
    for (;;) {
        // One refill covers a length and a distance with their extra bits (48 bits).
        in.Refill();
        const int symbol = Decode(in, lengths);
        if (symbol < 0 || symbol > 285 || in.Overrun())
            return false;
        if (symbol == 256)
            return true;
        if (symbol > 256) {
            in.Drop(kLengthExtra[symbol - 257]);
            const int distance = Decode(in, distances);
            if (distance < 0 || distance > 29)
                return false;
            in.Drop(kDistanceExtra[distance]);
        }
    }
}

// The codes of one block.
struct BlockCodes {
    Code lengths;
    Code distances;
    Code codeLengths;
};

bool FixedCodes(BlockCodes& codes)
{
    uint8_t bits[288];
    for (unsigned i = 0; i < 288; ++i)
        bits[i] = i < 144 ? 8 : i < 256 ? 9 : i < 280 ? 7 : 8;
    uint8_t distanceBits[30];
    for (uint8_t& b : distanceBits)
        b = 5;
    return BuildCode(codes.lengths, bits, 288) && BuildCode(codes.distances, distanceBits, 30);
}

bool DynamicCodes(CBitReader& in, BlockCodes& codes)
{
    static constexpr uint8_t kOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
    const unsigned nLengths = in.Bits(5) + 257, nDistances = in.Bits(5) + 1, nCodeLengths = in.Bits(4) + 4;
    if (nLengths > 286 || nDistances > 30)
        return false;
    uint8_t bits[320] = {};
    for (unsigned i = 0; i < nCodeLengths; ++i)
        bits[kOrder[i]] = static_cast<uint8_t>(in.Bits(3));
    if (!BuildCode(codes.codeLengths, bits, 19))
        return false;
    std::memset(bits, 0, sizeof bits);
    for (unsigned i = 0; i < nLengths + nDistances;) {
        in.Refill();
        const int symbol = Decode(in, codes.codeLengths);
        if (symbol < 0 || in.Overrun())
            return false;
        if (symbol < 16) {
            bits[i++] = static_cast<uint8_t>(symbol);
            continue;
        }
        unsigned repeat = 0;
        uint8_t value = 0;
        if (symbol == 16) {
            if (i == 0)
                return false;
            value = bits[i - 1];
            repeat = 3 + in.Bits(2);
        } else {
            repeat = symbol == 17 ? 3 + in.Bits(3) : 11 + in.Bits(7);
        }
        if (i + repeat > nLengths + nDistances)
            return false;
        while (repeat-- > 0)
            bits[i++] = value;
    }
    return BuildCode(codes.lengths, bits, nLengths) && BuildCode(codes.distances, bits + nLengths, nDistances);
}

// Where the final block starts and where it ends, in bits.
struct FinalBlock {
    uint64_t start = 0;
    uint64_t end = 0;
};

// The final block, when the stream ends whole within its bytes.
std::optional<FinalBlock> FindFinalBlock(const uint8_t* data, size_t size)
{
    CBitReader in(data, size);
    BlockCodes codes;
    for (;;) {
        const uint64_t start = in.Position();
        const bool final = in.Bits(1) != 0;
        const unsigned type = in.Bits(2);
        if (type == 0) {
            in.SkipToByte();
            const uint32_t length = in.Bits(16), check = in.Bits(16);
            if ((length ^ 0xFFFFu) != check)
                return std::nullopt;
            in.SkipBytes(length);
        } else if (type == 1 || type == 2) {
            if (!(type == 1 ? FixedCodes(codes) : DynamicCodes(in, codes)) ||
                !SkipCodes(in, codes.lengths, codes.distances))
                return std::nullopt;
        } else {
            return std::nullopt;
        }
        if (in.Overrun())
            return std::nullopt;
        if (final)
            return (in.Position() + 7) / 8 == size ? std::optional(FinalBlock{start, in.Position()}) : std::nullopt;
    }
}

}  // namespace

size_t MakeDeflateJoinable(uint8_t* stream, size_t size, size_t capacity)
{
    const std::optional<FinalBlock> final = FindFinalBlock(stream, size);
    if (!final || capacity < size + kDeflateJoinSlack)
        return 0;
    stream[final->start / 8] &= static_cast<uint8_t>(~(1u << (final->start % 8)));
    // An empty stored block, as a sync flush writes: three zero header bits,
    // in the last byte's zero padding when they fit there, then from the next
    // byte LEN 0 and NLEN 0xFFFF.
    const unsigned used = static_cast<unsigned>(final->end % 8);
    if (used == 0 || used > 5)
        stream[size++] = 0;
    for (const uint8_t b : {0, 0, 0xFF, 0xFF})
        stream[size++] = b;
    return size;
}

bool MakeDeflateJoinable(std::vector<uint8_t>& stream)
{
    const size_t size = stream.size();
    stream.resize(size + kDeflateJoinSlack);
    const size_t joined = MakeDeflateJoinable(stream.data(), size, stream.size());
    stream.resize(joined != 0 ? joined : size);
    return joined != 0;
}
