#include "output/xml_report.hpp"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <new>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/reference_writers.hpp"

namespace varnak {
namespace {

namespace fs = std::filesystem;

const std::string kDeclaration = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n";

// A fresh directory per test, removed with everything in it afterwards.
class TempDir {
 public:
  TempDir() {
    std::string pattern = (fs::temp_directory_path() / "varnak-xml-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
      ADD_FAILURE() << "mkdtemp failed for " << pattern;
    }
    path_ = pattern;
  }
  ~TempDir() {
    // A test may have made the directory read-only; removal needs it writable again.
    ::chmod(path_.c_str(), 0700);
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  std::string file(const std::string& name) const { return (path_ / name).string(); }
  std::vector<std::string> entries() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(path_)) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void write_file(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
}

mode_t mode_of(const std::string& path) {
  struct stat info {};
  EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
  return info.st_mode;
}

std::string failure_line(const std::string& path, const std::string& reason) {
  return "Error writing output file " + path + ": " + reason;
}

// Restores the umask a test sets for the files it creates.
class ScopedUmask {
 public:
  explicit ScopedUmask(mode_t mask) : previous_(::umask(mask)) {}
  ~ScopedUmask() { ::umask(previous_); }
  ScopedUmask(const ScopedUmask&) = delete;
  ScopedUmask& operator=(const ScopedUmask&) = delete;

