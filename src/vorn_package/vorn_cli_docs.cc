// vorn_cli_docs: fills the manual page and the bash completion of vorn_cli
// from the same tables that print its usage text, at build time, so that
// neither can name a switch or a command the program does not have.
//
//   vorn_cli_docs man  packaging/vorn_cli.1.in  build/packaging/vorn_cli.1
//   vorn_cli_docs bash packaging/vorn_cli.bash.in build/packaging/vorn_cli
//
// The template is copied to the output with each placeholder line replaced:
//   @COMMANDS@          the commands ("start vorn", ...)
//   @STATUS_COMMANDS@   the status sub-commands
//   @OPTIONS@           the switches of the usage text
//   @UNLISTED_OPTIONS@  the switches read but not listed there
// For "man" each becomes a list of roff paragraphs; for "bash" a
// space-separated list of shell words, quoted where they hold blanks.
// Exit status 0, or 1 with a message on standard error.

#include <cctype>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "vorn_package/usage.h"

namespace {

// `text` with the characters roff would take as requests or escapes made
// literal; with `dashes`, "-" becomes the minus sign options are written with.
std::string Roff(const std::string& text, bool dashes) {
  std::string out;
  for (char c : text) {
    if (c == '\\') {
      out += "\\e";
    } else if (c == '-' && dashes) {
      out += "\\-";
    } else {
      out += c;
    }
  }
  return out;
}

// `text` as roff input lines: a new line after each sentence, as roff
// expects, and lines kept within 72 characters, broken at blanks.
std::string RoffLines(const std::string& text) {
  std::string out;
  size_t line_start = 0;  // where the current line begins in `out`
  size_t i = 0;
  while (i < text.size()) {
    size_t blank = text.find(' ', i);
    if (blank == std::string::npos) blank = text.size();
    if (out.size() > line_start && out.size() - line_start + (blank - i) > 72) {
      out.back() = '\n';  // the blank before this word
      line_start = out.size();
    }
    // A line must not start with a control character.
    if (out.size() == line_start && (text[i] == '.' || text[i] == '\'')) {
      out += "\\&";
    }
    out.append(text, i, blank - i);
    if (blank < text.size()) {
      // "e.g. garbage" is no sentence end; ". Vorn" is.
      bool sentence_end = text[blank - 1] == '.' && blank + 1 < text.size() &&
                          isupper(static_cast<unsigned char>(text[blank + 1]));
      out += sentence_end ? '\n' : ' ';
      if (sentence_end) line_start = out.size();
    }
    i = blank + 1;
  }
  return out;
}

// One ".TP" paragraph per row: the tag in bold (its placeholder in italics),
// then the description. `prefix` goes before each name ("--", "status ").
std::string ManRows(const vorn::UsageEntry* rows, size_t count,
                    const std::string& prefix, const char* joiner) {
  std::string out;
  for (size_t i = 0; i < count; ++i) {
    const vorn::UsageEntry& row = rows[i];
    std::string name = Roff(prefix + row.name, true);
    out += ".TP\n";
    if (row.placeholder) {
      // Alternating fonts: bold name, italic placeholder.
      out += ".BI \"" + name + joiner + "\" \"" + Roff(row.placeholder, true) +
             "\"\n";
    } else {
      out += ".B \"" + name + "\"\n";
    }
    out += RoffLines(Roff(row.description, false)) + "\n";
  }
  return out;
}

// The names as shell words; `option` adds "--" and, for a switch that takes
// a value, "=" (bash then waits for the value instead of adding a blank).
std::string ShellWords(const vorn::UsageEntry* rows, size_t count,
                       bool option) {
  std::string out;
  for (size_t i = 0; i < count; ++i) {
    std::string word = rows[i].name;
    if (word.empty()) continue;  // "status" with no sub-command
    if (option) word = "--" + word + (rows[i].placeholder ? "=" : "");
    if (!out.empty()) out += ' ';
    out += word.find(' ') == std::string::npos ? word : "'" + word + "'";
  }
  return out;
}

std::string Expand(const std::string& placeholder, bool man) {
  if (placeholder == "@COMMANDS@") {
    return man ? ManRows(vorn::kCommandUsage, vorn::kCommandUsageCount, "", "")
               : ShellWords(vorn::kCommandUsage, vorn::kCommandUsageCount,
                            false);
  }
  if (placeholder == "@STATUS_COMMANDS@") {
    return man ? ManRows(vorn::kStatusCommandUsage,
                         vorn::kStatusCommandUsageCount, "status ", " ")
               : ShellWords(vorn::kStatusCommandUsage,
                            vorn::kStatusCommandUsageCount, false);
  }
  if (placeholder == "@OPTIONS@") {
    return man ? ManRows(vorn::kOptionUsage, vorn::kOptionUsageCount, "--", "=")
               : ShellWords(vorn::kOptionUsage, vorn::kOptionUsageCount, true);
  }
  if (placeholder == "@UNLISTED_OPTIONS@") {
    return man ? ManRows(vorn::kUnlistedOptionUsage,
                         vorn::kUnlistedOptionUsageCount, "--", "=")
               : ShellWords(vorn::kUnlistedOptionUsage,
                            vorn::kUnlistedOptionUsageCount, true);
  }
  return "";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4 ||
      (strcmp(argv[1], "man") != 0 && strcmp(argv[1], "bash") != 0)) {
    fprintf(stderr, "usage: %s man|bash <template> <output>\n", argv[0]);
    return 1;
  }
  bool man = strcmp(argv[1], "man") == 0;
  std::ifstream in(argv[2]);
  if (!in) {
    fprintf(stderr, "vorn_cli_docs: cannot read %s\n", argv[2]);
    return 1;
  }
  std::ostringstream out;
  std::string line;
  while (std::getline(in, line)) {
    // A placeholder stands alone on its line (man) or anywhere in it (bash).
    for (const char* name : {"@COMMANDS@", "@STATUS_COMMANDS@", "@OPTIONS@",
                             "@UNLISTED_OPTIONS@"}) {
      size_t at = line.find(name);
      if (at == std::string::npos) continue;
      std::string value = Expand(name, man);
      if (man && !value.empty() && value.back() == '\n') value.pop_back();
      line.replace(at, strlen(name), value);
    }
    out << line << '\n';
  }
  std::ofstream file(argv[3], std::ios::trunc);
  file << out.str();
  file.close();
  if (!file) {
    fprintf(stderr, "vorn_cli_docs: cannot write %s\n", argv[3]);
    return 1;
  }
  return 0;
}
