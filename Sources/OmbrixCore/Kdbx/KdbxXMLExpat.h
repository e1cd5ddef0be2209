#pragma once

#include <expat.h>

#include <cstddef>
#include <cstdint>

#include "OmbrixCore/Kdbx/KdbxXMLNode.h"

class PartChannel;

// Internal to the XML node parser: what its two ways of driving expat share, and the half of a
// parse read part by part that runs on expat's own thread.
namespace KdbxXMLInternal {

// XML_Parse takes an int length: larger documents are fed in pieces.
inline constexpr std::size_t maxPiece = std::size_t{1} << 30;

struct ParserFree {
    void operator()(XML_Parser parser) const { XML_ParserFree(parser); }
};

// Points expat's events at the handlers of `driver`. A document type declaration is where
// entities would be declared (and expanded exponentially); the format never has one, so the
// driver refuses a document with one outright.
template <class Driver>
void connect(XML_Parser parser, Driver* driver) {
    XML_SetUserData(parser, driver);
    XML_SetElementHandler(parser, &Driver::onStart, &Driver::onEnd);
    XML_SetCharacterDataHandler(parser, &Driver::onCharacters);
    XML_SetStartDoctypeDeclHandler(parser, &Driver::onDoctype);
    XML_SetEntityDeclHandler(parser, &Driver::onEntityDecl);
}

// A document read part by part is parsed in pieces by two parsers side by side, each on a thread
// of its own, and the tree is built from their events on the caller's thread. The parts between
// these stages carry one of these tags as their first byte.
namespace Frame {
// The names of the elements open where a piece begins, each followed by a NUL, outermost first.
inline constexpr std::uint8_t pieceStart = 'H';
// Bytes of the document.
inline constexpr std::uint8_t pieceBytes = 'R';
// The names of the elements open where the piece ends (as pieceStart): the next piece begins.
inline constexpr std::uint8_t pieceEnd = 'F';
// The piece ends with the document.
inline constexpr std::uint8_t documentEnd = 'L';
// A chunk of recorded events (see EventRecorder): the record's length (4 bytes) and the record.
inline constexpr std::uint8_t events = 'V';
}  // namespace Frame

// The first stage: the document `next` supplies, cut into pieces of about `pieceSize` bytes.
void splitIntoPieces(const KdbxXMLNode::Source& next, PartChannel& out, std::size_t pieceSize);
// A parser's stage: parses the pieces arriving in `in`, or only every other one with
// `passOddPieces` (the odd ones pass on, for the stage after), and records their events in `out`.
void recordPieces(PartChannel& in, PartChannel& out, bool passOddPieces);

}  // namespace KdbxXMLInternal
