// Loading and saving a whole file of 10,000 entries with 10 history items each, carrying what real
// files carry (notes of several lines, protected custom fields, XML kept for other programs,
// attachments), under a minimal key derivation, as KDBX 4.1 and as KDBX 3.1, beside the work no
// loader or saver can avoid on one core: zlib inflating the payload plus expat's own pass over its
// XML (load), and zlib deflating it at level 6 (save). Goals: load at most 0.9 times its limit in
// either version, save at most 0.6 times.
//
// A machine busy with other work slows ours and the limit alike only when both run at the same
// time: each timing benchmark runs ours and its limit in turn, alternating which goes first, and
// reports the median of each and their ratio. The peak memory figures are each measured in a fresh
// process (this program started again with --peak=...). At the end a summary puts every figure
// beside its goal, with the machine's load average before and after.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "BenchDatabase.h"
#include "ExpatPass.h"
#include "OmbrixCore/Compression/Gzip.h"
#include "OmbrixCore/Kdbx/BlockStreams.h"
#include "OmbrixCore/Kdbx/InnerStreamCipher.h"
#include "OmbrixCore/Kdbx/KdbxCompositeKey.h"
#include "OmbrixCore/Kdbx/KdbxCrypto.h"
#include "OmbrixCore/Kdbx/KdbxFile.h"
#include "OmbrixCore/Kdbx/KdbxHeader.h"
#include "OmbrixCore/Kdbx/KdbxInnerHeader.h"
#include "OmbrixCore/Kdbx/KdbxKeyDerivation.h"
#include "OmbrixCore/Kdbx/KdbxReader.h"
#include "OmbrixCore/Kdbx/KdbxXMLReader.h"
#include "OmbrixCore/Kdbx/KdbxXMLWriter.h"
#include "OmbrixCore/Kdbx/PayloadCipher.h"
#include "PeakMemory.h"
#include "Support/WholePayloads.h"

