#pragma once

#include <QString>

#include "OmbrixCore/Crypto/SecretBytes.h"

// A typed secret (a master password) crossing from Qt's texts into the engine's buffers.
namespace SecretText {

// The text's UTF-8 bytes in a buffer that is wiped when released; the conversion's own copy is
// wiped at once.
SecretBytes utf8(const QString& text);

// Overwrites the characters where `text` keeps them, so every QString that shares that storage
// (a field's text and the copies taken of it) reads zeros from then on; its length stays. A
// text in read-only storage (a literal) is left alone.
void wipe(const QString& text);

}  // namespace SecretText
