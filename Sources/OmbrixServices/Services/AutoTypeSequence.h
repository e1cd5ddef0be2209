#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "OmbrixCore/Kdbx/Models.h"
#include "OmbrixServices/Services/AutoTypeAction.h"

// The auto-type sequence: literal characters mixed with placeholders in braces for the entry's
// fields ("{USERNAME}", "{S:Name}"), named keys ("{TAB}"), pauses ("{DELAY 200}") and
// "{CLEARFIELD}"; "{{}" and "{}}" type a brace.
namespace AutoTypeSequence {

// A "{DELAY n}" longer than this is shortened to it, so that a typo cannot stall a run for hours
// and no conversion of the pause overflows.
inline constexpr std::int64_t maximumDelayMilliseconds = 10000;

// The steps of `sequence` (UTF-8) with the entry's values filled in. Never fails: what is no
// placeholder is typed as written, and a custom field that does not exist types nothing.
// Characters are extended grapheme clusters; names match in any case, independent of the locale.
// The list may hold the password in plain: wipe its steps when done with it.
std::vector<AutoTypeAction> parse(std::string_view sequence, const KdbxEntry& entry);

}  // namespace AutoTypeSequence
