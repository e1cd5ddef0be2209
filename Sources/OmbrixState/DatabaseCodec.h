#pragma once

#include "OmbrixCore/Foundation/Bytes.h"
#include "OmbrixCore/Kdbx/Models.h"

// Turns a database file's bytes into the model and back. Failures are thrown as the engine's
// errors, each with its Turkish text.
class DatabaseCodec {
  public:
    virtual ~DatabaseCodec() = default;

    virtual KdbxDatabase load(const Bytes& file, const KdbxKey& key) const = 0;
    // A complete KDBX 4 file, with fresh seeds on every call.
    virtual Bytes save(const KdbxDatabase& database, const KdbxKey& key) const = 0;
};

// The KDBX engine.
class KdbxFileCodec final : public DatabaseCodec {
  public:
    KdbxDatabase load(const Bytes& file, const KdbxKey& key) const override;
    Bytes save(const KdbxDatabase& database, const KdbxKey& key) const override;
};
