#pragma once

#include <cstddef>

#include "OmbrixCore/Compression/Gzip.h"
#include "OmbrixCore/Foundation/Bytes.h"
#include "OmbrixCore/Kdbx/Models.h"

// A whole KDBX file: versions 3.x, 4.0 and 4.1 are read, version 4 is written. Nothing here
// touches the disk: the caller hands in the file's bytes and writes the returned bytes itself.
// Both calls block the caller while they run their stages (blocks and cipher, gzip, XML) side by
// side on threads of their own, passing the payload along in parts (a Pipeline for a load, gzip's
// shared threads for a save); they return, or throw, only when every thread has ended its part.
// A failure on any of those threads, an allocation among them, comes out of the call on the
// caller's thread as the error of the earliest stage that met one; nothing else ends. Calls on
// different threads share nothing but gzip's threads and may run at the same time.
namespace KdbxFile {

// The largest decompressed payload (inner header and XML) a compressed file may hold: what the
// gzip reader accepts. Saving refuses a larger one, since the file could not be opened again.
inline constexpr std::size_t maxCompressedPayloadSize = Gzip::maxInflatedSize;

// The database in `file`, opened with `key`. Throws KdbxError (the header, the credentials, the
// integrity checks, the XML), Gzip::Error, AESCipher::Error or Argon2::Error, each with its
// Turkish text; nothing is returned in part.
KdbxDatabase load(const Bytes& file, const KdbxKey& key);

// The complete bytes of a KDBX 4 file holding `database`, sealed with `key`, with a fresh master
// seed, IV, KDF salt and inner stream key on every call. Written as 4.0 when the database was
// read as 4.0, else as 4.1. Throws as load does; a database whose file could not be opened again
// (too large, nested too deep) is refused with KdbxError::corruptedData.
Bytes save(const KdbxDatabase& database, const KdbxKey& key);

}  // namespace KdbxFile
