// The pieces of velmsim's HTML pages: escaping, number formats, the frame,
// axes and marks of an inline SVG chart, the histogram chart and the style
// sheet. The run report (html.cpp) and the comparison (compare.cpp) are
// built from them.
#pragma once

#include <string>
#include <vector>

namespace velmsim::page {

// Text with the five markup characters escaped.
std::string escape(const std::string& s);

// Large amounts as whole numbers with thousands separators (1,341,170),
// others with six significant digits; an amount shown among large ones (of
// size `scale`) as a whole number too.
std::string amount(double x, double scale = 0);

// A short label for an axis: 1.25M, 340k, 0.25.
std::string tick_label(double x);

// Round tick positions covering [lo, hi]: steps of 1, 2 or 5 times a power of ten.
std::vector<double> ticks(double lo, double hi, int wanted = 6);

// A chart's drawing area inside an SVG of width x height with margins.
struct Frame {
  double width = 680, height = 300, left = 70, right = 20, top = 20, bottom = 45;
  double x0 = 0, x1 = 1, y0 = 0, y1 = 1;
  double x(double v) const { return left + (v - x0) / (x1 - x0) * (width - left - right); }
  double y(double v) const { return height - bottom - (v - y0) / (y1 - y0) * (height - top - bottom); }
};

// The opening <svg> tag of a chart of the given kind (data-chart) and title.
std::string svg_open(const Frame& f, const std::string& kind, const std::string& title);

// Grid lines at yt, ticks at xt, both axis labels.
std::string axes(const Frame& f, const std::vector<double>& xt, const std::vector<double>& yt,
                 const std::string& xlabel, const std::string& ylabel, bool percent_y = false);

// A labelled vertical line; css is its class (base, p50, p80, target, ...).
struct Mark {
  const char* label;
  double value;
  const char* css;
};

// Vertical lines at the marks inside the frame's range, labels staggered so
// that close marks stay readable.
std::string draw_marks(const Frame& f, const std::vector<Mark>& marks);

// A histogram of the classes between low and high (tally holds the open
// classes below low and above high first and last; they are not drawn),
// with the marks.
std::string histogram_chart(float low, float high, const std::vector<float>& tally,
                            const std::string& xlabel, const std::string& title,
                            const std::vector<Mark>& marks);

// The style sheet of the pages.
extern const char* const kStyle;

}  // namespace velmsim::page
