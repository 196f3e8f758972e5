#include "engine/rules/json_members.h"

#include <rapidjson/reader.h>

#include <optional>
#include <utility>

#include "platform/text.h"
#include "platform/text_utf8.h"

namespace {

bool IsJsonSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

const char kElementStep[] = "[]";

// The text read in place. Not the reader's own stream type: for that one
// the reader works on a local copy and tells the stream where it got to
// only after the handler's call, which asks where the stream is.
struct InPlaceStream : rapidjson::InsituStringStream {
  using rapidjson::InsituStringStream::GenericInsituStringStream;
};

// The SAX handler: follows the nesting, keeps the members asked for.
class MemberScanner {
 public:
  MemberScanner(std::string_view json, const std::vector<std::string>& paths, JsonScan* scan,
                InPlaceStream* in)
      : json_(json), paths_(paths), scan_(scan), in_(in) {}

  JsonFault fault() const { return fault_; }

  bool Null() { return Scalar(JsonMember::Kind::kNull, {}); }
  bool Bool(bool value) {
    return Scalar(value ? JsonMember::Kind::kTrue : JsonMember::Kind::kFalse, {});
  }
  // A number read in place is handed over where the reader's copy of the
  // stream would lie (see InPlaceStream): it ends where the stream is.
  bool RawNumber(const char*, rapidjson::SizeType length, bool) {
    return Scalar(JsonMember::Kind::kNumber, json_.substr(in_->Tell() - length, length));
  }
  bool String(const char* text, rapidjson::SizeType length, bool) {
    return Scalar(JsonMember::Kind::kString, std::string_view(text, length));
  }
  // RawNumber stands for these: numbers are kept as written.
  bool Int(int) { return true; }
  bool Uint(unsigned) { return true; }
  bool Int64(int64_t) { return true; }
  bool Uint64(uint64_t) { return true; }
  bool Double(double) { return true; }

  bool StartObject() { return Open(JsonMember::Kind::kObject); }
  bool StartArray() { return Open(JsonMember::Kind::kArray); }
  bool EndObject(rapidjson::SizeType) { return Close(); }
  bool EndArray(rapidjson::SizeType) { return Close(); }

  bool Key(const char* text, rapidjson::SizeType length, bool) {
    if (skipped_ > 0) return true;
    Frame& frame = frames_.back();
    frame.key.assign(text, length);
    frame.key_begin = NextBegin();
    if (frame.watched) {
      if (HasText(frame.keys, frame.key)) {
        fault_ = JsonFault::kDuplicateKey;
        return false;
      }
      frame.keys.push_back(frame.key);
    }
    last_end_ = in_->Tell();
    return true;
  }

 private:
  struct Frame {
    bool object = false;
    int id = 0;
    std::string path;
    bool watched = false;  // on the way to a path asked for, or asked for itself
    int member = -1;       // the member this container is the value of, when asked for
    std::vector<std::string> keys;
    std::string key;            // of the member being read
    std::size_t key_begin = 0;  // of that member, or of an array's element being read
    bool elements = false;      // an array whose elements are on a path asked for
    // The asked-for paths that lead through this container: each one's index
    // and where its step below this container begins. A member is matched
    // by its own step alone, not by its whole path against every path.
    std::vector<std::pair<std::size_t, std::size_t>> leads;
  };

  // Follows `frame`'s leads one step, `step` (a name or "[]"): true when a
  // path asked for ends there; the paths that go on are put in `leads`.
  bool Follow(const Frame& frame, std::string_view step,
              std::vector<std::pair<std::size_t, std::size_t>>* leads) const {
    bool whole = false;
    for (const auto& [path, at] : frame.leads) {
      const std::string_view rest = std::string_view(paths_[path]).substr(at);
      const std::size_t dot = rest.find('.');
      const std::string_view asked = rest.substr(0, dot);
      if (asked != step && (asked != "*" || step == kElementStep)) continue;
      if (dot == std::string_view::npos) {
        whole = true;
      } else if (leads) {
        leads->emplace_back(path, at + dot + 1);
      }
    }
    return whole;
  }
  // The step of the member being read: its name, or "[]" for an element;
  // nothing for a name holding a '.' (see ChildPath).
  static std::optional<std::string_view> StepOf(const Frame& frame) {
    if (!frame.object) return std::string_view(kElementStep);
    if (frame.key.find('.') != std::string::npos) return std::nullopt;
    return std::string_view(frame.key);
  }

