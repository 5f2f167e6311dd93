#include "common/number_format.hpp"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <functional>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

namespace varnak {
namespace {

std::string printf_text(const char* format, double value) {
  const int length = std::snprintf(nullptr, 0, format, value);
  std::string text(static_cast<std::size_t>(length) + 1, '\0');
  std::snprintf(text.data(), text.size(), format, value);
  text.resize(static_cast<std::size_t>(length));
  return text;
}

std::string stream_text(double value, std::streamsize precision) {
  std::ostringstream out;
  out.precision(precision);
  out << value;
  return out.str();
}

// Every format Varnak and varnak-tools print doubles in, beside the way each was written
// before: the console by the stream's defaults, the XML time as Boost.PropertyTree puts a
// double (a stream at precision 17), the rest by snprintf.
struct Format {
  const char* name;
  std::function<std::string(double)> reference;
  std::function<void(std::string&, double)> append;
};

const std::vector<Format>& formats() {
  static const std::vector<Format> all = {
      {"console: ostream default", [](double v) { return stream_text(v, 6); },
       [](std::string& out, double v) { append_general(out, v, 6); }},
      {"XML rows: %f", [](double v) { return printf_text("%f", v); },
       [](std::string& out, double v) { append_fixed(out, v, 6); }},
      {"XML time: ostream precision 17", [](double v) { return stream_text(v, 17); },
       [](std::string& out, double v) { append_general(out, v, 17); }},
      {"tools: %.17g", [](double v) { return printf_text("%.17g", v); },
       [](std::string& out, double v) { append_general(out, v, 17); }},
      {"tools: %.6f", [](double v) { return printf_text("%.6f", v); },
       [](std::string& out, double v) { append_fixed(out, v, 6); }},
      {"tools: %.3f", [](double v) { return printf_text("%.3f", v); },
       [](std::string& out, double v) { append_fixed(out, v, 3); }},
  };
  return all;
}

// Appends after text already in the buffer, as a row does, and compares only the new part.
void expect_same_text(const std::vector<double>& values, const std::string& where) {
  std::string buffer;
  for (const Format& format : formats()) {
    for (const double value : values) {
      buffer.assign("prefix,");
      format.append(buffer, value);
      const std::string expected = format.reference(value);
      if (buffer.compare(7, std::string::npos, expected) != 0) {
        ADD_FAILURE() << where << ", " << format.name << ": value " << printf_text("%.17g", value)
                      << " gives \"" << buffer.substr(7) << "\", expected \"" << expected << "\"";
      }
      ASSERT_EQ(buffer.compare(0, 7, "prefix,"), 0) << "the text before was changed";
    }
  }
}

// Estimates are multiples of 1/N made by adding 1.0/N once per sample, so they stray from
// k/N by a few units in the last place: exactly the values that sit near a rounding edge.
TEST(NumberFormat, EstimatesOfEverySampleSizeGiveTheSameTextAsBefore) {
  struct Case {
    int sample_size;
    int stride;
  };
  const std::vector<Case> cases = {{1, 1}, {3, 1}, {7, 1}, {10, 1}, {1000, 1}, {999983, 37}};
  for (const Case& test_case : cases) {
    const double step = 1.0 / test_case.sample_size;
    std::vector<double> values = {0.0};
    double sum = 0.0;
    for (int k = 1; k <= test_case.sample_size; ++k) {
      sum += step;
      if (k % test_case.stride == 0 || test_case.sample_size - k < 10) {
        values.push_back(sum);
      }
    }
    expect_same_text(values, "N " + std::to_string(test_case.sample_size));
  }
}

// The double nearest to each text that printing to six digits rounds half-way, and its
// neighbours on either side: the values whose rounding a faster formatter gets wrong first.
std::vector<double> around_rounding_edges() {
  const std::vector<const char*> edges = {
      "0.0000005",     "0.0000015", "0.1234565", "0.9999995", "0.99999949999",
      "2.5000005",     "0.1234445", "1.234565",  "9.999995",  "999999.5",
      "0.00001234565", "1.0000005", "0.5000005", "0.4999995", "0.0009765625",
  };
  std::vector<double> values;
  for (const char* edge : edges) {
    const double value = std::strtod(edge, nullptr);
    values.push_back(value);
    values.push_back(std::nextafter(value, 0.0));
    values.push_back(std::nextafter(value, 2.0 * value));
  }
  return values;
}

TEST(NumberFormat, AwkwardValuesGiveTheSameTextAsBefore) {
  struct Case {
    const char* name;
    std::vector<double> values;
  };
  const std::vector<Case> cases = {
      {"zero and one", {0.0, -0.0, 1.0, std::nextafter(1.0, 0.0), std::nextafter(1.0, 2.0)}},
      {"around rounding edges of the sixth digit", around_rounding_edges()},
      {"where %g turns to an exponent",
       {1e-05, 9.9999e-05, 0.0001, 0.00010000049, 999999.0, 1e6, 1e-4 * (1 - DBL_EPSILON)}},
      {"tiny", {1e-300, DBL_MIN, std::numeric_limits<double>::denorm_min(), 1e-7, 3e-7}},
      {"large", {std::ldexp(1.0, 200), 1e15, 123456789.0, 1e100, DBL_MAX, -DBL_MAX}},
      {"elapsed times", {0.0007718, 0.0003241, 12.3456789, 1.2345678, 1.5, 2.0, 1234.5678}},
      {"thirds and sevenths", {1.0 / 3.0, 2.0 / 3.0, 1.0 / 7.0, 6.0 / 7.0, 0.1, 0.7}},
  };
  for (const Case& test_case : cases) {
    expect_same_text(test_case.values, test_case.name);
  }
}

TEST(NumberFormat, WorkedExamplesOfEachFormat) {
  struct Case {
    double value;
    const char* general6;
    const char* fixed6;
    const char* general17;
  };
  const std::vector<Case> cases = {
      {0.8, "0.8", "0.800000", "0.80000000000000004"},
      {1.0, "1", "1.000000", "1"},
      {1.0 / 3.0, "0.333333", "0.333333", "0.33333333333333331"},
      {1e-05, "1e-05", "0.000010", "1.0000000000000001e-05"},
      {12.3456789, "12.3457", "12.345679", "12.345678899999999"},
      {1e-7, "1e-07", "0.000000", "9.9999999999999995e-08"},
  };
  for (const Case& test_case : cases) {
    SCOPED_TRACE(test_case.general17);
    std::string text;
    append_general(text, test_case.value, 6);
    EXPECT_EQ(text, test_case.general6);
    text.clear();
    append_fixed(text, test_case.value, 6);
    EXPECT_EQ(text, test_case.fixed6);
    text.clear();
    append_general(text, test_case.value, 17);
    EXPECT_EQ(text, test_case.general17);
  }
}

}  // namespace
}  // namespace varnak
