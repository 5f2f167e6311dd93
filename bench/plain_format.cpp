// The floor that Varnak's output is measured against: a plain program that formats as many
// numbers as a run with S SRLGs prints (S rows of S values and the spectrum), in the
// console's format ("%.6g") and the XML file's ("%f"), with std::to_chars into one buffer
// per row, and writes them to two files. The values are 0 and 1, as a run with --N 1 gives.
//
//     plain_format <S> <console file> <XML file>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct Output {
  std::FILE* file;
  std::chars_format format;
  std::string line;
};

void put_row(Output& output, const std::vector<double>& row) {
  output.line.clear();
  char text[64];
  for (std::size_t j = 0; j < row.size(); ++j) {
    if (j > 0) {
      output.line += ',';
    }
    output.line.append(text, std::to_chars(text, text + sizeof text, row[j], output.format, 6).ptr);
  }
  output.line += '\n';
  std::fwrite(output.line.data(), 1, output.line.size(), output.file);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fputs("usage: plain_format <S> <console file> <XML file>\n", stderr);
    return 2;
  }
  const std::size_t srlgs = std::strtoul(argv[1], nullptr, 10);
  Output outputs[] = {{std::fopen(argv[2], "wb"), std::chars_format::general, {}},
                      {std::fopen(argv[3], "wb"), std::chars_format::fixed, {}}};
  std::vector<double> row(srlgs);
  for (Output& output : outputs) {
    if (output.file == nullptr) {
      std::perror("plain_format");
      return 1;
    }
    // Row -1 is the spectrum; row s turns to 1 at a position that differs from row to row.
    for (std::size_t s = 0; s <= srlgs; ++s) {
      const std::size_t first_one = (s * 7919 + srlgs / 2) % (srlgs + 1);
      for (std::size_t j = 0; j < srlgs; ++j) {
        row[j] = j >= first_one ? 1.0 : 0.0;
      }
      put_row(output, row);
    }
    if (std::fclose(output.file) != 0) {
      std::perror("plain_format");
      return 1;
    }
  }
  return 0;
}
