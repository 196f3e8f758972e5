#include "engine/rules/autoconfig_script.h"

#include <optional>
#include <string>

#include "platform/text_utf8.h"

namespace {

bool IsLineBreak(char c) { return c == '\n' || c == '\r'; }
bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
// Bytes of non-ASCII characters count as name bytes: a name holding one is
// another name than the pref functions'.
bool IsNameByte(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || IsDigit(c) || c == '_' || c == '$' ||
         static_cast<unsigned char>(c) >= 0x80;
}
int HexValue(char c) {
  if (IsDigit(c)) return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

enum class Kind { kNone, kName, kNumber, kString, kTemplate, kRegex, kPunct };

struct Token {
  Kind kind = Kind::kNone;
  std::size_t begin = 0;
  std::size_t end = 0;
  std::string text;   // a string's value; a name, number or punctuation as written
  bool exact = true;  // a string whose every escape was decoded
};

// After these words a '/' begins a regular expression.
bool PrecedesExpression(std::string_view word) {
  for (const char* keyword : {"return", "typeof", "instanceof", "in", "of", "new", "delete", "void",
                              "throw", "case", "do", "else", "yield", "await"}) {
    if (word == keyword) return true;
  }
  return false;
}

// The script's tokens one at a time, comments skipped. Copyable, so a
// reader can look ahead and come back.
class Tokenizer {
 public:
  Tokenizer(std::string_view text, std::size_t start) : text_(text), at_(start) {}

  bool failed() const { return failed_; }

  // False at the end of the script, or where it cannot be read (failed()).
  bool Next(Token* token) {
    if (!SkipBlanksAndComments()) return false;
    if (at_ >= text_.size()) return false;
    *token = Token();
    token->begin = at_;
    const char c = text_[at_];
    bool read = true;
    if (c == '"' || c == '\'') {
      read = String(token);
    } else if (c == '`') {
      read = Template(token);
    } else if (IsDigit(c) || (c == '.' && at_ + 1 < text_.size() && IsDigit(text_[at_ + 1]))) {
      Number(token);
    } else if (IsNameByte(c)) {
      token->kind = Kind::kName;
      while (at_ < text_.size() && IsNameByte(text_[at_])) ++at_;
    } else if (c == '/') {
      switch (WhatSlashIs()) {
        case Slash::kRegex:
          read = Regex(token);
          break;
        case Slash::kDivision:
          token->kind = Kind::kPunct;
          ++at_;
          break;
        case Slash::kUnsure:
          read = false;
          break;
      }
    } else if (c == '\\' || text_.compare(at_, 4, "<!--") == 0 ||
               text_.compare(at_, 3, "-->") == 0) {
      read = false;  // an escaped name, or a comment only an HTML-aware reader sees
    } else {
      token->kind = Kind::kPunct;
      ++at_;
    }
    if (!read) return Fail();
    token->end = at_;
    if (token->kind != Kind::kString) {
      token->text.assign(text_.substr(token->begin, token->end - token->begin));
    }
    last_kind_ = token->kind;
    last_begin_ = token->begin;
    last_before_expression_ = token->kind == Kind::kName && PrecedesExpression(token->text);
    return true;
  }

 private:
  bool Fail() {
    failed_ = true;
    return false;
  }

  bool SkipBlanksAndComments() {
    while (at_ < text_.size()) {
      const char c = text_[at_];
      if (IsBlank(c) || IsLineBreak(c)) {
        ++at_;
      } else if (text_.compare(at_, 2, "//") == 0) {
        while (at_ < text_.size() && !IsLineBreak(text_[at_])) ++at_;
      } else if (text_.compare(at_, 2, "/*") == 0) {
        const std::size_t close = text_.find("*/", at_ + 2);
        if (close == std::string_view::npos) return Fail();
        at_ = close + 2;
      } else {
        break;
      }
    }
    return true;
  }

  // A '/' after a value divides; after an operator or at a statement's
  // start it begins a regular expression. After ')' or '}' it could be
  // either, as after "++" and "--": those are not guessed.
  enum class Slash { kRegex, kDivision, kUnsure };
  Slash WhatSlashIs() const {
    switch (last_kind_) {
      case Kind::kNone:
        return Slash::kRegex;
      case Kind::kName:
        return last_before_expression_ ? Slash::kRegex : Slash::kDivision;
      case Kind::kNumber:
      case Kind::kString:
      case Kind::kTemplate:
      case Kind::kRegex:
        return Slash::kDivision;
      case Kind::kPunct:
        break;
    }
    const char last = text_[last_begin_];
    if (last == ']') return Slash::kDivision;
    if (last == ')' || last == '}') return Slash::kUnsure;
    if ((last == '+' || last == '-') && last_begin_ > 0 && text_[last_begin_ - 1] == last) {
      return Slash::kUnsure;
    }
    return Slash::kRegex;
  }

  bool Regex(Token* token) {
    token->kind = Kind::kRegex;
    bool in_class = false;
    for (++at_;; ++at_) {
      if (at_ >= text_.size() || IsLineBreak(text_[at_])) return false;
      const char c = text_[at_];
      if (c == '\\') {
        ++at_;
        if (at_ >= text_.size() || IsLineBreak(text_[at_])) return false;
      } else if (c == '[') {
        in_class = true;
      } else if (c == ']') {
        in_class = false;
      } else if (c == '/' && !in_class) {
        break;
      }
    }
    for (++at_; at_ < text_.size() && IsNameByte(text_[at_]);) ++at_;
    return true;
  }

  void Number(Token* token) {
    token->kind = Kind::kNumber;
    const bool hex = text_.compare(at_, 2, "0x") == 0 || text_.compare(at_, 2, "0X") == 0;
    while (at_ < text_.size() && (IsNameByte(text_[at_]) || text_[at_] == '.')) {
      const char c = text_[at_++];
      if (!hex && (c == 'e' || c == 'E') && at_ < text_.size() &&
          (text_[at_] == '+' || text_[at_] == '-')) {
        ++at_;
      }
    }
  }

  bool Template(Token* token) {
    token->kind = Kind::kTemplate;
    for (++at_; at_ < text_.size(); ++at_) {
      const char c = text_[at_];
      if (c == '\\') {
        ++at_;
      } else if (c == '`') {
        ++at_;
        return true;
      } else if (text_.compare(at_, 2, "${") == 0) {
        return false;
      }
    }
    return false;
  }

  // A string literal, its value decoded. An escape whose value this reader
  // does not work out (an octal one, a lone surrogate) leaves it inexact.
  bool String(Token* token) {
    token->kind = Kind::kString;
    const char quote = text_[at_++];
    std::string& out = token->text;
    while (at_ < text_.size()) {
      const char c = text_[at_++];
      if (c == quote) return true;
      if (IsLineBreak(c)) return false;
      if (c != '\\') {
        out.push_back(c);
        continue;
      }
      if (at_ >= text_.size()) return false;
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
        case 'b':
          out.push_back('\b');
          break;
        case 'f':
          out.push_back('\f');
          break;
        case 'v':
          out.push_back('\v');
          break;
        case '\r':
          if (at_ < text_.size() && text_[at_] == '\n') ++at_;
          break;
        case '\n':
          break;
        case 'x':
        case 'u': {
          const std::optional<unsigned long> point = EscapedPoint(e);
          if (!point) return false;
          if (*point >= 0xD800 && *point <= 0xDFFF) {
            token->exact = false;
          } else {
            AppendUtf8(out, *point);
          }
          break;
        }
        default:
          if (IsDigit(e) && (e != '0' || (at_ < text_.size() && IsDigit(text_[at_])))) {
            token->exact = false;
          } else {
            out.push_back(e == '0' ? '\0' : e);
          }
      }
    }
    return false;
  }

  // After "\x" or "\u": the code point its hex digits name.
  std::optional<unsigned long> EscapedPoint(char escape) {
    const bool braced = escape == 'u' && at_ < text_.size() && text_[at_] == '{';
    if (braced) ++at_;
    unsigned long point = 0;
    int digits = 0;
    while (at_ < text_.size() && HexValue(text_[at_]) >= 0 &&
           (braced || digits < (escape == 'x' ? 2 : 4))) {
      point = point * 16 + HexValue(text_[at_++]);
      if (++digits > 6 || point > 0x10FFFF) return std::nullopt;
    }
    if (braced) {
      if (digits == 0 || at_ >= text_.size() || text_[at_] != '}') return std::nullopt;
      ++at_;
    } else if (digits != (escape == 'x' ? 2 : 4)) {
      return std::nullopt;
    }
    return point;
  }

  std::string_view text_;
  std::size_t at_;
  bool failed_ = false;
  Kind last_kind_ = Kind::kNone;
  std::size_t last_begin_ = 0;
  bool last_before_expression_ = false;
};

const char* const kPrefFunctions[] = {"lockPref", "defaultPref", "pref", "clearPref"};

// Deeper nesting than this is not read: no administrator's script has it.
constexpr std::size_t kDeepestNesting = 1000;

bool IsPunct(const Token& token, char c) {
  return token.kind == Kind::kPunct && token.text.size() == 1 && token.text[0] == c;
}

bool IsPrefFunction(const Token& token) {
  if (token.kind != Kind::kName) return false;
  for (const char* function : kPrefFunctions) {
    if (token.text == function) return true;
  }
  return false;
}

bool AllDigits(const std::string& text) {
  for (char c : text) {
    if (!IsDigit(c)) return false;
  }
  return !text.empty();
}

// Whether a statement starting with `token` ends what precedes it, even
// without a ';' between them.
bool CannotContinue(const Token& token) {
  if (token.kind == Kind::kName) return token.text != "in" && token.text != "instanceof";
  return IsPunct(token, '}') || IsPunct(token, ';');
}

// After a pref function's name: "(" its literal arguments ")" and a ';'
// where one follows. False when they are anything else.
bool ReadArguments(Tokenizer& tokens, FirefoxPrefCall* call, bool* semicolon) {
  Token t;
  const auto next = [&] { return tokens.Next(&t); };
  if (!next() || !IsPunct(t, '(')) return false;
  if (!next() || t.kind != Kind::kString || !t.exact) return false;
  call->name = std::move(t.text);
  // clearPref("name") has no value.
  if (call->function != "clearPref") {
    if (!next() || !IsPunct(t, ',') || !next()) return false;
    std::string sign;
    if (IsPunct(t, '-') || IsPunct(t, '+')) {
      sign = t.text;
      if (!next() || t.kind != Kind::kNumber) return false;
    }
    if (t.kind == Kind::kString && sign.empty() && t.exact) {
      call->is_string = true;
      call->value = std::move(t.text);
    } else if (t.kind == Kind::kNumber && AllDigits(t.text)) {
      call->value = sign + t.text;
    } else if (t.kind == Kind::kName && sign.empty() && (t.text == "true" || t.text == "false")) {
      call->value = t.text;
    } else {
      return false;
    }
  }
  if (!next() || !IsPunct(t, ')')) return false;
  call->end = t.end;
  Tokenizer after = tokens;
  *semicolon = after.Next(&t) && IsPunct(t, ';');
  if (*semicolon) {
    tokens = after;
    call->end = t.end;
  }
  return true;
}

// Whether the first statement after `tokens` that is no pref call ends
// what came before them, even without a ';'.
bool NothingGoesOnWith(Tokenizer tokens) {
  Token next;
  for (;;) {
    if (!tokens.Next(&next)) return !tokens.failed();
    Tokenizer after_call = tokens;
    FirefoxPrefCall call;
    call.function = next.text;
    bool semicolon = false;
    if (!IsPrefFunction(next) || !ReadArguments(after_call, &call, &semicolon) || !semicolon) {
      return CannotContinue(next);
    }
    tokens = after_call;
  }
}

// Whether only blanks stand before the call on its first line, and only
// blanks and comments that end there after it on its last; then its cut
// is those lines with their line break.
bool StandsOnItsOwnLines(std::string_view text, std::size_t start, AutoconfigCall* found) {
  std::size_t begin = found->call.begin;
  while (begin > start && IsBlank(text[begin - 1])) --begin;
  if (begin > start && !IsLineBreak(text[begin - 1])) return false;
  std::size_t end = found->call.end;
  for (;;) {
    while (end < text.size() && IsBlank(text[end])) ++end;
    if (text.compare(end, 2, "//") == 0) {
      while (end < text.size() && !IsLineBreak(text[end])) ++end;
    } else if (text.compare(end, 2, "/*") == 0) {
      const std::size_t close = text.find("*/", end + 2);
      if (close == std::string_view::npos) return false;
      if (text.substr(end, close - end).find_first_of("\r\n") != std::string_view::npos) {
        return false;  // the comment goes on below: the cut would open it
      }
      end = close + 2;
      continue;
    }
    break;
  }
  if (end < text.size() && !IsLineBreak(text[end])) return false;
  if (end < text.size() && text[end] == '\r') ++end;
  if (end < text.size() && text[end] == '\n') ++end;
  found->cut_begin = begin;
  found->cut_end = end;
  return true;
}

// Line numbers of offsets asked for in increasing order.
class LineCounter {
 public:
  explicit LineCounter(std::string_view text) : text_(text) {}
  int LineOf(std::size_t offset) {
    for (; at_ < offset; ++at_) {
      const char c = text_[at_];
      if (c == '\n' || (c == '\r' && (at_ + 1 >= text_.size() || text_[at_ + 1] != '\n'))) {
        ++line_;
      }
    }
    return line_;
  }

