#include "image/DeflateJoin.h"

#include <optional>

namespace {

// Bits read least significant first, as deflate stores them; reading past the
// end sets a flag and gives zeros.
class CBitReader {
public:
    CBitReader(const uint8_t* data, size_t size)
        : m_data(data)
        , m_size(size)
    {
    }
    uint32_t Bits(unsigned count)
    {
        uint32_t value = 0;
        for (unsigned i = 0; i < count; ++i, ++m_bit) {
            if (m_bit / 8 >= m_size) {
                m_bOverrun = true;
                return 0;
            }
            value |= uint32_t{(m_data[m_bit / 8] >> (m_bit % 8)) & 1u} << i;
        }
        return value;
    }
    void SkipToByte() { m_bit = (m_bit + 7) / 8 * 8; }
    void SkipBytes(uint64_t count) { m_bit += 8 * count; }
    uint64_t Position() const { return m_bit; }
    bool Overrun() const { return m_bOverrun || m_bit > 8 * uint64_t{m_size}; }

private:
    const uint8_t* m_data;
    size_t m_size;
    uint64_t m_bit = 0;
    bool m_bOverrun = false;
};

constexpr unsigned kMaxBits = 15;

// A canonical Huffman code: how many codes of each length, and the symbols in code order.
struct Code {
    uint16_t count[kMaxBits + 1] = {};
    uint16_t symbol[288] = {};
};

// False for lengths that no code has (over-subscribed).
bool BuildCode(Code& code, const uint8_t* lengths, unsigned n)
{
    for (unsigned i = 0; i < n; ++i)
        ++code.count[lengths[i]];
    int left = 1;
    for (unsigned len = 1; len <= kMaxBits; ++len) {
        left = 2 * left - code.count[len];
        if (left < 0)
            return false;
    }
    uint16_t offsets[kMaxBits + 2] = {};
    for (unsigned len = 1; len <= kMaxBits; ++len)
        offsets[len + 1] = static_cast<uint16_t>(offsets[len] + code.count[len]);
    for (unsigned i = 0; i < n; ++i) {
        if (lengths[i] != 0)
            code.symbol[offsets[lengths[i]]++] = static_cast<uint16_t>(i);
    }
    return true;
}

// The next symbol; -1 for a code the table does not have.
int Decode(CBitReader& in, const Code& code)
{
    int value = 0, first = 0, index = 0;
    for (unsigned len = 1; len <= kMaxBits; ++len) {
        value |= static_cast<int>(in.Bits(1));
        const int count = code.count[len];
        if (value - count < first)
            return code.symbol[index + (value - first)];
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
        const int symbol = Decode(in, lengths);
        if (symbol < 0 || symbol > 285 || in.Overrun())
            return false;
        if (symbol == 256)
            return true;
        if (symbol > 256) {
            in.Bits(kLengthExtra[symbol - 257]);
            const int distance = Decode(in, distances);
            if (distance < 0 || distance > 29)
                return false;
            in.Bits(kDistanceExtra[distance]);
        }
    }
}

bool FixedCodes(Code& lengths, Code& distances)
{
    uint8_t bits[288];
    for (unsigned i = 0; i < 288; ++i)
        bits[i] = i < 144 ? 8 : i < 256 ? 9 : i < 280 ? 7 : 8;
    uint8_t distanceBits[30];
    for (uint8_t& b : distanceBits)
        b = 5;
    return BuildCode(lengths, bits, 288) && BuildCode(distances, distanceBits, 30);
}

bool DynamicCodes(CBitReader& in, Code& lengths, Code& distances)
{
    static constexpr uint8_t kOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
    const unsigned nLengths = in.Bits(5) + 257, nDistances = in.Bits(5) + 1, nCodeLengths = in.Bits(4) + 4;
    if (nLengths > 286 || nDistances > 30)
        return false;
    uint8_t bits[320] = {};
    for (unsigned i = 0; i < nCodeLengths; ++i)
        bits[kOrder[i]] = static_cast<uint8_t>(in.Bits(3));
    Code codeLengths;
    if (!BuildCode(codeLengths, bits, 19))
        return false;
    for (unsigned i = 0; i < nLengths + nDistances;) {
        const int symbol = Decode(in, codeLengths);
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
    return BuildCode(lengths, bits, nLengths) && BuildCode(distances, bits + nLengths, nDistances);
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
            Code lengths, distances;
            if (!(type == 1 ? FixedCodes(lengths, distances) : DynamicCodes(in, lengths, distances)) ||
                !SkipCodes(in, lengths, distances))
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
