#include "pace_report/pace_report_html.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

#include "pace_report/pace_report_text.h"

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

void OpenChart(std::string& out, const std::string& title, const Axes& a, const char* x_label,
               const char* y_label) {
  out +=
      "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"900\" height=\"260\" "
      "viewBox=\"0 0 900 260\" font-family=\"sans-serif\" font-size=\"11\">\n";
  out += "<rect width=\"900\" height=\"260\" fill=\"#fff\"/>\n";
  out += "<text x=\"60\" y=\"18\" font-size=\"13\" font-weight=\"bold\">" + Escaped(title) +
         "</text>\n";
  const double y_step = NiceStep(a.y_max - a.y_min, 5);
  const int y_decimals = y_step >= 1.0 ? 0 : y_step >= 0.1 ? 1 : y_step >= 0.01 ? 2 : 3;
  for (double y = std::ceil(a.y_min / y_step) * y_step; y <= a.y_max + y_step * 1e-6; y += y_step) {
    out += "<line x1=\"60\" x2=\"880\" y1=\"";
    Number(out, a.Y(y), 1);
    out += "\" y2=\"";
    Number(out, a.Y(y), 1);
    out += "\" stroke=\"#e5e5e5\"/><text x=\"55\" text-anchor=\"end\" y=\"";
    Number(out, a.Y(y) + 4, 1);
    out += "\">";
    Number(out, y, y_decimals);
    out += "</text>\n";
  }
  const double x_step = NiceStep(a.x_max - a.x_min, 10);
  const int x_decimals = x_step >= 1.0 ? 0 : x_step >= 0.1 ? 1 : 2;
  for (double x = std::ceil(a.x_min / x_step) * x_step; x <= a.x_max + x_step * 1e-6; x += x_step) {
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

void Polyline(std::string& out, const std::vector<double>& xs, const std::vector<double>& ys,
              size_t first, const Axes& a, const char* colour) {
  out += "<polyline fill=\"none\" stroke-width=\"1\" stroke-opacity=\"0.8\" stroke=\"";
  out += colour;
  out += "\" points=\"";
  for (size_t i = first; i < xs.size(); ++i) {
    Number(out, a.X(xs[i]), 1);
    out += ',';
    Number(out, a.Y(ys[i]), 1);
    out += ' ';
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

// The interval scale: up to the larger of twice the median and 1.2 x p99.9, so that a rare
// long interval does not flatten the rest; longer ones are drawn at the top edge and counted.
double IntervalScale(const std::vector<NamedSummary>& logs) {
  double top = 1.0;
  for (const NamedSummary& l : logs) {
    const Distribution& d = l.summary->interval_ms;
    top = std::max(top, std::min(d.max, std::max(2.0 * d.p50, 1.2 * d.p999)));
  }
  return top * 1.05;
}

void IntervalChart(std::string& out, const std::vector<NamedSummary>& logs, double y_max) {
  double x_max = 0.0;
  for (const NamedSummary& l : logs) x_max = std::max(x_max, l.summary->time_s.back());
  const Axes a{0.0, std::max(x_max, 1e-3), 0.0, y_max};
  size_t clipped = 0;
  for (const NamedSummary& l : logs) {
    for (double v : l.summary->interval_series_ms) clipped += v > y_max ? 1 : 0;
  }
  std::string title = "Interval of every tick (wake to wake)";
  if (clipped > 0) {
    title += ": " + std::to_string(clipped) + " longer than " +
             std::to_string(static_cast<int>(y_max)) + " ms drawn at the top";
  }
  OpenChart(out, title, a, "time since the first tick (s)", "interval (ms)");
  for (size_t i = 0; i < logs.size(); ++i) {
    const PaceReportSummary& s = *logs[i].summary;
    Polyline(out, s.time_s, s.interval_series_ms, 1, a, kColours[i]);
    const double median = s.interval_ms.p50;
    out += "<line x1=\"60\" x2=\"880\" stroke-dasharray=\"6 4\" stroke=\"";
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
    Number(out, a.Y(median) - 4 - 12.0 * static_cast<double>(i), 1);
    out += "\">median ";
    Number(out, median, 3);
    out += " ms</text>\n";
  }
  CloseChart(out, logs);
}

void LatenessChart(std::string& out, const std::vector<NamedSummary>& logs) {
  double x_max = 0.0;
  double y_min = 0.0;
  double y_max = 0.0;
  for (const NamedSummary& l : logs) {
    const PaceReportSummary& s = *l.summary;
    x_max = std::max(x_max, s.time_s.back());
    for (double v : s.jitter_series_ms) y_min = std::min(y_min, v);
    y_max = std::max(y_max, s.jitter_max_ms);
  }
  if (y_max - y_min < 0.01) y_max = y_min + 0.01;  // vsync logs: every value is 0
  const Axes a{0.0, std::max(x_max, 1e-3), y_min, y_max * 1.05};
  OpenChart(out, "Lateness of every tick (jitter_ms: wake minus target)", a,
            "time since the first tick (s)", "lateness (ms)");
  for (size_t i = 0; i < logs.size(); ++i) {
    const PaceReportSummary& s = *logs[i].summary;
    Polyline(out, s.time_s, s.jitter_series_ms, 0, a, kColours[i]);
  }
  CloseChart(out, logs);
}

void Histogram(std::string& out, const std::vector<NamedSummary>& logs, double x_max) {
  constexpr int kBins = 60;
  const double bin_ms = x_max / kBins;
  std::vector<std::vector<double>> shares(logs.size(), std::vector<double>(kBins + 1, 0.0));
  double top = 0.0;
  for (size_t i = 0; i < logs.size(); ++i) {
    const std::vector<double>& v = logs[i].summary->interval_series_ms;
    const double count = static_cast<double>(v.size() - 1);
    for (size_t k = 1; k < v.size(); ++k) {
      // Wake times out of order (an edited or merged log) give negative intervals: they go
      // into the first bar, as everything too long goes into the last.
      const double position = v[k] / bin_ms;
      const int bin = !(position > 0.0)   ? 0
                      : position >= kBins ? kBins
                                          : static_cast<int>(position);
      shares[i][static_cast<size_t>(bin)] += 100.0 / count;
    }
    for (double share : shares[i]) top = std::max(top, share);
  }
  const Axes a{0.0, x_max + bin_ms, 0.0, top * 1.1};
  OpenChart(out, "Histogram of intervals (the last bar holds everything longer)", a,
            "interval (ms)", "share of intervals (%)");
  const double bar = (a.X(bin_ms) - a.X(0)) / static_cast<double>(logs.size());
  for (size_t i = 0; i < logs.size(); ++i) {
    for (int b = 0; b <= kBins; ++b) {
      const double share = shares[i][static_cast<size_t>(b)];
      if (share <= 0.0) continue;
      out += "<rect fill-opacity=\"0.85\" fill=\"";
      out += kColours[i];
      out += "\" x=\"";
      Number(out, a.X(b * bin_ms) + bar * static_cast<double>(i), 1);
      out += "\" width=\"";
      Number(out, std::max(bar - 0.5, 0.5), 1);
      out += "\" y=\"";
      Number(out, a.Y(share), 1);
      out += "\" height=\"";
      Number(out, a.Y(0) - a.Y(share), 1);
      out += "\"><title>";
      Number(out, b * bin_ms, 2);
      out += " ms: ";
      Number(out, share, 2);
      out += "%</title></rect>\n";
    }
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
    for (const auto& list : figures) {
      out += "<td>";
      Number(out, list[f].value, list[f].decimals);
      out += "</td>";
    }
    if (figures.size() == 2) {
      const double difference = figures[1][f].value - first.value;
      out += "<td>";
      if (difference >= 0) out += '+';
      Number(out, difference, first.decimals);
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
      "margin:10px 0}\n</style></head><body>\n<h1>Tessaline pace report</h1>\n";
  for (size_t i = 0; i < logs.size(); ++i) {
    out += "<p>";
    if (logs.size() > 1) out += i == 0 ? "A: " : "B: ";
    out += "<code>" + Escaped(logs[i].name) + "</code></p>\n";
  }
  const double scale = IntervalScale(logs);
  IntervalChart(out, logs, scale);
  Histogram(out, logs, scale);
  LatenessChart(out, logs);
  out += "<h2>Figures</h2>\n";
  FiguresTable(out, logs);
  for (const NamedSummary& l : logs) {
    out += "<pre>" + Escaped(FormatSummary(l.name, *l.summary)) + "</pre>\n";
    const std::vector<uint64_t>& ticks = l.summary->resync_ticks;
    if (!ticks.empty()) {
      out += "<p>Resyncs of <code>" + Escaped(l.name) +
             "</code> (ticks ending an interval over "
             "1.5 &times; the median): ";
      for (size_t k = 0; k < ticks.size(); ++k) {
        if (k > 0) out += ", ";
        out += std::to_string(ticks[k]);
      }
      out += "</p>\n";
    }
  }
  out += "</body></html>\n";
  return out;
}

}  // namespace tsl::report
