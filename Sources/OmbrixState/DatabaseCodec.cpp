#include "OmbrixState/DatabaseCodec.h"

#include "OmbrixCore/Kdbx/KdbxFile.h"

KdbxDatabase KdbxFileCodec::load(const Bytes& file, const KdbxKey& key) const {
    return KdbxFile::load(file, key);
}

Bytes KdbxFileCodec::save(const KdbxDatabase& database, const KdbxKey& key) const {
    return KdbxFile::save(database, key);
}
