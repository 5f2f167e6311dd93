#pragma once

#include <string_view>

// The names of Varnak's XML result file, for the writer and the reader alike, so that the
// two cannot drift apart:
//
//   <VARNAK version="1.0"><SRLGNUM>n</SRLGNUM><time_seconds>t</time_seconds>
//   <spectras><spectra>row</spectra><bimspectra id="1">row</bimspectra>...</spectras></VARNAK>
namespace varnak::xml_names {

inline constexpr std::string_view kRoot = "VARNAK";
inline constexpr std::string_view kVersionAttribute = "version";
inline constexpr std::string_view kVersion = "1.0";
inline constexpr std::string_view kSrlgCount = "SRLGNUM";
inline constexpr std::string_view kTimeSeconds = "time_seconds";
inline constexpr std::string_view kRows = "spectras";
inline constexpr std::string_view kSpectrumRow = "spectra";
inline constexpr std::string_view kBimRow = "bimspectra";
inline constexpr std::string_view kIdAttribute = "id";

}  // namespace varnak::xml_names
