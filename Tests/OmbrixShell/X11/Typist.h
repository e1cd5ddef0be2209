#pragma once

#include <QString>

#include <xcb/xcb.h>

#include <initializer_list>
#include <map>

#include "Support/X11/X11TestClient.h"

// A person at the keyboard, through XTest on the US layout: types lower-case text, binding a
// spare key code for each character the layout lacks, and presses keys and chords. Whatever it
// bound is unbound again when it goes, so it must outlive the typing: a client may read the
// mapping only when it comes to the keys.
class Typist {
  public:
    explicit Typist(X11TestClient& x) : x_(x) {}
    ~Typist();
    Typist(const Typist&) = delete;
    Typist& operator=(const Typist&) = delete;

    void type(const QString& text);
    void press(xcb_keysym_t keysym);
    void pressWithControl(xcb_keysym_t keysym);
    // Presses the keys in order and releases them in reverse, as a hand holds a combination.
    void chord(std::initializer_list<xcb_keysym_t> keysyms);

    static constexpr xcb_keysym_t returnKey = 0xff0d;
    static constexpr xcb_keysym_t tabKey = 0xff09;
    static constexpr xcb_keysym_t downKey = 0xff54;
    static constexpr xcb_keysym_t deleteKey = 0xffff;
    static constexpr xcb_keysym_t controlKey = 0xffe3;
    static constexpr xcb_keysym_t altKey = 0xffe9;

  private:
    X11TestClient& x_;
    // One key code per character: a client that reads the new mapping late still finds every
    // character typed so far where it was.
    std::map<xcb_keysym_t, xcb_keycode_t> spares_;
};