namespace {

const KdbxKey key("bench parolası", std::nullopt);

const KdbxDatabase& database() {
    static const KdbxDatabase db = [] {
        KdbxDatabase d = benchDatabase({.moreCustomFields = true, .realistic = true});
        d.meta = KdbxMeta("Kasa", "", "", true, std::nullopt, 10, 6291456, "Ombrix");
        d.cipher = KdbxCipher::aes256;
        d.kdf = KdfSettings::aesKdf(10);
        d.compressed = true;
        return d;
    }();
    return db;
}

// What a file's payload is made of: the raw DEFLATE stream inside its gzip member, what that
// inflates to, and the XML alone.
struct Payload {
    Bytes deflated;
    Bytes plain;
    Bytes xml;
};

Payload payloadOf(const Bytes& gzipped, bool innerHeader) {
    Payload out;
    out.plain = Gzip::decompress(gzipped);
    // Behind the ten bytes of the fixed gzip header, before the eight of the trailer.
    out.deflated.assign(gzipped.begin() + 10, gzipped.end() - 8);
    if (!innerHeader) {
        out.xml = out.plain;
        return out;
    }
    KdbxReader inner(out.plain);
    KdbxInnerHeader::parse(inner);
    const ByteView rest = inner.rest();
    out.xml.assign(rest.begin(), rest.end());
    return out;
}

const Bytes& file4() {
    static const Bytes bytes = KdbxFile::save(database(), key);
    return bytes;
}

const Payload& payload4() {
    static const Payload p = [] {
        const KdbxHeader header = KdbxHeader::parse(file4());
        const KdbxKeys::DerivedKeys keys = KdbxKeys::derive(KdbxKeys::compositeKey(key), header);
        KdbxReader reader(file4());
        reader.read(static_cast<std::int64_t>(header.endOffset) + 64);
        return payloadOf(testsupport::decryptPayload(KdbxCrypto::readHMACBlocks(reader, *keys.hmac),
                                                     header.cipher(), keys.master, header.encryptionIV),
                         true);
    }();
    return p;
}

// The same database as a KDBX 3.1 file (AES-KDF, AES-256-CBC, gzip, Salsa20 inner stream, the
// header's hash in the XML), made with the engine's pieces.
struct Version3 {
    Bytes file;
    Payload payload;
};

const Version3& version3() {
    static const Version3 v3 = [] {
        KdbxHeader header;
        header.major = 3;
        header.minor = 1;
        header.masterSeed = KdbxCrypto::randomBytes(32);
        header.transformSeed = KdbxCrypto::randomBytes(32);
        header.transformRounds = 10;
        header.encryptionIV = KdbxCrypto::randomBytes(16);
        header.innerRandomStreamKey = KdbxCrypto::randomBytes(32);
        header.streamStartBytes = KdbxCrypto::randomBytes(32);
        header.innerRandomStreamID = 2;
        const Bytes rawHeader = header.serialize();
        const auto stream = KdbxCrypto::makeInnerStream(2, *header.innerRandomStreamKey);
        const Bytes xml = KdbxXML::serialize(database(), *stream, 3, KdbxCrypto::sha256(rawHeader));
        const Bytes gzipped = Gzip::compress(xml);
        Bytes plain = *header.streamStartBytes;
        const Bytes blocks = testsupport::writeHashedBlocks(gzipped, 1 << 20);
        plain.insert(plain.end(), blocks.begin(), blocks.end());
        const KdbxKeys::DerivedKeys keys = KdbxKeys::derive(KdbxKeys::compositeKey(key), header);
        Version3 out;
        out.file = rawHeader;
        const Bytes encrypted =
            testsupport::encryptPayload(plain, KdbxCipher::aes256, keys.master, header.encryptionIV);
        out.file.insert(out.file.end(), encrypted.begin(), encrypted.end());
        out.payload = payloadOf(gzipped, false);
        return out;
    }();
    return v3;
}

// A version 4 file (AES-KDF, AES-256-CBC, gzip) whose payload is the given XML as it stands.
Bytes fileOfXML(const std::string& xml) {
    KdbxHeader header;
    header.masterSeed = Bytes(32, 1);
    header.encryptionIV = Bytes(16, 3);
    header.kdfParameters = KdbxHeader::kdfParametersFor(KdfSettings::aesKdf(10), Bytes(32, 2));
    const Bytes rawHeader = header.serialize();
    const KdbxKeys::DerivedKeys keys = KdbxKeys::derive(KdbxKeys::compositeKey(key), header);
    KdbxInnerHeader inner;
    inner.streamID = 3;
    inner.streamKey = Bytes(64, 6);
    Bytes payload = inner.serialize();
    payload.insert(payload.end(), xml.begin(), xml.end());
    const Bytes encrypted = testsupport::encryptPayload(Gzip::compress(payload), KdbxCipher::aes256,
                                                        keys.master, header.encryptionIV);
    Bytes file = rawHeader;
    const Bytes hash = KdbxCrypto::sha256(rawHeader);
    const Bytes mac = KdbxCrypto::headerHMAC(rawHeader, *keys.hmac);
    const Bytes blocks = KdbxCrypto::writeHMACBlocks(encrypted, *keys.hmac, 1 << 20);
    for (const Bytes* part : {&hash, &mac, &blocks}) file.insert(file.end(), part->begin(), part->end());
    return file;
}

// One entry of a hostile shape, as the figures of the shapes name them.
std::string hostileShape(int shape) {
    std::string body;
    switch (shape) {
        case 0:  // 10^7 empty unknown elements
            for (int i = 0; i < 10'000'000; ++i) body += "<X/>";
            break;
        case 1:  // 10^6 distinct unknown Times children
            body = "<Times>";
            for (int i = 0; i < 1'000'000; ++i) {
                const std::string n = std::to_string(i);
                body += "<U" + n + ">0</U" + n + ">";
            }
            body += "</Times>";
            break;
        case 2:  // 10^5 history items
            body = "<History>";
            for (int i = 0; i < 100'000; ++i) {
                const std::string n = std::to_string(i);
                body +=
                    "<Entry><UUID>AAAAAAAAAAAAAAAAAAAAAQ==</UUID><Times><CreationTime>2024-01-01T00:00:00Z"
                    "</CreationTime><LastModificationTime>2024-01-02T00:00:00Z</LastModificationTime></Times>"
                    "<String><Key>Title</Key><Value>Başlık " +
                    n + "</Value></String><String><Key>UserName</Key><Value>kullanıcı " + n +
                    "</Value></String><String><Key>Notes</Key><Value>Not " + n + "</Value></String></Entry>";
            }
            body += "</History>";
            break;
        default:  // 3 x 10^6 custom fields
            for (int i = 0; i < 3'000'000; ++i) {
                body += "<String><Key>k" + std::to_string(i) + "</Key><Value>v</Value></String>";
            }
            break;
    }
    return "<KeePassFile><Meta><Generator>G</Generator></"
           "Meta><Root><Group><Entry><UUID>AAAAAAAAAAAAAAAAAAAAAQ==</UUID>" +
           body + "</Entry></Group></Root></KeePassFile>";
}

constexpr const char* shapeNames[] = {"10^7 empty unknown elements in one entry",
                                      "10^6 distinct unknown Times children",
                                      "10^5 history items of one entry", "3x10^6 custom fields of one entry"};

Bytes readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

void writeFile(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// --- Timing: ours and the limit in turn --------------------------------------------------------

double median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

template <class Fn>
double millisecondsOf(Fn&& fn) {
    const auto start = std::chrono::steady_clock::now();
    fn();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

// Each iteration runs the limit and ours once, the order alternating; each callable returns the
// milliseconds it measured itself (a load leaves freeing the model out).
void alternate(benchmark::State& state, const std::function<double()>& ours,
               const std::function<double()>& limit) {
    std::vector<double> o, l;
    bool limitFirst = true;
    for (auto _ : state) {
        if (limitFirst) {
            l.push_back(limit());
            o.push_back(ours());
        } else {
            o.push_back(ours());
            l.push_back(limit());
        }
        limitFirst = !limitFirst;
        state.SetIterationTime((o.back() + l.back()) / 1000);
    }
    state.counters["ours_ms"] = median(o);
    state.counters["limit_ms"] = median(l);
    state.counters["ratio"] = median(o) / median(l);
}

double loadMilliseconds(const Bytes& file) {
    std::unique_ptr<KdbxDatabase> db;
    const double ms = millisecondsOf([&] { db = std::make_unique<KdbxDatabase>(KdbxFile::load(file, key)); });
    benchmark::DoNotOptimize(db->root.entries.size());
    return ms;
}

double inflateAndExpat(const Payload& p) {
    return millisecondsOf([&] {
        const Bytes plain = zlibInflate(p.deflated, p.plain.size());
        benchmark::DoNotOptimize(plain.data());
        expatPass(p.xml);
    });
}

void BM_Load41_AgainstInflateAndExpat(benchmark::State& state) {
    alternate(
        state, [] { return loadMilliseconds(file4()); }, [] { return inflateAndExpat(payload4()); });
    state.counters["xml_MB"] = static_cast<double>(payload4().xml.size()) / 1e6;
}

void BM_Load31_AgainstInflateAndExpat(benchmark::State& state) {
    alternate(
        state, [] { return loadMilliseconds(version3().file); },
        [] { return inflateAndExpat(version3().payload); });
    state.counters["xml_MB"] = static_cast<double>(version3().payload.xml.size()) / 1e6;
}

void BM_Save_AgainstDeflate6(benchmark::State& state) {
    alternate(
        state,
        [] {
            return millisecondsOf([] {
                const Bytes bytes = KdbxFile::save(database(), key);
                benchmark::DoNotOptimize(bytes.data());
            });
        },
        [] {
            return millisecondsOf([] {
                const Bytes deflated = zlibDeflate(payload4().plain, 6);
                benchmark::DoNotOptimize(deflated.data());
            });
        });
}

// --- Peak memory, each in a fresh process ----------------------------------------------------

std::string tempPath(const std::string& name) {
    return "/tmp/ombrix-bench-" + std::to_string(getpid()) + "-" + name;
}

// In the fresh process: the growth of the resident size above the baseline (in KiB), printed.
// `what`: load:PATH (the file read before the baseline; then what the model holds),
// loadwithfile:PATH (read after it), expat:PATH (expat's bare pass over an XML file), save,
// saveattachments (the database of attachments), saves20 (RSS after the first and the twentieth
// save).
int peakMain(const std::string& what) {
    // The first key derivation of a process measures the machine's speed with Argon2 runs of up
    // to 128 MiB, as many as a busy machine needs: done here, before any baseline, so that the
    // figures are those of the load or save alone.
    if (std::getenv("OMBRIX_BENCH_COLD_KDF") == nullptr)
        benchmark::DoNotOptimize(KdbxKeys::KdfBudget::current().cores);
    const auto report = [](std::initializer_list<double> figures) {
        for (double f : figures) std::printf("%.0f\n", f / 1024);
        return 0;
    };
    if (what.rfind("load:", 0) == 0) {
        const Bytes bytes = readFile(what.substr(5));
        const std::size_t before = peakmemory::start();
        const KdbxDatabase db = KdbxFile::load(bytes, key);
        benchmark::DoNotOptimize(db.root.entries.size());
        const double peak = static_cast<double>(peakmemory::peak() - before);
        // What the model holds once the load is over.
        malloc_trim(0);
        const double model =
            static_cast<double>(peakmemory::statusKiB("VmRSS")) * 1024 - static_cast<double>(before);
        return report({peak, model});
    }
    if (what.rfind("expat:", 0) == 0) {
        const Bytes xml = readFile(what.substr(6));
        const std::size_t before = peakmemory::start();
        expatPass(xml);
        return report({static_cast<double>(peakmemory::peak() - before)});
    }
    if (what.rfind("loadwithfile:", 0) == 0) {
        const std::size_t before = peakmemory::start();
        const Bytes bytes = readFile(what.substr(13));
        const KdbxDatabase db = KdbxFile::load(bytes, key);
        benchmark::DoNotOptimize(db.root.entries.size());
        return report({static_cast<double>(peakmemory::peak() - before)});
    }
    if (what == "save" || what.rfind("saveattachments", 0) == 0) {
        const KdbxDatabase db = what == "save"              ? database()
                                : what == "saveattachments" ? benchDatabaseWithAttachments()
                                                            : benchDatabaseWithAttachments(1);
        const std::size_t before = peakmemory::start();
        const Bytes saved = KdbxFile::save(db, key);
        benchmark::DoNotOptimize(saved.data());
        return report({static_cast<double>(peakmemory::peak() - before)});
    }
    if (what == "saves20") {
        benchmark::DoNotOptimize(database().root.entries.size());
        double first = 0;
        for (int i = 0; i < 20; ++i) {
            const Bytes saved = KdbxFile::save(database(), key);
            benchmark::DoNotOptimize(saved.data());
            if (i == 0) first = static_cast<double>(peakmemory::statusKiB("VmRSS")) * 1024;
            if (std::getenv("OMBRIX_BENCH_TRACE"))
                std::fprintf(stderr, "save %d: %zu KiB\n", i, peakmemory::statusKiB("VmRSS"));
        }
        return report({first, static_cast<double>(peakmemory::statusKiB("VmRSS")) * 1024});
    }
    return 1;
}

std::vector<double> childFigures(benchmark::State& state, const std::string& what) {
    const std::string command = "/proc/" + std::to_string(getpid()) + "/exe --peak=" + what;
    std::vector<double> figures;
    FILE* child = popen(command.c_str(), "r");
    if (child == nullptr) {
        state.SkipWithError("child failed");
        return figures;
    }
    long kib = 0;
    while (std::fscanf(child, "%ld", &kib) == 1) figures.push_back(static_cast<double>(kib) * 1024.0);
    if (pclose(child) != 0 || figures.empty()) state.SkipWithError("child failed");
    return figures;
}

double peakOfLoad(benchmark::State& state, const Bytes& file, std::size_t xmlSize) {
    const std::string path = tempPath("load.kdbx");
    writeFile(path, file);
    double peak = 0;
    for (auto _ : state) {
        const std::vector<double> f = childFigures(state, "load:" + path);
        if (f.size() == 2) {
            peak = f[0];
            state.counters["model_per_xml"] = f[1] / static_cast<double>(xmlSize);
        }
    }
    std::remove(path.c_str());
    return peak;
}

void BM_PeakLoad41(benchmark::State& state) {
    state.counters["peak_per_xml"] =
        peakOfLoad(state, file4(), payload4().xml.size()) / static_cast<double>(payload4().xml.size());
}

void BM_PeakLoad31(benchmark::State& state) {
    state.counters["peak_per_xml"] = peakOfLoad(state, version3().file, version3().payload.xml.size()) /
                                     static_cast<double>(version3().payload.xml.size());
}

void BM_PeakSave(benchmark::State& state) {
    double peak = 0;
    for (auto _ : state) {
        const std::vector<double> f = childFigures(state, "save");
        if (!f.empty()) peak = f[0];
    }
    state.counters["peak_per_xml"] = peak / static_cast<double>(payload4().xml.size());
}

// The database of 20 MB of attachments: its load (the file read included, as the application
// reads it) against three times the file plus 32 MiB, every round; and its save, whose bytes hold
// the attachments once, against 16 MiB beside those bytes, for 20 attachments of 1 MB and for one
// of 20 MB.
void BM_PeakAttachments(benchmark::State& state) {
    const Bytes file = KdbxFile::save(benchDatabaseWithAttachments(), key);
    const std::string path = tempPath("attachments.kdbx");
    writeFile(path, file);
    std::vector<double> loads;
    double withAttachments = 0;
    double withOneAttachment = 0;
    for (auto _ : state) {
        for (int round = 0; round < 5; ++round) {
            const std::vector<double> f = childFigures(state, "loadwithfile:" + path);
            if (!f.empty()) loads.push_back(f[0]);
        }
        // The highest of five saves: the bytes of the saved file hold the attachments once, and
        // the save may hold at most their size again beside them.
        for (int round = 0; round < 5; ++round) {
            const std::vector<double> a = childFigures(state, "saveattachments");
            if (!a.empty()) withAttachments = std::max(withAttachments, a[0]);
            const std::vector<double> b = childFigures(state, "saveattachments1");
            if (!b.empty()) withOneAttachment = std::max(withOneAttachment, b[0]);
        }
    }
    std::remove(path.c_str());
    state.counters["file_MiB"] = peakmemory::mib(static_cast<double>(file.size()));
    state.counters["load_max_MiB"] =
        peakmemory::mib(loads.empty() ? 0 : *std::max_element(loads.begin(), loads.end()));
    state.counters["load_limit_MiB"] = 3 * peakmemory::mib(static_cast<double>(file.size())) + 32;
    state.counters["save_peak_MiB"] = peakmemory::mib(withAttachments);
    state.counters["save_one_peak_MiB"] = peakmemory::mib(withOneAttachment);
    state.counters["saved_file_MiB"] = peakmemory::mib(static_cast<double>(file.size()));
    state.counters["attachments_MiB"] = peakmemory::mib(20'000'000);
}

void BM_PeakHostileShape(benchmark::State& state) {
    const std::string xml = hostileShape(static_cast<int>(state.range(0)));
    const double peak = peakOfLoad(state, fileOfXML(xml), xml.size());
    // What expat itself holds for the same XML (it keeps every distinct element name it meets).
    const std::string path = tempPath("shape.xml");
    writeFile(path, Bytes(xml.begin(), xml.end()));
    const std::vector<double> expat = childFigures(state, "expat:" + path);
    std::remove(path.c_str());
    state.SetLabel(shapeNames[state.range(0)]);
    state.counters["xml_MB"] = static_cast<double>(xml.size()) / 1e6;
    state.counters["peak_per_xml"] = peak / static_cast<double>(xml.size());
    state.counters["expat_per_xml"] = expat.empty() ? 0 : expat[0] / static_cast<double>(xml.size());
}

void BM_RepeatedSaves(benchmark::State& state) {
    for (auto _ : state) {
        const std::vector<double> f = childFigures(state, "saves20");
        if (f.size() == 2) {
            state.counters["rss_after_1_MiB"] = peakmemory::mib(f[0]);
            state.counters["rss_after_20_MiB"] = peakmemory::mib(f[1]);
        }
    }
}

std::string loadAverage() {
    std::ifstream in("/proc/loadavg");
    std::string a, b, c;
    in >> a >> b >> c;
    return a + " " + b + " " + c;
}

// The console output, then every figure beside its goal.
class SummaryReporter : public benchmark::ConsoleReporter {
  public:
    SummaryReporter() : loadBefore_(loadAverage()) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration || run.error_occurred) continue;
            std::string name = run.run_name.function_name;
            if (!run.run_name.args.empty()) name += "/" + run.run_name.args;
            for (const auto& [counter, value] : run.counters) figures_[name][counter] = value.value;
            labels_[name] = run.report_label;
        }
    }

