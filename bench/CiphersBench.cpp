// Throughput of the payload-sized primitives: the stream ciphers, AES-256-CBC, gzip and CRC-32.
#include <benchmark/benchmark.h>

#include <string>

#include "OmbrixCore/Compression/Gzip.h"
#include "OmbrixCore/Crypto/ChaCha20.h"
#include "OmbrixCore/Crypto/Salsa20.h"
#include "OmbrixCore/Kdbx/PayloadCipher.h"
#include "Support/WholePayloads.h"

#ifdef OMBRIX_HAVE_LIBSODIUM
#include <sodium.h>
#endif

namespace {

constexpr std::size_t payloadSize = 16 << 20;

Bytes xmlLikePayload(std::size_t size) {
    const std::string line =
        "<Entry><UUID>q83vEjRWeJCrze8SNFZ4kA==</UUID><String><Key>Title</Key><Value>Banka</Value>"
        "</String><String><Key>Password</Key><Value Protected=\"True\">c2lmcmU=</Value></String></Entry>\n";
    Bytes out;
    out.reserve(size);
    for (std::size_t i = 0; out.size() < size; ++i) {
        out.insert(out.end(), line.begin(), line.end());
        out.push_back(static_cast<std::uint8_t>('0' + i % 10));
    }
    out.resize(size);
    return out;
}

void ChaCha20Process(benchmark::State& state) {
    const Bytes key(32, 7), nonce(12, 9), data(static_cast<std::size_t>(state.range(0)), 0x55);
    ChaCha20Stream stream(key, nonce, 0);
    for (auto _ : state) benchmark::DoNotOptimize(stream.process(data));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(ChaCha20Process)->Arg(payloadSize)->Arg(40);  // a payload, and one protected value

void Salsa20Process(benchmark::State& state) {
    const Bytes key(32, 7), data(static_cast<std::size_t>(state.range(0)), 0x55);
    Salsa20Stream stream(key, Salsa20Stream::kdbxNonce());
    for (auto _ : state) benchmark::DoNotOptimize(stream.process(data));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(Salsa20Process)->Arg(payloadSize)->Arg(40);

#ifdef OMBRIX_HAVE_LIBSODIUM
// Reference figure from an established implementation of the same cipher.
void SodiumChaCha20Xor(benchmark::State& state) {
    const Bytes key(32, 7), nonce(12, 9), data(payloadSize, 0x55);
    Bytes out(data.size());
    for (auto _ : state) {
        crypto_stream_chacha20_ietf_xor(out.data(), data.data(), data.size(), nonce.data(), key.data());
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * payloadSize));
}
BENCHMARK(SodiumChaCha20Xor);
#endif

void AESCBCEncrypt(benchmark::State& state) {
    const Bytes key(32, 7), iv(16, 9), data(payloadSize, 0x55);
    for (auto _ : state)
        benchmark::DoNotOptimize(testsupport::encryptPayload(data, KdbxCipher::aes256, key, iv));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * payloadSize));
}
BENCHMARK(AESCBCEncrypt);

void GzipCompress(benchmark::State& state) {
    const Bytes data = xmlLikePayload(payloadSize);
    for (auto _ : state) benchmark::DoNotOptimize(Gzip::compress(data));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * payloadSize));
}
BENCHMARK(GzipCompress)->Unit(benchmark::kMillisecond);

void GzipDecompress(benchmark::State& state) {
    const Bytes member = Gzip::compress(xmlLikePayload(payloadSize));
    for (auto _ : state) benchmark::DoNotOptimize(Gzip::decompress(member));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * payloadSize));
}
BENCHMARK(GzipDecompress)->Unit(benchmark::kMillisecond);

void CRC32(benchmark::State& state) {
    const Bytes data(payloadSize, 0x55);
    for (auto _ : state) benchmark::DoNotOptimize(Gzip::crc32(data));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * payloadSize));
}
BENCHMARK(CRC32);

}  // namespace

BENCHMARK_MAIN();
