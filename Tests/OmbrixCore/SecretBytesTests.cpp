#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "OmbrixCore/Crypto/SecretBytes.h"
#include "Support/WipedBlocks.h"

using testsupport::WipedBlocks;

namespace {

const std::string secret = "kasanın-ana-parolası";

}  // namespace

TEST(SecretBytes, EveryBlockIsWipedBeforeItIsFreed) {
    struct Case {
        const char* note;
        // Lets go of the block `held` holds, in its own way.
        std::function<void(std::optional<SecretBytes>& held)> release;
    };
    const Case cases[] = {
        {"destroyed", [](std::optional<SecretBytes>& held) { held.reset(); }},
        {"cleared", [](std::optional<SecretBytes>& held) { held->clear(); }},
        {"assigned another buffer",
         [](std::optional<SecretBytes>& held) { *held = SecretBytes(std::string(200, 'x')); }},
        {"assigned a copy",
         [](std::optional<SecretBytes>& held) {
             const SecretBytes other(std::string(200, 'y'));
             *held = other;
         }},
        {"outgrown by appending", [](std::optional<SecretBytes>& held) { held->append(Bytes(4096, 7)); }},
    };
    for (const Case& c : cases) {
        const WipedBlocks recorder;
        std::optional<SecretBytes> held(secret);
        const void* block = held->data();
        c.release(held);
        EXPECT_TRUE(recorder.wiped(block, secret.size())) << c.note;
    }
}

TEST(SecretBytes, HoldsTheBytesItWasGivenAndWipesWhatItTookOver) {
    Bytes keyFile{1, 2, 3, 250};
    const SecretBytes fromBytes(std::move(keyFile));
    EXPECT_TRUE(std::equal(fromBytes.view().begin(), fromBytes.view().end(), Bytes{1, 2, 3, 250}.begin()));
    EXPECT_EQ(keyFile, Bytes(4, 0));

    std::string typed = secret;
    const SecretBytes fromText(std::move(typed));
    EXPECT_EQ(fromText.size(), secret.size());
    EXPECT_TRUE(fromText == SecretBytes(secret));
    EXPECT_EQ(typed, std::string(secret.size(), '\0'));

    // A copy is its own buffer: releasing the original leaves it whole.
    auto original = std::make_unique<SecretBytes>(secret);
    const SecretBytes copy = *original;
    EXPECT_NE(copy.data(), original->data());
    original.reset();
    EXPECT_TRUE(copy == SecretBytes(secret));
}

TEST(SecretBytes, EqualityComparesLengthAndBytes) {
    struct Case {
        SecretBytes a;
        SecretBytes b;
        bool equal;
        const char* note;
    };
    const Case cases[] = {
        {SecretBytes("abc"), SecretBytes(Bytes{'a', 'b', 'c'}), true, "same bytes from text and bytes"},
        {SecretBytes("abc"), SecretBytes("abd"), false, "last byte differs"},
        {SecretBytes("abc"), SecretBytes("abc "), false, "longer"},
        {SecretBytes(""), SecretBytes(), true, "empty text and no bytes"},
    };
    for (const Case& c : cases) EXPECT_EQ(c.a == c.b, c.equal) << c.note;
}
