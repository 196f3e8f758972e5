#include "engine/rules/browser_arguments.h"

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// ASCII letters only, as tolower in the C locale, without importing it
// (bench/size.sh).
Text Lower(Text text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

// The switch name of `value` when it is a switch written with one of
// `prefixes`, in lower case and without "=value"; empty otherwise.
Text SwitchName(const Text& value, std::initializer_list<const char*> prefixes) {
  for (const char* prefix : prefixes) {
    const Text start = prefix;
    if (value.size() > start.size() && value.compare(0, start.size(), start) == 0) {
      return Lower(value.substr(start.size(), value.find('=') - start.size()));
    }
  }
  return Text();
}

// Chromium's CommandLine takes "--", "-" and "/" as switch prefixes on
// Windows, and names without case; "--" alone ends the switches.
bool KeptByChromium(const Text& value) {
  const Text name = SwitchName(value, {"--", "-", "/"});
  return name == "profile-directory" || name == "app" || name == "app-id";
}

// A page rather than a profile's name or folder: no profile is named so, and
// a hijacker could hide a page behind -P.
bool LooksLikeAddress(const Text& value) {
  const Text lower = Lower(value);
  return lower.find("://") != Text::npos || lower.compare(0, 4, "www.") == 0 ||
         lower.compare(0, 5, "file:") == 0;
}

}  // namespace

std::vector<ArgumentToken> SplitArguments(const Text& arguments) {
  std::vector<ArgumentToken> tokens;
  std::size_t at = 0;
  const std::size_t size = arguments.size();
  while (true) {
    while (at < size && IsBlank(arguments[at])) ++at;
    if (at >= size) break;
    ArgumentToken token;
    token.begin = at;
    bool quoted = false;
    while (at < size && (quoted || !IsBlank(arguments[at]))) {
      const auto byte = static_cast<unsigned char>(arguments[at]);
      if (IsLeadByte(byte)) {
        token.value += arguments.substr(at, 2);
        at = at + 2 < size ? at + 2 : size;
        continue;
      }
      if (byte == '\\') {
        std::size_t backslashes = 0;
        while (at < size && arguments[at] == '\\') ++backslashes, ++at;
        if (at < size && arguments[at] == '"') {
          token.value.append(backslashes / 2, '\\');
          if (backslashes % 2 == 1) {
            token.value += '"';
            ++at;
          }
        } else {
          token.value.append(backslashes, '\\');
        }
        continue;
      }
      if (byte == '"') {
        if (quoted && at + 1 < size && arguments[at + 1] == '"') {
          token.value += '"';
          at += 2;
          continue;
        }
        quoted = !quoted;
        ++at;
        continue;
      }
      token.value += arguments[at++];
    }
    token.end = at;
    tokens.push_back(std::move(token));
  }
  return tokens;
}

std::vector<bool> KeptArguments(BrowserFamily family, const std::vector<ArgumentToken>& tokens) {
  std::vector<bool> keep(tokens.size(), false);
  bool switches_ended = false;
  for (std::size_t i = 0; i < tokens.size(); ++i) {
    const Text& value = tokens[i].value;
    switch (family) {
      case BrowserFamily::kChromium:
        if (value == "--") switches_ended = true;
        keep[i] = !switches_ended && KeptByChromium(value);
        break;
      case BrowserFamily::kFirefox: {
        // Firefox takes "-" and "--" alike, and "/" on Windows, without case.
        const Text name = SwitchName(value, {"--", "-", "/"});
        if (name == "no-remote" || name == "new-instance") keep[i] = true;
        if (name == "p" || name == "profile") {
          keep[i] = true;
          // The profile's name or folder follows, unless another switch does.
          if (i + 1 < tokens.size() && !tokens[i + 1].value.empty() &&
              tokens[i + 1].value[0] != '-' && !LooksLikeAddress(tokens[i + 1].value)) {
            keep[++i] = true;
          }
        }
        break;
      }
      case BrowserFamily::kInternetExplorer:
        keep[i] = Lower(value) == "-private";
        break;
    }
  }
  return keep;
}

ArgumentsVerdict JudgeArguments(BrowserFamily family, const Text& arguments) {
  const std::vector<ArgumentToken> tokens = SplitArguments(arguments);
  const std::vector<bool> keep = KeptArguments(family, tokens);
  ArgumentsVerdict verdict;
  for (std::size_t i = 0; i < tokens.size(); ++i) {
    if (keep[i]) {
      if (!verdict.kept.empty()) verdict.kept += ' ';
      verdict.kept += arguments.substr(tokens[i].begin, tokens[i].end - tokens[i].begin);
    } else {
      verdict.dropped.push_back(tokens[i].value);
      verdict.changed = true;
    }
  }
  return verdict;
}
