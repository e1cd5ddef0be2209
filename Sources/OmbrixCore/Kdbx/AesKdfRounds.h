#pragma once

#include <cstdint>
#include <span>

#include "OmbrixCore/Foundation/StopRequest.h"

// The repeated AES-256 encryption at the heart of AES-KDF: both 16-byte halves of a 32-byte
// block enciphered `rounds` times under one key, each half as an independent ECB block. The
// key is expanded once for all rounds. Internal to the key derivation; tests and benchmarks
// use the kernels directly to hold them to each other.

enum class AesKdfKernel { evp, aesni };

bool aesKdfKernelAvailable(AesKdfKernel kernel);

// The fastest kernel this processor runs.
AesKdfKernel aesKdfPreferredKernel();

// Enciphers both halves of `block` in place with the given kernel, which must be available.
// Throws AESCipher::Error::cryptoFailure when OpenSSL fails (the evp kernel only). A raised
// `stop` ends the rounds within a few milliseconds by throwing Stopped; the block then holds
// an intermediate value the caller wipes.
void aesKdfRounds(AesKdfKernel kernel, std::span<std::uint8_t, 32> block,
                  std::span<const std::uint8_t, 32> key, std::uint64_t rounds,
                  const StopFlag* stop = nullptr);

// Per-kernel entry points; the AES-NI one is defined in its own file and runs only on
// processors with AES-NI.
void aesKdfRoundsEVP(std::span<std::uint8_t, 32> block, std::span<const std::uint8_t, 32> key,
                     std::uint64_t rounds);
void aesKdfRoundsAESNI(std::span<std::uint8_t, 32> block, std::span<const std::uint8_t, 32> key,
                       std::uint64_t rounds);
