#pragma once

// Links in the compiled resources (fonts, icons). OmbrixTheme is a static library, so its
// resource initialiser only runs when something calls it; the font registrar and the icon
// loader do, so their users need not. Idempotent.
void ensureThemeResources();
