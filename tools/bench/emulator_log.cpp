#include "bench/emulator_log.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace bench {
namespace {

struct Entry {
  double at;
  std::string what;
};

std::vector<Entry> Parse(const std::vector<std::string>& log) {
  std::vector<Entry> entries;
  for (const auto& line : log) {
    const auto space = line.find(' ');
    if (space == std::string::npos) continue;
    entries.push_back({std::atof(line.c_str()), line.substr(space + 1)});
  }
  return entries;
}

bool IsData(const std::string& what) { return what == "DATA" || what == "DATA-DEFLATED"; }

// "RATE 921600 (why)" -> 921600; 0 for any other entry.
int RateOf(const std::string& what) {
  return what.starts_with("RATE ") ? std::atoi(what.c_str() + 5) : 0;
}

std::string Format(const char* format, auto... values) {
  char text[256];
  std::snprintf(text, sizeof text, format, values...);
  return text;
}

}  // namespace

int DataRate(const std::vector<std::string>& log) {
  int rate = 115200;
  for (const auto& e : Parse(log)) {
    if (const int r = RateOf(e.what); r > 0) rate = r;
    if (IsData(e.what)) return rate;
  }
  return 0;
}

std::vector<int> RaisedRatesTried(const std::vector<std::string>& log) {
  std::vector<int> rates;
  for (const auto& e : Parse(log)) {
    if (const int r = RateOf(e.what); r > 115200) rates.push_back(r);
  }
  return rates;
}

double DataSeconds(const std::vector<std::string>& log) {
  double first = -1, last = -1;
  for (const auto& e : Parse(log)) {
    if (!IsData(e.what)) continue;
    if (first < 0) first = e.at;
    last = e.at;
  }
  return first < 0 ? 0 : last - first;
}

Spacing DataSpacing(const std::vector<std::string>& log) {
  std::vector<double> gaps;
  double last = -1;
  for (const auto& e : Parse(log)) {
    if (!IsData(e.what)) continue;
    if (last >= 0) gaps.push_back(e.at - last);
    last = e.at;
  }
  if (gaps.empty()) return {};
  std::sort(gaps.begin(), gaps.end());
  return {gaps[gaps.size() / 2], gaps[gaps.size() * 9 / 10]};
}

std::string Digest(const std::vector<std::string>& log) {
  const auto entries = Parse(log);
  if (entries.empty()) return "(nothing logged)";
  const double start = entries.front().at;
  std::string text;
  struct Gap {
    double seconds;
    std::string between;
  };
  std::vector<Gap> gaps;
  for (std::size_t i = 0; i < entries.size();) {
    std::size_t end = i + 1;
    if (IsData(entries[i].what)) {
      while (end < entries.size() && IsData(entries[end].what)) ++end;
    }
    if (!text.empty()) text += ", ";
    if (end - i > 1) {
      text += Format("%.3f %s x%zu to %.3f", entries[i].at - start, entries[i].what.c_str(),
                     end - i, entries[end - 1].at - start);
    } else {
      text += Format("%.3f %s", entries[i].at - start, entries[i].what.c_str());
    }
    for (std::size_t k = i + 1; k <= end && k < entries.size(); ++k) {
      gaps.push_back(
          {entries[k].at - entries[k - 1].at, entries[k - 1].what + " > " + entries[k].what});
    }
    i = end;
  }
  std::sort(gaps.begin(), gaps.end(),
            [](const Gap& a, const Gap& b) { return a.seconds > b.seconds; });
  text += "; longest silences:";
  for (std::size_t k = 0; k < std::min<std::size_t>(gaps.size(), 4); ++k) {
    text += Format(" %.3f s %s;", gaps[k].seconds, gaps[k].between.c_str());
  }
  return text;
}

}  // namespace bench
