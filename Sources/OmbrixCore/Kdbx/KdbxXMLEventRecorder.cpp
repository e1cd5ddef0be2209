#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <exception>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "OmbrixCore/Kdbx/KdbxXMLExpat.h"
#include "OmbrixCore/Kdbx/PartChannel.h"

namespace {

using namespace KdbxXMLInternal::Frame;
using KdbxXMLInternal::connect;

// Cuts a document into pieces at element starts, so that two parsers can read them side by side:
// each piece begins at the "<" of a start tag in content, with the names of the elements open
// there, which its parser is given first (and which it reports to nobody). A tokenizer that knows
// only where markup begins and ends (tags with their quoted values, comments, CDATA sections,
// processing instructions) finds the places; the parsers check everything else, and a cut that
// was not sound makes a piece fail to parse, never pass. A document whose encoding is not UTF-8,
// or that holds a document type declaration, is not cut at all.
class Splitter {
  public:
    Splitter(PartChannel& out, std::size_t pieceSize)
        : out_(out),
          pieceSize_(pieceSize),
          frameSize_(std::clamp<std::size_t>(pieceSize / 4, 4096, 1 << 20)) {
        emitNames(pieceStart);
        startFrame();
    }

    // False once nobody reads on.
    bool feed(ByteView part) {
        for (std::size_t at = 0; at < part.size();) {
            // Copied into the frame, then scanned there; a cut moves the rest to the next frame.
            const std::size_t take =
                std::min(part.size() - at, frameSize_ - std::min(frameSize_, frame_.size()));
            const std::size_t start = frame_.size();
            frame_.insert(frame_.end(), part.begin() + static_cast<std::ptrdiff_t>(at),
                          part.begin() + static_cast<std::ptrdiff_t>(at + take));
            at += take;
            if (!scan(start)) return false;
            if (frame_.size() >= frameSize_ && !flushFrame()) return false;
        }
        return true;
    }

    void finish() {
        if (flushFrame(true)) {
            Bytes end = out_.spare();
            end.push_back(documentEnd);
            out_.push(std::move(end));
        }
    }

  private:
    // Pieces begin no deeper than this: their parsers are given these names first.
    static constexpr std::size_t maxCutDepth = 64;
    // The XML declaration is read up to this length to learn its encoding.
    static constexpr std::size_t maxDeclaration = 1024;

    enum class State {
        start,
        content,
        afterLt,
        startName,
        inTag,
        inQuote,
        endTag,
        bang,
        section,
        pi,
        off
    };

    void startFrame() {
        frame_ = out_.spare();
        frame_.push_back(pieceBytes);
    }

    // Hands on the frame's bytes, but for a "<" whose meaning the next byte decides: it starts
    // the next frame, so that a cut before it leaves it whole in the next piece.
    bool flushFrame(bool last = false) {
        std::size_t keep = 0;
        if (!last && state_ == State::afterLt) keep = 1;
        if (frame_.size() - keep <= 1) return true;
        Bytes rest;
        if (keep > 0) rest.assign(frame_.end() - 1, frame_.end());
        frame_.resize(frame_.size() - keep);
        if (!out_.push(std::move(frame_))) return false;
        startFrame();
        frame_.insert(frame_.end(), rest.begin(), rest.end());
        ltAt_ = keep > 0 ? 1 : ltAt_;
        return true;
    }

    // The piece ends before the "<" at frame_[ltAt_], and the next begins there.
    bool cut() {
        Bytes rest;
        rest.push_back(pieceBytes);
        rest.insert(rest.end(), frame_.begin() + static_cast<std::ptrdiff_t>(ltAt_), frame_.end());
        frame_.resize(ltAt_);
        if (frame_.size() > 1 && !out_.push(std::move(frame_))) return false;
        if (!emitNames(pieceEnd) || !emitNames(pieceStart)) return false;
        frame_ = std::move(rest);
        ltAt_ = 1;
        pieceBytes_ = frame_.size() - 1;
        return true;
    }

    bool emitNames(std::uint8_t tag) {
        Bytes frame = out_.spare();
        frame.push_back(tag);
        frame.insert(frame.end(), names_.begin(), names_.end());
        return out_.push(std::move(frame));
    }

