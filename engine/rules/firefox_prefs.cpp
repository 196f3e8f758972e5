#include "engine/rules/firefox_prefs.h"

#include "engine/rules/start_urls.h"
#include "platform/text_utf8.h"

const char kFirefoxHomepage[] = "browser.startup.homepage";
const char kFirefoxStartupPage[] = "browser.startup.page";

namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
bool IsNameChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// A cursor over the text with the parser's tokens.
class Reader {
 public:
  explicit Reader(std::string_view text) : text_(text) {}

  std::size_t at() const { return at_; }
  bool AtEnd() const { return at_ >= text_.size(); }
  char Peek() const { return AtEnd() ? '\0' : text_[at_]; }

  // Spaces and comments; false for a comment that never ends.
  bool SkipBlanks() {
    while (!AtEnd()) {
      if (IsSpace(Peek())) {
        ++at_;
      } else if (Peek() == '#' || text_.compare(at_, 2, "//") == 0) {
        while (!AtEnd() && Peek() != '\n' && Peek() != '\r') ++at_;
      } else if (text_.compare(at_, 2, "/*") == 0) {
        const std::size_t close = text_.find("*/", at_ + 2);
        if (close == std::string_view::npos) return false;
        at_ = close + 2;
      } else {
        return true;
      }
    }
    return true;
  }

  bool Take(char c) {
    if (!SkipBlanks() || Peek() != c) return false;
    ++at_;
    return true;
  }

  std::string Word() {
    const std::size_t start = at_;
    while (!AtEnd() && IsNameChar(Peek())) ++at_;
    return std::string(text_.substr(start, at_ - start));
  }

  // A string in either quote, its escapes decoded.
  std::optional<std::string> String() {
    if (!SkipBlanks() || (Peek() != '"' && Peek() != '\'')) return std::nullopt;
    const char quote = text_[at_++];
    std::string out;
    while (!AtEnd()) {
      const char c = text_[at_++];
      if (c == quote) return out;
      if (c != '\\') {
        out.push_back(c);
        continue;
      }
      if (AtEnd()) return std::nullopt;
      const char e = text_[at_++];
      switch (e) {
        case 'n':
          out.push_back('\n');
          break;
        case 'r':
          out.push_back('\r');
          break;
        case 't':
          out.push_back('\t');
          break;
        case 'x':
        case 'u': {
          const int digits = e == 'x' ? 2 : 4;
          unsigned long point = 0;
          for (int i = 0; i < digits; ++i) {
            const int v = AtEnd() ? -1 : HexValue(text_[at_]);
            if (v < 0) return std::nullopt;
            point = point * 16 + v;
            ++at_;
          }
          AppendUtf8(out, point);
          break;
        }
        case '\\':
        case '"':
        case '\'':
          out.push_back(e);
          break;
        default:
          return std::nullopt;
      }
    }
    return std::nullopt;
  }

  // A call's value: a string, a number with its sign, true or false.
  bool Value(FirefoxPrefCall* call) {
    if (!SkipBlanks()) return false;
    if (Peek() == '"' || Peek() == '\'') {
      auto value = String();
      if (!value) return false;
      call->is_string = true;
      call->value = std::move(*value);
      return true;
    }
    const std::size_t start = at_;
    if (Peek() == '-' || Peek() == '+') ++at_;
    const std::string word = Word();
    if (word.empty()) return false;
    bool number = true;
    for (char c : word) number = number && c >= '0' && c <= '9';
    if (!number && ((word != "true" && word != "false") || at_ - start != word.size()))
      return false;
    call->value = std::string(text_.substr(start, at_ - start));
    return true;
  }

  // After the function's name: ( "name" , value [, attributes] ) ;
  bool Arguments(FirefoxPrefCall* call) {
    if (!Take('(')) return false;
    auto name = String();
    if (!name || !Take(',')) return false;
    call->name = std::move(*name);
    if (!Value(call)) return false;
    // pref() in a defaults file may add ", sticky" or ", locked".
    while (Take(',')) {
      if (!SkipBlanks() || Word().empty()) return false;
    }
    if (!Take(')') || !Take(';')) return false;
    call->end = at_;
    return true;
  }

 private:
  std::string_view text_;
  std::size_t at_ = 0;
};

}  // namespace

std::optional<std::vector<FirefoxPrefCall>> ParseFirefoxPrefs(std::string_view text) {
  std::vector<FirefoxPrefCall> calls;
  Reader reader(text);
  for (;;) {
    if (!reader.SkipBlanks()) return std::nullopt;
    if (reader.AtEnd()) return calls;
    FirefoxPrefCall call;
    call.begin = reader.at();
    call.function = reader.Word();
    if (call.function != "user_pref" && call.function != "pref" && call.function != "sticky_pref") {
      return std::nullopt;
    }
    if (!reader.Arguments(&call)) return std::nullopt;
    calls.push_back(std::move(call));
  }
}

ByteRanges CallRanges(std::string_view text, const std::vector<FirefoxPrefCall>& calls) {
  ByteRanges ranges;
  for (const FirefoxPrefCall& call : calls) {
    std::size_t begin = call.begin, end = call.end;
    // The whole line when nothing else is on it.
    std::size_t line_begin = begin, line_end = end;
    while (line_begin > 0 && (text[line_begin - 1] == ' ' || text[line_begin - 1] == '\t')) {
      --line_begin;
    }
    while (line_end < text.size() && (text[line_end] == ' ' || text[line_end] == '\t')) ++line_end;
    const bool starts_line = line_begin == 0 || text[line_begin - 1] == '\n';
    if (starts_line &&
        (line_end == text.size() || text[line_end] == '\r' || text[line_end] == '\n')) {
      begin = line_begin;
      end = line_end;
      if (end < text.size() && text[end] == '\r') ++end;
      if (end < text.size() && text[end] == '\n') ++end;
    }
    ranges.emplace_back(begin, end);
  }
  return ranges;
}

std::string WithoutCalls(std::string_view text, const std::vector<FirefoxPrefCall>& calls) {
  return WithoutRanges(text, CallRanges(text, calls));
}

bool FirefoxHomepageHijacked(const std::vector<FirefoxPrefCall>& calls,
                             std::string_view user_address) {
  for (const FirefoxPrefCall& call : calls) {
    if (call.name != kFirefoxHomepage || call.function == "clearPref") continue;
    if (!call.is_string) return true;
    std::string_view pages = call.value;
    for (;;) {
      const std::size_t bar = pages.find('|');
      if (IsHijackedStartPage(pages.substr(0, bar), user_address)) return true;
      if (bar == std::string_view::npos) break;
      pages.remove_prefix(bar + 1);
    }
  }
  return false;
}

std::vector<FirefoxPrefCall> HijackedFirefoxCalls(const std::vector<FirefoxPrefCall>& calls,
                                                  bool homepage_hijacked) {
  std::vector<FirefoxPrefCall> hijacked;
  if (!homepage_hijacked) return hijacked;
  for (const FirefoxPrefCall& call : calls) {
    if (call.function == "clearPref") continue;
    if (call.name == kFirefoxHomepage || (call.name == kFirefoxStartupPage && call.value == "1")) {
      hijacked.push_back(call);
    }
  }
  return hijacked;
}
