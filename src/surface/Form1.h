#pragma once
// The hidden form that carries the drawing surface: one per thread, made on
// the thread's first use, never shown.

#include "surface/PictureBox.h"

namespace kelvane::surface {

class Form1 {
 public:
  // The calling thread's form, made with its design values on first use.
  static Form1& ForThread();
  // Puts the calling thread's form, if it has one, back in its design
  // state, keeping its memory and the decoded logo.
  static void RenewForThread();

  // Only ForThread makes forms.
  class Key {
    friend class Form1;
    Key() = default;
  };
  explicit Form1(Key);
  Form1(const Form1&) = delete;
  Form1& operator=(const Form1&) = delete;

  // Client area in pixels.
  static constexpr Long ClientWidth = 312;
  static constexpr Long ClientHeight = 213;

  PictureBox Plot;   // the drawing surface: 300 x 300 outer, a 1-pixel border
  PictureBox Logo;   // holds the built-in logo, 70 x 63; nothing draws on it
  PictureBox tPict;  // holds a loaded picture before it is pasted, 70 x 63

};

}  // namespace kelvane::surface