    // Scans frame_ from `from`. False once nobody reads on.
    bool scan(std::size_t from) {
        pieceBytes_ += frame_.size() - from;
        std::size_t i = from;
        while (i < frame_.size()) {
            const auto c = static_cast<char>(frame_[i]);
            switch (state_) {
                case State::off:
                    return true;
                case State::start:
                    // A byte-order mark of UTF-16 or UTF-32, or anything but "<" first: not cut.
                    if (c == '<') {
                        state_ = State::afterLt;
                        ltAt_ = i;
                        atStart_ = true;
                    } else if (static_cast<unsigned char>(c) == 0xEF && i == from && frame_.size() - i >= 3 &&
                               frame_[i + 1] == 0xBB && frame_[i + 2] == 0xBF) {
                        i += 2;
                    } else {
                        state_ = State::off;
                    }
                    break;
                case State::content: {
                    const void* lt = std::memchr(frame_.data() + i, '<', frame_.size() - i);
                    if (lt == nullptr) return true;
                    i = static_cast<std::size_t>(static_cast<const std::uint8_t*>(lt) - frame_.data());
                    state_ = State::afterLt;
                    ltAt_ = i;
                    atStart_ = false;
                    break;
                }
                case State::afterLt:
                    if (c == '/') {
                        state_ = State::endTag;
                    } else if (c == '?') {
                        state_ = State::pi;
                        declaration_ = atStart_;
                        text_.clear();
                        previous_ = 0;
                    } else if (c == '!') {
                        state_ = State::bang;
                        text_.clear();
                    } else {
                        if (depth() >= 1 && depth() <= maxCutDepth && pieceBytes_ >= pieceSize_) {
                            if (!cut()) return false;
                            i = ltAt_ + 1;
                        }
                        state_ = State::startName;
                        nameStarts_.push_back(names_.size());
                        names_ += c;
                    }
                    break;
                case State::startName: {
                    // The name runs to the first blank, "/" or ">".
                    std::size_t end = i;
                    while (end < frame_.size() && !endsName(frame_[end])) ++end;
                    names_.append(reinterpret_cast<const char*>(frame_.data()) + i, end - i);
                    i = end;
                    if (i == frame_.size()) return true;
                    state_ = State::inTag;
                    previous_ = 0;
                    continue;
                }
                case State::inTag: {
                    // Attributes: only a quote or the closing ">" matter.
                    std::size_t end = i;
                    while (end < frame_.size() && !inTagMark(frame_[end])) ++end;
                    if (end > i) previous_ = static_cast<char>(frame_[end - 1]);
                    i = end;
                    if (i == frame_.size()) return true;
                    const auto mark = static_cast<char>(frame_[i]);
                    if (mark == '>') {
                        if (previous_ == '/') {
                            names_.resize(nameStarts_.back());
                            nameStarts_.pop_back();
                        } else {
                            names_ += '\0';
                        }
                        state_ = State::content;
                    } else {
                        quote_ = mark;
                        state_ = State::inQuote;
                    }
                    previous_ = mark;
                    break;
                }
                case State::inQuote: {
                    const void* close = std::memchr(frame_.data() + i, quote_, frame_.size() - i);
                    if (close == nullptr) return true;
                    i = static_cast<std::size_t>(static_cast<const std::uint8_t*>(close) - frame_.data());
                    state_ = State::inTag;
                    previous_ = quote_;
                    break;
                }
                case State::endTag: {
                    const void* close = std::memchr(frame_.data() + i, '>', frame_.size() - i);
                    if (close == nullptr) return true;
                    i = static_cast<std::size_t>(static_cast<const std::uint8_t*>(close) - frame_.data());
                    if (!nameStarts_.empty()) {
                        names_.resize(nameStarts_.back());
                        nameStarts_.pop_back();
                    }
                    state_ = State::content;
                    break;
                }
                case State::bang:
                    text_ += c;
                    if (text_ == "--" || text_ == "[CDATA[") {
                        state_ = State::section;
                        sectionEnd_ = text_ == "--" ? '-' : ']';
                        run_ = 0;
                    } else if (std::string_view("--").substr(0, text_.size()) != text_ &&
                               std::string_view("[CDATA[").substr(0, text_.size()) != text_) {
                        // A document type declaration: where it ends and what it declares is
                        // the parser's business alone.
                        state_ = State::off;
                        return true;
                    }
                    break;
                case State::section:
                    // A comment ends at "-->", a CDATA section at "]]>".
                    if (c == '>' && run_ >= 2) {
                        state_ = State::content;
                    } else {
                        run_ = c == sectionEnd_ ? run_ + 1 : 0;
                    }
                    break;
                case State::pi:
                    if (declaration_) {
                        text_ += c;
                        if (text_.size() > maxDeclaration) {
                            state_ = State::off;
                            return true;
                        }
                    }
                    if (c == '>' && previous_ == '?') {
                        state_ = State::content;
                        if (declaration_ && !utf8(text_)) {
                            state_ = State::off;
                            return true;
                        }
                    }
                    previous_ = c;
                    break;
            }
            ++i;
        }
        return true;
    }

