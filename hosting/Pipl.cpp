#include "hosting/Pipl.h"

#include <cstdio>

namespace Tessarine::Lamino {

namespace {

constexpr size_t kHeaderSize = 10;        // u16 1, u32 properties version, u32 count
constexpr size_t kPropertyHeaderSize = 16;  // vendor, key, id, length

uint32_t readU32(const uint8_t* bytes)
{
    return uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 |
           uint32_t(bytes[3]) << 24;
}

uint16_t readU16(const uint8_t* bytes)
{
    return uint16_t(bytes[0] | bytes[1] << 8);
}

std::string describe(const PiplProperty& property, size_t index)
{
    return "PiPL property " + std::to_string(index) + " ('" + fourCharText(property.key) +
           "', data at byte " + std::to_string(property.offset) + ")";
}

PiplError malformed(const PiplProperty& property, size_t index, const std::string& problem)
{
    return PiplError(describe(property, index) + ": " + problem);
}

uint32_t decodeU32(const PiplProperty& property, size_t index)
{
    if (property.length < 4) {
        throw malformed(property, index, "holds " + std::to_string(property.length) +
                                             " bytes, a 32-bit value needs 4");
    }
    return readU32(property.data.data());
}

PiplVersionPair decodeVersionPair(const PiplProperty& property, size_t index)
{
    if (property.length < 4) {
        throw malformed(property, index, "holds " + std::to_string(property.length) +
                                             " bytes, a version pair needs 4");
    }
    return {readU16(property.data.data()), readU16(property.data.data() + 2)};
}

// 16 bits when declared 2 bytes long, else 32.
uint32_t decodeShortOrLong(const PiplProperty& property, size_t index)
{
    if (property.length == 2) {
        return readU16(property.data.data());
    }
    return decodeU32(property, index);
}

std::string decodePascalString(const PiplProperty& property, size_t index)
{
    if (property.length < 1) {
        throw malformed(property, index, "is empty, a Pascal string needs its length byte");
    }
    size_t characters = property.data[0];
    if (1 + characters > property.length) {
        throw malformed(property, index, "Pascal string of " + std::to_string(characters) +
                                             " characters overruns its " +
                                             std::to_string(property.length) + " bytes");
    }
    return std::string(reinterpret_cast<const char*>(property.data.data()) + 1, characters);
}

std::string decodeCString(const PiplProperty& property, size_t index)
{
    for (size_t i = 0; i < property.length; ++i) {
        if (property.data[i] == 0) {
            return std::string(reinterpret_cast<const char*>(property.data.data()), i);
        }
    }
    throw malformed(property, index, "C string has no terminating zero byte");
}

template <class T>
void storeOnce(std::optional<T>& field, T value, const PiplProperty& property, size_t index)
{
    if (field) {
        throw malformed(property, index, "appears a second time");
    }
    field = std::move(value);
}

void decode(Pipl& pipl, const PiplProperty& property, size_t index)
{
    if (property.vendor != fourCharCode("8BIM")) {
        return;  // another vendor's property: kept raw, not interpreted
    }
    switch (property.key) {
    case fourCharCode("kind"): storeOnce(pipl.kind, decodeU32(property, index), property, index); break;
    case fourCharCode("name"): storeOnce(pipl.name, decodePascalString(property, index), property, index); break;
    case fourCharCode("catg"): storeOnce(pipl.category, decodePascalString(property, index), property, index); break;
    case fourCharCode("8664"): storeOnce(pipl.entryPoint, decodeCString(property, index), property, index); break;
    case fourCharCode("ePVR"): storeOnce(pipl.piplVersion, decodeVersionPair(property, index), property, index); break;
    case fourCharCode("eSVR"): storeOnce(pipl.specVersion, decodeVersionPair(property, index), property, index); break;
    case fourCharCode("eVER"): storeOnce(pipl.effectVersion, decodeU32(property, index), property, index); break;
    case fourCharCode("eINF"): storeOnce(pipl.infoFlags, decodeShortOrLong(property, index), property, index); break;
    case fourCharCode("eGLO"): storeOnce(pipl.outFlags, decodeU32(property, index), property, index); break;
    case fourCharCode("eGL2"): storeOnce(pipl.outFlags2, decodeU32(property, index), property, index); break;
    case fourCharCode("aeFL"): storeOnce(pipl.aeFlags, decodeU32(property, index), property, index); break;
    case fourCharCode("eMNA"): storeOnce(pipl.matchName, decodePascalString(property, index), property, index); break;
    case fourCharCode("eURL"): storeOnce(pipl.supportUrl, decodePascalString(property, index), property, index); break;
    default: break;
    }
}

// Reads the property that starts at `offset` and returns the offset of the next one.
size_t readProperty(const uint8_t* bytes, size_t size, size_t offset, size_t index,
                    PiplProperty& property)
{
    if (size - offset < kPropertyHeaderSize) {
        throw PiplError("PiPL property " + std::to_string(index) + " at byte " +
                        std::to_string(offset) + ": header cut off by the end of the resource");
    }
    property.vendor = readU32(bytes + offset);
    property.key = readU32(bytes + offset + 4);
    property.id = readU32(bytes + offset + 8);
    property.length = readU32(bytes + offset + 12);
    property.offset = offset + kPropertyHeaderSize;
    // Writers differ on whether the declared length includes the padding; the data always fills
    // whole 4-byte words. 64-bit arithmetic: a length near 4 GiB must not wrap.
    uint64_t padded = (uint64_t(property.length) + 3) & ~uint64_t(3);
    if (padded > size - property.offset) {
        throw malformed(property, index, "declares " + std::to_string(property.length) +
                                             " bytes of data, but only " +
                                             std::to_string(size - property.offset) + " remain");
    }
    property.data.assign(bytes + property.offset, bytes + property.offset + size_t(padded));
    return property.offset + size_t(padded);
}

}  // namespace

std::string fourCharText(uint32_t code)
{
    std::string text;
    for (int shift = 24; shift >= 0; shift -= 8) {
        auto character = uint8_t(code >> shift);
        if (character >= 0x20 && character < 0x7F) {
            text += char(character);
        } else {
            char escaped[5];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", character);
            text += escaped;
        }
    }
    return text;
}

Pipl Pipl::parse(const std::vector<uint8_t>& bytes)
{
    return parse(bytes.data(), bytes.size());
}

Pipl Pipl::parse(const uint8_t* bytes, size_t size)
{
    if (bytes == nullptr || size < kHeaderSize) {
        throw PiplError("PiPL resource of " + std::to_string(size) +
                        " bytes is shorter than its 10-byte header");
    }
    if (readU16(bytes) != 1) {
        throw PiplError("PiPL resource starts with " + std::to_string(readU16(bytes)) +
                        " instead of 1: not a little-endian (Windows) PiPL");
    }
    Pipl pipl;
    pipl.raw.assign(bytes, bytes + size);
    pipl.propertiesVersion = readU32(bytes + 2);
    uint32_t count = readU32(bytes + 6);
    if (count > (size - kHeaderSize) / kPropertyHeaderSize) {
        throw PiplError("PiPL resource declares " + std::to_string(count) +
                        " properties, but its " + std::to_string(size) +
                        " bytes cannot hold that many");
    }
    size_t offset = kHeaderSize;
    for (size_t index = 0; index < count; ++index) {
        PiplProperty property;
        offset = readProperty(bytes, size, offset, index, property);
        decode(pipl, property, index);
        pipl.properties.push_back(std::move(property));
    }
    return pipl;
}

const PiplProperty* Pipl::find(uint32_t key) const
{
    for (const PiplProperty& property : properties) {
        if (property.key == key) {
            return &property;
        }
    }
    return nullptr;
}

}  // namespace Tessarine::Lamino
