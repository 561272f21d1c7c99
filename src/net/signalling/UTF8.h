#pragma once

#include <string_view>

namespace intercom {

// Whether `bytes` are well-formed UTF-8 (no overlong forms, surrogates or values past
// U+10FFFF), the way a strict decoder takes them. Text from the other end of the wire, in
// either direction, is held to this.
bool isValidUTF8(std::string_view bytes);

}  // namespace intercom
