#include "OmbrixCore/Kdbx/KdbxXMLExpat.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <exception>
#include <memory>
#include <new>

#include "OmbrixCore/Kdbx/PartChannel.h"

namespace {

using KdbxXMLInternal::connect;

// Records expat's events in chunks for a builder on another thread: expat's pass and the building
// of the tree are the two halves of reading a payload, and each then has a core. An event is 'S',
// the attribute count (4 bytes), then the element name and each attribute name and value, each
// followed by a NUL (which expat never lets into either); 'T', a length (4 bytes) and that much
// character data (runs of it merged); or 'E'. The record ends with 'D' when the document was
// well-formed and 'X' when it was not or held a document type declaration. A chunk begins with
// the length of its record (4 bytes): the buffers go round between the threads at their full
// size, never filled afresh.
class EventRecorder {
  public:
    EventRecorder(XML_Parser parser, PartChannel& out) : parser_(parser), out_(out) {
        connect(parser, this);
        chunk_.resize(bufferSize);
    }

    // Ends the record once expat has returned, unless nobody reads it any more.
    void finish(bool parsedOK) {
        if (error_) std::rethrow_exception(error_);
        if (abandoned_) return;
        room(1);
        chunk_[used_++] = parsedOK && !refused_ ? 'D' : 'X';
        flush();
    }

  private:
    // A chunk is handed on once it holds this much; the buffer has a quarter more, so that most
    // events fit behind that mark without a check of their own.
    static constexpr std::size_t chunkSize = 256 * 1024;
    static constexpr std::size_t bufferSize = chunkSize + chunkSize / 4;
    static constexpr std::size_t header = 4;

    template <class Driver>
    friend void KdbxXMLInternal::connect(XML_Parser, Driver*);

    static EventRecorder& self(void* data) { return *static_cast<EventRecorder*>(data); }

    // The record is written through a cursor into a buffer sized in advance: this runs on
    // expat's thread, the one the whole load waits for, once for every event of the payload.
    static void onStart(void* data, const XML_Char* name, const XML_Char** attributes) {
        self(data).guard([&](EventRecorder& r) {
            r.textLength_ = noText;
            std::size_t count = 0;
            const std::size_t nameLength = std::strlen(name) + 1;
            std::size_t size = 1 + 4 + nameLength;
            while (attributes[2 * count] != nullptr) {
                size += std::strlen(attributes[2 * count]) + std::strlen(attributes[2 * count + 1]) + 2;
                ++count;
            }
            r.room(size);
            std::uint8_t* at = r.chunk_.data() + r.used_;
            *at++ = 'S';
            const auto count32 = static_cast<std::uint32_t>(count);
            std::memcpy(at, &count32, 4);
            at += 4;
            std::memcpy(at, name, nameLength);
            at += nameLength;
            for (std::size_t i = 0; i < 2 * count; ++i) {
                const std::size_t length = std::strlen(attributes[i]) + 1;
                std::memcpy(at, attributes[i], length);
                at += length;
            }
            r.used_ = static_cast<std::size_t>(at - r.chunk_.data());
            if (r.used_ >= chunkSize) r.flush();
        });
    }
    static void onEnd(void* data, const XML_Char*) {
        self(data).guard([](EventRecorder& r) {
            r.textLength_ = noText;
            r.room(1);
            r.chunk_[r.used_++] = 'E';
        });
    }
    static void onCharacters(void* data, const XML_Char* text, int length) {
        self(data).guard([&](EventRecorder& r) {
            const auto size = static_cast<std::size_t>(length);
            // Runs of character data (expat hands over each line apart) are merged into one.
            if (r.textLength_ == noText || r.used_ + size > r.chunk_.size()) {
                r.textLength_ = noText;
                r.room(1 + 4 + size);
                r.chunk_[r.used_++] = 'T';
                r.textLength_ = r.used_;
                r.textTotal_ = 0;
                r.used_ += 4;
            }
            std::memcpy(r.chunk_.data() + r.used_, text, size);
            r.used_ += size;
            r.textTotal_ += static_cast<std::uint32_t>(size);
            std::memcpy(r.chunk_.data() + r.textLength_, &r.textTotal_, sizeof r.textTotal_);
            if (r.used_ >= chunkSize) r.flush();
        });
    }
    static void onDoctype(void* data, const XML_Char*, const XML_Char*, const XML_Char*, int) {
        self(data).guard([](EventRecorder& r) { r.refused_ = true; });
    }
    static void onEntityDecl(void* data, const XML_Char*, int, const XML_Char*, int, const XML_Char*,
                             const XML_Char*, const XML_Char*, const XML_Char*) {
        self(data).guard([](EventRecorder& r) { r.refused_ = true; });
    }

    // No exception may cross expat's C frames: it is kept, the parser stopped, and finish()
    // rethrows it. Expat may deliver a few more events after being stopped; they are ignored.
    template <class Fn>
    void guard(Fn&& fn) {
        if (stopped()) return;
        try {
            fn(*this);
        } catch (...) {
            error_ = std::current_exception();
        }
        if (stopped()) XML_StopParser(parser_, XML_FALSE);
    }

    bool stopped() const { return refused_ || abandoned_ || error_; }

    // Makes room for `size` more bytes: the chunk is handed on first when they would not fit,
    // and an event larger than a whole chunk gets a buffer of its size.
    void room(std::size_t size) {
        if (used_ + size <= chunk_.size()) return;
        if (used_ > header) flush();
        if (header + size > chunk_.size()) chunk_.resize(header + size);
    }

    void flush() {
        textLength_ = noText;
        const auto length = static_cast<std::uint32_t>(used_ - header);
        std::memcpy(chunk_.data(), &length, header);
        Bytes full = out_.spare(bufferSize);
        full.swap(chunk_);
        used_ = header;
        // The builder stopped reading: nothing more need be read.
        if (!out_.push(std::move(full))) abandoned_ = true;
    }

    static constexpr std::size_t noText = SIZE_MAX;

    XML_Parser parser_;
    PartChannel& out_;
    // The chunk being written, sized in advance; its first used_ bytes are the header and the
    // record.
    Bytes chunk_;
    std::size_t used_ = header;
    // Where the length of the character data being recorded stands in the chunk, and that length.
    std::size_t textLength_ = noText;
    std::uint32_t textTotal_ = 0;
    bool refused_ = false;
    bool abandoned_ = false;
    std::exception_ptr error_;
};

}  // namespace

namespace KdbxXMLInternal {

void recordEvents(const KdbxXMLNode::Source& next, PartChannel& events) {
    std::unique_ptr<XML_ParserStruct, ParserFree> parser(XML_ParserCreate(nullptr));
    if (!parser) throw std::bad_alloc();
    EventRecorder recorder(parser.get(), events);
    bool parsed = true;
    for (ByteView part = next(); parsed && !part.empty(); part = next()) {
        for (std::size_t offset = 0; parsed && offset < part.size(); offset += maxPiece) {
            const std::size_t piece = std::min(maxPiece, part.size() - offset);
            parsed = XML_Parse(parser.get(), reinterpret_cast<const char*>(part.data() + offset),
                               static_cast<int>(piece), XML_FALSE) == XML_STATUS_OK;
        }
    }
    parsed = parsed && XML_Parse(parser.get(), nullptr, 0, XML_TRUE) == XML_STATUS_OK;
    recorder.finish(parsed);
}

}  // namespace KdbxXMLInternal
