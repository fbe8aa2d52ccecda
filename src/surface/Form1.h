#pragma once
// The hidden form that carries the drawing surface: one per thread, made on
// the thread's first use, never shown.

#include "surface/PictureBox.h"

namespace kelvane::surface {

class Form1 {
 public:
  // The calling thread's form, made with its design values on first use.
  static Form1& ForThread();
  // Drops the calling thread's form; the next ForThread makes a fresh one.
  static void DiscardForThread();

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
  PictureBox Logo;   // holds the built-in logo, 70 x 63, decoded when the form is made
  PictureBox tPict;  // holds a loaded picture before it is pasted, 70 x 63

};

}  // namespace kelvane::surface
