// The system colours the designed look refers to (button face, 3-D shadow and highlight, list
// highlight, window) and the 3-D edges drawn with them: raised and sunken, outer and inner,
// etched. The colours come from the application's palette, so they follow the desktop theme.
// User-interface thread only.
#pragma once

#include <QColor>
#include <QRect>

class QPainter;

namespace kw {

enum class SysColour {
  ButtonFace,
  ButtonShadow,     // 3-D shadow
  ButtonHighlight,  // 3-D highlight (the lit edge)
  ButtonLight,      // 3-D light (between face and highlight)
  DarkShadow,       // 3-D dark shadow
  Highlight,        // selected items
  HighlightText,
  Window,  // list and edit background
  WindowText,
  GrayText,
};

QColor sys_colour(SysColour which);

// The contrast ratio of two colours, from 1 (the same) to 21 (black and white), by their
// relative luminance.
double contrast_ratio(const QColor& a, const QColor& b);
// Disabled text on `background`: the system's grey text colour, darkened or lightened (towards
// whichever of black and white stands out more) until it has a contrast of at least 3:1.
QColor disabled_text_colour(const QColor& background);

// Edge parts, combinable: an edge is an outer line and an inner line, each raised or sunken.
enum EdgeBits : unsigned {
  kRaisedOuter = 1,
  kSunkenOuter = 2,
  kRaisedInner = 4,
  kSunkenInner = 8,
};
inline constexpr unsigned kEdgeRaised = kRaisedOuter | kRaisedInner;
inline constexpr unsigned kEdgeSunken = kSunkenOuter | kSunkenInner;
inline constexpr unsigned kEdgeEtched = kSunkenOuter | kRaisedInner;
inline constexpr unsigned kEdgeBump = kRaisedOuter | kSunkenInner;

// Sides of draw_edge.
enum EdgeSides : unsigned { kSideLeft = 1, kSideTop = 2, kSideRight = 4, kSideBottom = 8 };
inline constexpr unsigned kSideAll = kSideLeft | kSideTop | kSideRight | kSideBottom;

// Draws the edge inside `rect` (its lines are the outermost pixels of the rectangle) and
// returns the rectangle left inside it.
QRect draw_edge(QPainter& painter, QRect rect, unsigned edge, unsigned sides = kSideAll);

}  // namespace kw