    std::size_t depth() const { return nameStarts_.size(); }

    static bool endsName(std::uint8_t b) {
        return b == ' ' || b == '\t' || b == '\r' || b == '\n' || b == '/' || b == '>';
    }
    static bool inTagMark(std::uint8_t b) { return b == '>' || b == '"' || b == '\''; }

    // Whether an XML declaration's text names UTF-8 or no encoding.
    static bool utf8(const std::string& declaration) {
        const std::size_t key = declaration.find("encoding");
        if (key == std::string::npos) return true;
        const std::size_t open = declaration.find_first_of("\"'", key);
        if (open == std::string::npos) return false;
        const std::size_t close = declaration.find(declaration[open], open + 1);
        if (close == std::string::npos) return false;
        std::string name = declaration.substr(open + 1, close - open - 1);
        for (char& ch : name) ch = static_cast<char>(ch >= 'A' && ch <= 'Z' ? ch - 'A' + 'a' : ch);
        return name == "utf-8" || name == "utf8";
    }

    PartChannel& out_;
    const std::size_t pieceSize_;
    // The bytes are handed on in frames of this size: a quarter piece, at most a megabyte.
    const std::size_t frameSize_;
    Bytes frame_;
    // Bytes of the current piece so far.
    std::size_t pieceBytes_ = 0;
    State state_ = State::start;
    // Where in frame_ the "<" being read stands.
    std::size_t ltAt_ = 0;
    bool atStart_ = false;
    bool declaration_ = false;
    char quote_ = 0;
    char sectionEnd_ = 0;
    char previous_ = 0;
    int run_ = 0;
    std::string text_;
    // The names of the open elements, each followed by a NUL, outermost first.
    std::string names_;
    std::vector<std::size_t> nameStarts_;
};

// Records expat's events in chunks for a builder on another thread: expat's pass and the building
// of the tree are the two halves of reading a payload, and each then has a core. An event is 'S',
// the attribute count (4 bytes), then the element name and each attribute name and value, each
// as a length (4 bytes) and that many bytes; 'T', a length (4 bytes) and that much character data
// (runs of it merged); or 'E'. A piece's record ends with 'P' when the piece was
// well-formed and more follow, 'D' when it ended the document well-formed, and 'X' when it was
// not or held a document type declaration. A chunk begins with its frame tag and the length of
// its record (4 bytes): the buffers go round between the threads at their full size, never
// filled afresh.
class EventRecorder {
  public:
    EventRecorder(XML_Parser parser, PartChannel& out) : parser_(parser), out_(out) {
        connect(parser, this);
        chunk_.resize(bufferSize);
    }

    // A piece begins: the first `hidden` start events are those of the names given first.
    void beginPiece(XML_Parser parser, std::size_t hidden) {
        parser_ = parser;
        connect(parser, this);
        hiddenStarts_ = hidden;
        bodyEnd_ = noEnd;
        refused_ = false;
    }

    // End events from this byte of the parser's input on close the names given first: hidden.
    void bodyEndsAt(XML_Index index) { bodyEnd_ = index; }

