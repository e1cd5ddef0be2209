#pragma once

class QScrollBar;

// Gives a scroll bar the interface's quiet look: a thin rounded handle on no groove and no
// arrow buttons, instead of the stock style's boxed bar.
void makeSlim(QScrollBar* bar);