 private:
  mode_t previous_;
};

const SpectraVector kSpectrum = {0.25, 1};
const BimSpectraMatrix kBimSpectra = {{0.5, 0.125}, {0, 1}};

// Whole documents, byte for byte: one line break, after the declaration, and the BIM rows
// numbered from 1 in row order.
TEST(RenderXmlReport, GivesTheExactDocument) {
  struct Case {
    const char* name;
    SpectraVector spectrum;
    BimSpectraMatrix bim_spectra;
    double seconds;
    std::string body;
  };
  const std::vector<Case> cases = {
      {"worked example", kSpectrum, kBimSpectra, 1.5,
       "<VARNAK version=\"1.0\"><SRLGNUM>2</SRLGNUM><time_seconds>1.5</time_seconds>"
       "<spectras><spectra>0.250000,1.000000</spectra>"
       "<bimspectra id=\"1\">0.500000,0.125000</bimspectra>"
       "<bimspectra id=\"2\">0.000000,1.000000</bimspectra></spectras></VARNAK>"},
      {"no SRLG",
       {},
       {},
       0.5,
       "<VARNAK version=\"1.0\"><SRLGNUM>0</SRLGNUM><time_seconds>0.5</time_seconds>"
       "<spectras><spectra/></spectras></VARNAK>"},
      {"one SRLG",
       {0.75},
       {{0.5}},
       3,
       "<VARNAK version=\"1.0\"><SRLGNUM>1</SRLGNUM><time_seconds>3</time_seconds>"
       "<spectras><spectra>0.750000</spectra><bimspectra id=\"1\">0.500000</bimspectra>"
       "</spectras></VARNAK>"},
      {"four SRLGs",
       {0, 0, 0, 1},
       {{0.5, 0, 0, 0}, {0, 0.5, 0, 0}, {0, 0, 0.5, 0}, {0, 0, 0, 0.5}},
       1,
       "<VARNAK version=\"1.0\"><SRLGNUM>4</SRLGNUM><time_seconds>1</time_seconds>"
       "<spectras><spectra>0.000000,0.000000,0.000000,1.000000</spectra>"
       "<bimspectra id=\"1\">0.500000,0.000000,0.000000,0.000000</bimspectra>"
       "<bimspectra id=\"2\">0.000000,0.500000,0.000000,0.000000</bimspectra>"
       "<bimspectra id=\"3\">0.000000,0.000000,0.500000,0.000000</bimspectra>"
       "<bimspectra id=\"4\">0.000000,0.000000,0.000000,0.500000</bimspectra>"
       "</spectras></VARNAK>"},
  };
  for (const Case& test_case : cases) {
    SCOPED_TRACE(test_case.name);
    EXPECT_EQ(render_xml_report(test_case.spectrum, test_case.bim_spectra, test_case.seconds),
              kDeclaration + test_case.body);
  }
}

TEST(RenderXmlReport, TimeKeepsSeventeenSignificantDigits) {
  struct Case {
    double seconds;
    const char* text;
  };
  const std::vector<Case> cases = {
      {0, "0"},
      {2, "2"},
      {1.5, "1.5"},
      {1.2345678, "1.2345678"},
      {12.3456789, "12.345678899999999"},
      {1e-7, "9.9999999999999995e-08"},
      {3e-7, "2.9999999999999999e-07"},
  };
  for (const Case& test_case : cases) {
    SCOPED_TRACE(test_case.text);
    const std::string document = render_xml_report({}, {}, test_case.seconds);
    EXPECT_NE(document.find(std::string("<time_seconds>") + test_case.text + "</time_seconds>"),
              std::string::npos)
        << document;
  }
}

TEST(RenderXmlReport, RowValuesKeepSixDecimals) {
  struct Case {
    double value;
    std::string text;
  };
  const std::vector<Case> cases = {
      {0.25, "0.250000"},
      {1.0 / 3.0, "0.333333"},
      {0.0000004, "0.000000"},
      {0.9999996, "1.000000"},
      {std::ldexp(1.0, 200),
       "1606938044258990275541962092341162602522202993782792835301376.000000"},
  };
  for (const Case& test_case : cases) {
    SCOPED_TRACE(test_case.text);
    const std::string document = render_xml_report({test_case.value}, {{test_case.value}}, 1);
    EXPECT_NE(document.find("<spectra>" + test_case.text + "</spectra>"), std::string::npos)
        << document;
    EXPECT_NE(document.find("<bimspectra id=\"1\">" + test_case.text + "</bimspectra>"),
              std::string::npos)
        << document;
  }
}

TEST(RenderXmlReport, SameBytesAsThePropertyTreeWriter) {
  for (const reference::WriterCase& test_case : reference::writer_cases()) {
    SCOPED_TRACE(test_case.name);
    EXPECT_EQ(
        render_xml_report(test_case.spectrum, test_case.bim_spectra, test_case.elapsed_seconds),
        reference::render_xml_report(test_case.spectrum, test_case.bim_spectra,
                                     test_case.elapsed_seconds));
  }
}

// The file written from a row source holds what the earlier writer rendered, and each row
// is asked for once, in order.
TEST(WriteXmlReport, RowSourceGivesTheFileOfThePropertyTreeWriter) {
  TempDir dir;
  const std::string path = dir.file("r.xml");
  for (const reference::WriterCase& test_case : reference::writer_cases()) {
    SCOPED_TRACE(test_case.name);
    std::vector<std::size_t> rows_asked;
    const BimRowSource rows = [&](std::size_t srlg_index, SpectraVector& row) {
      rows_asked.push_back(srlg_index);
      row = test_case.bim_spectra[srlg_index];
    };
    std::string failure;
    EXPECT_EQ(write_xml_report(path, test_case.spectrum, rows, test_case.elapsed_seconds, failure),
              0)
        << failure;
    EXPECT_EQ(read_file(path),
              reference::render_xml_report(test_case.spectrum, test_case.bim_spectra,
                                           test_case.elapsed_seconds));
    ASSERT_EQ(rows_asked.size(), test_case.spectrum.size());
    for (std::size_t i = 0; i < rows_asked.size(); ++i) {
      EXPECT_EQ(rows_asked[i], i);
    }
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"r.xml"});
  }
}

// A row source that runs out of memory after part of the document is on disk: the error
// goes on to the caller, and neither the temporary file nor a changed result file stays.
TEST(WriteXmlReport, RowSourceFailingPartWayLeavesTheOldFile) {
  TempDir dir;
  const std::string path = dir.file("r.xml");
  write_file(path, "old contents");
  const std::size_t n = 300;
  const SpectraVector spectrum(n, 0.5);
  const std::size_t failing_row = 200;  // 540 kB in: pieces are on disk by then
  const BimRowSource rows = [&](std::size_t srlg_index, SpectraVector& row) {
    if (srlg_index == failing_row) {
      throw std::bad_alloc();
    }
    row.assign(n, 0.25);
  };
  std::string failure;
  EXPECT_THROW(write_xml_report(path, spectrum, rows, 1.5, failure), std::bad_alloc);
  EXPECT_EQ(read_file(path), "old contents");
  EXPECT_EQ(dir.entries(), std::vector<std::string>{"r.xml"});
}

TEST(WriteXmlReport, NewFileGetsTheDocumentAndTheUmaskMode) {
  const std::string document = render_xml_report(kSpectrum, kBimSpectra, 1.5);
  for (const mode_t mask : {mode_t{022}, mode_t{077}}) {
    SCOPED_TRACE(mask);
    TempDir dir;
    const ScopedUmask umask_for_test(mask);
    const std::string path = dir.file("r.xml");
    std::string failure;
    EXPECT_EQ(write_xml_report(path, kSpectrum, kBimSpectra, 1.5, failure), 0) << failure;
    EXPECT_EQ(read_file(path), document);
    EXPECT_EQ(mode_of(path) & 0777, 0666 & ~mask);
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"r.xml"});
  }
}