    // Ends the piece's record once expat has returned, unless nobody reads it any more. False
    // when the record ended the document, well-formed or not.
    bool endPiece(bool parsedOK, bool last) {
        if (error_) std::rethrow_exception(error_);
        if (abandoned_) return false;
        room(1);
        const bool sound = parsedOK && !refused_;
        chunk_[used_++] = !sound ? 'X' : last ? 'D' : 'P';
        flush();
        return sound && !last && !abandoned_;
    }

    bool abandoned() const { return abandoned_; }

  private:
    // A chunk is handed on once it holds this much; the buffer has a quarter more, so that most
    // events fit behind that mark without a check of their own.
    static constexpr std::size_t chunkSize = 256 * 1024;
    static constexpr std::size_t bufferSize = chunkSize + chunkSize / 4;
    static constexpr std::size_t header = 5;

    template <class Driver>
    friend void KdbxXMLInternal::connect(XML_Parser, Driver*);

    static EventRecorder& self(void* data) { return *static_cast<EventRecorder*>(data); }

    // The record is written through a cursor into a buffer sized in advance: this runs on
    // expat's thread, the one the whole load waits for, once for every event of the payload.
    static void onStart(void* data, const XML_Char* name, const XML_Char** attributes) {
        self(data).guard([&](EventRecorder& r) {
            if (r.hiddenStarts_ > 0) {
                --r.hiddenStarts_;
                return;
            }
            r.textLength_ = noText;
            // Each string with its length, measured here once: the builder, the thread the
            // load waits for, then measures nothing.
            std::size_t count = 0;
            const std::size_t nameLength = std::strlen(name);
            std::size_t size = 1 + 4 + 4 + nameLength;
            while (attributes[2 * count] != nullptr) {
                size += 8 + std::strlen(attributes[2 * count]) + std::strlen(attributes[2 * count + 1]);
                ++count;
            }
            r.room(size);
            std::uint8_t* at = r.chunk_.data() + r.used_;
            *at++ = 'S';
            const auto count32 = static_cast<std::uint32_t>(count);
            std::memcpy(at, &count32, 4);
            at += 4;
            at = putString(at, name, nameLength);
            for (std::size_t i = 0; i < 2 * count; ++i)
                at = putString(at, attributes[i], std::strlen(attributes[i]));
            r.used_ = static_cast<std::size_t>(at - r.chunk_.data());
            if (r.used_ >= chunkSize) r.flush();
        });
    }
    static std::uint8_t* putString(std::uint8_t* at, const XML_Char* text, std::size_t length) {
        const auto length32 = static_cast<std::uint32_t>(length);
        std::memcpy(at, &length32, 4);
        std::memcpy(at + 4, text, length);
        return at + 4 + length;
    }

