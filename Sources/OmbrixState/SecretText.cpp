#include "OmbrixState/SecretText.h"

#include <string_view>

#include <QByteArray>

#include "OmbrixCore/Crypto/SecureWipe.h"

namespace SecretText {

SecretBytes utf8(const QString& text) {
    QByteArray bytes = text.toUtf8();
    SecretBytes secret(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
    secureWipe(bytes.data(), static_cast<std::size_t>(bytes.size()));
    return secret;
}

void wipe(const QString& text) {
    // Only heap storage is ours to overwrite; writing through the shared pointer, not data(),
    // reaches every sharer instead of detaching a private copy.
    if (text.isEmpty() || !text.data_ptr().isMutable()) return;
    secureWipe(const_cast<QChar*>(text.constData()), static_cast<std::size_t>(text.size()) * sizeof(QChar));
}

}  // namespace SecretText
