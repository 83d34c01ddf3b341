// The pieces of velmsim's HTML pages: the page frame and style sheet,
// escaping, number formats, the frame, axes and marks of an inline SVG chart,
// the histogram chart, tables and cards. The run report and the comparison
// are built from them. Pages are self-contained (inline SVG, no scripts, no
// external resources) and well-formed XML as well as HTML, so that any XML
// reader can check them.
#pragma once

#include <string>
#include <vector>

#include "host/velmsim/analysis/summary.h"

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

// The width of a label at a font size, in the SVG's units, estimated from its
// characters (an entity counts as one): enough to keep labels apart and
// inside their chart, not to set type.
double text_width(const std::string& s, double size = 12);

// Text for a label at most `width` wide: escaped, and when too long
// shortened in the middle with an ellipsis, the whole text then kept as the
// label's tooltip (a <title> child of the <text> it is put in).
std::string fit(const std::string& s, double width, double size = 12);

// A chart's drawing area inside an SVG of width x height with margins.
struct Frame {
  double width = 680, height = 300, left = 70, right = 20, top = 20, bottom = 45;
  double x0 = 0, x1 = 1, y0 = 0, y1 = 1;
  double x(double v) const { return left + (v - x0) / (x1 - x0) * (width - left - right); }
  double y(double v) const { return height - bottom - (v - y0) / (y1 - y0) * (height - top - bottom); }
};

// The opening <svg> tag of a chart of the given kind (data-chart) and title.
std::string svg_open(const Frame& f, const std::string& kind, const std::string& title);

// Grid lines at yt, ticks at xt, both axis labels (each fitted to its axis).
std::string axes(const Frame& f, const std::vector<double>& xt, const std::vector<double>& yt,
                 const std::string& xlabel, const std::string& ylabel, bool percent_y = false);

// A labelled vertical line; css is its class (base, p50, p80, target, ...).
struct Mark {
  const char* label;
  double value;
  const char* css;
};

// Vertical lines at the marks inside the frame's range, labels staggered so
// that close marks stay readable, each on the left of its line where the
// chart's right edge would cut it.
std::string draw_marks(const Frame& f, const std::vector<Mark>& marks);

// A histogram of the classes between low and high (the open classes below
// low and above high are not drawn) and of the point masses at low and high,
// each a narrow bar of its own labelled with its value and count, with the
// marks.
std::string histogram_chart(const CentralHistogram& h, const std::string& xlabel,
                            const std::string& title, const std::vector<Mark>& marks);

// The note under a histogram: what its bars hold and which iterations it
// does not draw.
std::string histogram_note(const CentralHistogram& h);

// Charts of one horizontal bar per name (the tornado, the drivers): the left
// margin that holds the longest name, within bounds; a row's name, fitted to
// that margin; and a row's bar from zero to v with its value (markup) beyond
// the bar's end, or inside it, or across the zero line, whichever the chart
// has room for.
double name_margin(const std::vector<std::string>& names);
std::string row_name(const Frame& f, double y, const std::string& name);
std::string row_bar(const Frame& f, double y, double v, const char* css, const std::string& value);

// The start of a page titled `title` (already escaped), with the style sheet
// and `extra_style`; and its end.
std::string page_open(const std::string& title, const char* extra_style = "");
std::string page_close();

// A row of a two-column table, a card of the cards row: already escaped.
std::string table_row(const std::string& key, const std::string& value);
std::string card(const std::string& value, const std::string& label);

}  // namespace velmsim::page
