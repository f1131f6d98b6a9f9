// Dialog units to pixels. Templates give places in the units of the dialog font the program
// was designed with (8-point "MS Sans Serif": 4 horizontal units are its average character
// width of 6 pixels, 8 vertical units its height of 13 pixels, at 96 dpi). The conversion is
// that, scaled by the screen's logical dpi; every edge is converted on its own and rounded half
// away from zero, so places that touch in units touch in pixels. Also the two fonts the
// templates name. Plain functions, any thread (the fonts: the user-interface thread).
#pragma once

#include <QFont>
#include <QRect>

class QScreen;

namespace kw {

class DialogUnits {
 public:
  // Logical dots per inch of the screen the dialog appears on; 96 gives the designed sizes.
  explicit DialogUnits(double dpi = 96.0) : scale_(dpi / 96.0) {}
  static DialogUnits for_screen(const QScreen* screen);

  double scale() const { return scale_; }
  int x(int units) const;  // horizontal: 1.5 pixels per unit at 96 dpi
  int y(int units) const;  // vertical: 1.625 pixels per unit at 96 dpi
  QRect rect(int x, int y, int width, int height) const;

  // The horizontal and vertical base units in pixels (6 and 13 at 96 dpi).
  double base_x() const { return 6.0 * scale_; }
  double base_y() const { return 13.0 * scale_; }

 private:
  double scale_;
};

// "MS Sans Serif" 8: the default sans-serif font, sized so that its average character width
// is the horizontal base unit, as the designed font's is. At 8 points the common Linux sans
// fonts are a seventh wider and the templates' texts would wrap or be cut.
QFont dialog_font(const DialogUnits& units);
// "Courier New" of the given character height in pixels: the default monospace font.
QFont fixed_font(int pixel_height, bool bold = false);
// "MS Sans Serif" of the given character height in pixels and weight (400 normal, 700 bold).
QFont sans_font(int pixel_height, int weight);

}  // namespace kw
