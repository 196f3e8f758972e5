// Firefox's search settings (a profile's search.json.mozlz4, decompressed):
// whether the default engine, or the private-browsing one, is a hijacker's,
// and the bytes whose removal gives Firefox's own default back.
//
// "metaData.defaultEngineId" (and "privateDefaultEngineId") names an engine
// of the "engines" array by its "id" (before settings version 7,
// "metaData.current" and "private" by its "_name"); Firefox checks the hash beside it
// only for engines not its own, and where the id, the hash or the engine
// fails it uses the application's default (SearchService.sys.mjs,
// _getEngineDefault; docs/search-engines.md). So the repair removes the
// hijacker's engine and the members that select it, and computes no hash.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "engine/rules/byte_ranges.h"

enum class FirefoxSearchFault {
  kNone,
  kNotJson,
  kTooDeep,
  kDuplicateKey,
  kWrongType,  // a member the judgement reads, of a type Firefox never writes
};

// A default engine that is a hijacker's: one neither Firefox's own (from
// its configuration: "_isConfigEngine", or "_isAppProvided" before Firefox
// 128) nor an add-on's ("extensionID", "[addon]" load path) nor searching
// only on a shipped engine's host or the user's own (the rule Chromium's
// engines are judged by), or one whose search address lies on a host the
// profile's hijacked start page names.
struct HijackedSearchDefault {
  bool private_browsing = false;  // privateDefaultEngineId
  std::string engine;             // its "_name", or its id where it has none (UTF-8)
};

struct FirefoxSearchJudgement {
  std::vector<HijackedSearchDefault> hijacked;
  // The hijackers' engines, the ids naming them and their hashes.
  ByteRanges removed;
};

// Judges `json` against the user's address (UTF-8) and the hosts of the
// profile's hijacked start pages. A user's own engine that is not the
// default is left: it searches only when chosen.
FirefoxSearchFault JudgeFirefoxSearch(std::string_view json, std::string_view user_address,
                                      const std::vector<std::string>& hijack_hosts,
                                      FirefoxSearchJudgement* judgement);
