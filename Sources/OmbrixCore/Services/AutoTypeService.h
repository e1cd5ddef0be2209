#pragma once

#include <string_view>

// Types an entry's data into another application by synthesising key presses.
class AutoTypeService {
  public:
    // The built-in default sequence: the default of the preference and of the editors.
    static constexpr std::string_view defaultSequence = "{USERNAME}{TAB}{PASSWORD}{ENTER}";
};