    static void onEnd(void* data, const XML_Char*) {
        self(data).guard([](EventRecorder& r) {
            if (r.bodyEnd_ != noEnd && XML_GetCurrentByteIndex(r.parser_) >= r.bodyEnd_) return;
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

    // No exception may cross expat's C frames: it is kept, the parser stopped, and endPiece()
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
        chunk_[0] = events;
        const auto length = static_cast<std::uint32_t>(used_ - header);
        std::memcpy(chunk_.data() + 1, &length, sizeof length);
        Bytes full = out_.spare(bufferSize);
        full.swap(chunk_);
        used_ = header;
        // The builder stopped reading: nothing more need be read.
        if (!out_.push(std::move(full))) abandoned_ = true;
    }

    static constexpr std::size_t noText = SIZE_MAX;
    static constexpr XML_Index noEnd = -1;

    XML_Parser parser_;
    PartChannel& out_;
    // The chunk being written, sized in advance; its first used_ bytes are the header and the
    // record.
    Bytes chunk_;
    std::size_t used_ = header;
    // Where the length of the character data being recorded stands in the chunk, and that length.
    std::size_t textLength_ = noText;
    std::uint32_t textTotal_ = 0;
    std::size_t hiddenStarts_ = 0;
    XML_Index bodyEnd_ = noEnd;
    bool refused_ = false;
    bool abandoned_ = false;
    std::exception_ptr error_;
};

// Feeds `data` to the parser as more of its input; false when it is not well-formed.
bool parseMore(XML_Parser parser, ByteView data, bool isFinal) {
    for (std::size_t offset = 0; offset < data.size() || (isFinal && offset == 0);) {
        const std::size_t piece = std::min(KdbxXMLInternal::maxPiece, data.size() - offset);
        const bool last = isFinal && offset + piece == data.size();
        if (XML_Parse(parser, reinterpret_cast<const char*>(data.data() + offset), static_cast<int>(piece),
                      last ? XML_TRUE : XML_FALSE) != XML_STATUS_OK)
            return false;
        offset += piece;
        if (last) break;
    }
    return true;
}

ByteView bytesOf(std::string_view text) {
    return ByteView(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}

// The names of a pieceStart or pieceEnd frame, each followed by a NUL, outermost first.
std::vector<std::string_view> namesOf(const Bytes& frame) {
    std::vector<std::string_view> names;
    const std::string_view all(reinterpret_cast<const char*>(frame.data()) + 1, frame.size() - 1);
    for (std::size_t at = 0; at < all.size();) {
        const std::size_t end = all.find('\0', at);
        names.push_back(all.substr(at, end - at));
        at = end + 1;
    }
    return names;
}

}  // namespace

namespace KdbxXMLInternal {

void splitIntoPieces(const KdbxXMLNode::Source& next, PartChannel& out, std::size_t pieceSize) {
    Splitter splitter(out, pieceSize);
    for (ByteView part = next(); !part.empty(); part = next()) {
        // Nobody reads on: the parsers have stopped, and this stage reports no error of its own.
        if (!splitter.feed(part)) return;
    }
    splitter.finish();
}

void recordPieces(PartChannel& in, PartChannel& out, bool passOddPieces) {
    std::unique_ptr<XML_ParserStruct, ParserFree> parser;
    std::optional<EventRecorder> recorder;
    std::size_t index = 0;
    bool mine = false;
    // The bytes given to the parser of this piece so far.
    XML_Index fed = 0;
    std::string text;
    const auto feed = [&](ByteView data, bool isFinal) {
        fed += static_cast<XML_Index>(data.size());
        return parseMore(parser.get(), data, isFinal);
    };
    while (std::optional<Bytes> frame = in.pop()) {
        const std::uint8_t tag = frame->empty() ? 0 : (*frame)[0];
        if (tag == pieceStart) mine = !passOddPieces || index % 2 == 0;
        if (tag == pieceEnd || tag == documentEnd) ++index;
        // Events of the stage before, and the pieces left to the stage after, pass on in order.
        if (tag == events || !mine) {
            if (!out.push(std::move(*frame))) return;
            continue;
        }
        bool parsed = true;
        if (tag == pieceStart) {
            if (!parser || XML_ParserReset(parser.get(), nullptr) != XML_TRUE)
                parser.reset(XML_ParserCreate(nullptr));
            if (!parser) throw std::bad_alloc();
            const std::vector<std::string_view> names = namesOf(*frame);
            if (!recorder) recorder.emplace(parser.get(), out);
            recorder->beginPiece(parser.get(), names.size());
            fed = 0;
            text.clear();
            for (std::string_view name : names) ((text += '<') += name) += '>';
            parsed = feed(bytesOf(text), false);
        } else if (tag == pieceBytes) {
            parsed = feed(ByteView(*frame).subspan(1), false);
        } else {
            text.clear();
            if (tag == pieceEnd) {
                recorder->bodyEndsAt(fed);
                const std::vector<std::string_view> names = namesOf(*frame);
                for (auto name = names.rbegin(); name != names.rend(); ++name)
                    ((text += "</") += *name) += '>';
            }
            const bool last = tag == documentEnd;
            parsed = feed(bytesOf(text), true);
            in.recycle(std::move(*frame));
            // A piece that failed ends the record: what comes after it is never read.
            if (!recorder->endPiece(parsed, last) && !last) return;
            continue;
        }
        in.recycle(std::move(*frame));
        if (!parsed) {
            recorder->endPiece(false, true);
            return;
        }
    }
}

}  // namespace KdbxXMLInternal