TEST(WriteXmlReport, ReplacesALongerFileWholeAndKeepsItsMode) {
  TempDir dir;
  const std::string path = dir.file("r.xml");
  write_file(path, std::string(10000, 'x'));
  ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
  std::string failure;
  EXPECT_EQ(write_xml_report(path, kSpectrum, kBimSpectra, 1.5, failure), 0) << failure;
  EXPECT_EQ(read_file(path), render_xml_report(kSpectrum, kBimSpectra, 1.5));
  EXPECT_EQ(mode_of(path) & 0777, 0640u);
  EXPECT_EQ(dir.entries(), std::vector<std::string>{"r.xml"});
}

TEST(WriteXmlReport, SymbolicLinkStaysAndItsFileIsReplaced) {
  TempDir dir;
  const std::string target = dir.file("target.xml");
  const std::string link = dir.file("link.xml");
  write_file(target, "old");
  ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);
  std::string failure;
  EXPECT_EQ(write_xml_report(link, kSpectrum, kBimSpectra, 1.5, failure), 0) << failure;
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(read_file(target), render_xml_report(kSpectrum, kBimSpectra, 1.5));
  EXPECT_EQ(dir.entries(), (std::vector<std::string>{"link.xml", "target.xml"}));
}

TEST(WriteXmlReport, UnwritablePathsFailWithPathAndReason) {
  TempDir dir;
  ASSERT_TRUE(fs::create_directory(dir.path() / "sub"));
  write_file(dir.file("plain"), "keep");
  const std::vector<std::string> before = dir.entries();
  struct Case {
    std::string path;
    const char* reason;
  };
  const std::vector<Case> cases = {
      {dir.file("missing/r.xml"), "No such file or directory"},
      {dir.file("sub"), "Is a directory"},
      {dir.file("plain/r.xml"), "Not a directory"},
      {"", "No such file or directory"},
  };
  for (const Case& test_case : cases) {
    SCOPED_TRACE(test_case.path);
    std::string failure;
    EXPECT_EQ(write_xml_report(test_case.path, kSpectrum, kBimSpectra, 1.5, failure), 1);
    EXPECT_EQ(failure, failure_line(test_case.path, test_case.reason));
    EXPECT_EQ(dir.entries(), before);
    EXPECT_TRUE(fs::is_empty(dir.path() / "sub"));
    EXPECT_EQ(read_file(dir.file("plain")), "keep");
  }
}