    void Finalize() override {
        ConsoleReporter::Finalize();
        std::printf("\nload average (1, 5, 15 min): before %s, after %s\n", loadBefore_.c_str(),
                    loadAverage().c_str());
        std::printf("%-44s %10s %10s %8s   %s\n", "median of alternating rounds", "ours (ms)", "limit (ms)",
                    "ratio", "goal");
        timing("load KDBX 4.1 / inflate + expat", "BM_Load41_AgainstInflateAndExpat", 0.9);
        timing("load KDBX 3.1 / inflate + expat", "BM_Load31_AgainstInflateAndExpat", 0.9);
        timing("save / deflate level 6", "BM_Save_AgainstDeflate6", 0.6);
        std::printf("\npeak memory (fresh process each)\n");
        peak("load KDBX 4.1", "BM_PeakLoad41", 2.0);
        peak("load KDBX 3.1", "BM_PeakLoad31", 2.0);
        peak("save", "BM_PeakSave", 1.5);
        for (int shape = 0; shape < 4; ++shape) {
            const std::string name = "BM_PeakHostileShape/" + std::to_string(shape);
            peak(shapeNames[shape], name, 4.0);
            if (figures_.contains(name)) {
                std::printf("%-44s %7.2fx the XML   (expat's bare pass alone)\n", "",
                            figures_[name]["expat_per_xml"]);
            }
        }
        if (figures_.contains("BM_PeakAttachments")) {
            auto& f = figures_["BM_PeakAttachments"];
            std::printf(
                "attachment database (%.1f MiB file): load peak, highest of 5 runs %.1f MiB   <= %.1f MiB\n",
                f["file_MiB"], f["load_max_MiB"], f["load_limit_MiB"]);
            for (const auto& [label, peakName] :
                 {std::pair{"20 of 1 MB", "save_peak_MiB"}, std::pair{"one of 20 MB", "save_one_peak_MiB"}}) {
                std::printf(
                    "its save (%s): peak, highest of 5 runs %.1f MiB, of which the saved file %.1f MiB; "
                    "beside that %.1f MiB   <= 16 MiB\n",
                    label, f[peakName], f["saved_file_MiB"], f[peakName] - f["saved_file_MiB"]);
            }
        }
        if (figures_.contains("BM_RepeatedSaves")) {
            auto& f = figures_["BM_RepeatedSaves"];
            std::printf("resident size after 1 save %.0f MiB, after 20 saves %.0f MiB   no growth\n",
                        f["rss_after_1_MiB"], f["rss_after_20_MiB"]);
        }
    }