  // Where the next key or element starts: past the spaces and the comma
  // after what was read last.
  std::size_t NextBegin() const {
    std::size_t begin = last_end_;
    while (begin < json_.size() && IsJsonSpace(json_[begin])) ++begin;
    if (begin < json_.size() && json_[begin] == ',') ++begin;
    while (begin < json_.size() && IsJsonSpace(json_[begin])) ++begin;
    return begin;
  }

  // The path of the member being read, one step a name. A name holding a
  // '.' is no step of any path asked for: "session.startup_urls" as one name
  // is not the member startup_urls of session, and the browser never reads it so.
  // An array's elements are the step "[]".
  std::optional<std::string> ChildPath(const Frame& frame) const {
    if (!frame.object) return frame.path.empty() ? "[]" : frame.path + ".[]";
    if (frame.key.find('.') != std::string::npos) return std::nullopt;
    return frame.path.empty() ? frame.key : frame.path + "." + frame.key;
  }

  // A new member of the object on top, or element of the array on top, when
  // it is asked for: its index.
  int StartMember(JsonMember::Kind kind, std::vector<std::pair<std::size_t, std::size_t>>* leads) {
    if (frames_.empty()) return -1;
    const Frame& frame = frames_.back();
    if (frame.object ? !frame.watched : !frame.elements) return -1;
    const std::optional<std::string_view> step = StepOf(frame);
    if (!step || !Follow(frame, *step, leads)) return -1;
    JsonMember member;
    member.path = *ChildPath(frame);
    member.kind = kind;
    member.key_begin = frame.key_begin;
    member.object = frame.id;
    scan_->members.push_back(std::move(member));
    return static_cast<int>(scan_->members.size()) - 1;
  }

  // The value of the object's current member, or the array's element, ends here.
  void EndMember(int member, std::size_t end) {
    const Frame& frame = frames_.back();
    if (member >= 0) scan_->members[member].value_end = end;
    if (frame.object ? frame.watched : frame.elements) {
      scan_->siblings.push_back({frame.id, frame.key_begin, end});
    }
  }

  bool Scalar(JsonMember::Kind kind, std::string_view text) {
    if (skipped_ > 0) return true;
    const std::size_t end = in_->Tell();
    if (!frames_.empty() && frames_.back().elements) frames_.back().key_begin = NextBegin();
    last_end_ = end;
    if (frames_.empty()) return true;
    Frame& frame = frames_.back();
    if (!frame.object && !frame.elements) {
      if (frame.member >= 0) {
        JsonMember& array = scan_->members[frame.member];
        if (kind == JsonMember::Kind::kString) {
          array.strings.emplace_back(text);
        } else {
          array.only_strings = false;
        }
      }
      return true;
    }
    const int member = StartMember(kind, nullptr);
    if (member >= 0) scan_->members[member].text.assign(text);
    EndMember(member, end);
    return true;
  }

  // A container no asked-for path leads into is only counted: most of a
  // long-used profile (extension settings) is read this way.
  bool Open(JsonMember::Kind kind) {
    if (static_cast<int>(frames_.size()) + skipped_ >= kLargestJsonDepth) {
      fault_ = JsonFault::kTooDeep;
      return false;
    }
    if (skipped_ > 0) {
      ++skipped_;
      return true;
    }
    if (!frames_.empty() && frames_.back().elements) frames_.back().key_begin = NextBegin();
    last_end_ = in_->Tell();
    Frame child;
    child.object = kind == JsonMember::Kind::kObject;
    child.id = ++objects_;
    if (frames_.empty()) {
      child.watched = true;
      for (std::size_t path = 0; path < paths_.size(); ++path) child.leads.emplace_back(path, 0);
    } else if (frames_.back().object || frames_.back().elements) {
      child.member = StartMember(kind, &child.leads);
      child.watched = child.member >= 0 || !child.leads.empty();
      if (child.watched) child.path = *ChildPath(frames_.back());
      if (child.member >= 0) scan_->members[child.member].container = child.id;
    }
    if (!frames_.empty() && !frames_.back().object && frames_.back().member >= 0) {
      scan_->members[frames_.back().member].only_strings = false;
    }
    if (!child.object && child.watched) {
      std::vector<std::pair<std::size_t, std::size_t>> below;
      child.elements = Follow(child, kElementStep, &below) || !below.empty();
    }
    if (!child.watched) {
      skipped_ = 1;
      return true;
    }
    frames_.push_back(std::move(child));
    return true;
  }

