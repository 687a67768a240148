#include "pace_report/pace_report_html.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

#include "pace_report/pace_report_text.h"
#include "tsl_version.h"

namespace tsl::report {

namespace {

constexpr const char* kColours[] = {"#1f77b4", "#d62728"};
constexpr double kWidth = 900;
constexpr double kHeight = 260;
constexpr double kLeft = 60;
constexpr double kRight = 20;
constexpr double kTop = 30;
constexpr double kBottom = 40;

void Number(std::string& out, double value, int decimals) {
  char buffer[64];
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
  out.append(buffer, result.ptr);
}

std::string Escaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

// A step of 1, 2 or 5 times a power of ten that cuts `range` into about `parts` pieces.
double NiceStep(double range, int parts) {
  if (!(range > 0.0)) return 1.0;
  const double raw = range / parts;
  const double power = std::pow(10.0, std::floor(std::log10(raw)));
  for (double m : {1.0, 2.0, 5.0, 10.0}) {
    if (raw <= m * power) return m * power;
  }
  return 10.0 * power;
}

struct Axes {
  double x_min, x_max, y_min, y_max;
  double X(double x) const {
    return kLeft + (x - x_min) / (x_max - x_min) * (kWidth - kLeft - kRight);
  }
  double Y(double y) const {
    const double clamped = std::clamp(y, y_min, y_max);
    return kTop + (y_max - clamped) / (y_max - y_min) * (kHeight - kTop - kBottom);
  }
};

// The start of a chart: the SVG element, a white ground and the title.
void ChartHeader(std::string& out, const std::string& title) {
  out +=
      "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"900\" height=\"260\" "
      "viewBox=\"0 0 900 260\" font-family=\"sans-serif\" font-size=\"11\">\n";
  out += "<rect width=\"900\" height=\"260\" fill=\"#fff\"/>\n";
  out += "<text x=\"60\" y=\"18\" font-size=\"13\" font-weight=\"bold\">" + Escaped(title) +
         "</text>\n";
}

// A labelled grid line across the plot at height y.
void GridLine(std::string& out, double y, const std::string& label) {
  out += "<line x1=\"60\" x2=\"880\" stroke=\"#e5e5e5\" y1=\"";
  Number(out, y, 1);
  out += "\" y2=\"";
  Number(out, y, 1);
  out += "\"/><text x=\"55\" text-anchor=\"end\" y=\"";
  Number(out, y + 4, 1);
  out += "\">" + label + "</text>\n";
}

// The x labels, the two axis lines and both axis titles, for any axes with X(x).
template <typename AxesType>
void XAxisAndFrame(std::string& out, const AxesType& a, double x_min, double x_max,
                   const char* x_label, const char* y_label) {
  const double x_step = NiceStep(x_max - x_min, 10);
  const int x_decimals = x_step >= 1.0 ? 0 : x_step >= 0.1 ? 1 : 2;
  for (double x = std::ceil(x_min / x_step) * x_step; x <= x_max + x_step * 1e-6; x += x_step) {
    out += "<text text-anchor=\"middle\" y=\"236\" x=\"";
    Number(out, a.X(x), 1);
    out += "\">";
    Number(out, x, x_decimals);
    out += "</text>\n";
  }
  out += "<line x1=\"60\" x2=\"880\" y1=\"220\" y2=\"220\" stroke=\"#888\"/>\n";
  out += "<line x1=\"60\" x2=\"60\" y1=\"30\" y2=\"220\" stroke=\"#888\"/>\n";
  out += std::string("<text x=\"470\" y=\"254\" text-anchor=\"middle\">") + x_label + "</text>\n";
  out += std::string(
             "<text x=\"14\" y=\"125\" transform=\"rotate(-90 14 125)\" "
             "text-anchor=\"middle\">") +
         y_label + "</text>\n";
}

void OpenChart(std::string& out, const std::string& title, const Axes& a, const char* x_label,
               const char* y_label) {
  ChartHeader(out, title);
  const double y_step = NiceStep(a.y_max - a.y_min, 5);
  const int y_decimals = y_step >= 1.0 ? 0 : y_step >= 0.1 ? 1 : y_step >= 0.01 ? 2 : 3;
  for (double y = std::ceil(a.y_min / y_step) * y_step; y <= a.y_max + y_step * 1e-6; y += y_step) {
    std::string label;
    Number(label, y, y_decimals);
    GridLine(out, a.Y(y), label);
  }
  XAxisAndFrame(out, a, a.x_min, a.x_max, x_label, y_label);
}

// A trace through the points; a NaN value (the first tick, a gap) breaks it. As steps, each
// value holds from the point before until its own: an interval is a span, not a ramp.
void Trace(std::string& out, const std::vector<double>& xs, const std::vector<double>& ys,
           const Axes& a, const char* colour, bool steps) {
  out += "<path fill=\"none\" stroke-width=\"1\" stroke-opacity=\"0.8\" stroke=\"";
  out += colour;
  out += "\" d=\"";
  bool open = false;
  for (size_t i = 0; i < xs.size(); ++i) {
    if (std::isnan(ys[i])) {
      open = false;
      continue;
    }
    if (steps && i > 0) {
      out += open ? 'L' : 'M';
      Number(out, a.X(xs[i - 1]), 1);
      out += ',';
      Number(out, a.Y(ys[i]), 1);
      open = true;
    }
    out += open ? 'L' : 'M';
    Number(out, a.X(xs[i]), 1);
    out += ',';
    Number(out, a.Y(ys[i]), 1);
    open = true;
  }
  out += "\"/>\n";
}

// Ends a chart that OpenChart began, with a legend when two logs share it.
void CloseChart(std::string& out, const std::vector<NamedSummary>& logs) {
  for (size_t i = 0; logs.size() > 1 && i < logs.size(); ++i) {
    const std::string y = std::to_string(18 + 14 * i);
    out += "<rect x=\"600\" y=\"" + std::to_string(9 + 14 * i) +
           "\" width=\"10\" height=\"10\" fill=\"" + kColours[i] + "\"/><text x=\"615\" y=\"" + y +
           "\">" + (i == 0 ? "A: " : "B: ") + Escaped(logs[i].name) + "</text>\n";
  }
  out += "</svg>\n";
}

// The interval scale, the same for every chart: p99.9 x 1.5 of the log that reaches higher (or
// its maximum, when that is lower), so that two start-up stalls do not flatten a short run.
// Longer intervals are drawn at the edge, marked and counted.
double IntervalScale(const std::vector<NamedSummary>& logs) {
  double top = 1.0;
  for (const NamedSummary& l : logs) {
    const Distribution& d = l.summary->interval_ms;
    top = std::max(top, std::min(d.max, 1.5 * d.p999));
  }
  return top * 1.05;
}

// The shortest interval of all logs: the histogram and the exceedance curve start there.
double IntervalFloor(const std::vector<NamedSummary>& logs) {
  double low = -1.0;
  for (const NamedSummary& l : logs) {
    if (l.summary->sorted_intervals_ms.empty()) continue;
    const double v = l.summary->sorted_intervals_ms.front();
    low = low < 0.0 ? v : std::min(low, v);
  }
  return std::max(0.0, low);
}

size_t Clipped(const std::vector<NamedSummary>& logs, double scale) {
  size_t clipped = 0;
  for (const NamedSummary& l : logs) {
    const std::vector<double>& v = l.summary->sorted_intervals_ms;
    clipped += static_cast<size_t>(v.end() - std::upper_bound(v.begin(), v.end(), scale));
  }
  return clipped;
}

std::string ClippedNote(size_t clipped, double scale) {
  if (clipped == 0) return "";
  return "  [" + std::to_string(clipped) + " over " + std::to_string(static_cast<int>(scale)) +
         " ms, drawn at the edge \u25B2]";
}

void IntervalChart(std::string& out, const std::vector<NamedSummary>& logs, double y_max) {
  double x_max = 0.0;
  for (const NamedSummary& l : logs) x_max = std::max(x_max, l.summary->time_s.back());
  const Axes a{0.0, std::max(x_max, 1e-3), 0.0, y_max};
  OpenChart(out, "Interval of every tick (wake to wake)" + ClippedNote(Clipped(logs, y_max), y_max),
            a, "time since the first tick (s)", "interval (ms)");
  for (size_t i = 0; i < logs.size(); ++i) {
    const PaceReportSummary& s = *logs[i].summary;
    Trace(out, s.time_s, s.interval_series_ms, a, kColours[i], true);
    // The clipped intervals, marked where they end.
    for (size_t k = 0; k < s.interval_series_ms.size(); ++k) {
      if (!(s.interval_series_ms[k] > y_max)) continue;
      out += "<text text-anchor=\"middle\" font-size=\"9\" fill=\"";
      out += kColours[i];
      out += "\" x=\"";
      Number(out, a.X(s.time_s[k]), 1);
      out += "\" y=\"";
      Number(out, kTop + 8, 1);
      out += "\">\u25B2<title>";
      Number(out, s.interval_series_ms[k], 1);
      out += " ms</title></text>\n";
    }
  }
  // The medians over every trace, each label on its own line.
  for (size_t i = 0; i < logs.size(); ++i) {
    const double median = logs[i].summary->interval_ms.p50;
    out += "<line x1=\"60\" x2=\"880\" stroke-dasharray=\"6 4\" stroke-width=\"1.5\" stroke=\"";
    out += kColours[i];
    out += "\" y1=\"";
    Number(out, a.Y(median), 1);
    out += "\" y2=\"";
    Number(out, a.Y(median), 1);
    // A white halo keeps the label readable over the trace.
    out +=
        "\"/><text x=\"878\" text-anchor=\"end\" stroke=\"#fff\" stroke-width=\"4\" "
        "paint-order=\"stroke\" font-weight=\"bold\" fill=\"";
    out += kColours[i];
    out += "\" y=\"";
    Number(out, a.Y(median) - 4 - 13.0 * static_cast<double>(i), 1);
    out += "\">";
    if (logs.size() > 1) out += i == 0 ? "A " : "B ";
    out += "median ";
    Number(out, median, 3);
    out += " ms</text>\n";
  }
  CloseChart(out, logs);
}

// The latency of the frame each tick presented: its age at its first present. Only logs with a
// display log beside them have it.
void FrameAgeChart(std::string& out, const std::vector<NamedSummary>& logs) {
  double x_max = 0.0;
  double y_max = 1.0;
  bool any = false;
  for (const NamedSummary& l : logs) {
    const PaceReportSummary& s = *l.summary;
    x_max = std::max(x_max, s.time_s.back());
    if (s.display.aged_presents == 0) continue;
    any = true;
    y_max =
        std::max(y_max, std::min(s.display.age_present_max_ms, 1.5 * s.display.age_present_p99_ms));
  }
  if (!any) return;
  const Axes a{0.0, std::max(x_max, 1e-3), 0.0, y_max * 1.05};
  OpenChart(out, "Frame age at first present (present done minus when the frame was seen)", a,
            "time since the first tick (s)", "age (ms)");
  for (size_t i = 0; i < logs.size(); ++i) {
    const PaceReportSummary& s = *logs[i].summary;
    if (s.display.aged_presents > 0)
      Trace(out, s.time_s, s.display.age_series_ms, a, kColours[i], false);
  }
  CloseChart(out, logs);
}

// How many refreshes each image stayed on the glass, where the display side was measured: a
// steady cadence is a flat line at the pattern's counts.
void DisplayedChart(std::string& out, const std::vector<NamedSummary>& logs) {
  double x_max = 0.0;
  double y_max = 1.0;
  bool any = false;
  for (const NamedSummary& l : logs) {
    const PaceReportSummary& s = *l.summary;
    x_max = std::max(x_max, s.time_s.back());
    for (const double r : s.display.refreshes_series) {
      if (std::isnan(r)) continue;
      any = true;
      y_max = std::max(y_max, r);
    }
  }
  if (!any) return;
  const Axes a{0.0, std::max(x_max, 1e-3), 0.0, y_max + 0.5};
  OpenChart(out, "Displayed: refreshes each image stayed on the glass", a,
            "time since the first tick (s)", "refreshes");
  for (size_t i = 0; i < logs.size(); ++i) {
    Trace(out, logs[i].summary->time_s, logs[i].summary->display.refreshes_series, a, kColours[i],
          true);
  }
  CloseChart(out, logs);
}

void LatenessChart(std::string& out, const std::vector<NamedSummary>& logs) {
  double x_max = 0.0;
  double y_min = 0.0;
  double y_max = 0.0;
  std::string unmeasured;
  for (size_t i = 0; i < logs.size(); ++i) {
    const PaceReportSummary& s = *logs[i].summary;
    x_max = std::max(x_max, s.time_s.back());
    if (s.vsync) {
      unmeasured += std::string(unmeasured.empty() ? "" : ", ") +
                    (logs.size() > 1 ? (i == 0 ? "A" : "B") : "this log");
      continue;
    }
    for (double v : s.jitter_series_ms) y_min = std::min(y_min, v);
    y_max = std::max(y_max, s.jitter_max_ms);
  }
  if (y_max - y_min < 0.01) y_max = y_min + 0.01;
  const Axes a{0.0, std::max(x_max, 1e-3), y_min, y_max * 1.05};
  std::string title = "Lateness of every tick (jitter_ms: wake minus target)";
  if (!unmeasured.empty()) title += ": " + std::string(kNotMeasuredVsync) + " for " + unmeasured;
  OpenChart(out, title, a, "time since the first tick (s)", "lateness (ms)");
  for (size_t i = 0; i < logs.size(); ++i) {
    const PaceReportSummary& s = *logs[i].summary;
    if (!s.vsync) Trace(out, s.time_s, s.jitter_series_ms, a, kColours[i], false);
  }
  CloseChart(out, logs);
}

// Interval on x; on y, a base-10 logarithm from kLogFloor (a little under 1, so that a bar of
// one interval still shows) to `decades`.
constexpr double kLogFloor = -0.3;
struct LogAxes {
  double x_min, x_max, decades;
  double X(double x) const {
    return kLeft +
           (std::clamp(x, x_min, x_max) - x_min) / (x_max - x_min) * (kWidth - kLeft - kRight);
  }
  double Y(double log_value) const {
    return kTop + (decades - std::clamp(log_value, kLogFloor, decades)) / (decades - kLogFloor) *
                      (kHeight - kTop - kBottom);
  }
};

// A chart frame with the interval axis below and one grid line per decade, labelled.
void OpenLogChart(std::string& out, const std::string& title, const LogAxes& a, const char* y_label,
                  const std::vector<std::string>& decade_labels) {
  ChartHeader(out, title);
  for (size_t k = 0; k < decade_labels.size(); ++k) {
    GridLine(out, a.Y(static_cast<double>(k)), decade_labels[k]);
  }
  XAxisAndFrame(out, a, a.x_min, a.x_max, "interval (ms)", y_label);
}

// How many intervals fall in each bin, on a count axis of powers of ten so that a rare long
// interval shows beside thousands of ordinary ones. The bins run from the shortest interval to
// the chart's scale, so a steady timer run is split into many bars.
void Histogram(std::string& out, const std::vector<NamedSummary>& logs, double x_min,
               double x_max) {
  constexpr int kBins = 60;
  if (!(x_max > x_min)) x_max = x_min + 1.0;
  const double bin_ms = (x_max - x_min) / kBins;
  std::vector<std::vector<size_t>> counts(logs.size(), std::vector<size_t>(kBins + 1, 0));
  size_t top = 1;
  for (size_t i = 0; i < logs.size(); ++i) {
    for (double v : logs[i].summary->sorted_intervals_ms) {
      const double position = (v - x_min) / bin_ms;
      const int bin = !(position > 0.0)   ? 0
                      : position >= kBins ? kBins
                                          : static_cast<int>(position);
      top = std::max(top, ++counts[i][static_cast<size_t>(bin)]);
    }
  }
  const double decades = std::max(1.0, std::ceil(std::log10(static_cast<double>(top)) - 1e-9));
  const LogAxes a{x_min, x_max + bin_ms, decades};
  std::vector<std::string> labels;
  for (int k = 0; k <= static_cast<int>(decades); ++k) {
    labels.push_back(k == 0 ? "1" : k == 1 ? "10" : k == 2 ? "100" : "1e" + std::to_string(k));
  }
  OpenLogChart(out,
               "Histogram of intervals (count, log scale; the last bar holds everything longer)", a,
               "intervals in the bin", labels);
  const double bar = (a.X(x_min + bin_ms) - a.X(x_min)) / static_cast<double>(logs.size());
  for (size_t i = 0; i < logs.size(); ++i) {
    for (int b = 0; b <= kBins; ++b) {
      const size_t count = counts[i][static_cast<size_t>(b)];
      if (count == 0) continue;
      const double y = a.Y(std::log10(static_cast<double>(count)));
      out += "<rect fill-opacity=\"0.85\" fill=\"";
      out += kColours[i];
      out += "\" x=\"";
      Number(out, a.X(x_min + b * bin_ms) + bar * static_cast<double>(i), 1);
      out += "\" width=\"";
      Number(out, std::max(bar - 0.5, 0.5), 1);
      out += "\" y=\"";
      Number(out, y, 1);
      out += "\" height=\"";
      Number(out, a.Y(kLogFloor) - y, 1);
      out += "\"><title>";
      Number(out, x_min + b * bin_ms, 3);
      out += " ms: " + std::to_string(count) + "</title></rect>\n";
    }
  }
  CloseChart(out, logs);
}

// The share of intervals longer than x, on a log scale down to one interval in the run: the
// curve people compare runs with, both logs overlaid, clipped at the chart's scale.
void ExceedanceChart(std::string& out, const std::vector<NamedSummary>& logs, double x_min,
                     double x_max) {
  size_t most = 1;
  for (const NamedSummary& l : logs) most = std::max(most, l.summary->sorted_intervals_ms.size());
  const double decades = std::max(1.0, std::ceil(std::log10(static_cast<double>(most)) - 1e-9));
  const LogAxes a{x_min, x_max, decades};
  std::vector<std::string> labels;
  for (int k = 0; k <= static_cast<int>(decades); ++k) {
    // Grid line k stands for a share of 10^(k - decades).
    const int exponent = k - static_cast<int>(decades) + 2;  // of a percentage
    std::string label = exponent >= 0
                            ? std::to_string(static_cast<int>(std::pow(10, exponent)))
                            : "0." + std::string(static_cast<size_t>(-exponent - 1), '0') + "1";
    labels.push_back(label + "%");
  }
  OpenLogChart(
      out,
      "Exceedance: share of intervals longer than x" + ClippedNote(Clipped(logs, x_max), x_max), a,
      "share longer than x", labels);
  for (size_t i = 0; i < logs.size(); ++i) {
    const std::vector<double>& v = logs[i].summary->sorted_intervals_ms;
    const double m = static_cast<double>(v.size());
    out += "<path fill=\"none\" stroke-width=\"1.5\" stroke=\"";
    out += kColours[i];
    out += "\" d=\"";
    // At each interval the curve steps down from the share not shorter to the share longer.
    for (size_t k = 0; k < v.size(); ++k) {
      const double before = static_cast<double>(v.size() - k) / m;
      const double after = static_cast<double>(v.size() - k - 1) / m;
      out += k == 0 ? 'M' : 'L';
      Number(out, a.X(v[k]), 1);
      out += ',';
      Number(out, a.Y(std::log10(before) + decades), 1);
      if (after > 0.0) {
        out += 'L';
        Number(out, a.X(v[k]), 1);
        out += ',';
        Number(out, a.Y(std::log10(after) + decades), 1);
      }
    }
    out += "\"/>\n";
  }
  CloseChart(out, logs);
}

void FiguresTable(std::string& out, const std::vector<NamedSummary>& logs) {
  out += "<table><tr><th>figure</th>";
  for (size_t i = 0; i < logs.size(); ++i) {
    out += std::string("<th>") + (logs.size() > 1 ? (i == 0 ? "A" : "B") : "value") + "</th>";
  }
  if (logs.size() == 2) out += "<th>B &minus; A</th>";
  out += "</tr>\n";
  std::vector<std::vector<Figure>> figures;
  for (const NamedSummary& l : logs) figures.push_back(Figures(*l.summary));
  for (size_t f = 0; f < figures[0].size(); ++f) {
    const Figure& first = figures[0][f];
    out += std::string("<tr><td>") + first.label;
    if (first.unit[0] != '\0') out += std::string(" (") + first.unit + ")";
    out += "</td>";
    bool all_measured = true;
    for (const auto& list : figures) {
      out += "<td>";
      if (list[f].measured) {
        Number(out, list[f].value, list[f].decimals);
      } else {
        out += std::string("not measured ") + list[f].why;
        all_measured = false;
      }
      out += "</td>";
    }
    if (figures.size() == 2) {
      const double difference = figures[1][f].value - first.value;
      out += "<td>";
      if (!all_measured) {
        out += "&ndash;";
      } else {
        if (difference >= 0) out += '+';
        Number(out, difference, first.decimals);
      }
      out += "</td>";
    }
    out += "</tr>\n";
  }
  out += "</table>\n";
}

}  // namespace

std::string RenderHtmlReport(const std::vector<NamedSummary>& logs) {
  std::string out;
  out.reserve(300'000 * logs.size());
  out +=
      "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">\n"
      "<title>Tessaline pace report</title>\n<style>\n"
      "body{font-family:sans-serif;margin:24px;color:#222;max-width:940px}\n"
      "table{border-collapse:collapse;margin:12px 0}td,th{border:1px solid #ccc;"
      "padding:3px 8px;text-align:right}td:first-child,th:first-child{text-align:left}\n"
      "pre{background:#f6f6f6;padding:8px;white-space:pre-wrap}svg{display:block;"
      "margin:10px 0}\nli.even{color:#17692b;font-weight:bold}li.uneven{color:#a3261b;"
      "font-weight:bold}\n</style></head><body>\n<h1>Tessaline pace report</h1>\n";
  // Each log's settings and verdict come first, as in the printed summary: a person opening
  // the report sees whether the run was even before any chart.
  for (size_t i = 0; i < logs.size(); ++i) {
    const Verdict verdict = JudgeLog(*logs[i].summary);
    out += "<p>";
    if (logs.size() > 1) out += i == 0 ? "A: " : "B: ";
    out += "<code>" + Escaped(logs[i].name) +
           "</code></p>\n<ul>\n<li>Settings: " + Escaped(verdict.settings) + "</li>\n<li class=\"" +
           (verdict.even ? "even" : "uneven") + "\">Verdict: " + Escaped(verdict.verdict) +
           "</li>\n</ul>\n";
  }
  const double scale = IntervalScale(logs);
  const double floor_ms = std::min(IntervalFloor(logs), scale * 0.9);
  IntervalChart(out, logs, scale);
  ExceedanceChart(out, logs, floor_ms, scale);
  Histogram(out, logs, floor_ms, scale);
  LatenessChart(out, logs);
  FrameAgeChart(out, logs);
  DisplayedChart(out, logs);
  out += "<h2>Figures</h2>\n";
  FiguresTable(out, logs);
  for (const NamedSummary& l : logs) {
    out += "<pre>" + Escaped(FormatSummary(l.name, *l.summary)) + "</pre>\n";
    const auto list = [&](const std::vector<uint64_t>& ticks, const char* what) {
      if (ticks.empty()) return;
      out += std::string("<p>") + what + " of <code>" + Escaped(l.name) + "</code>: ";
      for (size_t k = 0; k < ticks.size(); ++k) {
        if (k > 0) out += ", ";
        out += std::to_string(ticks[k]);
      }
      out += "</p>\n";
    };
    list(l.summary->resync_ticks, "Resyncs (ticks whose target was re-based)");
    list(l.summary->long_interval_ticks,
         "Long intervals (ticks ending one over 1.5 &times; the median)");
  }
  out += std::string("<footer><p>Tessaline ") + TSL_VERSION + "</p></footer>\n";
  out += "</body></html>\n";
  return out;
}

}  // namespace tsl::report
