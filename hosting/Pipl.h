#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace Tessarine::Lamino {

// A four-character code as a number whose most significant byte is the first character
// (fourCharCode("kind") == 'kind'). Stored little-endian, such a code reads backwards in a file.
constexpr uint32_t fourCharCode(const char (&text)[5])
{
    return uint32_t(uint8_t(text[0])) << 24 | uint32_t(uint8_t(text[1])) << 16 |
           uint32_t(uint8_t(text[2])) << 8 | uint32_t(uint8_t(text[3]));
}

// The four characters of a code ("kind"); bytes that are not printable appear as \xNN.
std::string fourCharText(uint32_t code);

// A plug-in property list that cannot be read; the message says where and why.
class PiplError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// One property as it lies in the resource.
struct PiplProperty {
    uint32_t vendor = 0;         // '8BIM' for every property of an effect
    uint32_t key = 0;            // 'kind', 'name', ...
    uint32_t id = 0;
    uint32_t length = 0;         // the data length the resource declares
    size_t offset = 0;           // where the data starts in the resource
    std::vector<uint8_t> data;   // the declared length rounded up to 4: what the resource holds
};

struct PiplVersionPair {
    uint16_t major = 0;
    uint16_t minor = 0;
};

// A plug-in property list ("PiPL"), the resource by which the host knows an effect before
// loading it, parsed from its Windows (little-endian) form. Every property is kept as raw bytes;
// the properties an effect uses are also decoded into the named fields, which stay empty when the
// property is absent. Plain data: no thread or platform needs.
struct Pipl {
    static constexpr uint16_t kResourceId = 16000;
    static constexpr uint16_t kResourceLanguage = 1033;

    // Parses a whole resource. Every length is checked against the buffer before it is used, so
    // a malformed resource throws PiplError and is never read beyond its end.
    static Pipl parse(const uint8_t* bytes, size_t size);
    static Pipl parse(const std::vector<uint8_t>& bytes);

    // The first property with this key, or null.
    const PiplProperty* find(uint32_t key) const;

    std::vector<uint8_t> raw;                  // the whole resource
    uint32_t propertiesVersion = 0;
    std::vector<PiplProperty> properties;      // in resource order

    std::optional<uint32_t> kind;              // 'kind': 'eFKT' for an effect
    std::optional<std::string> name;           // 'name'
    std::optional<std::string> category;       // 'catg'
    std::optional<std::string> entryPoint;     // '8664': exported entry point of 64-bit Windows
    std::optional<PiplVersionPair> piplVersion;  // 'ePVR'
    std::optional<PiplVersionPair> specVersion;  // 'eSVR': effect API version
    std::optional<uint32_t> effectVersion;     // 'eVER': a PF_VERSION value
    std::optional<uint32_t> infoFlags;         // 'eINF': 16 or 32 bits as declared
    std::optional<uint32_t> outFlags;          // 'eGLO'
    std::optional<uint32_t> outFlags2;         // 'eGL2'
    std::optional<uint32_t> aeFlags;           // 'aeFL'
    std::optional<std::string> matchName;      // 'eMNA'
    std::optional<std::string> supportUrl;     // 'eURL'
};

}  // namespace Tessarine::Lamino