 private:
  std::string_view text_;
  std::size_t at_ = 0;
  int line_ = 1;
};

}  // namespace

AutoconfigScript ReadAutoconfigScript(std::string_view text) {
  AutoconfigScript script;
  std::size_t start = text.find_first_of("\r\n");
  if (start == std::string_view::npos) {
    script.understood = true;  // one line, which Firefox skips
    return script;
  }
  start += text.compare(start, 2, "\r\n") == 0 ? 2 : 1;
  // They end lines and // comments in JavaScript, not for a line-minded reader.
  if (text.find("\xE2\x80\xA8", start) != std::string_view::npos ||
      text.find("\xE2\x80\xA9", start) != std::string_view::npos) {
    return script;
  }
  Tokenizer tokens(text, start);
  LineCounter lines(text);
  std::string open;  // the brackets around the token
  Token token, previous;
  while (tokens.Next(&token)) {
    if (token.kind == Kind::kPunct) {
      const char c = token.text[0];
      if (c == '(' || c == '[' || c == '{') {
        open.push_back(c);
        if (open.size() > kDeepestNesting) return script;
      } else if (c == ')' || c == ']' || c == '}') {
        const char opener = c == ')' ? '(' : c == ']' ? '[' : '{';
        if (open.empty() || open.back() != opener) return script;
        open.pop_back();
      }
    } else if (IsPrefFunction(token) && !IsPunct(previous, '.')) {
      AutoconfigCall found;
      found.call.function = token.text;
      found.call.begin = token.begin;
      Tokenizer ahead = tokens;
      bool semicolon = false;
      if (ReadArguments(ahead, &found.call, &semicolon)) {
        tokens = ahead;
        found.line = lines.LineOf(token.begin);
        // A statement starts after a ';' or a brace, at the top or in a block.
        bool starts_statement = previous.kind == Kind::kNone || IsPunct(previous, ';') ||
                                IsPunct(previous, '{') || IsPunct(previous, '}');
        // A '}' may end an expression left without its ';' ("var o = {}"):
        // what follows the call, and the calls after it that may go too,
        // must not be able to go on with it.
        if (starts_statement && IsPunct(previous, '}')) {
          starts_statement = NothingGoesOnWith(tokens);
        }
        found.alone = semicolon && starts_statement && (open.empty() || open.back() == '{') &&
                      StandsOnItsOwnLines(text, start, &found);
        script.calls.push_back(std::move(found));
        previous = Token();
        previous.kind = Kind::kPunct;
        previous.text = semicolon ? ";" : ")";
        continue;
      }
    }
    previous = std::move(token);
  }
  script.understood = !tokens.failed() && open.empty();
  return script;
}
