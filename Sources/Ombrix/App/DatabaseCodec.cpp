#include "Ombrix/App/DatabaseCodec.h"

#include "OmbrixCore/Kdbx/KdbxError.h"

// PENDING: KdbxFile::load / KdbxFile::save once the engine's file layer is merged.
KdbxDatabase KdbxFileCodec::load(const Bytes&, const KdbxKey&) const {
    throw KdbxError::notAKdbxFile();
}

Bytes KdbxFileCodec::save(const KdbxDatabase&, const KdbxKey&) const {
    throw KdbxError::cryptoFailure("PENDING");
}
