#pragma once

#include <expat.h>

#include <cstddef>

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

// Parses the document `next` supplies, on expat's own thread, and records its events in
// `events` for the builder on the caller's thread (see EventRecorder).
void recordEvents(const KdbxXMLNode::Source& next, PartChannel& events);

}  // namespace KdbxXMLInternal