  bool Close() {
    const std::size_t end = in_->Tell();
    if (skipped_ > 1) {
      --skipped_;
      return true;
    }
    last_end_ = end;
    int member = -1;
    if (skipped_ == 1) {
      skipped_ = 0;  // an uncounted child of the frame on top ends
    } else {
      Frame closed = std::move(frames_.back());
      frames_.pop_back();
      if (closed.member >= 0 && closed.object) {
        scan_->members[closed.member].keys = std::move(closed.keys);
      }
      member = closed.member;
    }
    if (!frames_.empty() && (frames_.back().object || frames_.back().elements)) {
      EndMember(member, end);
    }
    return true;
  }

  std::string_view json_;
  const std::vector<std::string>& paths_;
  JsonScan* scan_;
  InPlaceStream* in_;
  std::vector<Frame> frames_;
  std::size_t last_end_ = 0;
  int objects_ = 0;
  int skipped_ = 0;  // depth inside containers no asked-for path leads into
  JsonFault fault_ = JsonFault::kNone;
};

}  // namespace

JsonFault ScanJsonMembers(std::string_view json, const std::vector<std::string>& paths,
                          JsonScan* scan) {
  *scan = JsonScan();
  // The reader takes a zero byte for the end: a text holding one is no JSON
  // for it, and would hide what follows the zero. UTF-8 is checked here in
  // one pass, not by the reader character by character.
  if (!IsUtf8WithoutZero(json)) return JsonFault::kNotJson;
  // Read in place, in a copy ending in its zero: the reader then hands over
  // each name and string where it lies (unescaped there) instead of putting
  // it together a character at a time, and offsets are the text's own.
  std::string copy(json);
  InPlaceStream in(copy.data());
  MemberScanner scanner(json, paths, scan, &in);
  rapidjson::Reader reader;
  // The recursive reader: its depth is the handler's, which stops it at
  // kLargestJsonDepth.
  const bool parsed =
      !reader
           .Parse<rapidjson::kParseInsituFlag | rapidjson::kParseNumbersAsStringsFlag>(in, scanner)
           .IsError();
  if (scanner.fault() != JsonFault::kNone) return scanner.fault();
  if (!parsed) return JsonFault::kNotJson;
  return JsonFault::kNone;
}

ByteRanges JsonMemberRanges(const JsonScan& scan, const std::vector<const JsonMember*>& cut) {
  const auto is_cut = [&cut](int object, std::size_t key_begin) {
    for (const JsonMember* member : cut) {
      if (member->object == object && member->key_begin == key_begin) return true;
    }
    return false;
  };
  ByteRanges ranges;
  for (const JsonMember* member : cut) {
    std::vector<JsonScan::Sibling> siblings;
    for (const JsonScan::Sibling& sibling : scan.siblings) {
      if (sibling.object == member->object) siblings.push_back(sibling);
    }
    auto at = siblings.begin();
    while (at != siblings.end() && at->key_begin != member->key_begin) ++at;
    if (at == siblings.end()) continue;
    if (at + 1 != siblings.end()) {
      // Up to the next member's key: this one, its comma and the spaces.
      ranges.emplace_back(at->key_begin, (at + 1)->key_begin);
      continue;
    }
    // The last member: the comma before it goes, unless every member before
    // it goes too (each of those then takes its own comma).
    auto kept = siblings.end();
    for (auto before = siblings.begin(); before != at; ++before) {
      if (!is_cut(before->object, before->key_begin)) kept = before;
    }
    ranges.emplace_back(kept != siblings.end() ? kept->value_end : at->key_begin, at->value_end);
  }
  return ranges;
}

std::string CutJsonMembers(std::string_view json, const JsonScan& scan,
                           const std::vector<const JsonMember*>& cut) {
  return WithoutRanges(json, JsonMemberRanges(scan, cut));
}