TEST(WriteXmlReport, ReadOnlyPlacesKeepTheExistingFile) {
  if (::geteuid() == 0) {
    GTEST_SKIP() << "root may write regardless of permission bits";
  }
  struct Case {
    const char* name;
    mode_t directory_mode;
    mode_t file_mode;
  };
  const std::vector<Case> cases = {
      {"read-only directory", 0555, 0644},
      {"read-only file", 0755, 0444},
  };
  for (const Case& test_case : cases) {
    SCOPED_TRACE(test_case.name);
    TempDir dir;
    const std::string path = dir.file("r.xml");
    write_file(path, "old contents");
    ASSERT_EQ(::chmod(path.c_str(), test_case.file_mode), 0);
    ASSERT_EQ(::chmod(dir.path().c_str(), test_case.directory_mode), 0);
    std::string failure;
    EXPECT_EQ(write_xml_report(path, kSpectrum, kBimSpectra, 1.5, failure), 1);
    EXPECT_EQ(failure, failure_line(path, "Permission denied"));
    EXPECT_EQ(read_file(path), "old contents");
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"r.xml"});
  }
}

TEST(WriteXmlReport, FullDeviceReportsNoSpaceAndStaysADevice) {
  if (!fs::is_character_file("/dev/full")) {
    GTEST_SKIP() << "no /dev/full on this system";
  }
  std::string failure;
  EXPECT_EQ(write_xml_report("/dev/full", kSpectrum, kBimSpectra, 1.5, failure), 1);
  EXPECT_EQ(failure, failure_line("/dev/full", "No space left on device"));
  EXPECT_TRUE(fs::is_character_file("/dev/full"));
}

TEST(WriteXmlReport, FifoTakesTheDocumentDirectly) {
  TempDir dir;
  const std::string path = dir.file("pipe");
  ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
  // Holding a reading end lets the writer open the FIFO without waiting; the document
  // fits in the pipe's buffer.
  const int reader = ::open(path.c_str(), O_RDWR | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  std::string failure;
  EXPECT_EQ(write_xml_report(path, kSpectrum, kBimSpectra, 1.5, failure), 0) << failure;
  std::string received(4096, '\0');
  const ssize_t length = ::read(reader, received.data(), received.size());
  ::close(reader);
  ASSERT_GE(length, 0);
  received.resize(static_cast<std::size_t>(length));
  EXPECT_EQ(received, render_xml_report(kSpectrum, kBimSpectra, 1.5));
  EXPECT_TRUE(fs::is_fifo(path));
  EXPECT_EQ(dir.entries(), std::vector<std::string>{"pipe"});
}

TEST(WriteXmlReport, WriteFailingPartWayLeavesNoTemporaryFile) {
  TempDir dir;
  const std::string path = dir.file("r.xml");
  write_file(path, "old contents");
  // A file size limit below the document's length makes the write itself fail after the
  // temporary file exists; ignoring SIGXFSZ turns the signal into an EFBIG error.
  rlimit previous_limit{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &previous_limit), 0);
  rlimit small_limit = previous_limit;
  small_limit.rlim_cur = 16;
  const auto previous_handler = std::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small_limit), 0);
  std::string failure;
  const int result = write_xml_report(path, kSpectrum, kBimSpectra, 1.5, failure);
  ::setrlimit(RLIMIT_FSIZE, &previous_limit);
  std::signal(SIGXFSZ, previous_handler);

  EXPECT_EQ(result, 1);
  EXPECT_EQ(failure, failure_line(path, "File too large"));
  EXPECT_EQ(read_file(path), "old contents");
  EXPECT_EQ(dir.entries(), std::vector<std::string>{"r.xml"});
}

}  // namespace
}  // namespace varnak