  private:
    void timing(const char* label, const std::string& name, double goal) {
        if (!figures_.contains(name)) return;
        auto& f = figures_[name];
        std::printf("%-44s %10.0f %10.0f %7.2fx   <= %.2fx\n", label, f["ours_ms"], f["limit_ms"], f["ratio"],
                    goal);
    }

    void peak(const std::string& label, const std::string& name, double goal) {
        if (!figures_.contains(name)) return;
        auto& f = figures_[name];
        std::printf("%-44s %7.2fx the XML   <= %.1fx", label.c_str(), f["peak_per_xml"], goal);
        if (f.contains("model_per_xml")) std::printf("   (the loaded model holds %.2fx)", f["model_per_xml"]);
        std::printf("\n");
    }

    std::string loadBefore_;
    std::map<std::string, std::map<std::string, double>> figures_;
    std::map<std::string, std::string> labels_;
};

int rounds() {
    const char* value = std::getenv("OMBRIX_BENCH_ROUNDS");
    return value != nullptr ? std::max(1, std::atoi(value)) : 9;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string flag = "--peak=";
    if (argc == 2 && std::string(argv[1]).rfind(flag, 0) == 0) return peakMain(argv[1] + flag.size());
    const int n = rounds();
    benchmark::RegisterBenchmark("BM_Load41_AgainstInflateAndExpat", BM_Load41_AgainstInflateAndExpat)
        ->Iterations(n)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("BM_Load31_AgainstInflateAndExpat", BM_Load31_AgainstInflateAndExpat)
        ->Iterations(n)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("BM_Save_AgainstDeflate6", BM_Save_AgainstDeflate6)
        ->Iterations(n)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("BM_PeakLoad41", BM_PeakLoad41)
        ->Iterations(1)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("BM_PeakLoad31", BM_PeakLoad31)
        ->Iterations(1)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("BM_PeakSave", BM_PeakSave)->Iterations(1)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("BM_PeakAttachments", BM_PeakAttachments)
        ->Iterations(1)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("BM_PeakHostileShape", BM_PeakHostileShape)
        ->DenseRange(0, 3)
        ->Iterations(1)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("BM_RepeatedSaves", BM_RepeatedSaves)
        ->Iterations(1)
        ->Unit(benchmark::kMillisecond);
    benchmark::Initialize(&argc, argv);
    SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
