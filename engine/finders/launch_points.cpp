#include "engine/finders/launch_points.h"

#include <optional>
#include <string>

#include "engine/finders/lookalike_links.h"
#include "engine/finders/planned_link.h"
#include "engine/finders/shortcut_repair.h"
#include "engine/rules/browser_arguments.h"
#include "engine/rules/browsers.h"
#include "platform/lnk_arguments.h"
#include "platform/text_utf16.h"

namespace {

// Real links are a few kilobytes.
constexpr std::size_t kLargestLink = 1 << 20;

// kNothing for anything but a browser's link with arguments the browser does
// not need, kRewriteArguments for one, kReport for one that cannot be
// rewritten safely, kRemoveLeftover for a replacement a killed run left;
// kNothing with a look-alike for a link named as a browser's leading elsewhere.
PlannedLink PlanLaunchPointLink(Platform& machine, const Text& path) {
  PlannedLink link;
  link.path = path;
  link.name = FileNameOfPath(path);
  if (IsLeftoverReplacement(link.name)) {
    link.action = PlannedLink::Action::kRemoveLeftover;
    return link;
  }
  if (TextRight(path, 3) != "lnk" || !NamesOnlyThisFile(path, link.name)) return link;
  Text target, shown_arguments;
  ShortcutFields fields;
  fields.target = &target;
  fields.arguments = &shown_arguments;
  machine.links.ReadShortcut(path, fields);
  const Browser* browser = BrowserOfExecutable(FileNameOfPath(target));
  if (!browser) {
    if (!target.empty()) link.lookalike = FindLookalike(machine, path, target);
    return link;
  }

  // The arguments as the link object shows them split and judge as the
  // exact ones do (a character the code page lacks, shown as '?', is never a
  // quote, a space or part of a switch's name): most browser links hold
  // nothing to take out, and are not read twice.
  if (!JudgeArguments(browser->family, shown_arguments).changed) return link;

  // A browser's link with a hijack: from here on, whatever keeps it from
  // being rewritten is reported.
  link.action = PlannedLink::Action::kReport;
  std::optional<std::string> bytes = machine.files.ReadWholeFile(path, kLargestLink);
  if (!bytes) return link;
  // Bytes the link object reads with arguments but the format does not
  // describe that way are not rewritten by guesswork.
  const std::optional<lnk::ArgumentsField> field = lnk::FindArgumentsField(*bytes);
  if (!field) return link;
  // Arguments the code page cannot hold are left: splitting them would lose
  // what the kept ones hold.
  std::optional<Text> arguments =
      field->unicode ? TextFromUtf16Le(field->characters) : std::optional<Text>(field->characters);
  if (!arguments) return link;
  // Wine's link object counts a string's terminator in the field; Windows'
  // does not. Either way the arguments end there.
  while (!arguments->empty() && arguments->back() == '\0') arguments->pop_back();
  const ArgumentsVerdict verdict = JudgeArguments(browser->family, *arguments);
  if (!verdict.changed) {
    link.action = PlannedLink::Action::kNothing;
    return link;
  }
  const std::optional<std::string> kept =
      field->unicode ? Utf16LeFromText(verdict.kept) : std::optional<std::string>(verdict.kept);
  if (!kept) return link;
  std::optional<std::string> replacement = lnk::WithArguments(*bytes, *field, *kept);
  if (!replacement) return link;
  link.action = PlannedLink::Action::kRewriteArguments;
  link.source.arguments = *arguments;
  link.kept_arguments = verdict.kept;
  link.original = std::move(*bytes);
  link.replacement = std::move(*replacement);
  return link;
}

bool LaunchPointFile(const PlaceRoots& roots, const Text& path) {
  for (const Text& folder : LaunchPointFolders(roots.folders)) {
    if (PlainPathBelow(folder, path)) return true;
  }
  return false;
}

}  // namespace

TextArray LaunchPointFiles(FileSystem& files, const RepairFolders& places) {
  TextArray today;
  if (!places.start_menu.empty()) {
    for (const char* name : {"Internet Explorer.lnk", "Internet Explorer (64-bit).lnk"}) {
      today.push_back(places.start_menu + "Programs\\" + name);
    }
  }
  // What the Startup folders hold starts with Windows: a link there that
  // opens a page is removed whole (autostart_entries.h), not rewritten.
  TextArray startup;
  for (SpecialFolder which : {kStartupFolder, kCommonStartupFolder}) {
    const Text folder = files.GetSpecialFolder(which);
    if (!folder.empty()) startup.push_back(folder);
  }
  TextArray walked;
  for (const Text& folder : LaunchPointFolders(places)) {
    TextArray list;
    ListFolderTree(files, folder, list);
    for (const Text& path : list) {
      bool skipped = false;
      for (const Text& item : today) skipped = skipped || SameIgnoringAsciiCase(item, path);
      for (const Text& item : startup) {
        skipped = skipped || (path.size() > item.size() &&
                              SameIgnoringAsciiCase(path.substr(0, item.size()), item));
      }
      if (!skipped) walked.push_back(path);
    }
  }
  return walked;
}

void PlanLaunchPoints(PlanContext& context, Plan& plan) {
  for (const Text& path : LaunchPointFiles(context.machine.files, context.folders)) {
    AppendLinkSteps(PlanLaunchPointLink(context.machine, path), context, plan);
  }
}

const FinderPlaces kLaunchPointPlaces = {.file = LaunchPointFile};
